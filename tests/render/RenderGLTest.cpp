#include "engine/Engine.h"
#include "render/Camera.h"
#include "render/Framebuffer.h"
#include "render/Mesh.h"
#include "render/RenderManager.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/TestCommon.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <stb_image_write.h>

using testsupport::LogCapture;

namespace
{
// Draws white wherever a triangle lands; positions are clip coordinates moved by Mmatrix.
const char* kFlatVertex = R"(#version 440
layout(location = 0) in vec3 position;
uniform mat4 Mmatrix;
void main() { gl_Position = Mmatrix * vec4(position, 1.0); }
)";
const char* kFlatFragment = R"(#version 440
out vec4 fragColor;
void main() { fragColor = vec4(1.0); }
)";

GLint Integer(GLenum name, int index = 0)
{
    GLint value[4] = {};
    glGetIntegerv(name, value);
    return value[index];
}

std::vector<uint8_t> Pixels(const Framebuffer& target, int x, int y, int width = 1, int height = 1)
{
    glBindFramebuffer(GL_READ_FRAMEBUFFER, target.fbo);
    std::vector<uint8_t> pixels = testsupport::ReadPixels(x, y, width, height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    return pixels;
}

// GL tests with a folder for their files, which leave no GL error behind.
class ShaderGLTest : public testsupport::GLTest
{
  protected:
    void TearDown() override { EXPECT_EQ(testsupport::DrainGLErrors(), 0); }

    std::string Write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir / name, std::ios::binary) << text;
        return dir / name;
    }

    std::shared_ptr<Shader> FlatShader()
    {
        return std::make_shared<Shader>(Write("flat.vert", kFlatVertex), Write("flat.frag", kFlatFragment));
    }

    testsupport::TempDir dir;
};

std::unique_ptr<uint8_t[]> Pattern(uint32_t width, uint32_t height, uint32_t channels, uint8_t seed = 0)
{
    const size_t size = static_cast<size_t>(width) * height * channels;
    auto buffer = std::make_unique<uint8_t[]>(size);
    for (size_t i = 0; i < size; ++i)
        buffer[i] = static_cast<uint8_t>((i * 7 + seed) % 251);
    return buffer;
}

std::vector<uint8_t> Bytes(const Texture& texture)
{
    return std::vector<uint8_t>(texture.data.get(), texture.data.get() + texture.ByteSize());
}

