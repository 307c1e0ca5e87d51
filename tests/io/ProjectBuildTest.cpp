#include "io/HeightImage.h"
#include "io/ProjectBuild.h"
#include "io/ProjectFile.h"
#include "tests/io/ProjectSamples.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using testsupport::TempDir;

namespace
{
TEST(StepReporterTest, OnlyStepsOverASecondReport)
{
    std::vector<std::string> lines;
    StepReporter reporter([&](const std::string& line) { lines.push_back(line); });
    double seconds = 0.0;
    reporter.now = [&]
    {
        return StepReporter::Clock::time_point(std::chrono::duration_cast<StepReporter::Clock::duration>(
            std::chrono::duration<double>(seconds)));
    };
    reporter.Begin("Reading a.velmoran");
    seconds = 0.9;
    reporter.Progress(0.9f);
    reporter.End();
    EXPECT_TRUE(lines.empty());

    reporter.Begin("Reading b.velmoran");
    for (const double t : {1.5, 1.7, 2.4, 2.6, 3.1})
    {
        seconds = 0.9 + t;
        reporter.Progress(static_cast<float>(t / 4.0));
    }
    seconds = 0.9 + 4.0;
    reporter.End();
    EXPECT_EQ(lines, (std::vector<std::string>{"Reading b.velmoran: 38%", "Reading b.velmoran: 65%",
                                               "Reading b.velmoran: done in 4.0 s"}));
}

class ProjectBuildTest : public ::testing::Test
{
  protected:
    TempDir dir;
    std::vector<std::string> notes;
    StepReporter reporter{[this](const std::string& line) { notes.push_back(line); }};

    BuildOptions Options(const Project& project)
    {
        std::string error;
        const std::string path = dir / "p.velmoran";
        EXPECT_TRUE(ProjectFile::Save(project, path, &error)) << error;
        BuildOptions options;
        options.projectPath = path;
        options.outputFolder = dir / "out/sub";
        return options;
    }
};

TEST_F(ProjectBuildTest, WritesTheSaveTerrainFilesOfEveryTerrain)
{
    BuildOptions options = Options(testsupport::SampleProject());
    options.imageFormat = ".tga";
    std::string error;
    ASSERT_TRUE(ProjectBuild::Run(options, error, reporter)) << error;
    EXPECT_EQ(testsupport::FilesIn(options.outputFolder),
              (std::set<std::string>{"ridge.obj", "ridge_diffuse.tga", "ridge_heightmap.tga",
                                     "ridge_normal.tga", "ridge_specular.tga", "ridge_water.obj", "scan.obj",
                                     "scan_heightmap.tga", "scan_normal.tga", "scan_water.obj"}));
    EXPECT_EQ(notes, (std::vector<std::string>{"Terrain 1 (broken) is empty: nothing to write"}));

    options.terrains = {"scan"};
    options.imageFormat.clear();
    options.outputFolder = dir / "only";
    ASSERT_TRUE(ProjectBuild::Run(options, error, reporter)) << error;
    EXPECT_EQ(testsupport::FilesIn(options.outputFolder).size(), 2u);
}

TEST_F(ProjectBuildTest, RefusesWhatWouldWriteTheWrongFiles)
{
    Project project = testsupport::SampleProject();
    project.terrains[2].name = "ridge";
    BuildOptions options = Options(project);
    std::string error;
    EXPECT_FALSE(ProjectBuild::Run(options, error, reporter));
    EXPECT_EQ(error,
              options.projectPath + ": two terrains are named ridge: their files would overwrite each other");

    project.terrains[2].name = "../../etc";
    options = Options(project);
    EXPECT_FALSE(ProjectBuild::Run(options, error, reporter));
    EXPECT_EQ(error,
              options.projectPath +
                  ": terrain 2 is named '../../etc', which cannot be a file name in the output folder");

    options.terrains = {"valley"};
    EXPECT_FALSE(ProjectBuild::Run(options, error, reporter));
    EXPECT_EQ(error, options.projectPath + ": it holds no terrain named valley");
    EXPECT_FALSE(std::filesystem::exists(options.outputFolder));

    // A terrain file in place of the project: refused as the editor refuses it, named once.
    const HeightGrid strip{5, 3, 1.0f, std::vector<float>(15, 1.0f)};
    ASSERT_TRUE(
        HeightImage::Write(dir / "strip.r16", HeightImage::Format::R16, HeightImage::ViewOf(strip), nullptr));
    std::ofstream(dir / "photo.OBJ", std::ios::binary) << std::string("\x89PNG\r\n\x1a\n\0\0", 10);
    const std::pair<std::string, std::string> refused[] = {
        {dir / "none.obj", "it cannot be opened"},
        {dir / "photo.OBJ", "it is not a text file"},
        {dir / "strip.r16", "it is 5 x 3; terrains are square (the program does not support rectangular "
                            "texturing at the moment)"}};
    for (const auto& [input, reason] : refused)
    {
        options.projectPath = input;
        EXPECT_FALSE(ProjectBuild::Run(options, error, reporter));
        EXPECT_EQ(error, input + ": " + reason);
    }

    std::string extension = ".png";
    EXPECT_TRUE(ProjectBuild::ImageFormatFromName("none", extension)); // the headless program covers the rest
    EXPECT_EQ(extension, "");
}
} // namespace
