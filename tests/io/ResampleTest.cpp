#include "io/Resample.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
struct SizeCase
{
    uint32_t width, height, side;
    uint32_t newWidth, newHeight;
    float newDistance, newDistanceZ;
};

class ResampleSizeTest : public ::testing::TestWithParam<SizeCase>
{
};

// The longer side gets the chosen count, the other the count closest to the same vertex distance; both
// axes keep their extent exactly, whatever the side.
TEST_P(ResampleSizeTest, LongerSideTakesTheChosenCountAndBothKeepTheirExtent)
{
    const SizeCase& c = GetParam();
    const Resample::Size size = Resample::SizeFor(c.width, c.height, 2.0f, c.side);
    EXPECT_EQ(std::make_pair(size.width, size.height), std::make_pair(c.newWidth, c.newHeight));
    EXPECT_FLOAT_EQ(size.vertexDistance, c.newDistance);
    EXPECT_FLOAT_EQ(size.vertexDistanceZ, c.newDistanceZ);
    EXPECT_DOUBLE_EQ((size.width - 1) * size.stepI, c.width - 1.0);
    EXPECT_DOUBLE_EQ((size.height - 1) * size.stepJ, c.height - 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ResampleSizeTest,
    ::testing::Values(SizeCase{1025, 1025, 513, 513, 513, 4.0f, 4.0f},
                      SizeCase{513, 513, 1025, 1025, 1025, 1.0f, 1.0f}, SizeCase{9, 5, 17, 17, 9, 1.0f, 1.0f},
                      SizeCase{5, 9, 5, 3, 5, 4.0f, 4.0f},
                      // 512 / (1024 / 999) = 499.5 steps: 500 of 1.024 each
                      SizeCase{1025, 513, 1000, 1000, 501, 2048.0f / 999.0f, 2.048f},
                      SizeCase{300, 1025, 1000, 293, 1000, 598.0f / 292.0f, 2048.0f / 999.0f}));

// The new vertices sample the old surface at their own places: a plane stays exactly a plane under
// both filters, and Catmull-Rom reproduces a quadratic away from the border.
TEST(ResampleTest, FiltersReproduceLowOrderSurfaces)
{
    const uint32_t W = 9, H = 6;
    std::vector<float> plane, bowl;
    for (uint32_t i = 0; i < W; ++i)
        for (uint32_t j = 0; j < H; ++j)
        {
            plane.push_back(2.0f * static_cast<float>(i) - 3.0f * static_cast<float>(j) + 1.0f);
            bowl.push_back(static_cast<float>(i * i));
        }
    const Resample::Size size = Resample::SizeFor(W, H, 1.0f, 17); // step 0.5
    ASSERT_EQ(std::make_pair(size.width, size.height), std::make_pair(17u, 11u));
    std::vector<float> out(size.width * size.height);
    for (Resample::Filter filter : {Resample::Filter::Bilinear, Resample::Filter::Bicubic})
    {
        Resample::Grid(plane.data(), W, H, 1, size, filter, out.data());
        for (uint32_t m = 0; m < size.width; ++m)
            for (uint32_t n = 0; n < size.height; ++n)
                ASSERT_FLOAT_EQ(out[m * size.height + n], 2.0f * 0.5f * m - 3.0f * 0.5f * n + 1.0f)
                    << m << ", " << n;
    }
    Resample::Grid(bowl.data(), W, H, 1, size, Resample::Filter::Bicubic, out.data());
    for (uint32_t m = 2; m + 2 < size.width; ++m) // old rows 1 .. W-2: all four taps inside the grid
        EXPECT_FLOAT_EQ(out[m * size.height + 3], 0.25f * static_cast<float>(m * m)) << m;
}

// Catmull-Rom overshoots a cliff on both sides; the result stays within the samples it is made of.
TEST(ResampleTest, BicubicStaysWithinTheOldValues)
{
    const uint32_t W = 12, H = 4;
    std::vector<float> cliff;
    for (uint32_t i = 0; i < W; ++i)
        for (uint32_t j = 0; j < H; ++j)
            cliff.push_back(i < 6 ? 0.0f : 10.0f + static_cast<float>(j));
    const Resample::Size size = Resample::SizeFor(W, H, 1.0f, 37);
    std::vector<float> out(size.width * size.height);
    Resample::Grid(cliff.data(), W, H, 1, size, Resample::Filter::Bicubic, out.data());
    for (uint32_t m = 0; m < size.width; ++m)
        for (uint32_t n = 0; n < size.height; ++n)
        {
            const float v = out[m * size.height + n];
            ASSERT_TRUE(v >= 0.0f && v <= 13.0f) << v << " at " << m << ", " << n;
            ASSERT_TRUE(m * size.stepI >= 5.0 || v == 0.0f)
                << v << " at " << m << ", " << n; // no ripple before the cliff
        }
}
} // namespace