// What GL holds for a level, read back tightly packed in the texture's own pixel format.
std::vector<uint8_t> ReadAsStored(const Texture& texture, int level = 0)
{
    const GLenum formats[] = {0, GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA};
    std::vector<uint8_t> pixels(std::max(texture.width >> level, 1u) * std::max(texture.height >> level, 1u) *
                                texture.channels);
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, level, formats[texture.channels], GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

using TextureGLTest = ShaderGLTest;

TEST_F(TextureGLTest, EveryChannelCountUploadsUpdatesAndSavesAsStored)
{
    // Someone else's unpack state (the GUI back end's, for one) must not disturb our uploads, nor inherit
    // ours: a row length of 513 left behind would skew every row of the next upload.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 3);
    // Width 5 makes every row length a non-multiple of 4 for 1 to 3 channels. Reading back in the
    // luminance formats also pins the internal format: from GL_RG8, say, the second byte would be lost.
    const uint32_t cases[][4] = {{5, 3, 1, 0}, {1, 1, 1, 0},  {5, 3, 2, 0}, {5, 3, 3, 0},
                                 {5, 3, 4, 0}, {513, 4, 3, 1}}; // width, height, channels, mipmaps
    for (const auto& [width, height, channels, mipmaps] : cases)
    {
        SCOPED_TRACE(testing::Message() << width << " x " << height << ", " << channels << " channels");
        Texture texture(width, height, channels, Pattern(width, height, channels), mipmaps, GL_NEAREST);
        EXPECT_EQ(ReadAsStored(texture), Bytes(texture));
        // Update(buffer) takes the buffer and runs the Update() that follows an edit in place.
        texture.Update(Pattern(width, height, channels, 99));
        EXPECT_EQ(ReadAsStored(texture), Bytes(texture));
        ASSERT_TRUE(texture.Save(dir / "image.png"));
        EXPECT_EQ(Bytes(Texture(dir / "image.png")), Bytes(texture));
    }
    EXPECT_EQ(std::make_pair(Integer(GL_UNPACK_ALIGNMENT), Integer(GL_UNPACK_ROW_LENGTH)),
              std::make_pair(8, 3));
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

// A texture seen small (a thumbnail, a distant terrain) samples its smaller levels.
TEST_F(TextureGLTest, UpdatesReachTheSmallMipmapLevels)
{
    Texture texture(64, 40, 3, true, GL_LINEAR); // created from zeros, as the slope-mode diffuse map
    auto grey = std::make_unique<uint8_t[]>(64 * 40 * 3);
    std::fill_n(grey.get(), 64 * 40 * 3, 100);
    texture.Update(std::move(grey)); // through Update(), which also follows a paint in place
    EXPECT_EQ(ReadAsStored(texture, 3), std::vector<uint8_t>(8 * 5 * 3, 100)); // 8 x 5 texels

    texture.SetTextureFilter(GL_NEAREST_MIPMAP_NEAREST); // not a plain filter: ignored
    GLint minFilter = 0;
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
}

// A null buffer makes no GL texture until a buffer is given; five channels make an empty one; a file
// that cannot be read gives the pink and white checkerboard, which has no pixels to save.
TEST_F(TextureGLTest, ImagesThatCannotBeMadeSayWhyAndGiveNoneOrTheCheckerboard)
{
    LogCapture log;
    Texture empty(8, 8, 3, nullptr, false, GL_LINEAR);
    EXPECT_EQ(empty.id, 0u);
    empty.Update(Pattern(8, 8, 3)); // makes the GL texture instead of uploading into texture 0
    EXPECT_EQ(ReadAsStored(empty), Bytes(empty));

    Texture five(2, 2, 5, Pattern(2, 2, 5), false, GL_LINEAR);
    five.Update();
    GLint width = -1;
    glBindTexture(GL_TEXTURE_2D, five.id);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 0);

    const std::string path = (testsupport::DataDir() / "no-such-image.png").string();
    Texture missing(path);
    const uint8_t pink[] = {255, 0, 128};
    std::vector<uint8_t> checkerboard(4 * 4 * 3, 255); // white, and pink where x + y is even
    for (int i = 0; i < 16; ++i)
        if ((i / 4 + i % 4) % 2 == 0) std::copy(pink, pink + 3, &checkerboard[i * 3]);
    EXPECT_EQ(ReadAsStored(missing), checkerboard);
    EXPECT_FALSE(missing.Save(dir / "default.png"));
    EXPECT_TRUE(fs::is_empty(dir.Path()));

    const std::pair<spdlog::level::level_enum, std::string> messages[] = {
        {spdlog::level::err, "Cannot initialize data buffer for texture: 8 8 3 - empty data buffer"},
        {spdlog::level::err, "LoadTexture not loaded: 5 is an unsupported number of channels."},
        {spdlog::level::err, "Update not loaded: 5 is an unsupported number of channels."},
        {spdlog::level::err, "Cannot load texture with path: " + path + " (wrong format or doesn't exist?)"},
        {spdlog::level::warn, "Texture " + path + " not loaded: switched to default texture"},
        {spdlog::level::err, "Cannot save texture " + (dir / "default.png") + ": it has no pixel buffer"}};
    for (const auto& [level, text] : messages)
        EXPECT_EQ(log.Count(level, text), 1) << text << "\n" << log.Dump();
}

TEST_F(TextureGLTest, RoundTripKeepsTheTopRowOnTopInEveryFormat)
{
    // 3 x 4, top row red and the others blue, green growing along x; written top row first as files are.
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 12; ++i) // texel (i % 3, i / 3)
        pixels.insert(pixels.end(),
                      {uint8_t(i < 3 ? 255 : 0), uint8_t(i % 3 * 40), uint8_t(i < 3 ? 0 : 255)});
    const std::string source = dir / "source.png";
    stbi_flip_vertically_on_write(0);
    ASSERT_NE(stbi_write_png(source.c_str(), 3, 4, 3, pixels.data(), 3 * 3), 0);

    LogCapture log;
    Texture texture(source);
    ASSERT_TRUE(texture.data);
    EXPECT_EQ(log.Count(spdlog::level::trace, "Loading texture " + source + ": 3 x 4, 3 channels"), 1);

    // Each format by its first bytes (TGA: no colour map, run-length true colour, 3 x 4, 24 bits), then
    // read back through the loader, whose flip (row 0 is the file's bottom row) HeightmapGLTest pins down.
    const std::pair<std::string, std::string> formats[] = {
        {".png", "\x89PNG\r\n\x1a\n"},
        {".tga", std::string("\0\0\x0a\0\0\0\0\0\0\0\0\0\x03\0\x04\0\x18", 17)},
        {".bmp", "BM"},
        {".jpg", "\xff\xd8\xff"}};
    for (const auto& [extension, start] : formats)
    {
        ASSERT_TRUE(texture.Save(dir / ("saved" + extension)));
        EXPECT_EQ(testsupport::ReadFile(dir / ("saved" + extension)).substr(0, start.size()), start)
            << extension;
        const Texture back(dir / ("saved" + extension));
        ASSERT_TRUE(back.data && back.ByteSize() == texture.ByteSize()) << extension;
        int worst = 0;
        for (size_t i = 0; i < texture.ByteSize(); ++i)
            worst = std::max(worst, std::abs(back.data[i] - texture.data[i]));
        EXPECT_LE(worst, extension == ".jpg" ? 4 : 0) << extension; // JPEG is lossy
    }
    EXPECT_EQ(
        log.Count(spdlog::level::trace, "Saving texture " + (dir / "saved.png") + ": 3 x 4, 3 channels"), 1)
        << log.Dump();
    // Only the images are left: every temporary file was renamed.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 5);
}

