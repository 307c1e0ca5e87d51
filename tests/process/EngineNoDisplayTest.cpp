// An engine start without any display: GLFW cannot start, yet shut-down runs in full.
#include "engine/App.h"
#include "engine/Engine.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace
{
class RecordingApp : public App
{
public:
    std::vector<std::string> calls;
    void Initialize() override { calls.push_back("Initialize"); }
    void Shutdown() override { calls.push_back("Shutdown"); }
    void Update() override { calls.push_back("Update"); }
    void GetWindowProperties(WindowProperties& out) override
    {
        calls.push_back("GetWindowProperties");
        App::GetWindowProperties(out);
    }
};

TEST(EngineNoDisplayTest, FailedGlfwStartLogsAndStillShutsTheApplicationDown)
{
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    testsupport::LogCapture log;
    RecordingApp app;
    Engine::Get().Run(&app);

    EXPECT_EQ(app.calls, std::vector<std::string>{"Shutdown"});
    std::vector<std::string> texts;
    for (const auto& r : log.Records())
        texts.push_back(r.text);
    const std::vector<std::string> expectedTail = {"Engine intializing.", "GLFW cannot initialize.",
                                                   "Shutting down engine.", "Engine shut down."};
    ASSERT_GE(texts.size(), expectedTail.size() + 3) << log.Dump();
    EXPECT_EQ(texts[0], "Velmoran v. 0.1");
    EXPECT_TRUE(texts[2].rfind("Libraries used:\n", 0) == 0) << texts[2];
    EXPECT_NE(texts[2].find("ImGUI "), std::string::npos);
    EXPECT_EQ(std::vector<std::string>(texts.end() - 4, texts.end()), expectedTail) << log.Dump();
    EXPECT_EQ(log.Count(spdlog::level::err, "GLFW cannot initialize."), 1);
}
} // namespace
