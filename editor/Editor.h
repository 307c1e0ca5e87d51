#pragma once
// The editor application: its shared lists, the flags that open its windows, and its GUI.
//
// The Editor keeps what is its own: the App slots, the lists of scenes, cameras, shaders and terrains,
// the flags of its dialogs, the Error popup, the dock space, the main menu, the manage dialog, the New
// Terrain dialog and the two texture editors. Everything else has a type of its own over it:
//   - Session (Session.h): the project file, the revision that tells unsaved changes, recent projects,
//     the job runner and the notice;
//   - Commands (Commands.h): every change of the document, through one executor;
//   - the windows and dialogs: SceneWindow (with the camera and generator windows), LayerPanel,
//     TexturePanel, WaterEditor, DiffuseEditorState, ManageDialog, NewTerrainDialog, SaveTerrainDialog,
//     LoadTerrainDialog, NewShaderDialog, ExportDialog, HeightmapImportDialog, ProjectDialogs,
//     StatusLine (with the start hint and the shortcuts) and JobModal;
//   - long work: each dialog starts its own on the job runner (EditorJobs.h has the shared pieces);
//   - the project's capture and restore: free functions (ProjectSession.h).
#include "editor/Commands.h"
#include "editor/DiffuseEditor.h"
#include "editor/EditorJobs.h"
#include "editor/ExportDialogs.h"
#include "editor/FileDialogs.h"
#include "editor/LayerPanel.h"
#include "editor/ManageDialog.h"
#include "editor/NewTerrainDialog.h"
#include "editor/ProjectDialogs.h"
#include "editor/SceneWindow.h"
#include "editor/Session.h"
#include "editor/StatusLine.h"
#include "editor/TexturePanel.h"
#include "editor/WaterEditor.h"
#include "editor/WorldWindow.h"
#include "engine/App.h"
#include "terrain/Brush.h"

#include <imgui.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Camera;
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
    // Whether the engine may wait for input before the next frame: nothing moves or is held, and
    // the last few frames changed nothing on their own. Idle frames do not draw the scenes again.
    bool CanWaitForEvents() override;
    // While a job runs the editor keeps drawing its progress, a few dozen frames a second at most.
    double EventWaitSeconds(double idleSeconds) override;
    // For changes that come without input (work finishing, a test's direct calls): the next frames
    // draw everything again, as after input.
    void Wake() { activity.quietFrames = 0; }

    void SetError(const std::string& text);
    // After undo or redo: the panels and dialogs let go of what is no longer part of the session (a
    // layer, texture, gradient or terrain they showed).
    void ForgetWhatIsGone();
    void DrawDockSpace();
    void DrawMainMenuBar();
    void DrawManageDialog(const std::shared_ptr<Scene>& scene);
    void ShowNewTerrainDialog();
    void ShowDiffuseTextureEditor(const std::shared_ptr<Terrain>& terrain);
    // The brush editor on one texture; texture is the panel's pointer, open the window's flag.
    void ShowTextureEditor(Texture*& texture, bool& open);

    bool showOptions = false;
    bool showHelp = false;
    bool showError = false;
    bool showNewTerrain = false;
    bool showNewShader = false;
    bool showLoadTerrain = false;
    bool showSaveTerrain = false;
    uint32_t sceneCounter = 0;
    std::shared_ptr<Shader> defaultShader;
    std::vector<std::shared_ptr<Scene>> scenes;
    std::vector<std::shared_ptr<Camera>> cameras;
    std::vector<std::shared_ptr<Shader>> shaders;
    std::vector<std::shared_ptr<Terrain>> terrains;
    std::string errorMessage;

    Session session;
    Commands commands{*this};

    ManageDialog manageDialog;
    NewTerrainDialog newTerrain;
    SaveTerrainDialog saveTerrain;
    LoadTerrainDialog loadTerrain;
    NewShaderDialog newShader;
    ExportDialog exportDialog;
    HeightmapImportDialog heightmapImport;
    ProjectDialogs project;
    SceneWindow sceneWindow;
    LayerPanel layerPanel;
    TexturePanel texturePanel;
    WaterEditor waterEditor;
    DiffuseEditorState diffuseEditor;
    Brush brush;                             // shared by every texture editor window
    ImGuiWindowFlags textureEditorFlags = 0; // unmovable while the image is hovered
    StatusLine statusLine;
    JobModal jobModal;
    WorldWindow worldWindow; // the session's world of tiles, New World and the World window

  private:
    // Counts the frames in a row in which nothing was pressed, moved or animated (CanWaitForEvents).
    struct FrameActivity
    {
        int quietFrames = 0;
        bool lastMouseKnown = false;
        ImVec2 lastDisplaySize{0.0f, 0.0f};
        double lastEventWait = 0.0; // what the engine was last allowed to wait before a frame
        void Note(const Editor& editor);
    } activity;
};

// The names of the terrains, in list order (the dialogs' checks for a free name).
std::vector<std::string> TerrainNames(const std::vector<std::shared_ptr<Terrain>>& terrains);