TEST_F(TextureGLTest, SaveFailuresSayWhyAndLeaveNothing)
{
    fs::create_directory(dir.Path() / "maps.v2");
    fs::create_directory(dir.Path() / "taken.png"); // the finished file cannot replace a folder
    const std::string formats = ", please use .jpg, .png, .tga or .bmp";
    const std::pair<const char*, std::string> cases[] = {
        {"image.gif", "Cannot save texture as .gif" + formats},
        {"image.PNG", "Cannot save texture as .PNG" + formats},
        {"image.png.bak", "Cannot save texture as .bak" + formats}, // the name's last dot
        {"heightmap", "Cannot save texture heightmap: no file extension" + formats},
        {"maps.v2/heightmap", "Cannot save texture maps.v2/heightmap: no file extension" + formats},
        {"missing/image.png", "Cannot save texture missing/image.png: the folder missing does not exist"},
        {"taken.png", "Cannot save texture taken.png: it is a folder"}};
    Texture texture(2, 2, 3, Pattern(2, 2, 3), false, GL_LINEAR);
    // Relative paths from inside the folder: a dot in the folder's own path would move the extension.
    const fs::path previous = fs::current_path();
    fs::current_path(dir.Path());
    for (const auto& [path, message] : cases)
    {
        LogCapture log;
        EXPECT_FALSE(texture.Save(path)) << path;
        EXPECT_EQ(log.Count(spdlog::level::err, message), 1) << log.Dump();
    }
    // A dot in a folder's name is no extension.
    EXPECT_TRUE(texture.Save("maps.v2/height.png"));
    fs::current_path(previous);
    // The two folders and that image alone: nothing else was written, not even a temporary file.
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.Path()), {}), 3);
}

