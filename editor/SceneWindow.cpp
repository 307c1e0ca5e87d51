// The scene window (rendered image, menus, fly control), the camera window and the terrain
// generator window with its three tabs.
#include "editor/SceneWindow.h"

#include "editor/Editor.h"
#include "editor/GuiUtil.h"
#include "engine/Engine.h"
#include "engine/Log.h"
#include "render/Camera.h"
#include "render/Framebuffer.h"
#include "render/Scene.h"
#include "render/Texture.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainRecord.h"

#include <glm/vec2.hpp>

#include <GLFW/glfw3.h>
#include <imgui.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace
{
void DrawCameraWindow(Editor& editor, Scene& scene)
{
    Camera& camera = *scene.camera;
    gui::PlaceToolWindow(gui::ToolWindow::Camera);
    ImGui::SetNextWindowSize(gui::kCameraWindowSize, ImGuiCond_Once);
    gui::Begin((scene.name + " camera").c_str());
    bool rotate = camera.rotate;
    if (ImGui::Checkbox("Camera rotate", &rotate))
    {
        editor.commands.SetCameraRotation(camera, rotate);
        Log::Trace("Camera {} rotation switched to {}", camera.name, camera.rotate);
    }
    // Where the camera is and how far it orbits is the view, not the document.
    if (!camera.rotate)
    {
        if (ImGui::DragFloat3("Camera position", &camera.position.x, 0.01f, 0.0f, 0.0f, "%.3f"))
            camera.Update();
    }
    else if (ImGui::DragFloat("Camera radius", &camera.position.y, 0.01f, 0.0f, 0.0f, "%.3f"))
    {
        camera.Update();
    }
    float speed = camera.speed;
    if (ImGui::DragFloat("Camera speed", &speed, 0.01f, 0.0f, 0.0f, "%.3f"))
        editor.commands.SetCameraSpeed(camera, speed);
    ImGui::End();
}
} // namespace

void SceneWindow::ChooseAspectRatio(Editor& editor, Scene& scene, int index)
{
    if (index < 0 || index >= 4) return;
    if (index != 0)
    {
        // The command keeps the choice as it was before, for undo (the project keeps it too).
        const std::string ratio = kAspectRatios[index];
        const size_t colon = ratio.find(':');
        editor.commands.SetAspectRatio(scene, std::atoi(ratio.substr(0, colon).c_str()),
                                       std::atoi(ratio.substr(colon + 1).c_str()));
    }
    aspectRatioIndex = index;
}

bool SceneWindow::UsesCustomRule(const Scene& scene) const
{
    return aspectRatioIndex == 0 || scene.ratioWidth <= 0.0f || scene.ratioHeight <= 0.0f;
}

ImVec2 SceneWindow::ImageSize(Scene& scene, ImVec2 available) const
{
    if (UsesCustomRule(scene))
    {
        if (scene.camera && available.x > 0.0f && available.y > 0.0f)
        {
            scene.camera->aspectRatio = available.x / available.y;
            scene.camera->Update();
        }
        return available;
    }
    return ImVec2(available.x, available.x * scene.ratioHeight / scene.ratioWidth);
}

std::shared_ptr<Scene> SceneWindow::FocusedScene(const Editor& editor) const
{
    const std::shared_ptr<Scene> scene = focusedScene.lock();
    if (scene && std::find(editor.scenes.begin(), editor.scenes.end(), scene) != editor.scenes.end())
        return scene;
    return editor.scenes.empty() ? nullptr : editor.scenes.front();
}

void SceneWindow::FollowGeneratorTerrain(Editor& editor, const std::shared_ptr<Terrain>& terrain)
{
    const std::shared_ptr<Terrain> previous = generatorTerrain.lock();
    if (previous == terrain) return;
    generatorTerrain = terrain;

    LayerPanel& layers = editor.layerPanel;
    const bool layerHere = terrain && std::find(terrain->heightmaps.begin(), terrain->heightmaps.end(),
                                                layers.selectedLayer) != terrain->heightmaps.end();
    if (!layerHere)
    {
        layers.selectedLayer.reset();
        layers.layerEditorOpen = false;
        layers.loadDialogOpen = false;
    }
    TexturePanel& textures = editor.texturePanel;
    const Texture* chosen = textures.chosenTexture;
    const bool textureHere =
        terrain && chosen != nullptr &&
        (chosen == terrain->heightmapTexture.get() || chosen == terrain->normalTexture.get() ||
         chosen == terrain->diffuseTexture.get() || chosen == terrain->specularTexture.get());
    if (!textureHere)
    {
        textures.chosenTexture = nullptr;
        textures.textureEditorOpen = false;
        textures.saveDialogOpen = false;
    }
    if (previous) // editors opened on another terrain close; a first sight keeps what was set up
    {
        textures.diffuseEditorOpen = false;
        editor.diffuseEditor.selected = -1;
        editor.diffuseEditor.closeRequested = false;
        editor.waterEditor.strokeActive = false;
    }
}

