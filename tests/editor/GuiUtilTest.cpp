// Where the tool windows first open: beside the scene window's first place, apart from each other.
#include "editor/GuiUtil.h"

#include <gtest/gtest.h>

#include <array>

namespace
{
struct Rect
{
    float x0, y0, x1, y1;
    bool Overlaps(const Rect& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
};

// The window's rectangle from its place; windows that fit themselves get the size they take with
// the default style (options: three rows; diffuse editor: the gradient bar, the selected gradient's
// region of 100 pixels and four rows, about 480 wide).
Rect RectOf(gui::ToolWindow which, ImVec2 display, float row, float chrome)
{
    const gui::ToolWindowPlace place = gui::ToolWindowLayout(which, display, row, chrome);
    ImVec2 size = place.size;
    if (which == gui::ToolWindow::Options)
        size = ImVec2(340.0f, chrome + 3.0f * row);
    else if (which == gui::ToolWindow::DiffuseEditor)
        size = ImVec2(480.0f, chrome + 4.0f * row + 100.0f);
    const float x = place.pos.x - place.pivot.x * size.x;
    const float y = place.pos.y - place.pivot.y * size.y;
    return {x, y, x + size.x, y + size.y};
}

TEST(GuiUtilTest, ToolWindowsOpenInsideTheWindowWithoutCoveringEachOther)
{
    const float row = 23.0f;    // frame height 19 plus item spacing 4
    const float chrome = 35.0f; // title bar 19 plus padding 2 x 8
    const std::array<gui::ToolWindow, 4> all = {gui::ToolWindow::Camera, gui::ToolWindow::Options,
                                                gui::ToolWindow::DiffuseEditor, gui::ToolWindow::WaterEditor};
    for (const ImVec2 display : {ImVec2(1920.0f, 1080.0f), ImVec2(1280.0f, 720.0f), ImVec2(2560.0f, 1440.0f)})
    {
        SCOPED_TRACE(testing::Message() << display.x << " x " << display.y);
        std::array<Rect, 4> rects{};
        for (size_t i = 0; i < all.size(); ++i)
        {
            rects[i] = RectOf(all[i], display, row, chrome);
            EXPECT_GE(rects[i].x0, 0.0f) << i;
            EXPECT_GE(rects[i].y0, 0.0f) << i;
            EXPECT_LE(rects[i].x1, display.x) << i;
            EXPECT_LE(rects[i].y1, display.y) << i;
            for (size_t j = 0; j < i; ++j)
                EXPECT_FALSE(rects[i].Overlaps(rects[j])) << i << " and " << j;
        }
        // The camera window holds its three rows; the water editor its picture, buttons and line.
        const gui::ToolWindowPlace camera =
            gui::ToolWindowLayout(gui::ToolWindow::Camera, display, row, chrome);
        EXPECT_GE(camera.size.y, chrome + 3.0f * row);
        const gui::ToolWindowPlace water =
            gui::ToolWindowLayout(gui::ToolWindow::WaterEditor, display, row, chrome);
        EXPECT_GE(water.size.y, chrome + (water.size.x - 16.0f) + 3.0f * row);
        // Beside the scene's first place (0.17 to 0.83 of the width): right of its middle, or left.
        EXPECT_GT(rects[0].x1, 0.83f * display.x);
        EXPECT_LT(rects[3].x0, 0.17f * display.x);
    }
}
} // namespace
