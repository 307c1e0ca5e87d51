#include "engine/Engine.h"

#include "engine/App.h"
#include "engine/Log.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <imgui.h>
#include <spdlog/spdlog.h>

#include <string>

namespace
{
constexpr const char* kGlslVersion = "#version 440";
// Longest sleep of an idle frame: short enough for the few time-driven changes (a notice expiring)
// to show without input, long enough for an idle frame to cost next to nothing.
constexpr double kIdleWaitSeconds = 1.0;

std::string LibrariesLine()
{
#ifdef IMGUI_HAS_DOCK
    const std::string imgui = std::string("ImGUI docking branch ") + IMGUI_VERSION;
#else
    const std::string imgui = std::string("ImGUI ") + IMGUI_VERSION;
#endif
    return "\n\tOpenGL\n\tGLFW\n\tGLEW\n\t" + imgui + "\n\tGLM\n\tFastNoise Lite\n\tstb_image\n";
}
} // namespace

Engine& Engine::Get()
{
    static Engine* instance = new Engine(); // never destroyed: GL and GLFW outlive static teardown
    return *instance;
}

void Engine::LogVersion()
{
    Log::Info("Velmoran v. {}.{}", kVersionMajor, kVersionMinor);
    Log::Info("Terrain editor by the Velmoran developers, {}", 2021);
    Log::Debug("Libraries used:\n{}\n", LibrariesLine());
}

bool Engine::Initialize(App* application)
{
    logger.Initialize();
    LogVersion();
    Log::Trace("Engine intializing.");

    if (app != nullptr)
    {
        Log::Critical("Engine already runs a valid application.");
        return false;
    }
    app = application;

    if (!glfwInit())
    {
        Log::Error("GLFW cannot initialize.");
        return false;
    }
    glfwStarted = true;
    Log::Trace("GLFW Initialized.");
    glfwSetErrorCallback(GLFWErrorCallback);

    Log::Trace("GLSL {}", kGlslVersion);

    WindowProperties properties;
    app->GetWindowProperties(properties);

    if (!window.Create(properties))
    {
        Log::Error("Main window creation failed.");
        glfwTerminate();
        glfwStarted = false;
        return false;
    }

    glEnable(GL_MULTISAMPLE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_STENCIL_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);

    Log::Trace("Render Manager initialized.");
    CheckGLError("Engine::Initialize", __LINE__);
    CheckGLError("Engine::Initialize", __LINE__);
    CheckGLError("Engine::Initialize", __LINE__);
    Log::Trace("Engine intialized.");

    app->Initialize();
    return true;
}

void Engine::Run(App* application)
{
    if (Initialize(application) && !glfwWindowShouldClose(window.handle))
    {
        do
        {
            Update();
            RenderFrame();
        } while (!glfwWindowShouldClose(window.handle));
    }
    Shutdown();
}

void Engine::Update()
{
    // With nothing to animate, sleep until input arrives (or a moment passes) instead of drawing the
    // same picture again; the frame then runs as always.
    const double wait = app != nullptr ? app->EventWaitSeconds(kIdleWaitSeconds) : 0.0;
    if (wait > 0.0) glfwWaitEventsTimeout(wait);
    time = glfwGetTime();
    deltaTime = time - lastTime;
    lastTime = time;
    glfwPollEvents();
    CheckGLError("Engine::Update", __LINE__);
    if (app != nullptr) app->Update();
}

void Engine::RenderFrame()
{
    window.Render();
    if (app != nullptr) app->Render();
    window.EndRender();
    window.keyPresses.clear(); // the frame has had them; the next wait and poll queue the next frame's
    frameWorkSeconds = glfwGetTime() - time;
}

void Engine::Shutdown()
{
    Log::Trace("Shutting down engine.");
    renderManager.Clear();
    if (app != nullptr) app->Shutdown();
    MyGUIFrame::Shutdown();
    window.Destroy();
    if (glfwStarted)
    {
        glfwTerminate();
        glfwStarted = false;
    }
    Log::Trace("Engine shut down.");
    spdlog::shutdown();
}
