// A terrain handed to GL in slices over many calls is the terrain made in one step, on the GPU as in
// its arrays, and is not complete before the last call; a large grid's one-row index buffer draws
// the same picture as the whole list.
#include "render/Framebuffer.h"
#include "render/Shader.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainArrival.h"
#include "tests/io/ProjectSamples.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/terrain/GLReadBack.h"

using terraintest::ReadBuffer;
using terraintest::ReadTexture;
using testsupport::LogCapture;

namespace
{
class TerrainArrivalGLTest : public testsupport::GLTest
{
  protected:
    void TearDown() override
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        EXPECT_EQ(testsupport::DrainGLErrors(), 0);
    }

    // Trace lines, in order, from the first terrain message on.
    static std::vector<std::string> TerrainLines(const LogCapture& log)
    {
        std::vector<std::string> lines;
        for (const auto& record : log.Records())
            if (record.level == spdlog::level::trace && (record.text.find("terrain") != std::string::npos ||
                                                         record.text.find("normals") != std::string::npos))
                lines.push_back(record.text);
        return lines;
    }

    // The grid seen from above, each vertex coloured by its height: a missing, doubled or shifted row
    // of cells changes the picture.
    std::vector<uint8_t> Picture(Terrain& terrain)
    {
        std::ofstream(dir / "top.vert") << R"(#version 440
in vec3 position; out float height; uniform vec2 scale;
void main() { height = position.y; gl_Position = vec4(position.x * scale.x, position.z * scale.y, 0, 1); })";
        std::ofstream(dir / "top.frag") << R"(#version 440
in float height; out vec4 colour;
void main() { colour = vec4(fract(height), fract(height * 7.0), 0.5, 1.0); })";
        auto shader = std::make_shared<Shader>(dir / "top.vert", dir / "top.frag");
        terrain.SetGeometry(terrain.mesh, shader);
        Framebuffer target(64, 64);
        glBindFramebuffer(GL_FRAMEBUFFER, target.fbo);
        glViewport(0, 0, 64, 64);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glUseProgram(shader->program);
        glUniform2f(shader->GetUniformLocation("scale"), 1.9f / static_cast<float>(terrain.width - 1),
                    1.9f / static_cast<float>(terrain.height - 1));
        terrain.Draw(shader);
        glUseProgram(0);
        return testsupport::ReadPixels(0, 0, 64, 64); // the target's deletion unbinds it
    }

    testsupport::TempDir dir;
};

TEST_F(TerrainArrivalGLTest, ASlicedArrivalIsTheTerrainMadeInOneStep)
{
    // Not square, so that a texture row of the wrong length or a swapped side shows. The rest of the
    // record (here a diffuse image shown on the mesh, and a gradient) arrives with the last step.
    TerrainRecord made = TerrainRecord::Generate(9, 7, 1.0f, Terrain::Generator::RandomFault, 5.0f, 0.5f, 30);
    made.diffuse = testsupport::TestImage(7, 9, 3, 5);
    made.display = DisplayTexture::Diffuse;
    made.gradients.push_back(Gradient{});

    LogCapture oneStepLog;
    Terrain oneStep{TerrainRecord(made)};
    const std::vector<std::string> oneStepLines = TerrainLines(oneStepLog);

    made.Derive();
    LogCapture log;
    TerrainArrival arrival(std::move(made));
    arrival.sliceBytes = 40;      // every array and texture in several slices, most ending mid-row
    std::vector<float> fractions; // after each call that did not complete
    while (!arrival.Continue(0.0))
    {
        fractions.push_back(arrival.Fraction());
        ASSERT_LT(fractions.size(), 10000u);
    }
    ASSERT_GT(fractions.size(), 20u);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()) && fractions.front() >= 0.0f &&
                fractions.back() < 1.0f);
    EXPECT_EQ(arrival.Fraction(), 1.0f);
    const Terrain& t = *arrival.Result();

    EXPECT_EQ(TerrainLines(log), oneStepLines);
    EXPECT_EQ(std::tie(t.positions, t.normals, t.indices, t.maxHeight),
              std::tie(oneStep.positions, oneStep.normals, oneStep.indices, oneStep.maxHeight));
    const MeshGeometry& mesh = *t.mesh;
    EXPECT_EQ(ReadBuffer<float>(mesh.vertexBuffer, 3 * 63), oneStep.positions);
    EXPECT_EQ(ReadBuffer<float>(mesh.normalBuffer, 3 * 63), oneStep.normals);
    EXPECT_EQ(ReadBuffer<float>(mesh.texCoordBuffer, 2 * 63), oneStep.texCoords);
    EXPECT_EQ(ReadBuffer<uint32_t>(mesh.indexBuffer, oneStep.indices.size()), oneStep.indices);
    EXPECT_EQ(mesh.indexCount, oneStep.indexCount);
    EXPECT_TRUE(mesh.hasNormals && mesh.hasTexCoords);
    for (auto texture : {&Terrain::heightmapTexture, &Terrain::watermapTexture, &Terrain::normalTexture,
                         &Terrain::diffuseTexture})
    {
        const Texture *arrived = (t.*texture).get(), *expected = (oneStep.*texture).get();
        ASSERT_NE(arrived, nullptr);
        EXPECT_EQ(ReadTexture(*arrived), ReadTexture(*expected)) << expected->channels << " channels";
        EXPECT_EQ(arrived->filter, expected->filter);
    }
    const MeshEntry& e = mesh.entries.at(0);
    EXPECT_EQ(std::make_tuple(t.gradients.size(), mesh.entries.size(), e.texture, e.indexCount, e.repeat),
              std::make_tuple(size_t{1}, size_t{1}, t.diffuseTexture->id, oneStep.indexCount, 1u));
}

TEST_F(TerrainArrivalGLTest, ALargeGridsOneRowOfIndicesDrawsTheWholeGrid)
{
    TerrainRecord whole =
        TerrainRecord::Generate(17, 11, 1.0f, Terrain::Generator::RandomFault, 3.0f, 0.5f, 40);
    TerrainArrival rowArrival{TerrainRecord(whole)};
    rowArrival.rowIndicesFrom = 17 * 11;
    TerrainArrival wholeArrival(std::move(whole));
    wholeArrival.rowIndicesFrom = 17 * 11 + 1; // just too small
    while (!wholeArrival.Continue(1.0) || !rowArrival.Continue(1.0))
    {
    }
    Terrain &full = *wholeArrival.Result(), &row = *rowArrival.Result();
    const MeshEntry& entry = row.mesh->entries.at(0);
    EXPECT_EQ(std::tie(full.mesh->entries.at(0).repeat, entry.indexCount, entry.repeat, entry.repeatStride),
              std::make_tuple(1u, 6u * 10u, 16u, 11));
    EXPECT_EQ(ReadBuffer<uint32_t>(row.mesh->indexBuffer, 60),
              std::vector<uint32_t>(full.indices.begin(), full.indices.begin() + 60));
    EXPECT_EQ(row.indices, full.indices); // the terrain keeps its whole list for files and exports

    const std::vector<uint8_t> expected = Picture(full);
    size_t covered = 0;
    for (size_t p = 0; p < expected.size(); p += 4)
        covered += expected[p + 2] != 0 ? 1 : 0;
    EXPECT_GT(covered, 64u * 64u * 8u / 10u);
    EXPECT_EQ(Picture(row), expected);
}
} // namespace
