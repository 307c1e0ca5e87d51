#pragma once
// The project commands of the File menu (New Project, Open Project..., Open Recent, Save Project,
// Save Project As...), their dialogs, the unsaved-changes question that guards everything ending the
// session (window close, Quit, New Project, Open Project) and the window title. The decisions are in
// ProjectForms.h; capturing and restoring the session is ProjectSession.h.
#include "editor/ProjectForms.h"

#include <functional>
#include <string>

class Editor;

struct ProjectDialogs
{
    UnsavedChangesForm unsaved;
    ProjectPathForm saveAs;
    bool showSaveAs = false;
    ProjectPathForm open;
    bool showOpen = false;
    std::string shownTitle;
    bool closeAfterJobs = false; // the window was asked to close while work ran

    void DrawMenuItems(Editor& editor);
    // Per frame: the question and the dialogs (when no work runs), and the window title.
    void Show(Editor& editor);

    // Save Project (Ctrl+S): to the open project's file, or through Save Project As without one.
    void SaveCommand(Editor& editor);
    // Writes the session as it is now to path on the job runner; then, when given, hears whether it was
    // saved once the job has ended. A failure shows the Error popup; the notice says where it went.
    void Save(Editor& editor, const std::string& path, std::function<void(bool saved)> then = {});
    // Opens path on the job runner; the session is replaced once the whole project is built. A refused
    // file shows the Error popup and leaves the session as it was.
    void Open(Editor& editor, const std::string& path);
    // New Project: an empty session without a file.
    void NewProject(Editor& editor);
    // Window close, Quit, New Project and Open Project go through here: unsaved changes are asked about.
    void Request(Editor& editor, SessionAction action, const std::string& path = {});
    // The question (or the save it asked for) is showing: it comes first, whatever else was open, and
    // the other dialogs stand aside, keeping their state, until it is answered.
    bool QuestionShowing() const { return unsaved.asking || unsaved.saving; }
    void Answer(Editor& editor, UnsavedChangesForm::Answer answer);
    // The window's close button; keeps the window open while the question is asked or work stops.
    void OnWindowCloseRequest(Editor& editor);
    // Per frame: a close asked for while work ran goes on once the work has stopped.
    void CloseAfterJobs(Editor& editor);
    // "Cannot open project PATH: REASON" in the Error popup; a recent project that is gone leaves the list.
    void ReportOpenFailure(Editor& editor, const std::string& path, const std::string& reason);

  private:
    void QuestionSaveEnded(Editor& editor, bool saved);
    void Perform(Editor& editor, SessionAction action, const std::string& path);
};
