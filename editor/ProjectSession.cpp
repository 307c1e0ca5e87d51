// The session as a project: capturing the editor's objects into the GL-free model, rebuilding them
// from it, the project commands (new, open, save) with the unsaved-changes question, and the summary
// of the session that tells when it has changed.
//   - Capture: terrains (their records, Terrain::Record), cameras, scenes, user shaders
//   - Restore: completed terrain records into GL terrains (Terrain(TerrainRecord&&)), cameras, scenes
//   - Commands and the unsaved-changes flow
//   - SessionFingerprint
#include "editor/Editor.h"

#include "engine/Engine.h"
#include "engine/Log.h"
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
#include "terrain/Water.h"
#include "terrain/WaterPlane.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <tuple>
#include <type_traits>

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

Project Editor::CaptureProject() const
{
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

    for (const auto& scene : scenes)
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
    p.sceneCounter = sceneCounter;
    p.aspectRatioIndex = sceneWindowState.aspectRatioIndex;
    return p;
}

bool Editor::BuildProjectTerrains(Project& p, std::string* error, const std::function<bool(float)>& progress)
{
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

bool Editor::RestoreProject(Project&& p, std::string* error)
{
    // Everything is built first; the session is replaced only once nothing can fail.
    if (!BuildProjectTerrains(p, error)) return false;
    RestoreBuiltProject(std::move(p));
    return true;
}

void Editor::RestoreBuiltProject(Project&& p)
{
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

    ClearSessionState();
    terrains = std::move(newTerrains);
    cameras = std::move(listedCameras);
    scenes = std::move(newScenes);
    shaders = std::move(newShaders);
    sceneCounter = p.sceneCounter;
    sceneWindowState.aspectRatioIndex = p.aspectRatioIndex;
    p = Project();
    ProcessMemory::ReleaseFreed(); // the old session, the project's pixels and the build's arrays
}

void Editor::ClearSessionState()
{
    // Panels hold pointers into the terrains that are about to go.
    layerPanel.selectedLayer.reset();
    layerPanel.layerEditorOpen = false;
    layerPanel.loadDialogOpen = false;
    texturePanel.chosenTexture = nullptr;
    texturePanel.textureEditorOpen = false;
    texturePanel.saveDialogOpen = false;
    texturePanel.diffuseEditorOpen = false;
    diffuseEditor.selected = -1;
    waterEditor.strokeActive = false;
    saveTerrainForm.selected.reset();
    exportForm.selected.reset(); // the Export dialog keeps its choice after it closes
    restorePoint = RestorePoint{};
}

// -------------------------------------------------------------------------------------------------
// Commands

bool Editor::SaveProject(const std::string& path)
{
    Log::Trace("Saving project {}", path);
    const Project captured = CaptureProject();
    std::string reason;
    if (!ProjectFile::Save(captured, path, &reason))
    {
        const std::string message = ProjectFile::SaveMessage(path, reason);
        Log::Error("{}", message);
        SetError(message);
        return false;
    }
    project.path = path;
    project.recent.Add(path);
    MarkSessionSaved();
    SetNotice("Saved " + FilesInFolder({path}) + ".");
    return true;
}

bool Editor::OpenProject(const std::string& path)
{
    Log::Trace("Opening project {}", path);
    Project opened;
    std::string reason;
    if (!ProjectFile::Open(path, opened, &reason) || !RestoreProject(std::move(opened), &reason))
    {
        ReportOpenFailure(path, reason);
        return false;
    }
    project.path = path;
    project.recent.Add(path);
    MarkSessionSaved();
    return true;
}

void Editor::ReportOpenFailure(const std::string& path, const std::string& reason)
{
    const std::string message = ProjectFile::OpenMessage(path, reason);
    Log::Error("{}", message);
    SetError(message);
    // A recent project that is gone leaves the list.
    std::error_code code;
    const auto& recent = project.recent.paths;
    if (!std::filesystem::exists(path, code) && std::find(recent.begin(), recent.end(), path) != recent.end())
    {
        project.recent.Remove(path);
        project.recent.Save();
    }
}

void Editor::NewProject()
{
    ClearSessionState();
    terrains.clear();
    scenes.clear();
    cameras.clear();
    if (shaders.size() > kBuiltInShaders) shaders.resize(kBuiltInShaders);
    sceneCounter = 0;
    sceneWindowState.aspectRatioIndex = 0;
    project.path.clear();
    MarkSessionSaved();
    ProcessMemory::ReleaseFreed();
}

void Editor::MarkSessionSaved()
{
    project.savedFingerprint = SessionFingerprint();
}

bool Editor::HasUnsavedChanges() const
{
    return SessionFingerprint() != project.savedFingerprint;
}

void Editor::RequestSessionAction(SessionAction action, const std::string& path)
{
    if (project.unsaved.Request(action, HasUnsavedChanges(), path) == UnsavedChangesForm::Next::Proceed)
        PerformSessionAction(action, path);
}

void Editor::AnswerUnsavedChanges(UnsavedChangesForm::Answer answer)
{
    UnsavedChangesForm& form = project.unsaved;
    UnsavedChangesForm::Next next = form.Respond(answer, !project.path.empty());
    if (next == UnsavedChangesForm::Next::Save)
    {
        // The action goes ahead once the save has ended well (at once, or when its job ends).
        StartSaveProject(project.path, [this](bool saved) { QuestionSaveEnded(saved); });
        return;
    }
    if (next == UnsavedChangesForm::Next::SaveAs)
    {
        // The Save Project As dialog reports back through UnsavedChangesForm::Saved.
        project.saveAs.path = project.saveAs.path.empty() ? "output/untitled" : project.saveAs.path;
        project.saveAs.confirmReplace = false;
        project.showSaveAs = true;
        return;
    }
    if (next == UnsavedChangesForm::Next::Proceed)
    {
        const SessionAction action = form.pending;
        const std::string path = form.openPath;
        form.Clear();
        PerformSessionAction(action, path);
    }
}

void Editor::QuestionSaveEnded(bool saved)
{
    UnsavedChangesForm& form = project.unsaved;
    if (form.Saved(saved) != UnsavedChangesForm::Next::Proceed) return;
    const SessionAction action = form.pending;
    const std::string path = form.openPath;
    form.Clear();
    PerformSessionAction(action, path);
}

void Editor::PerformSessionAction(SessionAction action, const std::string& path)
{
    switch (action)
    {
    case SessionAction::CloseWindow:
    case SessionAction::Quit:
        if (GLFWwindow* window = Engine::Get().window.handle) glfwSetWindowShouldClose(window, GLFW_TRUE);
        break;
    case SessionAction::NewProject:
        NewProject();
        break;
    case SessionAction::OpenProject:
        StartOpenProject(path);
        break;
    case SessionAction::None:
        break;
    }
}

void Editor::OnWindowCloseRequest()
{
    if (jobs.Busy())
    {
        // Work that is stopped changes nothing; work that cannot stop is waited for. Then the close
        // goes on as usual (the unsaved-changes question included), from Update.
        if (GLFWwindow* window = Engine::Get().window.handle) glfwSetWindowShouldClose(window, GLFW_FALSE);
        closeAfterJobs = true;
        for (const JobView& view : jobs.Running())
            jobs.Cancel(view.id);
        Wake();
        return;
    }
    if (!HasUnsavedChanges()) return; // the window closes after this frame
    if (GLFWwindow* window = Engine::Get().window.handle) glfwSetWindowShouldClose(window, GLFW_FALSE);
    RequestSessionAction(SessionAction::CloseWindow);
}

void Editor::SaveProjectCommand()
{
    if (project.path.empty())
    {
        project.saveAs.confirmReplace = false;
        project.showSaveAs = true;
    }
    else
    {
        StartSaveProject(project.path);
    }
}

// -------------------------------------------------------------------------------------------------
// The session's summary: what a project keeps, except the view (camera position, direction and field
// of view, window visibility), which changes while one only looks around.

uint64_t Editor::SessionFingerprint() const
{
    Fingerprint f;
    const auto texture = [&f](const Texture* t)
    {
        f.Value(t);
        if (t != nullptr)
        {
            f.Value(t->revision);
            f.Value(t->data.get());
            f.Text(t->saveName);
        }
    };
    f.Value(sceneCounter);
    f.Value(shaders.size());
    for (const auto& shader : shaders)
        f.Value(shader.get());
    f.Value(cameras.size());
    for (const auto& camera : cameras)
    {
        f.Value(camera.get());
        f.Text(camera->name);
        f.Value(camera->speed);
        f.Value(camera->rotate);
        f.Value(camera->perspective);
        f.Value(camera->zNear);
        f.Value(camera->zFar);
        f.Value(camera->viewHeight);
    }
    f.Value(terrains.size());
    for (const auto& terrain : terrains)
    {
        f.Value(terrain.get());
        f.Text(terrain->name);
        f.Value(terrain->width);
        f.Value(terrain->height);
        f.Value(terrain->positions.data());
        texture(terrain->heightmapTexture.get());
        texture(terrain->normalTexture.get());
        texture(terrain->diffuseTexture.get());
        texture(terrain->specularTexture.get());
        texture(terrain->watermapTexture.get());
        f.Value(terrain->waterPlane.get());
        f.Value(terrain->mesh && !terrain->mesh->entries.empty() ? terrain->mesh->entries[0].texture : 0u);
        f.Value(terrain->heightmaps.size());
        for (const auto& layer : terrain->heightmaps)
        {
            texture(layer.get());
            f.Text(layer->name);
            // Every setting (LayerSettings::Fields), texts by their characters.
            const auto field = [&f](const auto& value)
            {
                if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>)
                    f.Text(value);
                else
                    f.Value(value);
            };
            std::apply([&field](const auto&... values) { (field(values), ...); }, layer->settings.Fields());
            f.Value(layer->isErosion);
        }
        f.Value(terrain->gradients.size());
        for (const auto& g : terrain->gradients)
        {
            f.Value(g->heightSpan);
            f.Value(g->decay);
            f.Value(g->slopeSpan);
            f.Value(g->color);
            f.Value(g->specular);
        }
    }
    f.Value(scenes.size());
    for (const auto& scene : scenes)
    {
        f.Value(scene.get());
        f.Text(scene->name);
        f.Value(scene->camera.get());
        f.Value(scene->shader.get());
        f.Value(scene->terrain.get());
        f.Value(scene->isNew);
        f.Value(scene->ratioWidth);
        f.Value(scene->ratioHeight);
        f.Value(scene->useBackground);
        if (scene->framebuffer)
        {
            f.Value(scene->framebuffer->wireframe);
            f.Value(scene->framebuffer->clearColor);
        }
    }
    return f.Get();
}
