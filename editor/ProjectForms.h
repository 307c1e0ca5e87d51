#pragma once
// State and decisions of the project commands: the unsaved-changes question, the project path dialogs,
// the recent projects list and the window title. Kept apart from the widgets so they can be tested.
#include <cstdint>
#include <string>
#include <vector>

// What the user asked for that would end the session.
enum class SessionAction
{
    None,
    CloseWindow, // the window's close button
    Quit,        // "File" > "Quit"
    NewProject,
    OpenProject,
};

// "Save changes to NAME?" with Save, Don't save and Cancel, asked before an action drops unsaved work.
struct UnsavedChangesForm
{
    enum class Answer
    {
        Save,
        DontSave,
        Cancel,
    };
    // What the editor does next.
    enum class Next
    {
        Nothing, // the action is dropped (or still waits for an answer)
        Proceed, // carry out the pending action now
        Save,    // save to the project's file, then report with Saved
        SaveAs,  // ask for a file name first (the Save Project As dialog), then report with Saved
    };

    SessionAction pending = SessionAction::None;
    std::string openPath; // the project to open, for OpenProject
    bool asking = false;  // the question is showing
    bool saving = false;  // waiting for the save the answer asked for

    // An action was asked for: it proceeds at once when nothing is unsaved; otherwise the question opens
    // (a second request while one is pending is ignored).
    Next Request(SessionAction action, bool unsaved, const std::string& path = {});
    Next Respond(Answer answer, bool hasProjectFile);
    // The save that Respond asked for ended: the action proceeds only when it succeeded.
    Next Saved(bool succeeded);
    void Clear();

    static std::string Question(const std::string& projectName)
    {
        return "Save changes to " + projectName + "?";
    }
};

// The path field of the Save Project As and Open Project dialogs.
struct ProjectPathForm
{
    std::string path;
    bool confirmReplace = false; // Save Project As: "Replace it?" is showing

    // The file the path names: ".velmoran" is added when it ends otherwise.
    std::string FilePath() const;
    bool CanSubmit() const;
    // Save Project As: whether saving must first ask to replace an existing file (one that is not the
    // project already open).
    bool NeedsReplaceQuestion(const std::string& openProject) const;
};

// The last eight projects opened or saved, most recent first, kept one path a line in a small file of
// the working folder.
struct RecentProjects
{
    static constexpr size_t kLimit = 8;
    std::string file = "recent_projects.txt";
    std::vector<std::string> paths;

    void Load();
    bool Save() const;
    // Moves path to the front (as an absolute path), drops the oldest beyond eight, and saves.
    void Add(const std::string& path);
    void Remove(const std::string& path);
};

// "NAME - Velmoran", with "*" after the name while there are unsaved changes ("Untitled" before the first
// save); "Velmoran" alone for an untouched session that has no file.
std::string ProjectWindowTitle(const std::string& projectPath, bool unsaved);
std::string ProjectName(const std::string& projectPath);
