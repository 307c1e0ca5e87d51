// The scene window (rendered image, menus, fly control), the camera window and the terrain
// generator window with its three tabs.
#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "engine/Engine.h"
#include "engine/Log.h"
#include "render/Camera.h"
#include "render/Framebuffer.h"
#include "render/Scene.h"
#include "terrain/Terrain.h"

#include <GLFW/glfw3.h>
#include <imgui.h>

#include <cstdint>

namespace
{
void DrawCameraWindow(Scene& scene)
{
    Camera& camera = *scene.camera;
    gui::PlaceToolWindow(gui::ToolWindow::Camera);
    ImGui::SetNextWindowSize(gui::kCameraWindowSize, ImGuiCond_Once);
    gui::Begin((scene.name + " camera").c_str());
    if (ImGui::Checkbox("Camera rotate", &camera.rotate))
        Log::Trace("Camera {} rotation switched to {}", camera.name, camera.rotate);
    if (!camera.rotate)
    {
        if (ImGui::DragFloat3("Camera position", &camera.position.x, 0.01f, 0.0f, 0.0f, "%.3f"))
            camera.Update();
    }
    else if (ImGui::DragFloat("Camera radius", &camera.position.y, 0.01f, 0.0f, 0.0f, "%.3f"))
    {
        camera.Update();
    }
    ImGui::DragFloat("Camera speed", &camera.speed, 0.01f, 0.0f, 0.0f, "%.3f");
    ImGui::End();
}
} // namespace

void Editor::ShowSceneWindow(const std::shared_ptr<Scene>& scenePtr)
{
    Scene& scene = *scenePtr;
    SceneWindowState& state = sceneWindowState;
    if (!state.sceneWindowSized)
    {
        state.sceneWindowFirstSize = gui::MainFramebufferSize();
        state.sceneWindowSized = true;
    }
    const ImVec2 first = state.sceneWindowFirstSize;
    ImGui::SetNextWindowSize(ImVec2(0.66f * first.x, 0.66f * first.y), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowPos(ImVec2(0.17f * first.x, 0.17f * first.y), ImGuiCond_FirstUseEver);

    const bool visible =
        gui::Begin(scene.name.c_str(), &scene.showWindow,
                   ImGuiWindowFlags_MenuBar | ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoScrollbar);
    if (visible && scene.camera && scene.framebuffer)
    {
        if (ImGui::BeginMenuBar())
        {
            if (ImGui::BeginMenu("Scene"))
            {
                if (ImGui::MenuItem("Manage objects")) scene.showManage = !scene.showManage;
                if (ImGui::MenuItem("Frame terrain", "F", false, scene.terrain && !scene.terrain->IsEmpty()))
                    FrameTerrain(scene);
                if (ImGui::Checkbox("Use wireframe mode", &scene.framebuffer->wireframe))
                    Log::Trace("Framebuffer ID: {} changed to wireframe mode", scene.framebuffer->fbo);
                ImGui::EndMenu();
            }
            if (ImGui::BeginMenu("Window"))
            {
                if (ImGui::BeginMenu("Aspect ratio"))
                {
                    if (ImGui::BeginCombo("##aspectratio",
                                          SceneWindowState::kAspectRatios[state.aspectRatioIndex]))
                    {
                        for (int i = 0; i < 4; ++i)
                        {
                            const bool selected = i == state.aspectRatioIndex;
                            if (ImGui::Selectable(SceneWindowState::kAspectRatios[i], selected))
                                state.ChooseAspectRatio(scene, i);
                            if (selected) ImGui::SetItemDefaultFocus();
                        }
                        ImGui::EndCombo();
                    }
                    ImGui::EndMenu();
                }
                ImGui::Checkbox("Use background", &scene.useBackground);
                ImGui::Checkbox("View camera control", &scene.showCameraControl);
                ImGui::Checkbox("View terrain generator", &scene.showTerrainGenerator);
                if (!scene.useBackground && ImGui::BeginMenu("Clear color"))
                {
                    ImGui::ColorEdit3("clear color", &scene.framebuffer->clearColor.x,
                                      ImGuiColorEditFlags_NoAlpha);
                    ImGui::EndMenu();
                }
                ImGui::EndMenu();
            }
            ImGui::EndMenuBar();
        }

        const ImVec2 imageSize = state.ImageSize(scene, ImGui::GetContentRegionAvail());
        const ImVec2 imagePos = ImGui::GetCursorPos();
        gui::Image(scene.framebuffer->colorTexture, imageSize);
        // Flying starts with the right button over the picture, as a left click would have focused
        // the window first.
        if (ImGui::IsItemHovered() && ImGui::IsMouseClicked(ImGuiMouseButton_Right)) ImGui::SetWindowFocus();
        if (ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows)) focusedScene = scenePtr;
        // A new scene's camera starts near the origin, inside or under a terrain of any size: until it
        // moves, the picture offers to frame the terrain.
        const bool canFrame = scene.terrain && !scene.terrain->IsEmpty();
        if (canFrame && scene.camera->IsNewSceneView())
        {
            const ImVec2 end = ImGui::GetCursorPos();
            ImGui::SetCursorPos(ImVec2(imagePos.x + 12.0f, imagePos.y + 12.0f));
            if (ImGui::Button("Frame terrain (F)##frame")) FrameTerrain(scene);
            if (ImGui::IsItemHovered())
                ImGui::SetTooltip("Moves the camera above the terrain so that all of it is in view.");
            ImGui::SetCursorPos(end);
        }
        if (canFrame && ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows) &&
            !ImGui::GetIO().WantTextInput && Engine::Get().window.WasPressed(GLFW_KEY_F, 0))
            FrameTerrain(scene);

        if (ImGui::IsWindowFocused() && ImGui::IsMouseDown(ImGuiMouseButton_Right))
            scene.camera->FlyControl(FlyInput::FromWindow(Engine::Get().window.handle));
    }

    if (visible && scene.showCameraControl && scene.camera) DrawCameraWindow(scene);
    if (visible && scene.showTerrainGenerator && scene.terrain) ShowTerrainGenerator(scene);

    if (visible && !state.UsesCustomRule(scene))
    {
        if (state.barHeight < 0.0f) state.barHeight = ImGui::GetFrameHeightWithSpacing();
        const float width = ImGui::GetWindowWidth();
        ImGui::SetWindowSize(
            ImVec2(width, width * scene.ratioHeight / scene.ratioWidth + 2.0f * state.barHeight));
    }
    ImGui::End();
}

