#pragma once
// The File > New > Terrain from heightmap dialog's values and decisions; its widgets are in
// ExportDialogs.cpp.
#include "io/HeightImage.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class Terrain;
struct TerrainRecord;

struct HeightmapImportForm
{
    std::string path;
    std::string name;
    HeightImage::ImportOptions options;

    // The terrain name the dialog proposes for a file: its name without folder and extension.
    static std::string NameFromPath(const std::string& path);
    // Why "Create" cannot run yet (shown in red), or empty.
    std::string Problem(const std::vector<std::string>& existingNames) const;
    // Reads the file (no GL: a worker thread may run it). Refuses what HeightImage::Read refuses and
    // grids that are not square, as New Terrain does, with one message naming the file and the reason.
    // progress, when given, hears the share read and may return false to stop.
    bool Read(HeightGrid& grid, std::string& error, const std::function<bool(float)>& progress = {}) const;
    // The terrain's record from a grid that Read accepted (no GL: a worker thread may run it).
    static bool BuildRecord(const HeightGrid& grid, TerrainRecord& out);
};
