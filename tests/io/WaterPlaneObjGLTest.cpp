#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/WaterPlane.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

using testsupport::ReadFile;

namespace
{
using WaterPlaneObjGLTest = testsupport::GLTest;

TEST_F(WaterPlaneObjGLTest, PlaneWithoutWaterWritesTheWaterNamedHeaderOnly)
{
    testsupport::TempDir dir;
    Terrain terrain(4, 3, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    terrain.name = "dry";
    ASSERT_TRUE(Terrain::WaterPlane(&terrain).SaveAsObj(dir / "dry_water.obj"));
    EXPECT_EQ(ReadFile(dir / "dry_water.obj"), "# OBJ file created by or for Velmoran:\n# dry_water 4 3\n"
                                               "# dry_water vertices:\n# dry_water texture coords:\n"
                                               "# dry_water vertex normals:\n# dry_water faces:\n");
}

// A water file is refused as a terrain: by its vertex count, or, when the water covers the whole grid
// and so has W x H vertices, by its faces (the plane walks the vertices in its own order).
TEST_F(WaterPlaneObjGLTest, WaterFileIsNoTerrain)
{
    const struct
    {
        uint32_t size, lake, vertices;
        const char* reason;
    } cases[] = {
        {7, 1, 16, "it holds 16 vertices, not the 7 x 7 = 49 of its grid (a water file is not a terrain)"},
        {5, 2, 25, "its faces are not the triangles of a 5 x 5 grid"},
    };
    for (const auto& c : cases)
    {
        testsupport::TempDir dir;
        Terrain terrain(c.size, c.size, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
        terrain.name = "lake";
        // A full-water pixel at vertex (lake, lake) with its two-pixel fringe.
        uint8_t* pixel = terrain.watermapTexture->data.get() + (size_t(c.lake) * c.size + c.lake) * 4;
        pixel[0] = pixel[1] = 0;
        pixel[2] = pixel[3] = 255;
        terrain.OutlineWater();
        const Terrain::WaterPlane plane(&terrain);
        ASSERT_EQ(plane.vertexCount, c.vertices);
        ASSERT_TRUE(plane.SaveAsObj(dir / "lake_water.obj"));

        Terrain loaded(0, 0, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
        std::string error;
        EXPECT_FALSE(loaded.LoadObj(dir / "lake_water.obj", &error));
        EXPECT_EQ(error, c.reason);
        EXPECT_TRUE(loaded.IsEmpty());
    }
}
} // namespace
