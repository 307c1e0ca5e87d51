#include "terrain/TerrainBuild.h"
#include "tests/io/ProjectTestModel.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

using testsupport::TestImage;

namespace
{
// A flat 5 x 3 terrain with base heights y = k / 10.
ProjectTerrain SmallTerrain()
{
    ProjectTerrain t;
    t.name = "small";
    t.width = 5;
    t.height = 3;
    t.vertexDistance = 2.0f;
    t.baseHeights.resize(15);
    for (size_t k = 0; k < 15; ++k)
        t.baseHeights[k] = static_cast<float>(k) / 10.0f;
    return t;
}

// Its images are 3 pixels wide and 5 high: a row per grid column. An image 5 wide and 3 high does not fit.
TEST(TerrainBuildTest, LayersAddTheirChannelAndLayersOfAnotherSizeAddNothing)
{
    ProjectTerrain t = SmallTerrain();
    ProjectLayer rgb;
    rgb.kind = ProjectLayer::kImage;
    rgb.settings.power = 2.0f;
    rgb.image = TestImage(3, 5, 3, 40);
    ProjectLayer tooSmall = rgb;
    tooSmall.image = TestImage(3, 4, 1, 0);
    ProjectLayer turned = rgb;
    turned.image = TestImage(5, 3, 1, 0);
    t.layers = {rgb, tooSmall, turned};
    BuiltTerrain built;
    ASSERT_TRUE(TerrainBuild::Build(t, built));
    float lowest = 1e30f, highest = -1e30f;
    for (size_t k = 0; k < 15; ++k)
    {
        // A three-channel layer gives its green channel: p / 255 (as 0.003921569) times the power.
        const float expected =
            t.baseHeights[k] + static_cast<float>(rgb.image.pixels[3 * k + 1]) * 0.003921569f * 2.0f;
        EXPECT_EQ(built.positions[3 * k + 1], expected) << k;
        EXPECT_EQ(built.basePositions[3 * k + 1], t.baseHeights[k]) << k;
        lowest = std::min(lowest, expected);
        highest = std::max(highest, expected);
    }
    EXPECT_EQ(built.minHeight, lowest);
    EXPECT_EQ(built.maxHeight, highest);
    // The regular grid, centred: x = (i - 2) * 2, z = (j - 1) * 2.
    EXPECT_EQ(built.positions[3 * 14], 4.0f);
    EXPECT_EQ(built.positions[3 * 14 + 2], 2.0f);
    EXPECT_TRUE(TerrainBuild::IsRegularGrid(built.positions.data(), built.texCoords.data(), 5, 3, 2.0f));
    built.texCoords[7] += 1e-6f;
    EXPECT_FALSE(TerrainBuild::IsRegularGrid(built.positions.data(), built.texCoords.data(), 5, 3, 2.0f));
}

TEST(TerrainBuildTest, StoredPartsWinOverWhatCouldBeMadeAgain)
{
    ProjectTerrain t = SmallTerrain();
    ProjectLayer noise;
    noise.image = TestImage(3, 5, 1, 1); // painted: not what the settings would generate
    t.layers = {noise};
    t.heights.assign(15, 7.5f); // the layers were changed after they were applied
    t.heights[4] = -1.0f;
    t.heightmap = TestImage(3, 5, 1, 9);
    t.gridXZ = testsupport::TestFloats(30, 3.0f);
    t.texCoords = testsupport::TestFloats(30, 0.25f);
    t.bands = {ProjectBands::kSlope, 0};
    t.diffuse = TestImage(3, 5, 3, 5);
    const ProjectTerrain stored = t;
    BuiltTerrain built;
    ASSERT_TRUE(TerrainBuild::Build(t, built));
    for (size_t k = 0; k < 15; ++k)
    {
        EXPECT_EQ(built.positions[3 * k + 1], stored.heights[k]);
        EXPECT_EQ(built.positions[3 * k], stored.gridXZ[2 * k]);
        EXPECT_EQ(built.positions[3 * k + 2], stored.gridXZ[2 * k + 1]);
    }
    EXPECT_EQ(built.texCoords, stored.texCoords);
    EXPECT_EQ(built.minHeight, -1.0f);
    EXPECT_EQ(built.maxHeight, 7.5f);
    EXPECT_EQ(t.layers[0].image.pixels, stored.layers[0].image.pixels);
    EXPECT_EQ(t.heightmap.pixels, stored.heightmap.pixels);
    EXPECT_EQ(t.diffuse.pixels, stored.diffuse.pixels);
    // What was not stored was made, 3 pixels wide and 5 high: the specular band texture, a normal image,
    // a dry water map.
    for (const ProjectImage* image : {&t.specular, &t.normal, &t.watermap})
    {
        EXPECT_EQ(image->width, 3u);
        EXPECT_EQ(image->height, 5u);
    }
    EXPECT_EQ(t.specular.ByteSize(), 15u);
    EXPECT_EQ(t.normal.channels, 3u);
    EXPECT_EQ(t.watermap.pixels, std::vector<uint8_t>(60, 0));
    EXPECT_FALSE(built.hasWaterPlane);
}

TEST(TerrainBuildTest, WithoutHeightsAGeneratorThatMakesNoGridIsRefused)
{
    // Rebuilding from a seed is compared with the editor's terrains in ProjectSessionGLTest.
    ProjectTerrain t = SmallTerrain();
    t.baseHeights.clear();
    t.generator.kind = ProjectGenerator::kFile;
    BuiltTerrain built;
    std::string error;
    EXPECT_FALSE(TerrainBuild::Build(t, built, &error));
    EXPECT_EQ(error, "terrain small stores no heights and its generator file cannot make its 5 x 3 grid");
    t.generator.kind = ProjectGenerator::kDiamondSquare; // of different sides
    EXPECT_FALSE(TerrainBuild::Build(t, built, &error));
}
// Opening a project reports its builds: the share rises through the steps (a random-fault base made
// again fault by fault, an erosion run, the normals), and a stop at any report ends the build.
TEST(TerrainBuildTest, ProgressRisesThroughTheStepsAndAStopEndsTheBuild)
{
    ProjectTerrain t = SmallTerrain();
    t.baseHeights.clear();
    t.generator = {ProjectGenerator::kRandomFault, 2.0f, 0.5f, 20, 7};
    ProjectLayer erosion;
    erosion.kind = ProjectLayer::kErosion;
    erosion.erosion.method = Erosion::Method::Thermal;
    t.layers = {erosion};
    std::vector<float> heard;
    BuiltTerrain built;
    ASSERT_TRUE(TerrainBuild::Build(t, built, nullptr,
                                    [&](float done)
                                    {
                                        heard.push_back(done);
                                        return true;
                                    }));
    ASSERT_GE(heard.size(), 25u); // twenty faults and the steps after them
    for (size_t n = 1; n < heard.size(); ++n)
        EXPECT_GE(heard[n], heard[n - 1]) << "report " << n;
    EXPECT_LE(heard.back(), 1.0f);

    for (size_t stopAt = 0; stopAt < heard.size(); stopAt += 5)
    {
        ProjectTerrain again = SmallTerrain();
        again.baseHeights.clear();
        again.generator = t.generator;
        again.layers = {erosion};
        size_t calls = 0;
        std::string error;
        EXPECT_FALSE(TerrainBuild::Build(again, built, &error, [&](float) { return calls++ < stopAt; }))
            << "stop at report " << stopAt;
        EXPECT_EQ(error, "stopped");
        EXPECT_EQ(calls, stopAt + 1) << "reports after the stop";
    }
}

// An erosion entry erodes the sums before it with its settings brought into range (a NaN talus angle
// takes the default); its mask comes from the run. (Bands over a mask: ProjectSessionGLTest.)
TEST(TerrainBuildTest, ErosionRunsWithItsSettingsBroughtIntoRange)
{
    ProjectTerrain t = SmallTerrain();
    t.vertexDistance = 0.25f;
    ProjectLayer rgb;
    rgb.kind = ProjectLayer::kImage;
    rgb.settings.power = 2.0f;
    rgb.image = TestImage(3, 5, 3, 40);
    ProjectLayer erosion;
    erosion.kind = ProjectLayer::kErosion;
    erosion.name = "Erosion_1";
    erosion.erosion.method = Erosion::Method::Thermal;
    erosion.erosion.thermal.talusAngle = std::numeric_limits<float>::quiet_NaN();
    erosion.erosion.thermal.iterations = 10;
    erosion.erosion.hydraulic.droplets = -5;
    t.layers = {rgb, erosion};

    std::vector<float> expected(15);
    for (size_t k = 0; k < 15; ++k)
        expected[k] =
            t.baseHeights[k] + static_cast<float>(rgb.image.pixels[3 * k + 1]) * 0.003921569f * 2.0f;
    Erosion::ThermalSettings thermal;
    thermal.iterations = 10;
    Erosion::Masks masks;
    Erosion::Thermal(expected.data(), 5, 3, 0.25f, thermal, &masks);
    std::vector<uint8_t> mask(45);
    Erosion::MaskImage(masks, 15, mask.data());
    ASSERT_NE(mask, std::vector<uint8_t>(45, 0)) << "the thermal run must have moved something";

    testsupport::LogCapture log;
    BuiltTerrain built;
    ASSERT_TRUE(TerrainBuild::Build(t, built));
    for (size_t k = 0; k < 15; ++k)
        EXPECT_EQ(built.positions[3 * k + 1], expected[k]) << k;
    EXPECT_EQ(t.layers[1].erosion.thermal.talusAngle, 30.0f);
    EXPECT_EQ(t.layers[1].erosion.hydraulic.droplets, 0);
    EXPECT_TRUE(
        log.Has(spdlog::level::warn,
                "Terrain small layer 1 (Erosion_1): erosion settings out of range were brought into range."))
        << log.Dump();
    ASSERT_EQ(built.erosion.size(), 2u);
    EXPECT_EQ(built.erosion[1].result.mask, mask);
}
} // namespace
