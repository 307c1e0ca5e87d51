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
    // file also shows its reason in the error popup.
    std::shared_ptr<Terrain> LoadTerrain(const std::string& path);
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

private:
    std::shared_ptr<Scene> AddScene();
};
