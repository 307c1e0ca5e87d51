// The project commands in the File menu, their dialogs (Save Project As, Open Project), the
// unsaved-changes question and the window title.
#include "editor/ProjectDialogs.h"

#include "editor/Editor.h"
#include "editor/EditorJobs.h"
#include "editor/GuiUtil.h"
#include "editor/ProjectSession.h"
#include "engine/Engine.h"
#include "engine/Log.h"
#include "engine/ProcessMemory.h"
#include "io/ProjectFile.h"
#include "render/Shader.h"
#include "terrain/Project.h"

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

void ProjectDialogs::DrawMenuItems(Editor& editor)
{
    ImGui::Separator();
    if (ImGui::MenuItem("New Project")) Request(editor, SessionAction::NewProject);
    if (ImGui::MenuItem("Open Project...", "Ctrl+O")) showOpen = true;
    if (ImGui::BeginMenu("Open Recent", !editor.session.recent.paths.empty()))
    {
        const std::vector<std::string> recent = editor.session.recent.paths; // opening reorders the list
        for (const std::string& path : recent)
            if (ImGui::MenuItem(path.c_str())) Request(editor, SessionAction::OpenProject, path);
        ImGui::EndMenu();
    }
    if (ImGui::MenuItem("Save Project", "Ctrl+S")) SaveCommand(editor);
    if (ImGui::MenuItem("Save Project As..."))
    {
        saveAs.path = editor.session.path;
        saveAs.confirmReplace = false;
        showSaveAs = true;
    }
    ImGui::Separator();
}

void ProjectDialogs::Show(Editor& editor)
{
    Session& session = editor.session;
    CloseUnshownDialog(unsaved.asking || showSaveAs || showOpen);
    // The other dialogs stand aside for ours (QuestionShowing), all but the progress of work (a save
    // the question asked for runs as a job): two modal popups cannot open side by side.
    if (!session.jobs.Busy())
    {
        const std::string question = UnsavedChangesForm::Question(ProjectName(session.path));
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
                Answer(editor, answer);
            }
            else
            {
                ImGui::EndPopup();
            }
        }
        else if (showSaveAs && BeginDialog(kSaveAsTitle, PathDialogSize(2)))
        {
            ProjectPathForm& form = saveAs;
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
                    if (form.NeedsReplaceQuestion(session.path))
                        form.confirmReplace = true;
                    else
                        save = true;
                }
                ImGui::SameLine();
                cancel = ImGui::Button("Cancel##saveas", kButtonSize) || gui::KeyDown(GLFW_KEY_ESCAPE);
            }
            if (save || cancel)
            {
                showSaveAs = false;
                form.confirmReplace = false;
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
            // The question's Save waits for this dialog: go on with the action, or drop it.
            if (save)
                Save(editor, form.FilePath(),
                     [this, &editor](bool saved) { QuestionSaveEnded(editor, saved); });
            else if (cancel)
                QuestionSaveEnded(editor, false);
        }
        else if (showOpen && BeginDialog(kOpenTitle, PathDialogSize(0)))
        {
            ProjectPathForm& form = open;
            ImGui::SetNextItemWidth(kFieldWidth);
            ImGui::InputTextWithHint("##projectopenpath", "Project file (.velmoran)", &form.path);
            bool chosen = false;
            gui::BottomRow(kButtonSize.y);
            if (form.CanSubmit()) chosen = ImGui::Button("Open##openproject", kButtonSize);
            ImGui::SameLine();
            const bool cancel =
                ImGui::Button("Cancel##openproject", kButtonSize) || gui::KeyDown(GLFW_KEY_ESCAPE);
            if (chosen || cancel)
            {
                showOpen = false;
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
            if (chosen)
            {
                // As typed when that file exists; otherwise with the extension added.
                std::error_code code;
                const std::string path =
                    std::filesystem::exists(form.path, code) ? form.path : form.FilePath();
                Request(editor, SessionAction::OpenProject, path);
            }
        }
    }

    const std::string title = ProjectWindowTitle(session.path, session.HasUnsavedChanges());
    if (title != shownTitle)
    {
        shownTitle = title;
        if (GLFWwindow* window = Engine::Get().window.handle) glfwSetWindowTitle(window, title.c_str());
    }
}

// -------------------------------------------------------------------------------------------------
// The commands and the unsaved-changes flow

