// The document's changes: each command counts once in the session's revision, what changes nothing
// counts nothing, and looking around (the view, the windows, the panels drawn) is no change at all.
#include "tests/editor/EditorTestSupport.h"

#include "render/Camera.h"
#include "render/Scene.h"
#include "render/Texture.h"
#include "terrain/Gradient.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{
class CommandsGLTest : public testsupport::EditorFrames
{
};

TEST_F(CommandsGLTest, EachChangeCountsOnceAndLookingAroundNotAtAll)
{
    const std::shared_ptr<Terrain> terrain = CreateTerrainWithScene("hills", 17);
    ASSERT_TRUE(terrain);
    Scene& scene = *editor.scenes[0];
    scene.showTerrainGenerator = true;
    scene.showCameraControl = true;
    Commands& c = editor.commands;
    std::shared_ptr<Terrain::Heightmap> layer;
    const auto settings = [&](float frequency)
    {
        Terrain::Heightmap::Settings s = layer->settings;
        s.frequency = frequency;
        return s;
    };
    const struct
    {
        const char* what;
        uint64_t counted;
        std::function<void()> act;
    } cases[] = {
        {"add a noise layer", 1, [&] { layer = c.AddNoiseLayer(*terrain); }},
        {"add an erosion entry", 1, [&] { c.AddErosion(*terrain); }},
        {"move the first layer down", 1, [&] { c.MoveLayer(*terrain, layer, 1); }},
        {"move the last layer down", 0, [&] { c.MoveLayer(*terrain, layer, 1); }},
        {"rename a layer", 1, [&] { c.RenameLayer(*layer, "ridges"); }},
        {"rename it the same", 0, [&] { c.RenameLayer(*layer, "ridges"); }},
        {"change its settings", 1, [&] { c.SetLayerSettings(*layer, settings(0.05f), true); }},
        {"undo with nothing kept", 0, [&] { c.StepLayerHistory(*layer, false); }},
        {"apply the layers", 1, [&] { c.ApplyLayers(terrain); }},
        {"paint", 1, [&] { c.Paint(*layer, editor.brush, glm::vec2(3.0f, 3.0f)); }},
        {"add a gradient", 1, [&] { c.AddGradient(*terrain); }},
        {"change a span", 1, [&] { c.SetHeightSpan(*terrain, 0, 200); }},
        {"generate the diffuse texture", 1,
         [&] { c.GenerateDiffuse(*terrain, Terrain::BandRecord::Mode::Height, nullptr, 0); }},
        {"show it on the terrain", 1, [&] { c.ShowTexture(*terrain, terrain->diffuseTexture.get()); }},
        {"show it again", 0, [&] { c.ShowTexture(*terrain, terrain->diffuseTexture.get()); }},
        {"name its file", 1, [&] { c.NameTextureFile(*terrain->diffuseTexture, "hills_diffuse"); }},
        {"pour water", 1, [&] { c.PourWater(*terrain, 8 * 17 + 8); }},
        {"recalculate the water plane", 1, [&] { c.RecalculateWater(*terrain); }},
        {"reset the water", 1, [&] { c.ResetWater(*terrain); }},
        {"delete a layer", 1, [&] { c.DeleteLayer(*terrain, layer); }},
        {"the scene's look", 1, [&] { c.SetSceneLook(scene, true, glm::vec4(0.5f), false); }},
        {"an aspect ratio", 1, [&] { editor.sceneWindow.ChooseAspectRatio(editor, scene, 2); }},
        {"the camera's speed", 1, [&] { c.SetCameraSpeed(*scene.camera, 2.0f); }},
        {"the scene's own terrain again", 0, [&] { c.SetSceneTerrain(scene, terrain); }},
        {"a new shader", 1, [&] { c.CreateShader("shaders/basic_lighting"); }},
        {"a second scene, refused", 0, [&] { c.NewScene(); }},
        {"frames with every panel drawn", 0, [&] { Frames(3); }},
        {"flying and framing the terrain", 0,
         [&]
         {
             scene.camera->position += glm::vec3(1.0f, 2.0f, 3.0f);
             scene.camera->yaw += 20.0f;
             SceneWindow::FrameTerrain(editor, scene);
         }},
        {"windows shown and hidden", 0,
         [&]
         {
             scene.showCameraControl = false;
             editor.showOptions = true;
             Frames(2);
         }},
    };
    for (const auto& step : cases)
    {
        const uint64_t before = editor.session.revision;
        step.act();
        ASSERT_TRUE(FinishJobs());
        EXPECT_EQ(editor.session.revision - before, step.counted) << step.what;
    }
    EXPECT_EQ(editor.errorMessage, "Multiple scenes in development."); // the only error: nothing failed
    editor.showError = false;

    // Saving records the revision it wrote: the title loses its star until the next change.
    testsupport::TempDir dir;
    editor.session.recent.file = dir / "recent_projects.txt";
    editor.project.Save(editor, dir / "hills.velmoran");
    ASSERT_TRUE(FinishJobs());
    EXPECT_FALSE(editor.session.HasUnsavedChanges());
    c.AddGradient(*terrain);
    EXPECT_TRUE(editor.session.HasUnsavedChanges());
}
} // namespace
