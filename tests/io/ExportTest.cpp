// The export as a whole: the files each format writes, failures that name the file and leave nothing
// behind, cancelling, resampling.
#include "io/Export.h"

#include "tests/io/ExportTestTerrain.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <stb_image.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using testsupport::ExportTestTerrain;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace
{
std::set<std::string> FilesIn(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

ExportOptions OptionsFor(const TempDir& dir, uint32_t formats)
{
    ExportOptions options;
    options.folder = dir.Path().string();
    options.baseName = "hills";
    options.formats = formats;
    return options;
}

TEST(ExportTest, FormatListsParseAsTheHeadlessProgramTakesThem)
{
    uint32_t formats = 0;
    std::string error;
    ASSERT_TRUE(ExportFormat::Parse("glb,obj,png16,r16,exr,splat", formats, &error));
    EXPECT_EQ(formats, ExportFormat::All);
    ASSERT_TRUE(ExportFormat::Parse("r16", formats, &error));
    EXPECT_EQ(formats, ExportFormat::R16);
    EXPECT_FALSE(ExportFormat::Parse("glb,tiff", formats, &error));
    EXPECT_EQ(error, "unknown format \"tiff\" (use glb, obj, png16, r16, exr, splat)");
    EXPECT_FALSE(ExportFormat::Parse("glb,", formats, &error));
    EXPECT_FALSE(ExportFormat::Parse("", formats, &error));
}

TEST(ExportTest, EveryFormatWritesItsFilesAndNothingElse)
{
    TempDir dir;
    ExportTestTerrain terrain;
    const ExportOptions options = OptionsFor(dir, ExportFormat::All);
    std::vector<std::string> reported;
    std::string error;
    ASSERT_TRUE(ExportTerrain(
        terrain.Input(), options,
        [&](float, const std::string& file)
        {
            if (!file.empty()) reported.push_back(file);
            return true;
        },
        &error))
        << error;
    const std::set<std::string> expected = {"hills.glb",        "hills.obj",
                                            "hills.mtl",        "hills_basecolor.png",
                                            "hills_height.png", "hills_height.png.json",
                                            "hills_height.r16", "hills_height.r16.json",
                                            "hills_height.exr", "hills_height.exr.json",
                                            "hills_splat.png"};
    EXPECT_EQ(FilesIn(dir.Path()), expected);
    std::vector<std::string> planned = ExportFiles(options, true);
    EXPECT_EQ(planned.size(), expected.size());
    // Progress names each file before it is written (a height file and its JSON file as one step).
    EXPECT_EQ(reported.front(), dir / "hills.glb");
    EXPECT_EQ(reported.back(), dir / "hills_splat.png");

    int w = 0, h = 0, c = 0;
    stbi_uc* splat = stbi_load((dir / "hills_splat.png").c_str(), &w, &h, &c, 0);
    ASSERT_NE(splat, nullptr);
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 5);
    EXPECT_EQ(c, 4);
    stbi_image_free(splat);
}

// A file that cannot be written stops the export with its name and reason; it leaves no temporary
// file, and no later file is written.
TEST(ExportTest, AFailureNamesTheFileAndStopsTheExport)
{
    TempDir dir;
    ExportTestTerrain terrain;
    fs::create_directory(dir.Path() / "hills_height.png"); // a folder where the PNG should go
    std::string error;
    EXPECT_FALSE(ExportTerrain(terrain.Input(),
                               OptionsFor(dir, ExportFormat::Glb | ExportFormat::Png16 | ExportFormat::Splat),
                               {}, &error));
    EXPECT_EQ(error, "Cannot write " + (dir / "hills_height.png") + ": it is a folder");
    EXPECT_EQ(FilesIn(dir.Path()), (std::set<std::string>{"hills.glb", "hills_height.png"}));

    ExportOptions missing = OptionsFor(dir, ExportFormat::Glb);
    missing.folder = dir / "no such folder";
    EXPECT_FALSE(ExportTerrain(terrain.Input(), missing, {}, &error));
    EXPECT_EQ(error, "Cannot write " + (dir / "no such folder/hills.glb") + ": the folder " +
                         (dir / "no such folder") + " does not exist");
}

TEST(ExportTest, RefusedInputAndCancelling)
{
    TempDir dir;
    ExportTestTerrain terrain;
    std::string error;
    ExportOptions options = OptionsFor(dir, 0);
    EXPECT_FALSE(ExportTerrain(terrain.Input(), options, {}, &error));
    EXPECT_EQ(error, "Cannot export terrain hills: no format is chosen");
    options = OptionsFor(dir, ExportFormat::R16);
    options.baseName = "sub/hills";
    EXPECT_FALSE(ExportTerrain(terrain.Input(), options, {}, &error));
    EXPECT_NE(error.find("contains a '/'"), std::string::npos);

    int calls = 0;
    EXPECT_FALSE(ExportTerrain(
        terrain.Input(), OptionsFor(dir, ExportFormat::Glb | ExportFormat::R16),
        [&](float, const std::string&) { return ++calls < 2; }, &error));
    EXPECT_EQ(error, "Export cancelled");
    EXPECT_EQ(FilesIn(dir.Path()), std::set<std::string>{"hills.glb"});
}

TEST(ExportTest, ResamplingChangesTheGridButNotItsExtent)
{
    TempDir dir;
    ExportTestTerrain terrain;
    ExportOptions options = OptionsFor(dir, ExportFormat::Png16);
    options.resampleSide = 13;
    options.filter = Resample::Filter::Bicubic;
    std::string error;
    ASSERT_TRUE(ExportTerrain(terrain.Input(), options, {}, &error)) << error;
    std::ifstream in(dir / "hills_height.png.json");
    const nlohmann::json json = nlohmann::json::parse(in);
    EXPECT_EQ(json["width"], 13);
    EXPECT_EQ(json["height"], 9);
    EXPECT_EQ(json["vertexDistance"].get<double>(), 0.75);
    EXPECT_FALSE(json.contains("vertexDistanceZ"));

    // A side that is not 2^n + 1: 12 x 8 vertices, whose spacings differ, over the old 9 x 6 extent.
    options.resampleSide = 12;
    options.formats = ExportFormat::Png16 | ExportFormat::Obj;
    ASSERT_TRUE(ExportTerrain(terrain.Input(), options, {}, &error)) << error;
    std::ifstream in12(dir / "hills_height.png.json");
    const nlohmann::json json12 = nlohmann::json::parse(in12);
    ASSERT_EQ(json12["width"], 12);
    ASSERT_EQ(json12["height"], 8);
    EXPECT_FLOAT_EQ(11.0f * json12["vertexDistance"].get<float>(), 9.0f);
    EXPECT_FLOAT_EQ(7.0f * json12["vertexDistanceZ"].get<float>(), 6.0f);
    std::ifstream obj(dir / "hills.obj");
    std::vector<float> v;
    for (std::string line; std::getline(obj, line) && v.size() < 3 * 96;)
        if (line.rfind("v ", 0) == 0)
        {
            std::istringstream words(line.substr(2));
            for (float x; words >> x;)
                v.push_back(x);
        }
    ASSERT_EQ(v.size(), 3u * 96);
    const float* first = terrain.positions.data();
    const float* last = first + 3 * (7 * 5 - 1);
    EXPECT_EQ(v[0], first[0]);
    EXPECT_EQ(v[2], first[2]);
    EXPECT_EQ(v[3 * 95], last[0]);
    EXPECT_EQ(v[3 * 95 + 2], last[2]);
}
} // namespace
