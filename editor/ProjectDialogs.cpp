// The project commands in the File menu, their dialogs (Save Project As, Open Project), the
// unsaved-changes question and the window title.
#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "engine/Engine.h"

#include <GLFW/glfw3.h>
#include <imgui.h>
#include <imgui_internal.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace
{
constexpr const char* kUnsavedTitle = "Unsaved changes##project";
constexpr const char* kSaveAsTitle = "Save Project As##project";
constexpr const char* kOpenTitle = "Open Project##project";

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

constexpr float kFieldWidth = 420.0f;
const ImVec2 kButtonSize(120.0f, 30.0f);

// Centred, of a size that holds the dialog's longest form, kept while it is open.
bool BeginDialog(const char* title, ImVec2 size)
{
    gui::PlaceDialog(size);
    ImGui::OpenPopup(title);
    return ImGui::BeginPopupModal(title, nullptr,
                                  ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoCollapse | kNoDockingFlag);
}

// A path field's dialog: the field, lines of text below it and a row of buttons.
ImVec2 PathDialogSize(int textRows)
{
    return ImVec2(kFieldWidth + 2.0f * ImGui::GetStyle().WindowPadding.x,
                  gui::DialogHeight(1, textRows, kButtonSize.y));
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
    // The other dialogs stand aside for ours (SessionQuestionShowing), all but the progress of work
    // (a save the question asked for may run as a job): two modal popups cannot open side by side.
    if (!jobs.Busy())
    {
        const std::string question = UnsavedChangesForm::Question(ProjectName(project.path));
        const ImGuiStyle& style = ImGui::GetStyle();
        const ImVec2 questionSize(std::max(ImGui::CalcTextSize(question.c_str()).x,
                                           3.0f * kButtonSize.x + 2.0f * style.ItemSpacing.x) +
                                      2.0f * style.WindowPadding.x,
                                  gui::DialogHeight(0, 1, kButtonSize.y));
        if (unsaved.asking && BeginDialog(kUnsavedTitle, questionSize))
        {
            ImGui::TextUnformatted(question.c_str());
            const ImVec2 button = kButtonSize;
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
        else if (project.showSaveAs && BeginDialog(kSaveAsTitle, PathDialogSize(2)))
        {
            ProjectPathForm& form = project.saveAs;
            ImGui::SetNextItemWidth(kFieldWidth);
            if (ImGui::InputTextWithHint("##projectsavepath",
                                         "Project file, for example output/hills.velmoran", &form.path))
                form.confirmReplace = false;
            bool save = false;
            bool cancel = false;
            if (form.confirmReplace)
            {
                ImGui::PushStyleColor(ImGuiCol_Text, kRed);
                ImGui::TextWrapped("%s exists already. Replace it?", form.FilePath().c_str());
                ImGui::PopStyleColor();
                gui::BottomRow(kButtonSize.y);
                save = ImGui::Button("Replace##saveas", kButtonSize);
                ImGui::SameLine();
                if (ImGui::Button("Cancel##saveasreplace", kButtonSize)) form.confirmReplace = false;
            }
            else
            {
                gui::BottomRow(kButtonSize.y);
                if (form.CanSubmit() && ImGui::Button("Save##saveas", kButtonSize))
                {
                    if (form.NeedsReplaceQuestion(project.path))
                        form.confirmReplace = true;
                    else
                        save = true;
                }
                ImGui::SameLine();
                cancel = ImGui::Button("Cancel##saveas", kButtonSize) || gui::KeyDown(GLFW_KEY_ESCAPE);
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
        else if (project.showOpen && BeginDialog(kOpenTitle, PathDialogSize(0)))
        {
            ProjectPathForm& form = project.open;
            ImGui::SetNextItemWidth(kFieldWidth);
            ImGui::InputTextWithHint("##projectopenpath", "Project file (.velmoran)", &form.path);
            bool open = false;
            gui::BottomRow(kButtonSize.y);
            if (form.CanSubmit()) open = ImGui::Button("Open##openproject", kButtonSize);
            ImGui::SameLine();
            const bool cancel =
                ImGui::Button("Cancel##openproject", kButtonSize) || gui::KeyDown(GLFW_KEY_ESCAPE);
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