void Editor::ShowTerrainGenerator(Scene& scene)
{
    SceneWindowState& state = sceneWindowState;
    if (!state.generatorWindowSized)
    {
        state.generatorWindowFirstSize = gui::MainFramebufferSize();
        state.generatorWindowSized = true;
    }
    const ImVec2 first = state.generatorWindowFirstSize;
    ImGui::SetNextWindowSize(ImVec2(0.2f * first.x, 0.33f * first.y), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowPos(ImVec2(0.17f * first.x, 0.17f * first.y), ImGuiCond_FirstUseEver);
    gui::Begin((scene.name + " terrain generator").c_str());

    const std::shared_ptr<Terrain> terrain = scene.terrain;
    FollowGeneratorTerrain(terrain);
    if (terrain->IsEmpty())
    {
        // A terrain whose file was refused has no grid to shape, paint or flood.
        ImGui::TextUnformatted("This terrain is empty: it could not be loaded.");
    }
    else if (IsBusy(terrain.get()))
    {
        // A job reads or changes the terrain: nothing else may touch it until the job ends.
        ImGui::TextUnformatted(
            ("Terrain " + terrain->name + " is busy; it is free again when the work ends.").c_str());
    }
    else if (ImGui::BeginTabBar("Tab bar"))
    {
        if (ImGui::BeginTabItem(("Terrain##" + terrain->name).c_str()))
        {
            ShowLayerPanel(terrain);
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem(("Textures##" + terrain->name).c_str()))
        {
            ShowTexturePanel(terrain);
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem(("Water##" + terrain->name).c_str()))
        {
            ShowWaterEditor(terrain);
            ImGui::EndTabItem();
        }
        ImGui::EndTabBar();
    }
    ImGui::End();
}
