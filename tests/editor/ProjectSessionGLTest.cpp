// Projects on the real editor: a session built through the editor's own functions is saved, opened
// and compared bit for bit; the headless build's files are compared byte for byte with what Save
// Terrain writes; the unsaved-changes question runs through the window's close request.
#include "tests/editor/EditorTestSupport.h"
#include "tests/io/ProjectTestModel.h"

#include "io/ImageFile.h"
#include "io/ProjectBuild.h"

namespace
{
// A folder's files by name, with their bytes.
std::map<std::string, std::string> FileBytesIn(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files[entry.path().filename().string()] = testsupport::ReadFile(entry.path().string());
    return files;
}

// The folder holds exactly the files expected, byte for byte.
void ExpectFiles(const std::map<std::string, std::string>& expected, const std::string& folder)
{
    const auto files = FileBytesIn(folder);
    ASSERT_EQ(files.size(), expected.size()) << folder;
    for (const auto& [name, bytes] : expected)
        EXPECT_TRUE(files.count(name) == 1 && files.at(name) == bytes) << name << " is missing or differs";
}

class ProjectSessionGLTest : public testsupport::EditorFrames
{
  protected:
    std::map<std::string, std::string> SaveEveryTerrainAsPng()
    {
        const std::string folder = dir / "saved";
        std::filesystem::create_directories(folder);
        for (const auto& terrain : editor.terrains)
            EXPECT_TRUE(SaveForm(terrain, folder + "/", ".png").Save().failed.empty()) << terrain->name;
        return FileBytesIn(folder);
    }

    // velmoran-build's work in this process: the Save Terrain files of a project, an OBJ file or a heightmap.
    void Build(const std::string& input, const std::string& folder)
    {
        BuildOptions options;
        options.projectPath = input;
        options.outputFolder = folder;
        std::string error;
        StepReporter reporter([](const std::string&) {});
        ASSERT_TRUE(ProjectBuild::Run(options, error, reporter)) << error;
    }

    // A layer given settings as its widgets give them, and the settings kept in its history.
    void ChangeSettings(Terrain::Heightmap& layer, const LayerSettings& settings, bool regenerate)
    {
        editor.commands.SetLayerSettings(layer, settings, regenerate);
        layer.AppendState(layer.settings);
    }

    // Two bands of a kind, the second recoloured, and the diffuse texture made from them.
    void PaintBands(Terrain& terrain, DiffuseEditorState::Mode mode, const glm::vec4& color, int32_t decay)
    {
        editor.diffuseEditor.mode = mode;
        editor.diffuseEditor.AddGradient(editor, terrain);
        editor.diffuseEditor.AddGradient(editor, terrain);
        Gradient gradient = *terrain.gradients[1];
        gradient.color = color;
        gradient.decay = decay;
        editor.commands.SetGradient(terrain, 1, gradient);
        editor.diffuseEditor.Generate(editor, terrain);
    }

