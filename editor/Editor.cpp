#include "editor/Editor.h"

#include "editor/ProjectSession.h"
#include "engine/Engine.h"
#include "engine/Log.h"
#include "render/Camera.h"
#include "render/RenderManager.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "terrain/Heightmap.h"
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

    // Projects: the window's close button asks about unsaved changes.
    if (GLFWwindow* window = Engine::Get().window.handle)
        glfwSetWindowCloseCallback(window,
                                   [](GLFWwindow*)
                                   {
                                       if (auto* editor = dynamic_cast<Editor*>(Engine::Get().app))
                                           editor->project.OnWindowCloseRequest(*editor);
                                   });
    session.recent.Load();
}

void Editor::Shutdown()
{
    Log::Warn("Shutting down app.");
    // Work still running is stopped (or waited for) and dropped with what it holds, while the GL
    // context still exists for the terrains it may keep alive.
    session.jobs.Abandon();
    // Shaders, textures, framebuffers and meshes are GL objects: they go now, while the engine still
    // has the context (it destroys the window after this), not whenever the editor object dies.
    ClearSessionState(*this);
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
    // frame draws them. Each is an undo step of its own, not part of what the user is dragging.
    if (session.jobs.Busy())
    {
        session.history.Seal();
        if (session.PollJobs() > 0) session.history.Seal();
    }
    project.CloseAfterJobs(*this);
    commands.NextFrame();
}

void Editor::Render()
{
    // An idle frame would draw the same scenes again: their framebuffers still hold the pictures (also
    // while a job keeps the frames coming).
    if (CanWaitForEvents() || (session.jobs.Busy() && activity.quietFrames >= 3)) return;
    RenderManager& renderManager = Engine::Get().renderManager;
    for (const auto& scene : scenes)
    {
        if (!scene->showWindow) continue;
        renderManager.Submit(std::make_unique<PushFramebuffer>(scene->framebuffer));
        renderManager.Submit(std::make_unique<PushCamera>(scene->camera));
        renderManager.Submit(std::make_unique<RenderObject>(scene->terrain, scene->shader));
        if (scene->terrain && scene->terrain->waterPlane)
            renderManager.Submit(std::make_unique<RenderObject>(scene->terrain->waterPlane, scene->shader));
        // The brush circle, lit plainly whatever the scene's shader shows.
        SculptTool& sculpt = sceneWindow.sculpt;
        if (sculpt.CircleShownIn(*scene) && defaultShader)
            renderManager.Submit(std::make_unique<RenderObject>(sculpt.Circle(defaultShader), defaultShader));
        renderManager.Submit(std::make_unique<PopCamera>());
        renderManager.Submit(std::make_unique<PopFramebuffer>());
    }
}

void Editor::ForgetWhatIsGone()
{
    const auto listed = [this](const std::shared_ptr<Terrain>& terrain)
    { return terrain && std::find(terrains.begin(), terrains.end(), terrain) != terrains.end(); };
    if (!listed(saveTerrain.form.selected)) saveTerrain.form.selected.reset();
    if (!listed(exportDialog.form.selected)) exportDialog.form.selected.reset();

    // The generator's panels show one terrain: what they hold must still be part of it.
    const std::shared_ptr<Terrain> shown = sceneWindow.generatorTerrain.lock();
    const auto layerHere = [&](const Texture* texture)
    {
        return shown && texture != nullptr &&
               std::any_of(shown->heightmaps.begin(), shown->heightmaps.end(),
                           [texture](const std::shared_ptr<Terrain::Heightmap>& layer)
                           { return layer.get() == texture; });
    };
    if (!layerHere(layerPanel.selectedLayer.get()))
    {
        layerPanel.selectedLayer.reset();
        layerPanel.layerEditorOpen = false;
        layerPanel.loadDialogOpen = false;
    }
    const Texture* chosen = texturePanel.chosenTexture;
    const bool textureHere = shown && chosen != nullptr &&
                             (chosen == shown->heightmapTexture.get() ||
                              chosen == shown->normalTexture.get() || chosen == shown->diffuseTexture.get() ||
                              chosen == shown->specularTexture.get() || layerHere(chosen));
    if (chosen != nullptr && !textureHere) texturePanel.Forget(*chosen);
    if (!shown || diffuseEditor.selected >= static_cast<int>(shown->gradients.size()))
        diffuseEditor.selected = -1;
    waterEditor.strokeActive = false;
    sceneWindow.sculpt.Forget();
}

void Editor::SetError(const std::string& text)
{
    errorMessage = text;
    showError = true;
}

bool Editor::CanWaitForEvents()
{
    // A few frames after the last input the GUI has settled (popups open a frame late, windows fit
    // their contents over two frames); until then every frame may still change the picture.
    return activity.quietFrames >= 3 && !session.jobs.Busy();
}

double Editor::EventWaitSeconds(double idleSeconds)
{
    // While a job runs and nothing else moves, frames come at about this rate: the progress stays
    // live without taking a core from the work.
    constexpr double kJobFrameSeconds = 1.0 / 30.0;
    if (CanWaitForEvents()) return idleSeconds;
    if (session.jobs.Busy() && activity.quietFrames >= 3)
        // What is left of the frame's time after the last frame's own work (the engine's time is
        // that frame's start), so that slow drawing does not slow the rate further.
        return std::max(0.0, kJobFrameSeconds - (glfwGetTime() - Engine::Get().time));
    return 0.0;
}

void Editor::FrameActivity::Note(const Editor& editor)
{
    const ImGuiIO& io = ImGui::GetIO();
    bool active = io.MouseDelta.x != 0.0f || io.MouseDelta.y != 0.0f || io.MouseWheel != 0.0f ||
                  io.MouseWheelH != 0.0f || io.InputQueueCharacters.Size > 0 || ImGui::IsAnyItemActive();
    for (const bool down : io.MouseDown)
        active |= down;
    for (const bool down : io.KeysDown)
        active |= down;
    active |= !Engine::Get().window.keyPresses.empty(); // a tap between two frames is held in neither
    // The pointer entering or leaving the window, and a resized window, change the picture too.
    const bool mouseKnown = ImGui::IsMousePosValid();
    active |= mouseKnown != lastMouseKnown || io.DisplaySize.x != lastDisplaySize.x ||
              io.DisplaySize.y != lastDisplaySize.y;
    lastMouseKnown = mouseKnown;
    lastDisplaySize = io.DisplaySize;
    for (const auto& scene : editor.scenes)
        active |= scene->camera && scene->camera->rotate; // an orbit moves every frame
    quietFrames = active ? 0 : quietFrames + 1;
}

std::vector<std::string> TerrainNames(const std::vector<std::shared_ptr<Terrain>>& terrains)
{
    std::vector<std::string> names;
    names.reserve(terrains.size());
    for (const auto& terrain : terrains)
        names.push_back(terrain->name);
    return names;
}
