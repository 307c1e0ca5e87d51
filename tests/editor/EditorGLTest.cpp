// The editor's decisions (scenes, manage dialog, file dialogs) and its frames on real GL.
#include "tests/editor/EditorTestSupport.h"

#include "editor/GuiUtil.h"
#include "render/Camera.h"
#include "render/Mesh.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/WaterPlane.h"
#include "tests/support/LogCapture.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <imgui_internal.h>

#include <algorithm>

using testsupport::EditorFrames;
using testsupport::LogCapture;

namespace
{
class EditorGLTest : public EditorFrames
{
};

TEST_F(EditorGLTest, NewSceneNeedsATerrainAndOnlyOneSceneMayExist)
{
    EXPECT_EQ(editor.CreateNewScene(), nullptr);
    EXPECT_TRUE(editor.showError);
    EXPECT_EQ(editor.errorMessage, "Please create a new terrain first.");

    editor.showError = false;
    editor.newTerrainForm.name = "first";
    ASSERT_TRUE(editor.CreateTerrainFromForm());
    ASSERT_EQ(editor.scenes.size(), 1u); // the first terrain brings its scene
    EXPECT_EQ(editor.scenes[0]->name, "Scene 0");
    EXPECT_TRUE(editor.scenes[0]->showManage);
    EXPECT_EQ(editor.cameras.size(), 1u);

    EXPECT_EQ(editor.CreateNewScene(), nullptr);
    EXPECT_EQ(editor.errorMessage, "Multiple scenes in development.");
    EXPECT_EQ(editor.scenes.size(), 1u);
}

TEST_F(EditorGLTest, CreateDialogGivesTheSceneTheFirstTerrainAShaderAndItsCamera)
{
    editor.newTerrainForm.name = "first";
    const auto terrain = editor.CreateTerrainFromForm();
    Scene& scene = *editor.scenes[0];
    editor.ManageFillDefaults(scene);
    EXPECT_EQ(scene.terrain, terrain);
    ASSERT_TRUE(scene.shader);
    EXPECT_NE(scene.shader, editor.shaders[0]); // a fresh program of the first listed shader
    EXPECT_EQ(scene.shader->vertexPath, "shaders/basic_lighting.vert");
    EXPECT_EQ(scene.camera, editor.cameras.back());
    EXPECT_EQ(scene.camera->name, "Scene 0 camera");

    editor.ManageCreate(scene);
    EXPECT_FALSE(scene.isNew);
    EXPECT_FALSE(scene.showManage);
    EXPECT_TRUE(scene.showWindow);
}

TEST_F(EditorGLTest, ChoosingAShaderBuildsAFreshProgramEveryTime)
{
    const auto terrain = CreateTerrainWithScene("t");
    Scene& scene = *editor.scenes[0];
    editor.ManageChooseShader(scene, editor.shaders[1]);
    const auto first = scene.shader;
    editor.ManageChooseShader(scene, editor.shaders[1]);
    EXPECT_NE(scene.shader, first);
    EXPECT_EQ(scene.shader->name, "shaders/normal_shader");
    EXPECT_NE(scene.shader->program, first->program);
}

TEST_F(EditorGLTest, RestorePointIsTakenOnceAndRestoredByCancel)
{
    const auto first = CreateTerrainWithScene("first");
    editor.newTerrainForm.name = "second";
    const auto second = editor.CreateTerrainFromForm();
    Scene& scene = *editor.scenes[0];
    const auto originalShader = scene.shader;

    editor.ManageTakeRestorePoint(scene);
    EXPECT_TRUE(editor.restorePoint.taken);
    editor.ManageChooseTerrain(scene, second);
    editor.ManageChooseShader(scene, editor.shaders[2]);
    editor.ManageTakeRestorePoint(scene); // once per run: the first point stays
    EXPECT_EQ(editor.restorePoint.terrain, first);

    editor.ManageCancel(scene);
    EXPECT_EQ(scene.terrain, first);
    EXPECT_EQ(scene.shader, originalShader);
    EXPECT_FALSE(scene.showManage);
}

TEST_F(EditorGLTest, DestroyRemovesTheSceneButKeepsItsCamera)
{
    CreateTerrainWithScene("t");
    editor.ManageDestroy(*editor.scenes[0]);
    EXPECT_TRUE(editor.scenes.empty());
    EXPECT_EQ(editor.cameras.size(), 1u);
}

TEST_F(EditorGLTest, NewShaderNeedsANameAndIsListedEvenWhenItsFilesAreMissing)
{
    EXPECT_EQ(editor.CreateShader(""), nullptr);
    EXPECT_EQ(editor.shaders.size(), 3u);
    LogCapture log;
    const auto shader = editor.CreateShader("shaders/missing_shader");
    ASSERT_TRUE(shader);
    EXPECT_EQ(editor.shaders.size(), 4u);
    EXPECT_EQ(shader->vertexPath, "shaders/missing_shader.vert");
    EXPECT_EQ(shader->fragmentPath, "shaders/missing_shader.frag");
    EXPECT_EQ(shader->program, 0u);
    EXPECT_TRUE(log.Has(spdlog::level::err, "Unable to open file shaders/missing_shader.vert for reading."));
    testsupport::DrainGLErrors();
}

TEST_F(EditorGLTest, RenderQueuesOneObjectPerTerrainAndOneForItsWaterPlane)
{
    const auto terrain = CreateTerrainWithScene("t", 9);
    Engine& engine = Engine::Get();
    editor.Render();
    EXPECT_EQ(engine.renderManager.commandQueue.size(), 5u);
    engine.renderManager.Clear();

    terrain->PourWater(40);
    WaterEditorState::Recalculate(*terrain, editor.defaultShader);
    editor.Render();
    EXPECT_EQ(engine.renderManager.commandQueue.size(), 6u);
    engine.renderManager.Clear();

    editor.scenes[0]->showWindow = false;
    editor.Render();
    EXPECT_TRUE(engine.renderManager.commandQueue.empty());
}
// The editor's GL objects go in Shutdown, while the context exists, not when the editor object dies
// after the window.
TEST_F(EditorGLTest, ShutdownReleasesEveryGLObjectWhileTheContextExists)
{
    auto terrain = CreateTerrainWithScene("t", 17);
    terrain->PourWater(8 * 17 + 8);
    WaterEditorState::Recalculate(*terrain, editor.defaultShader);
    editor.layerPanel.selectedLayer = editor.layerPanel.AddLayer(*terrain);
    editor.saveTerrainForm.selected = terrain;
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
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

// The Create dialog's close button clears showManage and nothing else: the scene was neither made
// nor removed, and "Create new scene" refused for the rest of the run.
TEST_F(EditorGLTest, ClosingTheCreateDialogCancelsTheScene)
{
    editor.newTerrainForm.name = "first";
    ASSERT_TRUE(editor.CreateTerrainFromForm());
    Frame();                              // the Create dialog is open
    editor.scenes[0]->showManage = false; // what its close button does
    Frame();
    EXPECT_TRUE(editor.scenes.empty());
    EXPECT_TRUE(editor.cameras.empty());
    const auto scene = editor.CreateNewScene();
    ASSERT_TRUE(scene);
    EXPECT_FALSE(editor.showError) << editor.errorMessage;
    EXPECT_EQ(scene->name, "Scene 1");
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
    const ImRect inner = window->InnerRect;
    const ImVec2 picture((inner.Min.x + inner.Max.x) * 0.5f, (inner.Min.y + inner.Max.y) * 0.5f);
    ASSERT_EQ(ImGui::FindWindowByName((scene.name + " camera").c_str())->Rect().Contains(picture), false);
    GuiFrame({picture, false, false});
    GuiFrame({picture, false, true});
    EXPECT_EQ(GImGui->NavWindow, window);
    EXPECT_EQ(editor.focusedScene.lock(), editor.scenes[0]);
    GuiFrame({picture, false, false});
}

// Waiting for input is allowed only once nothing has moved, been held or animated for a few frames;
// idle frames leave the scenes' pictures as they are.
TEST_F(EditorGLTest, TheEditorWaitsForInputOnlyWhenNothingMoves)
{
    CreateTerrainWithScene("t", 17);
    const auto quiet = [&](int frames)
    {
        for (int i = 0; i < frames; ++i)
            GuiFrame({});
    };
    quiet(4);
    EXPECT_TRUE(editor.CanWaitForEvents());
    editor.Render();
    EXPECT_TRUE(Engine::Get().renderManager.commandQueue.empty());

    editor.scenes[0]->camera->rotate = true; // an orbiting camera moves every frame
    quiet(4);
    EXPECT_FALSE(editor.CanWaitForEvents());
    editor.scenes[0]->camera->rotate = false;
    quiet(1);
    EXPECT_FALSE(editor.CanWaitForEvents()); // not straight after
    quiet(3);
    EXPECT_TRUE(editor.CanWaitForEvents());

    const ImVec2 pos(200.0f, 200.0f);
    GuiFrame({pos, false, false}); // the pointer arrives
    EXPECT_FALSE(editor.CanWaitForEvents());
    for (int i = 0; i < 4; ++i)
        GuiFrame({pos, false, true}); // a button held (a drag, the fly control)
    EXPECT_FALSE(editor.CanWaitForEvents());
    for (int i = 0; i < 4; ++i)
        GuiFrame({pos, false, false});
    EXPECT_TRUE(editor.CanWaitForEvents());

    editor.Wake(); // a change without input draws again
    EXPECT_FALSE(editor.CanWaitForEvents());
    editor.Render();
    EXPECT_EQ(Engine::Get().renderManager.commandQueue.size(), 5u);
    Engine::Get().renderManager.Clear();
}

// Tool windows open where their contents show: the camera window's rows need no scrolling.
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
        EXPECT_EQ(camera->ScrollMax.y, 0.0f) << rotate;
        EXPECT_EQ(camera->ScrollMax.x, 0.0f) << rotate;
        EXPECT_GE(camera->Pos.x + camera->Size.x, 0.83f * testsupport::kGLWindowWidth); // beside the scene
    }
}
} // namespace
