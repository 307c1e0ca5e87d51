#include "io/ObjReader.h"
#include "io/ObjWriter.h"
#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainGrid.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using testsupport::LogCapture;

namespace
{
class TerrainObjGLTest : public testsupport::GLTest
{
};

std::unique_ptr<Terrain> EmptyTerrain()
{
    return std::make_unique<Terrain>(0, 0, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
}

std::unique_ptr<Terrain> Hills(const std::string& name)
{
    auto terrain = std::make_unique<Terrain>(9, 7, 0.5f, Terrain::Generator::RandomFault, 10.0f, 0.5f, 20);
    terrain->name = name;
    return terrain;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

float Written(float value)
{
    char buffer[ObjWriter::kMaxFloatChars + 1];
    *ObjWriter::FormatFloat(buffer, value) = '\0';
    return std::strtof(buffer, nullptr);
}

template <typename T> std::vector<T> ReadBuffer(GLuint buffer, size_t count)
{
    std::vector<T> values(count);
    glBindBuffer(GL_COPY_READ_BUFFER, buffer);
    glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(count * sizeof(T)), values.data());
    glBindBuffer(GL_COPY_READ_BUFFER, 0);
    return values;
}

std::vector<uint8_t> ReadTexture(const Texture& texture, GLenum format, size_t bytesPerTexel)
{
    std::vector<uint8_t> pixels(size_t{texture.width} * texture.height * bytesPerTexel);
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
}

void ExpectEmpty(const Terrain& terrain)
{
    EXPECT_TRUE(terrain.IsEmpty());
    EXPECT_EQ(terrain.width, 0u);
    EXPECT_EQ(terrain.vertexCount, 0u);
    EXPECT_TRUE(terrain.indices.empty());
    EXPECT_FALSE(terrain.heightmapTexture || terrain.watermapTexture || terrain.normalTexture);
    EXPECT_EQ(terrain.mesh->vertexCount, 0u);
}

TEST_F(TerrainObjGLTest, TwoByTwoTerrainExactFile)
{
    testsupport::TempDir dir;
    Terrain terrain(2, 2, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    terrain.name = "tiny";
    ASSERT_TRUE(terrain.SaveAsObj(dir / "tiny.obj"));
    EXPECT_EQ(ReadFile(dir / "tiny.obj"), "# OBJ file created by or for Velmoran:\n"
                                          "# tiny 2 2\n"
                                          "# tiny vertices:\n"
                                          "v -0.5 0 -0.5\n"
                                          "v -0.5 0 0.5\n"
                                          "v 0.5 0 -0.5\n"
                                          "v 0.5 0 0.5\n"
                                          "# tiny texture coords:\n"
                                          "vt 0 0\n"
                                          "vt 1 0\n"
                                          "vt 0 1\n"
                                          "vt 1 1\n"
                                          "# tiny vertex normals:\n"
                                          "vn 0 1 0\n"
                                          "# tiny faces:\n"
                                          "f 1/1/1 3/3/1 2/2/1\n"
                                          "f 2/2/1 3/3/1 4/4/1\n");
}

TEST_F(TerrainObjGLTest, FlatTerrainWritesOneNormalLine)
{
    testsupport::TempDir dir;
    Terrain terrain(17, 9, 2.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    ASSERT_TRUE(terrain.SaveAsObj(dir / "flat.obj"));
    std::istringstream text(ReadFile(dir / "flat.obj"));
    std::vector<std::string> normalLines;
    for (std::string line; std::getline(text, line);)
        if (line.rfind("vn", 0) == 0) normalLines.push_back(line);
    EXPECT_EQ(normalLines, std::vector<std::string>{"vn 0 1 0"});
}

TEST_F(TerrainObjGLTest, WriteThenLoadGivesTheSameTerrain)
{
    testsupport::TempDir dir;
    const auto original = Hills("hills");
    ASSERT_TRUE(original->SaveAsObj(dir / "hills.obj"));

    LogCapture log;
    const auto loaded = EmptyTerrain();
    std::string error = "untouched";
    ASSERT_TRUE(loaded->LoadObj(dir / "hills.obj", &error)) << log.Dump();
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
    EXPECT_TRUE(log.Has(spdlog::level::trace, "Creating new terrain heightmap texture."));
    EXPECT_TRUE(log.Has(spdlog::level::trace, "Finished recalculating vertex normals."));

    EXPECT_EQ(loaded->name, "hills");
    EXPECT_EQ(loaded->width, 9u);
    EXPECT_EQ(loaded->height, 7u);
    EXPECT_EQ(loaded->vertexCount, 63u);
    EXPECT_EQ(loaded->indexCount, original->indexCount);
    EXPECT_EQ(loaded->indices, original->indices);
    EXPECT_EQ(loaded->vertexDistance, 0.5f);
    ASSERT_EQ(loaded->positions.size(), original->positions.size());
    for (size_t n = 0; n < original->positions.size(); ++n)
        EXPECT_EQ(loaded->positions[n], Written(original->positions[n])) << n;
    for (size_t n = 0; n < original->texCoords.size(); ++n)
        EXPECT_EQ(loaded->texCoords[n], Written(original->texCoords[n])) << n;
    EXPECT_EQ(loaded->basePositions, loaded->positions);
    const TerrainGrid::HeightRange range = TerrainGrid::Range(loaded->positions.data(), 63);
    EXPECT_EQ(loaded->minHeight, range.min);
    EXPECT_EQ(loaded->maxHeight, range.max);

    // Normals come from the loaded heights, on the CPU and on the GPU.
    std::vector<float> normals(63 * 3);
    TerrainGrid::VertexNormals(loaded->positions.data(), 9, 7, normals.data(), nullptr);
    EXPECT_EQ(loaded->normals, normals);
    EXPECT_EQ(ReadBuffer<float>(loaded->mesh->normalBuffer, normals.size()), normals);
    EXPECT_EQ(ReadBuffer<float>(loaded->mesh->vertexBuffer, loaded->positions.size()), loaded->positions);
    EXPECT_EQ(ReadBuffer<uint32_t>(loaded->mesh->indexBuffer, loaded->indices.size()), loaded->indices);

    ASSERT_TRUE(loaded->heightmapTexture && loaded->watermapTexture && loaded->normalTexture);
    const std::vector<uint8_t> heights = ReadTexture(*loaded->heightmapTexture, GL_RED, 1);
    EXPECT_EQ(*std::min_element(heights.begin(), heights.end()), 0);
    EXPECT_GE(*std::max_element(heights.begin(), heights.end()), 254);
    EXPECT_EQ(loaded->watermapTexture->channels, 4u);
    EXPECT_EQ(ReadTexture(*loaded->watermapTexture, GL_RGBA, 4), std::vector<uint8_t>(63 * 4, 0));
    EXPECT_EQ(ReadTexture(*loaded->normalTexture, GL_RGB, 3)[2], TerrainGrid::NormalByte(normals[1]));

    ASSERT_EQ(loaded->mesh->entries.size(), 1u);
    const MeshEntry& entry = loaded->mesh->entries[0];
    EXPECT_EQ(entry.texture, loaded->heightmapTexture->id);
    EXPECT_EQ(entry.indexCount, loaded->indexCount);
    EXPECT_EQ(entry.ambient, glm::vec3(1.0f));
    EXPECT_EQ(entry.specular, glm::vec3(0.1f));
    EXPECT_EQ(entry.shininess, 1.0f);
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);

    // What was loaded saves to the same file again.
    ASSERT_TRUE(loaded->SaveAsObj(dir / "again.obj"));
    const std::string first = ReadFile(dir / "hills.obj"), again = ReadFile(dir / "again.obj");
    EXPECT_EQ(first.substr(0, first.find("vertex normals")), again.substr(0, again.find("vertex normals")));
}

TEST_F(TerrainObjGLTest, NameWithABlankComesBackAsItsFirstWord)
{
    testsupport::TempDir dir;
    ASSERT_TRUE(Hills("my hills")->SaveAsObj(dir / "named.obj"));
    EXPECT_NE(ReadFile(dir / "named.obj").find("# my hills 9 7\n"), std::string::npos);
    const auto loaded = EmptyTerrain();
    ASSERT_TRUE(loaded->LoadObj(dir / "named.obj"));
    EXPECT_EQ(loaded->name, "my");
    EXPECT_EQ(loaded->width, 9u);
    EXPECT_EQ(loaded->height, 7u);
}

TEST_F(TerrainObjGLTest, SavingIntoAMissingFolderLogsAndCreatesNothing)
{
    testsupport::TempDir dir;
    LogCapture log;
    const std::string path = dir / "missing/hills.obj";
    EXPECT_FALSE(Hills("hills")->SaveAsObj(path));
    EXPECT_EQ(log.Count(spdlog::level::err, "SaveAsObj cannot open file " + path), 1) << log.Dump();
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(TerrainObjGLTest, TerrainWithoutAMeshWritesNothing)
{
    testsupport::TempDir dir;
    LogCapture log;
    // Diamond-square with unequal sides keeps its sizes but builds no arrays.
    Terrain terrain(9, 5, 1.0f, Terrain::Generator::DiamondSquare, 10.0f, 0.5f, 0);
    terrain.name = "odd";
    EXPECT_FALSE(terrain.SaveAsObj(dir / "odd.obj"));
    EXPECT_TRUE(log.Has(spdlog::level::err,
                        "SaveAsObj cannot write " + (dir / "odd.obj") + ": terrain odd has no mesh"))
        << log.Dump();
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(TerrainObjGLTest, MissingFileAndFacesWithoutNormalsWarnAsBefore)
{
    testsupport::TempDir dir;
    const std::string files[] = {dir / "absent.obj",
                                 (testsupport::DataDir() / "obj/plain_faces.obj").string()};
    const char* reasons[] = {"it cannot be opened", "its faces carry no normal indices"};
    for (int n = 0; n < 2; ++n)
    {
        LogCapture log;
        const auto terrain = EmptyTerrain();
        std::string error;
        EXPECT_FALSE(terrain->LoadObj(files[n], &error));
        EXPECT_EQ(error, reasons[n]);
        EXPECT_EQ(log.Count(spdlog::level::warn, "Loading a mesh without normals."), 1) << log.Dump();
        EXPECT_EQ(log.Count(spdlog::level::err, "Cannot load terrain file " + files[n] + ": " + reasons[n]),
                  1)
            << log.Dump();
        EXPECT_EQ(log.CountAtLeast(spdlog::level::err), 1);
        ExpectEmpty(*terrain);
    }
}

// Every malformed file of the reader's tests: one error naming the file and the reason, and an
// empty terrain.
TEST_F(TerrainObjGLTest, RefusedFilesLeaveTheTerrainEmpty)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(testsupport::DataDir() / "obj"))
    {
        const std::string path = entry.path().string();
        ObjData data;
        const ObjResult expected = ObjReader::ReadTerrain(path, data);
        ASSERT_FALSE(expected.Ok()) << path;
        LogCapture log;
        const auto terrain = EmptyTerrain();
        std::string error;
        EXPECT_FALSE(terrain->LoadObj(path, &error)) << path;
        EXPECT_EQ(error, expected.reason);
        EXPECT_EQ(log.CountAtLeast(spdlog::level::err), 1) << log.Dump();
        EXPECT_EQ(log.Count(spdlog::level::err, "Cannot load terrain file " + path + ": " + expected.reason),
                  1)
            << log.Dump();
        ExpectEmpty(*terrain);
        ++files;
    }
    EXPECT_GE(files, 20);
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

TEST_F(TerrainObjGLTest, LoadingIntoATerrainWithAMeshIsRefused)
{
    testsupport::TempDir dir;
    ASSERT_TRUE(Hills("hills")->SaveAsObj(dir / "hills.obj"));
    Terrain terrain(3, 3, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    LogCapture log;
    EXPECT_FALSE(terrain.LoadObj(dir / "hills.obj"));
    EXPECT_EQ(log.CountAtLeast(spdlog::level::err), 1) << log.Dump();
    EXPECT_EQ(terrain.width, 3u);
    EXPECT_EQ(terrain.vertexCount, 9u);
}
} // namespace
