// The editor's long work on the job runner: a terrain made there is the generator's terrain, a
// cancelled job leaves the session as it was, a busy terrain refuses a second job and locks its
// settings, and the unsaved-changes question goes on once its save job has ended. Work is held at its
// start by a log sink that waits on its "TITLE started." line, so each test can act while it runs.
#include "tests/editor/EditorTestSupport.h"
#include "tests/io/ProjectTestModel.h"

#include "engine/Log.h"

#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/base_sink.h>

#include <future>

using namespace std::chrono_literals;

namespace
{
// Holds the thread that logs the trigger line until Open; other lines pass.
class GateSink : public spdlog::sinks::base_sink<spdlog::details::null_mutex>
{
  public:
    explicit GateSink(std::string trigger) : trigger(std::move(trigger)) {}
    bool WaitReached() { return reachedFuture.wait_for(10s) == std::future_status::ready; }
    void Open() { open.set_value(); }

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        if (triggered || std::string(msg.payload.data(), msg.payload.size()) != trigger) return;
        triggered = true;
        reached.set_value();
        openFuture.wait_for(10s);
    }
    void flush_() override {}

  private:
    std::string trigger;
    bool triggered = false;
    std::promise<void> reached;
    std::future<void> reachedFuture = reached.get_future();
    std::promise<void> open;
    std::future<void> openFuture = open.get_future();
};

class EditorJobsGLTest : public testsupport::EditorFrames
{
  protected:
    testsupport::LogCapture log; // registers the logger the gates attach to

    void TearDown() override
    {
        editor.session.jobs.Abandon();
        EditorFrames::TearDown();
    }

    // The terrain shows what its layer stack gives now: heights, range, normals and both textures.
    static void ExpectLayersApplied(const Terrain& terrain)
    {
        SCOPED_TRACE(terrain.name);
        const size_t count = size_t{terrain.width} * terrain.height;
        std::vector<float> expected;
        ASSERT_TRUE(terrain.LayeredPositions(expected, true)); // erosion entries keep their run
        testsupport::ExpectSameFloats(terrain.positions, expected, "positions");
        const TerrainGrid::HeightRange range = TerrainGrid::Range(expected.data(), count);
        EXPECT_EQ(std::make_pair(terrain.minHeight, terrain.maxHeight), std::make_pair(range.min, range.max));
        std::vector<float> normals;
        std::vector<uint8_t> normalBytes(3 * count);
        TerrainGrid::VertexNormals(expected.data(), terrain.width, terrain.height, normals,
                                   normalBytes.data());
        testsupport::ExpectSameFloats(terrain.normals, normals, "normals");
        EXPECT_EQ(testsupport::PixelsOf(*terrain.normalTexture), normalBytes);
        std::vector<uint8_t> heightBytes(count);
        TerrainGrid::HeightmapBytes(expected.data(), count, range.min, range.max, heightBytes.data());
        EXPECT_EQ(testsupport::PixelsOf(*terrain.heightmapTexture), heightBytes);
    }

    // Starts a job, acts while it is held at its start (its "TITLE started." line), then lets it end.
    void WhileHeld(const std::string& title, const std::function<void()>& start,
                   const std::function<void()>& act)
    {
        const auto gate = std::make_shared<GateSink>(title + " started.");
        auto& sinks = spdlog::get(kLoggerName)->sinks();
        sinks.push_back(gate);
        start();
        const bool reached = gate->WaitReached();
        EXPECT_TRUE(reached) << title;
        if (reached) act();
        gate->Open();
        EXPECT_TRUE(FinishJobs(true));
        sinks.erase(std::remove(sinks.begin(), sinks.end(), gate), sinks.end());
    }

    // A session of terrain "first" saved as session.velmoran at path, then "second" made unsaved.
    const std::string path = dir / "session.velmoran";
    bool SaveFirstThenMakeSecond()
    {
        return CreateTerrainWithScene("first", 17) && SaveProject(path) && CreateTerrain("second", 17);
    }

    void CancelTheRunningJob()
    {
        const std::vector<JobView> running = editor.session.jobs.Running();
        ASSERT_EQ(running.size(), 1u);
        EXPECT_TRUE(running[0].cancellable && editor.session.jobs.Cancel(running[0].id));
    }
};

