// Starts the real program the way a user would, without a display, and reads what it prints.
#include "tests/support/TestCommon.h"

#include <regex>

namespace
{
TEST(ProgramTest, WithoutDisplayLogsTheFailureAndExitsWithZero)
{
    testsupport::TempDir dir;
    const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY '") + VELMORAN_PROGRAM +
                                "' >" + (dir / "out.txt") + " 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0); // exited, with status 0

    // The messages of the log lines, "[yyyy_mm_dd hh:mm:ss - level]  message".
    const std::regex logLine(
        R"(\[\d{4}_\d\d_\d\d \d\d:\d\d:\d\d - (trace|debug|info|warning|error|critical)\]  ([^\r]*))");
    std::vector<std::string> messages;
    std::istringstream stream(testsupport::ReadFile(dir / "out.txt"));
    std::smatch match;
    for (std::string line; std::getline(stream, line);)
        if (std::regex_match(line, match, logLine)) messages.push_back(match[2]);
    ASSERT_GE(messages.size(), 8u);
    EXPECT_EQ(messages.front(), "Velmoran v. 0.1");
    EXPECT_EQ(messages[2], "Libraries used:");
    // The editor is never started, yet its own shut-down runs between the engine's two lines.
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Initializing app."), 0);
    const std::vector<std::string> expectedTail = {"Engine intializing.", "GLFW cannot initialize.",
                                                   "Shutting down engine.", "Shutting down app.",
                                                   "Engine shut down."};
    EXPECT_EQ(std::vector<std::string>(messages.end() - 5, messages.end()), expectedTail);
}
} // namespace
