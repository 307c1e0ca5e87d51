#include "terrain/Noise.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{
struct ReferenceRow
{
    int32_t noiseType;
    int32_t fractalType;
    int32_t seed;
    float frequency;
    int32_t octaves;
    float gain;
    float lacunarity;
    float x;
    float y;
    double value;
};

std::vector<ReferenceRow> ReadReference()
{
    std::ifstream file(testsupport::DataDir() / "noise_reference.csv");
    std::vector<ReferenceRow> rows;
    std::string line;
    std::getline(file, line); // header
    while (std::getline(file, line))
    {
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream in(line);
        ReferenceRow r{};
        in >> r.noiseType >> r.fractalType >> r.seed >> r.frequency >> r.octaves >> r.gain >> r.lacunarity >>
            r.x >> r.y >> r.value;
        if (in) rows.push_back(r);
    }
    return rows;
}

NoiseGenerator Configure(const ReferenceRow& r)
{
    NoiseGenerator noise;
    noise.noiseType = r.noiseType;
    noise.fractalType = r.fractalType;
    noise.seed = r.seed;
    noise.frequency = r.frequency;
    noise.octaves = r.octaves;
    noise.gain = r.gain;
    noise.lacunarity = r.lacunarity;
    noise.CalculateFractalBounding();
    return noise;
}

TEST(NoiseTest, AgreesWithEveryReferenceValue)
{
    const std::vector<ReferenceRow> rows = ReadReference();
    ASSERT_EQ(rows.size(), 1920u);
    int failures = 0;
    for (size_t i = 0; i < rows.size(); ++i)
    {
        const ReferenceRow& r = rows[i];
        const double value = Configure(r).GetNoise(r.x, r.y);
        const double tolerance = 1e-6 * std::max(1.0, std::fabs(r.value));
        if (!(std::fabs(value - r.value) <= tolerance) && ++failures <= 10)
            ADD_FAILURE() << "row " << i + 2 << ": type " << r.noiseType << " fractal " << r.fractalType
                          << " seed " << r.seed << " at (" << r.x << ", " << r.y << ") gives " << value
                          << ", expected " << r.value;
    }
    EXPECT_EQ(failures, 0);
}

TEST(NoiseTest, RowSamplingGivesTheSameBitsAsSinglePoints)
{
    // Rows longer than the row kernels' chunk, cells spanning many samples or one, negative coordinates.
    const uint32_t count = 600;
    std::vector<float> row(count);
    for (int32_t type : {0, 2, 3, 4, 5})
        for (int32_t fractal : {0, 1, 2})
            for (float frequency : {0.01f, 0.137f, 1.0f, 2.7f})
                for (float y : {-4.5f, 0.0f, 311.0f})
                {
                    NoiseGenerator noise;
                    noise.noiseType = type;
                    noise.fractalType = fractal;
                    noise.seed = -77;
                    noise.frequency = frequency;
                    noise.octaves = 4;
                    noise.lacunarity = 1.7f;
                    noise.gain = 0.6f;
                    noise.CalculateFractalBounding();
                    noise.GetNoiseRow(-213.25f, y, count, row.data());
                    for (uint32_t j = 0; j < count; ++j)
                        ASSERT_EQ(row[j], noise.GetNoise(static_cast<float>(j) + -213.25f, y))
                            << "type " << type << " fractal " << fractal << " frequency " << frequency
                            << " y " << y << " j " << j;
                }
}

TEST(NoiseTest, KnownSingleOctaveValues)
{
    NoiseGenerator noise;
    noise.noiseType = NoiseGenerator::Perlin;
    EXPECT_NEAR(noise.GenNoiseSingle(0, 0.5f, 0.5f), 0.2792f, 1e-4);
    noise.noiseType = NoiseGenerator::Value;
    EXPECT_NEAR(noise.GenNoiseSingle(0, 0.5f, 0.5f), -0.1613f, 1e-4);
    noise.noiseType = NoiseGenerator::Cellular;
    EXPECT_NEAR(noise.GenNoiseSingle(0, 0.5f, 0.5f), 0.0082f, 1e-4);
}

TEST(NoiseTest, PerlinIsZeroOnWholeCoordinatesIncludingNegativeOnes)
{
    NoiseGenerator noise;
    noise.noiseType = NoiseGenerator::Perlin;
    noise.frequency = 1.0f;
    for (int y = -3; y <= 3; ++y)
        for (int x = -3; x <= 3; ++x)
            EXPECT_EQ(noise.GetNoise(static_cast<float>(x), static_cast<float>(y)), 0.0f) << x << ", " << y;
}

TEST(NoiseTest, FractalModesWithoutOctavesGiveZero)
{
    for (int32_t fractal : {1, 2})
        for (int32_t octaves : {0, -2})
        {
            NoiseGenerator noise;
            noise.fractalType = fractal;
            noise.octaves = octaves;
            noise.CalculateFractalBounding();
            EXPECT_EQ(noise.fractalBounding, 1.0f);
            EXPECT_EQ(noise.GetNoise(12.5f, -3.25f), 0.0f);
        }
}

TEST(NoiseTest, FbmOctaveKUsesSeedPlusKAndScaledCoordinates)
{
    NoiseGenerator noise;
    noise.noiseType = NoiseGenerator::Value;
    noise.fractalType = NoiseGenerator::FBm;
    noise.frequency = 0.5f;
    noise.seed = 9;
    noise.octaves = 2;
    noise.gain = 0.25f;
    noise.lacunarity = 3.0f;
    noise.CalculateFractalBounding();
    const float x = 1.7f * 0.5f;
    const float y = -2.3f * 0.5f;
    const float amp = noise.fractalBounding;
    float expected = 0;
    expected += noise.GenNoiseSingle(9, x, y) * amp;
    expected += noise.GenNoiseSingle(10, x * 3.0f, y * 3.0f) * (amp * 0.25f);
    EXPECT_EQ(noise.GetNoise(1.7f, -2.3f), expected);
}

TEST(NoiseTest, CellularIsMinusOneAtAFeaturePoint)
{
    NoiseGenerator noise;
    noise.noiseType = NoiseGenerator::Cellular;
    noise.cellularJitter = 0.0f; // feature points on the lattice
    noise.frequency = 1.0f;
    EXPECT_EQ(noise.GetNoise(4.0f, -7.0f), -1.0f);
    EXPECT_FLOAT_EQ(noise.GetNoise(4.25f, -7.0f), -1.0f + 0.0625f);
}
} // namespace