void SceneWindow::FrameTerrain(Editor& editor, Scene& scene)
{
    if (!scene.camera || !scene.terrain || scene.terrain->IsEmpty()) return;
    const Terrain& terrain = *scene.terrain;
    glm::vec3 low;
    glm::vec3 high;
    TerrainBounds(terrain.positions.data(), terrain.vertexCount, low, high);
    scene.camera->Frame(low, high);
    editor.Wake();
}

void SceneWindow::Show(Editor& editor, const std::shared_ptr<Scene>& scenePtr)
{
    Scene& scene = *scenePtr;
    if (!sceneWindowSized)
    {
        sceneWindowFirstSize = gui::MainFramebufferSize();
        sceneWindowSized = true;
    }
    const ImVec2 first = sceneWindowFirstSize;
    ImGui::SetNextWindowSize(ImVec2(0.66f * first.x, 0.66f * first.y), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowPos(ImVec2(0.17f * first.x, 0.17f * first.y), ImGuiCond_FirstUseEver);

    const bool visible = gui::Begin(scene.name.c_str(), &scene.showWindow,
                                    ImGuiWindowFlags_MenuBar | ImGuiWindowFlags_NoCollapse |
                                        ImGuiWindowFlags_NoScrollbar | sceneWindowFlags);
    if (visible && scene.camera && scene.framebuffer)
    {
        if (ImGui::BeginMenuBar())
        {
            Framebuffer& framebuffer = *scene.framebuffer;
            bool wireframe = framebuffer.wireframe;
            bool useBackground = scene.useBackground;
            glm::vec4 clearColor = framebuffer.clearColor;
            if (ImGui::BeginMenu("Scene"))
            {
                if (ImGui::MenuItem("Manage objects")) scene.showManage = !scene.showManage;
                if (ImGui::MenuItem("Frame terrain", "F", false, scene.terrain && !scene.terrain->IsEmpty()))
                    FrameTerrain(editor, scene);
                if (ImGui::Checkbox("Use wireframe mode", &wireframe))
                    Log::Trace("Framebuffer ID: {} changed to wireframe mode", framebuffer.fbo);
                ImGui::EndMenu();
            }
            if (ImGui::BeginMenu("Window"))
            {
                if (ImGui::BeginMenu("Aspect ratio"))
                {
                    if (ImGui::BeginCombo("##aspectratio", kAspectRatios[aspectRatioIndex]))
                    {
                        for (int i = 0; i < 4; ++i)
                        {
                            const bool selected = i == aspectRatioIndex;
                            if (ImGui::Selectable(kAspectRatios[i], selected))
                                ChooseAspectRatio(editor, scene, i);
                            if (selected) ImGui::SetItemDefaultFocus();
                        }
                        ImGui::EndCombo();
                    }
                    ImGui::EndMenu();
                }
                ImGui::Checkbox("Use background", &useBackground);
                ImGui::Checkbox("View camera control", &scene.showCameraControl);
                ImGui::Checkbox("View terrain generator", &scene.showTerrainGenerator);
                if (!scene.useBackground && ImGui::BeginMenu("Clear color"))
                {
                    ImGui::ColorEdit3("clear color", &clearColor.x, ImGuiColorEditFlags_NoAlpha);
                    ImGui::EndMenu();
                }
                ImGui::EndMenu();
            }
            if (wireframe != framebuffer.wireframe || useBackground != scene.useBackground ||
                clearColor != framebuffer.clearColor)
                editor.commands.SetSceneLook(scene, wireframe, clearColor, useBackground);
            ImGui::Checkbox("Sculpt", &sculpt.on);
            if (ImGui::IsItemHovered())
                ImGui::SetTooltip("The left button shapes the terrain under the cursor (B switches it)");
            ImGui::EndMenuBar();
        }
        if (sculpt.on) sculpt.DrawSettings();

        const ImVec2 imageSize = ImageSize(scene, ImGui::GetContentRegionAvail());
        const ImVec2 imagePos = ImGui::GetCursorPos();
        gui::Image(scene.framebuffer->colorTexture, imageSize);
        const ImVec2 imageCorner = ImGui::GetItemRectMin();
        const bool imageHovered = ImGui::IsItemHovered();
        // A drag over the picture is a stroke, not a move of the window.
        sceneWindowFlags = sculpt.on && imageHovered ? ImGuiWindowFlags_NoMove : 0;
        sculpt.Update(editor, scene, glm::vec2(imageCorner.x, imageCorner.y),
                      glm::vec2(imageSize.x, imageSize.y), imageHovered);
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
            if (ImGui::Button("Frame terrain (F)##frame")) FrameTerrain(editor, scene);
            if (ImGui::IsItemHovered())
                ImGui::SetTooltip("Moves the camera above the terrain so that all of it is in view.");
            ImGui::SetCursorPos(end);
        }
        if (canFrame && ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows) &&
            !ImGui::GetIO().WantTextInput && Engine::Get().window.WasPressed(GLFW_KEY_F, 0))
            FrameTerrain(editor, scene);
        if (ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows) && !ImGui::GetIO().WantTextInput &&
            Engine::Get().window.WasPressed(GLFW_KEY_B, 0))
            sculpt.on = !sculpt.on;

        if (ImGui::IsWindowFocused() && ImGui::IsMouseDown(ImGuiMouseButton_Right))
            scene.camera->FlyControl(FlyInput::FromWindow(Engine::Get().window.handle));
    }

    if (visible && scene.showCameraControl && scene.camera) DrawCameraWindow(editor, scene);
    if (visible && scene.showTerrainGenerator && scene.terrain) ShowTerrainGenerator(editor, scene);

    if (visible && !UsesCustomRule(scene))
    {
        if (barHeight < 0.0f) barHeight = ImGui::GetFrameHeightWithSpacing();
        const float width = ImGui::GetWindowWidth();
        const float bars = sculpt.on ? 3.0f : 2.0f; // the sculpt settings take a row of their own
        ImGui::SetWindowSize(ImVec2(width, width * scene.ratioHeight / scene.ratioWidth + bars * barHeight));
    }
    ImGui::End();
}

