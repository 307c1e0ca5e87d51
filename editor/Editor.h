#pragma once
// The editor application: its shared lists, the flags that open its windows, and its GUI.
//
// Files: Editor.cpp (lifecycle, rendering, scene bookkeeping), MainMenu.cpp (dock space, menu bar,
// error popup, options, help), ManageDialog.cpp, NewTerrainDialog.cpp, FileDialogs.cpp (save, load,
// new shader), SceneWindow.cpp (scene, camera and terrain generator windows), GeneratorPanel.cpp
// (layers), TexturePanel.cpp, DiffuseEditor.cpp, TextureEditor.cpp (brush), WaterEditor.cpp,
// ExportDialogs.cpp (export, terrain from heightmap), EditorJobs.cpp (long work on the job runner
// and its progress modal), StatusLine.cpp (status line, the empty window's hint, keyboard
// shortcuts, Frame terrain).
// Dialog state and decisions live in NewTerrainForm, FileDialogs, ScenePanels, TexturePanels,
// ExportForm, HeightmapImportForm and StatusLine.
#include "editor/ExportForm.h"
#include "editor/FileDialogs.h"
#include "editor/HeightmapImportForm.h"
#include "editor/NewTerrainForm.h"
#include "editor/ProjectForms.h"
#include "editor/ScenePanels.h"
#include "editor/StatusLine.h"
#include "editor/TexturePanels.h"
#include "engine/App.h"
#include "engine/Jobs.h"
#include "terrain/Brush.h"

#include <imgui.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Camera;
struct Project;
class Scene;
class Shader;
class Terrain;
class Texture;

class Editor : public App
{
  public:
    void Initialize() override;
    void Shutdown() override;
    void Render() override;
    void Update() override;
    void GetWindowProperties(WindowProperties& out) override;
    void OnGUI() override;

    void SetError(const std::string& text);
    // A one-line report of something that worked (what was saved and where), shown for a while
    // below the menu bar; with an action, a button labelled actionLabel beside it runs the action
    // and dismisses the notice.
    void SetNotice(const std::string& text);
    void SetNotice(const std::string& text, const std::string& actionLabel, std::function<void()> action);
    // Whether the engine may wait for input before the next frame: nothing moves or is held, and
    // the last few frames changed nothing on their own. Idle frames do not draw the scenes again.
    bool CanWaitForEvents() override;
    // While a job runs the editor keeps drawing its progress, a few dozen frames a second at most.
    double EventWaitSeconds(double idleSeconds) override;
    // For changes that come without input (work finishing, a test's direct calls): the next frames
    // draw everything again, as after input.
    void Wake() { quietFrames = 0; }
    void DrawDockSpace();
    void DrawMainMenuBar();
    void DrawManageDialog(const std::shared_ptr<Scene>& scene);
    void ShowNewTerrainDialog();
    void ShowSaveTerrainDialog();
    void ShowLoadTerrainDialog();
    void ShowNewShaderDialog();
    void ShowExportDialog();
    void ShowHeightmapImportDialog();
    void ShowSceneWindow(const std::shared_ptr<Scene>& scene);
    void ShowTerrainGenerator(Scene& scene);
    void ShowLayerPanel(const std::shared_ptr<Terrain>& terrain);
    void ShowTexturePanel(const std::shared_ptr<Terrain>& terrain);
    void ShowWaterEditor(const std::shared_ptr<Terrain>& terrain);
    void ShowDiffuseTextureEditor(const std::shared_ptr<Terrain>& terrain);
    // The brush editor on one texture; texture is the panel's pointer, open the window's flag.
    void ShowTextureEditor(Texture*& texture, bool& open);