void ProjectDialogs::SaveCommand(Editor& editor)
{
    if (editor.session.path.empty())
    {
        saveAs.confirmReplace = false;
        showSaveAs = true;
    }
    else
    {
        Save(editor, editor.session.path);
    }
}

namespace
{
struct SavedProject
{
    bool saved = false;
    bool cancelled = false;
    std::string reason;
};

struct OpenedProject
{
    bool opened = false;
    std::string reason;
    Project project;
};
} // namespace

void ProjectDialogs::Save(Editor& editor, const std::string& path, std::function<void(bool saved)> then)
{
    // The capture copies the session on the GUI thread; the file is written by the job.
    Log::Trace("Saving project {}", path);
    Session& session = editor.session;
    const uint64_t revision = session.revision;
    JobRunner::Request request;
    request.title = "Saving project " + ProjectFile::DisplayName(path);
    request.subject = "the session";
    request.resources = {session.ListsResource()};
    for (const auto& terrain : editor.terrains) // captured below: none may be changing under a job
        request.resources.push_back(terrain.get());
    request.cancellable = true;
    for (const void* resource : request.resources)
        if (session.IsBusy(resource))
        {
            // Refused before capturing: a busy terrain may be changing on its worker. The runner
            // gives the refusal its usual words.
            StartJob(
                editor, std::move(request), [](JobContext&) {}, [] {});
            if (then) then(false);
            return;
        }
    auto saved = std::make_shared<bool>(false); // then hears it once the job has ended, however it ended
    const bool started = StartJob(
        editor, std::move(request),
        [captured = CaptureProject(editor), path](JobContext& job)
        {
            SavedProject result;
            result.saved = ProjectFile::Save(captured, path, &result.reason, JobProgress(job));
            result.cancelled = !result.saved && job.CancelRequested();
            return result;
        },
        [&editor, path, revision, saved](SavedProject& result)
        {
            *saved = result.saved;
            Session& session = editor.session;
            if (result.saved)
            {
                session.path = path;
                session.recent.Add(path);
                session.MarkSaved(revision); // the session as it was captured
                session.SetNotice("Saved " + FilesInFolder({path}) + ".");
            }
            else if (result.cancelled)
            {
                session.SetNotice("Saving " + path + " was cancelled; the file is as it was.");
            }
            else
            {
                const std::string message = ProjectFile::SaveMessage(path, result.reason);
                Log::Error("{}", message);
                editor.SetError(message);
            }
        },
        [then, saved](const JobOutcome&)
        {
            if (then) then(*saved);
        });
    if (!started && then) then(false);
}

void ProjectDialogs::Open(Editor& editor, const std::string& path)
{
    JobRunner::Request request;
    request.title = "Opening project " + ProjectFile::DisplayName(path);
    request.subject = "the session";
    request.resources = {editor.session.ListsResource()};
    for (const auto& terrain : editor.terrains) // replaced at the end: none may be busy
        request.resources.push_back(terrain.get());
    request.cancellable = true;
    StartJob(
        editor, std::move(request),
        [path](JobContext& job)
        {
            Log::Trace("Opening project {}", path);
            OpenedProject out;
            job.Report(0.0f, "Reading " + FileName(path));
            if (!ProjectFile::Open(path, out.project, &out.reason, JobProgress(job, 0.0f, 0.6f)))
            {
                job.ThrowIfCancelled();
                return out;
            }
            job.Report(0.6f, "Building the terrains");
            out.opened = BuildProjectTerrains(out.project, &out.reason, JobProgress(job, 0.6f, 1.0f));
            job.ThrowIfCancelled();
            return out;
        },
        [this, &editor, path](OpenedProject& opened)
        {
            if (!opened.opened)
            {
                ReportOpenFailure(editor, path, opened.reason);
                return;
            }
            RestoreBuiltProject(editor, std::move(opened.project));
            editor.session.path = path;
            editor.session.recent.Add(path);
            editor.session.MarkSaved();
        });
}

void ProjectDialogs::ReportOpenFailure(Editor& editor, const std::string& path, const std::string& reason)
{
    const std::string message = ProjectFile::OpenMessage(path, reason);
    Log::Error("{}", message);
    editor.SetError(message);
    // A recent project that is gone leaves the list.
    RecentProjects& recent = editor.session.recent;
    std::error_code code;
    if (!std::filesystem::exists(path, code) &&
        std::find(recent.paths.begin(), recent.paths.end(), path) != recent.paths.end())
    {
        recent.Remove(path);
        recent.Save();
    }
}

