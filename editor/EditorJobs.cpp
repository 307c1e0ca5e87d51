// Long work on the job runner (EditorJobs.h): what every job does with the editor, and the progress
// modal. The jobs themselves are in the types that start them.
#include "editor/EditorJobs.h"

#include "editor/Editor.h"
#include "editor/GuiUtil.h"
#include "engine/Log.h"

#include <imgui.h>

#include <cfloat>
#include <cstdio>
#include <filesystem>

namespace
{
constexpr const char* kModalTitle = "Working###jobprogress";
} // namespace

std::string FileName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

std::function<bool(float)> JobProgress(JobContext& job, float from, float to)
{
    return [&job, from, to](float done)
    {
        job.Report(from + (to - from) * done);
        return !job.CancelRequested();
    };
}

JobRunner& RunnerOf(Editor& editor)
{
    return editor.session.jobs;
}

void JobStarted(const std::string& title)
{
    Log::Trace("{} started.", title);
}

void JobEnded(Editor& editor, const JobOutcome& outcome, const JobRunner::Finished& finished)
{
    editor.Wake(); // the scenes draw what the job changed
    if (outcome.Failed())
        editor.SetError(outcome.title + " failed: " + outcome.error);
    else if (outcome.Cancelled())
        editor.session.SetNotice(outcome.title + " was cancelled; nothing was changed.");
    if (finished) finished(outcome);
}

bool JobLaunched(Editor& editor, const JobRunner::Started& started, std::chrono::milliseconds wait)
{
    editor.Wake();
    if (!started)
    {
        editor.SetError(started.refusal);
        return false;
    }
    editor.session.FinishSoon(started.id, wait);
    return true;
}

void JobModal::Draw(Editor& editor)
{
    JobRunner& jobs = editor.session.jobs;
    const std::vector<JobView> running = jobs.Running();
    // Work that has run a moment shows; once shown, the modal stays until the work ends.
    bool due = ImGui::IsPopupOpen(kModalTitle);
    for (const JobView& view : running)
        due |= view.seconds >= delaySeconds;
    if (!running.empty() && due)
    {
        const ImVec2 display = ImGui::GetIO().DisplaySize;
        ImGui::SetNextWindowPos(ImVec2(display.x * 0.5f, display.y * 0.5f), ImGuiCond_Always,
                                ImVec2(0.5f, 0.5f));
        ImGui::SetNextWindowSize(ImVec2(460.0f, 0.0f));
        ImGui::OpenPopup(kModalTitle);
    }
    if (!ImGui::BeginPopupModal(kModalTitle, nullptr,
                                ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize |
                                    ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                                    kNoDockingFlag))
        return;
    if (running.empty()) ImGui::CloseCurrentPopup();
    for (const JobView& view : running)
    {
        ImGui::PushID(static_cast<int>(view.id));
        ImGui::TextUnformatted(view.title.c_str());
        char overlay[32];
        std::snprintf(overlay, sizeof overlay, "%.0f %%", 100.0 * static_cast<double>(view.fraction));
        ImGui::ProgressBar(view.fraction, ImVec2(-FLT_MIN, 0.0f), overlay);
        const char* step = view.completing        ? view.text.c_str()
                           : view.workDone        ? "Finishing"
                           : view.cancelRequested ? "Stopping..."
                                                  : view.text.c_str();
        ImGui::TextColored(kHint, "%s (%.1f s)", step, view.seconds);
        if (view.cancellable && !view.cancelRequested && ImGui::Button("Cancel##job", ImVec2(120.0f, 0.0f)))
        {
            jobs.Cancel(view.id);
            editor.Wake();
        }
        ImGui::PopID();
        ImGui::Separator();
    }
    if (editor.project.closeAfterJobs)
        ImGui::TextColored(kHint, "The window closes when the work has stopped.");
    ImGui::EndPopup();
}