TEST_F(EditorJobsGLTest, ATerrainMadeOnTheRunnerIsTheGeneratorsTerrain)
{
    editor.newTerrain.form.range = 6.0f;
    const std::shared_ptr<Terrain> hills = CreateTerrain("hills", 33, 1);

    // The heights the recorded seed gives, and the normals and pixels computed from them.
    std::vector<float> positions;
    TerrainGrid::HeightRange range;
    ASSERT_TRUE(TerrainRecord::GenerateBase(
        33, 33, 1.0f, {TerrainGenerator::DiamondSquare, 6.0f, 0.5f, 0, hills->generatorRecord.seed},
        positions, range));
    testsupport::ExpectSameFloats(hills->basePositions, positions, "base positions");
    ExpectLayersApplied(*hills);
    for (const char* line :
         {"Creating new terrain heightmap texture.", "Creating new terrain watermap texture.",
          "Starting to recalculate vertex normals.", "Finished recalculating vertex normals."})
        EXPECT_EQ(log.Count(spdlog::level::trace, line), 1) << line;

    // A second terrain while the window is asked to close: the work stops, adds nothing, and the close
    // goes on to the unsaved-changes question.
    editor.newTerrain.form.name = "second";
    WhileHeld(
        "Creating terrain second (33 x 33)", [&] { EXPECT_TRUE(editor.newTerrain.Create(editor)); },
        [&] { editor.project.OnWindowCloseRequest(editor); });
    EXPECT_EQ(editor.terrains.size(), 1u);
    ASSERT_TRUE(editor.project.unsaved.asking);
    editor.project.Answer(editor, UnsavedChangesForm::Answer::DontSave);
    EXPECT_TRUE(WindowClosing());
}

TEST_F(EditorJobsGLTest, OpeningAProjectOrLoadingATerrainCancelledKeepsTheSessionAsItWas)
{
    ASSERT_TRUE(SaveFirstThenMakeSecond());
    Frames(2);
    const std::string before = Snapshot();

    WhileHeld(
        "Opening project session", [&] { editor.project.Open(editor, path); },
        [&]
        {
            GuiFrame({}, [] { EXPECT_FALSE(ImGui::IsPopupOpen("Working###jobprogress")); }); // not at once
            std::this_thread::sleep_for(std::chrono::duration<double>(editor.jobModal.delaySeconds));
            GuiFrame({}, [] { EXPECT_TRUE(ImGui::IsPopupOpen("Working###jobprogress")); }); // after a moment
            CancelTheRunningJob();
        });

    // "second" is still unsaved
    EXPECT_TRUE(SnapshotIs(before));
    EXPECT_EQ(std::make_tuple(editor.session.path, editor.session.HasUnsavedChanges(), editor.showError),
              std::make_tuple(path, true, false))
        << editor.errorMessage;
    EXPECT_EQ(editor.session.notice, "Opening project session was cancelled; nothing was changed.");
    GuiFrame({}, [] { EXPECT_FALSE(ImGui::IsPopupOpen("Working###jobprogress")); });

    ASSERT_TRUE(OpenProject(path)); // not cancelled: the saved session
    ASSERT_EQ(editor.terrains.size(), 1u);
    EXPECT_FALSE(editor.session.HasUnsavedChanges());

    const std::string obj = testsupport::WriteScanObj(dir / "scan.obj", 9, 6,
                                                      [](uint32_t i, uint32_t j) { return i * j * 0.25f; });
    WhileHeld(
        "Loading terrain scan.obj", [&] { editor.loadTerrain.Load(editor, obj); },
        [&] { CancelTheRunningJob(); });
    EXPECT_EQ(std::make_tuple(editor.terrains.size(), editor.scenes.size(), editor.showError,
                              editor.session.HasUnsavedChanges()),
              std::make_tuple(size_t{1}, size_t{1}, false, false));
    EXPECT_EQ(editor.session.notice, "Loading terrain scan.obj was cancelled; nothing was changed.");
}

TEST_F(EditorJobsGLTest, ABusyTerrainRefusesASecondJobAndLocksItsSettings)
{
    const std::shared_ptr<Terrain> hills = CreateTerrainWithScene("hills", 33, 1);
    editor.sceneWindow.FollowGeneratorTerrain(editor, hills);
    auto layer = editor.layerPanel.AddLayer(editor, hills);
    layer->settings.frequency = 0.05f;
    layer->AppendState(layer->settings);
    editor.layerPanel.selectedLayer = layer;
    SaveForm(hills, dir / "");
    editor.exportDialog.form.selected = hills;
    editor.exportDialog.form.folder = dir.Path().string();

    WhileHeld(
        "Saving terrain hills", [&] { editor.saveTerrain.Save(editor); },
        [&]
        {
            EXPECT_FALSE(editor.CanWaitForEvents()); // the frames go on while it runs
            EXPECT_EQ(editor.exportDialog.Export(editor, true), ExportForm::Outcome::Failed);
            EXPECT_EQ(editor.errorMessage, "Cannot start \"Exporting terrain hills\": terrain hills is "
                                           "busy with \"Saving terrain hills\".");
            // Undo waits for the work, which holds the session's terrain.
            EXPECT_FALSE(editor.commands.CanUndo() || editor.commands.Undo());
            EXPECT_EQ(hills->heightmaps.size(), 1u);
        });
    EXPECT_FALSE(editor.session.IsBusy(hills.get()));
    EXPECT_EQ(editor.session.notice.rfind("Saved hills.obj", 0), 0u) << editor.session.notice;
    EXPECT_TRUE(editor.commands.Undo()); // free again: the layer's addition is taken back
    EXPECT_TRUE(hills->heightmaps.empty());
}

