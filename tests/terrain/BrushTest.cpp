#include "terrain/Brush.h"

#include "tests/support/TestCommon.h"

namespace
{
// A texture buffer with guard bytes on both sides, so that a write outside it is caught.
struct GuardedBuffer
{
    static constexpr size_t kGuard = 64;
    GuardedBuffer(uint32_t w, uint32_t h, uint32_t c, uint8_t fill = 0)
        : width(w), height(h), channels(c), bytes(2 * kGuard + size_t{w} * h * c, 0xA5)
    {
        std::fill(bytes.begin() + kGuard, bytes.end() - kGuard, fill);
    }
    uint8_t* Data() { return bytes.data() + kGuard; }
    uint8_t& At(size_t x, size_t y, size_t c = 0) { return Data()[(y * width + x) * channels + c]; }
    bool GuardsIntact() const
    {
        const auto guard = [](uint8_t b) { return b == 0xA5; };
        return std::all_of(bytes.begin(), bytes.begin() + kGuard, guard) &&
               std::all_of(bytes.end() - kGuard, bytes.end(), guard);
    }
    size_t Paint(Brush& b, glm::vec2 at) { return b.PaintBuffer(Data(), width, height, channels, at); }
    // Rows from the top (y = height - 1) down, separated by '/', '#' where channel 0 is nonzero.
    std::string Picture()
    {
        std::string picture;
        for (uint32_t y = height; y-- > 0; picture += y > 0 ? "/" : "")
            for (uint32_t x = 0; x < width; ++x)
                picture += At(x, y) != 0 ? '#' : '.';
        return picture;
    }
    const uint32_t width, height, channels;
    std::vector<uint8_t> bytes;
};

TEST(BrushTest, FootprintsBySizeAndShape)
{
    // The pictures: an 8 x 8 texture, the dab centred on texel (4, 4) (row 4 from the bottom).
    const std::tuple<BrushShape, int32_t, const char*> cases[] = {
        {BrushShape::Square, 1, "......../......../......../....#.../......../......../......../........"},
        {BrushShape::Square, 2, "......../......../......../....#.../......../......../......../........"},
        {BrushShape::Circle, 3, "......../......../......../....#.../......../......../......../........"},
        {BrushShape::Square, 4, "......../......../..####../..####../..####../..####../......../........"},
        {BrushShape::Square, 5, "......../......../..####../..####../..####../..####../......../........"},
        {BrushShape::Circle, 4, "......../......../...###../...###../...###../......../......../........"},
        {BrushShape::Circle, 5, "......../......../...###../...###../...###../......../......../........"},
        {BrushShape::Square, 6, "......../.######./.######./.######./.######./.######./.######./........"},
        {BrushShape::Circle, 6, "......../..#####./..#####./..#####./..#####./..#####./......../........"},
    };
    for (const auto& [shape, size, picture] : cases)
    {
        GuardedBuffer buffer(8, 8, 1);
        Brush brush{shape, size, false, glm::vec4(1.0f)};
        buffer.Paint(brush, {4.5f, 4.5f});
        EXPECT_EQ(buffer.Picture(), picture) << (shape == BrushShape::Square ? "square " : "circle ") << size;
        EXPECT_TRUE(buffer.GuardsIntact());
    }
}

// Positions at and beyond every edge (y == height is the image's top edge) and far away.
TEST(BrushTest, DabsAreClippedToTheTexture)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::tuple<float, float, BrushShape, int32_t, size_t> cases[] = {
        {3.0f, 5.0f, BrushShape::Square, 1, 0},  // y == height
        {3.0f, 5.0f, BrushShape::Square, 4, 8},  // rows 3 and 4
        {7.0f, 3.0f, BrushShape::Square, 4, 8},  // x == width
        {-3.5f, 2.0f, BrushShape::Square, 8, 5}, // only column 0 (dx -4 .. 3), rows 0 .. 4
        {-0.5f, 0.0f, BrushShape::Square, 1, 1}, // trunc(-0.5) is texel 0
        {-1.0f, 0.0f, BrushShape::Square, 1, 0},
        {6.9f, 4.9f, BrushShape::Circle, 6, 9}, // corner of a circle: dx, dy in -3 .. 0 with dx^2 + dy^2 < 9
        {0.0f, 0.0f, BrushShape::Square, 1000001, 35},
        {3e9f, 2.0f, BrushShape::Square, 64, 0},
        {-3e9f, -3e9f, BrushShape::Circle, 64, 0},
        {nan, 2.0f, BrushShape::Square, 4, 0},
        {2.0f, std::numeric_limits<float>::infinity(), BrushShape::Square, 4, 0}};
    for (const auto& [x, y, shape, size, painted] : cases)
    {
        GuardedBuffer buffer(7, 5, 3);
        Brush brush{shape, size, false, glm::vec4(1.0f)};
        EXPECT_EQ(buffer.Paint(brush, {x, y}), painted) << x << ", " << y << " size " << size;
        EXPECT_TRUE(buffer.GuardsIntact()) << x << ", " << y;
    }
    Brush brush{BrushShape::Square, 6}; // a texture without pixels (an image that did not load)
    EXPECT_EQ(brush.PaintBuffer(nullptr, 7, 5, 3, {1.0f, 1.0f}), 0u);
    EXPECT_FALSE(brush.CopyColorFromBuffer(nullptr, 7, 5, 3));
}

