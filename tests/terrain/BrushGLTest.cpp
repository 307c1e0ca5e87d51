#include "render/Texture.h"
#include "terrain/Brush.h"
#include "tests/support/GLTestEnvironment.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <vector>

namespace
{
class BrushGLTest : public testsupport::GLTest
{
};

std::vector<uint8_t> ReadTexture(const Texture& texture, GLenum format, size_t bytesPerTexel)
{
    std::vector<uint8_t> pixels(size_t{texture.width} * texture.height * bytesPerTexel);
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
}

// A dab clicked on the editor image lands on the GPU copy: the image shows the 8 x 4 texture 80 pixels
// wide at (10, 20), so the click at (35, 52) is texel (2.5, 0.8).
TEST_F(BrushGLTest, DabFromAClickIsUploaded)
{
    Texture texture(8, 4, 3, false, GL_NEAREST);
    Brush brush;
    brush.size = 4;
    brush.pickColor = {1.0f, 0.5f, 0.0f, 1.0f};
    const glm::vec2 texel = Brush::ImageToTexel({35.0f, 52.0f}, {10.0f, 20.0f}, 80.0f, 8, 4);
    EXPECT_EQ(brush.Paint(texture, texel), 8u); // x 0 .. 3, y 0 .. 1 (rows -2 and -1 clipped)
    const std::vector<uint8_t> texels = ReadTexture(texture, GL_RGB, 3);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 8; ++x)
        {
            const size_t at = 3 * (y * 8 + x);
            const bool painted = x <= 3 && y <= 1;
            EXPECT_EQ(texels[at], painted ? 255 : 0) << x << ", " << y;
            EXPECT_EQ(texels[at + 1], painted ? 127 : 0) << x << ", " << y;
        }
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

TEST_F(BrushGLTest, RaiseOnAGreyTextureThenCopy)
{
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[4]{51, 250, 0, 0});
    Texture texture(2, 2, 1, std::move(pixels), false, GL_NEAREST);
    Brush brush;
    brush.raiseLower = true;
    brush.amount = 10;
    brush.Paint(texture, {1.5f, 0.5f});
    EXPECT_EQ(ReadTexture(texture, GL_RED, 1), (std::vector<uint8_t>{51, 255, 0, 0}));

    brush.Pick({0.2f, 0.9f});
    EXPECT_TRUE(brush.CopyColor(texture));
    EXPECT_FLOAT_EQ(brush.pickColor[0], 0.2f);
}

TEST_F(BrushGLTest, TextureWithoutPixelsIsLeftAlone)
{
    Texture checkerboard("no/such/file.png");
    Brush brush;
    brush.size = 6;
    EXPECT_EQ(brush.Paint(checkerboard, {1.0f, 1.0f}), 0u);
    EXPECT_FALSE(brush.CopyColor(checkerboard));
}
} // namespace
