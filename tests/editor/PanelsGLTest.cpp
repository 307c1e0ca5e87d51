// The scene panels' decisions: layers, regeneration, gradients, texture saving and water strokes.
#include "tests/editor/EditorTestSupport.h"

#include <imgui_internal.h>
#include <stb_image_write.h>

namespace
{
class PanelsGLTest : public testsupport::EditorFrames
{
  protected:
    std::shared_ptr<Terrain> terrain;
    LayerPanel& panel = editor.layerPanel;

    void SetUp() override
    {
        EditorFrames::SetUp();
        terrain = CreateTerrainWithScene("hills", 33);
    }

    // A grey image (200) of side x side pixels in the test's folder.
    std::string GreyImage(const std::string& name, int side)
    {
        const std::vector<uint8_t> grey(size_t(side) * side, 200);
        EXPECT_TRUE(stbi_write_png((dir / name).c_str(), side, side, 1, grey.data(), side));
        return dir / name;
    }

    std::vector<std::string> LayerNames() const
    {
        std::vector<std::string> names;
        for (const auto& layer : terrain->heightmaps)
            names.push_back(layer->name);
        return names;
    }
};

// An erosion entry is named and listed like a layer and is never replaced by an image; deleted while
// the mesh shows its mask, the heightmap is shown again and the diffuse editor has no mask source.
TEST_F(PanelsGLTest, ErosionEntriesAreListedLikeLayersButTakeNoImage)
{
    panel.AddLayer(editor, terrain);
    auto erosion = panel.AddErosion(editor, terrain);
    EXPECT_EQ(LayerNames(), (std::vector<std::string>{"Heightmap_0", "Erosion_1"}));
    EXPECT_EQ(erosion->states.size(), 1u);

    panel.selectedLayer = erosion;
    std::string error;
    EXPECT_FALSE(panel.ReplaceSelectedWithImage(editor, terrain, "missing.png", error));
    EXPECT_EQ(terrain->heightmaps[1], erosion);
    editor.scenes[0]->showTerrainGenerator = true; // its settings widgets are drawn
    panel.layerEditorOpen = true;                  // and its mask is not offered for painting
    Frames(2);
    EXPECT_FALSE(panel.layerEditorOpen);

    terrain->ApplyHeightmaps();
    terrain->SetDisplayTexture(erosion.get());
    panel.DeleteSelected(editor, terrain);
    EXPECT_EQ(LayerNames(), (std::vector<std::string>{"Heightmap_0"}));
    EXPECT_EQ(terrain->mesh->entries[0].texture, terrain->heightmapTexture->id);
    EXPECT_FALSE(editor.diffuseEditor.MaskSource(*terrain));
}

// Layers are named by their index in the list, so names repeat after a deletion; adding selects
// nothing; moving exchanges neighbours and stops at the ends.
TEST_F(PanelsGLTest, LayersAreNamedByTheirIndexAndMoveBetweenTheEnds)
{
    for (int i = 0; i < 3; ++i)
        panel.AddLayer(editor, terrain);
    EXPECT_FALSE(panel.selectedLayer);
    panel.selectedLayer = terrain->heightmaps[1];
    EXPECT_TRUE(panel.CanMove(*terrain, -1) && panel.CanMove(*terrain, 1));
    panel.Move(editor, terrain, 1);
    EXPECT_EQ(LayerNames(), (std::vector<std::string>{"Heightmap_0", "Heightmap_2", "Heightmap_1"}));
    EXPECT_FALSE(panel.CanMove(*terrain, 1)); // now the last
    panel.Move(editor, terrain, 1);
    EXPECT_EQ(terrain->heightmaps[2], panel.selectedLayer);

    panel.selectedLayer = terrain->heightmaps[0];
    EXPECT_FALSE(panel.CanMove(*terrain, -1));
    panel.Move(editor, terrain, -1);
    EXPECT_EQ(terrain->heightmaps[0], panel.selectedLayer);

    panel.DeleteSelected(editor, terrain);
    EXPECT_FALSE(panel.selectedLayer);
    panel.AddLayer(editor, terrain);
    EXPECT_EQ(LayerNames(), (std::vector<std::string>{"Heightmap_2", "Heightmap_1", "Heightmap_2"}));
}

// Without realtime the preview follows the settings but the mesh waits for "Update mesh"; with it the
// layers are applied at once, and a change of power alone counts only then.
TEST_F(PanelsGLTest, RealtimeDecidesWhetherTheMeshFollowsAtOnce)
{
    auto layer = panel.selectedLayer = panel.AddLayer(editor, terrain);
    const std::vector<float> before = terrain->positions;
    const std::vector<uint8_t> image = testsupport::PixelsOf(*layer);
    // Realtime switched on, a noise setting changed, the power changed.
    const LayerPanel::Changes switchedOn{true}, setting{false, true}, power{false, false, true};
    EXPECT_FALSE(panel.NeedsRegeneration(power));

    layer->settings.frequency = 0.2f;
    ASSERT_TRUE(panel.NeedsRegeneration(setting));
    panel.Regenerate(editor, terrain, *layer);
    EXPECT_NE(testsupport::PixelsOf(*layer), image);
    EXPECT_EQ(terrain->positions, before);

    panel.realtimeUpdate = true;
    ASSERT_TRUE(panel.NeedsRegeneration(switchedOn));
    EXPECT_TRUE(panel.NeedsRegeneration(power));
    panel.Regenerate(editor, terrain, *layer);
    EXPECT_NE(terrain->positions, before);
}

// An image of another size, or none, keeps the old layer and says why; an image layer is never
// regenerated from noise.
TEST_F(PanelsGLTest, ImageLayersAreCheckedAndNeverRegeneratedFromNoise)
{
    auto old = panel.selectedLayer = panel.AddLayer(editor, terrain);
    std::string error;
    {
        testsupport::LogCapture log;
        EXPECT_FALSE(panel.ReplaceSelectedWithImage(editor, terrain, GreyImage("small.png", 16), error));
        EXPECT_NE(error.find("small.png"), std::string::npos) << error;
        EXPECT_FALSE(panel.ReplaceSelectedWithImage(editor, terrain, dir / "missing.png", error));
        EXPECT_EQ(terrain->heightmaps[0], old);
        testsupport::DrainGLErrors();
    }
    ASSERT_TRUE(panel.ReplaceSelectedWithImage(editor, terrain, GreyImage("layer.png", 33), error)) << error;
    auto layer = panel.selectedLayer;
    EXPECT_TRUE(layer->isTexture && terrain->heightmaps[0] == layer);
    panel.realtimeUpdate = true;
    panel.Regenerate(editor, terrain, *layer);
    EXPECT_EQ(layer->data[0], 200); // the image stays; the layers are applied
    EXPECT_NEAR(terrain->positions[1], 200.0f / 255.0f, 1e-5f);
}

TEST_F(PanelsGLTest, GradientSpansSplitByHalvesAndNeighboursGiveWay)
{
    DiffuseEditorState& diffuse = editor.diffuseEditor;
    for (int i = 0; i < 3; ++i)
        diffuse.AddGradient(editor, *terrain);
    auto spans = [&]
    {
        std::vector<int> out;
        for (const auto& g : terrain->gradients)
            out.push_back(g->heightSpan);
        return out;
    };
    EXPECT_EQ(spans(), (std::vector<int>{127, 63, 63}));
    EXPECT_FLOAT_EQ(terrain->gradients[2]->slopeSpan, 22.5f);

    diffuse.selected = 1;
    diffuse.DeleteSelected(editor, *terrain);
    EXPECT_EQ(spans(), (std::vector<int>{127, 128}));
    EXPECT_FLOAT_EQ(terrain->gradients[0]->slopeSpan + terrain->gradients[1]->slopeSpan, 90.0f);
    EXPECT_TRUE(diffuse.closeRequested);

    terrain->gradients[1]->heightSpan = 127; // two bands of 127: dragging the second to 200
    editor.commands.SetHeightSpan(*terrain, 1, 200);
    EXPECT_EQ(spans(), (std::vector<int>{54, 200}));
    editor.commands.SetHeightSpan(*terrain, 0, 50); // the first gives to the next one
    EXPECT_EQ(spans(), (std::vector<int>{50, 204}));
}

TEST_F(PanelsGLTest, WaterStrokeStartsAtTheClickedTexelAndOutlinesOnlyAfterRelease)
{
    WaterEditor& water = editor.waterEditor;
    Terrain wide(9, 5, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    // Its images are 5 texels wide and 9 high (a row per vertex along x): a picture 10 x 18 pixels, 2 per
    // texel; its bottom-left corner is texel (0, 0).
    const ImVec2 topLeft(100.0f, 50.0f);
    const ImVec2 texel = WaterEditor::TexelAt(ImVec2(100.5f, 50.0f + 18.0f - 0.5f), topLeft, 2.0f, 9);
    EXPECT_EQ(std::make_pair(static_cast<int>(texel.x), static_cast<int>(texel.y)), std::make_pair(0, 0));
    const ImVec2 topRight = WaterEditor::TexelAt(ImVec2(100.0f + 10.0f, 50.0f), topLeft, 2.0f, 9);
    // The far edge: clamped to the last vertex when pouring.
    EXPECT_EQ(std::make_pair(topRight.x, topRight.y), std::make_pair(5.0f, 9.0f));

    // Pits at the first and the last vertex (texel (x, y) is vertex (i, j) = (y, x)) hold the water
    // poured there.
    for (size_t k = 0; k < 45; ++k)
        wide.heightmapTexture->data[k] = k == 0 || k == 44 ? 0 : 100;
    water.PourAt(editor, wide, texel);
    const uint8_t* map = wide.watermapTexture->data.get();
    EXPECT_EQ(std::make_tuple(map[3], map[4 * 1 + 3]), std::make_tuple(255, 0)); // no fringe while held
    water.EndStrokeIfReleased(editor, wide, true);
    EXPECT_EQ(map[4 * 1 + 3], 0);
    water.EndStrokeIfReleased(editor, wide, false);
    EXPECT_EQ(std::make_tuple(map[4 * 1 + 3], water.strokeActive), std::make_tuple(127, false));

    water.PourAt(editor, wide, topRight); // never outside the grid
    std::vector<size_t> full;
    for (size_t k = 0; k < 45; ++k)
        if (map[4 * k + 3] == 255) full.push_back(k);
    EXPECT_EQ(full, (std::vector<size_t>{0, 44}));
}

TEST_F(PanelsGLTest, RecalculatingReplacesTheWaterPlaneAndClearingRemovesIt)
{
    AddLake(*terrain);
    std::weak_ptr<Terrain::WaterPlane> first = terrain->waterPlane;
    editor.commands.RecalculateWater(*terrain);
    EXPECT_TRUE(first.expired());
    ASSERT_TRUE(terrain->waterPlane);
    terrain->ClearWater();
    EXPECT_FALSE(terrain->waterPlane);
}

TEST_F(PanelsGLTest, AFixedRatioChosenForOneSceneDoesNotDivideByZeroInTheNext)
{
    SceneWindow& state = editor.sceneWindow;
    Scene& first = *editor.scenes[0];
    state.ChooseAspectRatio(editor, first, 1);
    EXPECT_FLOAT_EQ(first.camera->aspectRatio, 16.0f / 9.0f);
    EXPECT_FALSE(state.UsesCustomRule(first));
    EXPECT_FLOAT_EQ(state.ImageSize(first, ImVec2(320.0f, 400.0f)).y, 180.0f);

    Scene later(7); // made after the choice: no ratio numbers of its own
    EXPECT_TRUE(state.UsesCustomRule(later));
    EXPECT_FLOAT_EQ(state.ImageSize(later, ImVec2(300.0f, 200.0f)).y, 200.0f);
    EXPECT_FLOAT_EQ(later.camera->aspectRatio, 1.5f);
}

// In realtime mode every change of the layer list reaches the mesh at once, as a changed setting
// does: the heights are the base heights plus each listed layer's v / 255 * power.
TEST_F(PanelsGLTest, RealtimeReappliesTheLayersWhenTheListChanges)
{
    const std::string image = GreyImage("grey.png", 33);
    // The change, and the layer selected for it.
    const std::tuple<const char*, int, std::function<void()>> cases[] = {
        {"add", 0, [&] { panel.AddLayer(editor, terrain); }},
        {"move up", 1, [&] { panel.Move(editor, terrain, -1); }},
        {"move down", 0, [&] { panel.Move(editor, terrain, 1); }},
        {"delete", 0, [&] { panel.DeleteSelected(editor, terrain); }},
        {"replace by an image", 1,
         [&]
         {
             std::string error;
             EXPECT_TRUE(panel.ReplaceSelectedWithImage(editor, terrain, image, error)) << error;
         }},
    };
    for (const auto& [what, selected, change] : cases)
    {
        SCOPED_TRACE(what);
        terrain->heightmaps.clear();
        panel.realtimeUpdate = false;
        for (int32_t seed : {3, 4})
        {
            auto layer = panel.AddLayer(editor, terrain);
            layer->settings.seed = seed;
            layer->settings.frequency = 0.1f;
            layer->Update();
        }
        panel.realtimeUpdate = true;
        terrain->ApplyHeightmaps();
        terrain->heightmaps[0]->settings.power = 3.0f; // not applied yet: the mesh is behind
        terrain->heightmaps[1]->settings.power = 2.0f;
        panel.selectedLayer = terrain->heightmaps[selected];

        change();
        for (size_t k = 0; k < terrain->vertexCount; ++k)
        {
            float expected = terrain->basePositions[3 * k + 1];
            for (const auto& layer : terrain->heightmaps)
                expected += static_cast<float>(layer->data[k]) / 255.0f * layer->settings.power;
            ASSERT_NEAR(terrain->positions[3 * k + 1], expected, 1e-4f) << "vertex " << k;
        }
    }
    panel.realtimeUpdate = false;
}

// A stroke by mouse over the scene's picture: the ray through the cursor meets the terrain where the
// brush circle is drawn, the stroke makes a sculpt entry (listed and selected), raises the heights
// under the cursor and nowhere else, and is one undo step that gives every height back.
TEST_F(PanelsGLTest, AStrokeOverThePictureRaisesTheTerrainUnderTheCursor)
{
    Scene& scene = *editor.scenes[0];
    SceneWindow::FrameTerrain(editor, scene);
    SculptTool& sculpt = editor.sceneWindow.sculpt;
    sculpt.on = true;
    sculpt.brush.radius = 3.0f;
    GuiFrame({}, [] { ImGui::SetWindowFocus("Scene 0"); });
    Frames(2);
    ImGuiWindow* window = ImGui::FindWindowByName("Scene 0");
    ASSERT_NE(window, nullptr);
    // The picture fills the window under its menu bar and the sculpt settings row.
    const ImVec2 centre(window->InnerRect.GetCenter().x, window->InnerRect.GetCenter().y + 12.0f);

    // The ray through the picture's centre runs along the camera's view.
    glm::vec3 origin, direction;
    ASSERT_TRUE(SculptTool::RayThrough(*scene.camera, {0.0f, 0.0f}, {200.0f, 100.0f}, {100.0f, 50.0f}, origin,
                                       direction));
    EXPECT_NEAR(glm::dot(direction, glm::normalize(scene.camera->front)), 1.0f, 1e-4f);
    EXPECT_NEAR(glm::length(origin - scene.camera->position), scene.camera->zNear, 1e-2f);

    const std::vector<float> before = terrain->positions;
    GuiFrame({centre, false, false});
    EXPECT_TRUE(sculpt.CircleShownIn(scene));
    for (int frame = 0; frame < 4; ++frame)
        GuiFrame({centre, true, false});
    GuiFrame({centre, false, false});
    GuiFrame({centre, false, false});

    ASSERT_EQ(terrain->heightmaps.size(), 1u);
    const std::shared_ptr<Terrain::Heightmap> entry = terrain->heightmaps[0];
    EXPECT_EQ(std::tie(entry->isSculpt, entry->name, panel.selectedLayer),
              std::make_tuple(true, "Sculpt_0", entry));
    size_t raised = 0;
    for (size_t k = 0; k < terrain->vertexCount; ++k)
    {
        const float rise = terrain->positions[3 * k + 1] - before[3 * k + 1];
        ASSERT_GE(rise, 0.0f) << k;
        ASSERT_EQ(rise, entry->sculpt[k]) << k; // a flat terrain with nothing else in its stack
        raised += rise > 0.0f;
    }
    EXPECT_TRUE(raised > 9u && raised < 49u) << raised; // a disc of radius 3
    EXPECT_EQ(editor.session.history.UndoName(), "Sculpt stroke");
    ASSERT_TRUE(editor.commands.Undo());
    EXPECT_EQ(terrain->positions, before);
    EXPECT_TRUE(terrain->heightmaps.empty()); // the entry the stroke made goes with it
}
} // namespace
