// The velmoran-build program as a user runs it, without a display: its exit status, its one-line
// failures and its help.
#include "io/ProjectFile.h"
#include "tests/io/ProjectTestModel.h"
#include "tests/support/TestCommon.h"

#include <nlohmann/json.hpp>

#include <sys/wait.h>

using testsupport::FilesIn;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace
{
struct ProgramRun
{
    int status = -1;
    std::string out;
    std::string err;
};

// Runs velmoran-build without a display, or the program given, with the arguments.
ProgramRun RunProgram(const TempDir& dir, const std::string& arguments,
                      const std::string& program = "env -u DISPLAY " VELMORAN_BUILD_PROGRAM)
{
    const std::string redirect = " >" + (dir / "out.txt") + " 2>" + (dir / "err.txt");
    const int raw = std::system((program + " " + arguments + redirect).c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir / "out.txt"), ReadFile(dir / "err.txt")};
}

// A refused run: its exit status and its one line on standard error.
void ExpectRefused(const TempDir& dir, const std::string& arguments, int status, const std::string& err)
{
    const ProgramRun run = RunProgram(dir, arguments);
    EXPECT_EQ(std::tie(run.status, run.err), std::tie(status, err)) << arguments;
}

// The text holds the part; all of it shows when not.
void ExpectHolds(const std::string& text, const std::string& part)
{
    EXPECT_NE(text.find(part), std::string::npos) << text;
}

