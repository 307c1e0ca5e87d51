#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/WaterPlane.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace
{
class WaterPlaneObjGLTest : public testsupport::GLTest
{
};

std::vector<std::string> FileLines(const std::string& path)
{
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

// A full-water pixel at vertex (i, j) with its two-pixel fringe, and the plane built from it.
std::shared_ptr<Terrain::WaterPlane> Lake(Terrain& terrain, uint32_t i, uint32_t j)
{
    uint8_t* pixel = terrain.watermapTexture->data.get() + (size_t(i) * terrain.height + j) * 4;
    pixel[0] = 0;
    pixel[1] = 0;
    pixel[2] = 255;
    pixel[3] = 255;
    terrain.OutlineWater();
    return std::make_shared<Terrain::WaterPlane>(&terrain);
}

TEST_F(WaterPlaneObjGLTest, WaterFileCarriesTheWaterNameAndIsNoTerrain)
{
    testsupport::TempDir dir;
    Terrain terrain(7, 7, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    terrain.name = "hills";
    const auto plane = Lake(terrain, 1, 1); // pixels (0..3, 0..3)
    ASSERT_EQ(plane->vertexCount, 16u);
    ASSERT_TRUE(plane->SaveAsObj(dir / "hills_water.obj"));

    const std::vector<std::string> lines = FileLines(dir / "hills_water.obj");
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "# OBJ file created by or for Velmoran:");
    int headerLines = 0, normalLines = 0, vertexLines = 0;
    for (size_t n = 1; n < lines.size(); ++n)
    {
        if (lines[n].rfind("# ", 0) == 0)
        {
            ++headerLines;
            EXPECT_EQ(lines[n].rfind("# hills_water ", 0), 0u) << lines[n];
        }
        normalLines += lines[n].rfind("vn ", 0) == 0;
        vertexLines += lines[n].rfind("v ", 0) == 0;
    }
    EXPECT_EQ(lines[1], "# hills_water 7 7");
    EXPECT_EQ(headerLines, 5);
    EXPECT_EQ(normalLines, 1);
    EXPECT_EQ(vertexLines, 16);

    testsupport::LogCapture log;
    Terrain loaded(0, 0, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    std::string error;
    EXPECT_FALSE(loaded.LoadObj(dir / "hills_water.obj", &error));
    EXPECT_EQ(error, "it holds 16 vertices, not the 7 x 7 = 49 of its grid (a water file is not a terrain)");
    EXPECT_EQ(log.CountAtLeast(spdlog::level::err), 1) << log.Dump();
    EXPECT_TRUE(loaded.IsEmpty());
}

// Water over the whole grid has W x H vertices, but in the order the plane walks them, not the
// grid's: the faces give it away.
TEST_F(WaterPlaneObjGLTest, WaterCoveringTheWholeGridIsNoTerrainEither)
{
    testsupport::TempDir dir;
    Terrain terrain(5, 5, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    terrain.name = "pond";
    const auto plane = Lake(terrain, 2, 2);
    ASSERT_EQ(plane->vertexCount, 25u);
    ASSERT_TRUE(plane->SaveAsObj(dir / "pond_water.obj"));
    Terrain loaded(0, 0, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    std::string error;
    EXPECT_FALSE(loaded.LoadObj(dir / "pond_water.obj", &error));
    EXPECT_EQ(error, "its faces are not the triangles of a 5 x 5 grid");
    EXPECT_TRUE(loaded.IsEmpty());
}

TEST_F(WaterPlaneObjGLTest, PlaneWithoutWaterWritesTheHeaderOnly)
{
    testsupport::TempDir dir;
    Terrain terrain(4, 4, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    terrain.name = "dry";
    Terrain::WaterPlane plane(&terrain);
    ASSERT_TRUE(plane.SaveAsObj(dir / "dry_water.obj"));
    EXPECT_EQ(FileLines(dir / "dry_water.obj"),
              (std::vector<std::string>{"# OBJ file created by or for Velmoran:", "# dry_water 4 4",
                                        "# dry_water vertices:", "# dry_water texture coords:",
                                        "# dry_water vertex normals:", "# dry_water faces:"}));
}
} // namespace
