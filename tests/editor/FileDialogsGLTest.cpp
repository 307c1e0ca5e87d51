// Save Terrain, Load Terrain and New Shader, and one whole editing run through the editor.
#include "tests/editor/EditorTestSupport.h"

#include "editor/FileDialogs.h"
#include "render/Scene.h"
#include "render/Texture.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"
#include "terrain/WaterPlane.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>
#include <stb_image.h>

#include <filesystem>
#include <set>

using testsupport::EditorFrames;
using testsupport::LogCapture;
namespace fs = std::filesystem;

namespace
{
std::set<std::string> FilesIn(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

class FileDialogsGLTest : public EditorFrames
{
};

TEST(ScaleByteCountTest, PicksTheDecimalUnit)
{
    double value = 0.0;
    const char* unit = nullptr;
    ScaleByteCount(75792672ull, value, unit);
    EXPECT_STREQ(unit, "MB");
    EXPECT_NEAR(value, 75.792672, 1e-9);
    ScaleByteCount(1000ull, value, unit);
    EXPECT_STREQ(unit, "B");
    ScaleByteCount(1001ull, value, unit);
    EXPECT_STREQ(unit, "kB");
    ScaleByteCount(8193ull * 8193ull * 288ull, value, unit); // beyond 32 bits
    EXPECT_STREQ(unit, "GB");
    EXPECT_NEAR(value, 19.332, 0.001);
}

TEST_F(FileDialogsGLTest, EstimateOfA513TerrainWithEverythingIs75793MB)
{
    auto terrain = CreateTerrainWithScene("big", 513);
    terrain->gradients.push_back(std::make_unique<Gradient>());
    terrain->gradients.back()->heightSpan = 255;
    terrain->GenerateDiffuseByHeight();
    terrain->PourWater(0);
    WaterEditorState::Recalculate(*terrain, editor.defaultShader);

    SaveTerrainForm& form = editor.saveTerrainForm;
    form.selected = terrain;
    form.DropMissingChoices();
    EXPECT_EQ(form.EstimatedBytes(), 288ull * 513 * 513);
    EXPECT_EQ(form.EstimateText(), "Size estimated at 75.793 MB");
}

TEST_F(FileDialogsGLTest, MissingTexturesAndWaterAreNeitherOfferedNorCounted)
{
    auto terrain = CreateTerrainWithScene("plain", 33);
    SaveTerrainForm& form = editor.saveTerrainForm;
    form.selected = terrain;
    form.DropMissingChoices();
    EXPECT_FALSE(form.saveDiffuse);
    EXPECT_FALSE(form.saveSpecular);
    EXPECT_FALSE(form.saveWater);
    EXPECT_EQ(form.EstimatedBytes(), (140ull + 1 + 3) * 33 * 33);
}

TEST_F(FileDialogsGLTest, WithoutAFormatOnlyTheMeshesAreWrittenUnderTheGluedName)
{
    testsupport::TempDir dir;
    auto terrain = CreateTerrainWithScene("hills", 17);
    terrain->PourWater(8 * 17 + 8);
    WaterEditorState::Recalculate(*terrain, editor.defaultShader);
    SaveTerrainForm& form = editor.saveTerrainForm;
    form.selected = terrain;
    form.outputPath = (dir.Path() / "out").string(); // no separator: glued to the name
    form.DropMissingChoices();
    EXPECT_EQ(form.PlannedFiles(), (std::vector<std::string>{form.outputPath + "hills.obj",
                                                             form.outputPath + "hills_water.obj"}));
    EXPECT_EQ(form.Save(), 0);
    EXPECT_EQ(FilesIn(dir.Path()), (std::set<std::string>{"outhills.obj", "outhills_water.obj"}));
}

TEST_F(FileDialogsGLTest, ARefusedFileIsListedEmptyAndShowsItsReason)
{
    testsupport::TempDir dir;
    CreateTerrainWithScene("shown", 9);
    LogCapture log;
    auto terrain = editor.LoadTerrain(dir / "nothing.obj");
    ASSERT_EQ(editor.terrains.size(), 2u);
    EXPECT_EQ(editor.terrains[1], terrain);
    EXPECT_TRUE(terrain->IsEmpty());
    EXPECT_TRUE(editor.showError);
    EXPECT_NE(editor.errorMessage.find("nothing.obj"), std::string::npos) << editor.errorMessage;

    // The empty terrain can still be chosen for the scene and shown with every panel open.
    Scene& scene = *editor.scenes[0];
    editor.ManageChooseTerrain(scene, terrain);
    scene.showTerrainGenerator = true;
    editor.saveTerrainForm.selected = terrain;
    editor.showSaveTerrain = true;
    Frames(3);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Invalid RenderObject Execute command."), 0);
}

// The typical run: a terrain, its scene, a layer, a diffuse texture, water, saving everything and
// loading the mesh back, with frames of the real editor in between.
TEST_F(FileDialogsGLTest, AWholeEditingRunSavesFilesThatLoadBack)
{
    testsupport::TempDir dir;
    LogCapture log;

    editor.showNewTerrain = true;
    Frame();
    editor.newTerrainForm.name = "valley";
    editor.newTerrainForm.generator = 1;
    editor.newTerrainForm.width = 129;
    auto terrain = editor.CreateTerrainFromForm();
    ASSERT_TRUE(terrain);
    ASSERT_FALSE(terrain->IsEmpty());
    EXPECT_FALSE(editor.showNewTerrain);
    Frame(); // the scene's Create dialog
    auto scene = editor.scenes.at(0);
    editor.ManageCreate(*scene);
    scene->showTerrainGenerator = true;
    Frame();

    auto layer = editor.layerPanel.AddLayer(*terrain);
    editor.layerPanel.selectedLayer = layer;
    layer->settings.power = 8.0f;
    layer->Update();
    terrain->ApplyHeightmaps(); // "Update mesh"
    Frame();

    editor.diffuseEditor.AddGradient(*terrain);
    editor.diffuseEditor.AddGradient(*terrain);
    terrain->gradients[1]->color = glm::vec4(0.2f, 0.6f, 0.1f, 1.0f);
    editor.diffuseEditor.Generate(*terrain);
    ASSERT_TRUE(terrain->diffuseTexture);
    Frame();

    editor.waterEditor.PourAt(*terrain, ImVec2(64.5f, 64.5f));
    editor.waterEditor.EndStrokeIfReleased(*terrain, false);
    WaterEditorState::Recalculate(*terrain, editor.defaultShader);
    ASSERT_TRUE(terrain->waterPlane);
    EXPECT_GT(terrain->waterPlane->vertexCount, 0u);
    Frame();

    SaveTerrainForm& save = editor.saveTerrainForm;
    editor.showSaveTerrain = true;
    Frame();
    save.outputPath = dir.Path().string() + "/";
    save.imageFormat = ".png";
    ASSERT_EQ(save.selected, terrain);
    save.DropMissingChoices();
    EXPECT_EQ(save.Save(), 0);
    editor.showSaveTerrain = false;
    EXPECT_EQ(FilesIn(dir.Path()),
              (std::set<std::string>{"valley.obj", "valley_water.obj", "valley_heightmap.png", "valley_diffuse.png",
                                     "valley_normal.png", "valley_specular.png"}));
    const std::pair<const char*, int> images[] = {
        {"valley_heightmap.png", 1}, {"valley_diffuse.png", 3}, {"valley_normal.png", 3}, {"valley_specular.png", 1}};
    for (const auto& [file, channels] : images)
    {
        int w = 0, h = 0, c = 0;
        ASSERT_TRUE(stbi_info((dir / file).c_str(), &w, &h, &c)) << file;
        EXPECT_EQ(w, 129) << file;
        EXPECT_EQ(h, 129) << file;
        EXPECT_EQ(c, channels) << file;
    }

    auto loaded = editor.LoadTerrain(dir / "valley.obj");
    ASSERT_FALSE(loaded->IsEmpty());
    EXPECT_EQ(loaded->name, "valley");
    EXPECT_EQ(loaded->width, 129u);
    EXPECT_EQ(loaded->height, 129u);
    ASSERT_EQ(loaded->positions.size(), terrain->positions.size());
    for (size_t i = 0; i < terrain->positions.size(); ++i)
        ASSERT_NEAR(loaded->positions[i], terrain->positions[i], 1e-4f * (1.0f + std::abs(terrain->positions[i])))
            << i;
    EXPECT_EQ(editor.terrains.size(), 2u);
    editor.ManageChooseTerrain(*scene, loaded);
    Frames(2);
    EXPECT_FALSE(editor.showError) << editor.errorMessage;
    EXPECT_EQ(log.CountLevel(spdlog::level::err), 0) << log.Dump();
}
} // namespace
