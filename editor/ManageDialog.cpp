// The per-scene Create / Manage dialog: which terrain, shader and camera a scene uses.
#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "render/Camera.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "terrain/Terrain.h"

#include <GLFW/glfw3.h>
#include <imgui.h>

#include <algorithm>

namespace
{
// Attribute locations belong to one program, so the mesh is bound again for every new shader.
void BindTerrain(const Scene& scene)
{
    if (scene.terrain && scene.shader) scene.terrain->SetGeometry(scene.terrain->mesh, scene.shader);
}
} // namespace

void Editor::ManageTakeRestorePoint(const Scene& scene)
{
    if (scene.isNew || restorePoint.taken) return;
    for (const auto& listed : scenes)
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

void Editor::ManageFillDefaults(Scene& scene)
{
    if (!terrains.empty() && !scene.terrain) scene.terrain = terrains.front();
    if (!shaders.empty() && (!scene.shader || scene.shader->name.empty()))
        scene.shader = std::make_shared<Shader>(shaders.front()->vertexPath, shaders.front()->fragmentPath);
    if (!cameras.empty() && !scene.camera) scene.camera = cameras.back();
}

void Editor::ManageChooseTerrain(Scene& scene, const std::shared_ptr<Terrain>& terrain)
{
    scene.terrain = terrain;
    BindTerrain(scene);
}

void Editor::ManageChooseShader(Scene& scene, const std::shared_ptr<Shader>& listed)
{
    scene.shader = std::make_shared<Shader>(listed->vertexPath, listed->fragmentPath);
    BindTerrain(scene);
}

void Editor::ManageCreate(Scene& scene)
{
    BindTerrain(scene);
    scene.showManage = false;
    scene.isNew = false;
    scene.showWindow = true;
}

void Editor::ManageCancelCreate(const Scene& scene)
{
    const std::string cameraName = scene.name + " camera";
    cameras.erase(std::remove_if(cameras.begin(), cameras.end(),
                                 [&](const std::shared_ptr<Camera>& c) { return c->name == cameraName; }),
                  cameras.end());
    RemoveScene(scene.sceneId);
}

void Editor::ManageApply(Scene& scene)
{
    scene.showManage = false;
}

void Editor::ManageCancel(Scene& scene)
{
    if (restorePoint.taken)
    {
        scene.shader = restorePoint.shader;
        scene.camera = restorePoint.camera;
        scene.terrain = restorePoint.terrain;
        BindTerrain(scene);
    }
    scene.showManage = false;
}

void Editor::ManageDestroy(const Scene& scene)
{
    RemoveScene(scene.sceneId);
}

void Editor::DrawManageDialog(const std::shared_ptr<Scene>& scenePtr)
{
    Scene& scene = *scenePtr; // the caller's reference keeps the scene alive if it is removed
    ManageTakeRestorePoint(scene);

    const std::string title = (scene.isNew ? "Create " : "Manage ") + scene.name;
    ImGui::OpenPopup(title.c_str());
    const ImVec2 size = gui::MainFramebufferSize();
    ImGui::SetNextWindowPos(ImVec2((size.x - 600.0f) / 2.0f, (size.y - 140.0f) / 2.0f));
    ImGui::SetNextWindowSize(ImVec2(600.0f, 140.0f));
    if (!ImGui::BeginPopupModal(title.c_str(), &scene.showManage,
                                ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_AlwaysAutoResize |
                                    kNoDockingFlag))
        return;

    ManageFillDefaults(scene);

    if (ImGui::BeginCombo("Terrain##ms", scene.terrain ? scene.terrain->name.c_str() : ""))
    {
        for (const auto& terrain : terrains)
        {
            const bool selected = terrain == scene.terrain;
            ImGui::PushID(terrain.get());
            if (ImGui::Selectable(terrain->name.c_str(), selected)) ManageChooseTerrain(scene, terrain);
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
            if (ImGui::Selectable(shaders[i]->name.c_str(), false)) ManageChooseShader(scene, shaders[i]);
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
            if (ImGui::Selectable(camera->name.c_str(), selected)) scene.camera = camera;
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
            ManageApply(scene);
            ImGui::CloseCurrentPopup();
        }
        ImGui::SameLine();
        if (ImGui::Button("Cancel##ms", buttonSize))
        {
            ManageCancel(scene);
            ImGui::CloseCurrentPopup();
        }
        if (ImGui::Button("Destroy##ms", buttonSize)) destroyConfirmation = true;
        if (destroyConfirmation)
        {
            const std::string region = "Destroy " + scene.name;
            ImGui::BeginChild(region.c_str(), ImVec2(0.0f, 0.0f), false);
            if (ImGui::Button("YES"))
            {
                ManageDestroy(scene);
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndChild();
        }
    }
    else
    {
        if (ImGui::Button("Create##ms2", buttonSize) || gui::KeyDown(GLFW_KEY_ENTER))
        {
            ManageCreate(scene);
            ImGui::CloseCurrentPopup();
        }
        ImGui::SameLine();
        if (ImGui::Button("Cancel##ms2", buttonSize) || gui::KeyDown(GLFW_KEY_ESCAPE))
        {
            ManageCancelCreate(scene);
            ImGui::CloseCurrentPopup();
        }
    }
    ImGui::EndPopup();
}
