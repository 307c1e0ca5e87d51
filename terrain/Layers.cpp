#include "terrain/Layers.h"

namespace Layers
{
void NoiseImage(const NoiseGenerator& noise, float offsetX, float offsetY, uint32_t width, uint32_t height,
                std::vector<float>& samples, uint8_t* out, float* levels, const GridPlace& place)
{
    const size_t W = width;
    const size_t H = height;
    samples.resize(W * H);
    float* s = samples.data();
    const TerrainGrid::HeightRange range = TerrainGrid::ForRows(
        W, 8 * H,
        [&](size_t begin, size_t end, TerrainGrid::HeightRange& rows)
        {
            for (size_t i = begin; i < end; ++i)
            {
                float* row = s + i * H;
                const int32_t worldI = place.i + static_cast<int32_t>(i);
                noise.GetNoiseRow(offsetX, static_cast<float>(worldI) + offsetY, height, row, place.j);
                rows.Add(TerrainGrid::RangeOf(row, H));
            }
        });

    const float smallest = place.world ? -1.0f : range.min;
    const float scale = place.world ? 127.5f : 255.0f / (range.max - range.min);
    TerrainGrid::ForRows(W, H,
                         [&](size_t begin, size_t end)
                         {
                             const float* __restrict from = s;
                             uint8_t* __restrict to = out;
                             const size_t first = begin * H;
                             const size_t last =
                                 end * H; // locals: the byte stores could alias captured values
                             const float low = smallest;
                             const float factor = scale;
                             if (levels == nullptr)
                             {
                                 for (size_t k = first; k < last; ++k)
                                     to[k] = LayerByte(from[k], low, factor);
                                 return;
                             }
                             float* __restrict level = levels;
                             for (size_t k = first; k < last; ++k)
                             {
                                 level[k] = LayerLevel(from[k], low, factor);
                                 to[k] = RoundLevel(level[k]);
                             }
                         });
}

TerrainGrid::HeightRange ApplyLayers(const float* basePositions, float* positions, uint32_t width,
                                     uint32_t height, const LayerView* layers, size_t layerCount)
{
    const size_t H = height;
    return TerrainGrid::ForRows(width, H * (1 + layerCount),
                                [&](size_t begin, size_t end, TerrainGrid::HeightRange& range)
                                {
                                    // One row at a time: heights out of the interleaved positions, each layer
                                    // added over the whole row (the same additions per vertex, in list
                                    // order), then written back.
                                    const size_t n = H; // a local: the byte loads could alias captured values
                                    std::vector<float> row(n);
                                    float* __restrict y = row.data();
                                    for (size_t i = begin; i < end; ++i)
                                    {
                                        const float* base = basePositions + 3 * i * n;
                                        for (size_t j = 0; j < n; ++j)
                                            y[j] = base[3 * j + 1];
                                        for (size_t l = 0; l < layerCount; ++l)
                                        {
                                            const LayerView& layer = layers[l];
                                            if (layer.offsets != nullptr)
                                            {
                                                const float* __restrict o = layer.offsets + i * n;
                                                for (size_t j = 0; j < n; ++j)
                                                    y[j] += o[j];
                                                continue;
                                            }
                                            const float power = layer.power;
                                            const uint32_t c = layer.channels;
                                            const uint8_t* __restrict p =
                                                layer.data + c * i * n + LayerChannelOffset(c);
                                            if (c == 1 && layer.levels != nullptr)
                                            {
                                                const float* __restrict v = layer.levels + i * n;
                                                for (size_t j = 0; j < n; ++j)
                                                    y[j] += SmoothLevel(p[j], v[j]) * 0.003921569f * power;
                                            }
                                            else if (c == 1)
                                                for (size_t j = 0; j < n; ++j)
                                                    y[j] += static_cast<float>(p[j]) * 0.003921569f * power;
                                            else
                                                for (size_t j = 0; j < n; ++j)
                                                    y[j] +=
                                                        static_cast<float>(p[c * j]) * 0.003921569f * power;
                                        }
                                        range.Add(TerrainGrid::RangeOf(y, n));
                                        float* to = positions + 3 * i * n;
                                        for (size_t j = 0; j < n; ++j)
                                        {
                                            to[3 * j] = base[3 * j];
                                            to[3 * j + 1] = y[j];
                                            to[3 * j + 2] = base[3 * j + 2];
                                        }
                                    }
                                });
}
} // namespace Layers
