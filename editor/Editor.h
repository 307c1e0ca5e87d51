#pragma once
// The editor application: its shared lists, the flags that open its windows, and its GUI.
//
// Files: Editor.cpp (lifecycle, rendering, scene bookkeeping), MainMenu.cpp (dock space, menu bar,
// error popup, options, help), ManageDialog.cpp, NewTerrainDialog.cpp, FileDialogs.cpp (save, load,
// new shader), SceneWindow.cpp (scene, camera and terrain generator windows), GeneratorPanel.cpp
// (layers), TexturePanel.cpp, DiffuseEditor.cpp, TextureEditor.cpp (brush), WaterEditor.cpp,
// ExportDialogs.cpp (export, terrain from heightmap).
// Dialog state and decisions live in NewTerrainForm, FileDialogs, ScenePanels, TexturePanels,
// ExportForm and HeightmapImportForm.
#include "editor/ExportForm.h"
#include "editor/FileDialogs.h"
#include "editor/HeightmapImportForm.h"
#include "editor/NewTerrainForm.h"
#include "editor/ProjectForms.h"
#include "editor/ScenePanels.h"
#include "editor/TexturePanels.h"
#include "engine/App.h"
#include "terrain/Brush.h"

#include <imgui.h>

#include <cstdint>
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
    // below the menu bar.
    void SetNotice(const std::string& text);
    // Whether the engine may wait for input before the next frame: nothing moves or is held, and
    // the last few frames changed nothing on their own. Idle frames do not draw the scenes again.
    bool CanWaitForEvents() override;
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
    std::vector<std::string> TerrainNames() const;
    // "Load .obj": an empty terrain filled from the file, listed whatever the outcome; a refused
    // file also shows its reason in the error popup. A loaded terrain gets a name no other terrain
    // has and is shown (ShowLoadedTerrain).
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
    // "Create" of the Terrain from heightmap dialog: the terrain, listed, with a first scene as New
    // Terrain makes one; a refused file shows its reason in the error popup and builds nothing.
    std::shared_ptr<Terrain> CreateTerrainFromHeightmap();

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
    void AnswerUnsavedChanges(UnsavedChangesForm::Answer answer);
    // The window's close button; keeps the window open while the question is asked.
    void OnWindowCloseRequest();
    // A summary of what a project keeps of the session (view state aside), for noticing changes.
    uint64_t SessionFingerprint() const;
    bool HasUnsavedChanges() const;
    void MarkSessionSaved();
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
    Brush brush;                              // shared by every texture editor window
    ImGuiWindowFlags textureEditorFlags = 0; // unmovable while the image is hovered
    std::weak_ptr<Scene> focusedScene;        // the scene whose window last had focus
    std::weak_ptr<Terrain> generatorTerrain;  // the terrain the generator's panels last showed
    int quietFrames = 0;                      // frames in a row without input or animation

    static constexpr double kNoticeSeconds = 10.0;

private:
    std::shared_ptr<Scene> AddScene();
    // Counts the frames in a row in which nothing was pressed, moved or animated (CanWaitForEvents).
    void NoteFrameActivity();
    bool lastMouseKnown = false;
    ImVec2 lastDisplaySize{0.0f, 0.0f};
    void PerformSessionAction(SessionAction action, const std::string& path);
    void SaveProjectCommand();
    void ClearSessionState();
};
