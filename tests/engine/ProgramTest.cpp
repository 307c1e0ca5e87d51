// Starts the real program the way a user would, without a display, and reads what it prints.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace
{
struct ProgramResult
{
    int status = -1;
    std::vector<std::string> lines;
};

ProgramResult RunWithoutDisplay()
{
    ProgramResult result;
    const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY '") + VELMORAN_PROGRAM + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::string output;
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), n);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::istringstream stream(output);
    for (std::string line; std::getline(stream, line);)
        result.lines.push_back(line);
    return result;
}

TEST(ProgramTest, WithoutDisplayLogsTheFailureAndExitsWithZero)
{
    const ProgramResult run = RunWithoutDisplay();
    EXPECT_EQ(run.status, 0);
    const std::regex format(R"(\[\d{4}_\d{2}_\d{2} \d{2}:\d{2}:\d{2} - (trace|debug|info|warning|error|critical)\]  (.*))");
    std::vector<std::string> messages;
    for (const std::string& line : run.lines)
    {
        std::smatch m;
        if (std::regex_match(line, m, format))
            messages.push_back(m[2]);
    }
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), "Velmoran v. 0.1");
    // The editor's own shut-down runs between the engine's two lines.
    const std::vector<std::string> expectedTail = {"Engine intializing.", "GLFW cannot initialize.",
                                                   "Shutting down engine.", "Shutting down app.",
                                                   "Engine shut down."};
    ASSERT_GE(messages.size(), expectedTail.size());
    EXPECT_EQ(std::vector<std::string>(messages.end() - 5, messages.end()), expectedTail);
}
} // namespace
