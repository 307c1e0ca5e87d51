#pragma once
// The status line at the bottom of the main window, the hint of the empty window and the keyboard
// shortcuts: their texts and decisions, kept apart from the widgets so they can be tested.
#include <cstdint>
#include <string>

class Editor;

// What the status line tells of the focused scene's terrain and of the program.
struct StatusLineFacts
{
    bool hasTerrain = false;
    std::string terrainName;
    uint32_t width = 0; // vertices along x and z; 0 for an empty terrain
    uint32_t height = 0;
    float minHeight = 0.0f;
    float maxHeight = 0.0f;
    double frameMilliseconds = 0.0;
    uint64_t residentBytes = 0; // 0: unknown
};

// "hills 1025 x 1025 | 1,050,625 vertices | heights 0.00 to 41.25 | 16.7 ms a frame | 812 MB in memory"
std::string StatusLineText(const StatusLineFacts& facts);
// 1050625 -> "1,050,625".
std::string GroupedThousands(uint64_t value);

// The status line and what it samples between frames: the frame time, smoothed over active frames
// (idle frames wait for input and say nothing about drawing), and the resident memory twice a second.
struct StatusLine
{
    static constexpr double kMemorySeconds = 0.5;
    double frameMilliseconds = 0.0;
    uint64_t residentBytes = 0;
    double memorySampledAt = -1.0;

    void AddFrame(double seconds);
    // Reads the resident memory when the last reading is older than kMemorySeconds.
    void SampleMemory(double now);
    // Per frame: the line along the bottom of the main window, of the focused scene's terrain.
    void Draw(const Editor& editor);
};

// The hint the empty window shows (how to begin, and the recent projects), while there is no terrain.
void DrawStartHint(Editor& editor);

// The keyboard shortcuts of the menus, decided from one key press.
enum class Shortcut
{
    None,
    NewTerrain,  // Ctrl+N
    OpenProject, // Ctrl+O
    SaveProject, // Ctrl+S
    Undo,        // Ctrl+Z: the session's last step (Edit > Undo)
    Redo,        // Ctrl+Y or Ctrl+Shift+Z
    Quit,        // Ctrl+Q: through the unsaved-changes question, as File > Quit
};
// glfwKey pressed with the modifier keys mods (GLFW_MOD_*). Nothing while a modal dialog is open; undo
// and redo not while a text field has the keyboard, where they undo and redo the typing.
Shortcut ShortcutFor(int glfwKey, int mods, bool textFieldActive, bool modalOpen);
// Per frame: the shortcuts pressed since the last frame, each acting as its menu item does.
void HandleShortcuts(Editor& editor);
// Whether a dialog is open or opening, which no shortcut may act behind.
bool DialogOpen(const Editor& editor);
