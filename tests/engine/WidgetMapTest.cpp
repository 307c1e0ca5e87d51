// The widget map as a program driving the GUI from outside reads it: a press at the centre of a
// published rectangle reaches that widget, and nothing is published unless asked for. Menus, combos,
// tabs, check boxes and text fields are pressed through the map by the editor's GL tests and the user
// journey, which also reads its texts, pictures and windows.
#include "engine/WidgetMap.h"
#include "tests/support/TestCommon.h"
#include "tests/support/WidgetMapFile.h"

#include <imgui.h>

namespace
{
using testsupport::MapEntry;
using testsupport::WidgetMapFile;

class WidgetMapTest : public ::testing::Test
{
  protected:
    testsupport::TempDir folder;
    std::string path = folder / "widgets.txt";
    int pressed = 0; // what the widgets reported, across frames
    float amount = 0.0f;

    void SetUp() override
    {
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(800.0f, 600.0f);
        io.DeltaTime = 1.0f / 60.0f;
        io.Fonts->Build();
    }

    void TearDown() override { ImGui::DestroyContext(); }

    WidgetMapFile Frame(ImVec2 mouse = ImVec2(-1.0f, -1.0f), bool down = false)
    {
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = mouse;
        io.MouseDown[0] = down;
        ImGui::NewFrame();
        ImGui::SetNextWindowPos(ImVec2(50.0f, 50.0f));
        ImGui::SetNextWindowSize(ImVec2(400.0f, 400.0f));
        ImGui::Begin("Tools");
        if (ImGui::Button("Press##b")) ++pressed;
        ImGui::SetNextItemWidth(100.0f);
        ImGui::DragFloat("Amount", &amount);
        ImGui::BeginChild("rows", ImVec2(200.0f, 40.0f));
        for (int i = 0; i < 10; ++i)
            ImGui::Button(("Row " + std::to_string(i)).c_str());
        ImGui::EndChild();
        ImGui::End();
        ImGui::Render();
        return WidgetMapFile::Read(path).value_or(WidgetMapFile{});
    }
};

TEST_F(WidgetMapTest, APressAtTheCentreOfAPublishedWidgetReachesItAndNothingIsWrittenUnlessAskedFor)
{
    Frame();
    EXPECT_FALSE(fs::exists(path));
    WidgetMap::Install(path);
    const int first = Frame().frame;
    const WidgetMapFile map = Frame();
    ASSERT_EQ(map.frame, first + 1)
        << "nothing published: are the link options of velmoran_widget_map in effect?";

    const MapEntry* press = map.Find("item", "Press##b", "Tools");
    ASSERT_NE(press, nullptr);
    for (const bool down : {false, true, false}) // hover, press and release, as the mouse would
        Frame(ImVec2(press->rect.CenterX(), press->rect.CenterY()), down);
    EXPECT_EQ(pressed, 1);

    // A drag's rectangle is its frame, which a press must hit, not its label beside it; rows scrolled
    // out of their child region are not published, and the shown ones belong to the window.
    const MapEntry* drag = map.Find("item", "Amount", "Tools");
    ASSERT_NE(drag, nullptr);
    EXPECT_FLOAT_EQ(drag->rect.Width(), 100.0f);
    EXPECT_NE(map.Find("item", "Row 0", "Tools"), nullptr);
    EXPECT_EQ(map.Find("item", "Row 9"), nullptr);
}
} // namespace
