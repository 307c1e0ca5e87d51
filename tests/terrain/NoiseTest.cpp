#include "terrain/Noise.h"
#include "tests/terrain/TerrainTestSupport.h"

namespace
{
using terraintest::Bits;
using terraintest::MakeNoise;

// Columns: noise type, fractal type, seed, frequency, octaves, gain, lacunarity, x, y, value.
TEST(NoiseTest, AgreesWithEveryReferenceValue)
{
    std::ifstream file(testsupport::DataDir() / "noise_reference.csv");
    std::string line;
    std::getline(file, line); // header
    int rows = 0, failures = 0;
    while (std::getline(file, line))
    {
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream in(line);
        int32_t type, fractal, seed, octaves;
        float frequency, gain, lacunarity, x, y;
        double expected;
        in >> type >> fractal >> seed >> frequency >> octaves >> gain >> lacunarity >> x >> y >> expected;
        ASSERT_TRUE(in) << "row " << rows + 2;
        ++rows;
        const double value =
            MakeNoise(type, fractal, seed, frequency, octaves, gain, lacunarity).GetNoise(x, y);
        if (!(std::fabs(value - expected) <= 1e-6 * std::max(1.0, std::fabs(expected))) && ++failures <= 10)
            ADD_FAILURE() << "row " << rows + 1 << " (" << line << ") gives " << value;
    }
    EXPECT_EQ(std::make_pair(rows, failures), std::make_pair(1920, 0));
}

// Rows longer than a chunk give the single points' bits (a -0 for a +0 counts) for any input, also where
// the coordinates leave the 32-bit lattice, are not numbers, or run backwards (negative frequency or
// lacunarity). The frequencies cover both lane-wise OpenSimplex2 paths (chosen by the skewed cells' size).
TEST(NoiseTest, RowsGiveTheBitsOfSinglePointsForAnyInput)
{
    const float nan = std::nanf(""), inf = INFINITY;
    const std::tuple<float, float, float, float> cases[] = {
        {0.003f, 2.0f, -700.5f, 12.0f}, {0.01f, 2.0f, 0.0f, 0.0f},         {0.02f, -1.5f, 3.0e4f, -9.0f},
        {-0.05f, 2.0f, 17.0f, 3.0f},    {0.137f, 0.0f, -40.0f, 5.5f},      {2.7f, 1.7f, 0.0f, -2.0f},
        {0.01f, 2.0f, -2.2e9f, 1.0f},   {0.01f, 2.0f, 2.1474835e9f, 1.0f}, {1.0f, 2.0f, -1.0e30f, 4.0f},
        {0.01f, 2.0f, nan, 0.0f},       {0.01f, 2.0f, 0.0f, nan},          {0.01f, 2.0f, inf, 2.0f},
        {0.01f, 2.0f, -inf, 2.0f},      {1.0e20f, 2.0f, 1.0f, 1.0f},       {0.0f, 2.0f, 5.0f, 5.0f},
        {0.01f, 1.0e20f, 1.0f, 2.0f},   {0.137f, 1.7f, -213.25f, 311.0f},  {2.7f, 1.7f, -213.25f, -4.5f},
    };
    const uint32_t count = 300;
    std::vector<float> row(count);
    for (int32_t type : {0, 2, 3, 4, 5})
        for (int32_t fractal : {0, 1, 2})
            for (const auto& [frequency, lacunarity, offsetX, y] : cases)
            {
                const NoiseGenerator noise = MakeNoise(type, fractal, 991, frequency, 3, 0.5f, lacunarity);
                noise.GetNoiseRow(offsetX, y, count, row.data());
                for (uint32_t j = 0; j < count; ++j)
                    ASSERT_EQ(Bits(row[j]), Bits(noise.GetNoise(static_cast<float>(j) + offsetX, y)))
                        << "type " << type << " fractal " << fractal << " frequency " << frequency
                        << " lacunarity " << lacunarity << " offset " << offsetX << " y " << y << " j " << j;
            }
}

// No octave at all (the settings allow any count): zero noise, from a point and along a row.
TEST(NoiseTest, FractalModesWithoutOctavesGiveZero)
{
    for (int32_t fractal : {1, 2})
        for (int32_t octaves : {0, -2})
        {
            const NoiseGenerator noise =
                MakeNoise(NoiseGenerator::OpenSimplex2, fractal, 1337, 0.01f, octaves, 0.5f, 2);
            std::vector<float> row(5, 1.0f);
            noise.GetNoiseRow(0.5f, 2.0f, 5, row.data());
            row.push_back(noise.GetNoise(12.5f, -3.25f));
            EXPECT_EQ(row, std::vector<float>(6, 0.0f)) << fractal << ", " << octaves;
        }
}
} // namespace
