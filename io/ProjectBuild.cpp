#include "io/ProjectBuild.h"

#include "io/HeightImage.h"
#include "io/ImageFile.h"
#include "io/ObjWriter.h"
#include "io/ProjectFile.h"
#include "io/TerrainObjFile.h"
#include "terrain/TerrainName.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

void StepReporter::Begin(std::string name)
{
    step = std::move(name);
    started = now();
    lastLine = started;
}

void StepReporter::Progress(float fraction)
{
    const Clock::time_point t = now();
    if (t - started < std::chrono::seconds(1) || t - lastLine < std::chrono::seconds(1)) return;
    lastLine = t;
    char line[64];
    std::snprintf(line, sizeof line, ": %.0f%%", static_cast<double>(fraction) * 100.0);
    sink(step + line);
}

void StepReporter::End()
{
    const std::chrono::duration<double> took = now() - started;
    if (took >= std::chrono::seconds(1))
    {
        char line[64];
        std::snprintf(line, sizeof line, ": done in %.1f s", took.count());
        sink(step + line);
    }
    step.clear();
}

namespace ProjectBuild
{
namespace
{
bool BuildFail(std::string& error, const std::string& file, const std::string& reason)
{
    error = file + ": " + reason;
    return false;
}

// A terrain name becomes part of file names: it must not lead out of the output folder.
bool IsSafeFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name.find('\0') == std::string::npos;
}

bool WriteObj(const std::string& path, const std::string& name, uint32_t width, uint32_t height,
              const std::vector<float>& positions, const std::vector<float>& texCoords,
              const std::vector<float>& normals, const std::vector<uint32_t>& indices, std::string& error)
{
    ObjMeshView view;
    if (!ObjWriter::MakeView(name, width, height, static_cast<uint32_t>(positions.size() / 3), positions,
                             texCoords, normals, static_cast<uint32_t>(indices.size()), indices, view))
        return BuildFail(error, path, "the mesh is incomplete");
    std::string reason;
    if (!ObjWriter::WriteFile(path, view, nullptr, &reason)) return BuildFail(error, path, reason);
    return true;
}

// The files of one terrain, in the order the Save Terrain dialog writes them.
bool WriteTerrainFiles(const TerrainRecord& terrain, const BuildOptions& options, const std::string& base,
                       StepReporter& reporter, std::string& error)
{
    reporter.Begin("Writing " + base + ".obj");
    if (!WriteObj(base + ".obj", terrain.name, terrain.width, terrain.height, terrain.positions,
                  terrain.texCoords, terrain.normals, terrain.indices, error))
        return false;
    reporter.End();
    if (terrain.waterPlaneBuilt)
    {
        const Water::PlaneMesh& plane = terrain.waterPlane;
        if (!WriteObj(base + "_water.obj", terrain.name + "_water", terrain.width, terrain.height,
                      plane.positions, plane.texCoords, plane.normals, plane.indices, error))
            return false;
    }
    if (options.imageFormat.empty()) return true;
    const std::pair<const char*, const ImageRecord*> images[] = {{"_heightmap", &terrain.heightmap},
                                                                 {"_diffuse", &terrain.diffuse},
                                                                 {"_normal", &terrain.normal},
                                                                 {"_specular", &terrain.specular}};
    for (const auto& [suffix, image] : images)
    {
        if (!image->Stored()) continue;
        const std::string path = base + suffix + options.imageFormat;
        std::string reason;
        if (!ImageFile::Save(path, image->width, image->height, image->channels, image->pixels.get(),
                             &reason))
            return BuildFail(error, path, reason);
    }
    return true;
}
} // namespace

bool ParseFormats(const std::string& list, BuildOptions& options, std::string* error)
{
    std::string exports;
    bool save = false;
    size_t start = 0;
    while (start <= list.size())
    {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, comma - start);
        if (name == "save")
            save = true;
        else
            exports += (exports.empty() ? "" : ",") + name;
        start = comma + 1;
    }
    uint32_t formats = 0;
    if (!exports.empty() && !ExportFormat::Parse(exports, formats, error)) return false;
    if (!save && formats == 0)
    {
        if (error) *error = "no format given";
        return false;
    }
    if (save && (formats & ExportFormat::Obj) != 0)
    {
        if (error) *error = "save and obj both write NAME.obj: write them into different --out folders";
        return false;
    }
    options.saveFiles = save;
    options.exports.formats = formats;
    return true;
}

bool ImageFormatFromName(const std::string& name, std::string& extension)
{
    for (const char* known : {"png", "tga", "jpg", "bmp"})
        if (name == known || name == std::string(".") + known)
        {
            extension = std::string(".") + known;
            return true;
        }
    if (name == "none")
    {
        extension.clear();
        return true;
    }
    return false;
}

