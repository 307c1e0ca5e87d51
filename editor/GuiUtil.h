#pragma once
// Small helpers shared by the editor's windows.
#include <imgui.h>

#include <cstdint>
#include <string>

// Window flags that only exist in the docking branch of the GUI library.
#ifdef IMGUI_HAS_DOCK
inline constexpr ImGuiWindowFlags kNoDockingFlag = ImGuiWindowFlags_NoDocking;
#else
inline constexpr ImGuiWindowFlags kNoDockingFlag = 0;
#endif

inline const ImVec4 kRed{1.0f, 0.0f, 0.0f, 1.0f};
inline const ImVec4 kGreen{0.0f, 1.0f, 0.0f, 1.0f};
inline const ImVec4 kHint{1.0f, 1.0f, 1.0f, 0.5f};

namespace gui
{
// Current framebuffer size of the main window, as GLFW reports it.
ImVec2 MainFramebufferSize();
// Whether a key is held down in the main window (dialogs test keys as held, not as pressed).
bool KeyDown(int glfwKey);
// Holds a key down as far as KeyDown is concerned, for driving dialogs without a keyboard.
void ForceKeyDown(int glfwKey, bool down);
void TextColored(const ImVec4& color, const std::string& text);
// A GL texture drawn with row 0 at the bottom, as the textures and framebuffers store it.
void Image(uint32_t glTexture, ImVec2 size);
// ImGui::Begin for the editor's tool windows. While a modal dialog is open, a window that appears
// does not ask for focus: the modal keeps the input either way, and the GUI library (1.86) asserts
// when a window appears behind a modal that opened in the same frame.
bool Begin(const char* name, bool* open = nullptr, ImGuiWindowFlags flags = 0);

// The editor's tool windows, which open beside the scene window rather than on top of each other.
enum class ToolWindow
{
    Camera,
    Options,
    DiffuseEditor,
    WaterEditor
};
// Where a tool window first appears (pos, with pivot (1, 0) right-aligned), and its first size
// where the window does not fit itself to its contents (zero otherwise). Right of the scene's
// first place, under each other: camera, options, diffuse editor; the water editor, whose picture
// wants height, left of it. rowHeight is a framed row with spacing, chrome a window's title bar
// and padding.
struct ToolWindowPlace
{
    ImVec2 pos;
    ImVec2 pivot;
    ImVec2 size;
};
ToolWindowPlace ToolWindowLayout(ToolWindow which, ImVec2 display, float rowHeight, float chrome);
// Applies the layout to the next window, for its first use only (the layout file keeps the rest).
void PlaceToolWindow(ToolWindow which);
} // namespace gui
