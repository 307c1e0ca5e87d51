#include "engine/Parallel.h"
#include "tests/io/ObjTestMesh.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <sstream>

using testsupport::GridMesh;

namespace
{
// The fast formatter against the stream it stands in for.
void ExpectFormatsAsTheStream(float value)
{
    char buffer[ObjWriter::kMaxFloatChars];
    std::ostringstream stream;
    stream << value;
    EXPECT_EQ(std::string(buffer, ObjWriter::FormatFloat(buffer, value)), stream.str())
        << std::hexfloat << value;
}

TEST(ObjWriterFloatTest, EdgeValuesAsAStreamWritesThem)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    // Ties at the sixth digit (1234565 rounds to even), the switch to exponents at 1e-05 and 1e+06,
    // the float range's ends, subnormals, infinities and NaNs.
    const float edges[] = {0.0f,        -0.0f,        0.5f,       100.0f,    1e-05f,         1e+06f,
                           123456.0f,   1234567.0f,   -2.5e-05f,  0.0001f,   0.00012345678f, 999999.0f,
                           999999.5f,   9999995.0f,   1234565.0f, 100000.5f, 0.3f,           1.0f / 3.0f,
                           3.14159274f, 65504.0f,     1e38f,      FLT_MAX,   -FLT_MAX,       FLT_MIN,
                           1e-40f,      FLT_TRUE_MIN, 1e-20f,     5e27f,     12345.678f,     -0.125f,
                           inf,         -inf,         nan,        -nan};
    for (float v : edges)
        ExpectFormatsAsTheStream(v);
}

// Random bit patterns cover every exponent; decimal fractions land near the rounding ties the fast
// path hands over.
TEST(ObjWriterFloatTest, RandomValuesAsAStreamWritesThem)
{
    std::mt19937 rng(12345);
    for (int n = 0; n < 100000 && !::testing::Test::HasFailure(); ++n)
    {
        const uint32_t bits = static_cast<uint32_t>(rng());
        float random;
        std::memcpy(&random, &bits, sizeof(random));
        ExpectFormatsAsTheStream(random);
        ExpectFormatsAsTheStream(static_cast<float>(static_cast<int>(rng() % 2000001) - 1000000) /
                                 static_cast<float>(std::pow(10.0, static_cast<double>(rng() % 12))));
    }
}

