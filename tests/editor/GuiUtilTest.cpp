// Where the tool windows first open: inside the work area, apart from each other and from the
// terrain generator; and how a window out of reach is brought back.
#include "editor/GuiUtil.h"

#include "tests/support/TestCommon.h"

namespace
{
struct Rect
{
    float x0, y0, x1, y1;
    bool Overlaps(const Rect& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
};

// The window's rectangle from its place; windows that fit themselves get the size they take with
// the default style (options: three rows; diffuse editor: the gradient bar, the selected gradient's
// region of 100 pixels and four rows, about 480 wide; help: six lines of text, about 730 wide).
Rect RectOf(gui::ToolWindow which, const gui::ToolWindowArea& area)
{
    const gui::ToolWindowPlace place = gui::ToolWindowLayout(which, area);
    ImVec2 size = place.size;
    if (which == gui::ToolWindow::Options)
        size = ImVec2(340.0f, area.chrome + 5.0f * area.rowHeight);
    else if (which == gui::ToolWindow::DiffuseEditor)
        size = ImVec2(480.0f, area.chrome + 4.0f * area.rowHeight + 100.0f);
    else if (which == gui::ToolWindow::Help)
        size = ImVec2(730.0f, area.chrome + 6.0f * 17.0f);
    const float x = place.pos.x - place.pivot.x * size.x;
    const float y = place.pos.y - place.pivot.y * size.y;
    return {x, y, x + size.x, y + size.y};
}

TEST(GuiUtilTest, ToolWindowsOpenInsideTheWindowWithoutCoveringEachOther)
{
    using gui::ToolWindow;
    const std::array<ToolWindow, 6> all = {ToolWindow::Camera,        ToolWindow::Options,
                                           ToolWindow::DiffuseEditor, ToolWindow::WaterEditor,
                                           ToolWindow::TextureEditor, ToolWindow::Help};
    for (const ImVec2 display :
         {ImVec2(1920.0f, 1080.0f), ImVec2(1280.0f, 1024.0f), ImVec2(2560.0f, 1440.0f)})
    {
        SCOPED_TRACE(testing::Message() << display.x << " x " << display.y);
        gui::ToolWindowArea area;
        area.display = display;
        area.workTop = 19.0f;                // under the menu bar
        area.workBottom = display.y - 23.0f; // above the status line
        area.rowHeight = 23.0f;              // frame height 19 plus item spacing 4
        area.chrome = 35.0f;                 // title bar 19 plus padding 2 x 8
        area.padding = 8.0f;
        // The terrain generator's first place, as the scene panel gives it.
        const Rect generator{0.17f * display.x, 0.17f * display.y, 0.37f * display.x, 0.5f * display.y};
        std::array<Rect, 6> rects{};
        for (size_t i = 0; i < all.size(); ++i)
        {
            const Rect& r = rects[i] = RectOf(all[i], area);
            EXPECT_TRUE(r.x0 >= 0.0f && r.y0 >= area.workTop && r.x1 <= display.x && r.y1 <= area.workBottom)
                << i;
            EXPECT_FALSE(r.Overlaps(generator)) << i;
            for (size_t j = 0; j < i; ++j) // the texture editor may cover the water editor
            {
                const bool mayCover =
                    all[i] == ToolWindow::TextureEditor && all[j] == ToolWindow::WaterEditor;
                EXPECT_TRUE(mayCover || !rects[i].Overlaps(rects[j])) << i << " and " << j;
            }
        }
        // The camera window at its own size; the water editor holds its picture, buttons and line.
        const gui::ToolWindowPlace camera = gui::ToolWindowLayout(ToolWindow::Camera, area);
        EXPECT_EQ(std::make_pair(camera.size.x, camera.size.y), std::make_pair(400.0f, 100.0f));
        const gui::ToolWindowPlace water = gui::ToolWindowLayout(ToolWindow::WaterEditor, area);
        EXPECT_GE(water.size.y, area.chrome + (water.size.x - 16.0f) + 3.0f * area.rowHeight);
    }
}

// The area runs from (0, 20) to (800, 580).
TEST(GuiUtilTest, PlaceInsideMovesAWindowOnlyAsFarAsNeeded)
{
    // What, the window's place and size, and the place it gets.
    const std::tuple<const char*, ImVec2, ImVec2, ImVec2> cases[] = {
        {"inside", {100, 100}, {200, 100}, {100, 100}},
        {"below the screen", {100, 5000}, {200, 100}, {100, 480}},
        {"past the right edge", {700, 100}, {200, 100}, {600, 100}},
        {"above and left", {-50, 0}, {200, 100}, {0, 20}},
        // Wider than the area: its left edge and title bar stay reachable.
        {"too large", {300, 300}, {1000, 700}, {0, 20}}};
    for (const auto& [what, pos, size, expected] : cases)
    {
        const ImVec2 got = gui::PlaceInside(pos, size, ImVec2(0.0f, 20.0f), ImVec2(800.0f, 580.0f));
        EXPECT_EQ(std::make_pair(got.x, got.y), std::make_pair(expected.x, expected.y)) << what;
    }
}
} // namespace
