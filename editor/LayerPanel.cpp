// The "Terrain" tab of the terrain generator: the heightmap layer list (noise and image layers and
// erosion entries), a layer's preview and settings, undo and redo, and the regeneration rules.
// The widgets edit copies; what changed goes to the document as a command (editor/Commands.h).
#include "editor/LayerPanel.h"

#include "editor/Editor.h"
#include "editor/GuiUtil.h"
#include "render/Texture.h"
#include "terrain/Erosion.h"

#include <GLFW/glfw3.h>
#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cstring>

// -------------------------------------------------------------------------------------------------
// Decisions

void LayerPanel::ApplyInRealtime(Editor& editor, const std::shared_ptr<Terrain>& terrain) const
{
    if (realtimeUpdate) editor.commands.ApplyLayers(terrain);
}

std::shared_ptr<Terrain::Heightmap> LayerPanel::AddLayer(Editor& editor,
                                                         const std::shared_ptr<Terrain>& terrain)
{
    std::shared_ptr<Terrain::Heightmap> layer = editor.commands.AddNoiseLayer(*terrain);
    ApplyInRealtime(editor, terrain);
    return layer;
}

std::shared_ptr<Terrain::Heightmap> LayerPanel::AddErosion(Editor& editor,
                                                           const std::shared_ptr<Terrain>& terrain)
{
    std::shared_ptr<Terrain::Heightmap> entry = editor.commands.AddErosion(*terrain);
    ApplyInRealtime(editor, terrain);
    return entry;
}

bool LayerPanel::CanMove(const Terrain& terrain, int step) const
{
    const std::ptrdiff_t i = terrain.LayerIndex(selectedLayer);
    return i >= 0 && i + step >= 0 && i + step < static_cast<std::ptrdiff_t>(terrain.heightmaps.size());
}

void LayerPanel::Move(Editor& editor, const std::shared_ptr<Terrain>& terrain, int step)
{
    if (!CanMove(*terrain, step)) return;
    editor.commands.MoveLayer(*terrain, selectedLayer, step);
    ApplyInRealtime(editor, terrain);
}

void LayerPanel::DeleteSelected(Editor& editor, const std::shared_ptr<Terrain>& terrain)
{
    const std::shared_ptr<Terrain::Heightmap> deleted = selectedLayer;
    const bool listed = terrain->LayerIndex(deleted) >= 0;
    if (listed) editor.commands.DeleteLayer(*terrain, deleted);
    selectedLayer.reset();
    layerEditorOpen = false; // the editor must not keep painting a layer that is gone
    if (!listed) return;
    editor.texturePanel.Forget(*deleted); // a mask the texture panel was saving or editing
    ApplyInRealtime(editor, terrain);     // or the deleted layer's relief stays on the mesh
}

bool LayerPanel::ReplaceSelectedWithImage(Editor& editor, const std::shared_ptr<Terrain>& terrain,
                                          const std::string& path, std::string& error)
{
    std::shared_ptr<Terrain::Heightmap> layer =
        editor.commands.ReplaceLayerWithImage(*terrain, selectedLayer, path, error);
    if (!layer) return false;
    selectedLayer = layer;
    ApplyInRealtime(editor, terrain);
    return true;
}

bool LayerPanel::NeedsRegeneration(const Changes& changes) const
{
    return changes.realtimeSwitchedOn || changes.noiseSettingChanged ||
           (changes.powerChanged && realtimeUpdate) || changes.undoOrRedo || changes.erosionChanged;
}

void LayerPanel::Regenerate(Editor& editor, const std::shared_ptr<Terrain>& terrain,
                            Terrain::Heightmap& layer) const
{
    if (!layer.isTexture) layer.Update();
    ApplyInRealtime(editor, terrain);
}

void LayerPanel::SetNoiseType(Terrain::Heightmap::Settings& settings, int entry)
{
    if (entry < 0 || entry >= 5) return;
    settings.noiseTypeName = kNoiseTypes[entry];
    settings.noiseType = kNoiseCodes[entry];
}

void LayerPanel::SetFractalType(Terrain::Heightmap::Settings& settings, int entry)
{
    if (entry < 0 || entry >= 3) return;
    settings.fractalTypeName = kFractalTypes[entry];
    settings.fractalType = entry;
}

// -------------------------------------------------------------------------------------------------
// Widgets

