#include "terrain/Brush.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace
{
// A texture buffer with guard bytes on both sides, so that a write outside it is caught.
class GuardedBuffer
{
public:
    GuardedBuffer(uint32_t width, uint32_t height, uint32_t channels, uint8_t fill = 0)
        : width(width), height(height), channels(channels),
          bytes(2 * kGuard + size_t{width} * height * channels, kGuardValue)
    {
        std::fill(bytes.begin() + kGuard, bytes.end() - kGuard, fill);
    }
    uint8_t* Data() { return bytes.data() + kGuard; }
    uint8_t At(uint32_t x, uint32_t y, uint32_t c = 0) const
    {
        return bytes[kGuard + (size_t{y} * width + x) * channels + c];
    }
    void Set(uint32_t x, uint32_t y, uint8_t value, uint32_t c = 0)
    {
        bytes[kGuard + (size_t{y} * width + x) * channels + c] = value;
    }
    bool GuardsIntact() const
    {
        for (size_t g = 0; g < kGuard; ++g)
            if (bytes[g] != kGuardValue || bytes[bytes.size() - 1 - g] != kGuardValue)
                return false;
        return true;
    }
    size_t Paint(Brush& brush, float x, float y) { return brush.PaintBuffer(Data(), width, height, channels, {x, y}); }
    // Rows from top (y = height - 1) to bottom, '#' where channel 0 is nonzero.
    std::string Picture() const
    {
        std::string picture;
        for (uint32_t y = height; y-- > 0;)
        {
            for (uint32_t x = 0; x < width; ++x)
                picture += At(x, y) != 0 ? '#' : '.';
            picture += '\n';
        }
        return picture;
    }

    const uint32_t width, height, channels;

private:
    static constexpr size_t kGuard = 64;
    static constexpr uint8_t kGuardValue = 0xA5;
    std::vector<uint8_t> bytes;
};

Brush SetBrush(BrushShape shape, int32_t size)
{
    Brush brush;
    brush.shape = shape;
    brush.size = size;
    brush.pickColor = {1.0f, 1.0f, 1.0f, 1.0f};
    return brush;
}

struct FootprintCase
{
    BrushShape shape;
    int32_t size;
    const char* picture; // 8 x 8 texture, dab centred on texel (4, 4) (row 4 from the bottom)
};

const FootprintCase kFootprints[] = {
    {BrushShape::Square, 1, "........\n........\n........\n....#...\n........\n........\n........\n........\n"},
    {BrushShape::Square, 2, "........\n........\n........\n....#...\n........\n........\n........\n........\n"},
    {BrushShape::Circle, 3, "........\n........\n........\n....#...\n........\n........\n........\n........\n"},
    {BrushShape::Square, 4, "........\n........\n..####..\n..####..\n..####..\n..####..\n........\n........\n"},
    {BrushShape::Square, 5, "........\n........\n..####..\n..####..\n..####..\n..####..\n........\n........\n"},
    {BrushShape::Circle, 4, "........\n........\n...###..\n...###..\n...###..\n........\n........\n........\n"},
    {BrushShape::Circle, 5, "........\n........\n...###..\n...###..\n...###..\n........\n........\n........\n"},
    {BrushShape::Square, 6, "........\n.######.\n.######.\n.######.\n.######.\n.######.\n.######.\n........\n"},
    {BrushShape::Circle, 6, "........\n..#####.\n..#####.\n..#####.\n..#####.\n..#####.\n........\n........\n"},
};

TEST(BrushTest, FootprintsBySizeAndShape)
{
    for (const FootprintCase& c : kFootprints)
    {
        GuardedBuffer buffer(8, 8, 1);
        Brush brush = SetBrush(c.shape, c.size);
        buffer.Paint(brush, 4.5f, 4.5f);
        EXPECT_EQ(buffer.Picture(), c.picture)
            << (c.shape == BrushShape::Square ? "square" : "circle") << " size " << c.size;
        EXPECT_TRUE(buffer.GuardsIntact());
    }
}

TEST(BrushTest, SquareOfFourInTheCornerPaintsTwoByTwo)
{
    GuardedBuffer buffer(4, 4, 1);
    Brush brush = SetBrush(BrushShape::Square, 4);
    EXPECT_EQ(buffer.Paint(brush, 0.2f, 0.7f), 4u);
    EXPECT_EQ(buffer.Picture(), "....\n....\n##..\n##..\n");
    EXPECT_TRUE(buffer.GuardsIntact());
}

struct ClipCase
{
    float x, y;
    BrushShape shape;
    int32_t size;
    size_t painted;
};

// Positions at and beyond every edge, including y == height (the image's top edge) and far away.
TEST(BrushTest, DabsAreClippedToTheTexture)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const ClipCase cases[] = {
        {3.0f, 6.0f, BrushShape::Square, 1, 0},   // y == height
        {3.0f, 6.0f, BrushShape::Square, 4, 8},   // rows 4 and 5
        {6.0f, 3.0f, BrushShape::Square, 4, 8},   // x == width
        {-3.5f, 2.0f, BrushShape::Square, 8, 6},  // only column 0 (dx -4 .. 3), rows 0 .. 5
        {-0.5f, 0.0f, BrushShape::Square, 1, 1},  // trunc(-0.5) is texel 0
        {-1.0f, 0.0f, BrushShape::Square, 1, 0},
        {5.9f, 5.9f, BrushShape::Circle, 6, 9},   // corner of a circle: dx, dy in -3 .. 0 with dx^2 + dy^2 < 9
        {0.0f, 0.0f, BrushShape::Square, 1000001, 36},
        {3e9f, 2.0f, BrushShape::Square, 64, 0},
        {-3e9f, -3e9f, BrushShape::Circle, 64, 0},
        {nan, 2.0f, BrushShape::Square, 4, 0},
        {2.0f, std::numeric_limits<float>::infinity(), BrushShape::Square, 4, 0},
    };
    for (const ClipCase& c : cases)
    {
        GuardedBuffer buffer(6, 6, 3);
        Brush brush = SetBrush(c.shape, c.size);
        EXPECT_EQ(buffer.Paint(brush, c.x, c.y), c.painted) << c.x << ", " << c.y << " size " << c.size;
        EXPECT_TRUE(buffer.GuardsIntact()) << c.x << ", " << c.y;
        if (!std::isnan(c.x))
        {
            EXPECT_EQ(brush.lastPosition.x, c.x);
        }
    }
}

