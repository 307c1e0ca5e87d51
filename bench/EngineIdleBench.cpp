// Processor time of the editor left alone: the real engine and editor with a 257 x 257 terrain in its
// scene window and the terrain generator open, measured over some seconds without input, once as the
// program runs (waiting for input when idle) and once drawing every frame as it did before (the
// plain reference). Each run is a child process, since the engine starts once per process. Needs a
// display (run under xvfb-run -a).
#include "editor/Editor.h"
#include "engine/Engine.h"
#include "render/Scene.h"

#include <GLFW/glfw3.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
constexpr double kSettleSeconds = 3.0;
constexpr double kMeasureSeconds = 8.0;

double ProcessorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage); // every thread of the process, the software renderer's included
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

class IdleEditor : public Editor
{
  public:
    explicit IdleEditor(bool waits) : waits(waits) {}

    bool CanWaitForEvents() override { return waits && Editor::CanWaitForEvents(); }

    void Update() override
    {
        Editor::Update();
        ++frames;
        const double now = glfwGetTime();
        if (frames == 1)
        {
            if (auto logger = spdlog::get("VelmoranLogger"))
                logger->set_level(spdlog::level::warn); // the figures, not the progress lines
            newTerrain.form.name = "idle";
            newTerrain.form.generator = 1;
            newTerrain.form.width = newTerrain.form.height = 257;
            newTerrain.Create(*this);
            while (session.jobs.Busy())
                session.PollJobs();
            commands.FillSceneDefaults(*scenes.front());
            commands.ConfirmScene(*scenes.front());
            scenes.front()->showTerrainGenerator = true;
            start = now;
        }
        else if (measureStart < 0.0 && now - start > kSettleSeconds)
        {
            measureStart = now;
            measureCpu = ProcessorSeconds();
            measureFrames = frames;
        }
        else if (measureStart >= 0.0 && now - measureStart > kMeasureSeconds)
        {
            const double wall = now - measureStart;
            std::printf("  %-40s %6.1f %% of one core, %6.1f frames per second\n",
                        waits ? "waiting for input when idle" : "drawing every frame (plain reference)",
                        100.0 * (ProcessorSeconds() - measureCpu) / wall,
                        static_cast<double>(frames - measureFrames) / wall);
            std::fflush(stdout);
            glfwSetWindowShouldClose(Engine::Get().window.handle, GLFW_TRUE);
        }
    }

  private:
    bool waits;
    int frames = 0;
    int measureFrames = 0;
    double start = 0.0;
    double measureStart = -1.0;
    double measureCpu = 0.0;
};

int RunChild(bool waits)
{
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0)
    {
        IdleEditor editor(waits);
        Engine::Get().Run(&editor);
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
} // namespace

int main()
{
    std::printf("Editor idle for %.0f s: 257 x 257 diamond-square terrain, scene and generator windows\n",
                kMeasureSeconds);
    const int failures = RunChild(true) + RunChild(false);
    std::printf("target: idle under 5 %% of one core (see the first line)\n");
    return failures == 0 ? 0 : 1;
}
