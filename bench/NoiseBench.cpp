// Regenerating one 1025 x 1025 noise layer per kernel, without a fractal and with fBm (3 octaves):
// the plain point-by-point loop against Layers::NoiseImage on all cores. Then the OpenSimplex2
// samples alone against a careful scalar loop (ScalarOpenSimplex2.h) on 1 and 2 threads, with the
// processor time of the one-thread runs beside the wall time (steadier on a shared machine).
#include "PlainLoops.h"
#include "ScalarOpenSimplex2.h"

#include "engine/Parallel.h"

#include <cstdio>

int main()
{
    const uint32_t side = 1025;
    const struct
    {
        int32_t type;
        const char* name;
    } kernels[] = {{NoiseGenerator::OpenSimplex2, "OpenSimplex2"},
                   {NoiseGenerator::Cellular, "Cellular"},
                   {NoiseGenerator::Perlin, "Perlin"},
                   {NoiseGenerator::ValueCubic, "Cubic Value"},
                   {NoiseGenerator::Value, "Value"}};
    std::printf("Noise layer %u x %u, %u threads\n", side, side, Parallel::ThreadCount());
    bool allIdentical = true;
    for (const auto& kernel : kernels)
        for (int32_t fractal : {NoiseGenerator::None, NoiseGenerator::FBm})
        {
            NoiseGenerator noise;
            noise.seed = 1234;
            noise.noiseType = kernel.type;
            noise.fractalType = fractal;
            noise.octaves = 3;
            noise.CalculateFractalBounding();

            std::vector<uint8_t> reference;
            const double plainMs =
                bench::TimeMs(3, [&] { reference = plain::NoiseLayer(noise, 0.0f, 0.0f, side, side); });
            std::vector<float> samples;
            std::vector<uint8_t> image(size_t{side} * side);
            const double fastMs = bench::TimeMs(
                7, [&] { Layers::NoiseImage(noise, 0.0f, 0.0f, side, side, samples, image.data()); });
            const bool identical = bench::SameBits(image, reference);
            allIdentical = allIdentical && identical;
            char label[64];
            std::snprintf(label, sizeof label, "%s%s", kernel.name,
                          fractal == NoiseGenerator::FBm ? " fBm 3" : "");
            bench::Row(label, plainMs, fastMs, identical);
        }

    // OpenSimplex2 samples (no byte conversion): plain GetNoise per point, the scalar reference and
    // GetNoiseRow, rows split over the threads for the two-thread runs.
    std::printf(
        "\nOpenSimplex2 samples %u x %u: plain loop | scalar reference 1 / 2 threads | ours 1 / 2 threads"
        " (processor ms of 1-thread runs in brackets)\n",
        side, side);
    const size_t count = size_t{side} * side;
    for (int32_t fractal : {NoiseGenerator::None, NoiseGenerator::FBm})
    {
        NoiseGenerator noise;
        noise.seed = 1234;
        noise.noiseType = NoiseGenerator::OpenSimplex2;
        noise.fractalType = fractal;
        noise.octaves = 3;
        noise.CalculateFractalBounding();
        const bool fbm = fractal == NoiseGenerator::FBm;

        std::vector<float> plainSamples(count), referenceSamples(count), ourSamples(count);
        const auto plainLoop = [&]
        {
            for (uint32_t i = 0; i < side; ++i)
                for (uint32_t j = 0; j < side; ++j)
                    plainSamples[size_t{i} * side + j] =
                        noise.GetNoise(static_cast<float>(j), static_cast<float>(i));
        };
        const auto referenceRows = [&]
        {
            Parallel::For(
                side,
                [&](size_t begin, size_t end)
                {
                    for (size_t i = begin; i < end; ++i)
                    {
                        float* row = referenceSamples.data() + i * side;
                        if (fbm)
                            reference::OpenSimplex2Row<true>(noise, 0.0f, static_cast<float>(i), side, row);
                        else
                            reference::OpenSimplex2Row<false>(noise, 0.0f, static_cast<float>(i), side, row);
                    }
                },
                1);
        };
        const auto ourRows = [&]
        {
            Parallel::For(
                side,
                [&](size_t begin, size_t end)
                {
                    for (size_t i = begin; i < end; ++i)
                        noise.GetNoiseRow(0.0f, static_cast<float>(i), side, ourSamples.data() + i * side);
                },
                1);
        };

        Parallel::SetThreadCount(1);
        const double plainMs = bench::TimeMs(3, plainLoop);
        const double plainCpu = bench::CpuMs(3, plainLoop);
        const double referenceMs = bench::TimeMs(5, referenceRows);
        const double referenceCpu = bench::CpuMs(5, referenceRows);
        const double oursMs = bench::TimeMs(9, ourRows);
        const double oursCpu = bench::CpuMs(9, ourRows);
        const bool oneThreadIdentical =
            bench::SameBits(referenceSamples, plainSamples) && bench::SameBits(ourSamples, plainSamples);
        Parallel::SetThreadCount(2);
        std::fill(referenceSamples.begin(), referenceSamples.end(), 0.0f);
        std::fill(ourSamples.begin(), ourSamples.end(), 0.0f);
        const double referenceTwoMs = bench::TimeMs(5, referenceRows);
        const double oursTwoMs = bench::TimeMs(9, ourRows);
        Parallel::SetThreadCount(0);
        const bool identical = oneThreadIdentical && bench::SameBits(referenceSamples, plainSamples) &&
                               bench::SameBits(ourSamples, plainSamples);
        allIdentical = allIdentical && identical;
        std::printf(
            "%-19s plain %6.2f (%6.2f) | reference %6.2f (%6.2f) / %6.2f | ours %5.2f (%5.2f) / %5.2f ms"
            " | ours x%.2f of the reference on 1 thread (processor x%.2f), x%.2f on 2   %s\n",
            fbm ? "OpenSimplex2 fBm 3" : "OpenSimplex2", plainMs, plainCpu, referenceMs, referenceCpu,
            referenceTwoMs, oursMs, oursCpu, oursTwoMs, referenceMs / oursMs, referenceCpu / oursCpu,
            referenceTwoMs / oursTwoMs, identical ? "identical" : "DIFFERENT");
    }
    return allIdentical ? 0 : 1;
}