TEST(BrushTest, SetModeWritesEachChannelFromPickColor)
{
    GuardedBuffer buffer(2, 2, 3);
    Brush brush = SetBrush(BrushShape::Square, 1);
    brush.pickColor = {1.0f, 0.5f, 0.2f, 0.9f};
    buffer.Paint(brush, 1.0f, 0.0f);
    EXPECT_EQ(buffer.At(1, 0, 0), 255);
    EXPECT_EQ(buffer.At(1, 0, 1), 127);
    EXPECT_EQ(buffer.At(1, 0, 2), 51);
    EXPECT_EQ(buffer.At(0, 0, 0), 0);
    EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(BrushTest, RaiseLowerAddsAndClamps)
{
    const struct
    {
        uint8_t before;
        int32_t amount;
        uint8_t after;
    } cases[] = {{0, 255, 255}, {200, 255, 255}, {100, -255, 0}, {3, -10, 0}, {100, 10, 110}, {250, 10, 255},
                 {251, 4, 255}, {7, 0, 7}};
    for (int32_t size : {1, 6})
    {
        for (const auto& c : cases)
        {
            GuardedBuffer buffer(8, 8, 2, c.before);
            Brush brush = SetBrush(BrushShape::Square, size);
            brush.raiseLower = true;
            brush.amount = c.amount;
            buffer.Paint(brush, 4.0f, 4.0f);
            EXPECT_EQ(buffer.At(4, 4, 0), c.after) << int{c.before} << " + " << c.amount << " size " << size;
            EXPECT_EQ(buffer.At(4, 4, 1), c.after);
            EXPECT_EQ(buffer.At(0, 0, 0), c.before);
        }
    }
}

TEST(BrushTest, PickThenCopyReadsTheTexel)
{
    GuardedBuffer buffer(4, 4, 1);
    buffer.Set(2, 3, 51);
    Brush brush;
    brush.pickColor = {0.9f, 0.8f, 0.7f, 0.6f};
    brush.Pick({2.7f, 3.1f});
    EXPECT_TRUE(brush.CopyColorFromBuffer(buffer.Data(), 4, 4, 1));
    EXPECT_FLOAT_EQ(brush.pickColor[0], 0.2f);
    EXPECT_FLOAT_EQ(brush.pickColor[1], 0.8f);
    EXPECT_FLOAT_EQ(brush.pickColor[2], 0.7f);
    EXPECT_FLOAT_EQ(brush.pickColor[3], 0.6f);

    for (glm::vec2 outside : {glm::vec2{2.0f, 4.0f}, glm::vec2{-1.5f, 1.0f}, glm::vec2{1e20f, 0.0f}})
    {
        brush.Pick(outside);
        EXPECT_FALSE(brush.CopyColorFromBuffer(buffer.Data(), 4, 4, 1));
        EXPECT_FLOAT_EQ(brush.pickColor[0], 0.2f);
    }
}

// A 100 x 50 texture shown 200 pixels wide with its top-left corner at (100, 50): two screen pixels per
// texel, the image's bottom edge at y = 150.
TEST(BrushTest, ImageToTexelFlipsRows)
{
    const struct
    {
        glm::vec2 mouse;
        glm::vec2 texel;
    } cases[] = {
        {{100.0f, 150.0f}, {0.0f, 0.0f}},    // bottom-left corner
        {{101.0f, 149.0f}, {0.5f, 0.5f}},    // near the bottom edge: row 0
        {{300.0f, 50.0f}, {100.0f, 50.0f}},  // top-right corner: one past the last texel
        {{299.0f, 51.0f}, {99.5f, 49.5f}},   // near the top edge: the last row
        {{200.0f, 100.0f}, {50.0f, 25.0f}},
    };
    for (const auto& c : cases)
    {
        const glm::vec2 texel = Brush::ImageToTexel(c.mouse, {100.0f, 50.0f}, 200.0f, 100, 50);
        EXPECT_FLOAT_EQ(texel.x, c.texel.x) << c.mouse.x << ", " << c.mouse.y;
        EXPECT_FLOAT_EQ(texel.y, c.texel.y) << c.mouse.x << ", " << c.mouse.y;
    }
}
} // namespace
