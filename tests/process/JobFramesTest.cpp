// The real editor, run by the engine as the program runs it, keeps drawing frames while a large
// terrain is created on the job runner and while it is handed to GL, and a window closed while work
// runs stops the work, changes nothing and then closes as usual. Prints the frames per second it saw
// during the creation and its longest frames.
#include "editor/Editor.h"
#include "engine/Engine.h"
#include "terrain/Terrain.h"
#include "tests/support/LogCapture.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSide = 2049; // the sanitizers make the largest grid slow and several times larger
#else
constexpr int kSide = 4097;
#endif

class JobFramesEditor : public Editor
{
  public:
    enum class Step
    {
        Start,
        Creating,
        Closing,
        Done
    };
    Step step = Step::Start;
    int framesDuringJob = 0;
    int framesWhileArriving = 0; // the terrain's GL step, spread over frames
    double jobStart = 0.0;
    double jobSeconds = 0.0;
    double longestFrame = 0.0;
    double longestArrivingFrame = 0.0;
    double arrivalStart = 0.0;
    double lastFrame = 0.0;
    double arrivalSeconds = 0.0;
    size_t terrainsAfterCreate = 0;
    uint32_t createdWidth = 0;
    bool jobCancelledOnClose = false;
    bool terrainListedEarly = false; // listed (so drawn) before its GL step ended
    bool questionAsked = false;
    int frame = 0;

    void Update() override
    {
        Editor::Update();
        ++frame;
        const double now = glfwGetTime();
        GLFWwindow* window = Engine::Get().window.handle;
        switch (step)
        {
        case Step::Start:
            if (frame < 3) break; // the first frames open the window
            newTerrain.form.name = "big";
            newTerrain.form.generator = 1; // diamond-square
            newTerrain.form.width = kSide;
            newTerrain.Create(*this); // as "Create"
            jobStart = lastFrame = now;
            step = Step::Creating;
            break;
        case Step::Creating:
            if (session.jobs.Busy())
            {
                const std::vector<JobView> running = session.jobs.Running();
                const bool arriving = !running.empty() && running.front().completing;
                if (arriving)
                {
                    if (framesWhileArriving++ == 0) arrivalStart = lastFrame;
                    longestArrivingFrame = std::max(longestArrivingFrame, now - lastFrame);
                    terrainListedEarly = terrainListedEarly || !terrains.empty();
                }
                else
                {
                    ++framesDuringJob;
                    longestFrame = std::max(longestFrame, now - lastFrame);
                }
                lastFrame = now;
                break;
            }
            jobSeconds = now - jobStart;
            arrivalSeconds = now - (framesWhileArriving > 0 ? arrivalStart : lastFrame);
            longestArrivingFrame = std::max(longestArrivingFrame, now - lastFrame); // the last slice's frame
            terrainsAfterCreate = terrains.size();
            createdWidth = terrains.empty() ? 0 : terrains.front()->width;
            // A second terrain, and the window closed while it is being made.
            newTerrain.form.name = "second";
            newTerrain.Create(*this);
            project.OnWindowCloseRequest(*this);
            step = Step::Closing;
            break;
        case Step::Closing:
            if (session.jobs.Busy()) break;
            jobCancelledOnClose = terrains.size() == terrainsAfterCreate;
            questionAsked = project.unsaved.asking; // "big" was never saved
            project.Answer(*this, UnsavedChangesForm::Answer::DontSave);
            step = Step::Done;
            break;
        case Step::Done:
            break;
        }
        if (frame > 100000) glfwSetWindowShouldClose(window, GLFW_TRUE); // a run that never ends fails
    }
};

TEST(JobFramesTest, TheWindowKeepsDrawingWhileALargeTerrainIsMadeAndClosesWhileWorkRuns)
{
    testsupport::LogCapture log;
    JobFramesEditor editor;
    Engine::Get().Run(&editor);

    ASSERT_EQ(editor.step, JobFramesEditor::Step::Done) << log.Dump();
    EXPECT_EQ(editor.terrainsAfterCreate, 1u);
    EXPECT_EQ(editor.createdWidth, static_cast<uint32_t>(kSide));
    const double workSeconds = editor.jobSeconds - editor.arrivalSeconds;
    const double fps = editor.framesDuringJob / std::max(workSeconds, 1e-9);
    std::printf(
        "Creating %d x %d: %.2f s, of which %.2f s on the worker with %d frames drawn meanwhile (%.1f "
        "frames a second, longest %.0f ms) and %.2f s handing it to GL in %d frames (longest %.0f ms)\n",
        kSide, kSide, editor.jobSeconds, workSeconds, editor.framesDuringJob, fps,
        1000.0 * editor.longestFrame, editor.arrivalSeconds, editor.framesWhileArriving,
        1000.0 * editor.longestArrivingFrame);
    // Not a timing test: a window that stopped drawing during the work shows a handful of frames at
    // most, one that keeps drawing shows dozens even on a busy machine. The GL step of a gigabyte of
    // arrays takes frames of its own, and the terrain is listed only when it is whole.
    EXPECT_GE(editor.framesDuringJob, 10);
    EXPECT_GE(editor.framesWhileArriving, 2);
    EXPECT_FALSE(editor.terrainListedEarly);

    EXPECT_TRUE(editor.jobCancelledOnClose); // the second terrain was never added
    EXPECT_TRUE(editor.questionAsked);
    EXPECT_TRUE(log.Has(spdlog::level::warn, "Shutting down app."));
    EXPECT_EQ(log.CountLevel(spdlog::level::err), 0) << log.Dump();
}
} // namespace
