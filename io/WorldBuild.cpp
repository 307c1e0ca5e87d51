#include "io/WorldBuild.h"

#include "io/Export.h"
#include "io/FileBytes.h"
#include "io/HeightImage.h"
#include "io/ProjectFile.h"
#include "terrain/Project.h"
#include "terrain/World.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace WorldBuild
{
namespace
{
constexpr uint32_t kWorldFormats =
    ExportFormat::Png16 | ExportFormat::R16 | ExportFormat::Exr | ExportFormat::Glb;

bool TileFail(std::string& error, const std::string& file, const std::string& reason)
{
    error = file + ": " + reason;
    return false;
}

struct HeightFile
{
    uint32_t flag;
    const char* extension;
    HeightImage::Format format;
};
constexpr HeightFile kHeightFiles[] = {{ExportFormat::Png16, ".png", HeightImage::Format::Png16},
                                       {ExportFormat::R16, ".r16", HeightImage::Format::R16},
                                       {ExportFormat::Exr, ".exr", HeightImage::Format::Exr}};

std::string Folder(const std::string& folder)
{
    return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

std::string FingerprintText(uint64_t fingerprint)
{
    char text[32];
    std::snprintf(text, sizeof text, "%016" PRIx64 "\n", fingerprint);
    return text;
}

bool UpToDate(const std::vector<std::string>& files, const std::string& fingerprint)
{
    std::error_code code;
    for (const std::string& file : files)
        if (!std::filesystem::is_regular_file(file, code)) return false;
    std::vector<uint8_t> bytes;
    std::string reason;
    return FileBytes::Read(files.back(), 256, bytes, &reason) &&
           std::string(bytes.begin(), bytes.end()) == fingerprint;
}

bool WriteTile(const TerrainRecord& tile, uint32_t formats, float low, float high, const std::string& base,
               std::string& error)
{
    const HeightView heights{tile.width, tile.height, tile.vertexDistance, tile.positions.data() + 1, 3};
    for (const HeightFile& file : kHeightFiles)
        if ((formats & file.flag) != 0 &&
            !HeightImage::WriteInRange(base + file.extension, file.format, heights, low, high, &error))
            return false;
    if ((formats & ExportFormat::Glb) != 0)
    {
        ExportOptions exports;
        const std::filesystem::path path(base);
        exports.folder = path.parent_path().string();
        exports.baseName = path.filename().string();
        exports.formats = ExportFormat::Glb;
        if (!ExportTerrain(ExportInputOf(tile), exports, {}, &error)) return false;
    }
    return true;
}
} // namespace

bool ParseFormats(const std::string& list, uint32_t& formats, std::string* error)
{
    uint32_t parsed = 0;
    if (!ExportFormat::Parse(list, parsed, error)) return false;
    if ((parsed & ~kWorldFormats) != 0 || parsed == 0)
    {
        if (error != nullptr) *error = "a world's tiles are written as png16, r16, exr and glb";
        return false;
    }
    formats = parsed;
    return true;
}

std::vector<std::string> TileFiles(const std::string& folder, const std::string& name, uint32_t x, uint32_t y,
                                   uint32_t formats)
{
    const std::string base = Folder(folder) + World::TileName(name, x, y);
    std::vector<std::string> files;
    for (const HeightFile& file : kHeightFiles)
        if ((formats & file.flag) != 0)
        {
            files.push_back(base + file.extension);
            files.push_back(HeightImage::SidecarPath(base + file.extension));
        }
    if ((formats & ExportFormat::Glb) != 0) files.push_back(base + ".glb");
    files.push_back(base + ".inputs");
    return files;
}

std::string WorldJson(const TerrainRecord& terrain, const WorldSettings& world, uint32_t formats)
{
    float low = 0.0f, high = 0.0f;
    World::HeightRange(terrain, world, low, high);
    const float d = terrain.vertexDistance;
    const float extent = static_cast<float>(world.tileSize - 1) * d;
    nlohmann::ordered_json j;
    j["name"] = terrain.name;
    j["tilesX"] = world.tilesX;
    j["tilesY"] = world.tilesY;
    j["tileSize"] = world.tileSize;
    j["vertexDistance"] = d;
    j["tileExtent"] = extent;
    j["minHeight"] = low;
    j["maxHeight"] = high;
    j["heights"] = "height = minHeight + value / 65535 * (maxHeight - minHeight), the same for every tile";
    nlohmann::ordered_json files = nlohmann::ordered_json::object();
    const std::string pattern = terrain.name + "_x{x}_y{y}";
    for (const HeightFile& file : kHeightFiles)
        if ((formats & file.flag) != 0)
            files[file.format == HeightImage::Format::Png16 ? "png16"
                  : file.format == HeightImage::Format::R16 ? "r16"
                                                            : "exr"] = pattern + file.extension;
    if ((formats & ExportFormat::Glb) != 0) files["glb"] = pattern + ".glb";
    j["files"] = std::move(files);
    j["tiles"] = "x from 0 to tilesX - 1 along +x, y from 0 to tilesY - 1 along +z; neighbours share their "
                 "edge column or row";
    j["image"] = "tileSize x tileSize, columns along +x, rows along +z (the first row at the lowest z)";
    j["placement"] = "tile (x, y) spans x * tileExtent .. (x + 1) * tileExtent along x and y * tileExtent .. "
                     "(y + 1) * tileExtent along z from the world's first vertex; a tile's glb mesh is "
                     "centred on its own middle";
    j["originIndex"] = {world.originX, world.originY};
    j["overlap"] = world.overlap;
    return j.dump(2) + "\n";
}

bool OpenWorld(const std::string& path, Project& project, std::string& error,
               const std::function<bool(float)>& progress)
{
    std::string reason;
    if (!ProjectFile::Open(path, project, &reason, progress)) return TileFail(error, path, reason);
    if (!project.world) return TileFail(error, path, "it holds no world (a project made with New World)");
    const WorldSettings& world = *project.world;
    const TerrainRecord& terrain = project.terrains[world.terrain];
    if (!World::Check(world, terrain, &reason)) return TileFail(error, path, reason);
    if (terrain.name.empty() || terrain.name == "." || terrain.name == ".." ||
        terrain.name.find_first_of(std::string("/\\\0", 3)) != std::string::npos)
        return TileFail(error, path,
                        "the world's terrain is named '" + terrain.name +
                            "', which cannot start a file name");
    return true;
}

bool Run(const WorldBuildOptions& options, std::string& error, StepReporter& reporter, Counts& counts)
{
    Project project;
    std::string reason;
    reporter.Begin("Reading " + options.projectPath);
    if (!OpenWorld(options.projectPath, project, error,
                   [&](float fraction)
                   {
                       reporter.Progress(fraction);
                       return true;
                   }))
        return false;
    reporter.End();
    const WorldSettings& world = *project.world;
    const TerrainRecord& terrain = project.terrains[world.terrain];
    if (!options.allTiles && !World::CheckTile(world, options.tileX, options.tileY, &reason))
        return TileFail(error, options.projectPath, reason);
    const uint32_t formats = options.formats != 0 ? options.formats : ExportFormat::Png16 | ExportFormat::R16;

    std::error_code code;
    std::filesystem::create_directories(options.outputFolder, code);
    if (code) return TileFail(error, options.outputFolder, code.message());
    const std::string folder = Folder(options.outputFolder);

    // Every tile process writes the same text; it is written only when it differs from what is there.
    const std::string json = WorldJson(terrain, world, formats);
    const std::string jsonPath = folder + terrain.name + "_world.json";
    std::vector<uint8_t> old;
    if (!FileBytes::Read(jsonPath, 1 << 20, old, &reason) || std::string(old.begin(), old.end()) != json)
        if (!FileBytes::Write(jsonPath, json, &error)) return false;

    float low = 0.0f, high = 0.0f;
    World::HeightRange(terrain, world, low, high);
    const std::string optionsText = "formats " + std::to_string(formats);
    for (uint32_t y = 0; y < world.tilesY; ++y)
        for (uint32_t x = 0; x < world.tilesX; ++x)
        {
            if (!options.allTiles && (x != options.tileX || y != options.tileY)) continue;
            const std::string tileText = "tile " + std::to_string(x) + "," + std::to_string(y);
            const std::vector<std::string> files = TileFiles(folder, terrain.name, x, y, formats);
            const std::string fingerprint =
                FingerprintText(World::InputsFingerprint(terrain, world, x, y, optionsText));
            if (UpToDate(files, fingerprint))
            {
                ++counts.skipped;
                reporter.Note(tileText + ": skipped (up to date)");
                continue;
            }
            // A stale fingerprint goes first, so that a build stopped midway is never taken as done.
            std::filesystem::remove(files.back(), code);
            reporter.Begin("Building " + tileText);
            TerrainRecord tile;
            if (!World::BuildTile(terrain, world, x, y, tile, &reason,
                                  [&](float fraction)
                                  {
                                      reporter.Progress(fraction);
                                      return true;
                                  }))
                return TileFail(error, options.projectPath, tileText + ": " + reason);
            reporter.End();
            if (!WriteTile(tile, formats, low, high, folder + World::TileName(terrain.name, x, y), error) ||
                !FileBytes::Write(files.back(), fingerprint, &error))
            {
                error = tileText + ": " + error;
                return false;
            }
            ++counts.built;
            reporter.Note(tileText + ": built");
        }
    return true;
}
} // namespace WorldBuild
