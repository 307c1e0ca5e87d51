// The editor's long work on the job runner: a terrain made there is the generator's terrain, a
// cancelled job leaves the session as it was, a busy terrain refuses a second job and locks its
// settings, and the unsaved-changes question goes on once its save job has ended. Work is held at its
// start by a log sink that waits on its "TITLE started." line, so each test can act while it runs.
#include "tests/editor/EditorTestSupport.h"
#include "tests/io/ObjTestMesh.h"
#include "tests/io/ProjectTestModel.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include "engine/Log.h"
#include "io/ProjectFile.h"
#include "render/Scene.h"
#include "render/Texture.h"
#include "terrain/Erosion.h"
#include "terrain/Gradient.h"
#include "terrain/Heightmap.h"
#include "terrain/Project.h"
#include "terrain/Terrain.h"
#include "io/TerrainObjFile.h"
#include "terrain/TerrainRecord.h"
#include "terrain/TerrainGrid.h"

#include <gtest/gtest.h>
#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/base_sink.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using testsupport::TempDir;

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

class Gate
{
  public:
    explicit Gate(const std::string& trigger) : sink(std::make_shared<GateSink>(trigger))
    {
        spdlog::get(kLoggerName)->sinks().push_back(sink);
    }
    ~Gate()
    {
        auto& sinks = spdlog::get(kLoggerName)->sinks();
        sinks.erase(std::remove(sinks.begin(), sinks.end(), sink), sinks.end());
    }
    bool WaitReached() { return sink->WaitReached(); }
    void Open() { sink->Open(); }

  private:
    std::shared_ptr<GateSink> sink;
};

class EditorJobsGLTest : public testsupport::EditorFrames
{
  protected:
    TempDir dir;
    testsupport::LogCapture log; // registers the logger the gates attach to

    void SetUp() override
    {
        EditorFrames::SetUp();
        editor.project.recent.file = dir / "recent_projects.txt";
    }

    void TearDown() override
    {
        editor.jobs.Abandon();
        EditorFrames::TearDown();
    }

    // Frames, as the program runs them, until every job has ended.
    bool FinishJobs()
    {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (editor.jobs.Busy() && std::chrono::steady_clock::now() < deadline)
        {
            Frame();
            std::this_thread::sleep_for(1ms);
        }
        return !editor.jobs.Busy();
    }

    uint64_t CancelTheRunningJob()
    {
        const std::vector<JobView> running = editor.jobs.Running();
        if (running.size() != 1 || !running[0].cancellable) return 0;
        return editor.jobs.Cancel(running[0].id) ? running[0].id : 0;
    }
};

