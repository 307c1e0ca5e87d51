#include "editor/Editor.h"

#include "engine/Engine.h"
#include "engine/Log.h"
#include "render/Camera.h"
#include "render/RenderManager.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "terrain/Terrain.h"
#include "terrain/WaterPlane.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <imgui.h>

#include <algorithm>

void Editor::GetWindowProperties(WindowProperties& out)
{
    out = WindowProperties{};
    out.title = "Velmoran";
    out.decorated = true;
    out.monitor = glfwGetPrimaryMonitor();
    if (const GLFWvidmode* mode = out.monitor != nullptr ? glfwGetVideoMode(out.monitor) : nullptr)
    {
        out.width = mode->width;
        out.height = mode->height;
    }
    out.minWidth = 200;
    out.minHeight = 200;
    out.clearColor = glm::vec4(0.1f, 0.1f, 0.1f, 1.0f);
    out.fullscreenMonitor = nullptr;
}

void Editor::Initialize()
{
    Log::Trace("Initializing app.");
    glfwSwapInterval(1);

    CheckGLError("Editor::Initialize", __LINE__);
    glEnable(GL_DEPTH_TEST);
    CheckGLError("Editor::Initialize", __LINE__);
    glDepthFunc(GL_LESS);
    glEnable(GL_STENCIL_TEST);
    CheckGLError("Editor::Initialize", __LINE__);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    CheckGLError("Editor::Initialize", __LINE__);

    if (glIsEnabled(GL_DEPTH_TEST))
        Log::Trace("Depth test enabled");
    else
        Log::Trace("Depth test disabled");
    if (glIsEnabled(GL_STENCIL_TEST))
        Log::Trace("Stencil test enabled");
    else
        Log::Trace("Stencil test disabled");

    // A blinking caret would need frames of its own: an idle editor draws only when input arrives.
    if (ImGui::GetCurrentContext() != nullptr) ImGui::GetIO().ConfigInputTextCursorBlink = false;

    sceneCounter = 0;
    defaultShader = std::make_shared<Shader>("shaders/basic_lighting.vert", "shaders/basic_lighting.frag");
    glUseProgram(defaultShader->program);
    shaders.push_back(defaultShader);
    shaders.push_back(std::make_shared<Shader>("shaders/normal_shader.vert", "shaders/normal_shader.frag"));
    shaders.push_back(
        std::make_shared<Shader>("shaders/texcoord_shader.vert", "shaders/texcoord_shader.frag"));

    // Projects: the window's close button asks about unsaved changes; the untouched start is "saved".
    if (GLFWwindow* window = Engine::Get().window.handle)
        glfwSetWindowCloseCallback(window,
                                   [](GLFWwindow*)
                                   {
                                       if (auto* editor = dynamic_cast<Editor*>(Engine::Get().app))
                                           editor->OnWindowCloseRequest();
                                   });
    project.recent.Load();
    MarkSessionSaved();
    // A large terrain's erosion entries run on the job runner.
    layerPanel.applyLayers = [this](Terrain& terrain) { ApplyLayers(terrain); };
}

void Editor::Shutdown()
{
    Log::Warn("Shutting down app.");
    // Work still running is stopped (or waited for) and dropped with what it holds, while the GL
    // context still exists for the terrains it may keep alive.
    jobs.Abandon();
    // Shaders, textures, framebuffers and meshes are GL objects: they go now, while the engine still
    // has the context (it destroys the window after this), not whenever the editor object dies.
    texturePanel = TexturePanelState{};
    layerPanel = LayerPanelState{};
    saveTerrainForm.selected.reset();
    restorePoint = RestorePoint{};
    scenes.clear();
    cameras.clear();
    defaultShader.reset();
    shaders.clear();
    terrains.clear();
}

void Editor::Update()
{
    Engine& engine = Engine::Get();
    if (engine.window.handle != nullptr)
    {
        double x = 0.0;
        double y = 0.0;
        glfwGetCursorPos(engine.window.handle, &x, &y);
        engine.lastCursorPos = engine.cursorPos;
        engine.cursorPos = glm::dvec2(x, y);
    }
    for (const auto& scene : scenes)
        if (scene->camera && scene->camera->rotate) scene->camera->Update();
    // The frame's work, not the wait for input before it.
    if (engine.frameWorkSeconds > 0.0) statusLine.AddFrame(engine.frameWorkSeconds);
    // Jobs whose work is done end here: their results are swapped in (and uploaded) before the
    // frame draws them.
    jobs.Poll();
    if (closeAfterJobs && !jobs.Busy())
    {
        closeAfterJobs = false;
        if (!HasUnsavedChanges())
        {
            if (GLFWwindow* window = Engine::Get().window.handle) glfwSetWindowShouldClose(window, GLFW_TRUE);
        }
        else
        {
            RequestSessionAction(SessionAction::CloseWindow);
        }
    }
}

void Editor::Render()
{
    // An idle frame would draw the same scenes again: their framebuffers still hold the pictures (also
    // while a job keeps the frames coming).
    if (CanWaitForEvents() || (jobs.Busy() && quietFrames >= 3)) return;
    RenderManager& renderManager = Engine::Get().renderManager;
    for (const auto& scene : scenes)
    {
        if (!scene->showWindow) continue;
        renderManager.Submit(std::make_unique<PushFramebuffer>(scene->framebuffer));
        renderManager.Submit(std::make_unique<PushCamera>(scene->camera));
        renderManager.Submit(std::make_unique<RenderObject>(scene->terrain, scene->shader));
        if (scene->terrain && scene->terrain->waterPlane)
            renderManager.Submit(std::make_unique<RenderObject>(scene->terrain->waterPlane, scene->shader));
        renderManager.Submit(std::make_unique<PopCamera>());
        renderManager.Submit(std::make_unique<PopFramebuffer>());
    }
}

