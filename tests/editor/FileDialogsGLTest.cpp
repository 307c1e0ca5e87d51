// Save Terrain, Load Terrain and New Shader on the real editor.
#include "tests/editor/EditorTestSupport.h"

using testsupport::FilesIn;

namespace
{
using FileDialogsGLTest = testsupport::EditorFrames;

TEST(ScaleByteCountTest, PicksTheDecimalUnit)
{
    const std::tuple<unsigned long long, const char*, double> cases[] = {
        {75792672ull, "MB", 75.792672}, {1000ull, "B", 1000.0},
        {1001ull, "kB", 1.001},         {1000000ull, "kB", 1000.0}, // each unit up to a thousand of it
        {1000000000ull, "MB", 1000.0},  {8193ull * 8193ull * 288ull, "GB", 19.332072}}; // beyond 32 bits
    for (const auto& [bytes, expectedUnit, expectedValue] : cases)
    {
        double value = 0.0;
        const char* unit = nullptr;
        ScaleByteCount(bytes, value, unit);
        EXPECT_STREQ(unit, expectedUnit) << bytes;
        EXPECT_NEAR(value, expectedValue, 1e-5 * expectedValue) << bytes;
    }
}

// The estimate counts what is chosen and there: 288 bytes a vertex with everything (513 x 513: 75.793 MB),
// and a terrain without diffuse, specular and water neither offers nor counts them.
TEST_F(FileDialogsGLTest, TheSizeEstimateCountsWhatIsChosenAndThere)
{
    auto plain = CreateTerrainWithScene("plain", 33);
    auto big = CreateTerrain("big", 513);
    big->gradients.push_back(std::make_unique<Gradient>());
    big->GenerateDiffuseByHeight();
    AddLake(*big);

    SaveTerrainForm& form = SaveForm(big, "");
    EXPECT_EQ(form.EstimatedBytes(), 288ull * 513 * 513);
    EXPECT_EQ(form.EstimateText(), "Size estimated at 75.793 MB");

    SaveForm(plain, "");
    EXPECT_EQ(std::make_tuple(form.saveDiffuse, form.saveSpecular, form.saveWater, form.EstimatedBytes()),
              std::make_tuple(false, false, false, (140ull + 1 + 3) * 33 * 33));
}

// "Save as.." in the texture panel writes the chosen layer under the terrain's name and the suffix.
// A 5 x 3 terrain's images (5 vertices along x, 3 along z) hold a pixel per vertex in vertex order: 3
// pixels wide and 5 high, each row one grid column, from i = 4 at the top to i = 0 at the bottom.
TEST_F(FileDialogsGLTest, TheTexturePanelSavesALayerWithARowPerGridColumn)
{
    Terrain terrain(5, 3, 1.0f, Terrain::Generator::Flat, 0.0f, 0.0f, 0);
    terrain.name = "strip";
    auto layer = editor.commands.AddNoiseLayer(terrain);
    for (uint32_t i = 0; i < 5; ++i)
        for (uint32_t j = 0; j < 3; ++j)
            layer->data[i * 3 + j] = static_cast<uint8_t>(10 * i + j);

    TexturePanel& panel = editor.texturePanel;
    panel.BeginSaveAs(editor, *layer, terrain, "_layer");
    panel.saveDirectory = dir / "";
    panel.saveExtension = ".png";
    ASSERT_TRUE(panel.Save());
    const Texture saved(dir / "strip_layer.png"); // read bottom row first
    EXPECT_EQ(std::make_tuple(saved.width, saved.height, saved.channels), std::make_tuple(3u, 5u, 1u));
    EXPECT_EQ(testsupport::PixelsOf(saved),
              (std::vector<uint8_t>{0, 1, 2, 10, 11, 12, 20, 21, 22, 30, 31, 32, 40, 41, 42}));
}

TEST_F(FileDialogsGLTest, SaveSaysWhatItWroteOrWhichFilesFailedAndWhy)
{
    // The case; the output path below the test's folder (without a separator at its end, the file names
    // are glued to it); the image format; whether a folder blocks the normal map; whether nothing is
    // chosen; the notice and the failure, where "DIR" stands for the output folder.
    const std::tuple<const char*, const char*, const char*, bool, bool, const char*, const char*> cases[] = {
        {"everything", "out/", ".png", false, false,
         "Saved hills.obj, hills_water.obj, hills_heightmap.png, hills_normal.png in DIR.", ""},
        {"no image format, glued", "out/x", "Format", false, false,
         "Saved xhills.obj, xhills_water.obj in DIR (no images: choose an image format to save them).", ""},
        {"nothing chosen", "out/", ".png", false, true, "Nothing was saved: no file was chosen.", ""},
        {"missing folder", "missing/", ".bmp", false, false, "",
         "These files could not be saved:\n"
         "DIR/hills.obj: the folder DIR does not exist\n"
         "DIR/hills_water.obj: the folder DIR does not exist\n"
         "DIR/hills_heightmap.bmp: the folder DIR does not exist\n"
         "DIR/hills_normal.bmp: the folder DIR does not exist"},
        {"one file blocked by a folder", "out/", ".tga", true, false, "",
         "This file could not be saved:\n"
         "DIR/hills_normal.tga: it is a folder\n"
         "Saved hills.obj, hills_water.obj, hills_heightmap.tga in DIR."},
    };
    auto terrain = CreateTerrainWithScene("hills", 9);
    AddLake(*terrain);
    for (const auto& [what, below, format, blockNormalMap, chooseNothing, notice, failure] : cases)
    {
        SCOPED_TRACE(what);
        testsupport::TempDir caseDir; // each case in a folder of its own
        const std::string path = caseDir / below, folder = path.substr(0, path.rfind('/'));
        if (std::string(below).rfind("out", 0) == 0) fs::create_directory(folder);
        if (blockNormalMap) fs::create_directory(folder + "/hills_normal.tga");
        const auto expand = [&](std::string text)
        {
            for (size_t at = text.find("DIR"); at != std::string::npos; at = text.find("DIR", at))
                text.replace(at, 3, folder);
            return text;
        };
        SaveTerrainForm& form = SaveForm(terrain, path, format);
        form.saveMesh = form.saveHeightmap = form.saveNormal = form.saveWater = !chooseNothing;
        editor.showSaveTerrain = true;
        editor.showError = false;
        editor.errorMessage.clear();
        editor.session.notice.clear();

        EXPECT_TRUE(editor.saveTerrain.PressSave(editor));
        ASSERT_TRUE(FinishJobs());
        EXPECT_EQ(
            std::tie(editor.showSaveTerrain, editor.session.notice, editor.showError, editor.errorMessage),
            std::make_tuple(false, expand(notice), *failure != '\0', expand(failure)));
    }
    editor.showError = false;
    Frames(2); // the popup and the notice draw
}

TEST_F(FileDialogsGLTest, ExistingFilesAreReplacedOnlyAfterAskingAndEscapeLeaves)
{
    auto terrain = CreateTerrainWithScene("hills", 9);
    SaveTerrainForm& form = SaveForm(terrain, dir / "", ".png");
    std::ofstream(dir / "hills_normal.png") << "keep me";
    EXPECT_EQ(form.ExistingFiles(), std::vector<std::string>{dir / "hills_normal.png"});

    editor.showSaveTerrain = true;
    Frame();
    EXPECT_FALSE(editor.saveTerrain.PressSave(editor)); // asks instead
    Frames(2);
    EXPECT_TRUE(editor.showSaveTerrain && form.confirmOverwrite); // the question stays until answered
    EXPECT_EQ(FilesIn(dir.Path()), std::set<std::string>{"hills_normal.png"});

    PressKey(GLFW_KEY_ESCAPE);
    EXPECT_FALSE(editor.showSaveTerrain || form.confirmOverwrite);
    EXPECT_EQ(FilesIn(dir.Path()), std::set<std::string>{"hills_normal.png"});

    editor.showSaveTerrain = true;
    EXPECT_FALSE(editor.saveTerrain.PressSave(editor));
    editor.saveTerrain.Save(editor); // "Replace##sf"
    EXPECT_TRUE(FinishJobs());
    EXPECT_EQ(FilesIn(dir.Path()),
              (std::set<std::string>{"hills.obj", "hills_heightmap.png", "hills_normal.png"}));
    EXPECT_TRUE(Texture(dir / "hills_normal.png").data); // a picture now
}

// A loaded terrain is shown at once: in the scene there is, or in a new scene as for a new terrain;
// the generator then shows none of the old terrain's layers or textures.
TEST_F(FileDialogsGLTest, ALoadedTerrainIsShownAndTheGeneratorLetsGoOfTheOldOne)
{
    const std::string obj = testsupport::WriteScanObj(dir / "scan.obj", 9, 9, nullptr);
    // No scene yet: the loaded terrain brings one, whose Create dialog offers it.
    auto first = LoadTerrain(obj);
    ASSERT_EQ(editor.scenes.size(), 1u);
    auto scene = editor.scenes[0];
    EXPECT_TRUE(scene->isNew && scene->showManage && scene->terrain == first);
    Frame();
    EXPECT_EQ(scene->terrain, first);
    editor.commands.ConfirmScene(*scene);

    // A scene showing a terrain with a selected layer and a chosen texture.
    scene->showTerrainGenerator = true;
    editor.layerPanel.selectedLayer = editor.layerPanel.AddLayer(editor, first);
    editor.layerPanel.layerEditorOpen = true;
    editor.texturePanel.BeginEdit(*first->heightmapTexture);
    Frames(2);
    ASSERT_EQ(editor.layerPanel.selectedLayer, first->heightmaps[0]);

    auto second = LoadTerrain(obj);
    EXPECT_EQ(std::make_pair(editor.scenes.size(), scene->terrain), std::make_pair(size_t{1}, second));
    Frame();
    EXPECT_EQ(std::make_tuple(!editor.layerPanel.selectedLayer, editor.layerPanel.layerEditorOpen,
                              editor.texturePanel.chosenTexture, editor.texturePanel.textureEditorOpen),
              std::make_tuple(true, false, nullptr, false));

    // Switching back by hand: the first terrain's own layer is selected again, and edits reach it.
    editor.commands.SetSceneTerrain(*scene, first);
    Frames(2); // the tabs are named after the terrain: the new ones show from the second frame
    EXPECT_EQ(editor.layerPanel.selectedLayer, first->heightmaps[0]);
}

// A refused file adds nothing to the session (no empty terrain, no unsaved work) and says why (each
// reason: ObjReaderTest). Names read from files become plain file names (the rules: TerrainNameTest),
// so that nothing Save Terrain writes with them leaves the chosen folder, and a header without its
// name word takes the file's name instead of making hidden files.
TEST_F(FileDialogsGLTest, ARefusedFileAddsNothingAndLoadedNamesBecomePlainFileNames)
{
    EXPECT_EQ(LoadTerrain(dir / "nothing.obj"), nullptr); // the list is empty
    EXPECT_EQ(std::make_pair(editor.session.HasUnsavedChanges(), editor.showError),
              std::make_pair(false, true));
    EXPECT_EQ(editor.errorMessage,
              "Cannot load terrain file " + (dir / "nothing.obj") + ": it cannot be opened");
    const std::pair<std::string, std::string> cases[] = {{"../../x", "______x"}, {"", "hillside"}};
    for (const auto& [headerName, loadedName] : cases)
    {
        testsupport::GridMesh mesh(3, 3);
        mesh.name = headerName;
        std::ofstream(dir / "hillside.obj", std::ios::binary) << mesh.Text();
        auto terrain = LoadTerrain(dir / "hillside.obj");
        ASSERT_TRUE(terrain && !terrain->IsEmpty()) << editor.errorMessage;
        EXPECT_EQ(terrain->name, loadedName);
    }
}

// New Shader: a name is needed (Enter without one does nothing), one starting with a dot is refused,
// Escape closes without creating, and a shader whose files are missing is listed all the same.
TEST_F(FileDialogsGLTest, NewShaderRefusesEmptyAndDottedNamesAndListsShadersWithoutFiles)
{
    const std::string dotted =
        "The shader name cannot start with a dot: write shaders/name, not ./shaders/name.";
    for (const char* name : {"./shaders/basic_lighting", "../shaders/x", ".x", "shaders/basic_lighting", ""})
        EXPECT_EQ(ShaderNameError(name), name[0] == '.' ? dotted : "") << name;
    EXPECT_EQ(editor.commands.CreateShader(""), nullptr);
    EXPECT_EQ(editor.commands.CreateShader("./shaders/basic_lighting"), nullptr);

    const auto dialog = [&] { return std::make_pair(editor.showNewShader, editor.shaders.size()); };
    editor.showNewShader = true;
    for (const char* refused : {"", "./shaders/basic_lighting"})
    {
        editor.newShader.baseName = refused;
        PressKey(GLFW_KEY_ENTER, 2);
        EXPECT_EQ(dialog(), std::make_pair(true, size_t{3})) << refused;
    }
    editor.newShader.baseName = "shaders/basic_lighting";
    PressKey(GLFW_KEY_ESCAPE);
    EXPECT_EQ(dialog(), std::make_pair(false, size_t{3}));
    editor.showNewShader = true;
    PressKey(GLFW_KEY_ENTER);
    ASSERT_EQ(dialog(), std::make_pair(false, size_t{4}));
    EXPECT_EQ(editor.shaders.back()->vertexPath, "shaders/basic_lighting.vert");

    // Its failure to build: ShaderGLTest.
    const auto shader = editor.commands.CreateShader("shaders/missing_shader");
    ASSERT_TRUE(shader);
    EXPECT_EQ(shader->fragmentPath, "shaders/missing_shader.frag");
    EXPECT_EQ(editor.shaders.size(), 5u);
    testsupport::DrainGLErrors();
    glErrors.Clear();
}
} // namespace