// The file as a plain stream loop writes it: header, "v", "vt", one "vn" per distinct normal in order of
// first use (by its bits, except that -0 equals 0 and NaNs equal each other), "f" with 1-based numbers.
// Most normals distinct (the table nearly full), the rest repeating earlier ones; large enough for the
// sections to be formatted on three threads and written around the output buffer.
TEST(ObjWriterTest, FileHoldsWhatAPlainStreamLoopWrites)
{
    GridMesh mesh(300, 310,
                  [](uint32_t i, uint32_t j) { return std::sin(static_cast<float>(i * j) * 0.01f); });
    std::mt19937 random(8);
    const size_t n = mesh.positions.size() / 3;
    for (size_t k = 0; k < n; ++k)
    {
        float* normal = &mesh.normals[3 * k];
        if (k > 0 && random() % 4 == 0)
        {
            std::copy_n(&mesh.normals[3 * (random() % k)], 3, normal); // an earlier normal again
            for (int c = 0; c < 3; ++c)
                if (normal[c] == 0.0f && random() % 2 == 0) normal[c] = -normal[c];
        }
        else
        {
            for (int c = 0; c < 3; ++c)
                normal[c] = static_cast<float>(random() % 2001) * 0.001f - 1.0f;
            if (random() % 500 == 0) normal[random() % 3] = std::numeric_limits<float>::quiet_NaN();
        }
    }
    std::ostringstream plain;
    plain << "# OBJ file created by or for Velmoran:\n# t 300 310\n# t vertices:\n";
    for (size_t k = 0; k < n; ++k)
        plain << "v " << mesh.positions[3 * k] << ' ' << mesh.positions[3 * k + 1] << ' '
              << mesh.positions[3 * k + 2] << '\n';
    plain << "# t texture coords:\n";
    for (size_t k = 0; k < n; ++k)
        plain << "vt " << mesh.texCoords[2 * k] << ' ' << mesh.texCoords[2 * k + 1] << '\n';
    plain << "# t vertex normals:\n";
    std::map<std::array<uint32_t, 3>, size_t> numbers;
    std::vector<size_t> normalOf(n);
    for (size_t k = 0; k < n; ++k)
    {
        std::array<uint32_t, 3> key;
        for (int c = 0; c < 3; ++c)
        {
            const float value = mesh.normals[3 * k + c] == 0.0f ? 0.0f : mesh.normals[3 * k + c];
            std::memcpy(&key[c], &value, sizeof(float));
        }
        const auto [at, fresh] = numbers.emplace(key, numbers.size() + 1);
        if (fresh)
            plain << "vn " << mesh.normals[3 * k] << ' ' << mesh.normals[3 * k + 1] << ' '
                  << mesh.normals[3 * k + 2] << '\n';
        normalOf[k] = at->second;
    }
    plain << "# t faces:\n";
    for (size_t t = 0; t < mesh.indices.size(); t += 3)
    {
        plain << 'f';
        for (size_t c = t; c < t + 3; ++c)
            plain << ' ' << mesh.indices[c] + 1 << '/' << mesh.indices[c] + 1 << '/'
                  << normalOf[mesh.indices[c]];
        plain << '\n';
    }

    Parallel::SetThreadCount(3);
    testsupport::TempDir dir;
    ObjWriteStats stats;
    const bool written = ObjWriter::WriteFile(dir / "t.obj", mesh.View(), &stats);
    Parallel::SetThreadCount(0);
    ASSERT_TRUE(written);
    const std::string text = testsupport::ReadFile(dir / "t.obj");
    EXPECT_TRUE(text == plain.str()); // not EXPECT_EQ: a failure would print megabytes
    EXPECT_EQ(std::make_tuple(text.size(), stats.bytes, stats.normalLines),
              std::make_tuple(plain.str().size(), text.size(), numbers.size()));
}
// Progress on one thread and on several: rising shares that end at 1 with the same bytes; a stop
// midway leaves the old file as it was and nothing else in the folder.
class ObjWriterProgressTest : public ::testing::TestWithParam<unsigned>
{
};

TEST_P(ObjWriterProgressTest, ReportsRisingSharesAndStopsWithoutATrace)
{
    const GridMesh mesh(300, 310, [](uint32_t i, uint32_t j) { return static_cast<float>(i) - 0.5f * j; });
    Parallel::SetThreadCount(GetParam());
    testsupport::TempDir dir;
    std::vector<float> shares;
    const std::function<bool(float)> record = [&](float share) { return shares.push_back(share), true; };
    std::string error;
    const bool written = ObjWriter::WriteFile(dir / "t.obj", mesh.View(), nullptr, &error, record);

    testsupport::TempDir other;
    const std::string old = "the old file\n";
    std::ofstream(other / "t.obj") << old;
    int calls = 0;
    const bool stopped = !ObjWriter::WriteFile(other / "t.obj", mesh.View(), nullptr, &error,
                                               [&](float) { return ++calls < 3; });
    Parallel::SetThreadCount(0);

    ASSERT_TRUE(written);
    EXPECT_TRUE(testsupport::ReadFile(dir / "t.obj") == mesh.Text());
    ASSERT_GE(shares.size(), 4u); // more than one report per section
    EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
    EXPECT_FLOAT_EQ(shares.back(), 1.0f);
    EXPECT_EQ(std::make_tuple(stopped, calls, error, testsupport::ReadFile(other / "t.obj"),
                              std::distance(std::filesystem::directory_iterator(other.Path()), {})),
              std::make_tuple(true, 3, std::string("cancelled"), old, 1L));
}

INSTANTIATE_TEST_SUITE_P(Threads, ObjWriterProgressTest, ::testing::Values(1u, 3u));
} // namespace
