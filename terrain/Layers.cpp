#include "terrain/Layers.h"

namespace Layers
{
void NoiseImage(const NoiseGenerator& noise, float offsetX, float offsetY, uint32_t width, uint32_t height,
                std::vector<float>& samples, uint8_t* out)
{
    const size_t W = width;
    const size_t H = height;
    samples.resize(W * H);
    float* s = samples.data();
    const TerrainGrid::HeightRange range = TerrainGrid::ForRows(W, 8 * H, [&](size_t begin, size_t end, TerrainGrid::HeightRange& rows) {
        for (size_t i = begin; i < end; ++i)
        {
            float* row = s + i * H;
            noise.GetNoiseRow(offsetX, static_cast<float>(i) + offsetY, height, row);
            for (size_t j = 0; j < H; ++j)
                rows.Add(row[j]);
        }
    });

    const float smallest = range.min;
    const float scale = 255.0f / (range.max - range.min);
    TerrainGrid::ForRows(W, H, [&](size_t begin, size_t end) {
        for (size_t k = begin * H; k < end * H; ++k)
            out[k] = LayerByte(s[k], smallest, scale);
    });
}

TerrainGrid::HeightRange ApplyLayers(const float* basePositions, float* positions, uint32_t width, uint32_t height,
                                     const LayerView* layers, size_t layerCount)
{
    const size_t H = height;
    return TerrainGrid::ForRows(width, H * (1 + layerCount), [&](size_t begin, size_t end, TerrainGrid::HeightRange& range) {
        for (size_t k = begin * H; k < end * H; ++k)
        {
            positions[3 * k] = basePositions[3 * k];
            positions[3 * k + 2] = basePositions[3 * k + 2];
            float y = basePositions[3 * k + 1];
            for (size_t l = 0; l < layerCount; ++l)
            {
                const LayerView& layer = layers[l];
                const uint8_t p = layer.data[layer.channels * k + LayerChannelOffset(layer.channels)];
                y += static_cast<float>(p) * 0.003921569f * layer.power;
            }
            positions[3 * k + 1] = y;
            range.Add(y);
        }
    });
}
} // namespace Layers
