// The session as a project (ProjectSession.h).
//   - Capture: terrains (their records, Terrain::Record), cameras, scenes, user shaders
//   - Restore: completed terrain records into GL terrains (Terrain(TerrainRecord&&)), cameras, scenes
#include "editor/ProjectSession.h"

#include "editor/Editor.h"

#include "engine/ProcessMemory.h"
#include "io/ProjectFile.h"
#include "render/Camera.h"
#include "render/Framebuffer.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "terrain/Heightmap.h"
#include "terrain/Project.h"
#include "terrain/Terrain.h"
#include "terrain/WaterPlane.h"

#include <algorithm>

namespace
{
// Editor::Initialize puts these first in the shader list; a project keeps the ones after them.
constexpr size_t kBuiltInShaders = 3;

ProjectCamera CaptureCamera(const Camera& c, bool listed)
{
    ProjectCamera p;
    p.name = c.name;
    p.viewHeight = c.viewHeight;
    p.aspectRatio = c.aspectRatio;
    p.zNear = c.zNear;
    p.zFar = c.zFar;
    p.fov = c.fov;
    p.speed = c.speed;
    p.yaw = c.yaw;
    p.pitch = c.pitch;
    p.perspective = c.perspective;
    p.rotate = c.rotate;
    p.position = c.position;
    p.up = c.up;
    p.front = c.front;
    p.listed = listed;
    return p;
}

} // namespace

// -------------------------------------------------------------------------------------------------
// Capture and restore

Project CaptureProject(const Editor& editor)
{
    const auto& shaders = editor.shaders;
    const auto& cameras = editor.cameras;
    const auto& terrains = editor.terrains;
    Project p;
    for (size_t i = kBuiltInShaders; i < shaders.size(); ++i)
        p.shaders.push_back({shaders[i]->vertexPath, shaders[i]->fragmentPath});

    std::vector<const Camera*> cameraOrder;
    for (const auto& camera : cameras)
        if (camera)
        {
            cameraOrder.push_back(camera.get());
            p.cameras.push_back(CaptureCamera(*camera, true));
        }
    std::vector<const Terrain*> terrainOrder;
    for (const auto& terrain : terrains)
        if (terrain)
        {
            terrainOrder.push_back(terrain.get());
            p.terrains.push_back(terrain->Record(Terrain::RecordScope::Project));
        }

    for (const auto& scene : editor.scenes)
    {
        ProjectScene s;
        s.sceneId = scene->sceneId;
        s.name = scene->name;
        if (scene->camera)
        {
            auto found = std::find(cameraOrder.begin(), cameraOrder.end(), scene->camera.get());
            if (found == cameraOrder.end())
            {
                // A camera the manage dialog no longer lists stays with its scene.
                cameraOrder.push_back(scene->camera.get());
                p.cameras.push_back(CaptureCamera(*scene->camera, false));
                found = cameraOrder.end() - 1;
            }
            s.camera = static_cast<int32_t>(found - cameraOrder.begin());
        }
        if (scene->terrain)
        {
            auto found = std::find(terrainOrder.begin(), terrainOrder.end(), scene->terrain.get());
            if (found == terrainOrder.end())
            {
                terrainOrder.push_back(scene->terrain.get());
                p.terrains.push_back(scene->terrain->Record(Terrain::RecordScope::Project));
                found = terrainOrder.end() - 1;
            }
            s.terrain = static_cast<int32_t>(found - terrainOrder.begin());
        }
        s.hasShader = scene->shader != nullptr;
        if (scene->shader) s.shader = {scene->shader->vertexPath, scene->shader->fragmentPath};
        s.isNew = scene->isNew;
        s.showWindow = scene->showWindow;
        s.showManage = scene->showManage;
        s.showCameraControl = scene->showCameraControl;
        s.showTerrainGenerator = scene->showTerrainGenerator;
        s.ratioWidth = scene->ratioWidth;
        s.ratioHeight = scene->ratioHeight;
        s.useBackground = scene->useBackground;
        if (scene->framebuffer)
        {
            s.wireframe = scene->framebuffer->wireframe;
            s.clearColor = scene->framebuffer->clearColor;
        }
        p.scenes.push_back(std::move(s));
    }
    p.sceneCounter = editor.sceneCounter;
    p.aspectRatioIndex = editor.sceneWindow.aspectRatioIndex;
    editor.worldWindow.Capture(p, terrainOrder);
    return p;
}

bool BuildProjectTerrains(Project& p, std::string* error, const std::function<bool(float)>& progress)
{
    // A world's terrain shows its tile: at its place, with its window of the world's image layers.
    if (p.world && p.world->terrain < p.terrains.size())
        World::ToTileView(p.terrains[p.world->terrain], *p.world);
    const float count = static_cast<float>(p.terrains.size());
    for (size_t n = 0; n < p.terrains.size(); ++n)
    {
        bool stopped = false;
        const auto within = [&](float done)
        { return !progress || !(stopped = !progress((static_cast<float>(n) + done) / count)); };
        std::string reason;
        if (!within(0.0f) || !p.terrains[n].Complete(&reason, within))
        {
            if (error != nullptr) *error = stopped ? std::string("opening was cancelled") : reason;
            return false;
        }
    }
    return true;
}

