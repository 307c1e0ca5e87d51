#pragma once
// A terrain OBJ file (the editor's Save Terrain layout) read into a record, without GL: the reading
// half of Load Terrain, which a worker thread runs; the headless build reads terrain files the same way.
#include "terrain/TerrainRecord.h"

#include <functional>
#include <string>

namespace TerrainObjFile
{
// Reads and checks the file into out: the grid, the heights as the base of every later layer, the
// texture coordinates and triangles, named as the editor names it (the header's name made usable as
// a file name, TerrainName::MakeSafe, or the file's own). The normals and images are left to
// TerrainRecord::Derive. False, after logging the reason, when the file is refused; the reason is
// stored in error when it is given. progress hears the share read (0 to 0.9) and may stop the read
// ("reading was cancelled").
bool Read(const std::string& path, TerrainRecord& out, std::string* error = nullptr,
          const std::function<bool(float)>& progress = {});
} // namespace TerrainObjFile
