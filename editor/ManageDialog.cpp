// The per-scene Create / Manage dialog: which terrain, shader and camera a scene uses.
#include "editor/ManageDialog.h"

#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "render/Camera.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "terrain/Terrain.h"

#include <GLFW/glfw3.h>
#include <imgui.h>

#include <algorithm>

void ManageDialog::TakeRestorePoint(const Editor& editor, const Scene& scene)
{
    if (scene.isNew || restorePoint.taken) return;
    for (const auto& listed : editor.scenes)
    {
        if (listed->sceneId != scene.sceneId) continue;
        if (listed->camera && listed->shader && listed->terrain)
        {
            restorePoint.camera = listed->camera;
            restorePoint.shader = listed->shader;
            restorePoint.terrain = listed->terrain;
            restorePoint.taken = true;
        }
        return;
    }
}

void ManageDialog::Cancel(Editor& editor, Scene& scene) const
{
    if (restorePoint.taken)
        editor.commands.RestoreScene(scene, restorePoint.camera, restorePoint.shader, restorePoint.terrain);
    scene.showManage = false;
}

void Editor::DrawManageDialog(const std::shared_ptr<Scene>& scenePtr)
{
    Scene& scene = *scenePtr; // the caller's reference keeps the scene alive if it is removed
    manageDialog.TakeRestorePoint(*this, scene);

    const std::string title = (scene.isNew ? "Create " : "Manage ") + scene.name;
    ImGui::OpenPopup(title.c_str());
    const ImVec2 size = gui::MainFramebufferSize();
    ImGui::SetNextWindowPos(ImVec2((size.x - 600.0f) / 2.0f, (size.y - 140.0f) / 2.0f));
    ImGui::SetNextWindowSize(ImVec2(600.0f, 140.0f));
    if (!ImGui::BeginPopupModal(title.c_str(), &scene.showManage,
                                ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_AlwaysAutoResize |
                                    kNoDockingFlag))
        return;

    commands.FillSceneDefaults(scene);

    if (ImGui::BeginCombo("Terrain##ms", scene.terrain ? scene.terrain->name.c_str() : ""))
    {
        for (const auto& terrain : terrains)
        {
            const bool selected = terrain == scene.terrain;
            ImGui::PushID(terrain.get());
            if (ImGui::Selectable(terrain->name.c_str(), selected)) commands.SetSceneTerrain(scene, terrain);
            if (selected) ImGui::SetItemDefaultFocus();
            ImGui::PopID();
        }
        ImGui::EndCombo();
    }

    if (ImGui::BeginCombo("Shader##ms", scene.shader ? scene.shader->name.c_str() : ""))
    {
        for (size_t i = 0; i < shaders.size(); ++i)
        {
            ImGui::PushID(static_cast<int>(i));
            if (ImGui::Selectable(shaders[i]->name.c_str(), false))
                commands.SetSceneShader(scene, shaders[i]);
            ImGui::PopID();
        }
        ImGui::EndCombo();
    }

    if (ImGui::BeginCombo("Camera##ms", scene.camera ? scene.camera->name.c_str() : ""))
    {
        for (const auto& camera : cameras)
        {
            const bool selected = camera == scene.camera;
            ImGui::PushID(camera.get());
            if (ImGui::Selectable(camera->name.c_str(), selected)) commands.SetSceneCamera(scene, camera);
            if (selected) ImGui::SetItemDefaultFocus();
            ImGui::PopID();
        }
        ImGui::EndCombo();
    }

    const ImVec2 buttonSize(200.0f, 30.0f);
    if (!scene.isNew)
    {
        if (ImGui::Button("Apply##ms", buttonSize) || gui::KeyDown(GLFW_KEY_ENTER))
        {
            scene.showManage = false;
            ImGui::CloseCurrentPopup();
        }
        ImGui::SameLine();
        if (ImGui::Button("Cancel##ms", buttonSize))
        {
            manageDialog.Cancel(*this, scene);
            ImGui::CloseCurrentPopup();
        }
        if (ImGui::Button("Destroy##ms", buttonSize)) manageDialog.destroyConfirmation = true;
        if (manageDialog.destroyConfirmation)
        {
            const std::string region = "Destroy " + scene.name;
            ImGui::BeginChild(region.c_str(), ImVec2(0.0f, 0.0f), false);
            if (ImGui::Button("YES"))
            {
                commands.DestroyScene(scene);
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndChild();
        }
    }
    else
    {
        if (ImGui::Button("Create##ms2", buttonSize) || gui::KeyDown(GLFW_KEY_ENTER))
        {
            commands.ConfirmScene(scene);
            ImGui::CloseCurrentPopup();
        }
        ImGui::SameLine();
        if (ImGui::Button("Cancel##ms2", buttonSize) || gui::KeyDown(GLFW_KEY_ESCAPE))
        {
            commands.CancelScene(scene);
            ImGui::CloseCurrentPopup();
        }
    }
    ImGui::EndPopup();
}
