// The terrain's OBJ file: the GL side of io/ObjWriter and io/ObjReader.
#include "engine/LargeArrays.h"
#include "engine/Log.h"
#include "io/ObjReader.h"
#include "io/ObjWriter.h"
#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainGrid.h"
#include "terrain/TerrainName.h"

#include <GL/glew.h>

#include <cmath>
#include <filesystem>

bool Terrain::SaveAsObj(const std::string& path, std::string* error) const
{
    ObjMeshView view;
    if (vertexCount == 0 || !ObjWriter::MakeView(name, width, height, vertexCount, positions, texCoords,
                                                 normals, indexCount, indices, view))
    {
        Log::Error("{} cannot write {}: terrain {} has no mesh", "SaveAsObj", path, name);
        if (error) *error = "the terrain has no mesh";
        return false;
    }
    return ObjWriter::WriteFile(path, view, nullptr, error);
}

bool Terrain::LoadObj(const std::string& path, std::string* error)
{
    ObjData data;
    ObjResult result;
    // Only what the terrain keeps: the faces' other indices and the file's normals are checked, not stored.
    ObjReadOptions lean;
    lean.cornerSlots = false;
    lean.normals = false;
    if (!IsEmpty())
        result = {ObjStatus::Malformed, "the terrain to load into already holds a mesh"};
    else
        result = ObjReader::ReadTerrain(path, data, ObjReader::kReadChunkBytes, lean);
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
    name = TerrainName::MakeSafe(data.name, std::filesystem::path(path).stem().string());
    generatorRecord = GeneratorRecord{};
    generatorRecord.fromFile = true;
    width = data.width;
    height = data.height;
    vertexCount = width * height;
    positions = std::move(data.positions);
    texCoords = std::move(data.texCoords);
    indices = std::move(data.positionIndices);
    for (uint32_t& index : indices)
        --index;
    indexCount = static_cast<uint32_t>(indices.size());
    // The file's normals are not used: CreateTexturesAndNormals computes them from the heights.
    // The grid spacing, so that a water plane built on this terrain lines up with it.
    const float spacing = positions[3 * size_t(height)] - positions[0];
    if (std::isfinite(spacing) && spacing > 0.0f) vertexDistance = spacing;

    SetMesh(std::make_unique<MeshGeometry>());
    mesh->entries.assign(1, MeshEntry::Whole(indexCount));

    LargeArrays::Copy(basePositions, positions);
    const TerrainGrid::HeightRange range = TerrainGrid::Range(positions.data(), vertexCount);
    minHeight = range.min;
    maxHeight = range.max;
    // Textures, normals and the one upload of the mesh with its final arrays.
    CreateTexturesAndNormals();
    return true;
}