    // What the widgets decide, callable without them.
    // "Create new scene": refuses with an error popup, or creates the scene and opens its Create dialog.
    std::shared_ptr<Scene> CreateNewScene();
    // "Create" of the New Terrain dialog: builds the terrain, lists it, makes the first scene.
    std::shared_ptr<Terrain> CreateTerrainFromForm();
    // A new terrain (New Terrain, Terrain from heightmap) joins the list. The first one brings the
    // first scene; later ones are not shown at once, so a notice names them and offers to show them
    // in the focused scene.
    void AddNewTerrain(const std::shared_ptr<Terrain>& terrain);
    std::vector<std::string> TerrainNames() const;
    // "Load .obj": an empty terrain filled from the file. A refused file adds nothing (null) and shows
    // its reason in the error popup; a loaded terrain gets a name no other terrain has and is shown
    // (ShowLoadedTerrain).
    std::shared_ptr<Terrain> LoadTerrain(const std::string& path);
    // Puts a terrain in the focused scene (the last scene window that had focus, else the first
    // scene), or in a new scene whose Create dialog opens, as for the first new terrain.
    std::shared_ptr<Scene> ShowLoadedTerrain(const std::shared_ptr<Terrain>& terrain);
    // "Save##sf": when a chosen file exists already, the dialog asks first (false: nothing written
    // yet); otherwise it saves as SaveTerrainFromForm does.
    bool PressSaveTerrain();
    // "Replace##sf", or "Save##sf" with nothing to replace: writes the chosen files; the Error popup
    // names each failure and its reason, otherwise the notice says what was written and where.
    void SaveTerrainFromForm();
    // The generator's panels show one terrain at a time: when it changes, everything they held of
    // another terrain (selected layer, chosen texture, open editors and dialogs) is let go.
    void FollowGeneratorTerrain(const std::shared_ptr<Terrain>& terrain);
    // "Create##nsfw": a shader from baseName + ".vert" and ".frag", appended to the list.
    std::shared_ptr<Shader> CreateShader(const std::string& baseName);
    void RemoveScene(uint32_t sceneId);
    // "Export" of the Export dialog: writes the files, or asks before overwriting, or shows the
    // error popup; the dialog closes unless it asks.
    ExportForm::Outcome ExportFromForm(bool overwrite);
    // "Create folder" of the Export dialog's question: makes the missing folder, then exports.
    ExportForm::Outcome CreateFolderAndExport();
    // "Create" of the Terrain from heightmap dialog: the terrain, listed, with a first scene as New
    // Terrain makes one; a refused file shows its reason in the error popup and builds nothing.
    std::shared_ptr<Terrain> CreateTerrainFromHeightmap();

    // Long work on the job runner (EditorJobs.cpp, which explains how to add a job). The operations
    // above run there, with the progress modal, when their work is at least this large; smaller work
    // stays on the GUI thread, over before a modal could show, and returns its result as before. A
    // started job returns null (or false where noted) and finishes in a later frame.
    struct BackgroundLimits
    {
        uint64_t vertices =
            uint64_t{1025} * 1025; // a terrain's grid (create, Save Terrain, export, project save)
        uint64_t objBytes = uint64_t{64} << 20;    // Load Terrain's OBJ file
        uint64_t imageBytes = uint64_t{1} << 20;   // Terrain from heightmap's image file
        uint64_t projectBytes = uint64_t{8} << 20; // Open Project's file
    } background;
    JobRunner jobs;
    // Starts work on the runner: the progress modal shows it, a failure opens the Error popup, and
    // the session's terrains it names in request.resources are locked until it ends. False, with the
    // refusal in the Error popup, when one of them is busy.
    template <typename WorkFn, typename CompleteFn>
    bool StartJob(JobRunner::Request request, WorkFn work, CompleteFn complete,
                  JobRunner::Finished finished = {});
    // What jobs changing the session's lists (terrains added or replaced) hold, so that they wait for
    // each other.
    const void* SessionResource() const { return &terrains; }
    bool IsBusy(const Terrain* terrain) const { return jobs.IsBusy(terrain); }
    void DrawJobModal();
    // A progress callback for functions that take one: reports the share done, mapped into
    // [from, to] of the job, and asks to stop once Cancel was pressed.
    static std::function<bool(float)> JobProgress(JobContext& job, float from = 0.0f, float to = 1.0f);
    // Save Project and Open Project as the menus run them: on the runner when large (then reports
    // through then, or the Error popup, when the job ends), otherwise at once as SaveProject and
    // OpenProject do.
    void StartSaveProject(const std::string& path, std::function<void(bool saved)> then = {});
    void StartOpenProject(const std::string& path);
    // The GL-free half of RestoreProject: every terrain record completed (TerrainRecord::Complete), in
    // the project's order. False with the reason when one cannot be built, or (reason "opening was
    // cancelled") when progress says stop.
    static bool BuildProjectTerrains(Project& project, std::string* error,
                                     const std::function<bool(float)>& progress = {});
    // The GL half: replaces the session with the project and its completed terrains; cannot fail.
    void RestoreBuiltProject(Project&& project);

