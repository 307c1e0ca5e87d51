// One whole engine run in this process: the application's calls, then a refused second start.
#include "engine/App.h"
#include "engine/Engine.h"
#include "engine/Log.h"
#include "tests/support/TestCommon.h"

#include <GLFW/glfw3.h>

namespace
{
class RecordingApp : public App
{
  public:
    std::vector<std::string> calls;
    int frames = 0;
    double firstDelta = -1.0;

    void Initialize() override { calls.push_back("Initialize"); }
    void Shutdown() override { calls.push_back("Shutdown"); }
    void Render() override { calls.push_back("Render"); }
    void Update() override
    {
        calls.push_back("Update");
        if (frames == 0) firstDelta = Engine::Get().deltaTime;
        if (++frames == 3) glfwSetWindowShouldClose(Engine::Get().window.handle, GLFW_TRUE);
    }
    void GetWindowProperties(WindowProperties& out) override
    {
        calls.push_back("GetWindowProperties");
        App::GetWindowProperties(out);
        out.width = 320;
        out.height = 240;
    }
    void OnGUI() override { calls.push_back("OnGUI"); }
    // Idle after the first frame: the engine waits for input before the next ones, briefly.
    bool CanWaitForEvents() override
    {
        calls.push_back("CanWaitForEvents");
        return frames > 0;
    }
};

TEST(EngineRunTest, ApplicationSeesItsCallsInOrderAndSecondStartIsRefused)
{
    // The run's working folder: the GUI's layout goes through the shared writer (which AtomicFileTest
    // checks), so the old file is replaced whole by a rename and nothing is left beside it.
    testsupport::TempDir folder, elsewhere;
    const std::string layout = folder / "imgui.ini", old = "[Window][Old]\nPos=1,2\n";
    std::ofstream(layout) << old;
    fs::create_hard_link(layout, elsewhere / "old.ini"); // what a rewrite in place would change too
    const fs::path previous = fs::current_path();
    fs::current_path(folder.Path());

    testsupport::LogCapture log; // registered first, so the engine logs into it
    RecordingApp app;
    Engine& engine = Engine::Get();
    engine.Run(&app);
    fs::current_path(previous);

    const std::string text = testsupport::ReadFile(layout);
    EXPECT_TRUE(text != old && text.find("[Window][") != std::string::npos) << text; // written anew
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), {}), 1);
    EXPECT_EQ(testsupport::ReadFile(elsewhere / "old.ini"), old);

    std::vector<std::string> expected = {"GetWindowProperties", "Initialize"};
    for (int frame = 0; frame < 3; ++frame)
        expected.insert(expected.end(), {"CanWaitForEvents", "Update", "Render", "OnGUI"});
    expected.push_back("Shutdown");
    EXPECT_EQ(app.calls, expected);
    EXPECT_GT(app.firstDelta, 0.0); // seconds since GLFW started
    EXPECT_EQ(engine.window.handle, nullptr);

    for (const char* line :
         {"Velmoran v. 0.1", "Engine intializing.", "GLFW Initialized.", "GLSL #version 440",
          "Render Manager initialized.", "Engine intialized.", "Shutting down engine.", "Engine shut down."})
        EXPECT_EQ(log.Count(line), 1) << line << "\n" << log.Dump();
    EXPECT_EQ(log.CountAtLeast(spdlog::level::err), 0) << log.Dump();

    // After shut-down the registry is empty: messages go nowhere.
    Log::Error("after shutdown");
    EXPECT_EQ(log.Count("after shutdown"), 0);

    // A second start on the same engine is refused and leaves the application and window alone.
    testsupport::LogCapture second;
    RecordingApp other;
    EXPECT_FALSE(engine.Initialize(&other));
    EXPECT_EQ(second.Count(spdlog::level::critical, "Engine already runs a valid application."), 1)
        << second.Dump();
    EXPECT_EQ(std::make_tuple(engine.app, other.calls.size(), engine.window.handle,
                              second.Count("GLFW Initialized.")),
              std::make_tuple(static_cast<App*>(&app), size_t(0), static_cast<GLFWwindow*>(nullptr), 0));
}
} // namespace
