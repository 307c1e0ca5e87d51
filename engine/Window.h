#pragma once
#include <memory>
#include <vector>

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

// A key pressed in the main window, as the window system reported it: one per press (a held key's
// repeats are not presses), so a tap between two frames counts however slow the frames are. The GUI
// library sees keys only as held at the frame's start, which loses such taps.
struct KeyPress
{
    int key = 0;  // GLFW key code
    int mods = 0; // GLFW modifier bits
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

    // Installs the callback that queues the window's key presses. Install it before the GUI's back
    // end, which saves it and calls it before its own.
    static void InstallKeyQueue(GLFWwindow* window);
    // Whether key was pressed since the frame began, with exactly these modifiers (ctrl, shift, alt,
    // super) held.
    bool WasPressed(int key, int mods) const;

    GLFWwindow* handle = nullptr;
    int width = 0;
    int height = 0;
    std::shared_ptr<Framebuffer> framebuffer;
    // This frame's key presses, oldest first, queued while the engine waits for and polls input;
    // emptied when the frame ends.
    std::vector<KeyPress> keyPresses;
    // Called by Create once the GUI context exists, before its first frame: the editor program
    // publishes its widget map from there (engine/WidgetMap.h), which other programs leave out.
    void (*guiContextCreated)() = nullptr;
};