Input KindOfInput(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".obj") return Input::TerrainObj;
    if (extension == ".png" || extension == ".r16" || extension == ".exr") return Input::Heightmap;
    return Input::Project;
}

bool ProjectFromTerrainFile(const std::string& path, Project& out, std::string& reason,
                            const std::function<bool(float)>& progress)
{
    // A heightmap's terrain records the flat grid its heights were added to.
    TerrainRecord record;
    if (KindOfInput(path) == Input::TerrainObj)
    {
        if (!TerrainObjFile::Read(path, record, &reason, progress)) return false;
    }
    else
    {
        // The Terrain from heightmap dialog's values.
        HeightImage::ImportOptions options;
        options.maxSide = kProjectMaxSide;
        HeightGrid grid;
        if (!HeightImage::ReadSquare(path, options, grid, &reason, progress))
        {
            // The caller names the file: the reason alone.
            const std::string named = "Cannot import heightmap " + path + ": ";
            if (reason.compare(0, named.size(), named) == 0) reason.erase(0, named.size());
            return false;
        }
        if (!TerrainRecord::FromHeights(grid.width, grid.height, grid.vertexDistance, grid.heights.data(),
                                        record))
        {
            reason = "its grid cannot be built";
            return false;
        }
        record.name = TerrainName::MakeSafe(std::filesystem::path(path).stem().string());
    }
    Project project;
    project.terrains.push_back(std::move(record));
    out = std::move(project);
    return true;
}

bool Run(const BuildOptions& options, std::string& error, StepReporter& reporter)
{
    Project project;
    std::string reason;
    reporter.Begin("Reading " + options.projectPath);
    const auto progress = [&](float fraction)
    {
        reporter.Progress(fraction);
        return true;
    };
    const bool opened = KindOfInput(options.projectPath) == Input::Project
                            ? ProjectFile::Open(options.projectPath, project, &reason, progress)
                            : ProjectFromTerrainFile(options.projectPath, project, reason, progress);
    if (!opened) return BuildFail(error, options.projectPath, reason);
    reporter.End();
    // A world's terrain is the tile the editor shows, with its window of the world's image layers.
    if (project.world) World::ToTileView(project.terrains[project.world->terrain], *project.world);

    // Which terrains, and whether their files can be told apart.
    std::vector<size_t> chosen;
    std::vector<std::string> notes;
    std::set<std::string> names;
    for (const std::string& wanted : options.terrains)
    {
        bool found = false;
        for (size_t t = 0; t < project.terrains.size() && !found; ++t)
            found = project.terrains[t].name == wanted;
        if (!found) return BuildFail(error, options.projectPath, "it holds no terrain named " + wanted);
    }
    for (size_t t = 0; t < project.terrains.size(); ++t)
    {
        const TerrainRecord& terrain = project.terrains[t];
        if (!options.terrains.empty() && std::find(options.terrains.begin(), options.terrains.end(),
                                                   terrain.name) == options.terrains.end())
            continue;
        if (terrain.Empty())
        {
            notes.push_back("Terrain " + std::to_string(t) + " (" + terrain.name +
                            ") is empty: nothing to write");
            continue;
        }
        if (!IsSafeFileName(terrain.name))
            return BuildFail(error, options.projectPath,
                             "terrain " + std::to_string(t) + " is named '" + terrain.name +
                                 "', which cannot be a file name in the output folder");
        if (!names.insert(terrain.name).second)
            return BuildFail(error, options.projectPath,
                             "two terrains are named " + terrain.name +
                                 ": their files would overwrite each other");
        chosen.push_back(t);
    }

    std::error_code code;
    std::filesystem::create_directories(options.outputFolder, code);
    if (code) return BuildFail(error, options.outputFolder, code.message());
    std::string folder = options.outputFolder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    for (const std::string& note : notes)
        reporter.Note(note);

    for (const size_t t : chosen)
    {
        TerrainRecord& terrain = project.terrains[t];
        reporter.Begin("Building terrain " + terrain.name);
        if (!terrain.Complete(&reason)) return BuildFail(error, options.projectPath, reason);
        reporter.End();
        if (options.saveFiles && !WriteTerrainFiles(terrain, options, folder + terrain.name, reporter, error))
            return false;
        if (options.exports.formats != 0)
        {
            ExportOptions exports = options.exports;
            exports.folder = options.outputFolder;
            exports.baseName = terrain.name;
            reporter.Begin("Exporting terrain " + terrain.name);
            const ExportProgress progress = [&reporter](float done, const std::string&)
            {
                reporter.Progress(done);
                return true;
            };
            if (!ExportTerrain(ExportInputOf(terrain), exports, progress, &error)) return false;
            reporter.End();
        }
    }
    return true;
}
} // namespace ProjectBuild