    // Update mesh and realtime updates: the layer stack applied at once, or on the runner when the
    // terrain is large and holds an erosion entry (a run takes seconds there).
    void ApplyLayers(Terrain& terrain);

    // Frame terrain: the scene's camera above and outside its terrain, all of it in view.
    void FrameTerrain(Scene& scene);
    // Status line, the empty window's hint and keyboard shortcuts (StatusLine.cpp).
    void DrawStatusLine();
    void DrawStartHint();
    void HandleShortcuts();
    // Whether a dialog is open or opening, which no shortcut may act behind.
    bool DialogOpen() const;
    // Ctrl+Z and Ctrl+Y: undo and redo of the selected layer's settings, as its buttons do. False
    // when there is nothing to undo or redo, no noise layer is selected, or its terrain is busy.
    bool UndoLayerSettings(bool redo);
    bool CanUndoLayerSettings(bool redo) const;

    // Manage dialog decisions for one scene.
    void ManageTakeRestorePoint(const Scene& scene);
    void ManageFillDefaults(Scene& scene);
    void ManageChooseTerrain(Scene& scene, const std::shared_ptr<Terrain>& terrain);
    void ManageChooseShader(Scene& scene, const std::shared_ptr<Shader>& listed);
    void ManageCreate(Scene& scene);
    void ManageCancelCreate(const Scene& scene);
    void ManageApply(Scene& scene);
    void ManageCancel(Scene& scene);
    void ManageDestroy(const Scene& scene);

    // Projects (ProjectSession.cpp, ProjectDialogs.cpp): the whole session in one file.
    Project CaptureProject() const;
    // Replaces the session with the project's. False, with the reason and nothing changed, when a
    // terrain cannot be rebuilt.
    bool RestoreProject(Project&& project, std::string* error = nullptr);
    // Save Project: false (and the Error popup) when the file could not be written.
    bool SaveProject(const std::string& path);
    // Open Project: false (and the Error popup) when the file is refused; the session stays as it was.
    bool OpenProject(const std::string& path);
    // New Project: an empty session without a file.
    void NewProject();
    // Window close, Quit, New Project and Open Project go through here: unsaved changes are asked about.
    void RequestSessionAction(SessionAction action, const std::string& path = {});
    // The unsaved-changes question (or the save it asked for) is showing: it comes first, whatever
    // else was open, and the other dialogs stand aside, keeping their state, until it is answered.
    bool SessionQuestionShowing() const { return project.unsaved.asking || project.unsaved.saving; }
    void AnswerUnsavedChanges(UnsavedChangesForm::Answer answer);
    // The window's close button; keeps the window open while the question is asked.
    void OnWindowCloseRequest();
    // A summary of what a project keeps of the session (view state aside), for noticing changes.
    uint64_t SessionFingerprint() const;
    bool HasUnsavedChanges() const;
    void MarkSessionSaved();
    // The answer to the unsaved-changes question asked for a save; this is how it ended.
    void QuestionSaveEnded(bool saved);
    void DrawProjectMenuItems();
    void ShowProjectDialogs();

    struct ProjectState
    {
        std::string path; // the open project's file; empty for an untitled session
        uint64_t savedFingerprint = 0;
        UnsavedChangesForm unsaved;
        RecentProjects recent;
        ProjectPathForm saveAs;
        bool showSaveAs = false;
        ProjectPathForm open;
        bool showOpen = false;
        std::string shownTitle;
    } project;

