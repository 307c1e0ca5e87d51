// Regenerating one 1025 x 1025 noise layer per kernel, without a fractal and with fBm (3 octaves):
// the plain point-by-point loop against Layers::NoiseImage on all cores.
#include "PlainLoops.h"

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
    return allIdentical ? 0 : 1;
}
