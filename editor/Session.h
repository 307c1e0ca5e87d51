#pragma once
// What the editor keeps of a working session beside its lists of objects: the project file it
// belongs to, the revision that tells unsaved changes, the recent projects, the long work on the
// job runner, and the one-line notice of what worked.
#include "editor/History.h"
#include "editor/ProjectForms.h"
#include "engine/Jobs.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

class Session
{
  public:
    std::string path; // the open project's file; empty for an untitled session

    // Every command (editor/Commands.h) makes a new revision; undo and redo go back to the revision a
    // step left, so undoing back to what was saved leaves no unsaved changes. Saving and opening
    // remember the revision the file holds. Looking around (camera moves, windows shown or hidden)
    // runs no command.
    uint64_t revision = 0;
    uint64_t savedRevision = 0;
    uint64_t revisionsMade = 0; // the last revision given out
    uint64_t NewRevision() { return revision = ++revisionsMade; }
    // Undo and redo of the session's commands (editor/History.h).
    History history;
    bool HasUnsavedChanges() const { return revision != savedRevision; }
    void MarkSaved(uint64_t saved) { savedRevision = saved; }
    void MarkSaved() { savedRevision = revision; }

    RecentProjects recent;

    // Long work (editor/EditorJobs.h starts it). Each operation goes through the runner whatever its
    // size; small work ends in the frame that started it (FinishSoon), larger work in a later frame.
    JobRunner jobs;
    // What jobs that add or replace terrains, scenes or shaders hold, so that they wait for each other.
    const void* ListsResource() const { return this; }
    bool IsBusy(const void* resource) const { return jobs.IsBusy(resource); }
    // Ends the jobs whose work is done: their completions run here, on the GUI thread. A job started
    // from a completion is left to the next call (JobRunner::Poll may not run inside itself).
    size_t PollJobs();
    // Waits up to wait for a job's work, then ends the jobs that are done: work that takes a moment
    // completes where it was asked for, as if it had run there.
    void FinishSoon(uint64_t job, std::chrono::milliseconds wait);

    // A one-line report of something that worked (what was saved and where), shown for a while below
    // the menu bar; with an action, a button labelled actionLabel beside it runs the action and
    // dismisses the notice.
    std::string notice;
    double noticeTime = 0.0; // GLFW time the notice was set
    std::string noticeActionLabel;
    std::function<void()> noticeAction;
    static constexpr double kNoticeSeconds = 10.0;
    void SetNotice(const std::string& text, const std::string& actionLabel = {},
                   std::function<void()> action = {});

  private:
    bool polling = false;
};
