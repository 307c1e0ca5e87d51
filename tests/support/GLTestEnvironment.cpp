#include "tests/support/GLTestEnvironment.h"

#include "engine/Engine.h"
#include "render/Framebuffer.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <imgui.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>

namespace testsupport
{
void GLEnvironment::SetUp()
{
    Engine& engine = Engine::Get();
    engine.logger.Initialize();
    glfwSetErrorCallback(GLFWErrorCallback);
    ASSERT_TRUE(glfwInit()) << "GL tests need an X server (run them under xvfb-run -a)";
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(kGLWindowWidth, kGLWindowHeight, "GL test", nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    glfwMakeContextCurrent(window);
    ASSERT_EQ(glewInit(), static_cast<GLenum>(GLEW_OK));
    DrainGLErrors();

    engine.window.handle = window;
    engine.window.width = kGLWindowWidth;
    engine.window.height = kGLWindowHeight;
    engine.window.framebuffer = std::make_shared<Framebuffer>(kGLWindowWidth, kGLWindowHeight);

    glEnable(GL_MULTISAMPLE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_STENCIL_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void GLEnvironment::TearDown()
{
    Engine& engine = Engine::Get();
    ShutdownGui();
    engine.renderManager.Clear();
    engine.renderManager.framebufferStack.clear();
    engine.renderManager.cameraStack.clear();
    engine.window.framebuffer.reset();
    if (engine.window.handle != nullptr) glfwDestroyWindow(engine.window.handle);
    engine.window.handle = nullptr;
    glfwTerminate();
}

int DrainGLErrors()
{
    int count = 0;
    while (glGetError() != GL_NO_ERROR && count < 100)
        ++count;
    return count;
}

std::vector<uint8_t> ReadPixels(int x, int y, int width, int height)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void InitGui()
{
    if (ImGui::GetCurrentContext() != nullptr) return;
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;
    ImGui::StyleColorsDark();
    Window::InstallKeyQueue(Engine::Get().window.handle);
    ImGui_ImplGlfw_InitForOpenGL(Engine::Get().window.handle, true);
    ImGui_ImplOpenGL3_Init("#version 440");
}

void ShutdownGui()
{
    MyGUIFrame::Shutdown();
}
} // namespace testsupport