// Update mesh with an erosion entry on a large terrain: a cancelled run leaves heights, normals and
// textures as they were; a finished run gives what applying at once gives (the same bits, the mask
// shown), and while it runs the terrain's own Update mesh and a project save are refused.
TEST_F(EditorJobsGLTest, ErosionInTheLayerStackRunsAsAJobAndCancelsWithoutChanges)
{
    const std::shared_ptr<Terrain> hills = CreateTerrainWithScene("hills", 33, 1);
    editor.sceneWindow.FollowGeneratorTerrain(editor, hills);
    auto noise = editor.layerPanel.AddLayer(editor, hills);
    noise->settings.power = 4.0f;
    noise->Update();
    auto erosion = editor.layerPanel.AddErosion(editor, hills);
    erosion->settings.erosion.method = Erosion::Method::Thermal;
    erosion->settings.erosion.thermal.iterations = 40;
    Frames(2);
    const std::string before = Snapshot();
    WhileHeld(
        "Applying the layers of hills", [&] { editor.commands.ApplyLayers(hills); },
        [&]
        {
            EXPECT_TRUE(editor.session.IsBusy(hills.get()));
            editor.project.Save(editor, dir / "p.velmoran");
            EXPECT_EQ(editor.errorMessage, "Cannot start \"Saving project p\": the session is busy "
                                           "with \"Applying the layers of hills\".");
            CancelTheRunningJob();
        });
    EXPECT_FALSE(std::filesystem::exists(dir / "p.velmoran"));
    EXPECT_TRUE(SnapshotIs(before));

    editor.showError = false;
    editor.commands.ApplyLayers(hills);
    ASSERT_TRUE(FinishJobs(true));
    EXPECT_FALSE(editor.showError) << editor.errorMessage;
    ExpectLayersApplied(*hills);
    EXPECT_EQ(erosion->shownMaskGeneration, erosion->erosionCache.generation); // the mask is shown
}

// A stack without erosion is applied within the call. Applies in a row write over the arrays the one
// before replaced, also when these were another terrain's of another size (24 x 13, not square).
TEST_F(EditorJobsGLTest, AppliesInARowGiveEachTerrainExactlyItsOwnStack)
{
    const std::shared_ptr<Terrain> hills = CreateTerrainWithScene("hills", 33, 1);
    auto ridge = std::make_shared<Terrain>(24, 13, 0.5f, Terrain::Generator::RandomFault, 3.0f, 0.005f, 25);
    ridge->name = "ridge";
    editor.commands.AddTerrain(ridge);
    auto hillsNoise = editor.commands.AddNoiseLayer(*hills);
    auto ridgeNoise = editor.commands.AddNoiseLayer(*ridge);
    ridgeNoise->settings.power = 2.5f;
    ridgeNoise->Update();
    for (const float power : {4.0f, 9.0f, 1.0f})
    {
        hillsNoise->settings.power = power;
        hillsNoise->Update();
        for (const auto& terrain : {hills, ridge, ridge})
        {
            editor.commands.ApplyLayers(terrain);
            ExpectLayersApplied(*terrain);
        }
        Frame(); // a realtime drag applies once a frame
    }
    EXPECT_FALSE(editor.showError) << editor.errorMessage;
}

TEST_F(EditorJobsGLTest, TheUnsavedChangesQuestionGoesOnOnceItsSaveJobHasEnded)
{
    ASSERT_TRUE(SaveFirstThenMakeSecond());
    ASSERT_TRUE(editor.session.HasUnsavedChanges());

    editor.project.Request(editor, SessionAction::NewProject);
    ASSERT_TRUE(editor.project.unsaved.asking);
    WhileHeld(
        "Saving project session", [&] { editor.project.Answer(editor, UnsavedChangesForm::Answer::Save); },
        [&] { EXPECT_EQ(editor.terrains.size(), 2u); }); // the new project waits for the save
    EXPECT_TRUE(editor.terrains.empty() && editor.session.path.empty());
    Project saved;
    ASSERT_TRUE(ProjectFile::Open(path, saved));
    EXPECT_EQ(saved.terrains.size(), 2u);
}
} // namespace
