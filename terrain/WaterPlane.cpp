#include "terrain/WaterPlane.h"

#include "render/Texture.h"
#include "terrain/Water.h"

namespace
{
Water::PlaneMesh PlaneOf(const Terrain* terrain)
{
    Water::PlaneMesh built;
    if (terrain == nullptr) return built;
    const size_t pixels = static_cast<size_t>(terrain->width) * terrain->height;
    const Texture* map = terrain->watermapTexture.get();
    if (pixels > 0 && map != nullptr && map->data && map->channels == 4 && map->ByteSize() == 4 * pixels &&
        terrain->positions.size() >= 3 * pixels)
        built = Water::BuildPlane(map->data.get(), terrain->positions.data(), terrain->width, terrain->height,
                                  terrain->vertexDistance, terrain->minHeight);
    return built;
}
} // namespace

Terrain::WaterPlane::WaterPlane(Terrain* terrain) : WaterPlane(terrain, PlaneOf(terrain)) {}

Terrain::WaterPlane::WaterPlane(Terrain* terrain, Water::PlaneMesh&& built) : terrain(terrain)
{
    if (terrain != nullptr)
    {
        width = terrain->width;
        height = terrain->height;
        vertexDistance = terrain->vertexDistance;
    }
    if (built.normals.size() != built.positions.size())
    {
        built.normals.assign(built.positions.size(), 0.0f);
        for (size_t v = 1; v < built.normals.size(); v += 3)
            built.normals[v] = 1.0f;
    }
    vertexCount = static_cast<uint32_t>(built.positions.size() / 3);
    indexCount = static_cast<uint32_t>(built.indices.size());

    mesh->entries.assign(1, MeshEntry::Whole(indexCount));
    mesh->UploadAll(vertexCount, indexCount, built.positions.data(), built.normals.data(),
                    built.texCoords.data(), built.indices.data());

    // Kept for the OBJ export.
    positions = std::move(built.positions);
    normals = std::move(built.normals);
    texCoords = std::move(built.texCoords);
    indices = std::move(built.indices);
}

Terrain::WaterPlane::~WaterPlane() = default;
