#include "render/Framebuffer.h"
#include "render/Mesh.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

using testsupport::LogCapture;
using testsupport::TempDir;

namespace
{
// Positions are clip coordinates, so what lands where needs no camera.
const char* kColorVertex = R"(#version 440
in vec3 position;
in vec3 color;
out vec3 vertexColor;
void main() { vertexColor = color; gl_Position = vec4(position, 1.0); }
)";
const char* kColorFragment = R"(#version 440
in vec3 vertexColor;
out vec4 fragColor;
void main() { fragColor = vec4(vertexColor, 1.0); }
)";
const char* kSampleVertex = R"(#version 440
in vec3 position;
in vec2 texcoord;
out vec2 uv;
void main() { uv = texcoord; gl_Position = vec4(position, 1.0); }
)";
const char* kSampleFragment = R"(#version 440
struct Material { vec3 ambient; vec3 diffuse; vec3 specular; float shininess; };
uniform Material material;
uniform int useTexture;
uniform sampler2D texSampler;
in vec2 uv;
out vec4 fragColor;
void main() { fragColor = useTexture == 1 ? texture(texSampler, uv) : vec4(material.diffuse, 1.0); }
)";

constexpr int kSize = 32;

// Two triangles covering the whole target: lower-left, then upper-right.
const std::vector<float> kQuadPositions = {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
const std::vector<float> kQuadTexCoords = {0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1};
const std::vector<uint32_t> kQuadIndices = {0, 1, 2, 3, 4, 5};

class MeshGLTest : public testsupport::GLTest
{
  protected:
    void SetUp() override
    {
        GLTest::SetUp();
        target = std::make_unique<Framebuffer>(kSize, kSize);
        glBindFramebuffer(GL_FRAMEBUFFER, target->fbo);
        glViewport(0, 0, kSize, kSize);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    }
    void TearDown() override
    {
        glUseProgram(0);
        glBindVertexArray(0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        EXPECT_EQ(testsupport::DrainGLErrors(), 0);
    }

    std::shared_ptr<Shader> MakeShader(const char* vertex, const char* fragment)
    {
        std::ofstream(dir / "test.vert") << vertex;
        std::ofstream(dir / "test.frag") << fragment;
        auto shader = std::make_shared<Shader>(dir / "test.vert", dir / "test.frag");
        EXPECT_NE(shader->program, 0u);
        return shader;
    }

    static void FillQuad(MeshGeometry& mesh, bool texCoords)
    {
        mesh.vertexCount = 6;
        mesh.indexCount = 6;
        mesh.UpdateVertices(kQuadPositions.data());
        if (texCoords) mesh.UpdateTexCoords(kQuadTexCoords.data());
        mesh.UpdateIndices(kQuadIndices.data());
    }

    static void Draw(Object& object, const std::shared_ptr<Shader>& shader)
    {
        glUseProgram(shader->program);
        object.Draw(shader);
        glUseProgram(0);
        glBindVertexArray(0);
    }

    static std::vector<uint8_t> Pixel(int x, int y) { return testsupport::ReadPixels(x, y, 1, 1); }

    static GLint AttribBuffer(const Object& object, GLint location)
    {
        GLint buffer = -1;
        glBindVertexArray(object.vao);
        glGetVertexAttribiv(static_cast<GLuint>(location), GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
        glBindVertexArray(0);
        return buffer;
    }

    TempDir dir;
    std::unique_ptr<Framebuffer> target;
};

TEST_F(MeshGLTest, PositionsOnlyFeedColorFromThePositionBuffer)
{
    auto shader = MakeShader(kColorVertex, kColorFragment);
    Object object;
    FillQuad(*object.mesh, false);
    LogCapture log;
    object.SetGeometry(object.mesh, shader);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Mesh loaded without texture."), 1) << log.Dump();

    const GLint position = shader->GetAttribLocation("position");
    const GLint color = shader->GetAttribLocation("color");
    ASSERT_GE(position, 0);
    ASSERT_GE(color, 0);
    EXPECT_EQ(AttribBuffer(object, position), static_cast<GLint>(object.mesh->vertexBuffer));
    EXPECT_EQ(AttribBuffer(object, color), static_cast<GLint>(object.mesh->vertexBuffer));
    GLint elements = 0;
    glBindVertexArray(object.vao);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elements);
    glBindVertexArray(0);
    EXPECT_EQ(elements, static_cast<GLint>(object.mesh->indexBuffer));

    // No entries and no texture coordinates: drawn whole, each pixel coloured by its position.
    Draw(object, shader);
    const float x = (28 + 0.5f) / 16.0f - 1.0f;
    const float y = (20 + 0.5f) / 16.0f - 1.0f;
    const std::vector<uint8_t> pixel = Pixel(28, 20);
    EXPECT_NEAR(pixel[0], x * 255.0f, 2.0f);
    EXPECT_NEAR(pixel[1], y * 255.0f, 2.0f);
    EXPECT_EQ(pixel[2], 0);
}

TEST_F(MeshGLTest, ColorReadsNormalsWhenTheMeshHasThem)
{
    auto shader = MakeShader(kColorVertex, kColorFragment);
    Object object;
    FillQuad(*object.mesh, false);
    std::vector<float> normals(18, 0.0f);
    for (int v = 0; v < 6; ++v)
        normals[v * 3 + 2] = 1.0f;
    object.mesh->UpdateNormals(normals.data());
    object.SetGeometry(object.mesh, shader);
    EXPECT_EQ(AttribBuffer(object, shader->GetAttribLocation("color")),
              static_cast<GLint>(object.mesh->normalBuffer));
    Draw(object, shader);
    EXPECT_EQ(Pixel(5, 5), (std::vector<uint8_t>{0, 0, 255, 255}));
}

TEST_F(MeshGLTest, EntryWithoutTextureDrawsUntextured)
{
    auto shader = MakeShader(kSampleVertex, kSampleFragment);
    auto grey = std::make_unique<uint8_t[]>(1);
    grey[0] = 77;
    Texture texture(1, 1, 1, std::move(grey), false, GL_NEAREST);

    Object object;
    FillQuad(*object.mesh, true);
    MeshEntry entry;
    entry.diffuse = glm::vec3(1.0f, 0.0f, 0.0f);
    entry.indexCount = 6;
    object.mesh->entries.push_back(entry);
    LogCapture log;
    object.SetGeometry(object.mesh, shader);
    EXPECT_EQ(log.Count("Mesh loaded without texture."), 0);

    Draw(object, shader);
    EXPECT_EQ(Pixel(16, 16), (std::vector<uint8_t>{255, 0, 0, 255}));
    GLint useTexture = -1;
    glGetUniformiv(shader->program, shader->GetUniformLocation("useTexture"), &useTexture);
    EXPECT_EQ(useTexture, 0);

    // With the texture named, the one-channel texel samples as grey.
    object.mesh->entries[0].texture = texture.id;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); // same depth again would fail the depth test
    Draw(object, shader);
    EXPECT_EQ(Pixel(16, 16), (std::vector<uint8_t>{77, 77, 77, 255}));
}

TEST_F(MeshGLTest, EntriesDrawTheirOwnRangeWithBaseVertex)
{
    auto shader = MakeShader(kSampleVertex, kSampleFragment);
    Object object;
    MeshGeometry& mesh = *object.mesh;
    mesh.vertexCount = 6;
    mesh.indexCount = 6;
    mesh.UpdateVertices(kQuadPositions.data());
    mesh.UpdateTexCoords(kQuadTexCoords.data());
    const std::vector<uint32_t> indices = {0, 1, 2, 0, 1, 2}; // the second triangle counts from vertex 3
    mesh.UpdateIndices(indices.data());
    MeshEntry lower;
    lower.diffuse = {1.0f, 0.0f, 0.0f};
    lower.indexCount = 3;
    MeshEntry upper = lower;
    upper.diffuse = {0.0f, 1.0f, 0.0f};
    upper.firstIndex = 3;
    upper.baseVertex = 3;
    mesh.entries = {lower, upper};
    object.SetGeometry(object.mesh, shader);

    Draw(object, shader);
    EXPECT_EQ(Pixel(3, 3), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(Pixel(28, 28), (std::vector<uint8_t>{0, 255, 0, 255}));
}

TEST_F(MeshGLTest, NullUploadsAndMissingMeshAreReported)
{
    MeshGeometry mesh;
    mesh.vertexCount = 3;
    mesh.indexCount = 3;
    LogCapture log;
    mesh.UpdateVertices(nullptr);
    mesh.UpdateNormals(nullptr);
    mesh.UpdateTexCoords(nullptr);
    mesh.UpdateIndices(nullptr);
    for (const char* name : {"UpdateVertices", "UpdateNormals", "UpdateTexCoords", "UpdateIndices"})
        EXPECT_EQ(log.Count(spdlog::level::err, std::string(name) + " - passing nullptr."), 1) << name;
    EXPECT_FALSE(mesh.hasNormals);
    EXPECT_FALSE(mesh.hasTexCoords);

    auto shader = std::make_shared<Shader>("shaders/basic_lighting.vert", "shaders/basic_lighting.frag");
    Object object;
    MeshGeometry* own = object.mesh;
    object.SetGeometry(nullptr, shader);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Mesh not loaded."), 1);
    EXPECT_EQ(object.mesh, own);

    // Without a vertex array the mesh is kept but nothing is bound.
    glDeleteVertexArrays(1, &object.vao);
    object.vao = 0;
    object.SetGeometry(&mesh, shader);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Trying to load an object without a VAO."), 1) << log.Dump();
    EXPECT_EQ(object.mesh, &mesh);
}

TEST_F(MeshGLTest, IndexUploadLeavesABoundVertexArrayAlone)
{
    auto shader = std::make_shared<Shader>("shaders/basic_lighting.vert", "shaders/basic_lighting.frag");
    Object object;
    FillQuad(*object.mesh, true);
    object.SetGeometry(object.mesh, shader);

    MeshGeometry other;
    other.indexCount = 6;
    glBindVertexArray(object.vao);
    other.UpdateIndices(kQuadIndices.data());
    GLint bound = 0;
    GLint elements = 0;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &bound);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elements);
    glBindVertexArray(0);
    EXPECT_EQ(bound, static_cast<GLint>(object.vao));
    EXPECT_EQ(elements, static_cast<GLint>(object.mesh->indexBuffer));
}
} // namespace
