#include "terrain/Brush.h"

#include "terrain/TextureGen.h"

#include <algorithm>
#include <cmath>

namespace
{
// trunc(value) as an integer, or false when the value is NaN or too far out to matter: positions
// beyond 2^31 texels cannot reach any texture, and converting them would be undefined.
bool TruncToTexel(float value, int64_t& out)
{
    if (!(std::fabs(value) < 2147483648.0f)) return false;
    out = static_cast<int64_t>(value);
    return true;
}
} // namespace

glm::vec2 Brush::ImageToTexel(glm::vec2 mouse, glm::vec2 imageTopLeft, float imageWidth,
                              uint32_t textureWidth, uint32_t textureHeight)
{
    const float scale = imageWidth / static_cast<float>(textureWidth);
    const float bottom = imageTopLeft.y + static_cast<float>(textureHeight) * scale;
    return {(mouse.x - imageTopLeft.x) / scale, (bottom - mouse.y) / scale};
}

void Brush::AdaptToChannels(uint32_t channels)
{
    if (channels > 2) raiseLower = false;
}

size_t Brush::PaintBuffer(uint8_t* data, uint32_t width, uint32_t height, uint32_t channels,
                          glm::vec2 position)
{
    lastPosition = position;
    int64_t tx = 0;
    int64_t ty = 0;
    if (data == nullptr || !TruncToTexel(position.x, tx) || !TruncToTexel(position.y, ty)) return 0;

    const uint32_t written = std::min(channels, 4u);
    uint8_t setBytes[4];
    for (uint32_t c = 0; c < written; ++c)
        setBytes[c] = TextureGen::UnitToByte(pickColor[c]);
    auto paintTexel = [&](int64_t x, int64_t y)
    {
        uint8_t* texel = data + (static_cast<size_t>(y) * width + static_cast<size_t>(x)) * channels;
        for (uint32_t c = 0; c < written; ++c)
        {
            if (raiseLower)
                texel[c] = static_cast<uint8_t>(std::clamp<int64_t>(int64_t{texel[c]} + amount, 0, 255));
            else
                texel[c] = setBytes[c];
        }
    };

    const int64_t w = width;
    const int64_t h = height;
    const int64_t r = size / 2; // trunc(size * 0.5)
    if (r < 2)
    {
        if (tx < 0 || ty < 0 || tx >= w || ty >= h) return 0;
        paintTexel(tx, ty);
        return 1;
    }

    // The footprint runs from r left of and below the centre to r - 1 right of and above it; clip the
    // ranges to the buffer first so a huge brush costs no more than the texture.
    const int64_t dyFirst = std::max(-r, -ty);
    const int64_t dyLast = std::min(r - 1, h - 1 - ty);
    const int64_t dxFirst = std::max(-r, -tx);
    const int64_t dxLast = std::min(r - 1, w - 1 - tx);
    size_t painted = 0;
    for (int64_t dy = dyFirst; dy <= dyLast; ++dy)
    {
        for (int64_t dx = dxFirst; dx <= dxLast; ++dx)
        {
            if (shape == BrushShape::Circle && dx * dx + dy * dy >= r * r) continue;
            paintTexel(tx + dx, ty + dy);
            ++painted;
        }
    }
    return painted;
}

TerrainGrid::Region Brush::DabTexels(glm::vec2 position, uint32_t width, uint32_t height) const
{
    int64_t tx = 0;
    int64_t ty = 0;
    if (!TruncToTexel(position.x, tx) || !TruncToTexel(position.y, ty)) return {};
    const int64_t r = size / 2;
    // As PaintBuffer: one texel below radius 2, else from r before the centre to r - 1 after it.
    const int64_t before = r < 2 ? 0 : r;
    const int64_t after = r < 2 ? 1 : r;
    const auto clip = [](int64_t v, uint32_t limit)
    { return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, int64_t{limit})); };
    return {clip(ty - before, height), clip(ty + after, height), clip(tx - before, width),
            clip(tx + after, width)};
}

bool Brush::CopyColorFromBuffer(const uint8_t* data, uint32_t width, uint32_t height, uint32_t channels)
{
    int64_t x = 0;
    int64_t y = 0;
    if (data == nullptr || !TruncToTexel(lastPosition.x, x) || !TruncToTexel(lastPosition.y, y)) return false;
    if (x < 0 || y < 0 || x >= int64_t{width} || y >= int64_t{height}) return false;
    const uint8_t* texel = data + (static_cast<size_t>(y) * width + static_cast<size_t>(x)) * channels;
    for (uint32_t c = 0; c < std::min(channels, 4u); ++c)
        pickColor[c] = static_cast<float>(texel[c] / 255.0);
    return true;
}
