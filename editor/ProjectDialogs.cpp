// The project commands in the File menu, their dialogs (Save Project As, Open Project), the
// unsaved-changes question and the window title.
#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "engine/Engine.h"

#include <GLFW/glfw3.h>
#include <imgui.h>
#include <imgui_internal.h>
#include <imgui_stdlib.h>

#include <cstring>
#include <filesystem>
#include <system_error>

namespace
{
constexpr const char* kUnsavedTitle = "Unsaved changes##project";
constexpr const char* kSaveAsTitle = "Save Project As##project";
constexpr const char* kOpenTitle = "Open Project##project";

// Another dialog is showing: ours wait for it, since two modal popups cannot open side by side.
bool OtherModalOpen()
{
    const ImGuiWindow* top = ImGui::GetTopMostPopupModal();
    if (top == nullptr) return false;
    for (const char* ours : {kUnsavedTitle, kSaveAsTitle, kOpenTitle})
        if (std::strcmp(top->Name, ours) == 0) return false;
    return true;
}

// A question or dialog settled without its buttons must not stay on the popup stack, where it would
// go on blocking the other windows.
void CloseUnshownDialog(bool shown)
{
    if (shown) return;
    const ImGuiContext& g = *ImGui::GetCurrentContext();
    for (int n = 0; n < g.OpenPopupStack.Size; ++n)
    {
        const ImGuiWindow* window = g.OpenPopupStack[n].Window;
        if (window == nullptr) continue;
        for (const char* ours : {kUnsavedTitle, kSaveAsTitle, kOpenTitle})
            if (std::strcmp(window->Name, ours) == 0)
            {
                ImGui::ClosePopupToLevel(n, true);
                return;
            }
    }
}

bool BeginDialog(const char* title)
{
    const ImVec2 size = gui::MainFramebufferSize();
    ImGui::SetNextWindowPos(ImVec2(size.x * 0.5f, size.y * 0.5f), ImGuiCond_Appearing, ImVec2(0.5f, 0.5f));
    ImGui::OpenPopup(title);
    return ImGui::BeginPopupModal(
        title, nullptr, ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoCollapse | kNoDockingFlag);
}
} // namespace

void Editor::DrawProjectMenuItems()
{
    ImGui::Separator();
    if (ImGui::MenuItem("New Project")) RequestSessionAction(SessionAction::NewProject);
    if (ImGui::MenuItem("Open Project...", "Ctrl+O")) project.showOpen = true;
    if (ImGui::BeginMenu("Open Recent", !project.recent.paths.empty()))
    {
        const std::vector<std::string> recent = project.recent.paths; // opening reorders the list
        for (const std::string& path : recent)
            if (ImGui::MenuItem(path.c_str())) RequestSessionAction(SessionAction::OpenProject, path);
        ImGui::EndMenu();
    }
    if (ImGui::MenuItem("Save Project", "Ctrl+S")) SaveProjectCommand();
    if (ImGui::MenuItem("Save Project As..."))
    {
        project.saveAs.path = project.path;
        project.saveAs.confirmReplace = false;
        project.showSaveAs = true;
    }
    ImGui::Separator();
}

void Editor::ShowProjectDialogs()
{
    UnsavedChangesForm& unsaved = project.unsaved;
    CloseUnshownDialog(unsaved.asking || project.showSaveAs || project.showOpen);
    if (!OtherModalOpen())
    {
        if (unsaved.asking && BeginDialog(kUnsavedTitle))
        {
            ImGui::TextUnformatted(UnsavedChangesForm::Question(ProjectName(project.path)).c_str());
            const ImVec2 button(120.0f, 30.0f);
            UnsavedChangesForm::Answer answer{};
            bool answered = false;
            if (ImGui::Button("Save##unsaved", button))
                answer = UnsavedChangesForm::Answer::Save, answered = true;
            ImGui::SameLine();
            if (ImGui::Button("Don't save##unsaved", button))
                answer = UnsavedChangesForm::Answer::DontSave, answered = true;
            ImGui::SameLine();
            if (ImGui::Button("Cancel##unsaved", button) || gui::KeyDown(GLFW_KEY_ESCAPE))
                answer = UnsavedChangesForm::Answer::Cancel, answered = true;
            if (answered)
            {
                ImGui::CloseCurrentPopup();
                ImGui::EndPopup();
                AnswerUnsavedChanges(answer);
            }
            else
            {
                ImGui::EndPopup();
            }
        }
        else if (project.showSaveAs && BeginDialog(kSaveAsTitle))
        {
            ProjectPathForm& form = project.saveAs;
            ImGui::SetNextItemWidth(420.0f);
            if (ImGui::InputTextWithHint("##projectsavepath",
                                         "Project file, for example output/hills.velmoran", &form.path))
                form.confirmReplace = false;
            bool save = false;
            bool cancel = false;
            if (form.confirmReplace)
            {
                gui::TextColored(kRed, form.FilePath() + " exists already. Replace it?");
                save = ImGui::Button("Replace##saveas", ImVec2(120.0f, 30.0f));
                ImGui::SameLine();
                if (ImGui::Button("Cancel##saveasreplace", ImVec2(120.0f, 30.0f)))
                    form.confirmReplace = false;
            }
            else
            {
                if (form.CanSubmit() && ImGui::Button("Save##saveas", ImVec2(120.0f, 30.0f)))
                {
                    if (form.NeedsReplaceQuestion(project.path))
                        form.confirmReplace = true;
                    else
                        save = true;
                }
                ImGui::SameLine();
                cancel =
                    ImGui::Button("Cancel##saveas", ImVec2(120.0f, 30.0f)) || gui::KeyDown(GLFW_KEY_ESCAPE);
            }
            if (save || cancel)
            {
                project.showSaveAs = false;
                form.confirmReplace = false;
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
            // The question's Save waits for this dialog: go on with the action, or drop it.
            if (save)
                StartSaveProject(form.FilePath(), [this](bool saved) { QuestionSaveEnded(saved); });
            else if (cancel)
                QuestionSaveEnded(false);
        }
        else if (project.showOpen && BeginDialog(kOpenTitle))
        {
            ProjectPathForm& form = project.open;
            ImGui::SetNextItemWidth(420.0f);
            ImGui::InputTextWithHint("##projectopenpath", "Project file (.velmoran)", &form.path);
            bool open = false;
            if (form.CanSubmit()) open = ImGui::Button("Open##openproject", ImVec2(120.0f, 30.0f));
            ImGui::SameLine();
            const bool cancel =
                ImGui::Button("Cancel##openproject", ImVec2(120.0f, 30.0f)) || gui::KeyDown(GLFW_KEY_ESCAPE);
            if (open || cancel)
            {
                project.showOpen = false;
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
            if (open)
            {
                // As typed when that file exists; otherwise with the extension added.
                std::error_code code;
                const std::string path =
                    std::filesystem::exists(form.path, code) ? form.path : form.FilePath();
                RequestSessionAction(SessionAction::OpenProject, path);
            }
        }
    }

    const std::string title = ProjectWindowTitle(project.path, HasUnsavedChanges());
    if (title != project.shownTitle)
    {
        project.shownTitle = title;
        if (GLFWwindow* window = Engine::Get().window.handle) glfwSetWindowTitle(window, title.c_str());
    }
}
