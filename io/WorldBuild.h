#pragma once
// The headless build of a world's tiles (terrain/World.h): velmoran-build WORLD --tile X,Y builds one
// tile, --tiles all every tile in one process. For the world's terrain NAME, in the output folder:
//   NAME_world.json            the tile grid, sizes, vertex distance, placement and the height range
//   NAME_xX_yY.png  (+ .json)  16-bit greyscale heights spanning the world's range (png16)
//   NAME_xX_yY.r16  (+ .json)  the same values raw, little-endian (r16)
//   NAME_xX_yY.exr  (+ .json)  float heights (exr)
//   NAME_xX_yY.glb             the tile's mesh with its diffuse texture (glb)
//   NAME_xX_yY.inputs          the fingerprint of the inputs the tile's files were built from
// Images follow io/ImageLayout.h (columns along +x, rows along +z); tile x counts along +x, y along +z,
// and neighbours share their edge column or row. A tile whose files exist and whose .inputs file holds
// the fingerprint of the same inputs is skipped, so that a rerun finishes what a stopped one left.
#include "io/ProjectBuild.h"
#include "terrain/World.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct WorldBuildOptions
{
    std::string projectPath;
    std::string outputFolder;
    bool allTiles = false; // every tile, one after another; otherwise tileX, tileY
    uint32_t tileX = 0;
    uint32_t tileY = 0;
    uint32_t formats = 0; // ExportFormat flags: Png16, R16, Exr, Glb; 0 gives Png16 | R16
};

namespace WorldBuild
{
// The formats a world writes, of ExportFormat::Parse's names: png16, r16, exr, glb. False with the
// reason for another one.
bool ParseFormats(const std::string& list, uint32_t& formats, std::string* error);

// The files of tile (x, y) that the formats write, in the output folder, the .inputs file last.
std::vector<std::string> TileFiles(const std::string& folder, const std::string& name, uint32_t x, uint32_t y,
                                   uint32_t formats);

// NAME_world.json's text.
std::string WorldJson(const TerrainRecord& terrain, const WorldSettings& world, uint32_t formats);

struct Counts
{
    uint32_t built = 0;
    uint32_t skipped = 0;
};

// The world of a project file, checked (World::Check); false with one line naming the file and the reason.
bool OpenWorld(const std::string& path, Project& project, std::string& error,
               const std::function<bool(float)>& progress = {});

// Builds the chosen tiles. Each tile's outcome goes to the reporter's notes as "tile X,Y: built" or
// "tile X,Y: skipped (up to date)". Returns false with one line naming the file and the reason (the
// project, or the tile that failed) in error; tiles done before stay done.
bool Run(const WorldBuildOptions& options, std::string& error, StepReporter& reporter, Counts& counts);
} // namespace WorldBuild
