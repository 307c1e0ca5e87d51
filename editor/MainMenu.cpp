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
    statusLine.Draw(*this);
    DrawStartHint(*this);
    HandleShortcuts(*this);
    // The unsaved-changes question goes on top of whatever was open: the other dialogs wait.
    const bool dialogsWait = project.QuestionShowing();

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
        if (showLoadTerrain) loadTerrain.Show(*this);
        if (showSaveTerrain) saveTerrain.Show(*this);
        if (showNewShader) newShader.Show(*this);
        if (exportDialog.open) exportDialog.Show(*this);
        if (heightmapImport.open) heightmapImport.Show(*this);
        if (worldWindow.newWorldOpen) worldWindow.DrawNewWorld(*this);
    }
    if (worldWindow.open) worldWindow.Draw(*this);

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
            // The undo history's memory: what it holds now, and the limit past which the oldest steps go.
            History& history = session.history;
            ImGui::Text("Undo history: %zu steps, %.1f MB", history.StepCount(),
                        static_cast<double>(history.Bytes()) / (1024.0 * 1024.0));
            int limit = static_cast<int>(history.limitBytes >> 20);
            if (ImGui::DragInt("Undo memory (MB)", &limit, 8.0f, 16, 1 << 20, "%d",
                               ImGuiSliderFlags_AlwaysClamp))
            {
                history.limitBytes = size_t(limit) << 20;
                history.Trim();
            }
        }
        ImGui::End();
    }

    // Dialogs may remove scenes: walk a snapshot and skip scenes that are gone.
    const std::vector<std::shared_ptr<Scene>> snapshot = scenes;
    for (const auto& scene : snapshot)
    {
        if (std::find(scenes.begin(), scenes.end(), scene) == scenes.end()) continue;
        if (scene->showWindow) sceneWindow.Show(*this, scene);
        if (scene->showManage && !dialogsWait &&
            std::find(scenes.begin(), scenes.end(), scene) != scenes.end())
            DrawManageDialog(scene);
        // The Create dialog's close button clears showManage without creating the scene: that is a
        // Cancel, or the half-made scene would block "Create new scene" for good.
        if (scene->isNew && !scene->showManage &&
            std::find(scenes.begin(), scenes.end(), scene) != scenes.end())
            commands.CancelScene(*scene);
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

    project.Show(*this);
    jobModal.Draw(*this);
    activity.Note(*this);

    // A gesture (a drag, a stroke, typing into a field) has ended when no button is held and no
    // widget is active: the commands of the next one make a new undo step.
    const ImGuiIO& io = ImGui::GetIO();
    bool held = ImGui::IsAnyItemActive();
    for (const bool down : io.MouseDown)
        held |= down;
    if (!held) session.history.Seal();
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
            if (ImGui::MenuItem("Terrain from heightmap")) heightmapImport.open = true;
            if (ImGui::MenuItem("World...")) worldWindow.newWorldOpen = true;
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
        if (ImGui::MenuItem("Export", nullptr, false, !terrains.empty())) exportDialog.open = true;
        project.DrawMenuItems(*this);
        if (ImGui::MenuItem("Quit", "Ctrl+Q"))
            project.Request(*this, SessionAction::Quit); // closes the window once unsaved changes are settled
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("Edit"))
    {
        // The whole session's history, each item naming its step ("Undo Sculpt stroke").
        const History& history = session.history;
        const bool canUndo = commands.CanUndo();
        const bool canRedo = commands.CanRedo();
        const std::string undo = canUndo ? "Undo " + history.UndoName() : std::string("Undo");
        const std::string redo = canRedo ? "Redo " + history.RedoName() : std::string("Redo");
        if (ImGui::MenuItem((undo + "###Undo").c_str(), "Ctrl+Z", false, canUndo)) commands.Undo();
        if (ImGui::MenuItem((redo + "###Redo").c_str(), "Ctrl+Y", false, canRedo)) commands.Redo();
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("View"))
    {
        if (ImGui::BeginMenu("Show scene window"))
        {
            for (const auto& scene : scenes)
                ImGui::Checkbox(scene->name.c_str(), &scene->showWindow);
            if (ImGui::MenuItem("Create new scene")) commands.NewScene();
            ImGui::EndMenu();
        }
        if (ImGui::MenuItem("World", nullptr, false, worldWindow.settings.has_value()))
            worldWindow.open = true;
        ImGui::EndMenu();
    }
    if (ImGui::MenuItem("Settings")) showOptions = true;
    if (ImGui::MenuItem("Help")) showHelp = true;
    Session& s = session;
    if (!s.notice.empty() && glfwGetTime() - s.noticeTime > Session::kNoticeSeconds) s.notice.clear();
    if (!s.notice.empty())
    {
        ImGui::Separator();
        ImGui::TextColored(kGreen, "%s", s.notice.c_str());
        if (s.noticeAction && ImGui::SmallButton(s.noticeActionLabel.c_str()))
        {
            const std::function<void()> action = std::move(s.noticeAction);
            s.notice.clear();
            s.noticeAction = nullptr;
            action();
        }
    }
    ImGui::EndMainMenuBar();
}
