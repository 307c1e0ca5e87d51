// Erosion at 1025 x 1025 with the default settings (hydraulic: 250,000 droplets of up to 32 steps;
// thermal: 50 iterations) on an editor terrain: a diamond-square base plus a Perlin fBm layer of
// power 100. Times the library's passes on all cores and on one, against the plain single-threaded
// loops of bench/PlainErosion.h, and checks that all give the same heights bit for bit. Other work
// on the machine shows in the wall times: the best and the median of several runs are printed, and
// the processor time of the one-thread run.
#include "PlainErosion.h"
#include "PlainLoops.h"

#include "engine/Parallel.h"
#include "terrain/Erosion.h"

#include <cstdio>

namespace
{
struct Times
{
    double best = 0.0, median = 0.0;
};

Times WallMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int r = 0; r < runs; ++r)
        times.push_back(bench::TimeMs(1, work));
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

bool Report(const char* what, const std::vector<float>& start, const std::vector<float>& reference,
            double plainMs, double targetMs, int runs, const std::function<void(std::vector<float>&)>& erode)
{
    std::vector<float> heights;
    const Times all = WallMs(runs,
                             [&]
                             {
                                 heights = start;
                                 erode(heights);
                             });
    const bool identical = bench::SameBits(heights, reference);
    bench::Row(what, plainMs, all.best, identical);
    std::printf("  on %u threads: best %.1f ms, median %.1f ms of %d runs (target: under %.0f ms: %s)\n",
                Parallel::ThreadCount(), all.best, all.median, runs, targetMs,
                all.best < targetMs ? "met" : "NOT met");

    Parallel::SetThreadCount(1);
    std::vector<float> one;
    const double cpuMs = bench::CpuMs(1,
                                      [&]
                                      {
                                          one = start;
                                          erode(one);
                                      });
    const bool oneIdentical = bench::SameBits(one, reference);
    Parallel::SetThreadCount(0);
    std::printf("  on 1 thread: processor time %.1f ms, %s\n", cpuMs,
                oneIdentical ? "identical" : "DIFFERENT");
    return identical && oneIdentical;
}
} // namespace

int main()
{
    const uint32_t side = 1025;
    const size_t count = size_t{side} * side;
    const float distance = 1.0f;

    GeneratorRandom random(99);
    std::vector<float> start;
    Generators::DiamondSquare(side, side, 20.0f, 1.0f, random, start);
    NoiseGenerator noise;
    noise.noiseType = NoiseGenerator::Perlin;
    noise.fractalType = NoiseGenerator::FBm;
    noise.octaves = 6;
    noise.frequency = 0.003f;
    noise.CalculateFractalBounding();
    const std::vector<uint8_t> layer = plain::NoiseLayer(noise, 0.0f, 0.0f, side, side);
    for (size_t k = 0; k < count; ++k)
        start[k] += static_cast<float>(layer[k]) * 0.003921569f * 100.0f;

    std::printf("Erosion %u x %u, default settings, %u threads\n", side, side, Parallel::ThreadCount());
    bool identical = true;

    const Erosion::HydraulicSettings hydraulic;
    std::vector<float> reference = start;
    const double plainHydraulic =
        bench::TimeMs(1, [&] { plain::HydraulicErosion(reference, side, side, distance, hydraulic); });
    identical &=
        Report("hydraulic, 250,000 droplets", start, reference, plainHydraulic, 1000.0, 7,
               [&](std::vector<float>& h) { Erosion::Hydraulic(h.data(), side, side, distance, hydraulic); });

    const Erosion::ThermalSettings thermal;
    reference = start;
    const double plainThermal =
        bench::TimeMs(1, [&] { plain::ThermalErosion(reference, side, side, distance, thermal); });
    identical &=
        Report("thermal, 50 iterations", start, reference, plainThermal, 300.0, 9,
               [&](std::vector<float>& h) { Erosion::Thermal(h.data(), side, side, distance, thermal); });

    // With the masks the hydraulic run also sums the flow and splits the net change.
    Erosion::Masks masks;
    std::vector<float> heights;
    const Times withMasks =
        WallMs(3,
               [&]
               {
                   heights = start;
                   Erosion::Hydraulic(heights.data(), side, side, distance, hydraulic, &masks);
               });
    std::printf("hydraulic with masks: best %.1f ms, median %.1f ms\n", withMasks.best, withMasks.median);
    return identical ? 0 : 1;
}
