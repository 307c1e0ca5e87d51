// The editor's decisions (scenes, manage dialog, file dialogs) and its frames on real GL.
#include "tests/editor/EditorTestSupport.h"

#include <imgui_internal.h>

using testsupport::MapEntry;
using testsupport::WidgetMapFile;

namespace
{
using EditorGLTest = testsupport::EditorFrames;

// The Create dialog's close button clears showManage and nothing else: the scene was neither made
// nor removed, and the next "Create new scene" is not refused.
TEST_F(EditorGLTest, NewSceneNeedsATerrainAndIsOfferedAgainOnceItsCreateDialogCloses)
{
    EXPECT_EQ(editor.commands.NewScene(), nullptr);
    EXPECT_EQ(editor.errorMessage, "Please create a new terrain first.");

    CreateTerrain("first");
    ASSERT_EQ(editor.scenes.size(), 1u); // the first terrain brings its scene
    EXPECT_EQ(std::make_tuple(editor.scenes[0]->name, editor.scenes[0]->showManage, editor.cameras.size()),
              std::make_tuple("Scene 0", true, size_t{1}));

    editor.showError = false;
    Frame();                              // the Create dialog is open
    editor.scenes[0]->showManage = false; // what its close button does
    Frame();
    EXPECT_TRUE(editor.scenes.empty() && editor.cameras.empty());
    const auto scene = editor.commands.NewScene();
    EXPECT_EQ(std::make_tuple(scene ? scene->name : "", editor.showError), std::make_tuple("Scene 1", false))
        << editor.errorMessage;
}

// One scene through its Create and Manage dialogs: the defaults, a fresh program per chosen shader,
// the restore point taken once per run and put back by Cancel, and Destroy keeping the camera.
TEST_F(EditorGLTest, TheManageDialogsChoicesAndTheirRestorePoint)
{
    const auto first = CreateTerrain("first");
    const auto second = CreateTerrain("second");
    Scene& scene = *editor.scenes[0];
    editor.commands.FillSceneDefaults(scene);
    ASSERT_TRUE(scene.shader);
    EXPECT_NE(scene.shader, editor.shaders[0]); // a fresh program of the first listed shader
    EXPECT_EQ(std::tie(scene.terrain, scene.shader->vertexPath, scene.camera, scene.camera->name),
              std::make_tuple(first, "shaders/basic_lighting.vert", editor.cameras.back(), "Scene 0 camera"));
    editor.commands.ConfirmScene(scene);
    EXPECT_EQ(std::make_tuple(scene.isNew, scene.showManage, scene.showWindow),
              std::make_tuple(false, false, true));

    const auto originalShader = scene.shader;
    editor.manageDialog.TakeRestorePoint(editor, scene);
    editor.commands.SetSceneTerrain(scene, second);
    editor.commands.SetSceneShader(scene, editor.shaders[1]);
    const auto chosen = scene.shader;
    editor.commands.SetSceneShader(scene, editor.shaders[1]);
    EXPECT_EQ(scene.shader->name, "shaders/normal_shader");
    EXPECT_NE(scene.shader->program, chosen->program);
    editor.manageDialog.TakeRestorePoint(editor, scene); // once per run: the first point stays

    scene.showManage = true;
    editor.manageDialog.Cancel(editor, scene);
    EXPECT_EQ(std::tie(scene.terrain, scene.shader, scene.showManage),
              std::make_tuple(first, originalShader, false));

    editor.commands.DestroyScene(scene);
    EXPECT_TRUE(editor.scenes.empty());
    EXPECT_EQ(editor.cameras.size(), 1u);
}

// The editor's GL objects go in Shutdown, while the context exists, not when the editor object dies
// after the window.
TEST_F(EditorGLTest, ShutdownReleasesEveryGLObjectWhileTheContextExists)
{
    auto terrain = CreateTerrainWithScene("t", 17);
    AddLake(*terrain);
    editor.layerPanel.selectedLayer = editor.layerPanel.AddLayer(editor, terrain);
    editor.saveTerrain.form.selected = terrain;
    Frames(2);
    const Scene& scene = *editor.scenes[0];
    const GLuint textures[] = {terrain->heightmapTexture->id, terrain->normalTexture->id,
                               terrain->watermapTexture->id, editor.layerPanel.selectedLayer->id,
                               scene.framebuffer->colorTexture};
    const GLuint programs[] = {scene.shader->program, editor.defaultShader->program,
                               editor.shaders[2]->program};
    const GLuint buffers[] = {terrain->mesh->vertexBuffer, terrain->waterPlane->mesh->indexBuffer};
    const GLuint framebuffer = scene.framebuffer->fbo;
    std::weak_ptr<Terrain> watched = terrain;
    terrain.reset();

    editor.Shutdown();
    EXPECT_TRUE(watched.expired());
    for (GLuint id : textures)
        EXPECT_FALSE(glIsTexture(id)) << id;
    for (GLuint id : programs)
        EXPECT_FALSE(glIsProgram(id)) << id;
    for (GLuint id : buffers)
        EXPECT_FALSE(glIsBuffer(id)) << id;
    EXPECT_FALSE(glIsFramebuffer(framebuffer));
}

// A right press over the scene picture focuses the scene window, so the fly control (which needs the
// focus) works at once, without a left click first.
TEST_F(EditorGLTest, RightPressOverTheScenePictureFocusesTheSceneWindow)
{
    CreateTerrainWithScene("t", 17);
    Scene& scene = *editor.scenes[0];
    Frames(2);
    scene.showCameraControl = true; // the camera window appears later and takes the focus
    Frames(2);
    ImGuiWindow* window = ImGui::FindWindowByName(scene.name.c_str());
    ASSERT_NE(window, nullptr);
    ASSERT_NE(GImGui->NavWindow, window);
    const ImVec2 picture = window->InnerRect.GetCenter();
    ASSERT_EQ(ImGui::FindWindowByName((scene.name + " camera").c_str())->Rect().Contains(picture), false);
    GuiFrame({picture, false, false});
    GuiFrame({picture, false, true});
    EXPECT_EQ(GImGui->NavWindow, window);
    EXPECT_EQ(editor.sceneWindow.focusedScene.lock(), editor.scenes[0]);
    GuiFrame({picture, false, false});
}

// Waiting for input is allowed only once nothing has moved, been held or animated for a few frames;
// idle frames leave the scenes' pictures as they are. A change draws again: a scene's five commands,
// and one more for a water plane.
TEST_F(EditorGLTest, TheEditorWaitsForInputOnlyWhenNothingMovesAndDrawsWhatChanged)
{
    const auto terrain = CreateTerrainWithScene("t", 17);
    RenderManager& renderManager = Engine::Get().renderManager;
    const auto queued = [&] // the commands one Render queues, taken off the queue again
    {
        editor.Render();
        const size_t count = renderManager.commandQueue.size();
        renderManager.Clear();
        return count;
    };
    ImVec2 pointer(-FLT_MAX, -FLT_MAX);
    const auto frames = [&](int count, bool rightHeld = false)
    {
        for (int i = 0; i < count; ++i)
            GuiFrame({pointer, false, rightHeld});
    };
    Camera& camera = *editor.scenes[0]->camera;
    // What happens, and whether the editor may wait for input after it.
    const std::tuple<const char*, std::function<void()>, bool> steps[] = {
        {"quiet frames", [&] { frames(4); }, true},
        {"an orbiting camera moves every frame", [&] { camera.rotate = true, frames(4); }, false},
        {"not two frames after it stops", [&] { camera.rotate = false, frames(2); }, false},
        {"three frames after", [&] { frames(1); }, true},
        {"the pointer arrives", [&] { pointer = ImVec2(200.0f, 200.0f), frames(1); }, false},
        {"a button held (a drag, the fly control)", [&] { frames(4, true); }, false},
        {"released", [&] { frames(4); }, true},
        // A key tapped between two frames is held in neither, but was input all the same.
        {"a key tapped",
         [&] { KeyEvent(GLFW_KEY_A, GLFW_PRESS), KeyEvent(GLFW_KEY_A, GLFW_RELEASE), frames(1); }, false},
        {"quiet at last", [&] { frames(4); }, true},
    };
    for (const auto& [what, act, canWait] : steps)
    {
        act();
        EXPECT_EQ(editor.CanWaitForEvents(), canWait) << what;
        EXPECT_TRUE(!canWait || queued() == 0) << what; // idle frames leave the pictures alone
    }

    editor.Wake(); // a change without input draws again
    EXPECT_FALSE(editor.CanWaitForEvents());
    EXPECT_EQ(queued(), 5u);
    AddLake(*terrain);
    EXPECT_EQ(queued(), 6u);
}

// A close request while another dialog is open (here the first scene's Create dialog, right after
// New Terrain) asks at once and on top of every window; the other dialog waits as it was, and the
// answers work.
TEST_F(EditorGLTest, TheUnsavedChangesQuestionComesOnTopOfWhateverWasOpen)
{
    WatchWidgets();
    const std::string question = "Unsaved changes##project";
    const auto questionOnTop = [&]
    {
        const WidgetMapFile map = Widgets();
        return map.modal == question && map.WindowsAbove(question).empty();
    };
    const auto closeRequest = [&]
    {
        // As the close button sets it before the callback.
        glfwSetWindowShouldClose(Engine::Get().window.handle, GLFW_TRUE);
        editor.project.OnWindowCloseRequest(editor);
    };
    CreateTerrain("first");
    Frames(2);
    ASSERT_EQ(Widgets().modal, "Create Scene 0");

    closeRequest();
    Frames(3);
    EXPECT_TRUE(questionOnTop()) << Widgets().Describe();
    EXPECT_FALSE(WindowClosing());
    // A window that appears meanwhile goes behind the question, which keeps the input.
    editor.showOptions = true;
    Frames(2);
    ASSERT_NE(Widgets().Window("Editor options"), nullptr);
    EXPECT_TRUE(questionOnTop());

    ASSERT_TRUE(ClickWidget("Cancel##unsaved", question));
    Frames(2);
    EXPECT_EQ(std::make_tuple(Widgets().modal, editor.scenes[0]->isNew, WindowClosing()),
              std::make_tuple("Create Scene 0", true, false)); // back as it was

    PressKey(GLFW_KEY_ENTER); // Create
    closeRequest();
    Frames(3); // the scene window appears meanwhile
    ASSERT_NE(Widgets().Window("Scene 0"), nullptr);
    EXPECT_TRUE(questionOnTop()) << Widgets().Describe();
    ASSERT_TRUE(ClickWidget("Don't save##unsaved", question));
    EXPECT_TRUE(WindowClosing());
}

// The shortcuts act on key presses as the window system reports them, once per press, however slow
// the frames: here a frame a second, the keys pressed and released between two frames. The status
// line's frame time is the frames' work, not the second of waiting for input before each.
TEST_F(EditorGLTest, ShortcutsActOncePerPressAtAFrameASecond)
{
    constexpr int kCtrl = GLFW_MOD_CONTROL, kShift = GLFW_MOD_SHIFT;
    // A key pressed and released, inside its modifier keys.
    const auto tap = [&](int code, int mods = 0)
    {
        if (mods & kCtrl) KeyEvent(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
        if (mods & kShift) KeyEvent(GLFW_KEY_LEFT_SHIFT, GLFW_PRESS, mods & kCtrl);
        KeyEvent(code, GLFW_PRESS, mods);
        KeyEvent(code, GLFW_RELEASE, mods);
        if (mods & kShift) KeyEvent(GLFW_KEY_LEFT_SHIFT, GLFW_RELEASE, mods);
        if (mods & kCtrl) KeyEvent(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE, kCtrl);
    };
    const auto slowFrame = [&](const std::function<void()>& input)
    {
        glfwSetTime(glfwGetTime() + 1.0);
        Frame(input);
    };

    auto terrain = CreateTerrainWithScene("t", 17);
    editor.scenes[0]->showTerrainGenerator = true;
    // Four steps of the session's history: each undo takes one back, each redo brings one back.
    for (int step = 0; step < 4; ++step)
    {
        editor.commands.AddGradient(*terrain);
        editor.session.history.Seal();
    }
    Frames(2);
    const auto gradients = [&] { return terrain->gradients.size(); };
    ASSERT_EQ(gradients(), 4u);

    slowFrame([&] { tap(GLFW_KEY_Z, kCtrl); });
    EXPECT_EQ(gradients(), 3u);
    // Held through three frames, repeating: one undo.
    slowFrame([&] { KeyEvent(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS), KeyEvent(GLFW_KEY_Z, GLFW_PRESS, kCtrl); });
    slowFrame([&] { KeyEvent(GLFW_KEY_Z, GLFW_REPEAT, kCtrl); });
    slowFrame(
        [&]
        {
            KeyEvent(GLFW_KEY_Z, GLFW_REPEAT, kCtrl);
            KeyEvent(GLFW_KEY_Z, GLFW_RELEASE, kCtrl);
            KeyEvent(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE, kCtrl);
        });
    EXPECT_EQ(gradients(), 2u);
    slowFrame([&] { tap(GLFW_KEY_Y, kCtrl), tap(GLFW_KEY_Z, kCtrl | kShift); }); // Ctrl+Shift+Z redoes too
    EXPECT_EQ(gradients(), 4u);

    // F frames the terrain while the scene window has the focus.
    GuiFrame({}, [] { ImGui::SetWindowFocus("Scene 0"); });
    ASSERT_TRUE(editor.scenes[0]->camera->IsNewSceneView());
    slowFrame([&] { tap(GLFW_KEY_F); });
    EXPECT_FALSE(editor.scenes[0]->camera->IsNewSceneView());

    // Ctrl+N opens New Terrain; behind it, no other shortcut acts.
    slowFrame([&] { tap(GLFW_KEY_N, kCtrl); });
    EXPECT_TRUE(editor.showNewTerrain);
    slowFrame([&] { tap(GLFW_KEY_O, kCtrl), tap(GLFW_KEY_Z, kCtrl); });
    EXPECT_FALSE(editor.project.showOpen);
    EXPECT_EQ(gradients(), 4u);
    EXPECT_GT(editor.statusLine.frameMilliseconds, 0.0);
    EXPECT_LT(editor.statusLine.frameMilliseconds, 250.0);
    editor.showNewTerrain = false;
    Frames(2);
}

// A terrain made while a scene exists goes into the list, not into the scene: the notice names it,
// and its button shows it in the focused scene.
TEST_F(EditorGLTest, ANewTerrainBesideASceneIsNamedAndShownOnRequest)
{
    WatchWidgets();
    const auto first = CreateTerrainWithScene("first", 17);
    const auto second = CreateTerrain("second", 17);
    ASSERT_EQ(editor.scenes.size(), 1u);
    EXPECT_EQ(editor.scenes[0]->terrain, first);
    EXPECT_EQ(editor.session.notice, "Terrain second (17 x 17) is in the terrain list.");
    Frames(2);
    ASSERT_TRUE(ClickWidget("Show in Scene 0##notice", "##MainMenuBar")) << Widgets().Describe();
    EXPECT_EQ(editor.scenes[0]->terrain, second);
    EXPECT_TRUE(editor.session.notice.empty());
}

// The camera window opens at its own size, 400 x 100, which holds its rows without scrolling.
TEST_F(EditorGLTest, TheCameraWindowShowsItsRowsAtFirstUse)
{
    CreateTerrainWithScene("t", 17);
    for (const bool rotate : {false, true})
    {
        editor.scenes[0]->camera->rotate = rotate;
        editor.scenes[0]->showCameraControl = true;
        Frames(3);
        const ImGuiWindow* camera = ImGui::FindWindowByName("Scene 0 camera");
        ASSERT_NE(camera, nullptr);
        EXPECT_EQ(std::make_tuple(camera->Size.x, camera->Size.y, camera->ScrollMax.x, camera->ScrollMax.y),
                  std::make_tuple(400.0f, 100.0f, 0.0f, 0.0f))
            << rotate;
        EXPECT_GE(camera->Pos.x + camera->Size.x, 0.83f * testsupport::kGLWindowWidth); // beside the scene
    }
}

// Tool windows open inside the main window, apart from each other and from the terrain generator;
// one that a smaller main window or a saved layout leaves out of reach comes back inside.
TEST_F(EditorGLTest, ToolWindowsOpenApartAndComeBackInsideWhenOutOfReach)
{
    GLFWwindow* window = Engine::Get().window.handle;
    glfwSetWindowSize(window, 1280, 1024);
    WatchWidgets();
    auto terrain = CreateTerrainWithScene("hills", 33);
    Scene& scene = *editor.scenes[0];
    scene.showTerrainGenerator = true;
    scene.showCameraControl = true;
    editor.showOptions = true;
    Frames(3);

    const auto inside = [&](const WidgetMapFile& map)
    {
        const ImVec2 from = ImGui::GetMainViewport()->WorkPos, size = ImGui::GetMainViewport()->WorkSize;
        for (const MapEntry& window : map.windows)
        {
            const bool own = window.label.rfind("##", 0) == 0 || window.label == "Invisible Window";
            EXPECT_TRUE(own || (window.rect.x0 >= from.x && window.rect.y0 >= from.y &&
                                window.rect.x1 <= from.x + size.x && window.rect.y1 <= from.y + size.y))
                << window.label << " at " << window.rect.x0 << ", " << window.rect.y0;
        }
    };
    const auto apart = [&](const std::vector<std::string>& names)
    {
        const WidgetMapFile map = Widgets();
        inside(map);
        for (size_t i = 0; i < names.size(); ++i)
            for (size_t j = 0; j < i; ++j)
            {
                const MapEntry* a = map.Window(names[i]);
                const MapEntry* b = map.Window(names[j]);
                ASSERT_TRUE(a != nullptr && b != nullptr) << names[i] << ", " << names[j] << "\n"
                                                          << map.Describe();
                const bool overlap = a->rect.x0 < b->rect.x1 && b->rect.x0 < a->rect.x1 &&
                                     a->rect.y0 < b->rect.y1 && b->rect.y0 < a->rect.y1;
                EXPECT_FALSE(overlap) << names[i] << " over " << names[j];
            }
    };
    const std::string generator = "Scene 0 terrain generator";
    ASSERT_TRUE(ClickWidget("Water##hills", generator));
    Frames(3);
    apart({generator, "Scene 0 camera", "Editor options", "Water editor"});

    editor.texturePanel.diffuseEditorOpen = true;
    editor.texturePanel.chosenTexture = terrain->heightmapTexture.get();
    editor.texturePanel.textureEditorOpen = true;
    ASSERT_TRUE(ClickWidget("Textures##hills", generator));
    Frames(3);
    editor.diffuseEditor.AddGradient(editor, *terrain);
    editor.diffuseEditor.selected = 0; // the band's region: the editor grows, not past the right edge
    Frames(3);
    const std::string textureEditor = "Texture editor##" + std::to_string(terrain->heightmapTexture->id);
    apart({generator, "Scene 0 camera", "Editor options", "Diffuse texture editor##hills", textureEditor});

    // A smaller main window: everything is within reach again.
    glfwSetWindowSize(window, 640, 480);
    Frames(3);
    inside(Widgets());
    // A layout saved on a larger screen puts the help window below this one.
    ImGui::LoadIniSettingsFromMemory("[Window][Help##helpw]\nPos=100,3000\nSize=700,150\n");
    editor.showHelp = true;
    Frames(3);
    ASSERT_NE(Widgets().Window("Help##helpw"), nullptr);
    inside(Widgets());
}

} // namespace
