#include "io/HeightImage.h"

#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <stb_image.h>
#include <stb_image_write.h>
#include <tinyexr.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using testsupport::DataDir;
using testsupport::TempDir;

namespace
{
// A 5 x 3 grid (5 vertices along x, 3 along z) whose height names its vertex: 10 i + j - 7.
HeightGrid NamedGrid()
{
    HeightGrid grid{5, 3, 0.75f, {}};
    for (uint32_t i = 0; i < 5; ++i)
        for (uint32_t j = 0; j < 3; ++j)
            grid.heights.push_back(10.0f * static_cast<float>(i) + static_cast<float>(j) - 7.0f);
    return grid;
}

struct RoundTrip
{
    HeightImage::Format format;
    const char* file;
    bool exact;
};

class HeightRoundTripTest : public ::testing::TestWithParam<RoundTrip>
{
};

// Within 1/65535 of the range (16 bits) or exactly (float), with the JSON file's size and spacing.
TEST_P(HeightRoundTripTest, HeightsComeBackWithinTheirQuantisation)
{
    TempDir dir;
    HeightGrid grid{37, 23, 2.5f, {}};
    for (uint32_t k = 0; k < grid.width * grid.height; ++k)
        grid.heights.push_back(std::sin(static_cast<float>(k) * 0.37f) * 123.4f - 40.0f +
                               0.001f * static_cast<float>(k));
    const std::string path = dir / GetParam().file;
    std::string error;
    ASSERT_TRUE(HeightImage::Write(path, GetParam().format, HeightImage::ViewOf(grid), &error)) << error;

    HeightGrid read;
    ASSERT_TRUE(HeightImage::Read(path, {}, read, &error)) << error;
    ASSERT_EQ(std::make_tuple(read.width, read.height, read.vertexDistance), std::make_tuple(37u, 23u, 2.5f));
    float lowest = 0, highest = 0;
    HeightImage::FiniteRange(HeightImage::ViewOf(grid), lowest, highest);
    const double tolerance = GetParam().exact ? 0.0 : (static_cast<double>(highest) - lowest) / 65535.0;
    for (size_t k = 0; k < grid.heights.size(); ++k)
        ASSERT_LE(std::fabs(static_cast<double>(read.heights[k]) - grid.heights[k]), tolerance)
            << "vertex " << k;

    // A flat terrain (no range to scale by) comes back flat.
    const HeightGrid flat{4, 4, 1.0f, std::vector<float>(16, 3.5f)};
    ASSERT_TRUE(HeightImage::Write(path, GetParam().format, HeightImage::ViewOf(flat), &error)) << error;
    ASSERT_TRUE(HeightImage::Read(path, {}, read, &error)) << error;
    EXPECT_EQ(read.heights, flat.heights);
}

INSTANTIATE_TEST_SUITE_P(Formats, HeightRoundTripTest,
                         ::testing::Values(RoundTrip{HeightImage::Format::Png16, "h.png", false},
                                           RoundTrip{HeightImage::Format::R16, "h.r16", false},
                                           RoundTrip{HeightImage::Format::Exr, "h.exr", true}),
                         [](const auto& info) { return std::string(info.param.file).substr(2); });

// Checked with decoders other than ours: columns along +x, rows along +z, first row at the lowest z.
TEST(HeightImageTest, ImagesShowTheTerrainFromAboveWithXToTheRight)
{
    TempDir dir;
    const HeightGrid grid = NamedGrid(); // heights -7 .. 35
    std::string error;
    using F = HeightImage::Format;
    for (const auto& [file, format] : {std::pair{"h.png", F::Png16}, {"h.r16", F::R16}, {"h.exr", F::Exr}})
        ASSERT_TRUE(HeightImage::Write(dir / file, format, HeightImage::ViewOf(grid), &error)) << error;

    int w = 0, h = 0, channels = 0;
    stbi_set_flip_vertically_on_load(0);
    stbi_us* png = stbi_load_16((dir / "h.png").c_str(), &w, &h, &channels, 1);
    ASSERT_NE(png, nullptr);
    ASSERT_EQ(std::make_pair(w, h), std::make_pair(5, 3));
    const std::string r16 = testsupport::ReadFile(dir / "h.r16");
    ASSERT_EQ(r16.size(), 2u * 15);
    float* exr = nullptr;
    int ew = 0, eh = 0;
    ASSERT_EQ(LoadEXR(&exr, &ew, &eh, (dir / "h.exr").c_str(), nullptr), TINYEXR_SUCCESS);
    ASSERT_EQ(std::make_pair(ew, eh), std::make_pair(5, 3));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c)
        {
            const double height = 10.0 * c + r - 7.0; // vertex (i = c, j = r)
            const int expected = static_cast<int>(std::lround((height + 7.0) / 42.0 * 65535.0));
            EXPECT_EQ(png[r * 5 + c], expected) << c << ", " << r;
            EXPECT_EQ(uint8_t(r16[2 * (r * 5 + c)]) | uint8_t(r16[2 * (r * 5 + c) + 1]) << 8, expected)
                << c << ", " << r;
            EXPECT_EQ(exr[4 * (r * 5 + c)], static_cast<float>(height)) << c << ", " << r;
        }
    stbi_image_free(png);
    std::free(exr);