TEST_F(EditorJobsGLTest, ATerrainMadeOnTheRunnerIsTheGeneratorsTerrain)
{
    editor.newTerrainForm.name = "hills";
    editor.newTerrainForm.generator = 1;
    editor.newTerrainForm.width = 33;
    editor.newTerrainForm.range = 6.0f;
    editor.background.vertices = 0;                     // every size on the runner
    EXPECT_EQ(editor.CreateTerrainFromForm(), nullptr); // on its way
    EXPECT_FALSE(editor.showNewTerrain);
    EXPECT_TRUE(editor.terrains.empty());
    ASSERT_TRUE(FinishJobs());
    ASSERT_EQ(editor.terrains.size(), 1u);
    ASSERT_EQ(editor.scenes.size(), 1u); // the first terrain's scene, as the dialog makes it
    const Terrain& t = *editor.terrains[0];
    EXPECT_EQ(t.name, "hills");

    // The heights the recorded seed gives, the normals and pixels computed from them.
    std::vector<float> positions;
    TerrainGrid::HeightRange range;
    ASSERT_TRUE(TerrainRecord::GenerateBase(
        33, 33, 1.0f, {TerrainGenerator::DiamondSquare, 6.0f, 0.5f, 0, t.generatorRecord.seed}, positions,
        range));
    testsupport::ExpectSameFloats(t.positions, positions, "positions");
    testsupport::ExpectSameFloats(t.basePositions, positions, "base positions");
    std::vector<float> normals;
    std::vector<uint8_t> normalBytes(33 * 33 * 3);
    TerrainGrid::VertexNormals(positions.data(), 33, 33, normals, normalBytes.data());
    testsupport::ExpectSameFloats(t.normals, normals, "normals");
    EXPECT_EQ(std::memcmp(t.normalTexture->data.get(), normalBytes.data(), normalBytes.size()), 0);
    const TerrainGrid::HeightRange heights = TerrainGrid::Range(positions.data(), 33 * 33);
    EXPECT_EQ(t.minHeight, 0.0f);
    EXPECT_EQ(t.maxHeight, heights.max);
    std::vector<uint8_t> heightBytes(33 * 33);
    TerrainGrid::HeightmapBytes(positions.data(), heightBytes.size(), 0.0f, heights.max, heightBytes.data());
    EXPECT_EQ(std::memcmp(t.heightmapTexture->data.get(), heightBytes.data(), heightBytes.size()), 0);
    EXPECT_EQ(t.mesh->entries.at(0).texture, t.heightmapTexture->id);
    EXPECT_EQ(t.watermapTexture->ByteSize(), 33u * 33u * 4u);
    for (const char* line :
         {"Creating new terrain heightmap texture.", "Creating new terrain watermap texture.",
          "Starting to recalculate vertex normals.", "Finished recalculating vertex normals."})
        EXPECT_EQ(log.Count(spdlog::level::trace, line), 1) << line;
}

TEST_F(EditorJobsGLTest, OpeningAProjectCancelledKeepsTheSessionAsItWas)
{
    ASSERT_TRUE(CreateTerrainWithScene("first", 17));
    const std::string path = dir / "session.velmoran";
    ASSERT_TRUE(editor.SaveProject(path));
    editor.newTerrainForm.name = "second";
    ASSERT_TRUE(editor.CreateTerrainFromForm());
    const auto terrains = editor.terrains;
    const auto scenes = editor.scenes;
    const auto cameras = editor.cameras;

    editor.background.projectBytes = 0;
    Gate gate("Opening project session started.");
    editor.StartOpenProject(path);
    ASSERT_TRUE(gate.WaitReached());
    GuiFrame({}, [] { EXPECT_TRUE(ImGui::IsPopupOpen("Working###jobprogress")); }); // the progress modal
    EXPECT_NE(CancelTheRunningJob(), 0u);
    gate.Open();
    ASSERT_TRUE(FinishJobs());

    EXPECT_EQ(editor.terrains, terrains);
    EXPECT_EQ(editor.scenes, scenes);
    EXPECT_EQ(editor.cameras, cameras);
    EXPECT_EQ(editor.project.path, path);
    EXPECT_TRUE(editor.HasUnsavedChanges()); // "second" is still unsaved
    EXPECT_FALSE(editor.showError) << editor.errorMessage;
    EXPECT_EQ(editor.notice, "Opening project session was cancelled; nothing was changed.");
    GuiFrame({}, [] { EXPECT_FALSE(ImGui::IsPopupOpen("Working###jobprogress")); });

    editor.StartOpenProject(path); // not cancelled: the saved session
    ASSERT_TRUE(FinishJobs());
    ASSERT_EQ(editor.terrains.size(), 1u);
    EXPECT_EQ(editor.terrains[0]->name, "first");
    EXPECT_FALSE(editor.HasUnsavedChanges());
}

