#include "io/TerrainObjFile.h"

#include "engine/LargeArrays.h"
#include "engine/Log.h"
#include "io/ObjReader.h"
#include "terrain/TerrainName.h"

#include <cmath>
#include <filesystem>

namespace TerrainObjFile
{
bool Read(const std::string& path, TerrainRecord& out, std::string* error,
          const std::function<bool(float)>& progress)
{
    ObjData data;
    // Only what the terrain keeps: the faces' other indices and the file's normals are checked, not stored.
    ObjReadOptions lean;
    lean.cornerSlots = false;
    lean.normals = false;
    // Reading is most of the work; the normals and pixels after it take the last tenth.
    const auto reading = [&progress](float done) { return !progress || progress(0.9f * done); };
    const ObjResult result = ObjReader::ReadTerrain(path, data, ObjReader::kReadChunkBytes, lean, reading);
    if (result.status == ObjStatus::Cancelled)
    {
        if (error) *error = result.reason;
        return false;
    }
    if (!result.Ok())
    {
        // The message the program has always given for these two; the error says which it was.
        if (result.status == ObjStatus::CannotOpen || result.status == ObjStatus::NoNormals)
            Log::Warn("Loading a mesh without normals.");
        Log::Error("Cannot load terrain file {}: {}", path, result.reason);
        if (error) *error = result.reason;
        return false;
    }

    // The reader checked the grid: W x H vertices with one texture coordinate each, and the triangles
    // of the W x H grid, so every index is inside the arrays.
    TerrainRecord a;
    // The name becomes part of file names when the terrain is saved: one plain file name, or the
    // file's own name when the header has none.
    a.name = TerrainName::MakeSafe(data.name, std::filesystem::path(path).stem().string());
    a.generator.fromFile = true;
    a.width = data.width;
    a.height = data.height;
    a.positions = std::move(data.positions);
    a.texCoords = std::move(data.texCoords);
    a.indices = std::move(data.positionIndices);
    for (uint32_t& index : a.indices)
        --index;
    a.gridIndices = TerrainGrid::IsGridIndices(a.indices, a.width, a.height); // as the editor writes them
    // The file's normals are not used: they are computed from the heights.
    // The grid spacing, so that a water plane built on this terrain lines up with it.
    a.vertexDistance = 1.0f;
    const float spacing = a.positions[3 * size_t(a.height)] - a.positions[0];
    if (std::isfinite(spacing) && spacing > 0.0f) a.vertexDistance = spacing;
    LargeArrays::Copy(a.basePositions, a.positions);
    const TerrainGrid::HeightRange range = TerrainGrid::Range(a.positions.data(), a.VertexCount());
    a.minHeight = range.min;
    a.maxHeight = range.max;
    if (progress && !progress(0.9f))
    {
        if (error) *error = "reading was cancelled";
        return false;
    }
    out = std::move(a);
    return true;
}
} // namespace TerrainObjFile