bool RestoreProject(Editor& editor, Project&& p, std::string* error)
{
    // Everything is built first; the session is replaced only once nothing can fail.
    if (!BuildProjectTerrains(p, error)) return false;
    RestoreBuiltProject(editor, std::move(p));
    return true;
}

void RestoreBuiltProject(Editor& editor, Project&& p)
{
    const std::shared_ptr<Shader>& defaultShader = editor.defaultShader;
    const std::vector<std::shared_ptr<Shader>>& shaders = editor.shaders;
    std::vector<std::shared_ptr<Terrain>> newTerrains;
    for (TerrainRecord& record : p.terrains)
    {
        // The record's arrays and pixels move into the terrain; what is left of it is freed here,
        // before the next one.
        auto terrain = std::make_shared<Terrain>(std::move(record));
        record = TerrainRecord();
        // As "Recalculate" leaves a water plane: drawn with the lighting shader.
        if (terrain->waterPlane && defaultShader)
            terrain->waterPlane->SetGeometry(terrain->waterPlane->mesh, defaultShader);
        newTerrains.push_back(std::move(terrain));
    }

    std::vector<std::shared_ptr<Camera>> allCameras;
    std::vector<std::shared_ptr<Camera>> listedCameras;
    for (const ProjectCamera& c : p.cameras)
    {
        auto camera = std::make_shared<Camera>();
        camera->name = c.name;
        camera->viewHeight = c.viewHeight;
        camera->aspectRatio = c.aspectRatio;
        camera->zNear = c.zNear;
        camera->zFar = c.zFar;
        camera->fov = c.fov;
        camera->speed = c.speed;
        camera->yaw = c.yaw;
        camera->pitch = c.pitch;
        camera->perspective = c.perspective;
        camera->rotate = c.rotate;
        camera->position = c.position;
        camera->up = c.up;
        camera->front = c.front;
        camera->Update();
        allCameras.push_back(camera);
        if (c.listed) listedCameras.push_back(camera);
    }

    std::vector<std::shared_ptr<Shader>> newShaders(
        shaders.begin(), shaders.begin() + std::min(shaders.size(), kBuiltInShaders));
    for (const ProjectShader& s : p.shaders)
        newShaders.push_back(std::make_shared<Shader>(s.vertexPath, s.fragmentPath));

    std::vector<std::shared_ptr<Scene>> newScenes;
    for (const ProjectScene& s : p.scenes)
    {
        auto scene = std::make_shared<Scene>(s.sceneId);
        scene->name = s.name;
        scene->camera = s.camera >= 0 ? allCameras[static_cast<size_t>(s.camera)] : nullptr;
        scene->terrain = s.terrain >= 0 ? newTerrains[static_cast<size_t>(s.terrain)] : nullptr;
        if (s.hasShader) scene->shader = std::make_shared<Shader>(s.shader.vertexPath, s.shader.fragmentPath);
        scene->isNew = s.isNew;
        scene->showWindow = s.showWindow;
        scene->showManage = s.showManage;
        scene->showCameraControl = s.showCameraControl;
        scene->showTerrainGenerator = s.showTerrainGenerator;
        scene->ratioWidth = s.ratioWidth;
        scene->ratioHeight = s.ratioHeight;
        scene->useBackground = s.useBackground;
        scene->framebuffer->wireframe = s.wireframe;
        scene->framebuffer->clearColor = s.clearColor;
        if (scene->terrain && scene->shader && !scene->terrain->IsEmpty())
            scene->terrain->SetGeometry(scene->terrain->mesh, scene->shader);
        newScenes.push_back(scene);
    }

    ClearSessionState(editor);
    editor.terrains = std::move(newTerrains);
    editor.cameras = std::move(listedCameras);
    editor.scenes = std::move(newScenes);
    editor.shaders = std::move(newShaders);
    editor.sceneCounter = p.sceneCounter;
    editor.sceneWindow.aspectRatioIndex = p.aspectRatioIndex;
    editor.worldWindow.Restore(p, editor.terrains);
    p = Project();
    ProcessMemory::ReleaseFreed(); // the old session, the project's pixels and the build's arrays
}

void ClearSessionState(Editor& editor)
{
    // The history holds the old session's objects and would put them back.
    editor.session.history.Clear();
    editor.sceneWindow.sculpt.Forget();
    // Panels hold pointers into the terrains that are about to go.
    editor.layerPanel.selectedLayer.reset();
    editor.layerPanel.layerEditorOpen = false;
    editor.layerPanel.loadDialogOpen = false;
    editor.texturePanel.chosenTexture = nullptr;
    editor.texturePanel.textureEditorOpen = false;
    editor.texturePanel.saveDialogOpen = false;
    editor.texturePanel.diffuseEditorOpen = false;
    editor.diffuseEditor.selected = -1;
    editor.waterEditor.strokeActive = false;
    editor.saveTerrain.form.selected.reset();
    editor.exportDialog.form.selected.reset(); // the Export dialog keeps its choice after it closes
    editor.manageDialog.restorePoint = ManageDialog::RestorePoint{};
    editor.worldWindow.Clear();
}