    // The JSON file beside each gives the range, the size, the vertex distance and the layout.
    EXPECT_EQ(nlohmann::json::parse(testsupport::ReadFile(dir / "h.r16.json")),
              (nlohmann::json{{"file", "h.r16"},
                              {"format", "r16"},
                              {"width", 5},
                              {"height", 3},
                              {"vertexDistance", 0.75},
                              {"minHeight", -7.0},
                              {"maxHeight", 35.0},
                              {"columns", "+x"},
                              {"rows", "+z, first row at the lowest z"},
                              {"heights", "height = minHeight + value / 65535 * (maxHeight - minHeight)"}}));
}

// Without a JSON file the values scale to 0 .. height scale; a square .r16's side comes from its length.
TEST(HeightImageTest, FilesWithoutJsonScaleToTheHeightScale)
{
    TempDir dir;
    const uint8_t grey[6] = {0, 51, 255, 102, 153, 204}; // 3 wide, 2 high
    stbi_flip_vertically_on_write(0);                    // the editor's image writer leaves it on
    ASSERT_NE(stbi_write_png((dir / "g.png").c_str(), 3, 2, 1, grey, 3), 0);
    HeightImage::ImportOptions options;
    options.heightScale = 50.0f;
    options.vertexDistance = 2.0f;
    HeightGrid read;
    std::string error;
    ASSERT_TRUE(HeightImage::Read(dir / "g.png", options, read, &error)) << error;
    ASSERT_EQ(std::make_tuple(read.width, read.height, read.vertexDistance), std::make_tuple(3u, 2u, 2.0f));
    // Pixel (column 2, row 1) is vertex (i 2, j 1): k = 2 * 2 + 1.
    EXPECT_FLOAT_EQ(read.heights[5], 204.0f / 255.0f * 50.0f);
    EXPECT_FLOAT_EQ(read.heights[2], 51.0f / 255.0f * 50.0f);

    std::ofstream(dir / "s.r16", std::ios::binary).write("\x00\x00\xff\xff\x00\x80\x01\x00", 8);
    ASSERT_TRUE(HeightImage::Read(dir / "s.r16", options, read, &error)) << error;
    ASSERT_EQ(read.width, 2u);
    EXPECT_FLOAT_EQ(read.heights[2], 50.0f);                       // pixel (1, 0)
    EXPECT_FLOAT_EQ(read.heights[1], 32768.0f / 65535.0f * 50.0f); // pixel (0, 1)

    ASSERT_TRUE(HeightImage::Read((DataDir() / "heightmaps/half_3x3.exr").string(), options, read, &error))
        << error;
    EXPECT_EQ(read.heights[3 * 2 + 1], 5.0f * 50.0f); // pixel (2, 1) holds 1 * 3 + 2
}

