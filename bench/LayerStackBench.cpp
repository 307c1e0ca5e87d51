// "Update mesh" at 1025 x 1025 with an erosion entry in the stack (a noise-like layer, 250,000 hydraulic
// droplets, a three-channel layer): the first apply erodes; applying again with nothing changed, or with
// only the layer after the entry changed, takes the cached result and costs about what the stack costs
// without the entry (the reference row: the same two layers added with no erosion entry).
#include "PlainLoops.h"

#include "engine/Parallel.h"
#include "terrain/LayerStack.h"

#include <cstdio>

int main()
{
    const uint32_t side = 1025;
    const size_t count = size_t{side} * side;
    std::vector<float> base;
    std::vector<uint32_t> indices;
    std::vector<float> normals, texCoords, heights;
    TerrainGrid::BuildGrid(side, side, 1.0f, base, indices, normals, texCoords);
    GeneratorRandom random(99);
    Generators::DiamondSquare(side, side, 40.0f, 1.0f, random, heights);
    TerrainGrid::AddHeights(base.data(), heights.data(), count, 1.0f);

    std::vector<uint8_t> ramp(count), rgb(3 * count);
    for (size_t k = 0; k < count; ++k)
        ramp[k] = static_cast<uint8_t>((k / side) % 256);
    for (size_t n = 0; n < rgb.size(); ++n)
        rgb[n] = static_cast<uint8_t>((n * 2654435761u) >> 24);

    LayerStack::ErosionCache cache;
    LayerStack::Entry entries[] = {LayerStack::Entry::Add({ramp.data(), 1, 8.0f}),
                                   LayerStack::Entry::Erode(Erosion::Settings{}, &cache),
                                   LayerStack::Entry::Add({rgb.data(), 3, 2.0f})};
    const LayerStack::Entry noErosion[] = {entries[0], entries[2]};
    std::vector<float> positions(3 * count), again(3 * count);
    TerrainGrid::HeightRange range;
    const auto apply = [&](std::vector<float>& out, const LayerStack::Entry* list, size_t n)
    { LayerStack::Apply(base.data(), out.data(), side, side, 1.0f, list, n, range); };

    const double firstMs = bench::TimeMs(1, [&] { apply(positions, entries, 3); });
    const double withoutMs = bench::TimeMs(9, [&] { apply(again, noErosion, 2); });
    const double cachedMs = bench::TimeMs(9, [&] { apply(again, entries, 3); });
    const bool same = bench::SameBits(again, positions) && cache.generation == 1;
    entries[2].image.power = 3.0f;
    const double laterChangedMs = bench::TimeMs(9, [&] { apply(again, entries, 3); });
    const bool stillCached = cache.generation == 1;
    const double fingerprintMs = bench::TimeMs(9, [&] { LayerStack::Fingerprint(heights.data(), count); });

    std::printf("Layer stack %u x %u with hydraulic erosion (250,000 droplets), %u threads\n", side, side,
                Parallel::ThreadCount());
    std::printf("  first apply (erodes)                 %9.2f ms\n", firstMs);
    bench::Row("apply again, nothing changed", withoutMs, cachedMs, same);
    bench::Row("apply, a later layer changed", withoutMs, laterChangedMs, stillCached);
    std::printf("  fingerprint of the input heights     %9.2f ms\n", fingerprintMs);
    std::printf(
        "  (plain: the same layers without the erosion entry; identical: cached bits and no new run)\n");
    return same && stillCached ? 0 : 1;
}
