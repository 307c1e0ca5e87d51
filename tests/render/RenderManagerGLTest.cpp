#include "engine/Engine.h"
#include "render/Camera.h"
#include "render/Framebuffer.h"
#include "render/Mesh.h"
#include "render/RenderManager.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <vector>

using testsupport::LogCapture;

namespace
{
// Draws white wherever a triangle lands; positions are clip coordinates.
const char* kFlatVertex = R"(#version 440
layout(location = 0) in vec3 position;
void main() { gl_Position = vec4(position, 1.0); }
)";
const char* kFlatFragment = R"(#version 440
out vec4 fragColor;
void main() { fragColor = vec4(1.0); }
)";

class RenderManagerGLTest : public testsupport::GLTest
{
  protected:
    void TearDown() override
    {
        RenderManager& manager = Engine::Get().renderManager;
        manager.Clear();
        manager.framebufferStack.clear();
        manager.cameraStack.clear();
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        EXPECT_EQ(testsupport::DrainGLErrors(), 0);
    }

    std::shared_ptr<Shader> FlatShader()
    {
        std::ofstream(dir / "flat.vert") << kFlatVertex;
        std::ofstream(dir / "flat.frag") << kFlatFragment;
        return std::make_shared<Shader>(dir / "flat.vert", dir / "flat.frag");
    }

    // One triangle over most of the target, positions only.
    static std::shared_ptr<Object> Triangle(const std::shared_ptr<Shader>& shader)
    {
        auto object = std::make_shared<Object>();
        const float positions[] = {-0.9f, -0.9f, 0.0f, 0.9f, -0.9f, 0.0f, 0.0f, 0.9f, 0.0f};
        const uint32_t indices[] = {0, 1, 2};
        object->mesh->vertexCount = 3;
        object->mesh->indexCount = 3;
        object->mesh->UpdateVertices(positions);
        object->mesh->UpdateIndices(indices);
        object->SetGeometry(object->mesh, shader);
        return object;
    }

    static std::vector<uint8_t> TargetPixels(const Framebuffer& target)
    {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, target.fbo);
        std::vector<uint8_t> pixels =
            testsupport::ReadPixels(0, 0, static_cast<int>(target.width), static_cast<int>(target.height));
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        return pixels;
    }

    static const uint8_t* At(const std::vector<uint8_t>& pixels, const Framebuffer& target, int x, int y)
    {
        return &pixels[(static_cast<size_t>(y) * target.width + x) * 4];
    }

    static GLint Integer(GLenum name)
    {
        GLint value[4] = {};
        glGetIntegerv(name, value);
        return value[0];
    }

    RenderManager& manager = Engine::Get().renderManager;
    testsupport::TempDir dir;
};

TEST_F(RenderManagerGLTest, NullPushesAndEmptyPopsWarnAndChangeNothing)
{
    LogCapture log;
    manager.PushFramebuffer(nullptr);
    manager.PushCamera(nullptr);
    manager.PopFramebuffer();
    manager.PopCamera();
    EXPECT_TRUE(manager.framebufferStack.empty());
    EXPECT_TRUE(manager.cameraStack.empty());
    EXPECT_EQ(log.Count(spdlog::level::warn, "PushFramebuffer is nullptr."), 1);
    EXPECT_EQ(log.Count(spdlog::level::warn, "PushCamera is nullptr."), 1);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Function PopFramebuffer Popping an empty stack."), 1);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Function PopCamera popping an empty stack."), 1) << log.Dump();
    EXPECT_EQ(log.Records().size(), 4u);
}