    bool showOptions = false;
    bool showHelp = false;
    bool showError = false;
    bool showNewTerrain = false;
    bool showNewShader = false;
    bool showLoadTerrain = false;
    bool showSaveTerrain = false;
    bool showExport = false;
    bool showHeightmapImport = false;
    uint32_t sceneCounter = 0;
    std::shared_ptr<Shader> defaultShader;
    std::vector<std::shared_ptr<Scene>> scenes;
    std::vector<std::shared_ptr<Camera>> cameras;
    std::vector<std::shared_ptr<Shader>> shaders;
    std::vector<std::shared_ptr<Terrain>> terrains;
    std::string errorMessage;
    std::string notice;
    double noticeTime = 0.0; // GLFW time the notice was set
    std::string noticeActionLabel;
    std::function<void()> noticeAction;

    // What "Cancel##ms" puts back; taken once per run.
    struct RestorePoint
    {
        std::shared_ptr<Camera> camera;
        std::shared_ptr<Shader> shader;
        std::shared_ptr<Terrain> terrain;
        bool taken = false;
    } restorePoint;
    bool destroyConfirmation = false; // set by "Destroy##ms", never cleared during the run

    NewTerrainForm newTerrainForm;
    SaveTerrainForm saveTerrainForm;
    ExportForm exportForm;
    HeightmapImportForm heightmapImportForm;
    std::string loadTerrainFileName;
    std::string newShaderName;
    SceneWindowState sceneWindowState;
    LayerPanelState layerPanel;
    TexturePanelState texturePanel;
    DiffuseEditorState diffuseEditor;
    WaterEditorState waterEditor;
    Brush brush;                             // shared by every texture editor window
    ImGuiWindowFlags textureEditorFlags = 0; // unmovable while the image is hovered
    std::weak_ptr<Scene> focusedScene;       // the scene whose window last had focus
    std::weak_ptr<Terrain> generatorTerrain; // the terrain the generator's panels last showed
    int quietFrames = 0;                     // frames in a row without input or animation
    StatusLineState statusLine;

    static constexpr double kNoticeSeconds = 10.0;

  private:
    std::shared_ptr<Scene> AddScene();
    // Counts the frames in a row in which nothing was pressed, moved or animated (CanWaitForEvents).
    void NoteFrameActivity();
    void JobEnded(const JobOutcome& outcome, const JobRunner::Finished& finished);
    static void JobStarted(const std::string& title); // on the worker: logs "TITLE started."
    // The jobs behind the operations (EditorJobs.cpp); false when refused.
    bool StartCreateTerrain(const NewTerrainForm::Arguments& arguments, const std::string& name);
    bool StartHeightmapImport();
    bool StartLoadTerrain(const std::string& path);
    bool StartSaveTerrain();
    bool StartExport();
    void ReportOpenFailure(const std::string& path, const std::string& reason);
    bool lastMouseKnown = false;
    double lastEventWait = 0.0;  // what the engine was last allowed to wait before a frame
    bool closeAfterJobs = false; // the window was asked to close while work ran
    ImVec2 lastDisplaySize{0.0f, 0.0f};
    void PerformSessionAction(SessionAction action, const std::string& path);
    void SaveProjectCommand();
    void ClearSessionState();
};

template <typename WorkFn, typename CompleteFn>
bool Editor::StartJob(JobRunner::Request request, WorkFn work, CompleteFn complete,
                      JobRunner::Finished finished)
{
    std::string title = request.title;
    const JobRunner::Started started = jobs.Start(
        std::move(request),
        [work = std::move(work), title = std::move(title)](JobContext& job) mutable
        {
            JobStarted(title);
            return work(job);
        },
        std::move(complete),
        [this, finished = std::move(finished)](const JobOutcome& outcome) { JobEnded(outcome, finished); });
    Wake();
    if (!started) SetError(started.refusal);
    return static_cast<bool>(started);
}
