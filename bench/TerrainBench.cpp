// A 4097 x 4097 diamond-square terrain through the real Terrain on a hidden GL context: creation
// time, and peak resident memory (VmHWM) during creation, Save Terrain (the OBJ file and the PNG
// images) and Load Terrain, each next to the steady state it starts from or ends in. Each phase runs
// in a process of its own, so one phase's freed memory cannot hide another's peak. Needs a display
// (run it under xvfb-run -a) and about 4 GB of free disk for the OBJ file.
//
//   TerrainBench [side] [folder]          all phases (defaults: 4097, a temporary folder), once as the
//                                         program starts by itself and once as scripts/run.sh starts it
//   TerrainBench create|save|load side folder   one phase (what the parent runs)
#include "engine/Engine.h"
#include "render/Texture.h"
#include "terrain/Terrain.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// Resident and peak resident memory of this process in MB, from /proc/self/status.
double StatusMB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0)
            return std::strtod(line.c_str() + length + 1, nullptr) / 1024.0;
    return -1.0;
}

// Starts a new peak from the current resident size.
bool ResetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time of the whole process (all threads, user and system: the kernel's clearing of fresh
// pages counts), in seconds. On a busy machine this is steadier than the wall time.
double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

GLFWwindow* OpenContext()
{
    if (!glfwInit()) return nullptr;
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(64, 64, "TerrainBench", nullptr, nullptr);
    if (window == nullptr) return nullptr;
    glfwMakeContextCurrent(window);
    if (glewInit() != GLEW_OK) return nullptr;
    Engine::Get().window.handle = window;
    return window;
}

std::unique_ptr<Terrain> Create(uint32_t side)
{
    auto terrain =
        std::make_unique<Terrain>(side, side, 1.0f, Terrain::Generator::DiamondSquare, 40.0f, 1.0f, 0);
    terrain->name = "bench";
    glFinish(); // the uploads themselves, not just their queueing
    return terrain;
}

int RunPhase(const std::string& phase, uint32_t side, const std::filesystem::path& folder)
{
    GLFWwindow* window = OpenContext();
    if (window == nullptr)
    {
        std::fprintf(stderr, "TerrainBench needs a display (run it under xvfb-run -a)\n");
        return 2;
    }
    const std::string obj = (folder / "bench.obj").string();
    const bool resettable = ResetPeak();
    const double startMB = StatusMB("VmRSS:");
    if (phase == "create")
    {
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<Terrain> terrain = Create(side);
        const double seconds = Seconds(start);
        std::printf("create %.3f s (processor %.3f s)  steady %.0f MB  peak %.0f MB  (before: %.0f MB)\n",
                    seconds, CpuSeconds() - cpu, StatusMB("VmRSS:"), StatusMB("VmHWM:"), startMB);
    }
    else if (phase == "save")
    {
        std::unique_ptr<Terrain> terrain = Create(side);
        if (!ResetPeak()) return 3;
        const double steady = StatusMB("VmRSS:");
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        bool ok = terrain->SaveAsObj(obj);
        const double objSeconds = Seconds(start);
        const double objPeak = StatusMB("VmHWM:");
        ok = terrain->heightmapTexture->Save((folder / "bench_heightmap.png").string()) && ok;
        ok = terrain->normalTexture->Save((folder / "bench_normal.png").string()) && ok;
        const double seconds = Seconds(start);
        std::printf("save %.3f s (OBJ %.3f s, processor %.3f s)  steady %.0f MB  peak %.0f MB (OBJ alone "
                    "%.0f MB)%s\n",
                    seconds, objSeconds, CpuSeconds() - cpu, steady, StatusMB("VmHWM:"), objPeak,
                    ok ? "" : "  FAILED");
    }
    else if (phase == "load")
    {
        auto terrain = std::make_unique<Terrain>(0, 0, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const bool ok = terrain->LoadObj(obj);
        glFinish();
        const double seconds = Seconds(start);
        std::printf("load %.3f s (processor %.3f s)  steady %.0f MB  peak %.0f MB  (before: %.0f MB)%s\n",
                    seconds, CpuSeconds() - cpu, StatusMB("VmRSS:"), StatusMB("VmHWM:"), startMB,
                    ok ? "" : "  FAILED");
    }
    if (!resettable) std::printf("  (could not reset the peak: figures include start-up)\n");
    Engine::Get().window.handle = nullptr;
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4)
        return RunPhase(argv[1], static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)), argv[3]);

    const std::string side = argc >= 2 ? argv[1] : "4097";
    std::filesystem::path folder;
    bool temporary = false;
    if (argc >= 3)
        folder = argv[2];
    else
    {
        folder = std::filesystem::temp_directory_path() / ("TerrainBench-" + std::to_string(getpid()));
        temporary = true;
    }
    std::filesystem::create_directories(folder);
    std::printf("Diamond-square terrain %s x %s (peak: VmHWM of a process of its own per phase)\n",
                side.c_str(), side.c_str());
    int status = 0;
    // As the program starts by itself, then as scripts/run.sh starts it: with glibc putting large
    // allocations (the GL driver's buffers too) on huge pages.
    const char* original = std::getenv("GLIBC_TUNABLES");
    const std::string tunables =
        (original != nullptr ? std::string(original) + ":" : std::string()) + "glibc.malloc.hugetlb=1";
    for (const bool hugeMalloc : {false, true})
    {
        std::printf("%s\n", hugeMalloc
                                ? "with GLIBC_TUNABLES=glibc.malloc.hugetlb=1, as scripts/run.sh starts it:"
                                : "as the program starts by itself:");
        std::fflush(stdout);
        for (const char* phase : {"create", "save", "load"})
        {
            const pid_t child = fork();
            if (child == 0)
            {
                if (hugeMalloc) setenv("GLIBC_TUNABLES", tunables.c_str(), 1);
                execl("/proc/self/exe", argv[0], phase, side.c_str(), folder.c_str(),
                      static_cast<char*>(nullptr));
                _exit(127);
            }
            int result = 0;
            waitpid(child, &result, 0);
            if (!WIFEXITED(result) || WEXITSTATUS(result) != 0) status = 1;
        }
    }
    if (temporary) std::filesystem::remove_all(folder);
    return status;
}