TEST_F(EditorJobsGLTest, LoadingCancelledAddsNothingAndALoadOnTheRunnerIsTheSameTerrain)
{
    testsupport::GridMesh mesh(9, 6,
                               [](uint32_t i, uint32_t j) { return static_cast<float>(i * j) * 0.25f; });
    mesh.name = "scan";
    const std::string obj = dir / "scan.obj";
    ASSERT_TRUE(ObjWriter::WriteFile(obj, mesh.View()));
    editor.background.objBytes = 0;
    {
        Gate gate("Loading terrain scan.obj started.");
        EXPECT_EQ(editor.LoadTerrain(obj), nullptr);
        ASSERT_TRUE(gate.WaitReached());
        EXPECT_NE(CancelTheRunningJob(), 0u);
        gate.Open();
        ASSERT_TRUE(FinishJobs());
    }
    EXPECT_TRUE(editor.terrains.empty());
    EXPECT_TRUE(editor.scenes.empty());
    EXPECT_FALSE(editor.showError);

    // A refused file adds nothing on the runner either.
    EXPECT_EQ(editor.LoadTerrain(dir / "missing.obj"), nullptr);
    ASSERT_TRUE(FinishJobs());
    EXPECT_TRUE(editor.terrains.empty());
    EXPECT_FALSE(editor.HasUnsavedChanges());
    EXPECT_TRUE(editor.showError);
    editor.showError = false;

    EXPECT_EQ(editor.LoadTerrain(obj), nullptr);
    ASSERT_TRUE(FinishJobs());
    editor.background.objBytes = 1u << 30;
    const std::shared_ptr<Terrain> direct = editor.LoadTerrain(obj);
    ASSERT_EQ(editor.terrains.size(), 2u);
    const Terrain& loaded = *editor.terrains[0];
    EXPECT_EQ(loaded.name, "scan");
    EXPECT_EQ(direct->name, "scan_2");                           // a name no other terrain has
    EXPECT_EQ(editor.scenes.at(0)->terrain.get(), direct.get()); // each shown in the scene in turn
    testsupport::ExpectSameFloats(loaded.positions, direct->positions, "positions");
    testsupport::ExpectSameFloats(loaded.normals, direct->normals, "normals");
    EXPECT_EQ(loaded.vertexDistance, direct->vertexDistance);
    EXPECT_EQ(std::memcmp(loaded.heightmapTexture->data.get(), direct->heightmapTexture->data.get(), 9 * 6),
              0);
    EXPECT_EQ(std::memcmp(loaded.normalTexture->data.get(), direct->normalTexture->data.get(), 9 * 6 * 3), 0);

    // The new name survives its own OBJ file: the header's first word is the name, the next two the size.
    const std::string saved = dir / "scan_2.obj";
    ASSERT_TRUE(direct->SaveAsObj(saved));
    TerrainRecord again;
    ASSERT_TRUE(TerrainObjFile::Read(saved, again));
    EXPECT_EQ(again.name, "scan_2");
    EXPECT_EQ(again.width, 9u);
    EXPECT_EQ(again.height, 6u);
}

TEST_F(EditorJobsGLTest, ABusyTerrainRefusesASecondJobAndLocksItsSettings)
{
    const std::shared_ptr<Terrain> hills = CreateTerrainWithScene("hills", 33, 1);
    ASSERT_TRUE(hills);
    editor.FollowGeneratorTerrain(hills);
    auto layer = editor.layerPanel.AddLayer(*hills);
    layer->settings.frequency = 0.05f;
    layer->AppendState(layer->settings);
    editor.layerPanel.selectedLayer = layer;
    editor.saveTerrainForm.selected = hills;
    editor.saveTerrainForm.outputPath = dir / "";
    editor.exportForm.selected = hills;
    editor.exportForm.folder = dir.Path().string();
    editor.background.vertices = 0;

    Gate gate("Saving terrain hills started.");
    editor.showSaveTerrain = true;
    editor.SaveTerrainFromForm();
    EXPECT_FALSE(editor.showSaveTerrain);
    ASSERT_TRUE(gate.WaitReached());
    EXPECT_TRUE(editor.IsBusy(hills.get()));
    EXPECT_FALSE(editor.CanWaitForEvents()); // the frames go on while it runs

    EXPECT_EQ(editor.ExportFromForm(true), ExportForm::Outcome::Failed);
    EXPECT_TRUE(editor.showError);
    EXPECT_EQ(
        editor.errorMessage,
        "Cannot start \"Exporting terrain hills\": terrain hills is busy with \"Saving terrain hills\".");
    EXPECT_FALSE(editor.CanUndoLayerSettings(false));
    EXPECT_FALSE(editor.UndoLayerSettings(false));
    EXPECT_EQ(layer->currentState, 1u);

    gate.Open();
    ASSERT_TRUE(FinishJobs());
    EXPECT_FALSE(editor.IsBusy(hills.get()));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "hills.obj"));
    EXPECT_EQ(editor.notice.rfind("Saved hills.obj", 0), 0u) << editor.notice;
    EXPECT_TRUE(editor.UndoLayerSettings(false)); // free again
    EXPECT_EQ(layer->currentState, 0u);
}

