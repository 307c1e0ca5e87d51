// The status line's text and the menus' keyboard shortcuts, decided without a window.
#include "editor/StatusLine.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

namespace
{
struct LineCase
{
    const char* name;
    StatusLineFacts facts;
    const char* text;
};

class StatusLineTextTest : public ::testing::TestWithParam<LineCase>
{
};

TEST_P(StatusLineTextTest, ReadsAsExpected)
{
    EXPECT_EQ(StatusLineText(GetParam().facts), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Facts, StatusLineTextTest,
    ::testing::Values(
        LineCase{"NoTerrain", {false, "", 0, 0, 0.0f, 0.0f, 16.66, 0}, "No terrain | 16.7 ms a frame"},
        LineCase{"EmptyTerrain",
                 {true, "broken", 0, 0, 0.0f, 0.0f, 5.0, 52428800},
                 "broken (empty) | 5.0 ms a frame | 50 MB in memory"},
        // Not square: width (x) first; the vertex count is their product.
        LineCase{
            "LongTerrain",
            {true, "strip", 513, 9, -2.5f, 41.254f, 33.3, 1288490189},
            "strip 513 x 9 | 4,617 vertices | heights -2.50 to 41.25 | 33.3 ms a frame | 1,229 MB in memory"},
        LineCase{
            "Largest",
            {true, "hills", 4097, 4097, 0.0f, 100.0f, 1000.0, uint64_t{3} << 30},
            "hills 4097 x 4097 | 16,785,409 vertices | heights 0.00 to 100.00 | 1000.0 ms a frame | 3,072 MB "
            "in memory"}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(StatusLineTest, ThousandsAreGroupedByThree)
{
    EXPECT_EQ(GroupedThousands(0), "0");
    EXPECT_EQ(GroupedThousands(999), "999");
    EXPECT_EQ(GroupedThousands(1000), "1,000");
    EXPECT_EQ(GroupedThousands(123456789), "123,456,789");
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

struct KeyCase
{
    int key;
    int mods;
    bool textField;
    bool modal;
    Shortcut expected;
};

constexpr int kCtrl = GLFW_MOD_CONTROL;

class ShortcutTest : public ::testing::TestWithParam<KeyCase>
{
};

TEST_P(ShortcutTest, KeyGivesItsCommandOnlyWhereItMeansNothingElse)
{
    const KeyCase& c = GetParam();
    EXPECT_EQ(ShortcutFor(c.key, c.mods, c.textField, c.modal), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ShortcutTest,
    ::testing::Values(KeyCase{GLFW_KEY_N, kCtrl, false, false, Shortcut::NewTerrain},
                      KeyCase{GLFW_KEY_N, 0, false, false, Shortcut::None},
                      KeyCase{GLFW_KEY_N, kCtrl, false, true, Shortcut::None}, // a dialog is open
                      KeyCase{GLFW_KEY_O, kCtrl, true, false, Shortcut::OpenProject},
                      KeyCase{GLFW_KEY_S, kCtrl, true, false, Shortcut::SaveProject},
                      KeyCase{GLFW_KEY_Q, kCtrl, true, false, Shortcut::Quit},
                      KeyCase{GLFW_KEY_Q, kCtrl, false, true, Shortcut::None},
                      KeyCase{GLFW_KEY_Z, kCtrl, false, false, Shortcut::Undo},
                      KeyCase{GLFW_KEY_Z, kCtrl | GLFW_MOD_SHIFT, false, false, Shortcut::Redo},
                      KeyCase{GLFW_KEY_Z, GLFW_MOD_SHIFT, false, false, Shortcut::None},
                      KeyCase{GLFW_KEY_Z, kCtrl, true, false, Shortcut::None}, // the text field's own undo
                      KeyCase{GLFW_KEY_Y, kCtrl, false, false, Shortcut::Redo},
                      KeyCase{GLFW_KEY_Y, kCtrl, true, false, Shortcut::None},
                      KeyCase{GLFW_KEY_Y, kCtrl, false, true, Shortcut::None},
                      KeyCase{GLFW_KEY_F, kCtrl, false, false, Shortcut::None}));
} // namespace
