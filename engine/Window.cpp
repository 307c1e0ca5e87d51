#include "engine/Window.h"

#include "engine/App.h"
#include "engine/AtomicFile.h"
#include "engine/Engine.h"
#include "engine/Log.h"
#include "engine/GLError.h"
#include "render/Framebuffer.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <imgui.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <stb_image.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace
{
constexpr const char* kWindowGlslVersion = "#version 440";
constexpr const char* kLayoutFile = "imgui.ini";

// The layout file of the window's GUI context, empty when the context keeps none. The GUI library
// would write it itself, in place; it goes through the shared writer like every file we save.
std::string layoutFile;

void SaveLayout()
{
    size_t size = 0;
    const char* text = ImGui::SaveIniSettingsToMemory(&size);
    std::string error;
    if (!WriteFileAtomically(
            layoutFile, [&](std::FILE* file) { return std::fwrite(text, 1, size, file) == size; }, &error))
        Log::Error("Cannot save the window layout {}: {}", layoutFile, error);
    ImGui::GetIO().WantSaveIniSettings = false;
}

void SetWindowIcon(GLFWwindow* handle)
{
    // Icons are read top row first; the texture loader may have left the global flip switched on.
    stbi_set_flip_vertically_on_load(0);
    int w = 0, h = 0, channels = 0;
    unsigned char* pixels = stbi_load("icon.png", &w, &h, &channels, 4);
    if (pixels == nullptr) return;
    GLFWimage image{w, h, pixels};
    glfwSetWindowIcon(handle, 1, &image);
    stbi_image_free(pixels);
}
} // namespace

Window::~Window()
{
    Destroy();
}

void Window::Destroy()
{
    if (handle == nullptr) return;
    MyGUIFrame::Shutdown();
    framebuffer.reset(); // its GL names go while the context still exists
    glfwDestroyWindow(handle);
    handle = nullptr;
}

bool Window::Create(WindowProperties& properties)
{
    GLFWmonitor* monitor = properties.monitor != nullptr ? properties.monitor : glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    const int redBits = mode != nullptr ? mode->redBits : 8;
    const int greenBits = mode != nullptr ? mode->greenBits : 8;
    const int blueBits = mode != nullptr ? mode->blueBits : 8;
    const int refreshRate = mode != nullptr ? mode->refreshRate : GLFW_DONT_CARE;

    width = properties.width;
    height = properties.height;

    if (!properties.decorated) glfwWindowHint(GLFW_DECORATED, GLFW_FALSE);

    handle = glfwCreateWindow(width, height, properties.title.c_str(), properties.fullscreenMonitor, nullptr);
    properties.handle = handle;
    if (handle == nullptr)
    {
        Log::Error("Error creating main window.");
        glfwTerminate();
        return false;
    }

    // These hints only shape the platform windows the GUI opens later for windows dragged out of
    // the main one. Ask for at most the version the driver gave the main window, so that a 4.5
    // driver can still open them.
    const int major = glfwGetWindowAttrib(handle, GLFW_CONTEXT_VERSION_MAJOR);
    const int minor = glfwGetWindowAttrib(handle, GLFW_CONTEXT_VERSION_MINOR);
    const bool atLeast46 = major > 4 || (major == 4 && minor >= 6);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, atLeast46 ? 4 : major);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, atLeast46 ? 6 : minor);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_RED_BITS, redBits);
    glfwWindowHint(GLFW_GREEN_BITS, greenBits);
    glfwWindowHint(GLFW_BLUE_BITS, blueBits);
    glfwWindowHint(GLFW_REFRESH_RATE, refreshRate);
    glfwWindowHint(GLFW_SAMPLES, 4);

    glfwSetWindowSizeLimits(handle, properties.minWidth, properties.minHeight, properties.maxWidth,
                            properties.maxHeight);
    glfwSetWindowTitle(handle, properties.title.c_str());
    glfwShowWindow(handle);
    SetWindowIcon(handle);

    glfwMakeContextCurrent(handle);
    CheckGLError("Window::Create", __LINE__);

    if (glewInit() != GLEW_OK)
    {
        Log::Error("Failed to initialize GLEW OpenGL loader!");
        glfwTerminate();
        handle = nullptr;
        properties.handle = nullptr;
        return false;
    }
    glGetError(); // GLEW may leave an error behind on some contexts; it is not ours to report

    framebuffer = std::make_shared<Framebuffer>(static_cast<uint32_t>(std::max(width, 1)),
                                                static_cast<uint32_t>(std::max(height, 1)));
    framebuffer->clearColor = properties.clearColor;

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr; // read here, written by SaveLayout
    layoutFile = kLayoutFile;
    ImGui::LoadIniSettingsFromDisk(layoutFile.c_str());
    if (guiContextCreated != nullptr) guiContextCreated();
