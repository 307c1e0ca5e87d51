// The "Textures" tab: the terrain's pictures (erosion masks included), their pop-ups, and the
// "Save as.." dialog.
#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "render/Texture.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cstring>

void Editor::ShowTexturePanel(const std::shared_ptr<Terrain>& terrainPtr)
{
    Terrain& terrain = *terrainPtr;
    TexturePanelState& panel = texturePanel;
    ImGui::BeginChild("Textures##ChildWindow", ImVec2(0.0f, 0.0f), false);

    const float available = ImGui::GetContentRegionAvail().x;
    const float largest = static_cast<float>(std::max(std::max(terrain.width, terrain.height), 1u));
    const ImVec2 pictureSize(static_cast<float>(terrain.ImageWidth()) * available / largest,
                             static_cast<float>(terrain.ImageHeight()) * available / largest);

    // One picture with its pop-up; edit adds the "Edit" button of the painted textures.
    const auto picture =
        [&](const char* title, Texture* texture, const char* popup, const char* suffix, bool edit)
    {
        if (texture == nullptr) return;
        ImGui::TextUnformatted(title);
        gui::Image(texture->id, pictureSize);
        if (ImGui::IsItemHovered()) ImGui::SetTooltip("Right click for more.");
        if (ImGui::IsItemClicked(ImGuiMouseButton_Right)) ImGui::OpenPopup(popup);
        if (ImGui::BeginPopup(popup))
        {
            if (ImGui::Button("Preview on terrain"))
            {
                terrain.SetDisplayTexture(texture);
                ImGui::CloseCurrentPopup();
            }
            if (ImGui::Button("Save as"))
            {
                panel.BeginSaveAs(*texture, terrain, suffix);
                ImGui::CloseCurrentPopup();
            }
            if (edit && ImGui::Button("Edit"))
            {
                panel.BeginEdit(*texture);
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
        }
    };

    picture("Terrain heightmap", terrain.heightmapTexture.get(), "Heightmap texture", "_heightmap", false);
    picture("Normal map", terrain.normalTexture.get(), "Normal texture", "_normal", false);
    if (ImGui::Button("Generate diffuse map")) panel.diffuseEditorOpen = !panel.diffuseEditorOpen;
    if (panel.diffuseEditorOpen) ShowDiffuseTextureEditor(terrainPtr);
    picture("Diffuse texture", terrain.diffuseTexture.get(), "Diffuse texture", "_diffuse", true);
    picture("Specular texture", terrain.specularTexture.get(), "Specular texture", "_specular", true);
    // Each erosion entry's mask of its last run: red removed, green deposited, blue water flow.
    for (const auto& layer : terrain.heightmaps)
    {
        if (!layer || !layer->isErosion) continue;
        ImGui::PushID(layer.get());
        const std::string title = "Erosion mask: " + layer->name;
        const std::string suffix = "_" + layer->name + "_mask";
        picture(title.c_str(), layer.get(), "Erosion mask", suffix.c_str(), false);
        ImGui::PopID();
    }

    if (panel.textureEditorOpen) ShowTextureEditor(panel.chosenTexture, panel.textureEditorOpen);

    if (panel.saveDialogOpen && !SessionQuestionShowing())
    {
        ImGui::OpenPopup("Save as..");
        if (ImGui::BeginPopupModal("Save as..", nullptr, ImGuiWindowFlags_AlwaysAutoResize | kNoDockingFlag))
        {
            ImGui::SetNextItemWidth(280.0f);
            ImGui::InputTextWithHint("##texturesavefiledir", "Enter directory name", &panel.saveDirectory);
            if (ImGui::IsItemDeactivatedAfterEdit()) panel.FinishDirectoryEdit();
            ImGui::SameLine();
            ImGui::SetNextItemWidth(140.0f);
            ImGui::InputTextWithHint("##texturesavefile", "Enter file name", &panel.saveFileName);
            ImGui::SameLine();
            ImGui::SetNextItemWidth(80.0f);
            if (ImGui::BeginCombo("##texextensioncombo", panel.saveExtension))
            {
                for (const char* extension : TexturePanelState::kExtensions)
                {
                    const bool selected = std::strcmp(extension, panel.saveExtension) == 0;
                    if (ImGui::Selectable(extension, selected)) panel.saveExtension = extension;
                }
                ImGui::EndCombo();
            }
            if (ImGui::Button("Cancel"))
            {
                panel.saveDialogOpen = false;
                ImGui::CloseCurrentPopup();
            }
            if (panel.CanSave())
            {
                ImGui::SameLine();
                if (ImGui::Button("Save"))
                {
                    const std::string path = panel.SavePath();
                    std::string reason;
                    if (panel.Save(&reason))
                        SetNotice(SavedNotice(SaveTerrainForm::Outcome{{path}, {}, false}));
                    else
                        SetError("The texture could not be saved as " + path +
                                 (reason.empty() ? std::string(".") : ": " + reason + "."));
                    ImGui::CloseCurrentPopup();
                }
            }
            ImGui::EndPopup();
        }
    }
    ImGui::EndChild();
}
