// The "Textures" tab: the terrain's pictures (erosion masks included), their pop-ups, and the
// "Save as.." dialog.
#include "editor/TexturePanel.h"

#include "editor/Editor.h"
#include "editor/GuiUtil.h"
#include "render/Texture.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cstring>

void TexturePanel::BeginSaveAs(Editor& editor, Texture& texture, const Terrain& terrain, const char* suffix)
{
    chosenTexture = &texture;
    editor.commands.NameTextureFile(texture, terrain.name + suffix);
    saveFileName = texture.saveName;
    saveDialogOpen = true;
}

void TexturePanel::BeginEdit(Texture& texture)
{
    chosenTexture = &texture;
    textureEditorOpen = true;
}

void TexturePanel::Forget(const Texture& texture)
{
    if (chosenTexture != &texture) return;
    chosenTexture = nullptr;
    textureEditorOpen = false;
    saveDialogOpen = false;
}

void TexturePanel::FinishDirectoryEdit()
{
    // An empty directory means the working folder and stays empty.
    if (!saveDirectory.empty() && saveDirectory.back() != '/' && saveDirectory.back() != '\\')
        saveDirectory += '/';
}

bool TexturePanel::CanSave() const
{
    return !saveFileName.empty() && std::strcmp(saveExtension, kNoExtension) != 0;
}

bool TexturePanel::Save(std::string* error)
{
    const bool written = chosenTexture != nullptr && CanSave() && chosenTexture->Save(SavePath(), error);
    saveDialogOpen = false;
    return written;
}

void TexturePanel::Show(Editor& editor, const std::shared_ptr<Terrain>& terrainPtr)
{
    Terrain& terrain = *terrainPtr;
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
                editor.commands.ShowTexture(terrain, texture);
                ImGui::CloseCurrentPopup();
            }
            if (ImGui::Button("Save as"))
            {
                BeginSaveAs(editor, *texture, terrain, suffix);
                ImGui::CloseCurrentPopup();
            }
            if (edit && ImGui::Button("Edit"))
            {
                BeginEdit(*texture);
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
        }
    };

    picture("Terrain heightmap", terrain.heightmapTexture.get(), "Heightmap texture", "_heightmap", false);
    picture("Normal map", terrain.normalTexture.get(), "Normal texture", "_normal", false);
    if (ImGui::Button("Generate diffuse map")) diffuseEditorOpen = !diffuseEditorOpen;
    if (diffuseEditorOpen) editor.ShowDiffuseTextureEditor(terrainPtr);
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

    if (textureEditorOpen) editor.ShowTextureEditor(chosenTexture, textureEditorOpen);

    if (saveDialogOpen && !editor.project.QuestionShowing())
    {
        ImGui::OpenPopup("Save as..");
        if (ImGui::BeginPopupModal("Save as..", nullptr, ImGuiWindowFlags_AlwaysAutoResize | kNoDockingFlag))
        {
            ImGui::SetNextItemWidth(280.0f);
            ImGui::InputTextWithHint("##texturesavefiledir", "Enter directory name", &saveDirectory);
            if (ImGui::IsItemDeactivatedAfterEdit()) FinishDirectoryEdit();
            ImGui::SameLine();
            ImGui::SetNextItemWidth(140.0f);
            ImGui::InputTextWithHint("##texturesavefile", "Enter file name", &saveFileName);
            ImGui::SameLine();
            ImGui::SetNextItemWidth(80.0f);
            if (ImGui::BeginCombo("##texextensioncombo", saveExtension))
            {
                for (const char* extension : kExtensions)
                {
                    const bool selected = std::strcmp(extension, saveExtension) == 0;
                    if (ImGui::Selectable(extension, selected)) saveExtension = extension;
                }
                ImGui::EndCombo();
            }
            if (ImGui::Button("Cancel"))
            {
                saveDialogOpen = false;
                ImGui::CloseCurrentPopup();
            }
            if (CanSave())
            {
                ImGui::SameLine();
                if (ImGui::Button("Save"))
                {
                    const std::string path = SavePath();
                    std::string reason;
                    if (Save(&reason))
                        editor.session.SetNotice(SavedNotice(SaveTerrainForm::Outcome{{path}, {}, false}));
                    else
                        editor.SetError("The texture could not be saved as " + path +
                                        (reason.empty() ? std::string(".") : ": " + reason + "."));
                    ImGui::CloseCurrentPopup();
                }
            }
            ImGui::EndPopup();
        }
    }
    ImGui::EndChild();
}
