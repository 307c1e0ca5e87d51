#pragma once
// Heightmap layers as plain functions: the noise layer image and the sum of the layers over the
// base heights. Terrain::Heightmap and Terrain call these and do the GL uploads; both passes split
// rows over the cores and give the same bits as a plain loop whatever the thread count.
#include "terrain/Noise.h"
#include "terrain/TerrainGrid.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Layers
{
// A layer's level before rounding: (s - smallest) * scale clamped to 0..255 (a NaN becomes 0).
inline float LayerLevel(float sample, float smallest, float scale)
{
    float v = (sample - smallest) * scale;
    v = v > 255.0f ? 255.0f : v;
    return v > 0.0f ? v : 0.0f;
}

// A level rounded half away from zero to its pixel. roundf is spelled out (exact for 0..255:
// v - trunc(v) has no rounding error there) so that the pass needs no library call per pixel.
inline uint8_t RoundLevel(float v)
{
    const int32_t whole = static_cast<int32_t>(v);
    return static_cast<uint8_t>(whole + (v - static_cast<float>(whole) >= 0.5f ? 1 : 0));
}

// A layer's pixel: its level, rounded.
inline uint8_t LayerByte(float sample, float smallest, float scale)
{
    return RoundLevel(LayerLevel(sample, smallest, scale));
}

// Where a grid lies in a world of tiles (terrain/World.h): the world index of its vertex (0, 0), i
// along x and j along z, and how its noise layers level their samples. A lone terrain lies at (0, 0)
// and stretches its own samples to 0..255; a world's tile cannot see the other tiles' samples, so
// its noise layers map the noise's whole range -1..1 to 0..255 instead (a sample beyond is clamped).
struct GridPlace
{
    int32_t i = 0;
    int32_t j = 0;
    bool world = false;

    bool operator==(const GridPlace& o) const { return i == o.i && j == o.j && world == o.world; }
    bool operator!=(const GridPlace& o) const { return !(*this == o); }
};

// Noise layer image of width x height in vertex order: vertex (i, j) samples the noise at
// (float(place.j + j) + offsetX, float(place.i + i) + offsetY), the world index made a float before
// the offset is added, so that a tile's samples are those of the same vertices of a larger grid bit
// for bit. A lone terrain's samples are stretched to exactly 0..255 (all 0 when they are all equal),
// so the image does not depend on the noise's amplitude; a world's map -1..1 to 0..255. samples is
// scratch space. levels, when given, receives the unrounded level of every pixel (smooth heights).
void NoiseImage(const NoiseGenerator& noise, float offsetX, float offsetY, uint32_t width, uint32_t height,
                std::vector<float>& samples, uint8_t* out, float* levels = nullptr,
                const GridPlace& place = {});

// One layer to add: its pixel buffer (channels bytes per vertex, vertex order), and its power.
// levels (one-channel layers with smooth heights) holds each pixel's unrounded level: a pixel that is
// its level rounded adds the level instead, so the layer adds no 1/255 steps; a pixel painted to
// another value adds that value.
struct LayerView
{
    const uint8_t* data = nullptr;
    uint32_t channels = 1;
    float power = 1.0f;
    const float* levels = nullptr;
    // A sculpt entry: one height per vertex, added as it is (data, channels, power and levels unused).
    const float* offsets = nullptr;
};

// What a pixel of a layer with levels adds before the power: the level, unless the pixel was painted.
inline float SmoothLevel(uint8_t pixel, float level)
{
    return RoundLevel(level) == pixel ? level : static_cast<float>(pixel);
}

// Three- and four-channel images contribute green, one- and two-channel images their first channel.
inline uint32_t LayerChannelOffset(uint32_t channels)
{
    return channels >= 3 ? 1u : 0u;
}

// positions = basePositions with every layer added to y in list order: y += float(p) * (1/255) * power,
// or y += offsets[k] for a sculpt entry.
// basePositions may be positions itself (adding to the current heights). Returns the height range.
TerrainGrid::HeightRange ApplyLayers(const float* basePositions, float* positions, uint32_t width,
                                     uint32_t height, const LayerView* layers, size_t layerCount);
} // namespace Layers