TEST_F(RenderManagerGLTest, CommandsWhoseObjectsAreGoneWarnAndSkip)
{
    auto shader = FlatShader();
    auto object = Triangle(shader);
    auto outer = std::make_shared<Framebuffer>(8, 8);
    auto gone = std::make_shared<Framebuffer>(8, 8);
    auto camera = std::make_shared<Camera>();
    auto otherShader = FlatShader();

    manager.Submit(std::make_unique<::PushFramebuffer>(outer));
    manager.Submit(std::make_unique<::PushFramebuffer>(gone));
    manager.Submit(std::make_unique<::PushCamera>(camera));
    manager.Submit(std::make_unique<RenderObject>(object, shader));
    manager.Submit(std::make_unique<RenderObject>(object, otherShader));
    manager.Submit(std::make_unique<::PopCamera>());
    manager.Submit(std::make_unique<::PopFramebuffer>()); // pops the entry below the skipped push
    manager.Submit(std::make_unique<::PopFramebuffer>());
    gone.reset();
    camera.reset();
    object.reset();
    otherShader.reset();

    LogCapture log;
    manager.Flush();
    EXPECT_TRUE(manager.commandQueue.empty());
    EXPECT_EQ(log.Count(spdlog::level::warn, "Invalid PushFramebuffer Execute command."), 1);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Invalid PushCamera Execute command."), 1);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Invalid RenderObject Execute command."), 2);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Function PopCamera popping an empty stack."), 1);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Function PopFramebuffer Popping an empty stack."), 1)
        << log.Dump();
    EXPECT_TRUE(manager.framebufferStack.empty());
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
    EXPECT_EQ(Integer(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(lines->fbo));
    RenderObject(object, shader).Execute();
    manager.PopFramebuffer();
    EXPECT_EQ(Integer(GL_POLYGON_MODE), GL_FILL);
    EXPECT_EQ(Integer(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(filled->fbo));
    RenderObject(object, shader).Execute();
    manager.PopFramebuffer();

    auto whiteCount = [&](const Framebuffer& target)
    {
        const std::vector<uint8_t> pixels = TargetPixels(target);
        int count = 0;
        for (size_t i = 0; i < pixels.size(); i += 4)
            count += pixels[i] == 255 ? 1 : 0;
        return count;
    };
    const int outline = whiteCount(*lines);
    const int solid = whiteCount(*filled);
    EXPECT_GT(outline, 40); // three edges of ~30 pixels
    EXPECT_GT(solid, 300);  // about 0.9 * 32 * 32 / 2 * 0.9
    EXPECT_LT(outline, solid / 3);
    EXPECT_EQ(At(TargetPixels(*lines), *lines, 16, 12)[0], 0); // inside, not filled
    EXPECT_EQ(At(TargetPixels(*filled), *filled, 16, 12)[0], 255);
}

TEST_F(RenderManagerGLTest, WindowFrameAloneEndsOnTheDefaultFramebuffer)
{
    Window& window = Engine::Get().window;
    window.framebuffer->clearColor = {0.2f, 0.4f, 0.6f, 1.0f};
    testsupport::InitGui();
    LogCapture log;
    window.Render();
    window.EndRender();
    testsupport::ShutdownGui();

    EXPECT_TRUE(manager.framebufferStack.empty());
    EXPECT_EQ(Integer(GL_FRAMEBUFFER_BINDING), 0);
    int width = 0, height = 0;
    glfwGetFramebufferSize(window.handle, &width, &height);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], width);
    EXPECT_EQ(viewport[3], height);
    GLfloat clear[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(glm::make_vec4(clear), window.framebuffer->clearColor);
    EXPECT_EQ(Integer(GL_POLYGON_MODE), GL_FILL);
    // The window's own target was bound and cleared on the way.
    EXPECT_EQ(At(TargetPixels(*window.framebuffer), *window.framebuffer, 3, 3)[2], 153);
    EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
    window.framebuffer->clearColor = {0.0f, 0.0f, 0.0f, 1.0f};
}

TEST_F(RenderManagerGLTest, CameraUniformsAreSetOnlyInsideACameraPush)
{
    auto shader = std::make_shared<Shader>("shaders/basic_lighting.vert", "shaders/basic_lighting.frag");
    auto object = Triangle(shader);
    object->model =
        glm::translate(glm::scale(glm::mat4(1.0f), glm::vec3(2.0f, 1.0f, 1.0f)), glm::vec3(0, 0, -1));
    const glm::mat4 sentinel(7.0f);
    shader->SetUniformMat4("Pmatrix", sentinel);
    auto target = std::make_shared<Framebuffer>(8, 8);
    auto read = [&](const char* name)
    {
        glm::mat4 value(0.0f);
        glGetUniformfv(shader->program, shader->GetUniformLocation(name), glm::value_ptr(value));
        return value;
    };

    manager.Submit(std::make_unique<::PushFramebuffer>(target));
    manager.Submit(std::make_unique<RenderObject>(object, shader));
    manager.Flush();
    EXPECT_EQ(read("Pmatrix"), sentinel);
    EXPECT_EQ(read("Mmatrix"), object->model);
    EXPECT_EQ(read("normalMatrix"), glm::transpose(glm::inverse(object->model)));
    EXPECT_EQ(Integer(GL_CURRENT_PROGRAM), 0);
    EXPECT_EQ(Integer(GL_VERTEX_ARRAY_BINDING), 0);

    auto camera = std::make_shared<Camera>();
    camera->position = {1.0f, 2.0f, 3.0f};
    camera->Update(0.0);
    manager.Submit(std::make_unique<::PushCamera>(camera));
    manager.Submit(std::make_unique<RenderObject>(object, shader));
    manager.Submit(std::make_unique<::PopCamera>());
    manager.Submit(std::make_unique<::PopFramebuffer>());
    manager.Flush();
    EXPECT_EQ(read("Pmatrix"), camera->projection);
    EXPECT_EQ(read("Vmatrix"), camera->view);
    float viewPos[3] = {};
    glGetUniformfv(shader->program, shader->GetUniformLocation("viewPos"), viewPos);
    EXPECT_EQ(glm::make_vec3(viewPos), camera->position);
    EXPECT_TRUE(manager.cameraStack.empty());
}

