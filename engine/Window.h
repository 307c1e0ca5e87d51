#pragma once
#include <memory>

class Framebuffer;
struct GLFWwindow;
struct WindowProperties;

// The GUI frame run between the 3-D flush and the buffer swap.
class MyGUIFrame
{
  public:
    static void Begin();
    static void End();
    // Shuts both back ends down and destroys the GUI context; nothing happens without a context.
    static void Shutdown();
};

// The main window: GLFW window, GL context, GLEW, the GUI context, and the framebuffer that stands
// for the window at the bottom of the render manager's framebuffer stack.
class Window
{
  public:
    Window() = default;
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    bool Create(WindowProperties& properties);
    void Render();
    void EndRender();
    void Destroy();

    GLFWwindow* handle = nullptr;
    int width = 0;
    int height = 0;
    std::shared_ptr<Framebuffer> framebuffer;
};
