// The terrain's OBJ file: the live terrain's side of io/ObjWriter and io/TerrainObjFile.
#include "engine/Log.h"
#include "io/ObjWriter.h"
#include "io/TerrainObjFile.h"
#include "terrain/Terrain.h"

#include <cmath>

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

bool Terrain::LoadObj(const std::string& path, std::string* error)
{
    if (!IsEmpty())
    {
        const std::string reason = "the terrain to load into already holds a mesh";
        Log::Error("Cannot load terrain file {}: {}", path, reason);
        if (error) *error = reason;
        return false;
    }
    TerrainRecord record;
    if (!TerrainObjFile::Read(path, record, error)) return false;
    // A file whose grid has no usable spacing keeps the terrain's vertex distance.
    const float spacing = record.positions[3 * size_t(record.height)] - record.positions[0];
    if (!std::isfinite(spacing) || spacing <= 0.0f) record.vertexDistance = vertexDistance;
    SetMesh(std::make_unique<MeshGeometry>());
    // Textures, normals and the one upload of the mesh with its final arrays.
    Adopt(std::move(record));
    return true;
}
