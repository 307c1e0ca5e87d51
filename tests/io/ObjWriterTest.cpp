#include "engine/Parallel.h"
#include "io/ObjWriter.h"
#include "tests/io/ObjTestMesh.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

using testsupport::GridMesh;

namespace
{
std::string Format(float value)
{
    char buffer[ObjWriter::kMaxFloatChars];
    return std::string(buffer, ObjWriter::FormatFloat(buffer, value));
}

std::string StreamText(float value)
{
    std::ostringstream stream;
    stream << value;
    return stream.str();
}

float FromBits(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

TEST(ObjWriterFloatTest, WritesWhatAStreamWrites)
{
    const float values[] = {0.0f,
                            -0.0f,
                            0.5f,
                            100.0f,
                            1e-05f,
                            1e+06f,
                            123456.0f,
                            1234567.0f,
                            -2.5e-05f,
                            0.0001f,
                            0.00012345678f,
                            999999.0f,
                            999999.5f,
                            9999995.0f,
                            1234565.0f,
                            100000.5f,
                            0.3f,
                            1.0f / 3.0f,
                            3.14159274f,
                            65504.0f,
                            1e38f,
                            FLT_MAX,
                            -FLT_MAX,
                            FLT_MIN,
                            1e-40f,
                            std::numeric_limits<float>::denorm_min(),
                            1e-20f,
                            5e27f,
                            12345.678f,
                            -0.125f,
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN(),
                            -std::numeric_limits<float>::quiet_NaN()};
    for (float v : values)
        EXPECT_EQ(Format(v), StreamText(v)) << "bits " << std::hex
                                            << [&]
        {
            uint32_t b;
            std::memcpy(&b, &v, 4);
            return b;
        }();
    EXPECT_EQ(Format(0.5f), "0.5");
    EXPECT_EQ(Format(100.0f), "100");
    EXPECT_EQ(Format(1e-05f), "1e-05");
    EXPECT_EQ(Format(-0.0f), "-0");
    EXPECT_EQ(Format(1234567.0f), "1.23457e+06");
    EXPECT_EQ(Format(1234565.0f), "1.23456e+06"); // an exact tie rounds to even
}

// Random bit patterns cover every exponent; decimal fractions land near the rounding ties the fast
// path hands over.
TEST(ObjWriterFloatTest, MatchesTheStreamOnManyValues)
{
    std::mt19937 rng(12345);
    int mismatches = 0;
    for (int n = 0; n < 100000 && mismatches < 10; ++n)
    {
        const float random = FromBits(static_cast<uint32_t>(rng()));
        const float decimal = static_cast<float>(static_cast<int>(rng() % 2000001) - 1000000) /
                              static_cast<float>(std::pow(10.0, static_cast<double>(rng() % 12)));
        for (float v : {random, decimal})
        {
            if (Format(v) != StreamText(v))
            {
                ++mismatches;
                ADD_FAILURE() << Format(v) << " != " << StreamText(v);
            }
        }
    }
}

TEST(ObjWriterFloatTest, UnsignedDecimals)
{
    for (uint32_t v : {0u, 7u, 10u, 99u, 100u, 12345u, 1000000u, 4294967295u})
    {
        char buffer[10];
        EXPECT_EQ(std::string(buffer, ObjWriter::FormatUnsigned(buffer, v)), std::to_string(v));
    }
}

TEST(ObjWriterTest, TwoByTwoTerrainExactText)
{
    GridMesh mesh(2, 2, [](uint32_t i, uint32_t j) { return i == 1 && j == 1 ? 1.25f : 0.0f; });
    mesh.name = "tiny";
    // Vertices 1 and 3 share a normal; vertex 2's -0 components equal vertex 0's zeros.
    const float tilted[3] = {0.6f, 0.8f, 0.0f};
    std::copy(tilted, tilted + 3, &mesh.normals[3]);
    std::copy(tilted, tilted + 3, &mesh.normals[9]);
    mesh.normals[6] = -0.0f;
    mesh.normals[8] = -0.0f;
    EXPECT_EQ(mesh.Text(), "# OBJ file created by or for Velmoran:\n"
                           "# tiny 2 2\n"
                           "# tiny vertices:\n"
                           "v -0.5 0 -0.5\n"
                           "v -0.5 0 0.5\n"
                           "v 0.5 0 -0.5\n"
                           "v 0.5 1.25 0.5\n"
                           "# tiny texture coords:\n"
                           "vt 0 0\n"
                           "vt 1 0\n"
                           "vt 0 1\n"
                           "vt 1 1\n"
                           "# tiny vertex normals:\n"
                           "vn 0 1 0\n"
                           "vn 0.6 0.8 0\n"
                           "# tiny faces:\n"
                           "f 1/1/1 3/3/1 2/2/2\n"
                           "f 2/2/2 3/3/1 4/4/2\n");
}

TEST(ObjWriterTest, FlatTerrainWritesOneNormal)
{
    const GridMesh mesh(5, 4);
    int normalLines = 0, faceLines = 0;
    for (const std::string& line : Lines(mesh.Text()))
    {
        if (line.rfind("vn ", 0) == 0)
        {
            ++normalLines;
            EXPECT_EQ(line, "vn 0 1 0");
        }
        if (line.rfind("f ", 0) == 0)
        {
            ++faceLines;
            std::istringstream corners(line.substr(2));
            for (std::string corner; corners >> corner;)
                EXPECT_EQ(corner.substr(corner.size() - 2), "/1") << line;
        }
    }
    EXPECT_EQ(normalLines, 1);
    EXPECT_EQ(faceLines, 4 * 3 * 2);
}

TEST(ObjWriterTest, NormalsAreNumberedInOrderOfFirstUse)
{
    GridMesh mesh(3, 3);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float normals[9][3] = {{0, 1, 0}, {1, 0, 0},   {0, 1, 0},     {1, 0, 0},    {nan, 0, 0},
                                 {0, 0, 1}, {nan, 0, 0}, {0, -0.0f, 1}, {-0.0f, 1, 0}};
    for (int k = 0; k < 9; ++k)
        std::copy(normals[k], normals[k] + 3, &mesh.normals[k * 3]);
    std::vector<std::string> normalLines, faceLines;
    for (const std::string& line : Lines(mesh.Text()))
    {
        if (line.rfind("vn ", 0) == 0) normalLines.push_back(line);
        if (line.rfind("f ", 0) == 0) faceLines.push_back(line);
    }
    EXPECT_EQ(normalLines, (std::vector<std::string>{"vn 0 1 0", "vn 1 0 0", "vn nan 0 0", "vn 0 0 1"}));
    // Cell (0, 0): vertices 0, 3, 1 with normals 1, 2, 2.
    EXPECT_EQ(faceLines.at(0), "f 1/1/1 4/4/2 2/2/2");
    // Cell (1, 1): vertices 4, 7, 5 and 5, 7, 8.
    EXPECT_EQ(faceLines.at(6), "f 5/5/3 8/8/4 6/6/4");
    EXPECT_EQ(faceLines.at(7), "f 6/6/4 8/8/4 9/9/1");
}

TEST(ObjWriterTest, FileHoldsTheSameText)
{
    testsupport::TempDir dir;
    const GridMesh mesh(7, 5, [](uint32_t i, uint32_t j) { return static_cast<float>(i * 31 + j) * 0.173f; });
    ObjWriteStats stats;
    ASSERT_TRUE(ObjWriter::WriteFile(dir / "t.obj", mesh.View(), &stats));
    std::ifstream file(dir / "t.obj", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, mesh.Text());
    EXPECT_EQ(stats.bytes, text.size());
    EXPECT_EQ(stats.normalLines, 1u);
}

// Large sections are formatted on several threads; the text must not depend on how many.
TEST(ObjWriterTest, TextDoesNotDependOnTheThreadCount)
{
    GridMesh mesh(300, 310,
                  [](uint32_t i, uint32_t j) { return std::sin(static_cast<float>(i * j) * 0.01f); });
    for (size_t k = 0; k < mesh.normals.size(); k += 3)
        mesh.normals[k] = static_cast<float>((k / 3) % 1000) * 1e-3f; // 1000 distinct normals
    Parallel::SetThreadCount(1);
    const std::string single = mesh.Text();
    Parallel::SetThreadCount(3);
    const std::string threaded = mesh.Text();
    Parallel::SetThreadCount(0);
    EXPECT_EQ(single.size(), threaded.size());
    EXPECT_TRUE(single == threaded);
}

TEST(ObjWriterTest, MissingFolderLogsAndCreatesNothing)
{
    testsupport::TempDir dir;
    testsupport::LogCapture log;
    const std::string path = dir / "missing/t.obj";
    EXPECT_FALSE(ObjWriter::WriteFile(path, GridMesh(2, 2).View()));
    EXPECT_EQ(log.Count(spdlog::level::err, "SaveAsObj cannot open file " + path), 1) << log.Dump();
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "missing"));
}
} // namespace
