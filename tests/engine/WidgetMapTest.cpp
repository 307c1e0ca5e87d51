// The widget map as a program driving the GUI from outside reads it: a press at the centre of each
// published rectangle reaches that widget, and nothing is published unless asked for (the user journey
// reads its texts, pictures and windows).
#include "engine/WidgetMap.h"
#include "tests/support/TestPaths.h"
#include "tests/support/WidgetMapFile.h"

#include <gtest/gtest.h>
#include <imgui.h>

#include <filesystem>
#include <string>
#include <tuple>

namespace
{
using testsupport::MapEntry;
using testsupport::WidgetMapFile;

constexpr const char* kChoices[3] = {"First", "Second", "Third"};

// What the widgets reported, across frames.
struct Seen
{
    int pressed = 0;
    bool ticked = false;
    int menuEntry = 0;
    int choice = 0;
    bool secondTab = false;
    bool fieldActive = false;
    char field[32] = "";
    float amount = 0.0f;
};

void DrawWidgets(Seen& seen)
{
    if (ImGui::BeginMainMenuBar())
    {
        if (ImGui::BeginMenu("Menu"))
        {
            if (ImGui::MenuItem("Entry##m")) ++seen.menuEntry;
            ImGui::EndMenu();
        }
        ImGui::EndMainMenuBar();
    }
    ImGui::SetNextWindowPos(ImVec2(50.0f, 50.0f));
    ImGui::SetNextWindowSize(ImVec2(400.0f, 400.0f));
    ImGui::Begin("Tools");
    if (ImGui::Button("Press##b")) ++seen.pressed;
    ImGui::Checkbox("Tick", &seen.ticked);
    ImGui::SetNextItemWidth(120.0f);
    if (ImGui::BeginCombo("Pick", kChoices[seen.choice]))
    {
        for (int i = 0; i < 3; ++i)
            if (ImGui::Selectable(kChoices[i], i == seen.choice)) seen.choice = i;
        ImGui::EndCombo();
    }
    if (ImGui::BeginTabBar("tabs"))
    {
        if (ImGui::BeginTabItem("One##t")) ImGui::EndTabItem();
        seen.secondTab = ImGui::BeginTabItem("Two##t");
        if (seen.secondTab) ImGui::EndTabItem();
        ImGui::EndTabBar();
    }
    ImGui::SetNextItemWidth(150.0f);
    ImGui::InputText("##field", seen.field, sizeof seen.field);
    seen.fieldActive = ImGui::IsItemActive();
    ImGui::SetNextItemWidth(100.0f);
    ImGui::DragFloat("Amount", &seen.amount);
    ImGui::BeginChild("rows", ImVec2(200.0f, 40.0f));
    for (int i = 0; i < 10; ++i)
        ImGui::Button(("Row " + std::to_string(i)).c_str());
    ImGui::EndChild();
    ImGui::End();
}

class WidgetMapTest : public ::testing::Test
{
  protected:
    testsupport::TempDir folder;
    std::string path = folder / "widgets.txt";
    Seen seen;

    void SetUp() override
    {
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(800.0f, 600.0f);
        io.DeltaTime = 1.0f / 60.0f;
        unsigned char* pixels = nullptr;
        int width = 0, height = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    }

    void TearDown() override { ImGui::DestroyContext(); }

    WidgetMapFile Frame(ImVec2 mouse = ImVec2(-1.0f, -1.0f), bool down = false)
    {
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = mouse;
        io.MouseDown[0] = down;
        ImGui::NewFrame();
        DrawWidgets(seen);
        ImGui::Render();
        std::optional<WidgetMapFile> map = WidgetMapFile::Read(path);
        return map ? *map : WidgetMapFile{};
    }

    // Hover, press and release at the centre of the entry, as the mouse would.
    void Click(const MapEntry* entry)
    {
        ASSERT_NE(entry, nullptr);
        const ImVec2 at(entry->rect.CenterX(), entry->rect.CenterY());
        Frame(at, false);
        Frame(at, true);
        Frame(at, false);
    }
};

TEST_F(WidgetMapTest, APressAtTheCentreOfEachPublishedWidgetReachesIt)
{
    WidgetMap::Install(path);
    Frame();
    WidgetMapFile map = Frame();
    ASSERT_GE(map.frame, 2) << "nothing published: are the link options of velmoran_widget_map in effect?";

    for (const char* label : {"Press##b", "Tick", "Two##t", "##field"}) // the field last: it keeps the focus
        Click(map.Find("item", label, "Tools"));
    EXPECT_EQ(std::make_tuple(seen.pressed, seen.ticked, seen.secondTab, seen.fieldActive),
              std::make_tuple(1, true, true, true));

    Click(map.Find("item", "Pick", "Tools"));
    map = Frame();
    Click(map.Find("item", "Third", "##Combo_00")); // the open combo is a window of its own
    EXPECT_EQ(seen.choice, 2);

    Click(map.Find("item", "Menu", "##MainMenuBar"));
    map = Frame();
    Click(map.Find("item", "Entry##m", "##Menu_00"));
    EXPECT_EQ(seen.menuEntry, 1);

    // A drag's rectangle is its frame, which a press must hit, not its label beside it; rows scrolled
    // out of their child region are not published, and the shown ones belong to the window.
    map = Frame();
    const MapEntry* amount = map.Find("item", "Amount", "Tools");
    ASSERT_NE(amount, nullptr);
    EXPECT_FLOAT_EQ(amount->rect.Width(), 100.0f);
    EXPECT_NE(map.Find("item", "Row 0", "Tools"), nullptr);
    EXPECT_EQ(map.Find("item", "Row 9"), nullptr);
}

TEST_F(WidgetMapTest, NothingIsWrittenUnlessAskedForAndTheFrameCountAdvances)
{
    Frame();
    EXPECT_FALSE(std::filesystem::exists(path));

    WidgetMap::Install(path);
    const int first = Frame().frame;
    EXPECT_EQ(Frame().frame, first + 1);
}
} // namespace
