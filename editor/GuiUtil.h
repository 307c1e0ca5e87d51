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
// ImGui::Begin for the editor's tool windows. A window is kept inside the main window's work area
// (a saved layout or a smaller main window may have put it out of reach; a window that grew past
// an edge moves back). While a modal dialog is open, a window that appears goes behind it without
// asking for focus: the modal keeps the input either way, yet the GUI library (1.86) draws a new
// window in front of everything, hiding the modal, and asserts when a window that appears asks for
// focus behind a modal opened in the same frame.
bool Begin(const char* name, bool* open = nullptr, ImGuiWindowFlags flags = 0);
// Where a window at pos of this size goes to lie inside the area, moved as little as possible; one
// larger than the area keeps its top-left corner in it.
ImVec2 PlaceInside(ImVec2 pos, ImVec2 size, ImVec2 areaMin, ImVec2 areaMax);

// Dialogs keep their place and size while open, or fields would move from under the pointer as rows
// come and go: the next window (a dialog) gets this size, centred on the main window when it appears.
void PlaceDialog(ImVec2 size);
// The height of a dialog holding so many framed rows (fields, buttons), text lines and extra pixels,
// with its padding and, with titleBar, a title bar.
float DialogHeight(int frameRows, int textRows, float extra, bool titleBar = true);
// Moves the cursor down so that a row of the given height ends at the bottom of the window's
// content region: a dialog's buttons stay in place when rows above them come and go.
void BottomRow(float height);

// The editor's tool windows, which open beside the scene window rather than on top of each other.
enum class ToolWindow
{
    Camera,
    Options,
    DiffuseEditor,
    WaterEditor,
    TextureEditor, // the brush editor, in the water editor's place (their tabs never show together)
    Help
};
// Where a tool window first appears (pos and pivot: (1, 0) puts the window's top-right corner at
// pos), and its first size where the window does not fit itself to its contents (zero otherwise). The terrain
// generator opens at (0.17, 0.17) of the display, 0.2 wide and 0.33 high; right of it, under each other:
// camera, options, diffuse editor; under it the water editor or the brush editor; the help above
// them all, under the menu bar. work is the area between the menu bar and the status line (y
// from workTop to workBottom); rowHeight is a framed row with spacing, chrome a window's title bar
// and padding, padding the window padding.
struct ToolWindowPlace
{
    ImVec2 pos;
    ImVec2 pivot;
    ImVec2 size;
};
struct ToolWindowArea
{
    ImVec2 display;
    float workTop = 0.0f;
    float workBottom = 0.0f;
    float rowHeight = 0.0f;
    float chrome = 0.0f;
    float padding = 0.0f;
};
ToolWindowPlace ToolWindowLayout(ToolWindow which, const ToolWindowArea& area);
// The camera window's size, fixed at each run's first showing.
inline const ImVec2 kCameraWindowSize{400.0f, 100.0f};
// Applies the layout to the next window, for its first use only (the layout file keeps the rest).
void PlaceToolWindow(ToolWindow which);
} // namespace gui