void SceneWindow::ShowTerrainGenerator(Editor& editor, Scene& scene)
{
    if (!generatorWindowSized)
    {
        generatorWindowFirstSize = gui::MainFramebufferSize();
        generatorWindowSized = true;
    }
    const ImVec2 first = generatorWindowFirstSize;
    ImGui::SetNextWindowSize(ImVec2(0.2f * first.x, 0.33f * first.y), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowPos(ImVec2(0.17f * first.x, 0.17f * first.y), ImGuiCond_FirstUseEver);
    gui::Begin((scene.name + " terrain generator").c_str());

    const std::shared_ptr<Terrain> terrain = scene.terrain;
    FollowGeneratorTerrain(editor, terrain);
    if (terrain->IsEmpty())
    {
        // A terrain whose file was refused has no grid to shape, paint or flood.
        ImGui::TextUnformatted("This terrain is empty: it could not be loaded.");
    }
    else if (editor.session.IsBusy(terrain.get()))
    {
        // A job reads or changes the terrain: nothing else may touch it until the job ends.
        ImGui::TextUnformatted(
            ("Terrain " + terrain->name + " is busy; it is free again when the work ends.").c_str());
    }
    else if (ImGui::BeginTabBar("Tab bar"))
    {
        if (ImGui::BeginTabItem(("Terrain##" + terrain->name).c_str()))
        {
            editor.layerPanel.Show(editor, terrain);
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem(("Textures##" + terrain->name).c_str()))
        {
            editor.texturePanel.Show(editor, terrain);
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem(("Water##" + terrain->name).c_str()))
        {
            editor.waterEditor.Show(editor, terrain);
            ImGui::EndTabItem();
        }
        ImGui::EndTabBar();
    }
    ImGui::End();
}
