// The document's changes: each command counts once in the session's revision, what changes nothing
// counts nothing, and looking around (the view, the windows, the panels drawn) is no change at all;
// each is undone to the session before it and redone to the session after it, bit for bit.
#include "tests/editor/EditorTestSupport.h"

namespace
{
using CommandsGLTest = testsupport::EditorFrames;

TEST_F(CommandsGLTest, WhatChangesNothingAndLookingAroundCountNothing)
{
    const std::shared_ptr<Terrain> terrain = CreateTerrainWithScene("hills", 17);
    Scene& scene = *editor.scenes[0];
    scene.showTerrainGenerator = true;
    scene.showCameraControl = true;
    Commands& c = editor.commands;
    // Something in every panel: a layer list, a diffuse texture shown, water.
    const std::shared_ptr<Terrain::Heightmap> layer = c.AddNoiseLayer(*terrain);
    c.AddErosion(*terrain);
    c.MoveLayer(*terrain, layer, 1);
    c.RenameLayer(*layer, "ridges");
    c.AddGradient(*terrain);
    c.GenerateDiffuse(*terrain, Terrain::BandRecord::Mode::Height, nullptr, 0);
    c.ShowTexture(*terrain, terrain->diffuseTexture.get());
    AddLake(*terrain);
    ASSERT_TRUE(FinishJobs());
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"move the last layer down", [&] { c.MoveLayer(*terrain, layer, 1); }},
        {"rename a layer the same", [&] { c.RenameLayer(*layer, "ridges"); }},
        {"undo with nothing kept", [&] { c.StepLayerHistory(*layer, false); }},
        {"show the shown texture again", [&] { c.ShowTexture(*terrain, terrain->diffuseTexture.get()); }},
        {"the scene's own terrain again", [&] { c.SetSceneTerrain(scene, terrain); }},
        {"a second scene, refused", [&] { c.NewScene(); }},
        {"frames with every panel drawn", [&] { Frames(3); }},
        {"flying",
         [&] { scene.camera->position += glm::vec3(1.0f, 2.0f, 3.0f), scene.camera->yaw += 20.0f; }},
        {"framing the terrain", [&] { SceneWindow::FrameTerrain(editor, scene); }},
        {"windows shown and hidden",
         [&] { scene.showCameraControl = false, editor.showOptions = true, Frames(2); }},
    };
    for (const auto& [what, act] : cases)
    {
        const uint64_t before = editor.session.revision;
        act();
        ASSERT_TRUE(FinishJobs());
        EXPECT_EQ(editor.session.revision, before) << what;
    }
    EXPECT_EQ(editor.errorMessage, "Multiple scenes in development."); // the only error: nothing failed
    editor.showError = false;
}

