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

namespace
{
// Positions are clip coordinates, so what lands where needs no camera. Without texture coordinates
// "color" gives the colour; attributes that are not fed read (0, 0, 0).
const char* kVertex = R"(#version 440
in vec3 position;
in vec3 color;
in vec2 texcoord;
out vec3 vertexColor;
out vec2 uv;
void main() { vertexColor = color; uv = texcoord; gl_Position = vec4(position, 1.0); }
)";
const char* kFragment = R"(#version 440
struct Material { vec3 ambient; vec3 diffuse; vec3 specular; float shininess; };
uniform Material material;
uniform int useTexture;
uniform sampler2D texSampler;
in vec3 vertexColor;
in vec2 uv;
out vec4 fragColor;
void main() { fragColor = useTexture == 1 ? texture(texSampler, uv) : vec4(material.diffuse + vertexColor, 1.0); }
)";

// Two triangles covering the whole 32 x 32 target: lower-left, then upper-right.
const float kQuadPositions[] = {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
const float kQuadTexCoords[] = {0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1};
const uint32_t kQuadIndices[] = {0, 1, 2, 3, 4, 5};

class MeshGLTest : public testsupport::GLTest
{
  protected:
    void SetUp() override
    {
        GLTest::SetUp();
        std::ofstream(dir / "test.vert") << kVertex;
        std::ofstream(dir / "test.frag") << kFragment;
        shader = std::make_shared<Shader>(dir / "test.vert", dir / "test.frag");
        glUseProgram(shader->program);
        glBindFramebuffer(GL_FRAMEBUFFER, target.fbo);
        glViewport(0, 0, 32, 32);
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

    static void FillQuad(MeshGeometry& mesh, bool texCoords, const uint32_t* indices = kQuadIndices)
    {
        mesh.vertexCount = 6;
        mesh.indexCount = 6;
        mesh.UpdateVertices(kQuadPositions);
        if (texCoords) mesh.UpdateTexCoords(kQuadTexCoords);
        mesh.UpdateIndices(indices);
    }

    static std::vector<uint8_t> Pixel(int x, int y) { return testsupport::ReadPixels(x, y, 1, 1); }

    // The buffer the object's vertex array feeds the attribute from.
    static GLuint AttribBuffer(const Object& object, GLint location)
    {
        GLint buffer = -1;
        glBindVertexArray(object.vao);
        glGetVertexAttribiv(static_cast<GLuint>(location), GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
        glBindVertexArray(0);
        return static_cast<GLuint>(buffer);
    }

    testsupport::TempDir dir;
    std::shared_ptr<Shader> shader;
    Framebuffer target{32, 32};
};

TEST_F(MeshGLTest, ColorReadsThePositionsOrElseTheNormals)
{
    Object object;
    FillQuad(*object.mesh, false);
    LogCapture log;
    object.SetGeometry(object.mesh, shader);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Mesh loaded without texture."), 1) << log.Dump();
    EXPECT_EQ(AttribBuffer(object, shader->GetAttribLocation("color")), object.mesh->vertexBuffer);

    // No entries: drawn whole, each pixel coloured by its position.
    object.Draw(shader);
    const std::vector<uint8_t> pixel = Pixel(28, 20);
    EXPECT_NEAR(pixel[0], ((28 + 0.5f) / 16.0f - 1.0f) * 255.0f, 2.0f);
    EXPECT_NEAR(pixel[1], ((20 + 0.5f) / 16.0f - 1.0f) * 255.0f, 2.0f);
    EXPECT_EQ(pixel[2], 0);

    object.mesh->UpdateNormals(kQuadPositions);
    object.SetGeometry(object.mesh, shader);
    EXPECT_EQ(AttribBuffer(object, shader->GetAttribLocation("color")), object.mesh->normalBuffer);
    // The program has no "normal": its location -1 is skipped instead of making GL fail the call.
    EXPECT_EQ(log.CountAtLeast(spdlog::level::err), 0) << log.Dump();
}

TEST_F(MeshGLTest, EntriesDrawTheirOwnRangeTexturedOrNot)
{
    Texture texture(1, 1, 1, std::unique_ptr<uint8_t[]>(new uint8_t[1]{77}), false, GL_NEAREST);
    Object object;
    const uint32_t indices[] = {0, 1, 2, 0, 1, 2}; // the second triangle counts from vertex 3
    FillQuad(*object.mesh, true, indices);
    // The textured entry first: the entry with texture 0 after it must draw untextured all the same.
    // Ambient, diffuse, specular, shininess, texture, index count, first index, base vertex.
    const glm::vec3 black(0.0f), red(1.0f, 0.0f, 0.0f);
    object.mesh->entries = {{black, black, black, 0.0f, texture.id, 3, 3, 3},
                            {black, red, black, 0.0f, 0, 3, 0, 0}};
    LogCapture log;
    object.SetGeometry(object.mesh, shader);
    EXPECT_EQ(log.Count("Mesh loaded without texture."), 0);

    object.Draw(shader);
    EXPECT_EQ(Pixel(3, 3), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(Pixel(28, 28), (std::vector<uint8_t>{77, 77, 77, 255})); // one channel samples as grey
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
    EXPECT_FALSE(mesh.hasNormals || mesh.hasTexCoords);

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
    Object object;
    FillQuad(*object.mesh, false);
    object.SetGeometry(object.mesh, shader);
    MeshGeometry other;
    other.indexCount = 6;
    glBindVertexArray(object.vao);
    other.UpdateIndices(kQuadIndices);
    GLint bound = 0, elements = 0;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &bound);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elements);
    EXPECT_EQ(static_cast<GLuint>(bound), object.vao);
    EXPECT_EQ(static_cast<GLuint>(elements), object.mesh->indexBuffer);
}
} // namespace