void ProjectDialogs::NewProject(Editor& editor)
{
    // Editor::Initialize puts the built-in shaders first; the user's go with the session.
    constexpr size_t kBuiltInShaders = 3;
    ClearSessionState(editor);
    editor.terrains.clear();
    editor.scenes.clear();
    editor.cameras.clear();
    if (editor.shaders.size() > kBuiltInShaders) editor.shaders.resize(kBuiltInShaders);
    editor.sceneCounter = 0;
    editor.sceneWindow.aspectRatioIndex = 0;
    editor.session.path.clear();
    editor.session.MarkSaved();
    ProcessMemory::ReleaseFreed(); // the old session's memory goes back
}

void ProjectDialogs::Request(Editor& editor, SessionAction action, const std::string& path)
{
    if (unsaved.Request(action, editor.session.HasUnsavedChanges(), path) ==
        UnsavedChangesForm::Next::Proceed)
        Perform(editor, action, path);
}

void ProjectDialogs::Answer(Editor& editor, UnsavedChangesForm::Answer answer)
{
    const UnsavedChangesForm::Next next = unsaved.Respond(answer, !editor.session.path.empty());
    if (next == UnsavedChangesForm::Next::Save)
    {
        // The action goes ahead once the save has ended well.
        Save(editor, editor.session.path, [this, &editor](bool saved) { QuestionSaveEnded(editor, saved); });
        return;
    }
    if (next == UnsavedChangesForm::Next::SaveAs)
    {
        // The Save Project As dialog reports back through QuestionSaveEnded.
        saveAs.path = saveAs.path.empty() ? "output/untitled" : saveAs.path;
        saveAs.confirmReplace = false;
        showSaveAs = true;
        return;
    }
    if (next == UnsavedChangesForm::Next::Proceed)
    {
        const SessionAction action = unsaved.pending;
        const std::string path = unsaved.openPath;
        unsaved.Clear();
        Perform(editor, action, path);
    }
}

void ProjectDialogs::QuestionSaveEnded(Editor& editor, bool saved)
{
    if (unsaved.Saved(saved) != UnsavedChangesForm::Next::Proceed) return;
    const SessionAction action = unsaved.pending;
    const std::string path = unsaved.openPath;
    unsaved.Clear();
    Perform(editor, action, path);
}

void ProjectDialogs::Perform(Editor& editor, SessionAction action, const std::string& path)
{
    switch (action)
    {
    case SessionAction::CloseWindow:
    case SessionAction::Quit:
        if (GLFWwindow* window = Engine::Get().window.handle) glfwSetWindowShouldClose(window, GLFW_TRUE);
        break;
    case SessionAction::NewProject:
        NewProject(editor);
        break;
    case SessionAction::OpenProject:
        Open(editor, path);
        break;
    case SessionAction::None:
        break;
    }
}

void ProjectDialogs::OnWindowCloseRequest(Editor& editor)
{
    GLFWwindow* window = Engine::Get().window.handle;
    if (editor.session.jobs.Busy())
    {
        // Work that is stopped changes nothing; work that cannot stop is waited for. Then the close
        // goes on as usual (the unsaved-changes question included), from CloseAfterJobs.
        if (window != nullptr) glfwSetWindowShouldClose(window, GLFW_FALSE);
        closeAfterJobs = true;
        for (const JobView& view : editor.session.jobs.Running())
            editor.session.jobs.Cancel(view.id);
        editor.Wake();
        return;
    }
    if (!editor.session.HasUnsavedChanges()) return; // the window closes after this frame
    if (window != nullptr) glfwSetWindowShouldClose(window, GLFW_FALSE);
    Request(editor, SessionAction::CloseWindow);
}

void ProjectDialogs::CloseAfterJobs(Editor& editor)
{
    if (!closeAfterJobs || editor.session.jobs.Busy()) return;
    closeAfterJobs = false;
    if (!editor.session.HasUnsavedChanges())
    {
        if (GLFWwindow* window = Engine::Get().window.handle) glfwSetWindowShouldClose(window, GLFW_TRUE);
    }
    else
    {
        Request(editor, SessionAction::CloseWindow);
    }
}
