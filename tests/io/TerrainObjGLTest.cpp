#include "io/ObjWriter.h"
#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainGrid.h"
#include "terrain/WaterPlane.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/TestCommon.h"
#include "tests/terrain/GLReadBack.h"

#include <GL/glew.h>

using terraintest::ReadBuffer;
using terraintest::ReadTexture;
using testsupport::LogCapture;
using testsupport::ReadFile;

namespace
{
// GL tests with a folder for their files, which leave no GL error behind.
class TerrainObjGLTest : public testsupport::GLTest
{
  protected:
    void TearDown() override { EXPECT_EQ(testsupport::DrainGLErrors(), 0); }
    testsupport::TempDir dir;
};

std::unique_ptr<Terrain> MakeTerrain(uint32_t width = 0, uint32_t height = 0,
                                     Terrain::Generator generator = Terrain::Generator::Flat,
                                     const std::string& name = "")
{
    auto terrain = std::make_unique<Terrain>(width, height, 0.5f, generator, 10.0f, 0.5f, 20);
    terrain->name = name;
    return terrain;
}

// What the values read back as once written.
std::vector<float> Written(std::vector<float> values)
{
    char buffer[ObjWriter::kMaxFloatChars + 1];
    for (float& value : values)
    {
        *ObjWriter::FormatFloat(buffer, value) = '\0';
        value = std::strtof(buffer, nullptr);
    }
    return values;
}

TEST_F(TerrainObjGLTest, WriteThenLoadGivesTheSameTerrain)
{
    const auto original = MakeTerrain(9, 7, Terrain::Generator::RandomFault, "hills");
    ASSERT_TRUE(original->SaveAsObj(dir / "hills.obj"));

    LogCapture log;
    const auto loaded = MakeTerrain();
    ASSERT_TRUE(loaded->LoadObj(dir / "hills.obj")) << log.Dump();
    EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
    EXPECT_EQ(
        std::tie(loaded->name, loaded->width, loaded->height, loaded->vertexCount, loaded->vertexDistance),
        std::make_tuple(std::string("hills"), 9u, 7u, 63u, 0.5f));
    EXPECT_EQ(loaded->indices, original->indices);
    EXPECT_EQ(loaded->positions, Written(original->positions));
    EXPECT_EQ(loaded->texCoords, Written(original->texCoords));

    // Normals come from the loaded heights, on the CPU and on the GPU (the heightmap and water textures
    // that every arrival builds: TerrainArrivalGLTest and WaterGLTest).
    std::vector<float> normals(63 * 3);
    TerrainGrid::VertexNormals(loaded->positions.data(), 9, 7, normals.data(), nullptr);
    EXPECT_EQ(loaded->normals, normals);
    EXPECT_EQ(ReadBuffer<float>(loaded->mesh->normalBuffer, normals.size()), normals);
    EXPECT_EQ(ReadBuffer<float>(loaded->mesh->vertexBuffer, loaded->positions.size()), loaded->positions);
    EXPECT_EQ(ReadBuffer<uint32_t>(loaded->mesh->indexBuffer, loaded->indices.size()), loaded->indices);
    ASSERT_TRUE(loaded->heightmapTexture && loaded->normalTexture);
    EXPECT_EQ(ReadTexture(*loaded->normalTexture)[2], TerrainGrid::NormalByte(normals[1]));
    ASSERT_EQ(loaded->mesh->entries.size(), 1u);
    EXPECT_EQ(loaded->mesh->entries[0].texture, loaded->heightmapTexture->id);

    // What was loaded saves to the same file again.
    ASSERT_TRUE(loaded->SaveAsObj(dir / "again.obj"));
    const std::string first = ReadFile(dir / "hills.obj"), again = ReadFile(dir / "again.obj");
    EXPECT_EQ(first.substr(0, first.find("vertex normals")), again.substr(0, again.find("vertex normals")));

    // A terrain that holds a mesh does not load over it, even a good file.
    const auto flat = MakeTerrain(3, 3, Terrain::Generator::Flat, "flat");
    EXPECT_FALSE(flat->LoadObj(dir / "hills.obj"));
    EXPECT_EQ(log.CountAtLeast(spdlog::level::err), 1) << log.Dump();
    EXPECT_EQ(std::make_pair(flat->width, flat->vertexCount), std::make_pair(3u, 9u));
}

// Diamond-square with unequal sides keeps its sizes but builds no arrays.
TEST_F(TerrainObjGLTest, FailedSavesLogAndCreateNothing)
{
    const std::string missing = dir / "missing/hills.obj", odd = dir / "odd.obj";
    LogCapture log;
    EXPECT_FALSE(MakeTerrain(9, 7, Terrain::Generator::RandomFault, "hills")->SaveAsObj(missing));
    EXPECT_FALSE(MakeTerrain(9, 5, Terrain::Generator::DiamondSquare, "odd")->SaveAsObj(odd));
    EXPECT_EQ(log.Count(spdlog::level::err, "SaveAsObj cannot open file " + missing), 1) << log.Dump();
    EXPECT_EQ(log.Count(spdlog::level::err, "SaveAsObj cannot write " + odd + ": terrain odd has no mesh"),
              1);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

// What the terrain makes of a refusal (every kind of refused file: ObjTest; a missing one: ProjectBuildTest).
TEST_F(TerrainObjGLTest, RefusedFilesLeaveTheTerrainEmpty)
{
    const std::string obj = (testsupport::DataDir() / "obj").string();
    const struct
    {
        std::string file;
        const char* reason;
        bool warns;
    } cases[] = {
        {dir.Path().string(), "it cannot be read", true}, // a folder
        {obj + "/plain_faces.obj", "its faces carry no normal indices", true},
        {obj + "/water_file.obj",
         "it holds 4 vertices, not the 3 x 3 = 9 of its grid (a water file is not a terrain)", false},
    };
    for (const auto& c : cases)
    {
        LogCapture log;
        const auto terrain = MakeTerrain();
        std::string error;
        EXPECT_FALSE(terrain->LoadObj(c.file, &error)) << c.file;
        EXPECT_EQ(error, c.reason);
        EXPECT_EQ(log.Count(spdlog::level::warn, "Loading a mesh without normals."), c.warns ? 1 : 0)
            << log.Dump();
        EXPECT_EQ(log.Count(spdlog::level::err, "Cannot load terrain file " + c.file + ": " + c.reason), 1)
            << log.Dump();
        EXPECT_EQ(log.CountAtLeast(spdlog::level::err), 1);
        EXPECT_TRUE(terrain->IsEmpty() && terrain->indices.empty());
        EXPECT_EQ(std::make_tuple(terrain->width, terrain->vertexCount, terrain->mesh->vertexCount),
                  std::make_tuple(0u, 0u, 0u));
        EXPECT_FALSE(terrain->heightmapTexture || terrain->watermapTexture || terrain->normalTexture);
    }
}

TEST_F(TerrainObjGLTest, PlaneWithoutWaterWritesTheWaterNamedHeaderOnly)
{
    ASSERT_TRUE(Terrain::WaterPlane(MakeTerrain(4, 3, Terrain::Generator::Flat, "dry").get())
                    .SaveAsObj(dir / "dry_water.obj"));
    EXPECT_EQ(ReadFile(dir / "dry_water.obj"), "# OBJ file created by or for Velmoran:\n# dry_water 4 3\n"
                                               "# dry_water vertices:\n# dry_water texture coords:\n"
                                               "# dry_water vertex normals:\n# dry_water faces:\n");
}
} // namespace