// Update mesh with an erosion entry on a large terrain: a cancelled run leaves heights, normals and
// textures as they were; a finished run gives what applying at once gives (the same bits, the mask
// shown), and while it runs the terrain's own Update mesh and a project save are refused.
TEST_F(EditorJobsGLTest, ErosionInTheLayerStackRunsAsAJobAndCancelsWithoutChanges)
{
    const std::shared_ptr<Terrain> hills = CreateTerrainWithScene("hills", 33, 1);
    ASSERT_TRUE(hills);
    editor.FollowGeneratorTerrain(hills);
    auto noise = editor.layerPanel.AddLayer(*hills);
    noise->settings.power = 4.0f;
    noise->Update();
    auto erosion = editor.layerPanel.AddErosion(*hills);
    erosion->settings.erosion.method = Erosion::Method::Thermal;
    erosion->settings.erosion.thermal.iterations = 40;
    editor.background.vertices = 0;
    const std::vector<float> before = hills->positions;
    const std::vector<float> normalsBefore = hills->normals;
    const std::vector<uint8_t> pixelsBefore(hills->heightmapTexture->data.get(),
                                            hills->heightmapTexture->data.get() + 33 * 33);
    {
        Gate gate("Applying the layers of hills started.");
        editor.ApplyLayers(*hills);
        ASSERT_TRUE(gate.WaitReached());
        EXPECT_TRUE(editor.IsBusy(hills.get()));
        editor.StartSaveProject(dir / "p.velmoran");
        EXPECT_EQ(editor.errorMessage,
                  "Cannot start \"Saving project p\": the session is busy with \"Applying the "
                  "layers of hills\".");
        EXPECT_NE(CancelTheRunningJob(), 0u);
        gate.Open();
        ASSERT_TRUE(FinishJobs());
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "p.velmoran"));
    testsupport::ExpectSameFloats(hills->positions, before, "positions after cancel");
    testsupport::ExpectSameFloats(hills->normals, normalsBefore, "normals after cancel");
    EXPECT_EQ(std::memcmp(hills->heightmapTexture->data.get(), pixelsBefore.data(), pixelsBefore.size()), 0);
    EXPECT_EQ(editor.notice, "Applying the layers of hills was cancelled; nothing was changed.");

    editor.showError = false;
    editor.ApplyLayers(*hills);
    EXPECT_TRUE(editor.jobs.Busy());
    ASSERT_TRUE(FinishJobs());
    EXPECT_FALSE(editor.showError) << editor.errorMessage;
    std::vector<float> expected;
    ASSERT_TRUE(hills->LayeredPositions(expected, true)); // the entry kept its run
    testsupport::ExpectSameFloats(hills->positions, expected, "positions");
    EXPECT_NE(hills->positions, before);
    std::vector<float> normals;
    std::vector<uint8_t> normalBytes(33 * 33 * 3);
    TerrainGrid::VertexNormals(expected.data(), 33, 33, normals, normalBytes.data());
    testsupport::ExpectSameFloats(hills->normals, normals, "normals");
    EXPECT_EQ(std::memcmp(hills->normalTexture->data.get(), normalBytes.data(), normalBytes.size()), 0);
    const TerrainGrid::HeightRange range = TerrainGrid::Range(expected.data(), 33 * 33);
    EXPECT_EQ(hills->minHeight, range.min);
    EXPECT_EQ(hills->maxHeight, range.max);
    EXPECT_EQ(erosion->shownMaskGeneration, erosion->erosionCache.generation); // the mask is shown

    // A small terrain applies at once, as before.
    editor.background.vertices = uint64_t{1} << 40;
    erosion->settings.erosion.thermal.iterations = 41;
    editor.ApplyLayers(*hills);
    EXPECT_FALSE(editor.jobs.Busy());
    ASSERT_TRUE(hills->LayeredPositions(expected, true));
    testsupport::ExpectSameFloats(hills->positions, expected, "positions applied at once");
}