TEST(BrushTest, RaiseLowerAddsAndClamps)
{
    const int cases[][3] = {{0, 255, 255},  {200, 255, 255}, {100, -255, 0}, {3, -10, 0}, {100, 10, 110},
                            {250, 10, 255}, {251, 4, 255},   {7, 0, 7}}; // before, amount, after
    for (int32_t size : {1, 6})
        for (const auto& [before, amount, after] : cases)
        {
            GuardedBuffer buffer(8, 8, 2, static_cast<uint8_t>(before));
            Brush brush{BrushShape::Square, size, true, glm::vec4(1.0f), amount};
            buffer.Paint(brush, {4.0f, 4.0f});
            EXPECT_EQ(buffer.At(4, 4, 0), after) << before << " + " << amount << " size " << size;
            EXPECT_EQ(buffer.At(4, 4, 1), after);
            EXPECT_EQ(buffer.At(0, 0, 0), before);
        }
    Brush brush{BrushShape::Square, 1, true}; // offered for one and two channels only
    brush.AdaptToChannels(2);
    EXPECT_TRUE(brush.raiseLower);
    brush.AdaptToChannels(3);
    EXPECT_FALSE(brush.raiseLower);
}

// "Copy color" takes byte c of texel (trunc(x), trunc(y)) / 255 into component c for every channel the
// texture has and keeps the other components; outside the texture it copies nothing. Every byte of the
// 5 x 3 texture differs, so a wrong stride or row length reads another value.
TEST(BrushTest, PickThenCopyReadsTheTexelsChannels)
{
    for (uint32_t channels = 1; channels <= 4; ++channels)
    {
        GuardedBuffer buffer(5, 3, channels);
        std::iota(buffer.Data(), buffer.Data() + 5 * 3 * channels, uint8_t{1});
        const glm::vec4 before(0.9f, 0.8f, 0.7f, 0.6f);
        Brush brush{BrushShape::Square, 1, false, before};
        brush.Pick({3.9f, 1.2f}); // texel (3, 1): bytes from (1 * 5 + 3) * channels on
        EXPECT_TRUE(brush.CopyColorFromBuffer(buffer.Data(), 5, 3, channels));
        for (uint32_t c = 0; c < 4; ++c)
            EXPECT_EQ(brush.pickColor[c],
                      c < channels ? static_cast<float>((8 * channels + c + 1) / 255.0) : before[c])
                << channels << " channels, component " << c;
        for (glm::vec2 outside :
             {glm::vec2{2.0f, 3.0f}, glm::vec2{5.0f, 0.0f}, glm::vec2{-1.5f, 1.0f}, glm::vec2{1e20f, 0.0f}})
        {
            const glm::vec4 copied = brush.pickColor;
            brush.Pick(outside);
            EXPECT_FALSE(brush.CopyColorFromBuffer(buffer.Data(), 5, 3, channels));
            EXPECT_EQ(brush.pickColor, copied);
        }
    }
}

} // namespace
