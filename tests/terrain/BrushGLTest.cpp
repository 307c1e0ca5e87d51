#include "terrain/Brush.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/terrain/GLReadBack.h"

namespace
{
using BrushGLTest = testsupport::GLTest;

// The image shows the 8 x 4 texture 80 pixels wide at (10, 20), so the click at (35, 52) is texel
// (2.5, 0.8); the set-mode dab lands on the GPU copy.
TEST_F(BrushGLTest, DabFromAClickIsUploaded)
{
    Texture texture(8, 4, 3, false, GL_NEAREST);
    Brush brush{BrushShape::Square, 4, false, {1.0f, 0.5f, 0.2f, 1.0f}};
    const glm::vec2 texel = Brush::ImageToTexel({35.0f, 52.0f}, {10.0f, 20.0f}, 80.0f, 8, 4);
    EXPECT_EQ(brush.Paint(texture, texel), 8u); // x 0 .. 3, y 0 .. 1 (rows -2 and -1 clipped)
    std::vector<uint8_t> expected(8 * 4 * 3, 0);
    for (size_t texel : {0, 1, 2, 3, 8, 9, 10, 11}) // x 0 .. 3 of rows 0 and 1
        std::copy_n(std::array<uint8_t, 3>{255, 127, 51}.begin(), 3, &expected[3 * texel]);
    EXPECT_EQ(terraintest::ReadTexture(texture), expected);
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}
} // namespace
