#include "terrain/WaterPlane.h"

#include "render/Texture.h"
#include "terrain/Water.h"

Terrain::WaterPlane::WaterPlane(Terrain* terrain) : terrain(terrain)
{
    Water::PlaneMesh built;
    if (terrain != nullptr)
    {
        width = terrain->width;
        height = terrain->height;
        vertexDistance = terrain->vertexDistance;
        const size_t pixels = static_cast<size_t>(width) * height;
        const Texture* map = terrain->watermapTexture.get();
        if (pixels > 0 && map != nullptr && map->data && map->channels == 4 &&
            map->ByteSize() == 4 * pixels && terrain->positions.size() >= 3 * pixels)
            built = Water::BuildPlane(map->data.get(), terrain->positions.data(), width, height,
                                      vertexDistance, terrain->minHeight);
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