void Editor::SetError(const std::string& text)
{
    errorMessage = text;
    showError = true;
}

void Editor::SetNotice(const std::string& text)
{
    SetNotice(text, {}, {});
}

void Editor::SetNotice(const std::string& text, const std::string& actionLabel, std::function<void()> action)
{
    notice = text;
    noticeTime = glfwGetTime();
    noticeActionLabel = actionLabel;
    noticeAction = std::move(action);
}

bool Editor::CanWaitForEvents()
{
    // A few frames after the last input the GUI has settled (popups open a frame late, windows fit
    // their contents over two frames); until then every frame may still change the picture.
    return quietFrames >= 3 && !jobs.Busy();
}

std::shared_ptr<Scene> Editor::ShowLoadedTerrain(const std::shared_ptr<Terrain>& terrain)
{
    std::shared_ptr<Scene> scene = focusedScene.lock();
    if (!scene || std::find(scenes.begin(), scenes.end(), scene) == scenes.end())
        scene = scenes.empty() ? AddScene() : scenes.front();
    ManageChooseTerrain(*scene, terrain);
    return scene;
}

void Editor::FollowGeneratorTerrain(const std::shared_ptr<Terrain>& terrain)
{
    const std::shared_ptr<Terrain> previous = generatorTerrain.lock();
    if (previous == terrain) return;
    generatorTerrain = terrain;

    LayerPanelState& layers = layerPanel;
    const bool layerHere = terrain && std::find(terrain->heightmaps.begin(), terrain->heightmaps.end(),
                                                layers.selectedLayer) != terrain->heightmaps.end();
    if (!layerHere)
    {
        layers.selectedLayer.reset();
        layers.layerEditorOpen = false;
        layers.loadDialogOpen = false;
    }
    TexturePanelState& textures = texturePanel;
    const Texture* chosen = textures.chosenTexture;
    const bool textureHere =
        terrain && chosen != nullptr &&
        (chosen == terrain->heightmapTexture.get() || chosen == terrain->normalTexture.get() ||
         chosen == terrain->diffuseTexture.get() || chosen == terrain->specularTexture.get());
    if (!textureHere)
    {
        textures.chosenTexture = nullptr;
        textures.textureEditorOpen = false;
        textures.saveDialogOpen = false;
    }
    if (previous) // editors opened on another terrain close; a first sight keeps what was set up
    {
        textures.diffuseEditorOpen = false;
        diffuseEditor.selected = -1;
        diffuseEditor.closeRequested = false;
        waterEditor.strokeActive = false;
    }
}

std::vector<std::string> Editor::TerrainNames() const
{
    std::vector<std::string> names;
    names.reserve(terrains.size());
    for (const auto& terrain : terrains)
        names.push_back(terrain->name);
    return names;
}

std::shared_ptr<Scene> Editor::AddScene()
{
    auto scene = std::make_shared<Scene>(sceneCounter++);
    scene->showManage = true;
    scenes.push_back(scene);
    cameras.push_back(scene->camera);
    return scene;
}

std::shared_ptr<Scene> Editor::CreateNewScene()
{
    if (terrains.empty())
    {
        SetError("Please create a new terrain first.");
        return nullptr;
    }
    if (!scenes.empty())
    {
        SetError("Multiple scenes in development.");
        return nullptr;
    }
    Log::Trace("Pushing new scene");
    return AddScene();
}

std::shared_ptr<Terrain> Editor::CreateTerrainFromForm()
{
    if (newTerrainForm.CanCreate(TerrainNames()))
    {
        const NewTerrainForm::Arguments arguments = newTerrainForm.BuildArguments();
        if (uint64_t{arguments.width} * arguments.height >= background.vertices)
        {
            if (StartCreateTerrain(arguments, newTerrainForm.name)) showNewTerrain = false;
            return nullptr;
        }
    }
    std::shared_ptr<Terrain> terrain = newTerrainForm.Build(TerrainNames());
    if (!terrain) return nullptr;
    AddNewTerrain(terrain);
    showNewTerrain = false;
    return terrain;
}

void Editor::AddNewTerrain(const std::shared_ptr<Terrain>& terrain)
{
    terrains.push_back(terrain);
    if (scenes.empty())
    {
        AddScene();
        return;
    }
    std::shared_ptr<Scene> scene = focusedScene.lock();
    if (!scene || std::find(scenes.begin(), scenes.end(), scene) == scenes.end()) scene = scenes.front();
    const std::weak_ptr<Terrain> added = terrain;
    SetNotice("Terrain " + terrain->name + " (" + std::to_string(terrain->width) + " x " +
                  std::to_string(terrain->height) + ") is in the terrain list.",
              "Show in " + scene->name + "##notice",
              [this, added]
              {
                  const std::shared_ptr<Terrain> shown = added.lock();
                  if (shown && std::find(terrains.begin(), terrains.end(), shown) != terrains.end())
                      ShowLoadedTerrain(shown);
              });
}

void Editor::RemoveScene(uint32_t sceneId)
{
    scenes.erase(std::remove_if(scenes.begin(), scenes.end(),
                                [sceneId](const std::shared_ptr<Scene>& s) { return s->sceneId == sceneId; }),
                 scenes.end());
}
