// The "Terrain" tab of the terrain generator: the heightmap layer list (noise and image layers and
// erosion entries), a layer's preview and settings, undo and redo, and the regeneration rules.
#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "render/Texture.h"
#include "terrain/Erosion.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"

#include <GLFW/glfw3.h>
#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cstring>

namespace
{
// A settings widget finished changing: the layer's history gets a copy of its settings.
void RecordWhenReleased(Terrain::Heightmap& layer)
{
    if (ImGui::IsItemDeactivatedAfterEdit()) layer.AppendState(layer.settings);
}

// An erosion entry's method and that method's settings. A run takes up to a second, so a change counts
// (history, and in realtime the new heights) when its widget is released, not in every frame of a drag.
bool ErosionSettingsWidgets(Terrain::Heightmap& entry)
{
    Erosion::Settings& e = entry.settings.erosion;
    bool released = false;
    const auto release = [&]
    {
        if (ImGui::IsItemDeactivatedAfterEdit()) released = true;
    };
    const ImGuiSliderFlags clamp = ImGuiSliderFlags_AlwaysClamp;
    const int method = e.method == Erosion::Method::Thermal ? 1 : 0;
    if (ImGui::BeginCombo("Method", LayerPanelState::kErosionMethods[method]))
    {
        for (int i = 0; i < 2; ++i)
        {
            if (ImGui::Selectable(LayerPanelState::kErosionMethods[i], i == method) && i != method)
            {
                e.method = i == 1 ? Erosion::Method::Thermal : Erosion::Method::Hydraulic;
                released = true;
            }
            if (i == method) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    if (e.method == Erosion::Method::Hydraulic)
    {
        Erosion::HydraulicSettings& h = e.hydraulic;
        ImGui::InputInt("Droplets", &h.droplets, 1000, 50000);
        release();
        ImGui::InputInt("Seed", &h.seed, 1, 100);
        release();
        ImGui::DragFloat("Inertia", &h.inertia, 0.005f, 0.0f, 0.99f, "%.3f", clamp);
        release();
        ImGui::DragFloat("Capacity", &h.capacity, 0.05f, 0.0f, 1000.0f, "%.2f", clamp);
        release();
        ImGui::DragFloat("Deposition", &h.deposition, 0.005f, 0.0f, 1.0f, "%.3f", clamp);
        release();
        ImGui::DragFloat("Erosion rate", &h.erosion, 0.005f, 0.0f, 1.0f, "%.3f", clamp);
        release();
        ImGui::DragFloat("Evaporation", &h.evaporation, 0.001f, 0.0f, 1.0f, "%.3f", clamp);
        release();
        ImGui::DragInt("Radius", &h.radius, 0.1f, 1, 8, "%d", clamp);
        release();
        ImGui::DragInt("Maximum steps", &h.maxSteps, 0.5f, 1, 1024, "%d", clamp);
        release();
        ImGui::DragFloat("Gravity", &h.gravity, 0.05f, 0.0f, 1000.0f, "%.2f", clamp);
        release();
        ImGui::DragFloat("Minimum slope", &h.minSlope, 0.001f, 0.0f, 10.0f, "%.3f", clamp);
        release();
    }
    else
    {
        Erosion::ThermalSettings& t = e.thermal;
        ImGui::DragFloat("Talus angle", &t.talusAngle, 0.1f, 0.0f, 89.0f, "%.1f degrees", clamp);
        release();
        ImGui::DragInt("Iterations", &t.iterations, 0.5f, 0, 10000, "%d", clamp);
        release();
        ImGui::DragFloat("Strength", &t.strength, 0.005f, 0.0f, 1.0f, "%.3f", clamp);
        release();
    }
    // Typed counts are not bounded by their fields.
    Erosion::Clamp(e);
    if (released) entry.AppendState(entry.settings);
    return released;
}
} // namespace

void Editor::ShowLayerPanel(const std::shared_ptr<Terrain>& terrainPtr)
{
    Terrain& terrain = *terrainPtr;
    LayerPanelState& panel = layerPanel;
    LayerPanelState::Changes changes;

    ImGui::BeginChild("Terrain##ChildWindow", ImVec2(0.0f, 0.0f), false);

    if (ImGui::Checkbox("Realtime update", &panel.realtimeUpdate) && panel.realtimeUpdate)
        changes.realtimeSwitchedOn = true;
    if (!panel.realtimeUpdate && ImGui::Button("Update mesh")) ApplyLayers(terrain);

    if (ImGui::Button("Add a heightmap", ImVec2(ImGui::GetContentRegionAvail().x, 20.0f)))
    {
        panel.AddLayer(terrain);
        ImGui::OpenPopup("New heightmap name");
    }
    if (ImGui::Button("Add erosion", ImVec2(ImGui::GetContentRegionAvail().x, 20.0f)))
    {
        panel.AddErosion(terrain);
        ImGui::OpenPopup("New heightmap name");
    }
    if (ImGui::BeginPopupModal("New heightmap name", nullptr,
                               ImGuiWindowFlags_AlwaysAutoResize | kNoDockingFlag))
    {
        if (!terrain.heightmaps.empty()) ImGui::InputText("Heightmap name", &terrain.heightmaps.back()->name);
        if (ImGui::Button("Set##nhmp", ImVec2(50.0f, 20.0f)) || gui::KeyDown(GLFW_KEY_ENTER))
            ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
    }

    if (!terrain.heightmaps.empty())
    {
        if (!panel.selectedLayer) panel.selectedLayer = terrain.heightmaps.front();
        const ImGuiStyle& style = ImGui::GetStyle();
        const float listHeight = 5.0f * (ImGui::GetFontSize() + style.ItemSpacing.y) + 3.0f;
        bool listRightClicked = false;
        if (ImGui::BeginListBox("Heightmap list", ImVec2(-FLT_MIN, listHeight)))
        {
            // Anywhere in the box, entries and the empty rows below them alike.
            listRightClicked = ImGui::IsWindowHovered() && ImGui::IsMouseClicked(ImGuiMouseButton_Right);
            for (const auto& layer : terrain.heightmaps)
            {
                const bool selected = layer == panel.selectedLayer;
                ImGui::PushID(layer.get());
                if (ImGui::Selectable(layer->name.c_str(), selected)) panel.selectedLayer = layer;
                if (selected) ImGui::SetItemDefaultFocus();
                ImGui::PopID();
            }
            ImGui::EndListBox();
        }
        if (listRightClicked) ImGui::OpenPopup("##Listboxedit");
        if (ImGui::BeginPopup("##Listboxedit"))
        {
            if (panel.CanMoveUp(terrain) && ImGui::Selectable("Move up"))
            {
                panel.MoveUp(terrain);
                ImGui::CloseCurrentPopup();
            }
            if (panel.CanMoveDown(terrain) && ImGui::Selectable("Move down"))
            {
                panel.MoveDown(terrain);
                ImGui::CloseCurrentPopup();
            }
            if (ImGui::Selectable("Delete current"))
            {
                const std::shared_ptr<Terrain::Heightmap> deleted = panel.selectedLayer;
                panel.DeleteSelected(terrain);
                if (deleted) texturePanel.Forget(*deleted); // a mask the texture panel was saving or editing
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
        }
    }

    // The selection is held here for the rest of the frame, so a deletion cannot free it mid-way.
    const std::shared_ptr<Terrain::Heightmap> layerPtr = panel.selectedLayer;
    if (layerPtr)
    {
        Terrain::Heightmap& layer = *layerPtr;
        Terrain::Heightmap::Settings& settings = layer.settings;

        const float largest = static_cast<float>(std::max(terrain.width, terrain.height));
        const ImVec2 preview(static_cast<float>(terrain.ImageWidth()) * 200.0f / largest,
                             static_cast<float>(terrain.ImageHeight()) * 200.0f / largest);
        gui::Image(layer.id, preview);
        if (layer.isErosion)
        {
            // Its image is its mask: nothing to load or paint.
            if (ImGui::IsItemHovered())
                ImGui::SetTooltip(
                    "Erosion mask of the last mesh update.\nRed: removed, green: deposited, blue: "
                    "water flow.");
            panel.layerEditorOpen = false;
        }
        else
        {
            if (ImGui::IsItemHovered())
                ImGui::SetTooltip("Mesh preview in a heightmap.\nRight click to open pop up.");
            if (ImGui::IsItemClicked(ImGuiMouseButton_Right)) ImGui::OpenPopup("##heightmapmenu");
        }
        if (ImGui::BeginPopup("##heightmapmenu"))
        {
            if (ImGui::Button("Load texture##heightmapmenu"))
            {
                panel.loadDialogOpen = true;
                ImGui::CloseCurrentPopup();
            }
            if (ImGui::Button("Edit texture##heightmapmenu"))
            {
                panel.layerEditorOpen = true;
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
        }

        if (panel.loadDialogOpen && !SessionQuestionShowing())
        {
            ImGui::OpenPopup("Load texture##heightmap");
            if (ImGui::BeginPopupModal("Load texture##heightmap", nullptr,
                                       ImGuiWindowFlags_AlwaysAutoResize | kNoDockingFlag))
            {
                gui::TextColored(
                    kRed, "Texture should have only one channel and it should be in the same format as "
                          "terrain!");
                ImGui::SetNextItemWidth(240.0f);
                ImGui::InputTextWithHint("##textureloadfile", "Enter file name without extension.",
                                         &panel.loadFileName);
                ImGui::SameLine();
                ImGui::SetNextItemWidth(80.0f);
                if (ImGui::BeginCombo("##texloadextensioncombo", panel.loadExtension))
                {
                    for (const char* extension : LayerPanelState::kImageExtensions)
                        if (ImGui::Selectable(extension, std::strcmp(extension, panel.loadExtension) == 0))
                            panel.loadExtension = extension;
                    ImGui::EndCombo();
                }
                if (ImGui::Button("Load"))
                {
                    std::string error;
                    if (!panel.ReplaceSelectedWithImage(terrain, panel.loadFileName + panel.loadExtension,
                                                        error) &&
                        !error.empty())
                        SetError(error);
                    panel.loadDialogOpen = false;
                    ImGui::CloseCurrentPopup();
                }
                ImGui::SameLine();
                if (ImGui::Button("Cancel##heightmapload"))
                {
                    panel.loadDialogOpen = false;
                    ImGui::CloseCurrentPopup();
                }
                ImGui::EndPopup();
            }
        }

        if (panel.layerEditorOpen && panel.selectedLayer)
        {
            Texture* image = panel.selectedLayer.get();
            ShowTextureEditor(image, panel.layerEditorOpen);
        }

        // The load dialog may have replaced the layer: the widgets below edit the layer drawn above.
        if (!layer.isTexture && !layer.isErosion)
        {
            if (ImGui::BeginCombo("Noise type", settings.noiseTypeName.c_str()))
            {
                for (int i = 0; i < 5; ++i)
                {
                    const bool selected = settings.noiseTypeName == LayerPanelState::kNoiseTypes[i];
                    if (ImGui::Selectable(LayerPanelState::kNoiseTypes[i], selected) && !selected)
                    {
                        LayerPanelState::SetNoiseType(settings, i);
                        changes.noiseSettingChanged = true;
                        layer.AppendState(settings);
                    }
                    if (selected) ImGui::SetItemDefaultFocus();
                }
                ImGui::EndCombo();
            }
            if (ImGui::InputInt("Seed", &settings.seed, 1, 100)) changes.noiseSettingChanged = true;
            RecordWhenReleased(layer);
            if (ImGui::DragFloat("Frequency", &settings.frequency, 0.001f, 0.0f, 1.0f, "%.3f"))
                changes.noiseSettingChanged = true;
            RecordWhenReleased(layer);
            if (ImGui::BeginCombo("Fractal type", settings.fractalTypeName.c_str()))
            {
                for (int i = 0; i < 3; ++i)
                {
                    const bool selected = settings.fractalTypeName == LayerPanelState::kFractalTypes[i];
                    if (ImGui::Selectable(LayerPanelState::kFractalTypes[i], selected) && !selected)
                    {
                        LayerPanelState::SetFractalType(settings, i);
                        changes.noiseSettingChanged = true;
                        layer.AppendState(settings);
                    }
                    if (selected) ImGui::SetItemDefaultFocus();
                }
                ImGui::EndCombo();
            }
            if (settings.fractalType != 0)
            {
                if (ImGui::InputInt("Number of octaves", &settings.octaves, 1, 100))
                    changes.noiseSettingChanged = true;
                RecordWhenReleased(layer);
                if (ImGui::DragFloat("Gain", &settings.gain, 0.01f, 0.0f, 0.0f, "%.3f"))
                    changes.noiseSettingChanged = true;
                RecordWhenReleased(layer);
                if (ImGui::DragFloat("Lacunarity", &settings.lacunarity, 0.01f, 0.0f, 0.0f, "%.3f"))
                    changes.noiseSettingChanged = true;
                RecordWhenReleased(layer);
            }
            if (ImGui::DragFloat("X Offset", &settings.offsetX, 0.01f, 0.0f, 0.0f, "%.3f"))
                changes.noiseSettingChanged = true;
            RecordWhenReleased(layer);
            if (ImGui::DragFloat("Y Offset", &settings.offsetY, 0.01f, 0.0f, 0.0f, "%.3f"))
                changes.noiseSettingChanged = true;
            RecordWhenReleased(layer);
        }

        if (layer.isErosion)
        {
            if (ErosionSettingsWidgets(layer)) changes.erosionChanged = true;
        }
        else
        {
            if (ImGui::DragFloat("Application power", &settings.power, 0.001f, 0.0f, 0.0f, "%.3f"))
                changes.powerChanged = true;
            if (ImGui::IsItemHovered())
                ImGui::SetTooltip("Adds up to %.3f height", static_cast<double>(settings.power));
            RecordWhenReleased(layer);
            if (!layer.isTexture)
            {
                // The image keeps its 256 grey levels; the heights come from the noise before rounding.
                if (ImGui::Checkbox("Smooth heights", &settings.smoothHeights))
                {
                    changes.noiseSettingChanged = true; // the levels are made with the image
                    layer.AppendState(settings);
                }
                if (ImGui::IsItemHovered())
                    ImGui::SetTooltip("Heights from the noise itself, not from the image's 256 grey levels:\n"
                                      "no terraces under a large power.");
            }
        }

        if (!layer.isTexture)
        {
            if (ImGui::Button("Undo"))
            {
                layer.Undo();
                changes.undoOrRedo = true;
            }
            if (ImGui::Button("Redo"))
            {
                layer.Redo();
                changes.undoOrRedo = true;
            }
        }

        if (panel.NeedsRegeneration(changes)) panel.Regenerate(terrain, layer);
    }
    ImGui::EndChild();
}
