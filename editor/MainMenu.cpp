// The editor's frame of windows: OnGUI, the full-window dock host, the main menu bar, the error
// popup, and the options and help windows.
#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "engine/Engine.h"
#include "render/Camera.h"
#include "render/Framebuffer.h"
#include "render/Scene.h"

#include <GLFW/glfw3.h>
#include <imgui.h>

#include <algorithm>

void Editor::OnGUI()
{
    DrawDockSpace();
    DrawMainMenuBar();
    DrawStatusLine();
    DrawStartHint();
    HandleShortcuts();
    // The unsaved-changes question goes on top of whatever was open: the other dialogs wait.
    const bool dialogsWait = SessionQuestionShowing();

    if (showError && !dialogsWait)
    {
        ImGui::OpenPopup("Error");
        if (ImGui::BeginPopupModal("Error", nullptr,
                                   ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                                       ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoNavFocus |
                                       kNoDockingFlag))
        {
            ImGui::TextUnformatted(errorMessage.c_str());
            if (ImGui::Button("Okay", ImVec2(ImGui::GetContentRegionAvail().x, 50.0f)) ||
                gui::KeyDown(GLFW_KEY_ENTER))
            {
                showError = false;
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
        }
    }

    if (!dialogsWait)
    {
        if (showNewTerrain) ShowNewTerrainDialog();
        if (showLoadTerrain) ShowLoadTerrainDialog();
        if (showSaveTerrain) ShowSaveTerrainDialog();
        if (showNewShader) ShowNewShaderDialog();
        if (showExport) ShowExportDialog();
        if (showHeightmapImport) ShowHeightmapImportDialog();
    }

    if (showOptions)
    {
        gui::PlaceToolWindow(gui::ToolWindow::Options);
        if (gui::Begin("Editor options", &showOptions, ImGuiWindowFlags_AlwaysAutoResize))
        {
            ImGui::Text("Window background color");
            if (auto& framebuffer = Engine::Get().window.framebuffer)
            {
                float color[3] = {framebuffer->clearColor.r, framebuffer->clearColor.g,
                                  framebuffer->clearColor.b};
                if (ImGui::ColorEdit3("clear color", color))
                {
                    framebuffer->clearColor.r = color[0];
                    framebuffer->clearColor.g = color[1];
                    framebuffer->clearColor.b = color[2];
                }
            }
            const float framerate = ImGui::GetIO().Framerate;
            ImGui::Text("Application average %.3f ms/frame (%.1f FPS)", 1000.0f / framerate, framerate);
        }
        ImGui::End();
    }

    // Dialogs may remove scenes: walk a snapshot and skip scenes that are gone.
    const std::vector<std::shared_ptr<Scene>> snapshot = scenes;
    for (const auto& scene : snapshot)
    {
        if (std::find(scenes.begin(), scenes.end(), scene) == scenes.end()) continue;
        if (scene->showWindow) ShowSceneWindow(scene);
        if (scene->showManage && !dialogsWait &&
            std::find(scenes.begin(), scenes.end(), scene) != scenes.end())
            DrawManageDialog(scene);
        // The Create dialog's close button clears showManage without creating the scene: that is a
        // Cancel, or the half-made scene would block "Create new scene" for good.
        if (scene->isNew && !scene->showManage &&
            std::find(scenes.begin(), scenes.end(), scene) != scenes.end())
            ManageCancelCreate(*scene);
    }

    if (showHelp)
    {
        gui::PlaceToolWindow(gui::ToolWindow::Help);
        if (gui::Begin("Help##helpw", &showHelp, ImGuiWindowFlags_AlwaysAutoResize))
        {
            ImGui::TextUnformatted(
                "Parameters without any visible controls are usually controlled by dragging.");
            ImGui::TextUnformatted("Shift + Left click variables for faster dragging.");
            ImGui::TextUnformatted("Alt + Left click variables for slower dragging.");
            ImGui::TextUnformatted("Right click & WSAD scene viewport for camera movement.");
            ImGui::TextUnformatted(
                "Before creating a terrain, please enter a file name. It has to be different to "
                "other opened terrain objects.");
            ImGui::TextUnformatted("Before saving a texture, please select a format.");
        }
        ImGui::End();
    }

    ShowProjectDialogs();
    DrawJobModal();
    NoteFrameActivity();
}

void Editor::NoteFrameActivity()
{
    const ImGuiIO& io = ImGui::GetIO();
    bool active = io.MouseDelta.x != 0.0f || io.MouseDelta.y != 0.0f || io.MouseWheel != 0.0f ||
                  io.MouseWheelH != 0.0f || io.InputQueueCharacters.Size > 0 || ImGui::IsAnyItemActive();
    for (const bool down : io.MouseDown)
        active |= down;
    for (const bool down : io.KeysDown)
        active |= down;
    active |= !Engine::Get().window.keyPresses.empty(); // a tap between two frames is held in neither
    // The pointer entering or leaving the window, and a resized window, change the picture too.
    const bool mouseKnown = ImGui::IsMousePosValid();
    active |= mouseKnown != lastMouseKnown || io.DisplaySize.x != lastDisplaySize.x ||
              io.DisplaySize.y != lastDisplaySize.y;
    lastMouseKnown = mouseKnown;
    lastDisplaySize = io.DisplaySize;
    for (const auto& scene : scenes)
        active |= scene->camera && scene->camera->rotate; // an orbit moves every frame
    quietFrames = active ? 0 : quietFrames + 1;
}

void Editor::DrawDockSpace()
{
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(viewport->WorkPos);
    ImGui::SetNextWindowSize(viewport->WorkSize);
#ifdef IMGUI_HAS_DOCK
    ImGui::SetNextWindowViewport(viewport->ID);
#endif
    ImGui::SetNextWindowBgAlpha(0.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 0.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0.0f, 0.0f));
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                   ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                                   ImGuiWindowFlags_NoBackground | ImGuiWindowFlags_NoBringToFrontOnFocus |
                                   ImGuiWindowFlags_NoNavFocus | kNoDockingFlag;
    gui::Begin("Invisible Window", nullptr, flags);
#ifdef IMGUI_HAS_DOCK
    ImGui::DockSpace(ImGui::GetID("InvisibleDockspace"), ImVec2(0.0f, 0.0f));
#endif
    ImGui::End();
    ImGui::PopStyleVar(3);
}