// Positions are clip coordinates; attributes that are not fed read (0, 0, 0).
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
const std::vector<float> kQuadPositions = {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
const std::vector<uint32_t> kQuadIndices = {0, 1, 2, 3, 4, 5};

void UploadShape(MeshGeometry& mesh, const std::vector<float>& positions,
                 const std::vector<uint32_t>& indices)
{
    mesh.vertexCount = static_cast<uint32_t>(positions.size() / 3);
    mesh.indexCount = static_cast<uint32_t>(indices.size());
    mesh.UpdateVertices(positions.data());
    mesh.UpdateIndices(indices.data());
}

class MeshGLTest : public ShaderGLTest
{
  protected:
    void SetUp() override
    {
        ShaderGLTest::SetUp();
        shader = std::make_shared<Shader>(Write("test.vert", kVertex), Write("test.frag", kFragment));
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
        ShaderGLTest::TearDown();
    }

    // The buffer the object's vertex array feeds the attribute from.
    static GLuint AttribBuffer(const Object& object, GLint location)
    {
        GLint buffer = -1;
        glBindVertexArray(object.vao);
        glGetVertexAttribiv(static_cast<GLuint>(location), GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
        glBindVertexArray(0);
        return static_cast<GLuint>(buffer);
    }

    std::shared_ptr<Shader> shader;
    Framebuffer target{32, 32};
};

TEST_F(MeshGLTest, ColorReadsThePositionsOrElseTheNormals)
{
    Object object;
    UploadShape(*object.mesh, kQuadPositions, kQuadIndices);
    LogCapture log;
    object.SetGeometry(object.mesh, shader);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Mesh loaded without texture."), 1) << log.Dump();
    EXPECT_EQ(AttribBuffer(object, shader->GetAttribLocation("color")), object.mesh->vertexBuffer);

    // No entries: drawn whole, each pixel coloured by its position.
    object.Draw(shader);
    const std::vector<uint8_t> pixel = Pixels(target, 28, 20);
    EXPECT_NEAR(pixel[0], ((28 + 0.5f) / 16.0f - 1.0f) * 255.0f, 2.0f);
    EXPECT_NEAR(pixel[1], ((20 + 0.5f) / 16.0f - 1.0f) * 255.0f, 2.0f);
    EXPECT_EQ(pixel[2], 0);

    object.mesh->UpdateNormals(kQuadPositions.data());
    object.SetGeometry(object.mesh, shader);
    EXPECT_EQ(AttribBuffer(object, shader->GetAttribLocation("color")), object.mesh->normalBuffer);

    // Another mesh's index upload leaves the bound vertex array its own indices.
    MeshGeometry other;
    other.indexCount = 6;
    glBindVertexArray(object.vao);
    other.UpdateIndices(kQuadIndices.data());
    EXPECT_EQ(std::make_pair(Integer(GL_VERTEX_ARRAY_BINDING), Integer(GL_ELEMENT_ARRAY_BUFFER_BINDING)),
              std::make_pair(GLint(object.vao), GLint(object.mesh->indexBuffer)));
}

TEST_F(MeshGLTest, EntriesDrawTheirOwnRangeTexturedOrNot)
{
    Texture texture(1, 1, 1, std::unique_ptr<uint8_t[]>(new uint8_t[1]{77}), false, GL_NEAREST);
    Object object;
    UploadShape(*object.mesh, kQuadPositions, {0, 1, 2, 0, 1, 2}); // the second triangle counts from vertex 3
    const float texCoords[] = {0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1};
    object.mesh->UpdateTexCoords(texCoords);
    // The textured entry first: the entry with texture 0 after it must draw untextured all the same.
    // Ambient, diffuse, specular, shininess, texture, index count, first index, base vertex.
    const glm::vec3 black(0.0f), red(1.0f, 0.0f, 0.0f);
    object.mesh->entries = {{black, black, black, 0.0f, texture.id, 3, 3, 3},
                            {black, red, black, 0.0f, 0, 3, 0, 0}};
    LogCapture log;
    object.SetGeometry(object.mesh, shader);
    EXPECT_EQ(log.Count("Mesh loaded without texture."), 0);

    object.Draw(shader);
    EXPECT_EQ(Pixels(target, 3, 3), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(Pixels(target, 28, 28), (std::vector<uint8_t>{77, 77, 77, 255})); // one channel samples as grey
}

TEST_F(MeshGLTest, NullUploadsAndMissingMeshAreReported)
{
    MeshGeometry mesh;
    LogCapture log;
    mesh.UploadAll(1, 1, nullptr, nullptr, nullptr, nullptr); // each upload on its own
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

class RenderManagerGLTest : public ShaderGLTest
{
  protected:
    void TearDown() override
    {
        manager.Clear();
        manager.framebufferStack.clear();
        manager.cameraStack.clear();
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        ShaderGLTest::TearDown();
    }

    // One triangle over most of the target, positions only.
    static std::shared_ptr<Object> Triangle(const std::shared_ptr<Shader>& shader)
    {
        auto object = std::make_shared<Object>();
        UploadShape(*object->mesh, {-0.9f, -0.9f, 0.0f, 0.9f, -0.9f, 0.0f, 0.0f, 0.9f, 0.0f}, {0, 1, 2});
        object->SetGeometry(object->mesh, shader);
        return object;
    }

    RenderManager& manager = Engine::Get().renderManager;
};

TEST_F(RenderManagerGLTest, NullPushesEmptyPopsAndVanishedObjectsWarnAndChangeNothing)
{
    auto shader = FlatShader();
    auto object = Triangle(shader);
    auto outer = std::make_shared<Framebuffer>(8, 8);
    // What is made inside a command below is gone again by the flush.
    manager.Submit(std::make_unique<::PushFramebuffer>(outer));
    manager.Submit(std::make_unique<::PushFramebuffer>(std::make_shared<Framebuffer>(8, 8)));
    manager.Submit(std::make_unique<::PushCamera>(std::make_shared<Camera>()));
    manager.Submit(std::make_unique<RenderObject>(Triangle(shader), shader));
    manager.Submit(std::make_unique<RenderObject>(object, FlatShader()));
    manager.Submit(std::make_unique<::PopCamera>());
    manager.Submit(std::make_unique<::PopFramebuffer>()); // pops the entry below the skipped push
    manager.Submit(std::make_unique<::PopFramebuffer>());
    LogCapture log;
    manager.PushFramebuffer(nullptr);
    manager.PushCamera(nullptr);
    manager.Flush();

    EXPECT_TRUE(manager.framebufferStack.empty() && manager.cameraStack.empty());
    const std::pair<const char*, int> warnings[] = {{"PushFramebuffer is nullptr.", 1},
                                                    {"PushCamera is nullptr.", 1},
                                                    {"Invalid PushFramebuffer Execute command.", 1},
                                                    {"Invalid PushCamera Execute command.", 1},
                                                    {"Invalid RenderObject Execute command.", 2},
                                                    {"Function PopCamera popping an empty stack.", 1},
                                                    {"Function PopFramebuffer Popping an empty stack.", 1}};
    for (const auto& [text, count] : warnings)
        EXPECT_EQ(log.Count(spdlog::level::warn, text), count) << text;
    EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 8) << log.Dump();
}

TEST_F(RenderManagerGLTest, WireframeTargetDrawsLinesAndPoppingRestoresFill)
{
    auto shader = FlatShader();
    auto object = Triangle(shader);
    auto filled = std::make_shared<Framebuffer>(32, 32);
    auto lines = std::make_shared<Framebuffer>(32, 32);
    lines->wireframe = true;

    manager.PushFramebuffer(filled);
    manager.PushFramebuffer(lines);
    EXPECT_EQ(Integer(GL_POLYGON_MODE), GL_LINE);
    RenderObject(object, shader).Execute();
    manager.PopFramebuffer();
    EXPECT_EQ(Integer(GL_POLYGON_MODE), GL_FILL);
    EXPECT_EQ(Integer(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(filled->fbo));
    RenderObject(object, shader).Execute();
    manager.PopFramebuffer();

    auto whiteCount = [](const Framebuffer& target)
    {
        const std::vector<uint8_t> pixels = Pixels(target, 0, 0, 32, 32);
        int count = 0;
        for (size_t i = 0; i < pixels.size(); i += 4)
            count += pixels[i] == 255 ? 1 : 0;
        return count;
    };
    EXPECT_GT(whiteCount(*lines), 40); // three edges of ~30 pixels
    EXPECT_LT(whiteCount(*lines) * 3, whiteCount(*filled));
    EXPECT_EQ(Pixels(*lines, 16, 12)[0], 0); // inside, not filled
    EXPECT_EQ(Pixels(*filled, 16, 12)[0], 255);
}

TEST_F(RenderManagerGLTest, WindowFrameAloneLeavesTheWindowsViewport)
{
    Window& window = Engine::Get().window;
    window.framebuffer->clearColor = {0.2f, 0.4f, 0.6f, 1.0f};
    testsupport::InitGui();
    LogCapture log;
    window.Render();
    window.EndRender();
    testsupport::ShutdownGui();
    window.framebuffer->clearColor = {0.0f, 0.0f, 0.0f, 1.0f};

    // Ending on the default framebuffer is UserJourneyTest's: no picture changes otherwise.
    EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
    int width = 0, height = 0;
    glfwGetFramebufferSize(window.handle, &width, &height);
    EXPECT_EQ(std::make_pair(Integer(GL_VIEWPORT, 2), Integer(GL_VIEWPORT, 3)),
              std::make_pair(width, height));
    EXPECT_EQ(Pixels(*window.framebuffer, 3, 3)[2], 153); // the window's target was cleared on the way
}

// The quad's upper-left triangle runs clockwise seen by the viewer, as a terrain's triangles do seen
// from above: the normal, not the winding, says which side is lit.
TEST_F(RenderManagerGLTest, DrawsATexturedMeshLitOnTheSideTheViewerSees)
{
    auto shader = std::make_shared<Shader>("shaders/basic_lighting.vert", "shaders/basic_lighting.frag");
    // The left texel red, the right one green.
    Texture texture(2, 1, 4, std::unique_ptr<uint8_t[]>(new uint8_t[8]{255, 0, 0, 255, 0, 255, 0, 255}),
                    false, GL_NEAREST);

    // A unit quad in the xy plane facing +z.
    auto object = std::make_shared<Object>();
    const float positions[] = {-0.5f, -0.5f, 0, 0.5f, -0.5f, 0, 0.5f, 0.5f, 0, -0.5f, 0.5f, 0};
    const float normals[] = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    const float texCoords[] = {0, 0, 1, 0, 1, 1, 0, 1};
    const uint32_t indices[] = {0, 1, 2, 0, 3, 2};
    object->mesh->UploadAll(4, 6, positions, normals, texCoords, indices);
    object->mesh->entries.push_back(MeshEntry::Whole(6, texture.id));
    object->SetGeometry(object->mesh, shader);
    // Unequal scales: the normals need a matrix of their own.
    object->model = glm::scale(glm::mat4(1.0f), glm::vec3(1.2f, 1.0f, 1.0f));

    auto target = std::make_shared<Framebuffer>(64, 48);
    auto camera = std::make_shared<Camera>();
    camera->aspectRatio = 64.0f / 48.0f;
    camera->position = {0.0f, 0.0f, 3.0f};
    camera->yaw = -90.0f; // looking down -z at the quad
    camera->pitch = 0.0f;
    camera->Update(0.0);

    manager.Submit(std::make_unique<::PushFramebuffer>(target));
    manager.Submit(std::make_unique<::PushCamera>(camera));
    manager.Submit(std::make_unique<RenderObject>(object, shader));
    manager.Submit(std::make_unique<::PopCamera>());
    manager.Submit(std::make_unique<::PopFramebuffer>());
    LogCapture log;
    manager.Flush();
    EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
    const std::vector<uint8_t> left = Pixels(*target, 28, 24), right = Pixels(*target, 36, 24);
    // Lit from above and in front, both halves alike: ambient 0.3, diffuse 0.25 and a little specular
    // make about 145 (ambient alone would make 80).
    EXPECT_NEAR(left[0], 145, 10);
    EXPECT_LT(left[1], 40);
    EXPECT_NEAR(right[1], 145, 10);
    EXPECT_LT(right[0], 40);

    glm::mat4 model(0.0f), normal(0.0f);
    glGetUniformfv(shader->program, shader->GetUniformLocation("Mmatrix"), glm::value_ptr(model));
    glGetUniformfv(shader->program, shader->GetUniformLocation("normalMatrix"), glm::value_ptr(normal));
    EXPECT_EQ(model, object->model);
    EXPECT_EQ(normal, glm::transpose(glm::inverse(object->model)));
    EXPECT_EQ(std::make_pair(Integer(GL_CURRENT_PROGRAM), Integer(GL_VERTEX_ARRAY_BINDING)),
              std::make_pair(0, 0));
}

TEST_F(RenderManagerGLTest, SceneGetsItsSkyAndATargetEvenWithoutAMainWindow)
{
    Window& window = Engine::Get().window;
    GLFWwindow* const handle = std::exchange(window.handle, nullptr);
    const int width = std::exchange(window.width, 0);
    Scene scene(8);
    window.handle = handle;
    window.width = width;
    EXPECT_EQ(std::make_pair(scene.framebuffer->width, scene.framebuffer->height),
              std::make_pair(1u, static_cast<uint32_t>(window.height)));
    EXPECT_EQ(scene.framebuffer->clearColor, glm::vec4(0.52f, 0.8f, 0.92f, 1.0f));
}

TEST_F(ShaderGLTest, BuiltInProgramsBuildAndOfferTheirInterface)
{
    const std::tuple<const char*, std::vector<const char*>, std::vector<const char*>> programs[] = {
        {"shaders/basic_lighting",
         {"position", "normal", "texcoord"},
         {"Mmatrix", "normalMatrix", "Pmatrix", "Vmatrix", "viewPos", "material.ambient", "material.diffuse",
          "material.specular", "material.shininess", "useTexture", "texSampler"}},
        {"shaders/normal_shader", {"position", "normal"}, {"Mmatrix", "normalMatrix", "Pmatrix", "Vmatrix"}},
        {"shaders/texcoord_shader", {"position", "texcoord"}, {"Mmatrix", "Pmatrix", "Vmatrix"}}};
    for (const auto& [base, attributes, uniforms] : programs)
    {
        SCOPED_TRACE(base);
        LogCapture log;
        Shader shader(std::string(base) + ".vert", std::string(base) + ".frag");
        ASSERT_NE(shader.program, 0u) << log.Dump();
        EXPECT_EQ(log.Count(spdlog::level::trace, std::string("Loading shader: ") + base + ".vert"), 1);
        EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
        for (const char* attribute : attributes)
            EXPECT_GE(shader.GetAttribLocation(attribute), 0) << attribute;
        for (const char* uniform : uniforms)
            EXPECT_GE(shader.GetUniformLocation(uniform), 0) << uniform;
        EXPECT_EQ(shader.GetAttribLocation("position"), 0); // the array the draw command enables
    }
}

TEST_F(ShaderGLTest, FailuresGiveProgramZeroAndKeepNameAndPaths)
{
    const std::string vertex = Write("ok.vert", kFlatVertex), fragment = Write("ok.frag", kFlatFragment);
    const std::string missing = dir / "missing.frag", empty = Write("empty.frag", ""); // compiled, and fails
    const std::string broken = Write("broken.frag", "#version 440\nvoid main() { undefinedThing = 1; }\n");
    // Reads a value no vertex stage writes.
    const std::string unlinked = Write(
        "unlinked.frag",
        "#version 440\nin vec3 neverWritten;\nout vec4 c;\nvoid main() { c = vec4(neverWritten, 1.0); }\n");
    const std::string openError = "Unable to open file " + missing + " for reading.";
    const std::string compileError = "Compile failure in fragment shader:";
    // The culprit is named by the info log: the compiler's in a message of its own, the linker's on stderr.
    const std::tuple<std::string, std::string, std::string, int, const char*> cases[] = {
        {vertex, missing, openError, 1, ""},  {missing, fragment, openError, 1, ""},
        {missing, missing, openError, 2, ""}, {vertex, broken, compileError, 1, "undefinedThing"},
        {vertex, empty, compileError, 1, ""}, {vertex, unlinked, compileError, 0, "neverWritten"}};
    for (const auto& [vert, frag, error, errorCount, culprit] : cases)
    {
        SCOPED_TRACE(vert + " + " + frag);
        LogCapture log;
        testing::internal::CaptureStderr();
        Shader shader(vert, frag);
        const std::string linker = testing::internal::GetCapturedStderr();
        EXPECT_EQ(shader.program, 0u);
        // The name without ".vert" or ".frag".
        EXPECT_EQ(std::tie(shader.name, shader.vertexPath, shader.fragmentPath),
                  std::make_tuple(vert.substr(0, vert.size() - 5), vert, frag));
        EXPECT_EQ(log.Count(spdlog::level::err, error), errorCount) << log.Dump();
        EXPECT_NE((linker + log.Dump()).find(culprit), std::string::npos) << linker << log.Dump();
        EXPECT_EQ(linker.rfind("Linker failure: ", 0), 0u) << linker;
        EXPECT_EQ(log.Count(spdlog::level::trace, "Shader program deleted"), 1);
        // A failed program answers -1 without asking GL.
        EXPECT_EQ(shader.GetUniformLocation("Mmatrix"), -1);
        EXPECT_EQ(shader.locationQueries, 0u);
    }
}

TEST_F(ShaderGLTest, NameIsTheVertexPathBeforeItsFirstDot)
{
    testing::internal::CaptureStderr(); // the path without a dot names no file
    EXPECT_EQ(Shader("./shaders/basic_lighting.vert", "shaders/basic_lighting.frag").name, "");
    EXPECT_EQ(Shader("shaders/vertex_without_dot", "shaders/basic_lighting.frag").name,
              "shaders/vertex_without_dot");
    testing::internal::GetCapturedStderr();
}

TEST_F(ShaderGLTest, SourceEndsAtAZeroByteAndLocationsAreAskedOncePerName)
{
    Shader shader(Write("zero.vert", std::string(kFlatVertex) + '\0' + "garbage("),
                  Write("ok.frag", kFlatFragment));
    ASSERT_NE(shader.program, 0u);
    const GLint expected = glGetUniformLocation(shader.program, "Mmatrix");
    for (int twice = 0; twice < 2; ++twice)
    {
        EXPECT_EQ(shader.GetUniformLocation("Mmatrix"), expected);
        EXPECT_EQ(shader.GetUniformLocation("noSuchUniform"), -1);
        EXPECT_EQ(shader.GetAttribLocation("position"), 0);
        EXPECT_EQ(shader.GetAttribLocation("color"), -1);
    }
    EXPECT_EQ(shader.locationQueries, 4u);
}
} // namespace