// Export on the runner writes the bytes the export at once writes, asks before overwriting as it
// does, and a file it cannot write ends in the Error popup.
TEST_F(EditorJobsGLTest, AnExportOnTheRunnerWritesWhatTheExportAtOnceWrites)
{
    const std::shared_ptr<Terrain> hills = CreateTerrainWithScene("hills", 17, 1);
    ASSERT_TRUE(hills);
    hills->gradients.push_back(std::make_unique<Gradient>());
    hills->gradients.back()->heightSpan = 255;
    hills->GenerateDiffuseByHeight();
    ExportForm& form = editor.exportForm;
    form.selected = hills;
    form.folder = (dir / "now");
    std::filesystem::create_directories(form.folder);
    ASSERT_EQ(editor.ExportFromForm(false), ExportForm::Outcome::Written);

    editor.background.vertices = 0;
    form.folder = (dir / "job");
    std::filesystem::create_directories(form.folder);
    EXPECT_EQ(editor.ExportFromForm(false), ExportForm::Outcome::Started);
    EXPECT_TRUE(editor.IsBusy(hills.get()));
    ASSERT_TRUE(FinishJobs());
    EXPECT_FALSE(editor.showError) << editor.errorMessage;
    size_t compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "now"))
    {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(testsupport::ReadFile(dir / ("job/" + name)), testsupport::ReadFile(entry.path().string()))
            << name;
        ++compared;
    }
    EXPECT_GE(compared, 3u);

    editor.showExport = true;
    EXPECT_EQ(editor.ExportFromForm(false), ExportForm::Outcome::AskOverwrite);
    EXPECT_FALSE(editor.jobs.Busy());
    EXPECT_TRUE(editor.showExport);

    std::filesystem::remove_all(dir / "job");
    {
        std::ofstream(dir / "job") << "a file where the folder was\n";
    }
    editor.ExportFromForm(true);
    ASSERT_TRUE(FinishJobs());
    EXPECT_TRUE(editor.showError);
    EXPECT_NE(editor.errorMessage.find(dir / "job"), std::string::npos) << editor.errorMessage;
}

TEST_F(EditorJobsGLTest, TheUnsavedChangesQuestionGoesOnOnceItsSaveJobHasEnded)
{
    ASSERT_TRUE(CreateTerrainWithScene("first", 17));
    const std::string path = dir / "session.velmoran";
    ASSERT_TRUE(editor.SaveProject(path));
    editor.newTerrainForm.name = "second";
    ASSERT_TRUE(editor.CreateTerrainFromForm());
    editor.background.vertices = 0;
    ASSERT_TRUE(editor.HasUnsavedChanges());

    editor.RequestSessionAction(SessionAction::NewProject);
    ASSERT_TRUE(editor.project.unsaved.asking);
    editor.AnswerUnsavedChanges(UnsavedChangesForm::Answer::Save);
    EXPECT_TRUE(editor.jobs.Busy());
    EXPECT_EQ(editor.terrains.size(), 2u); // the new project waits for the save
    ASSERT_TRUE(FinishJobs());
    EXPECT_TRUE(editor.terrains.empty());
    EXPECT_TRUE(editor.project.path.empty());
    Project saved;
    ASSERT_TRUE(ProjectFile::Open(path, saved));
    EXPECT_EQ(saved.terrains.size(), 2u);
}
} // namespace