#ifdef IMGUI_HAS_DOCK
    io.ConfigFlags |= ImGuiConfigFlags_DockingEnable;
    io.ConfigFlags |= ImGuiConfigFlags_ViewportsEnable;
#else
    (void)io;
#endif
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowRounding = 0.0f;
    style.Colors[ImGuiCol_WindowBg].w = 1.0f;
    ImGui::StyleColorsDark();

    InstallKeyQueue(handle);
    ImGui_ImplGlfw_InitForOpenGL(handle, true);
    ImGui_ImplOpenGL3_Init(kWindowGlslVersion);
    return true;
}

void Window::InstallKeyQueue(GLFWwindow* window)
{
    glfwSetKeyCallback(window,
                       [](GLFWwindow*, int key, int, int action, int mods)
                       {
                           if (action == GLFW_PRESS) Engine::Get().window.keyPresses.push_back({key, mods});
                       });
}

bool Window::WasPressed(int key, int mods) const
{
    constexpr int kModifiers = GLFW_MOD_CONTROL | GLFW_MOD_SHIFT | GLFW_MOD_ALT | GLFW_MOD_SUPER;
    return std::any_of(keyPresses.begin(), keyPresses.end(),
                       [&](const KeyPress& press)
                       { return press.key == key && (press.mods & kModifiers) == mods; });
}

void Window::Render()
{
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    CheckGLError("Window::Render", __LINE__);
    RenderManager& renderManager = Engine::Get().renderManager;
    glClear(renderManager.clearMask);
    glClearStencil(0);
    renderManager.Submit(std::make_unique<::PushFramebuffer>(framebuffer));
    CheckGLError("Window::Render", __LINE__);
}

void Window::EndRender()
{
    RenderManager& renderManager = Engine::Get().renderManager;
    renderManager.Submit(std::make_unique<::PopFramebuffer>());
    renderManager.Flush();

    MyGUIFrame::Begin();
    if (App* app = Engine::Get().app) app->OnGUI();
    MyGUIFrame::End();

    glfwSwapBuffers(handle);
    glFlush();
    CheckGLError("Window::EndRender", __LINE__);
    glUseProgram(0);
}

void MyGUIFrame::Begin()
{
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();
}

void MyGUIFrame::End()
{
    ImGui::Render();
    if (ImGui::GetIO().WantSaveIniSettings && !layoutFile.empty()) SaveLayout();
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
#ifdef IMGUI_HAS_DOCK
    if (ImGui::GetIO().ConfigFlags & ImGuiConfigFlags_ViewportsEnable)
    {
        GLFWwindow* current = glfwGetCurrentContext();
        ImGui::UpdatePlatformWindows();
        ImGui::RenderPlatformWindowsDefault();
        glfwMakeContextCurrent(current);
        CheckGLError("MyGUIFrame::EndRender", __LINE__);
    }
#endif
}

void MyGUIFrame::Shutdown()
{
    if (ImGui::GetCurrentContext() == nullptr) return;
    if (!layoutFile.empty())
    {
        SaveLayout();
        layoutFile.clear();
    }
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
}