void Editor::DrawMainMenuBar()
{
    if (!ImGui::BeginMainMenuBar()) return;
    if (ImGui::BeginMenu("File"))
    {
        if (ImGui::BeginMenu("New"))
        {
            if (ImGui::MenuItem("Terrain", "Ctrl+N")) showNewTerrain = true;
            if (ImGui::MenuItem("Terrain from heightmap")) showHeightmapImport = true;
            ImGui::MenuItem("Camera");
            if (ImGui::MenuItem("Shader")) showNewShader = true;
            ImGui::EndMenu();
        }
        if (ImGui::BeginMenu("Open"))
        {
            if (ImGui::MenuItem("Terrain##o")) showLoadTerrain = true;
            ImGui::EndMenu();
        }
        if (ImGui::BeginMenu("Save"))
        {
            if (ImGui::MenuItem("Terrain##s") && !terrains.empty()) showSaveTerrain = true;
            ImGui::EndMenu();
        }
        if (ImGui::MenuItem("Export", nullptr, false, !terrains.empty())) showExport = true;
        DrawProjectMenuItems();
        if (ImGui::MenuItem("Quit", "Ctrl+Q"))
            RequestSessionAction(SessionAction::Quit); // closes the window once unsaved changes are settled
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("Edit"))
    {
        // The settings history of the layer selected in the terrain generator.
        if (ImGui::MenuItem("Undo layer settings", "Ctrl+Z", false, CanUndoLayerSettings(false)))
            UndoLayerSettings(false);
        if (ImGui::MenuItem("Redo layer settings", "Ctrl+Y", false, CanUndoLayerSettings(true)))
            UndoLayerSettings(true);
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("View"))
    {
        if (ImGui::BeginMenu("Show scene window"))
        {
            for (const auto& scene : scenes)
                ImGui::Checkbox(scene->name.c_str(), &scene->showWindow);
            if (ImGui::MenuItem("Create new scene")) CreateNewScene();
            ImGui::EndMenu();
        }
        ImGui::EndMenu();
    }
    if (ImGui::MenuItem("Settings")) showOptions = true;
    if (ImGui::MenuItem("Help")) showHelp = true;
    if (!notice.empty() && glfwGetTime() - noticeTime > kNoticeSeconds) notice.clear();
    if (!notice.empty())
    {
        ImGui::Separator();
        ImGui::TextColored(kGreen, "%s", notice.c_str());
        if (noticeAction && ImGui::SmallButton(noticeActionLabel.c_str()))
        {
            const std::function<void()> action = std::move(noticeAction);
            notice.clear();
            noticeAction = nullptr;
            action();
        }
    }
    ImGui::EndMainMenuBar();
}
