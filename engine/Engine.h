#pragma once
#include "engine/GLError.h"
#include "engine/Logger.h"
#include "engine/Window.h"
#include "render/RenderManager.h"

#include <glm/vec2.hpp>

class App;

// The process-wide singleton that owns start-up, the frame loop and shut-down. It is created on
// first use and never destroyed.
class Engine
{
  public:
    static Engine& Get();

    void Run(App* application);
    bool Initialize(App* application);
    void Update();
    void Shutdown();
    // One frame after Engine::Update: the window's frame begin, the application's commands, the
    // flush and the GUI.
    void RenderFrame();

    App* app = nullptr;
    Window window;
    double time = 0.0;
    double deltaTime = 0.0;
    double lastTime = 0.0;
    // What the last whole frame's work took: from the end of its wait for input to the end of the
    // frame (deltaTime includes the wait).
    double frameWorkSeconds = 0.0;
    Logger logger;
    RenderManager renderManager;
    glm::dvec2 cursorPos{0.0, 0.0};
    glm::dvec2 lastCursorPos{0.0, 0.0};

    static constexpr int kVersionMajor = 0;
    static constexpr int kVersionMinor = 1;

  private:
    Engine() = default;
    void LogVersion();
    bool glfwStarted = false;
};