TEST(VelmoranBuildTest, BuildsAProjectAndReportsEachFailureOnOneLine)
{
    TempDir dir;
    const std::string project = dir / "sample.velmoran";
    ASSERT_TRUE(ProjectFile::Save(testsupport::SampleProject(), project));

    // A dot in a folder of the output path is no image extension.
    ProgramRun run = RunProgram(dir, project + " --out " + (dir / "exports.v2/o") + " --images bmp");
    EXPECT_EQ(std::tie(run.status, run.err),
              std::make_tuple(0, "velmoran-build: Terrain 1 (broken) is empty: nothing to write\n"));
    EXPECT_TRUE(std::filesystem::exists(dir / "exports.v2/o/ridge_normal.bmp"));
    EXPECT_TRUE(std::filesystem::exists(dir / "exports.v2/o/scan_water.obj"));

    // The build's own warnings reach standard error through the log.
    Project lax = testsupport::SampleProject();
    lax.terrains[0].layers[2].settings.erosion.thermal.strength = 5.0f;
    ASSERT_TRUE(ProjectFile::Save(lax, dir / "lax.velmoran"));
    run = RunProgram(dir, (dir / "lax.velmoran") + " --out " + (dir / "lax") + " --terrain ridge");
    EXPECT_EQ(std::tie(run.status, run.out), std::make_tuple(0, "")) << run.err;
    ExpectHolds(run.err, " - warning]  Terrain ridge layer 2 (Erosion_2): erosion settings out of range were "
                         "brought into range.\n");

    std::ofstream(dir / "file") << "x";
    run = RunProgram(dir, project + " --out " + (dir / "file/sub"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("velmoran-build: " + (dir / "file/sub") + ": ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;

    ExpectRefused(dir, project + " --out " + (dir / "out") + " --images exr", 2,
                  "velmoran-build: --images: unknown format exr (png, tga, jpg, bmp or none)\n");

    // Exports instead of the Save Terrain files, and a list that would write NAME.obj twice.
    run = RunProgram(dir, project + " --out " + (dir / "exports") + " --terrain ridge --formats glb,r16");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(FilesIn(dir / "exports"),
              (std::set<std::string>{"ridge.glb", "ridge_height.r16", "ridge_height.r16.json"}));
    ExpectRefused(dir, project + " --out " + (dir / "out") + " --formats save,obj", 2,
                  "velmoran-build: --formats: save and obj both write NAME.obj: write them into different "
                  "--out folders\n");
    // A project without a world has no tiles.
    ExpectRefused(dir, project + " --out " + (dir / "out") + " --tile 0,0", 1,
                  "velmoran-build: " + project + ": it holds no world (a project made with New World)\n");

    run = RunProgram(dir, "--help");
    EXPECT_EQ(run.status, 0);
    ExpectHolds(run.out, "Usage: velmoran-build [OPTIONS] project");
}

// A small world: 2 x 2 tiles of 17 vertices shaped by a noise layer.
Project SmallWorldProject(TerrainGenerator generator = TerrainGenerator::Flat)
{
    Project project;
    TerrainRecord& land = project.terrains.emplace_back();
    land.name = "land";
    land.width = land.height = 17;
    land.generator.generator = generator;
    LayerRecord& hills = land.layers.emplace_back();
    hills.name = "hills";
    hills.settings.power = 30.0f;
    hills.settings.frequency = 0.05f;
    WorldSettings& world = project.world.emplace();
    world.tileSize = 17;
    world.tilesX = world.tilesY = 2;
    return project;
}

// One tile per process: its files and the world's JSON, a second run that skips it, the refusals.
TEST(VelmoranBuildTest, BuildsATileOfAWorldOnceAndRefusesTilesOutsideIt)
{
    TempDir dir;
    const std::string world = dir / "world.velmoran";
    ASSERT_TRUE(ProjectFile::Save(SmallWorldProject(), world));
    const std::string out = dir / "tiles";

    ProgramRun run = RunProgram(dir, world + " --out " + out + " --tile 1,0");
    EXPECT_EQ(std::tie(run.status, run.out), std::make_tuple(0, "built 1, skipped 0\n")) << run.err;
    EXPECT_EQ(FilesIn(out),
              (std::set<std::string>{"land_world.json", "land_x1_y0.inputs", "land_x1_y0.png",
                                     "land_x1_y0.png.json", "land_x1_y0.r16", "land_x1_y0.r16.json"}));
    EXPECT_EQ(std::filesystem::file_size(out + "/land_x1_y0.r16"), 17u * 17u * 2u);
    const nlohmann::json tileJson = nlohmann::json::parse(ReadFile(out + "/land_x1_y0.r16.json"));
    const nlohmann::json worldJson = nlohmann::json::parse(ReadFile(out + "/land_world.json"));
    EXPECT_EQ(std::make_tuple(worldJson["tilesX"], worldJson["tileSize"], worldJson["files"]["png16"]),
              std::make_tuple(2, 17, "land_x{x}_y{y}.png"));
    EXPECT_EQ(std::tie(tileJson["minHeight"], tileJson["maxHeight"]),
              std::tie(worldJson["minHeight"], worldJson["maxHeight"]));
    run = RunProgram(dir, world + " --out " + out + " --tile 1,0");
    EXPECT_EQ(run.out, "built 0, skipped 1\n");

    // The same tile from a run over every tile is the same file.
    run = RunProgram(dir, world + " --out " + (dir / "all") + " --tiles all --formats r16");
    EXPECT_EQ(std::tie(run.status, run.out), std::make_tuple(0, "built 4, skipped 0\n")) << run.err;
    EXPECT_EQ(ReadFile(dir / "all/land_x1_y0.r16"), ReadFile(out + "/land_x1_y0.r16"));
    run = RunProgram(dir, world + " --out " + out + " --tiles list");
    EXPECT_EQ(run.out, "0,0\n1,0\n0,1\n1,1\n");

    ExpectRefused(dir, world + " --out " + out + " --tile 0,2", 1,
                  "velmoran-build: " + world +
                      ": tile 0,2 is outside the world's 2 x 2 tiles (x from 0 to 1, y from 0 to 1)\n");
    ExpectRefused(dir, world + " --out " + out + " --tile 1x0", 2,
                  "velmoran-build: --tile: 1x0 is not X,Y (two whole numbers)\n");
    ExpectRefused(dir, world + " --out " + out + " --tile 0,0 --formats obj", 2,
                  "velmoran-build: --formats: a world's tiles are written as png16, r16, exr and glb\n");

    const std::string square = dir / "square.velmoran";
    ASSERT_TRUE(ProjectFile::Save(SmallWorldProject(TerrainGenerator::DiamondSquare), square));
    ExpectRefused(dir, square + " --out " + out + " --tile 0,0", 1,
                  "velmoran-build: " + square +
                      ": the world: terrain land starts from diamond-square, which cannot tile: a world "
                      "starts flat and takes its shape from its noise, image and erosion layers\n");
}

// The script fans the tiles out through GNU parallel: two at a time, every tile once; a second run
// skips them all; a tile that cannot be written fails the run and is named.
TEST(VelmoranBuildTest, TheWorldScriptBuildsEveryTileOnceAndSkipsThemOnTheNextRun)
{
    TempDir dir;
    const std::string world = dir / "world.velmoran";
    ASSERT_TRUE(ProjectFile::Save(SmallWorldProject(), world));
    const std::string out = dir / "tiles";
    const std::string script = std::string("VELMORAN_BUILD=") + VELMORAN_BUILD_PROGRAM + " " +
                               VELMORAN_SOURCE_DIR + "/scripts/build-world.sh " + world + " " + out;
    ProgramRun run = RunProgram(dir, "--jobs 2", script);
    EXPECT_EQ(run.status, 0) << run.err;
    ExpectHolds(run.err, "build-world: 4 of 4 tiles done (4 built, 0 skipped, 0 failed)\n");
    ExpectHolds(run.err, "build-world: 4 tiles: 4 built, 0 skipped, 0 failed\n");
    // Each tile ran once: the job log's lines after its header end in "--tile 'X,Y' 2>...".
    std::multiset<std::string> tiles;
    std::istringstream log(ReadFile(out + "/.build-world/jobs.log"));
    std::string line;
    for (std::getline(log, line); std::getline(log, line);)
        tiles.insert(line.substr(line.find("--tile ") + 7, 5));
    EXPECT_EQ(tiles, (std::multiset<std::string>{"'0,0'", "'0,1'", "'1,0'", "'1,1'"}));
    for (const char* tile : {"x0_y0", "x1_y0", "x0_y1", "x1_y1"})
        EXPECT_TRUE(std::filesystem::exists(out + "/land_" + tile + ".png")) << tile;

    run = RunProgram(dir, "--jobs 2", script);
    EXPECT_EQ(run.status, 0) << run.err;
    ExpectHolds(run.err, "build-world: 4 tiles: 0 built, 4 skipped, 0 failed\n");

    std::filesystem::remove(out + "/land_x0_y1.png");
    std::filesystem::create_directory(out + "/land_x0_y1.png");
    run = RunProgram(dir, "", script);
    EXPECT_EQ(run.status, 1) << run.err;
    ExpectHolds(run.err, "build-world: 4 tiles: 0 built, 3 skipped, 1 failed\n"
                         "build-world: tile 0,1 failed: velmoran-build: tile 0,1: Cannot write " +
                             out + "/land_x0_y1.png: it is a folder\n");
}
} // namespace
