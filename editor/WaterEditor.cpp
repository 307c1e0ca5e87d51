// The water editor: the heightmap with the water map over it; click or drag pours water, the
// release adds the fringe, "Recalculate" builds the water plane and "Reset" clears everything.
#include "editor/WaterEditor.h"

#include "editor/Editor.h"
#include "editor/GuiUtil.h"
#include "render/Texture.h"
#include "terrain/Terrain.h"

#include <imgui.h>

ImVec2 WaterEditor::TexelAt(ImVec2 mouse, ImVec2 imageTopLeft, float scale, uint32_t rows)
{
    const float bottom = imageTopLeft.y + static_cast<float>(rows) * scale;
    return ImVec2((mouse.x - imageTopLeft.x) / scale, (bottom - mouse.y) / scale);
}

void WaterEditor::PourAt(Editor& editor, Terrain& terrain, ImVec2 texel)
{
    if (terrain.width == 0 || terrain.height == 0 || !terrain.watermapTexture) return;
    // The hover rectangle includes its far edges, where a coordinate reaches the texel count.
    const auto clampTo = [](float value, uint32_t count)
    {
        if (!(value > 0.0f)) return 0u;
        const uint32_t index = static_cast<uint32_t>(value);
        return index >= count ? count - 1 : index;
    };
    // Texel (x, y) of the terrain's images is vertex (i, j) = (y, x).
    const uint32_t x = clampTo(texel.x, terrain.ImageWidth());
    const uint32_t y = clampTo(texel.y, terrain.ImageHeight());
    strokeActive = true;
    editor.commands.PourWater(terrain, y * terrain.ImageWidth() + x);
}

void WaterEditor::EndStrokeIfReleased(Editor& editor, Terrain& terrain, bool buttonDown)
{
    if (strokeActive && !buttonDown)
    {
        editor.commands.OutlineWater(terrain);
        strokeActive = false;
    }
}

void WaterEditor::Show(Editor& editor, const std::shared_ptr<Terrain>& terrainPtr)
{
    Terrain& terrain = *terrainPtr;
    gui::PlaceToolWindow(gui::ToolWindow::WaterEditor);
    if (gui::Begin("Water editor", nullptr, windowFlags) && !terrain.IsEmpty() && terrain.heightmapTexture &&
        terrain.watermapTexture)
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
            windowFlags = ImGuiWindowFlags_NoMove;
            lastImagePosition = TexelAt(ImGui::GetMousePos(), topLeft, scale, terrain.ImageHeight());
            if (ImGui::IsMouseClicked(ImGuiMouseButton_Left) || ImGui::IsMouseDragging(ImGuiMouseButton_Left))
                PourAt(editor, terrain, lastImagePosition);
        }
        else
        {
            windowFlags = ImGuiWindowFlags_NoCollapse | kNoDockingFlag;
        }
        EndStrokeIfReleased(editor, terrain, ImGui::IsMouseDown(ImGuiMouseButton_Left));

        if (ImGui::Button("Recalculate##watermap")) editor.commands.RecalculateWater(terrain);
        if (ImGui::Button("Reset##watermap")) editor.commands.ResetWater(terrain);
        ImGui::Text("Last image position %.f %.f", static_cast<double>(lastImagePosition.x),
                    static_cast<double>(lastImagePosition.y));
    }
    ImGui::End();
}