TEST_F(RenderManagerGLTest, DrawsATexturedMeshThroughTheQueue)
{
    auto shader = std::make_shared<Shader>("shaders/basic_lighting.vert", "shaders/basic_lighting.frag");
    ASSERT_NE(shader->program, 0u);
    // Left texel red, right texel green.
    auto texels = std::make_unique<uint8_t[]>(8);
    const uint8_t rgba[8] = {255, 0, 0, 255, 0, 255, 0, 255};
    std::copy(rgba, rgba + 8, texels.get());
    Texture texture(2, 1, 4, std::move(texels), false, GL_NEAREST);

    // A unit quad in the xy plane facing +z.
    auto object = std::make_shared<Object>();
    MeshGeometry& mesh = *object->mesh;
    const float positions[] = {-0.5f, -0.5f, 0, 0.5f, -0.5f, 0, 0.5f, 0.5f, 0, -0.5f, 0.5f, 0};
    const float normals[] = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    const float texCoords[] = {0, 0, 1, 0, 1, 1, 0, 1};
    const uint32_t indices[] = {0, 1, 2, 0, 2, 3};
    mesh.vertexCount = 4;
    mesh.indexCount = 6;
    mesh.UpdateVertices(positions);
    mesh.UpdateNormals(normals);
    mesh.UpdateTexCoords(texCoords);
    mesh.UpdateIndices(indices);
    MeshEntry entry;
    entry.ambient = entry.diffuse = glm::vec3(1.0f);
    entry.specular = glm::vec3(0.1f);
    entry.shininess = 1.0f;
    entry.texture = texture.id;
    entry.indexCount = 6;
    mesh.entries.push_back(entry);
    object->SetGeometry(object->mesh, shader);

    auto target = std::make_shared<Framebuffer>(64, 48);
    target->clearColor = {0.52f, 0.8f, 0.92f, 1.0f};
    auto camera = std::make_shared<Camera>();
    camera->aspectRatio = 64.0f / 48.0f;
    camera->position = {0.0f, 0.0f, 3.0f};
    camera->yaw = -90.0f; // looking down -z at the quad
    camera->pitch = 0.0f;
    camera->Update(0.0);

    auto frame = [&]
    {
        manager.Submit(std::make_unique<::PushFramebuffer>(target));
        manager.Submit(std::make_unique<::PushCamera>(camera));
        manager.Submit(std::make_unique<RenderObject>(object, shader));
        manager.Submit(std::make_unique<::PopCamera>());
        manager.Submit(std::make_unique<::PopFramebuffer>());
        LogCapture log;
        manager.Flush();
        EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
        return TargetPixels(*target);
    };

    std::vector<uint8_t> pixels = frame();
    const uint8_t* left = At(pixels, *target, 28, 24);
    const uint8_t* right = At(pixels, *target, 36, 24);
    const uint8_t* corner = At(pixels, *target, 2, 2);
    EXPECT_GT(left[0], 60);
    EXPECT_LT(left[1], 40);
    EXPECT_GT(right[1], 60);
    EXPECT_LT(right[0], 40);
    EXPECT_EQ(std::vector<uint8_t>(corner, corner + 4), (std::vector<uint8_t>{133, 204, 235, 255}));

    // The model matrix moves the quad out of sight.
    object->model = glm::translate(glm::mat4(1.0f), glm::vec3(10.0f, 0.0f, 0.0f));
    pixels = frame();
    const uint8_t* centre = At(pixels, *target, 32, 24);
    EXPECT_EQ(std::vector<uint8_t>(centre, centre + 4), (std::vector<uint8_t>{133, 204, 235, 255}));
}

TEST_F(RenderManagerGLTest, SceneTakesTheWindowSizeAndItsDefaults)
{
    Scene scene(7);
    EXPECT_EQ(scene.name, "Scene 7");
    EXPECT_EQ(scene.sceneId, 7u);
    ASSERT_TRUE(scene.camera);
    ASSERT_TRUE(scene.framebuffer);
    EXPECT_EQ(scene.camera->name, "Scene 7 camera");
    int width = 0, height = 0;
    glfwGetFramebufferSize(Engine::Get().window.handle, &width, &height);
    EXPECT_EQ(scene.framebuffer->width, static_cast<uint32_t>(width));
    EXPECT_EQ(scene.framebuffer->height, static_cast<uint32_t>(height));
    EXPECT_EQ(scene.framebuffer->clearColor, glm::vec4(0.52f, 0.8f, 0.92f, 1.0f));
    EXPECT_NEAR(scene.camera->front.y, -std::sin(glm::radians(10.0f)), 1e-6f);
    EXPECT_FALSE(scene.shader);
    EXPECT_FALSE(scene.terrain);
    EXPECT_TRUE(scene.isNew);
    EXPECT_FALSE(scene.showWindow);

    // Without a main window the target still gets a usable size.
    Window& window = Engine::Get().window;
    GLFWwindow* handle = window.handle;
    const int savedWidth = window.width;
    window.handle = nullptr;
    window.width = 0;
    Scene headless(8);
    window.handle = handle;
    window.width = savedWidth;
    EXPECT_EQ(headless.framebuffer->width, 1u);
    EXPECT_EQ(headless.framebuffer->height, static_cast<uint32_t>(window.height));
}
} // namespace
