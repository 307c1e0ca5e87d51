// The water editor: the heightmap with the water map over it; click or drag pours water, the
// release adds the fringe, "Recalculate" builds the water plane and "Reset" clears everything.
#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "render/Texture.h"
#include "terrain/Terrain.h"

#include <imgui.h>

void Editor::ShowWaterEditor(const std::shared_ptr<Terrain>& terrainPtr)
{
    Terrain& terrain = *terrainPtr;
    WaterEditorState& state = waterEditor;
    gui::PlaceToolWindow(gui::ToolWindow::WaterEditor);
    if (gui::Begin("Water editor", nullptr, state.windowFlags) && !terrain.IsEmpty() &&
        terrain.heightmapTexture && terrain.watermapTexture)
    {
        const float width = ImGui::GetContentRegionAvail().x;
        const float scale = width / static_cast<float>(terrain.ImageWidth());
        const ImVec2 size(width, width * static_cast<float>(terrain.ImageHeight()) /
                                     static_cast<float>(terrain.ImageWidth()));

        const ImVec2 topLeft = ImGui::GetCursorScreenPos();
        const ImVec2 cursor = ImGui::GetCursorPos();
        gui::Image(terrain.heightmapTexture->id, size);
        ImGui::SetItemAllowOverlap();
        ImGui::SetCursorPos(cursor);
        gui::Image(terrain.watermapTexture->id, size);

        if (ImGui::IsItemHovered())
        {
            state.windowFlags = ImGuiWindowFlags_NoMove;
            state.lastImagePosition =
                WaterEditorState::TexelAt(ImGui::GetMousePos(), topLeft, scale, terrain.ImageHeight());
            if (ImGui::IsMouseClicked(ImGuiMouseButton_Left) || ImGui::IsMouseDragging(ImGuiMouseButton_Left))
                state.PourAt(terrain, state.lastImagePosition);
        }
        else
        {
            state.windowFlags = ImGuiWindowFlags_NoCollapse | kNoDockingFlag;
        }
        state.EndStrokeIfReleased(terrain, ImGui::IsMouseDown(ImGuiMouseButton_Left));

        if (ImGui::Button("Recalculate##watermap")) WaterEditorState::Recalculate(terrain, defaultShader);
        if (ImGui::Button("Reset##watermap")) terrain.ClearWater();
        ImGui::Text("Last image position %.f %.f", static_cast<double>(state.lastImagePosition.x),
                    static_cast<double>(state.lastImagePosition.y));
    }
    ImGui::End();
}