// The editor's own images hold vertex (i, j) in column j of row i counted from the bottom.
TEST(HeightImageTest, TheEditorsOwnLayoutCanBeRead)
{
    TempDir dir;
    const uint32_t W = 4, H = 3; // the editor's buffer: W rows of H bytes, row 0 at the bottom
    std::vector<uint8_t> buffer(W * H);
    for (uint32_t k = 0; k < W * H; ++k)
        buffer[k] = static_cast<uint8_t>(20 * k);
    stbi_flip_vertically_on_write(1);
    ASSERT_NE(stbi_write_png((dir / "editor.png").c_str(), H, W, 1, buffer.data(), H), 0);
    stbi_flip_vertically_on_write(0);
    HeightImage::ImportOptions options;
    options.editorLayout = true;
    options.heightScale = 255.0f;
    HeightGrid read;
    std::string error;
    ASSERT_TRUE(HeightImage::Read(dir / "editor.png", options, read, &error)) << error;
    ASSERT_EQ(std::make_pair(read.width, read.height), std::make_pair(W, H));
    for (uint32_t k = 0; k < W * H; ++k)
        EXPECT_FLOAT_EQ(read.heights[k], 20.0f * k) << k;
}

// One message naming the file and the reason, and nothing read.
TEST(HeightImageTest, DamagedOrUnsuitableFilesAreRefusedWithTheirReason)
{
    const std::pair<const char*, const char*> cases[] = {
        {"rgb.png", "it has 3 channels (RGB); a heightmap has one greyscale channel"},
        {"grey_alpha.png", "2 channels (grey and alpha)"},
        {"four_bit.png", "4-bit samples"},
        {"one_pixel.png", "it is 1 x 1; sides from 2 to 4097 are accepted"},
        {"too_wide.png", "it is 5000 x 2"},
        {"truncated.png", "truncated or damaged"},
        {"not_a_png.png", "not a readable PNG file"},
        {"odd_length.r16", "odd number of bytes (33)"},
        {"not_square.r16", "6 samples do not make a square"},
        {"empty.r16", "the file is empty"},
        {"one_sample.r16", "it is 1 x 1"},
        {"size_mismatch.r16", "it has 32 bytes, but its JSON file gives 3 x 3"},
        {"broken_json.png", "its JSON file broken_json.png.json is not valid JSON"},
        {"rgb.exr", "it has 3 channels; a heightmap EXR has one float channel"},
        {"truncated.exr", "truncated or damaged"},
        {"infinite.exr", "not a finite number at pixel 1, 1"},
        {"unknown_format.tif", "unknown format \".tif\""},
        {"missing.png", "No such file or directory"}};
    for (const auto& [file, reason] : cases)
    {
        const std::string path = (DataDir() / "heightmaps" / file).string();
        HeightGrid out;
        out.width = 99;
        std::string error;
        EXPECT_FALSE(HeightImage::Read(path, {}, out, &error)) << file;
        EXPECT_EQ(error.rfind("Cannot import heightmap " + path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(out.width, 99u) << file;
    }
}

// A side beyond the New Terrain limit is refused from the file's length alone (a sparse file here).
TEST(HeightImageTest, ARawFileBeyondTheSizeLimitIsRefusedUnread)
{
    TempDir dir;
    const std::string path = dir / "huge.r16";
    std::ofstream(path, std::ios::binary).put('\0');
    ASSERT_EQ(::truncate(path.c_str(), 4098ll * 4098 * 2), 0);
    std::string error;
    HeightGrid out;
    EXPECT_FALSE(HeightImage::Read(path, {}, out, &error));
    EXPECT_NE(error.find("it is 4098 x 4098; sides from 2 to 4097 are accepted"), std::string::npos) << error;
}
} // namespace