// A session built through the editor's own functions, each command (or stroke, or drag) undone and
// redone on its own, then all of them undone and redone in one run: every time the session is what
// it was, bit for bit (what the driver draws included), and Edit > Undo names the step. Each call of
// a command counts once in the session's revision.
TEST_F(CommandsGLTest, EveryCommandIsUndoneAndRedoneBitForBit)
{
    const std::shared_ptr<Terrain> terrain = CreateTerrainWithScene("hills", 17, 1);
    Scene& scene = *editor.scenes[0];
    Commands& c = editor.commands;
    History& history = editor.session.history;
    std::shared_ptr<Terrain::Heightmap> noise, erosion, sculpt;
    const Sculpt::GridFrame frame = terrain->Frame();
    // A dab of radius 3 at (i, j) from the first vertex; Flatten flattens to height 1.
    const auto dab = [&](float i, float j, Sculpt::Tool tool)
    {
        const Sculpt::Dab at{frame.x0 + i, frame.z0 + j, false, 1.0f};
        c.SculptDab(*terrain, *sculpt, Sculpt::Brush{tool, 3.0f}, at);
    };
    testsupport::WriteScanObj(dir / "scan.obj", 9, 6, [](uint32_t i, uint32_t j) { return i * j * 0.25f; });

    // The step's name in Edit > Undo, the changes it counts, and what it does.
    const std::tuple<const char*, uint64_t, std::function<void()>> steps[] = {
        {"New terrain", 1, [&] { CreateTerrain("second", 9); }},
        {"Load terrain", 1, [&] { editor.loadTerrain.Load(editor, dir / "scan.obj"); }},
        {"New terrain", 1,
         [&]
         {
             editor.heightmapImport.form.path = WriteHeights(9, 9);
             editor.heightmapImport.form.name = "dunes";
             editor.heightmapImport.Create(editor);
         }},
        {"Choose terrain", 1, [&] { c.SetSceneTerrain(scene, terrain); }},
        {"Add heightmap", 1, [&] { noise = c.AddNoiseLayer(*terrain); }},
        {"Add erosion", 1, [&] { erosion = c.AddErosion(*terrain); }},
        {"Change layer settings", 4,
         [&]
         {
             // A drag over three frames, then the release: one step.
             for (float frequency : {0.02f, 0.03f, 0.05f})
             {
                 Terrain::Heightmap::Settings settings = noise->settings;
                 settings.frequency = frequency;
                 c.SetLayerSettings(*noise, settings, true);
             }
             c.KeepLayerSettings(*noise);
         }},
        {"Layer settings undo", 1, [&] { c.StepLayerHistory(*noise, false); }},
        {"Change layer settings", 2,
         [&]
         {
             Terrain::Heightmap::Settings settings = erosion->settings;
             settings.erosion.hydraulic.droplets = 400; // a few hundred on 17 x 17, as a large grid has
             c.SetLayerSettings(*erosion, settings, false);
             c.KeepLayerSettings(*erosion);
         }},
        {"Rename layer", 1, [&] { c.RenameLayer(*noise, "ridges"); }},
        {"Apply layers", 1,
         [&]
         {
             c.ApplyLayers(terrain);
             ASSERT_TRUE(FinishJobs());
             ASSERT_GT(terrain->minHeight, -50.0f); // eroded, not run away
         }},
        {"Move layer", 1, [&] { c.MoveLayer(*terrain, erosion, -1); }},
        {"Paint stroke", 3,
         [&]
         {
             editor.brush.size = 6;
             for (float x : {3.0f, 5.0f, 7.0f})
                 c.Paint(*noise, editor.brush, glm::vec2(x, 4.0f));
         }},
        {"Sculpt stroke", 4,
         [&]
         {
             sculpt = c.AddSculptEntry(*terrain);
             dab(4.0f, 4.0f, Sculpt::Tool::RaiseLower);
             dab(6.0f, 5.0f, Sculpt::Tool::Smooth);
             dab(12.0f, 14.0f, Sculpt::Tool::Flatten);
         }},
        {"Sculpt stroke", 1, [&] { dab(8.0f, 8.0f, Sculpt::Tool::Noise); }},
        {"Add gradient", 1, [&] { c.AddGradient(*terrain); }},
        {"Add gradient", 1, [&] { c.AddGradient(*terrain); }},
        {"Change gradient span", 1, [&] { c.SetHeightSpan(*terrain, 0, 100); }},
        {"Generate diffuse texture", 1,
         [&] { c.GenerateDiffuse(*terrain, Terrain::BandRecord::Mode::Slope, nullptr, 0); }},
        {"Generate diffuse texture", 1,
         [&] { c.GenerateDiffuse(*terrain, Terrain::BandRecord::Mode::Mask, erosion, 2); }},
        {"Preview on terrain", 1, [&] { c.ShowTexture(*terrain, terrain->diffuseTexture.get()); }},
        {"Name texture file", 1, [&] { c.NameTextureFile(*terrain->diffuseTexture, "hills_colour"); }},
        {"Pour water", 3,
         [&]
         {
             c.PourWater(*terrain, 3 * 17 + 4);
             c.PourWater(*terrain, 12 * 17 + 10);
             c.OutlineWater(*terrain);
         }},
        {"Recalculate water", 1, [&] { c.RecalculateWater(*terrain); }},
        {"Reset water", 1, [&] { c.ResetWater(*terrain); }},
        {"Load layer image", 1,
         [&]
         {
             ASSERT_TRUE(noise->Save(dir / "ridges.png"));
             std::string error;
             noise = c.ReplaceLayerWithImage(*terrain, noise, dir / "ridges.png", error);
         }},
        {"Delete layer", 1, [&] { c.DeleteLayer(*terrain, erosion); }},
        {"Change scene", 1, [&] { c.SetSceneLook(scene, true, glm::vec4(0.2f, 0.3f, 0.4f, 1.0f), true); }},
        {"Set aspect ratio", 1, [&] { editor.sceneWindow.ChooseAspectRatio(editor, scene, 1); }},
        {"Change camera", 1, [&] { c.SetCameraSpeed(*scene.camera, 3.5f); }},
        {"Change camera", 1, [&] { c.SetCameraRotation(*scene.camera, true); }},
        {"New shader", 1, [&] { c.CreateShader("shaders/normal_shader"); }},
        {"Choose shader", 1, [&] { c.SetSceneShader(scene, editor.shaders.back()); }},
        {"Destroy scene", 1, [&] { c.DestroyScene(scene); }},
        {"Create scene", 1, [&] { c.NewScene(); }},
    };
    history.Seal(); // the terrain and its scene are the session's first steps
    std::vector<std::string> snapshots{Snapshot()};
    for (const auto& [what, counted, act] : steps)
    {
        SCOPED_TRACE(what);
        const uint64_t revision = editor.session.revision;
        act();
        ASSERT_TRUE(FinishJobs());
        EXPECT_EQ(editor.session.revision - revision, counted);
        ASSERT_FALSE(editor.showError) << editor.errorMessage;
        history.Seal(); // the gesture ends, as a frame with no button held ends it
        EXPECT_EQ(history.UndoName(), what);
        const std::string after = Snapshot();
        ASSERT_NE(after, snapshots.back()) << "the command changed nothing";
        ASSERT_TRUE(c.Undo());
        ASSERT_TRUE(SnapshotIs(snapshots.back())) << "undo";
        ASSERT_TRUE(c.Redo());
        ASSERT_TRUE(SnapshotIs(after)) << "redo";
        snapshots.push_back(after);
    }
    Frames(2); // the session as restored draws

    for (size_t n = snapshots.size() - 1; n > 0; --n)
    {
        ASSERT_TRUE(c.Undo());
        ASSERT_TRUE(SnapshotIs(snapshots[n - 1])) << "undoing " << n - 1 << " " << std::get<0>(steps[n - 1]);
    }
    EXPECT_EQ(history.UndoName(), "New terrain"); // the first terrain and its scene, made before the table
    for (size_t n = 1; n < snapshots.size(); ++n)
    {
        ASSERT_TRUE(c.Redo());
        ASSERT_TRUE(SnapshotIs(snapshots[n])) << "redoing " << n - 1 << " " << std::get<0>(steps[n - 1]);
    }
    Frames(2);
}

