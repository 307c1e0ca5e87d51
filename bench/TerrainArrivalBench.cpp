// How a large new terrain arrives in the editor: the worker's steps (the longest stretch without a
// progress report, and how long a cancel request takes to stop each generator) and the GUI thread's
// GL step (the whole upload, and its longest single slice). Needs a display (run it under xvfb-run -a).
//
//   TerrainArrivalBench [side]      (default 4097)
#include "engine/Engine.h"
#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainRecord.h"
#include "terrain/TerrainArrival.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace
{
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

GLFWwindow* OpenContext()
{
    if (!glfwInit()) return nullptr;
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(64, 64, "TerrainArrivalBench", nullptr, nullptr);
    if (window == nullptr) return nullptr;
    glfwMakeContextCurrent(window);
    if (glewInit() != GLEW_OK) return nullptr;
    Engine::Get().window.handle = window;
    return window;
}

struct Reports
{
    Clock::time_point last = Clock::now();
    double longestGap = 0.0;
    std::string longestStep;
    std::string step;
    int count = 0;

    bool Note(std::string_view text)
    {
        const double gap = Since(last);
        if (gap > longestGap)
        {
            longestGap = gap;
            longestStep = step; // the step that ran without a report
        }
        step.assign(text.data(), text.size());
        last = Clock::now();
        ++count;
        return true;
    }
};

// The generator's arrays as the New Terrain job makes them; prints the longest silent stretch.
TerrainRecord Generate(uint32_t side, Terrain::Generator generator, uint32_t iterations, const char* label)
{
    TerrainRecord arrays;
    Reports reports;
    const Clock::time_point start = Clock::now();
    TerrainRecord::Generate(side, side, 1.0f, generator, 40.0f, 1.0f, iterations, true, arrays,
                            [&](float, std::string_view step) { return reports.Note(step); });
    reports.Note("end");
    std::printf("%-28s worker %.2f s, %d reports, longest without one %.3f s (%s)\n", label, Since(start),
                reports.count, reports.longestGap, reports.longestStep.c_str());
    return arrays;
}

// Asks the generator to stop after delay seconds and prints how long it took to notice.
void Cancel(uint32_t side, Terrain::Generator generator, uint32_t iterations, double delay, const char* label)
{
    TerrainRecord arrays;
    const Clock::time_point start = Clock::now();
    const bool done =
        TerrainRecord::Generate(side, side, 1.0f, generator, 40.0f, 1.0f, iterations, true, arrays,
                                [&](float, std::string_view) { return Since(start) < delay; });
    const double stopped = Since(start);
    std::printf("%-28s cancel at %.2f s: %s %.3f s later\n", label, delay,
                done ? "not stopped, finished" : "stopped", stopped - delay);
}

// The GL step, in slices as the editor runs it over frames.
void Arrive(TerrainRecord arrays, const char* label)
{
    const Clock::time_point start = Clock::now();
    double longest = 0.0;
    int slices = 0;
    TerrainArrival arrival(std::move(arrays));
    for (;;)
    {
        const Clock::time_point slice = Clock::now();
        const bool done = arrival.Continue(TerrainArrival::kSecondsPerFrame);
        glFinish();
        longest = std::max(longest, Since(slice));
        ++slices;
        if (done) break;
    }
    std::printf("%-28s GL step %.2f s in %d frames, longest frame's share %.3f s\n", label, Since(start),
                slices, longest);
}
} // namespace

int main(int argc, char** argv)
{
    const uint32_t side = argc >= 2 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 4097;
    GLFWwindow* window = OpenContext();
    if (window == nullptr)
    {
        std::fprintf(stderr, "TerrainArrivalBench needs a display (run it under xvfb-run -a)\n");
        return 2;
    }
    std::printf("Terrain %u x %u\n", side, side);
    const Clock::time_point whole = Clock::now();
    TerrainRecord arrays = Generate(side, Terrain::Generator::DiamondSquare, 0, "diamond-square");
    Arrive(std::move(arrays), "diamond-square");
    std::printf("%-28s ready %.2f s after the start\n", "diamond-square", Since(whole));
    Generate(side, Terrain::Generator::RandomFault, 200, "random fault, 200 faults");
    for (const double delay : {0.3, 1.0, 2.0})
        Cancel(side, Terrain::Generator::DiamondSquare, 0, delay, "diamond-square");
    Cancel(side, Terrain::Generator::RandomFault, 200, 1.0, "random fault, 200 faults");

    Engine::Get().window.handle = nullptr;
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
