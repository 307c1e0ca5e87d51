// The terrain's OBJ file: the GL side of io/ObjWriter and io/ObjReader.
#include "engine/LargeArrays.h"
#include "engine/Log.h"
#include "io/ObjReader.h"
#include "io/ObjWriter.h"
#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainArrays.h"
#include "terrain/TerrainGrid.h"
#include "terrain/TerrainName.h"

#include <GL/glew.h>

#include <cmath>
#include <filesystem>

bool Terrain::SaveAsObj(const std::string& path, std::string* error) const
{
    return SaveAsObj(path, error, {});
}

bool Terrain::SaveAsObj(const std::string& path, std::string* error,
                        const std::function<bool(float)>& progress) const
{
    ObjMeshView view;
    if (vertexCount == 0 || !ObjWriter::MakeView(name, width, height, vertexCount, positions, texCoords,
                                                 normals, indexCount, indices, view))
    {
        Log::Error("{} cannot write {}: terrain {} has no mesh", "SaveAsObj", path, name);
        if (error) *error = "the terrain has no mesh";
        return false;
    }
    return ObjWriter::WriteFile(path, view, nullptr, error, progress);
}

bool Terrain::ReadObj(const std::string& path, TerrainArrays& out, std::string& loadedName,
                      std::string* error, const std::function<bool(float)>& progress)
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
    // The name becomes part of file names when the terrain is saved: one plain file name, or the
    // file's own name when the header has none.
    loadedName = TerrainName::MakeSafe(data.name, std::filesystem::path(path).stem().string());
    TerrainArrays a;
    a.generatorRecord.fromFile = true;
    a.width = data.width;
    a.height = data.height;
    a.vertexCount = a.width * a.height;
    a.positions = std::move(data.positions);
    a.texCoords = std::move(data.texCoords);
    a.indices = std::move(data.positionIndices);
    for (uint32_t& index : a.indices)
        --index;
    a.indexCount = static_cast<uint32_t>(a.indices.size());
    a.gridIndices = TerrainGrid::IsGridIndices(a.indices, a.width, a.height); // as the editor writes them
    // The file's normals are not used: they are computed from the heights.
    // The grid spacing, so that a water plane built on this terrain lines up with it.
    a.vertexDistance = 1.0f;
    const float spacing = a.positions[3 * size_t(a.height)] - a.positions[0];
    if (std::isfinite(spacing) && spacing > 0.0f) a.vertexDistance = spacing;
    LargeArrays::Copy(a.basePositions, a.positions);
    const TerrainGrid::HeightRange range = TerrainGrid::Range(a.positions.data(), a.vertexCount);
    a.minHeight = range.min;
    a.maxHeight = range.max;
    a.hasGrid = true;
    if (progress && !progress(0.9f))
    {
        if (error) *error = "reading was cancelled";
        return false;
    }
    out = std::move(a);
    return true;
}

bool Terrain::LoadObj(const std::string& path, std::string* error)
{
    if (!IsEmpty())
    {
        const std::string reason = "the terrain to load into already holds a mesh";
        Log::Error("Cannot load terrain file {}: {}", path, reason);
        if (error) *error = reason;
        return false;
    }
    TerrainArrays arrays;
    std::string loadedName;
    if (!ReadObj(path, arrays, loadedName, error)) return false;
    // A file whose grid has no usable spacing keeps the terrain's vertex distance.
    const float spacing = arrays.positions[3 * size_t(arrays.height)] - arrays.positions[0];
    if (!std::isfinite(spacing) || spacing <= 0.0f) arrays.vertexDistance = vertexDistance;
    name = loadedName;
    SetMesh(std::make_unique<MeshGeometry>());
    // Textures, normals and the one upload of the mesh with its final arrays.
    Adopt(std::move(arrays));
    return true;
}