    // Three terrains made as a user makes them: a diamond-square terrain from the New Terrain form
    // with a painted noise layer, hydraulic erosion, a three-channel image layer, slope bands painted
    // over and a lake; a rectangular random-fault terrain whose noise layer was changed after the last
    // "Update mesh", with height bands and water poured after "Recalculate"; and a rectangular terrain
    // read from an OBJ file, thermally eroded, with bands over the removed channel of its erosion mask.
    void BuildSession()
    {
        Commands& commands = editor.commands;
        std::shared_ptr<Terrain> peaks = CreateTerrainWithScene("peaks", 33, 1);
        LayerPanel& panel = editor.layerPanel;
        auto noise = panel.AddLayer(editor, peaks);
        LayerSettings settings = noise->settings;
        settings.frequency = 0.05f;
        settings.power = 40.0f;
        settings.smoothHeights = true; // heights from its levels, where it is not painted below
        LayerPanel::SetFractalType(settings, 1);
        ChangeSettings(*noise, settings, true);
        editor.brush.pickColor = glm::vec4(0.8f);
        editor.brush.size = 6;
        commands.Paint(*noise, editor.brush, glm::vec2(10.0f, 12.0f));
        auto erosion = panel.AddErosion(editor, peaks); // erodes the noise, under the image layer added next
        settings = erosion->settings;
        settings.erosion.hydraulic.droplets = 3000;
        settings.erosion.hydraulic.seed = 9;
        ChangeSettings(*erosion, settings, false);

        std::vector<uint8_t> rgb(33 * 33 * 3);
        for (size_t i = 0; i < rgb.size(); ++i)
            rgb[i] = static_cast<uint8_t>(i * 7 % 251);
        const std::string image = dir / "rocks.png";
        ASSERT_TRUE(ImageFile::Save(image, 33, 33, 3, rgb.data()));
        panel.selectedLayer = panel.AddLayer(editor, peaks);
        std::string error;
        ASSERT_TRUE(panel.ReplaceSelectedWithImage(editor, peaks, image, error)) << error;
        settings = peaks->heightmaps.back()->settings;
        settings.power = 3.5f;
        ChangeSettings(*peaks->heightmaps.back(), settings, false);
        commands.ApplyLayers(peaks);
        ASSERT_TRUE(FinishJobs());

        PaintBands(*peaks, DiffuseEditorState::Mode::Slope, glm::vec4(0.3f, 0.6f, 0.2f, 1.0f), 0);
        editor.brush.pickColor = glm::vec4(0.9f, 0.1f, 0.1f, 1.0f);
        commands.Paint(*peaks->diffuseTexture, editor.brush, glm::vec2(3.0f, 4.0f));
        commands.ShowTexture(*peaks, peaks->diffuseTexture.get());
        editor.waterEditor.PourAt(editor, *peaks, ImVec2(16.5f, 16.5f)); // a stroke of the water editor
        editor.waterEditor.EndStrokeIfReleased(editor, *peaks, false);
        commands.RecalculateWater(*peaks);

        auto ridge =
            std::make_shared<Terrain>(24, 13, 0.5f, Terrain::Generator::RandomFault, 3.0f, 0.005f, 25);
        ridge->name = "ridge";
        commands.AddTerrain(ridge);
        PaintBands(*ridge, DiffuseEditorState::Mode::Height, glm::vec4(0.1f, 0.2f, 0.9f, 1.0f), 20);
        editor.waterEditor.PourAt(editor, *ridge, ImVec2(3.5f, 5.5f));
        editor.waterEditor.EndStrokeIfReleased(editor, *ridge, false);
        commands.RecalculateWater(*ridge);
        // Water poured after the plane was built. The terrain is random, so pour texel by texel until the
        // map changes (a pour may run into the lake that is already there).
        const std::vector<uint8_t> planeMap = testsupport::PixelsOf(*ridge->watermapTexture);
        const uint32_t across = ridge->ImageWidth();
        for (uint32_t k = 0; k < 24 * 13 && testsupport::PixelsOf(*ridge->watermapTexture) == planeMap; ++k)
            editor.waterEditor.PourAt(
                editor, *ridge,
                ImVec2(static_cast<float>(k % across) + 0.5f, static_cast<float>(k / across) + 0.5f));
        ASSERT_NE(testsupport::PixelsOf(*ridge->watermapTexture), planeMap);
        editor.waterEditor.EndStrokeIfReleased(editor, *ridge, false);
        auto late = panel.AddLayer(editor, ridge);
        settings = late->settings;
        settings.seed = 4;
        settings.power = 2.0f;
        ChangeSettings(*late, settings, true); // "Update mesh" not pressed since

        const std::shared_ptr<Terrain> scan = LoadTerrain(testsupport::WriteScanObj(
            dir / "scan.obj", 7, 5, [](uint32_t i, uint32_t j) { return i * j * 0.3f; }, 1.5f));
        ASSERT_FALSE(scan->IsEmpty());
        auto talus = panel.AddErosion(editor, scan);
        settings = talus->settings;
        settings.erosion.method = Erosion::Method::Thermal;
        settings.erosion.thermal.talusAngle = 10.0f;
        settings.erosion.thermal.iterations = 20;
        ChangeSettings(*talus, settings, false);
        commands.ApplyLayers(scan);
        ASSERT_TRUE(FinishJobs());
        editor.diffuseEditor.maskChannel = 0;
        PaintBands(*scan, DiffuseEditorState::Mode::Mask, glm::vec4(0.7f, 0.5f, 0.1f, 1.0f), 30);
        ASSERT_TRUE(scan->diffuseTexture);

        Scene& scene = *editor.scenes.front();
        commands.SetCameraSpeed(*scene.camera, 3.0f);
        scene.camera->position = glm::vec3(4.0f, 20.0f, -3.0f);
        commands.SetSceneLook(scene, true, glm::vec4(0.2f, 0.3f, 0.4f, 1.0f), false);
        editor.sceneWindow.ChooseAspectRatio(editor, scene, 1);
        commands.SetSceneShader(scene, editor.shaders[1]);
        commands.CreateShader("shaders/texcoord_shader");
    }
};

TEST_F(ProjectSessionGLTest, OpenGivesBackTheSavedSessionBitForBitAndARefusedOneNothing)
{
    BuildSession();
    const std::string session = Snapshot();
    const std::string broken = dir / "broken.velmoran";
    std::ofstream(broken) << "not a project";
    EXPECT_FALSE(OpenProject(broken));
    EXPECT_EQ(editor.errorMessage, "Cannot open project " + broken +
                                       ": it is not a project file, or it is truncated (no zip directory)");
    Project unbuildable;
    TerrainRecord& fromFile = unbuildable.terrains.emplace_back();
    fromFile.width = fromFile.height = 4;
    fromFile.generator.fromFile = true; // and no heights
    std::string reason;
    EXPECT_FALSE(RestoreProject(editor, std::move(unbuildable), &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(SnapshotIs(session));
    EXPECT_TRUE(editor.session.path.empty());
    editor.showError = false;

    const std::string before = Snapshot(false);
    const std::string path = dir / "session.velmoran";
    testsupport::LogCapture log;
    ASSERT_TRUE(SaveProject(path));
    editor.sceneWindow.aspectRatioIndex = 0; // what the project holds must come back (the snapshot holds it)
    ASSERT_TRUE(OpenProject(path)) << editor.errorMessage;
    EXPECT_EQ(log.CountLevel(spdlog::level::err), 0) << log.Dump();
    EXPECT_TRUE(SnapshotIs(before, false));
    // A project keeps no erosion results, yet the stack needs no new run to give the heights.
    const Project reopened = CaptureProject(editor);
    for (const LayerRecord& layer : reopened.terrains[0].layers)
        EXPECT_FALSE(layer.erosionCache.valid);
    ASSERT_TRUE(editor.terrains[0]->heightmaps[1]->isErosion);
    std::vector<float> layered;
    EXPECT_TRUE(editor.terrains[0]->LayeredPositions(layered, true));
    testsupport::ExpectSameFloats(layered, editor.terrains[0]->positions, "the layered positions");
    Frames(3); // the restored session draws
}

TEST_F(ProjectSessionGLTest, TheHeadlessBuildWritesTheBytesSaveTerrainWrites)
{
    BuildSession();
    const auto expected = SaveEveryTerrainAsPng();
    ASSERT_EQ(expected.size(), 17u); // three OBJs, two water OBJs, 4 + 4 + 4 images

    const std::string path = dir / "session.velmoran";
    ASSERT_TRUE(SaveProject(path));
    const auto build = [&](const std::string& out, const std::string& arguments)
    {
        const std::string command = "env -u DISPLAY " + std::string(VELMORAN_BUILD_PROGRAM) + " '" + path +
                                    "' --out '" + out + "' " + arguments + " 2>" + (dir / "stderr.txt");
        ASSERT_EQ(std::system(command.c_str()), 0) << testsupport::ReadFile(dir / "stderr.txt");
    };
    build(dir / "built", "--images png");
    ExpectFiles(expected, dir / "built");

    // Its exports are the Export dialog's, byte for byte: every terrain with every format, resampled to
    // the second side, the splat map by slope.
    ExportForm& form = editor.exportDialog.form;
    form.folder = dir / "exported";
    std::filesystem::create_directories(form.folder);
    for (bool& format : form.formats)
        format = true;
    form.resampleChoice = 1;
    form.splatBySlope = true;
    for (const auto& terrain : editor.terrains)
    {
        form.selected = terrain;
        EXPECT_EQ(editor.exportDialog.Export(editor, true), ExportForm::Outcome::Started);
        EXPECT_TRUE(FinishJobs());
        EXPECT_FALSE(editor.showError) << editor.errorMessage;
    }
    build(dir / "built-exports", "--formats glb,obj,png16,r16,exr,splat --resample " +
                                     std::to_string(ExportForm::kResampleSides[1]) + " --splat slope");
    ExpectFiles(FileBytesIn(form.folder), dir / "built-exports");

    // The same files come from a project that keeps none of what can be made again: ridge's heights
    // from its seed, its noise layer from its settings, its images from its heights and seeded bands;
    // peaks' base heights from the diamond-square seed; scan's erosion mask from the run and its
    // diffuse and specular images from the bands over that mask.
    Project lean = CaptureProject(editor);
    TerrainRecord &peaks = lean.terrains[0], &ridge = lean.terrains[1], &scan = lean.terrains[2];
    peaks.basePositions.clear();
    ridge.basePositions.clear();
    for (ImageRecord* image : {&peaks.layers[1].image, &ridge.layers[0].image, &ridge.heightmap,
                               &ridge.normal, &ridge.diffuse, &ridge.specular, &scan.layers[0].image,
                               &scan.heightmap, &scan.normal, &scan.diffuse, &scan.specular})
        *image = ImageRecord{};
    ASSERT_TRUE(ProjectFile::Save(lean, dir / "lean.velmoran"));
    Build(dir / "lean.velmoran", dir / "lean");
    ExpectFiles(expected, dir / "lean");
}

// velmoran-build converts a terrain OBJ file or a heightmap into what the editor writes after loading the
// same file (Load Terrain, Terrain from heightmap): the Save Terrain files, byte for byte (the exports
// of the project it makes: TheHeadlessBuildWritesTheBytesSaveTerrainWrites).
TEST_F(ProjectSessionGLTest, TheConverterWritesWhatTheEditorWritesAfterLoadingTheSameFile)
{
    const std::string obj = testsupport::WriteScanObj(
        dir / "scan.obj", 7, 5, [](uint32_t i, uint32_t j) { return std::sin(0.7f * i) + 0.1f * j * j; },
        1.5f);
    const std::string heightmap = WriteHeights(9, 9);

    LoadTerrain(obj);
    editor.heightmapImport.form.path = heightmap;
    editor.heightmapImport.form.name = HeightmapImportForm::NameFromPath(heightmap);
    editor.heightmapImport.Create(editor);
    ASSERT_TRUE(FinishJobs());
    ASSERT_EQ(editor.terrains.size(), 2u) << editor.errorMessage;
    const auto saved = SaveEveryTerrainAsPng();
    EXPECT_EQ(saved.size(), 6u);
    for (const std::string& input : {obj, heightmap})
        Build(input, dir / "built");
    ExpectFiles(saved, dir / "built");
}

// A world in the editor: New World makes tile (0, 0); a noise layer shapes it; showing tile (2, 1)
// rebuilds the terrain there with the same layers and the heights the headless build gives that tile;
// the project keeps the world and the tile, and opens showing it again.
TEST_F(ProjectSessionGLTest, AWorldShowsOneTileAtATimeAndOpensAsItWasSaved)
{
    WorldWindow& world = editor.worldWindow;
    world.form.name = "land";
    world.form.tileSizeIndex = 0; // 129
    world.form.tilesX = 3;
    world.form.tilesY = 2;
    world.form.overlap = 8;
    world.form.originX = -300;
    std::string error;
    ASSERT_TRUE(world.Create(editor, &error)) << error;
    ASSERT_TRUE(FinishJobs());
    ASSERT_EQ(editor.terrains.size(), 1u);
    std::shared_ptr<Terrain> tile = editor.terrains[0];
    EXPECT_EQ(std::make_tuple(world.Holds(tile.get()), tile->width, tile->place),
              std::make_tuple(true, 129u, Layers::GridPlace{-300, 0, true}));
    EXPECT_FALSE(world.Create(editor, &error));
    EXPECT_EQ(error, "The session holds world land already: a project holds one world.");

    const auto layer = editor.commands.AddNoiseLayer(*tile);
    LayerSettings settings = layer->settings;
    settings.power = 25.0f;
    ChangeSettings(*layer, settings, true);
    editor.commands.ApplyLayers(tile);
    ASSERT_TRUE(FinishJobs());

    const uint64_t revision = editor.session.revision;
    ASSERT_TRUE(world.ShowTile(editor, 2, 1, &error)) << error;
    ASSERT_TRUE(FinishJobs());
    ASSERT_FALSE(editor.showError) << editor.errorMessage;
    EXPECT_GT(editor.session.revision, revision); // a change of the document
    ASSERT_EQ(editor.terrains.size(), 1u);
    tile = editor.terrains[0];
    EXPECT_EQ(std::make_tuple(world.Holds(tile.get()), tile->place),
              std::make_tuple(true, Layers::GridPlace{-300 + 256, 128, true}));
    ASSERT_EQ(tile->heightmaps.size(), 1u);
    EXPECT_EQ(std::tie(tile->heightmaps[0]->settings.power, tile->heightmaps[0]->place),
              std::make_tuple(25.0f, tile->place));

    // The headless build's tile from the same project.
    Project captured = CaptureProject(editor);
    ASSERT_TRUE(captured.world);
    EXPECT_EQ(std::make_pair(captured.world->tileX, captured.world->tileY), std::make_pair(2u, 1u));
    TerrainRecord built;
    ASSERT_TRUE(
        World::BuildTile(captured.terrains[captured.world->terrain], *captured.world, 2, 1, built, &error))
        << error;
    EXPECT_EQ(tile->positions, built.positions);
    EXPECT_FALSE(world.ShowTile(editor, 3, 0, &error));
    EXPECT_EQ(error, "tile 3,0 is outside the world's 3 x 2 tiles (x from 0 to 2, y from 0 to 1)");

    const std::string path = dir / "world.velmoran";
    ASSERT_TRUE(SaveProject(path));
    editor.project.NewProject(editor);
    EXPECT_FALSE(world.settings);
    ASSERT_TRUE(OpenProject(path));
    ASSERT_TRUE(world.settings);
    EXPECT_EQ(std::make_tuple(world.settings->tilesX, world.settings->tilesY, world.settings->tileX,
                              world.settings->tileY, world.settings->overlap, world.settings->originX),
              std::make_tuple(3u, 2u, 2u, 1u, 8u, -300));
    ASSERT_EQ(editor.terrains.size(), 1u);
    EXPECT_EQ(std::make_tuple(world.Holds(editor.terrains[0].get()), editor.terrains[0]->place),
              std::make_tuple(true, Layers::GridPlace{-44, 128, true}));
    EXPECT_EQ(editor.terrains[0]->positions, tile->positions);
}

TEST_F(ProjectSessionGLTest, UnsavedChangesAreAskedAboutBeforeTheWindowCloses)
{
    Frame();
    EXPECT_FALSE(editor.session.HasUnsavedChanges());
    editor.project.OnWindowCloseRequest(editor); // nothing to lose: the window may close
    EXPECT_FALSE(editor.project.unsaved.asking);

    CreateTerrainWithScene("hills", 17);

    // Save on an untitled session asks for a file name first; the window closes once it is saved.
    WatchWidgets();
    editor.project.Request(editor, SessionAction::Quit);
    editor.project.Answer(editor, UnsavedChangesForm::Answer::Save);
    EXPECT_TRUE(editor.project.showSaveAs);
    editor.project.saveAs.path = dir / "hills";
    Frames(2);
    ASSERT_TRUE(ClickWidget("Save##saveas", "Save Project As##project")) << Widgets().Describe();
    ASSERT_TRUE(FinishJobs());
    EXPECT_TRUE(WindowClosing());
    EXPECT_EQ(editor.session.notice, "Saved hills.velmoran in " + dir.Path().string() + ".");

    // "Don't save" drops the changes, and nothing of the old session outlives it, whatever the dialogs
    // last chose. ("Save" with a file: TheUnsavedChangesQuestionGoesOnOnceItsSaveJobHasEnded.)
    editor.layerPanel.AddLayer(editor, editor.terrains.front());
    const std::weak_ptr<Terrain> old = editor.terrains.front();
    editor.exportDialog.form.selected = editor.terrains.front();
    editor.saveTerrain.form.selected = editor.terrains.front();
    editor.project.Request(editor, SessionAction::NewProject);
    EXPECT_EQ(editor.terrains.size(), 1u);
    editor.project.Answer(editor, UnsavedChangesForm::Answer::DontSave);
    EXPECT_EQ(std::make_tuple(editor.terrains.size(), editor.scenes.size(), !editor.layerPanel.selectedLayer,
                              old.expired()),
              std::make_tuple(size_t{0}, size_t{0}, true, true));
    Frames(2);
    EXPECT_FALSE(WindowClosing());
}
} // namespace
