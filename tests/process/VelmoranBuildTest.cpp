// The velmoran-build program as a user runs it, without a display: its exit status, its one-line
// failures and its help.
#include "io/ProjectFile.h"
#include "tests/io/ProjectTestModel.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <vector>

using testsupport::TempDir;

namespace
{
struct ProgramRun
{
    int status = -1;
    std::string out;
    std::string err;
};

ProgramRun BuildProgram(const TempDir& dir, const std::string& arguments)
{
    const std::string command = "env -u DISPLAY " + std::string(VELMORAN_BUILD_PROGRAM) + " " + arguments +
                                " >" + (dir / "out.txt") + " 2>" + (dir / "err.txt");
    const int raw = std::system(command.c_str());
    const auto read = [](const std::string& path)
    {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read(dir / "out.txt"), read(dir / "err.txt")};
}

TEST(VelmoranBuildTest, BuildsAProjectAndReportsEachFailureOnOneLine)
{
    TempDir dir;
    const std::string project = dir / "sample.velmoran";
    ASSERT_TRUE(ProjectFile::Save(testsupport::SampleProject(), project));

    // A dot in a folder of the output path is no image extension.
    ProgramRun run = BuildProgram(dir, project + " --out " + (dir / "exports.v2/o") + " --images bmp");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "velmoran-build: Terrain 1 (broken) is empty: nothing to write\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "exports.v2/o/ridge_normal.bmp"));
    EXPECT_TRUE(std::filesystem::exists(dir / "exports.v2/o/scan_water.obj"));

    // The build's own warnings reach standard error through the log.
    Project lax = testsupport::SampleProject();
    lax.terrains[0].layers[2].settings.erosion.thermal.strength = 5.0f;
    ASSERT_TRUE(ProjectFile::Save(lax, dir / "lax.velmoran"));
    run = BuildProgram(dir, (dir / "lax.velmoran") + " --out " + (dir / "lax") + " --terrain ridge");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(
        run.err.find(" - warning]  Terrain ridge layer 2 (Erosion_2): erosion settings out of range were "
                     "brought into range.\n"),
        std::string::npos)
        << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;

    run = BuildProgram(dir, (dir / "none.velmoran") + " --out " + (dir / "out"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "velmoran-build: " + (dir / "none.velmoran") + ": it does not exist\n");

    std::ofstream(dir / "file") << "x";
    run = BuildProgram(dir, project + " --out " + (dir / "file/sub"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("velmoran-build: " + (dir / "file/sub") + ": ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;

    run = BuildProgram(dir, project + " --out " + (dir / "out") + " --images exr");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "velmoran-build: --images: unknown format exr (png, tga, jpg, bmp or none)\n");

    // Exports instead of the Save Terrain files, and a list that would write NAME.obj twice.
    run = BuildProgram(dir, project + " --out " + (dir / "exports") +
                                " --terrain ridge --formats glb,r16 --resample 9");
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "exports"))
        written.push_back(entry.path().filename().string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"ridge.glb", "ridge_height.r16", "ridge_height.r16.json"}));
    EXPECT_EQ(std::filesystem::file_size(dir / "exports/ridge_height.r16") % 18, 0u); // 9 vertices a side
    run = BuildProgram(dir, project + " --out " + (dir / "out") + " --formats save,obj");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "velmoran-build: --formats: save and obj both write NAME.obj: write them into different "
              "--out folders\n");
    run = BuildProgram(dir, project + " --out " + (dir / "out") + " --formats gltf");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("velmoran-build: --formats: ", 0), 0u) << run.err;

    run = BuildProgram(dir, "");
    EXPECT_NE(run.status, 0);

    run = BuildProgram(dir, "--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Usage: velmoran-build [OPTIONS] project"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("--out"), std::string::npos);
}
} // namespace