namespace
{
// What the settings widgets of one frame did to their copy of the settings.
struct SettingsEdit
{
    bool changed = false;  // the copy differs: it goes to the layer
    bool released = false; // a widget finished changing: the layer's history gets its settings
};

// An erosion entry's method and that method's settings. A run takes up to a second, so a change counts
// for the history and, in realtime, the new heights when its widget is released, not in every frame of
// a drag.
void ErosionSettingsWidgets(Erosion::Settings& e, SettingsEdit& edit)
{
    const auto track = [&](bool changed)
    {
        edit.changed |= changed;
        edit.released |= ImGui::IsItemDeactivatedAfterEdit();
    };
    const ImGuiSliderFlags clamp = ImGuiSliderFlags_AlwaysClamp;
    const int method = e.method == Erosion::Method::Thermal ? 1 : 0;
    if (ImGui::BeginCombo("Method", LayerPanel::kErosionMethods[method]))
    {
        for (int i = 0; i < 2; ++i)
        {
            if (ImGui::Selectable(LayerPanel::kErosionMethods[i], i == method) && i != method)
            {
                e.method = i == 1 ? Erosion::Method::Thermal : Erosion::Method::Hydraulic;
                edit.changed = edit.released = true;
            }
            if (i == method) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    if (e.method == Erosion::Method::Hydraulic)
    {
        Erosion::HydraulicSettings& h = e.hydraulic;
        track(ImGui::InputInt("Droplets", &h.droplets, 1000, 50000));
        track(ImGui::InputInt("Seed", &h.seed, 1, 100));
        track(ImGui::DragFloat("Inertia", &h.inertia, 0.005f, 0.0f, 0.99f, "%.3f", clamp));
        track(ImGui::DragFloat("Capacity", &h.capacity, 0.05f, 0.0f, 1000.0f, "%.2f", clamp));
        track(ImGui::DragFloat("Deposition", &h.deposition, 0.005f, 0.0f, 1.0f, "%.3f", clamp));
        track(ImGui::DragFloat("Erosion rate", &h.erosion, 0.005f, 0.0f, 1.0f, "%.3f", clamp));
        track(ImGui::DragFloat("Evaporation", &h.evaporation, 0.001f, 0.0f, 1.0f, "%.3f", clamp));
        track(ImGui::DragInt("Radius", &h.radius, 0.1f, 1, 8, "%d", clamp));
        track(ImGui::DragInt("Maximum steps", &h.maxSteps, 0.5f, 1, 1024, "%d", clamp));
        track(ImGui::DragFloat("Gravity", &h.gravity, 0.05f, 0.0f, 1000.0f, "%.2f", clamp));
        track(ImGui::DragFloat("Minimum slope", &h.minSlope, 0.001f, 0.0f, 10.0f, "%.3f", clamp));
    }
    else
    {
        Erosion::ThermalSettings& t = e.thermal;
        track(ImGui::DragFloat("Talus angle", &t.talusAngle, 0.1f, 0.0f, 89.0f, "%.1f degrees", clamp));
        track(ImGui::DragInt("Iterations", &t.iterations, 0.5f, 0, 10000, "%d", clamp));
        track(ImGui::DragFloat("Strength", &t.strength, 0.005f, 0.0f, 1.0f, "%.3f", clamp));
    }
    // Typed counts are not bounded by their fields.
    if (edit.changed) Erosion::Clamp(e);
}

// A noise layer's settings; each change regenerates its image.
void NoiseSettingsWidgets(Terrain::Heightmap::Settings& settings, SettingsEdit& edit)
{
    const auto track = [&](bool changed)
    {
        edit.changed |= changed;
        edit.released |= ImGui::IsItemDeactivatedAfterEdit();
    };
    if (ImGui::BeginCombo("Noise type", settings.noiseTypeName.c_str()))
    {
        for (int i = 0; i < 5; ++i)
        {
            const bool selected = settings.noiseTypeName == LayerPanel::kNoiseTypes[i];
            if (ImGui::Selectable(LayerPanel::kNoiseTypes[i], selected) && !selected)
            {
                LayerPanel::SetNoiseType(settings, i);
                edit.changed = edit.released = true;
            }
            if (selected) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    track(ImGui::InputInt("Seed", &settings.seed, 1, 100));
    track(ImGui::DragFloat("Frequency", &settings.frequency, 0.001f, 0.0f, 1.0f, "%.3f"));
    if (ImGui::BeginCombo("Fractal type", settings.fractalTypeName.c_str()))
    {
        for (int i = 0; i < 3; ++i)
        {
            const bool selected = settings.fractalTypeName == LayerPanel::kFractalTypes[i];
            if (ImGui::Selectable(LayerPanel::kFractalTypes[i], selected) && !selected)
            {
                LayerPanel::SetFractalType(settings, i);
                edit.changed = edit.released = true;
            }
            if (selected) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    if (settings.fractalType != 0)
    {
        track(ImGui::InputInt("Number of octaves", &settings.octaves, 1, 100));
        track(ImGui::DragFloat("Gain", &settings.gain, 0.01f, 0.0f, 0.0f, "%.3f"));
        track(ImGui::DragFloat("Lacunarity", &settings.lacunarity, 0.01f, 0.0f, 0.0f, "%.3f"));
    }
    track(ImGui::DragFloat("X Offset", &settings.offsetX, 0.01f, 0.0f, 0.0f, "%.3f"));
    track(ImGui::DragFloat("Y Offset", &settings.offsetY, 0.01f, 0.0f, 0.0f, "%.3f"));
}
} // namespace

void LayerPanel::Show(Editor& editor, const std::shared_ptr<Terrain>& terrainPtr)
{
    Terrain& terrain = *terrainPtr;
    Changes changes;

    ImGui::BeginChild("Terrain##ChildWindow", ImVec2(0.0f, 0.0f), false);

    if (ImGui::Checkbox("Realtime update", &realtimeUpdate) && realtimeUpdate)
        changes.realtimeSwitchedOn = true;
    if (!realtimeUpdate && ImGui::Button("Update mesh")) editor.commands.ApplyLayers(terrainPtr);

    if (ImGui::Button("Add a heightmap", ImVec2(ImGui::GetContentRegionAvail().x, 20.0f)))
    {
        AddLayer(editor, terrainPtr);
        ImGui::OpenPopup("New heightmap name");
    }
    if (ImGui::Button("Add erosion", ImVec2(ImGui::GetContentRegionAvail().x, 20.0f)))
    {
        AddErosion(editor, terrainPtr);
        ImGui::OpenPopup("New heightmap name");
    }
    if (ImGui::BeginPopupModal("New heightmap name", nullptr,
                               ImGuiWindowFlags_AlwaysAutoResize | kNoDockingFlag))
    {
        if (!terrain.heightmaps.empty())
        {
            Terrain::Heightmap& last = *terrain.heightmaps.back();
            std::string name = last.name;
            if (ImGui::InputText("Heightmap name", &name)) editor.commands.RenameLayer(last, name);
        }
        if (ImGui::Button("Set##nhmp", ImVec2(50.0f, 20.0f)) || gui::KeyDown(GLFW_KEY_ENTER))
            ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
    }

    if (!terrain.heightmaps.empty())
    {
        if (!selectedLayer) selectedLayer = terrain.heightmaps.front();
        const ImGuiStyle& style = ImGui::GetStyle();
        const float listHeight = 5.0f * (ImGui::GetFontSize() + style.ItemSpacing.y) + 3.0f;
        bool listRightClicked = false;
        if (ImGui::BeginListBox("Heightmap list", ImVec2(-FLT_MIN, listHeight)))
        {
            // Anywhere in the box, entries and the empty rows below them alike.
            listRightClicked = ImGui::IsWindowHovered() && ImGui::IsMouseClicked(ImGuiMouseButton_Right);
            for (const auto& layer : terrain.heightmaps)
            {
                const bool selected = layer == selectedLayer;
                ImGui::PushID(layer.get());
                if (ImGui::Selectable(layer->name.c_str(), selected)) selectedLayer = layer;
                if (selected) ImGui::SetItemDefaultFocus();
                ImGui::PopID();
            }
            ImGui::EndListBox();
        }
        if (listRightClicked) ImGui::OpenPopup("##Listboxedit");
        if (ImGui::BeginPopup("##Listboxedit"))
        {
            if (CanMove(terrain, -1) && ImGui::Selectable("Move up"))
            {
                Move(editor, terrainPtr, -1);
                ImGui::CloseCurrentPopup();
            }
            if (CanMove(terrain, 1) && ImGui::Selectable("Move down"))
            {
                Move(editor, terrainPtr, 1);
                ImGui::CloseCurrentPopup();
            }
            if (ImGui::Selectable("Delete current"))
            {
                DeleteSelected(editor, terrainPtr);
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
        }
    }

    // The selection is held here for the rest of the frame, so a deletion cannot free it mid-way.
    const std::shared_ptr<Terrain::Heightmap> layerPtr = selectedLayer;
    if (layerPtr)
    {
        Terrain::Heightmap& layer = *layerPtr;

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
            layerEditorOpen = false;
        }
        else if (layer.isSculpt)
        {
            // Its image shows its heights; they are shaped in the scene, not painted.
            if (ImGui::IsItemHovered())
                ImGui::SetTooltip("Heights sculpted in the scene window.\nLighter: raised, darker: lowered.");
            layerEditorOpen = false;
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
                loadDialogOpen = true;
                ImGui::CloseCurrentPopup();
            }
            if (ImGui::Button("Edit texture##heightmapmenu"))
            {
                layerEditorOpen = true;
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
        }

        if (loadDialogOpen && !editor.project.QuestionShowing())
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
                                         &loadFileName);
                ImGui::SameLine();
                ImGui::SetNextItemWidth(80.0f);
                if (ImGui::BeginCombo("##texloadextensioncombo", loadExtension))
                {
                    for (const char* extension : kImageExtensions)
                        if (ImGui::Selectable(extension, std::strcmp(extension, loadExtension) == 0))
                            loadExtension = extension;
                    ImGui::EndCombo();
                }
                if (ImGui::Button("Load"))
                {
                    std::string error;
                    if (!ReplaceSelectedWithImage(editor, terrainPtr, loadFileName + loadExtension, error) &&
                        !error.empty())
                        editor.SetError(error);
                    loadDialogOpen = false;
                    ImGui::CloseCurrentPopup();
                }
                ImGui::SameLine();
                if (ImGui::Button("Cancel##heightmapload"))
                {
                    loadDialogOpen = false;
                    ImGui::CloseCurrentPopup();
                }
                ImGui::EndPopup();
            }
        }

        if (layerEditorOpen && selectedLayer)
        {
            Texture* image = selectedLayer.get();
            editor.ShowTextureEditor(image, layerEditorOpen);
        }

        // The load dialog may have replaced the layer: the widgets below edit the layer drawn above.
        Terrain::Heightmap::Settings settings = layer.settings;
        SettingsEdit noise;
        if (!layer.isTexture && !layer.isErosion && !layer.isSculpt) NoiseSettingsWidgets(settings, noise);

        SettingsEdit other;
        if (layer.isErosion)
        {
            ErosionSettingsWidgets(settings.erosion, other);
            changes.erosionChanged = other.released;
        }
        else if (layer.isSculpt)
        {
            gui::TextColored(kHint, "Shaped by hand: switch on Sculpt in the scene window.");
        }
        else
        {
            changes.powerChanged =
                ImGui::DragFloat("Application power", &settings.power, 0.001f, 0.0f, 0.0f, "%.3f");
            other.changed = changes.powerChanged;
            if (ImGui::IsItemHovered())
                ImGui::SetTooltip("Adds up to %.3f height", static_cast<double>(settings.power));
            other.released = ImGui::IsItemDeactivatedAfterEdit();
            if (!layer.isTexture)
            {
                // The image keeps its 256 grey levels; the heights come from the noise before rounding.
                if (ImGui::Checkbox("Smooth heights", &settings.smoothHeights))
                    noise.changed = noise.released = true; // the levels are made with the image
                if (ImGui::IsItemHovered())
                    ImGui::SetTooltip("Heights from the noise itself, not from the image's 256 grey levels:\n"
                                      "no terraces under a large power.");
            }
        }
        changes.noiseSettingChanged = noise.changed;
        if (noise.changed || other.changed) editor.commands.SetLayerSettings(layer, settings, noise.changed);
        // A settings widget finished changing: the layer's history gets a copy of its settings.
        if (noise.released || other.released) editor.commands.KeepLayerSettings(layer);

        if (!layer.isTexture && !layer.isSculpt)
        {
            if (ImGui::Button("Undo")) changes.undoOrRedo |= editor.commands.StepLayerHistory(layer, false);
            if (ImGui::Button("Redo")) changes.undoOrRedo |= editor.commands.StepLayerHistory(layer, true);
        }

        if (NeedsRegeneration(changes))
        {
            if (noise.changed || changes.undoOrRedo)
                ApplyInRealtime(editor, terrainPtr); // their commands regenerated the image already
            else
                Regenerate(editor, terrainPtr, layer);
        }
    }
    ImGui::EndChild();
}
