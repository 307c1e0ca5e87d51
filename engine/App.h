#pragma once
#include <glm/vec4.hpp>

#include <string>

struct GLFWmonitor;
struct GLFWwindow;

struct WindowProperties
{
    std::string title = "Velmoran Engine";
    bool decorated = true;
    int width = 800;
    int height = 600;
    int minWidth = -1;
    int minHeight = -1;
    int maxWidth = -1;
    int maxHeight = -1;
    glm::vec4 clearColor{0.0f, 0.0f, 0.0f, 1.0f};
    GLFWmonitor* monitor = nullptr;           // video mode source; null means the primary monitor
    GLFWmonitor* fullscreenMonitor = nullptr; // null gives a normal window
    GLFWwindow* handle = nullptr;             // set by Window::Create
};

// The application the engine drives. Slot order matters to nobody but readers: the engine calls
// GetWindowProperties, Initialize, then per frame Update, Render, OnGUI, and finally Shutdown.
class App
{
  public:
    virtual ~App() = default;
    virtual void Initialize() {}
    virtual void Shutdown() {}
    virtual void Render() {}
    virtual void Update() {}
    virtual void GetWindowProperties(WindowProperties& out) { out = WindowProperties{}; }
    virtual void OnGUI() {}
    // True when nothing would change without input: the engine then waits for events (with a short
    // timeout) before the next frame instead of drawing the same picture again.
    virtual bool CanWaitForEvents() { return false; }
    // How long the engine may wait for input before the next frame (0: not at all). The base waits
    // up to idleSeconds when CanWaitForEvents allows it; an application with work in the background
    // may ask for a shorter wait, to keep drawing its progress without drawing flat out.
    virtual double EventWaitSeconds(double idleSeconds) { return CanWaitForEvents() ? idleSeconds : 0.0; }
};
