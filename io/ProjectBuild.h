#pragma once
// The headless build: every terrain of a project completed without GL (TerrainRecord::Complete) and
// written as the Save Terrain dialog writes it with every choice set: NAME.obj, NAME_water.obj (when
// the water plane was built), and NAME_heightmap, NAME_diffuse, NAME_normal and NAME_specular images
// (those the terrain has) in the chosen format. In place of a project it takes a terrain OBJ file or a
// heightmap, as the editor would load it, so files convert without the editor. The velmoran-build program is
// a thin command line over Run.
#include "io/Export.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

struct Project;

struct BuildOptions
{
    std::string projectPath;  // or a terrain OBJ file or a heightmap (ProjectBuild::KindOfInput)
    std::string outputFolder; // created when missing
    // Extension of the images, as the Save Terrain dialog offers them: ".png", ".tga", ".jpg" or ".bmp";
    // empty writes no images (the dialog's "Format").
    std::string imageFormat = ".png";
    std::vector<std::string> terrains; // names of the terrains to build; empty builds them all
    bool saveFiles = true;             // the files Save Terrain writes (format name "save")
    // Exports for other tools (ExportFormat flags), written as the Export dialog writes them with the
    // terrain's name as the base name; folder and baseName are set per terrain.
    ExportOptions exports;
};

// Reports steps that take long: a step running for over a second gets a progress line at most once
// a second, and a line with its time when it ends. Lines go to the sink (standard error).
class StepReporter
{
  public:
    using Clock = std::chrono::steady_clock;
    explicit StepReporter(std::function<void(const std::string&)> sink) : sink(std::move(sink)) {}

    void Begin(std::string step);
    // Fraction of the current step done (0 to 1).
    void Progress(float fraction);
    void End();
    void Note(const std::string& line) { sink(line); }

    // The clock the reporter reads; tests set it.
    std::function<Clock::time_point()> now = [] { return Clock::now(); };

  private:
    std::function<void(const std::string&)> sink;
    std::string step;
    Clock::time_point started;
    Clock::time_point lastLine;
};

namespace ProjectBuild
{
// The image formats the option accepts ("png", "tga", "jpg", "bmp", "none") as extensions.
bool ImageFormatFromName(const std::string& name, std::string& extension);

// The --formats list: "save" (the Save Terrain files) and the export names of ExportFormat::Parse,
// comma-separated, into options. False with the reason for an unknown name, an empty list, or "save"
// together with "obj" (both would write NAME.obj).
bool ParseFormats(const std::string& list, BuildOptions& options, std::string* error);

// What the input file is, by its extension (any case): ".obj" a terrain OBJ file, ".png", ".r16" and
// ".exr" a heightmap, anything else a project.
enum class Input
{
    Project,
    TerrainObj,
    Heightmap
};
Input KindOfInput(const std::string& path);

// A project of the one terrain record an OBJ file or a heightmap gives, as the editor holds it after Load
// Terrain or Terrain from heightmap (with the dialog's values: the JSON file beside the heightmap when
// there is one, otherwise height scale 100 and vertex distance 1), named as the editor names it (the OBJ
// header's name; the heightmap's file name without extension). False with the reason.
bool ProjectFromTerrainFile(const std::string& path, Project& out, std::string& reason,
                            const std::function<bool(float)>& progress = {});

// Builds and writes. Returns false with one line naming the file and the reason in error.
bool Run(const BuildOptions& options, std::string& error, StepReporter& reporter);
} // namespace ProjectBuild
