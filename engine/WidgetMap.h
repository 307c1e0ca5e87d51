#pragma once
// Where the GUI drew its windows, labelled widgets, texts and pictures in the last frame, written
// to a file for programs that drive the editor from outside by real input (the journey test aims
// at the centre of a widget instead of at fixed coordinates). Off unless asked for: the program
// publishes only when the environment variable names a file.
//
// The widgets are seen where the GUI library adds them (ImGui::ItemAdd, with the label the widget
// hashed into its identifier; a menu, menu item or stepped number field hashes an empty label
// inside an ID scope of its label, and is known by that), so every labelled widget is covered
// without a call beside it:
// buttons, check boxes, radio buttons, menus and menu items, combos and their entries, selectables,
// tabs, text and number fields, drags and sliders. Texts are seen where they are rendered, pictures
// where ImGui::Image adds them. The link options that route these calls here are set on
// velmoran_widget_map (CMakeLists.txt), which the editor program and the tests that install the map
// link; they cost one test of a flag per widget while nothing publishes.
//
// The file, rewritten whole after every frame (a reader never sees half of it), one record a line,
// fields separated by tabs, tabs, line breaks and backslashes in names escaped as \t, \n and \\:
//   velmoran widget map
//   frame <the GUI's frame count>
//   display <width> <height>
//   window <name> <x0> <y0> <x1> <y1>    top-level windows shown, back to front
//   focus <window name>                   the focused top-level window, if any
//   modal <window name>                   the top-most open modal, if any
//   item <window> <label> <x0> <y0> <x1> <y1>    a labelled widget (its frame, where it has one)
//   text <window> <text> <x0> <y0> <x1> <y1>     a text as displayed
//   image <window> <n> <x0> <y0> <x1> <y1>       the n-th picture of the window in this frame
//   end
// Window names are those of the top-level window (a child region's items belong to its window);
// rectangles are in the main window's pixels, clipped to what the window shows.
#include <string>

namespace WidgetMap
{
inline constexpr const char* kEnvironmentVariable = "VELMORAN_WIDGET_MAP";

// Publishes for the current GUI context when the environment variable names a file.
void InstallFromEnvironment();
// Publishes for the current GUI context to path after each frame, until the context is destroyed.
void Install(const std::string& path);
} // namespace WidgetMap
