// The status line's text and the menus' keyboard shortcuts, decided without a window.
#include "editor/StatusLine.h"

#include <GLFW/glfw3.h>
#include "tests/support/TestCommon.h"

namespace
{
TEST(StatusLineTest, ReadsItsFactsWithThousandsGroupedByThree)
{
    const std::pair<StatusLineFacts, const char*> cases[] = {
        {{false, "", 0, 0, 0.0f, 0.0f, 16.66, 0}, "No terrain | 16.7 ms a frame"},
        {{true, "broken", 0, 0, 0.0f, 0.0f, 5.0, 52428800},
         "broken (empty) | 5.0 ms a frame | 50 MB in memory"},
        // Not square: width (x) first; the vertex count is their product.
        {{true, "strip", 513, 9, -2.5f, 41.254f, 33.3, 1288490189},
         "strip 513 x 9 | 4,617 vertices | heights -2.50 to 41.25 | 33.3 ms a frame | 1,229 MB in memory"},
        {{true, "hills", 4097, 4097, 0.0f, 100.0f, 1000.0, uint64_t{3} << 30},
         "hills 4097 x 4097 | 16,785,409 vertices | heights 0.00 to 100.00 | 1000.0 ms a frame | 3,072 MB "
         "in memory"}};
    for (const auto& [facts, text] : cases)
        EXPECT_EQ(StatusLineText(facts), text);
    for (const auto& [n, text] : {std::pair<uint64_t, const char*>{0, "0"},
                                  {999, "999"},
                                  {1000, "1,000"},
                                  {123456789, "123,456,789"}})
        EXPECT_EQ(GroupedThousands(n), text) << n;
}

TEST(StatusLineTest, MemoryIsReadAtMostTwiceASecond)
{
    StatusLine state;
    state.SampleMemory(10.0);
    EXPECT_GT(state.residentBytes, 0u); // this process's, from /proc/self/statm
    state.residentBytes = 1;
    state.SampleMemory(10.4);
    EXPECT_EQ(state.residentBytes, 1u);
    state.SampleMemory(10.5);
    EXPECT_GT(state.residentBytes, 1u);
}

TEST(StatusLineTest, ShortcutsActOnlyOutsideDialogsAndTextFields)
{
    constexpr int kCtrl = GLFW_MOD_CONTROL;
    // The key, its modifiers, whether a text field or a dialog has the input, and the shortcut.
    const std::tuple<int, int, bool, bool, Shortcut> cases[] = {
        {GLFW_KEY_N, kCtrl, false, false, Shortcut::NewTerrain},
        {GLFW_KEY_N, 0, false, false, Shortcut::None},
        {GLFW_KEY_N, kCtrl, false, true, Shortcut::None}, // a dialog is open
        {GLFW_KEY_O, kCtrl, true, false, Shortcut::OpenProject},
        {GLFW_KEY_S, kCtrl, true, false, Shortcut::SaveProject},
        {GLFW_KEY_Q, kCtrl, true, false, Shortcut::Quit},
        {GLFW_KEY_Q, kCtrl, false, true, Shortcut::None},
        {GLFW_KEY_Z, kCtrl, false, false, Shortcut::Undo},
        {GLFW_KEY_Z, kCtrl | GLFW_MOD_SHIFT, false, false, Shortcut::Redo},
        {GLFW_KEY_Z, GLFW_MOD_SHIFT, false, false, Shortcut::None},
        {GLFW_KEY_Z, kCtrl, true, false, Shortcut::None}, // the text field's own undo
        {GLFW_KEY_Y, kCtrl, false, false, Shortcut::Redo},
        {GLFW_KEY_Y, kCtrl, true, false, Shortcut::None},
        {GLFW_KEY_Y, kCtrl, false, true, Shortcut::None},
        {GLFW_KEY_F, kCtrl, false, false, Shortcut::None}};
    for (const auto& [key, mods, textField, modal, expected] : cases)
        EXPECT_EQ(ShortcutFor(key, mods, textField, modal), expected)
            << key << " " << mods << " " << textField << modal;
}
} // namespace
