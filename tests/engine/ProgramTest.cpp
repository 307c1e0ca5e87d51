// Starts the real program the way a user would, without a display, and reads what it prints.
#include "tests/support/TestCommon.h"

#include <sys/wait.h>

namespace
{
// The message of a log line "[yyyy_mm_dd hh:mm:ss - level]  message"; false for any other line.
bool LogMessage(const std::string& line, std::string& message)
{
    const std::string stamp = "[####_##_## ##:##:## - "; // '#' stands for one digit
    bool matches = line.size() > stamp.size() && line.find('\r') == std::string::npos;
    for (size_t i = 0; matches && i < stamp.size(); ++i)
        matches = stamp[i] == '#' ? line[i] >= '0' && line[i] <= '9' : line[i] == stamp[i];
    for (const std::string level : {"trace", "debug", "info", "warning", "error", "critical"})
        if (matches && line.compare(stamp.size(), level.size() + 3, level + "]  ") == 0)
        {
            message = line.substr(stamp.size() + level.size() + 3);
            return true;
        }
    return false;
}

// Runs the program without a display; gives its exit status and the messages it logged.
int RunWithoutDisplay(std::vector<std::string>& messages)
{
    testsupport::TempDir dir;
    const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY '") + VELMORAN_PROGRAM +
                                "' >" + (dir / "out.txt") + " 2>/dev/null";
    const int raw = std::system(command.c_str());
    std::istringstream stream(testsupport::ReadFile(dir / "out.txt"));
    std::string message;
    for (std::string line; std::getline(stream, line);)
        if (LogMessage(line, message)) messages.push_back(message);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(ProgramTest, WithoutDisplayLogsTheFailureAndExitsWithZero)
{
    std::vector<std::string> messages;
    EXPECT_EQ(RunWithoutDisplay(messages), 0);
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
