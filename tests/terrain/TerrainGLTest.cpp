#include "terrain/Terrain.h"
#include "terrain/WaterPlane.h"
#include "terrain/Heightmap.h"
#include "tests/io/ProjectTestModel.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/terrain/GLReadBack.h"
#include "tests/terrain/TerrainTestSupport.h"

namespace
{
using TerrainGLTest = testsupport::GLTest;

// Diamond-square of a side that is not 2^n + 1 leaves a usable flat terrain (its positions, triangles,
// normals and images on the GPU: the arrival, sculpt and OBJ tests); of different sides, or
// counts beyond 32 bits, an empty terrain that keeps its sizes without arrays. Every operation on an
// empty terrain (the OBJ loader's start among them) reads nothing and makes no textures.
TEST_F(TerrainGLTest, RefusedSizesSayWhyAndLeaveAFlatOrAnEmptyTerrain)
{
    const std::string wrongSide = "Tried to generate diamond square with wrong diameters. Diameter = ";
    const std::tuple<uint32_t, uint32_t, uint32_t, Terrain::Generator, spdlog::level::level_enum, std::string>
        cases[] = {
            {2, 2, 4, Terrain::Generator::DiamondSquare, spdlog::level::err,
             wrongSide + "2 (Has to be 2^n + 1)"},
            {10, 10, 100, Terrain::Generator::DiamondSquare, spdlog::level::err,
             wrongSide + "10 (Has to be 2^n + 1)"},
            {17, 9, 17 * 9, Terrain::Generator::DiamondSquare, spdlog::level::warn,
             "Terrain created with the diamond square algorithm cannot be of different width and height."},
            {70000, 70000, 0, Terrain::Generator::Flat, spdlog::level::err,
             "Terrain 70000 x 70000 is too large: its vertex or index count does not fit 32 bits."},
            {0, 0, 0, Terrain::Generator::Flat, spdlog::level::err, ""}};
    for (const auto& [w, h, vertexCount, generator, level, message] : cases)
    {
        SCOPED_TRACE(w);
        testsupport::LogCapture log;
        Terrain terrain(w, h, 1.0f, generator, 10.0f, 0.5f, 0);
        EXPECT_TRUE(message.empty() || log.Has(level, message)) << log.Dump();
        const bool empty = level == spdlog::level::warn || vertexCount == 0;
        EXPECT_EQ(
            std::make_tuple(log.CountLevel(spdlog::level::critical), terrain.vertexCount, terrain.IsEmpty()),
            std::make_tuple(0, vertexCount, empty));
        if (!empty)
        {
            EXPECT_EQ(terraintest::Heights(terrain.positions), std::vector<float>(vertexCount, 0.0f));
            EXPECT_TRUE(terrain.heightmapTexture && terrain.normalTexture && terrain.watermapTexture);
            // Its texture coordinates are uploaded and its one mesh entry shows the heightmap.
            EXPECT_EQ(terraintest::ReadBuffer<float>(terrain.mesh->texCoordBuffer, 2 * vertexCount),
                      terrain.texCoords);
            EXPECT_EQ(std::make_pair(terrain.mesh->entries.size(), terrain.mesh->entries.at(0).texture),
                      std::make_pair(size_t{1}, terrain.heightmapTexture->id));
            continue;
        }
        EXPECT_FALSE(terrain.BuildMesh(0, 4, 1.0f));
        terrain.gradients.push_back(std::make_unique<Gradient>());
        const std::vector<float> heights(vertexCount, 1.0f); // the 17 x 9 terrain keeps its sizes
        log.Clear();
        if (!heights.empty()) terrain.AddHeights(heights.data(), 1.0f);
        terrain.ShiftHeightsToZero();
        terrain.ApplyHeightmaps();
        terrain.GenerateDiffuseByHeight();
        terrain.GenerateDiffuseBySlope();
        terrain.PourWater(0);
        terrain.OutlineWater();
        terrain.ClearWater();
        EXPECT_TRUE(terrain.IsEmpty());
        EXPECT_FALSE(terrain.heightmapTexture || terrain.diffuseTexture || terrain.specularTexture);
        EXPECT_EQ(Terrain::WaterPlane(&terrain).vertexCount, 0u);
        EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
    }
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

// A record with every kind of layer, all five images, bands over an erosion mask, a shown diffuse texture
// and a stale water plane comes back whole from the terrain it makes, less what each scope leaves out.
TEST_F(TerrainGLTest, ARecordMadeIntoATerrainComesBackWhole)
{
    TerrainRecord record = std::move(testsupport::SampleProject().terrains[0]); // 6 x 4, heights stored
    const TerrainRecord stored = record;
    ASSERT_TRUE(record.Complete());
    const TerrainRecord complete = record;
    const Terrain terrain(std::move(record));
    ASSERT_EQ(terrain.heightmaps.size(), 4u);
    EXPECT_TRUE(terrain.heightmaps[3]->isSculpt);
    EXPECT_EQ(terraintest::ReadTexture(*terrain.diffuseTexture),
              std::vector<uint8_t>(complete.diffuse.pixels.get(), complete.diffuse.pixels.get() + 72));
    EXPECT_EQ(terrain.mesh->entries.at(0).texture, terrain.diffuseTexture->id);
    EXPECT_EQ(terrain.bandRecord.maskEntry.lock(), terrain.heightmaps[2]);
    EXPECT_EQ(terrain.heightmaps[0]->smoothLevels, complete.layers[0].smoothLevels);
    EXPECT_EQ(terrain.heightmaps[2]->states.size(), 1u); // its history starts at the record's settings

    testsupport::ExpectSameTerrain(complete, terrain.Record(Terrain::RecordScope::Whole), "whole");
    testsupport::ExpectSameTerrain(stored, terrain.Record(Terrain::RecordScope::Project), "project");
    const TerrainRecord files = terrain.Record(Terrain::RecordScope::Files);
    EXPECT_TRUE(files.layers.empty() && files.basePositions.empty() && !files.watermap.Stored());
    testsupport::ExpectSameFloats(files.positions, complete.positions, "files positions");
    testsupport::ExpectSameFloats(files.normals, complete.normals, "files normals");
    EXPECT_EQ(files.indices, complete.indices);
    testsupport::ExpectSameImage(files.diffuse, complete.diffuse, "files diffuse");
    testsupport::ExpectSameFloats(files.waterPlane.positions, complete.waterPlane.positions, "files water");
}
} // namespace
