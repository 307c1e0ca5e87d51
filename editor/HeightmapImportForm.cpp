#include "editor/HeightmapImportForm.h"

#include "editor/NewTerrainForm.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainRecord.h"

std::string HeightmapImportForm::NameFromPath(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

std::string HeightmapImportForm::Problem(const std::vector<std::string>& existingNames) const
{
    if (path.empty()) return "Enter a heightmap file (.png, .r16 or .exr).";
    // The New Terrain dialog's name rules and texts.
    NewTerrainForm names;
    names.name = name;
    return names.NameError(existingNames);
}

bool HeightmapImportForm::Read(HeightGrid& grid, std::string& error,
                               const std::function<bool(float)>& progress) const
{
    HeightImage::ImportOptions checked = options;
    checked.maxSide = NewTerrainForm::kMaxSide;
    return HeightImage::ReadSquare(path, checked, grid, &error, progress);
}

bool HeightmapImportForm::BuildRecord(const HeightGrid& grid, TerrainRecord& out)
{
    // Built as the OBJ loader builds a terrain: its grid, then the heights as the base of every later
    // layer; the textures and normals follow from them.
    return TerrainRecord::FromHeights(grid.width, grid.height, grid.vertexDistance, grid.heights.data(), out);
}
