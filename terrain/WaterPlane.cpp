#include "terrain/WaterPlane.h"

#include "render/Texture.h"
#include "terrain/Water.h"

namespace
{
// Uploads of an empty plane still need an array: a null one is refused as a caller's mistake.
template <typename T> const T* NonNull(const std::vector<T>& values)
{
    static const T kNone[3]{};
    return values.empty() ? kNone : values.data();
}
} // namespace

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
        if (pixels > 0 && map != nullptr && map->data && map->channels == 4 && map->ByteSize() == 4 * pixels &&
            terrain->positions.size() >= 3 * pixels)
            built = Water::BuildPlane(map->data.get(), terrain->positions.data(), width, height, vertexDistance,
                                      terrain->minHeight);
    }
    vertexCount = static_cast<uint32_t>(built.positions.size() / 3);
    indexCount = static_cast<uint32_t>(built.indices.size());

    MeshEntry entry;
    entry.ambient = glm::vec3(1.0f);
    entry.diffuse = glm::vec3(1.0f);
    entry.specular = glm::vec3(0.1f);
    entry.shininess = 1.0f;
    entry.indexCount = indexCount;
    entry.firstIndex = 0;
    entry.baseVertex = 0;
    mesh->entries.assign(1, entry);
    mesh->vertexCount = vertexCount;
    mesh->indexCount = indexCount;
    mesh->UpdateVertices(NonNull(built.positions));
    mesh->UpdateNormals(NonNull(built.normals));
    mesh->UpdateTexCoords(NonNull(built.texCoords));
    mesh->UpdateIndices(NonNull(built.indices));

    // Kept for the OBJ export.
    positions = std::move(built.positions);
    normals = std::move(built.normals);
    texCoords = std::move(built.texCoords);
    indices = std::move(built.indices);
}

Terrain::WaterPlane::~WaterPlane() = default;