// Saving marks where the session is unchanged: undoing back to it, or redoing forward to it, leaves
// no unsaved changes; a new command after an undo drops the steps that were undone.
TEST_F(CommandsGLTest, UndoingBackToTheSavedPointLeavesNothingUnsaved)
{
    const std::shared_ptr<Terrain> terrain = CreateTerrainWithScene("hills", 17);
    Commands& c = editor.commands;
    c.AddGradient(*terrain);
    editor.session.history.Seal();
    // What is done, and whether the session has unsaved changes after it; each ends its gesture.
    const std::tuple<const char*, std::function<void()>, bool> steps[] = {
        {"save", [&] { EXPECT_TRUE(SaveProject(dir / "hills.velmoran")); }, false},
        {"a gradient more", [&] { c.AddGradient(*terrain); }, true},
        {"undo to the saved point", [&] { EXPECT_TRUE(c.Undo()); }, false},
        {"undo before it", [&] { EXPECT_TRUE(c.Undo()); }, true},
        {"redo to it", [&] { EXPECT_TRUE(c.Redo()); }, false},
        {"a gradient deleted", [&] { c.DeleteGradient(*terrain, 0); }, true}};
    for (const auto& [what, act, unsaved] : steps)
    {
        SCOPED_TRACE(what);
        act();
        editor.session.history.Seal();
        EXPECT_EQ(editor.session.HasUnsavedChanges(), unsaved);
    }
    EXPECT_FALSE(c.CanRedo());
    EXPECT_EQ(editor.session.history.UndoName(), "Delete gradient");
    // The step undone before it is gone: undoing goes back over the deletion, then the first gradient.
    ASSERT_TRUE(c.Undo());
    EXPECT_EQ(terrain->gradients.size(), 1u);
    ASSERT_TRUE(c.Undo());
    EXPECT_TRUE(terrain->gradients.empty());

    // Undo ends a gesture still open: what comes after it is a step of its own.
    c.AddGradient(*terrain);
    ASSERT_TRUE(c.Undo());
    c.AddGradient(*terrain);
    c.AddGradient(*terrain);
    editor.session.history.Seal();
    ASSERT_TRUE(c.Undo());
    EXPECT_TRUE(terrain->gradients.empty());
}

TEST_F(CommandsGLTest, AHistoryOverItsLimitForgetsTheOldestSteps)
{
    const std::shared_ptr<Terrain> terrain = CreateTerrainWithScene("hills", 17);
    History& history = editor.session.history;
    for (int n = 0; n < 4; ++n)
    {
        if (n == 3) history.limitBytes = history.Bytes(); // one more step is too many
        editor.commands.AddGradient(*terrain);
        history.Seal();
    }
    EXPECT_LE(history.Bytes(), history.limitBytes);
    ASSERT_TRUE(editor.commands.Undo());
    EXPECT_EQ(terrain->gradients.size(), 3u);
    ASSERT_TRUE(editor.commands.Undo());
    EXPECT_EQ(terrain->gradients.size(), 2u);
}
} // namespace
