// One realtime cycle at 1025 x 1025, as a drag in the generator panel runs it every frame: regenerate
// one Perlin fBm layer, then apply four layers over the base heights and rebuild the heightmap texture
// bytes, the vertex normals and the normal texture bytes (no GL upload). The plain loops do the same
// work one point at a time on one thread; both must give the same bytes and floats.
#include "PlainLoops.h"

#include "engine/Parallel.h"

#include <cstdio>

namespace
{
struct Outputs
{
    std::vector<uint8_t> layer;
    std::vector<float> positions;
    float minHeight = 0, maxHeight = 0;
    std::vector<uint8_t> heightBytes;
    std::vector<float> normals;
    std::vector<uint8_t> normalBytes;
};
} // namespace

int main()
{
    const uint32_t side = 1025;
    const size_t count = size_t{side} * side;

    // Base heights from a diamond-square run, three fixed layers (one a 3-channel image) and the dragged one.
    std::vector<float> base;
    std::vector<uint32_t> indices;
    std::vector<float> flatNormals, texCoords, heights;
    TerrainGrid::BuildGrid(side, side, 1.0f, base, indices, flatNormals, texCoords);
    GeneratorRandom random(99);
    Generators::DiamondSquare(side, side, 40.0f, 1.0f, random, heights);
    TerrainGrid::AddHeights(base.data(), heights.data(), count, 1.0f);

    const auto noiseLayer = [&](int32_t type, int32_t fractal, int32_t seed)
    {
        NoiseGenerator noise;
        noise.noiseType = type;
        noise.fractalType = fractal;
        noise.seed = seed;
        noise.octaves = 3;
        noise.CalculateFractalBounding();
        return noise;
    };
    const std::vector<uint8_t> layer1 =
        plain::NoiseLayer(noiseLayer(NoiseGenerator::Value, 0, 1), 0, 0, side, side);
    const std::vector<uint8_t> layer2 =
        plain::NoiseLayer(noiseLayer(NoiseGenerator::OpenSimplex2, 2, 2), 3, 1, side, side);
    std::vector<uint8_t> layer3(count * 3);
    for (size_t n = 0; n < layer3.size(); ++n)
        layer3[n] = static_cast<uint8_t>((n * 2654435761u) >> 24);
    NoiseGenerator dragged = noiseLayer(NoiseGenerator::Perlin, NoiseGenerator::FBm, 7);

    Outputs reference;
    const double plainMs =
        bench::TimeMs(3,
                      [&]
                      {
                          reference.layer = plain::NoiseLayer(dragged, 0.0f, 0.0f, side, side);
                          const std::vector<plain::Layer> layers = {{layer1.data(), 1, 12.0f},
                                                                    {reference.layer.data(), 1, 20.0f},
                                                                    {layer2.data(), 1, -6.0f},
                                                                    {layer3.data(), 3, 2.0f}};
                          plain::Heights h = plain::ApplyHeightmaps(base, side, side, layers);
                          reference.heightBytes = plain::HeightmapBytes(h, count);
                          plain::Normals(h.positions, side, side, reference.normals, reference.normalBytes);
                          reference.positions = std::move(h.positions);
                          reference.minHeight = h.minHeight;
                          reference.maxHeight = h.maxHeight;
                      });

    Outputs fast;
    fast.layer.resize(count);
    fast.positions.resize(3 * count);
    fast.heightBytes.resize(count);
    fast.normals.resize(3 * count);
    fast.normalBytes.resize(3 * count);
    std::vector<float> samples;
    const auto cycle = [&]
    {
        Layers::NoiseImage(dragged, 0.0f, 0.0f, side, side, samples, fast.layer.data());
        const Layers::LayerView layers[4] = {{layer1.data(), 1, 12.0f},
                                             {fast.layer.data(), 1, 20.0f},
                                             {layer2.data(), 1, -6.0f},
                                             {layer3.data(), 3, 2.0f}};
        const TerrainGrid::HeightRange range =
            Layers::ApplyLayers(base.data(), fast.positions.data(), side, side, layers, 4);
        fast.minHeight = range.min;
        fast.maxHeight = range.max;
        TerrainGrid::HeightmapBytes(fast.positions.data(), count, range.min, range.max,
                                    fast.heightBytes.data());
        TerrainGrid::VertexNormals(fast.positions.data(), side, side, fast.normals.data(),
                                   fast.normalBytes.data());
    };
    cycle(); // warm the buffers
    const double fastMs = bench::TimeMs(15, cycle);

    const bool identical = bench::SameBits(fast.layer, reference.layer) &&
                           bench::SameBits(fast.positions, reference.positions) &&
                           fast.minHeight == reference.minHeight && fast.maxHeight == reference.maxHeight &&
                           bench::SameBits(fast.heightBytes, reference.heightBytes) &&
                           bench::SameBits(fast.normals, reference.normals) &&
                           bench::SameBits(fast.normalBytes, reference.normalBytes);

    // The parts of the cycle on their own, to see where the time goes.
    const auto printParts = [&]
    {
        const double noiseMs = bench::TimeMs(
            9, [&] { Layers::NoiseImage(dragged, 0.0f, 0.0f, side, side, samples, fast.layer.data()); });
        const Layers::LayerView layers[4] = {{layer1.data(), 1, 12.0f},
                                             {fast.layer.data(), 1, 20.0f},
                                             {layer2.data(), 1, -6.0f},
                                             {layer3.data(), 3, 2.0f}};
        const double applyMs = bench::TimeMs(
            9, [&] { Layers::ApplyLayers(base.data(), fast.positions.data(), side, side, layers, 4); });
        const double bytesMs =
            bench::TimeMs(9,
                          [&]
                          {
                              TerrainGrid::HeightmapBytes(fast.positions.data(), count, fast.minHeight,
                                                          fast.maxHeight, fast.heightBytes.data());
                          });
        const double normalsMs =
            bench::TimeMs(9,
                          [&]
                          {
                              TerrainGrid::VertexNormals(fast.positions.data(), side, side,
                                                         fast.normals.data(), fast.normalBytes.data());
                          });
        std::printf("  parts on %u threads: noise %.2f ms, apply %.2f ms, heightmap bytes %.2f ms, normals + "
                    "texture %.2f ms\n",
                    Parallel::ThreadCount(), noiseMs, applyMs, bytesMs, normalsMs);
    };
    std::printf("Realtime cycle %u x %u, 4 layers, %u threads\n", side, side, Parallel::ThreadCount());
    bench::Row("cycle (Perlin fBm 3 + apply 4)", plainMs, fastMs, identical);
    printParts();

    Parallel::SetThreadCount(1);
    const double oneThreadMs = bench::TimeMs(7, cycle);
    const bool oneThreadIdentical = bench::SameBits(fast.positions, reference.positions) &&
                                    bench::SameBits(fast.normals, reference.normals) &&
                                    bench::SameBits(fast.normalBytes, reference.normalBytes);
    bench::Row("cycle, our passes on 1 thread", plainMs, oneThreadMs, oneThreadIdentical);
    printParts();
    std::printf("  processor time of one cycle on 1 thread: %.2f ms (the plain loops: %.2f ms)\n",
                bench::CpuMs(7, cycle),
                bench::CpuMs(3,
                             [&]
                             {
                                 const std::vector<uint8_t> layer =
                                     plain::NoiseLayer(dragged, 0.0f, 0.0f, side, side);
                                 const std::vector<plain::Layer> layers = {{layer1.data(), 1, 12.0f},
                                                                           {layer.data(), 1, 20.0f},
                                                                           {layer2.data(), 1, -6.0f},
                                                                           {layer3.data(), 3, 2.0f}};
                                 plain::Heights h = plain::ApplyHeightmaps(base, side, side, layers);
                                 std::vector<uint8_t> bytes = plain::HeightmapBytes(h, count);
                                 std::vector<float> normals;
                                 std::vector<uint8_t> normalBytes;
                                 plain::Normals(h.positions, side, side, normals, normalBytes);
                             }));
    Parallel::SetThreadCount(0);
    std::printf("target: under 25 ms on all cores: %s\n", fastMs < 25.0 ? "met" : "NOT met");
    return identical && oneThreadIdentical ? 0 : 1;
}
