#include "terrain/Terrain.h"

#include "engine/LargeArrays.h"
#include "engine/Log.h"
#include "engine/Parallel.h"
#include "render/Texture.h"
#include "terrain/Generators.h"
#include "terrain/Heightmap.h"
#include "terrain/LayerStack.h"
#include "terrain/Layers.h"
#include "terrain/TerrainArrays.h"
#include "terrain/TerrainGrid.h"
#include "terrain/WaterPlane.h"

#include <GL/glew.h>

#include <future>

// The algorithms live in TerrainGrid, Generators and Layers; these members call them and keep the
// GL side (mesh uploads and texture updates) in one place.

namespace
{
// The size checks of Terrain::BuildMesh: true when the grid's arrays can be built. Sets the sizes,
// the flat height range and, for an accepted grid, the vertex distance and count.
bool AcceptGrid(Terrain& terrain, uint32_t width, uint32_t height, float vertexDistance)
{
    terrain.width = width;
    terrain.height = height;
    terrain.minHeight = 0.0f;
    terrain.maxHeight = 0.0f;
    if (width == 0 || height == 0) return false;
    if (!GridCountsFit(width, height)) // the mesh counts and GL draw counts are 32-bit
    {
        terrain.vertexCount = 0; // an empty terrain, whose counts hold no wrapped product
        terrain.indexCount = 0;
        return false;
    }
    terrain.vertexDistance = vertexDistance;
    terrain.vertexCount = width * height;
    return true;
}

// One material record over the whole index list; a texture shown already stays shown.
void SetWholeMeshEntry(Terrain& terrain)
{
    terrain.indexCount = static_cast<uint32_t>(terrain.indices.size());
    const uint32_t shown = terrain.mesh->entries.empty() ? 0u : terrain.mesh->entries[0].texture;
    terrain.mesh->entries.assign(1, MeshEntry::Whole(terrain.indexCount, shown));
}

// Runs work on a thread of its own when there is a second core, otherwise when waited for; get()
// waits and passes its exception on (and the future's destructor waits too).
template <typename Work> std::future<void> Beside(Work work)
{
    return std::async(Parallel::ThreadCount() > 1 ? std::launch::async : std::launch::deferred,
                      std::move(work));
}
} // namespace

// The CPU step (TerrainArrays::Generate: the grid, the generator, the shift to zero, every array
// written once) and the GL step (the textures, the normals computed beside the uploads, and the
// whole mesh uploaded once).
Terrain::Terrain(uint32_t width, uint32_t height, float vertexDistance, Generator generator, float parameter1,
                 float parameter2, uint32_t iterations)
    : Terrain(TerrainArrays::Generate(width, height, vertexDistance, generator, parameter1, parameter2,
                                      iterations))
{
}

Terrain::Terrain(TerrainArrays&& arrays)
{
    Adopt(std::move(arrays));
}

Terrain::~Terrain() = default;

void Terrain::Adopt(TerrainArrays&& arrays)
{
    std::unique_ptr<uint8_t[]> heightmapPixels;
    std::unique_ptr<uint8_t[]> normalPixels;
    if (TakeArrays(std::move(arrays), heightmapPixels, normalPixels))
        CreateTexturesAndNormals(std::move(heightmapPixels), std::move(normalPixels));
}

bool Terrain::TakeArrays(TerrainArrays&& arrays, std::unique_ptr<uint8_t[]>& heightmapPixels,
                         std::unique_ptr<uint8_t[]>& normalPixels)
{
    width = arrays.width;
    height = arrays.height;
    vertexCount = arrays.vertexCount;
    indexCount = arrays.indexCount;
    vertexDistance = arrays.vertexDistance;
    minHeight = arrays.minHeight;
    maxHeight = arrays.maxHeight;
    generatorRecord = arrays.generatorRecord;
    if (!arrays.hasGrid) return false;
    positions = std::move(arrays.positions);
    basePositions = std::move(arrays.basePositions);
    indices = std::move(arrays.indices);
    texCoords = std::move(arrays.texCoords);
    heightmapPixels = std::move(arrays.heightmapPixels);
    if (arrays.normalPixels && arrays.normals.size() == positions.size())
    {
        normals = std::move(arrays.normals);
        normalPixels = std::move(arrays.normalPixels);
    }
    SetWholeMeshEntry(*this);
    return true;
}

void Terrain::CreateTexturesAndNormals(std::unique_ptr<uint8_t[]> heightBytes,
                                       std::unique_ptr<uint8_t[]> normalBytes)
{
    // The heightmap pixels, the normals and the normal texture's pixels (unless they were computed
    // ahead) are computed beside the uploads of the texture coordinates, triangles and positions;
    // each array is written once (no flat normals or empty normal texture first) and the mesh goes
    // to GL once with its final arrays. The messages keep their order.
    const size_t count = static_cast<size_t>(width) * height;
    const bool needHeightmap = !heightmapTexture;
    const bool computeHeightmap = needHeightmap && !heightBytes;
    const bool computeNormals = !normalBytes;
    std::future<void> derived;
    if (computeHeightmap || computeNormals)
        derived = Beside(
            [&]
            {
                if (computeHeightmap) heightBytes = CreateHeightmapBuffer();
                if (computeNormals)
                {
                    normalBytes = LargeArrays::UninitializedBytes(3 * count);
                    TerrainGrid::VertexNormals(positions.data(), width, height, normals, normalBytes.get());
                }
            });
    mesh->vertexCount = vertexCount;
    mesh->indexCount = indexCount;
    mesh->UpdateTexCoords(texCoords.data());
    mesh->UpdateIndices(indices.data());
    mesh->UpdateVertices(positions.data());
    if (derived.valid()) derived.get();

    if (needHeightmap)
    {
        Log::Trace("Creating new terrain heightmap texture.");
        heightmapTexture = std::make_unique<Texture>(ImageWidth(), ImageHeight(), 1, std::move(heightBytes),
                                                     false, GL_LINEAR);
        if (!mesh->entries.empty() && mesh->entries[0].texture == 0)
            mesh->entries[0].texture = heightmapTexture->id;
    }
    if (!watermapTexture)
    {
        Log::Trace("Creating new terrain watermap texture.");
        watermapTexture = std::make_unique<Texture>(ImageWidth(), ImageHeight(), 4, false, GL_NEAREST);
    }
    Log::Trace("Starting to recalculate vertex normals.");
    mesh->UpdateNormals(normals.data());
    if (normalTexture)
        normalTexture->Update(std::move(normalBytes));
    else
        normalTexture = std::make_unique<Texture>(ImageWidth(), ImageHeight(), 3, std::move(normalBytes),
                                                  false, GL_LINEAR);
    Log::Trace("Finished recalculating vertex normals.");
}

bool Terrain::BuildMesh(uint32_t width, uint32_t height, float vertexDistance)
{
    if (!AcceptGrid(*this, width, height, vertexDistance)) return false;
    TerrainGrid::BuildGrid(width, height, vertexDistance, positions, indices, normals, texCoords);
    SetWholeMeshEntry(*this);
    mesh->UploadAll(vertexCount, indexCount, positions.data(), normals.data(), texCoords.data(),
                    indices.data());
    return true;
}

std::unique_ptr<uint8_t[]> Terrain::CreateHeightmapBuffer() const
{
    const size_t count = static_cast<size_t>(width) * height;
    if (positions.size() < 3 * count) return std::unique_ptr<uint8_t[]>(new uint8_t[count]());
    std::unique_ptr<uint8_t[]> buffer = LargeArrays::UninitializedBytes(count); // every byte written below
    TerrainGrid::HeightmapBytes(positions.data(), count, minHeight, maxHeight, buffer.get());
    return buffer;
}

void Terrain::RecalculateNormals()
{
    const size_t count = static_cast<size_t>(width) * height;
    if (count == 0 || positions.size() < 3 * count) return;
    normals.resize(3 * count);
    std::unique_ptr<uint8_t[]> bytes = LargeArrays::UninitializedBytes(3 * count);
    TerrainGrid::VertexNormals(positions.data(), width, height, normals.data(), bytes.get());
    mesh->UpdateNormals(normals.data());

    if (!normalTexture)
    {
        Log::Debug("Creating new normal texture {}x{}", width, height);
        normalTexture = std::make_unique<Texture>(ImageWidth(), ImageHeight(), 3, false, GL_LINEAR);
    }
    normalTexture->Update(std::move(bytes));
}

void Terrain::TriangleNormal(float out[3], uint32_t a, uint32_t b, uint32_t c) const
{
    TerrainGrid::TriangleNormal(&positions[3 * size_t{a}], &positions[3 * size_t{b}],
                                &positions[3 * size_t{c}], out);
}

void Terrain::AddHeights(const float* array, float scale)
{
    // A refused diamond-square request keeps its sizes but has no arrays to add to.
    if (positions.size() < 3 * size_t{vertexCount}) return;
    const TerrainGrid::HeightRange range =
        TerrainGrid::AddHeights(positions.data(), array, vertexCount, scale);
    minHeight = range.min;
    maxHeight = range.max;
    mesh->UpdateVertices(positions.data());
}

void Terrain::ShiftHeightsToZero()
{
    if (positions.size() < 3 * size_t{vertexCount}) return;
    TerrainGrid::ShiftHeights(positions.data(), vertexCount, minHeight);
    maxHeight -= minHeight;
    minHeight = 0.0f;
}

void Terrain::SetDisplayTexture(const Texture* texture)
{
    if (mesh->entries.empty()) return;
    mesh->entries[0].texture = texture != nullptr ? texture->id : 0u;
}

bool Terrain::GenerateDiamondSquare(float range, float roughness)
{
    GeneratorRandom random;
    return GenerateDiamondSquare(range, roughness, random);
}

bool Terrain::GenerateDiamondSquare(float range, float roughness, GeneratorRandom& random)
{
    generatorRecord = {Generator::DiamondSquare, range, roughness, 0, random.seed, false};
    if (positions.empty()) return false;
    std::vector<float> heights;
    if (!Generators::DiamondSquare(width, height, range, roughness, random, heights))
    {
        Log::Error("Diamond square needs a square grid of side 2^n + 1, not {} x {}: the terrain stays flat.",
                   width, height);
        return false;
    }
    AddHeights(heights.data(), 1.0f);
    ShiftHeightsToZero();
    mesh->UpdateVertices(positions.data()); // the drawn mesh follows the shift
    return true;
}

float Terrain::CalculateSquare(float* heights, int32_t x, int32_t y, uint32_t distance, float offset)
{
    return Generators::CalculateSquare(heights, width, height, x, y, distance, offset);
}

bool Terrain::GenerateRandomFault(float range, float roughness, uint32_t iterations)
{
    GeneratorRandom random;
    return GenerateRandomFault(range, roughness, iterations, random);
}

bool Terrain::GenerateRandomFault(float range, float roughness, uint32_t iterations, GeneratorRandom& random)
{
    generatorRecord = {Generator::RandomFault, range, roughness, iterations, random.seed, false};
    if (positions.empty()) return false;
    std::vector<float> array;
    Generators::RandomFault(width, height, range, roughness, iterations, random, array);
    AddHeights(array.data(), 1.0f);
    ShiftHeightsToZero();
    mesh->UpdateVertices(positions.data()); // the drawn mesh follows the shift
    return true;
}

bool Terrain::LayerFits(const Heightmap& layer) const
{
    const bool fits = layer.data != nullptr && layer.width == ImageWidth() && layer.height == ImageHeight() &&
                      layer.channels >= 1 && layer.channels <= 4;
    if (!fits)
        Log::Warn(
            "Layer {} skipped: its image is {} x {} with {} channels, the terrain's images are {} x {}.",
            layer.name, layer.width, layer.height, layer.data != nullptr ? layer.channels : 0u, ImageWidth(),
            ImageHeight());
    return fits;
}

namespace
{
bool ApplyStack(const Terrain& terrain, float* out, TerrainGrid::HeightRange& range, LayerStack::CacheUse use,
                const LayerStack::ApplyProgress& progress = {})
{
    std::vector<LayerStack::Entry> entries;
    entries.reserve(terrain.heightmaps.size());
    for (const std::shared_ptr<Terrain::Heightmap>& layer : terrain.heightmaps)
    {
        if (!layer) continue;
        if (layer->isErosion)
            entries.push_back(LayerStack::Entry::Erode(layer->settings.erosion, &layer->erosionCache));
        else if (terrain.LayerFits(*layer))
        {
            const bool smooth = layer->settings.smoothHeights && !layer->isTexture && layer->channels == 1 &&
                                layer->smoothLevels.size() == size_t{terrain.width} * terrain.height;
            entries.push_back(
                LayerStack::Entry::Add({layer->data.get(), layer->channels, layer->settings.power,
                                        smooth ? layer->smoothLevels.data() : nullptr}));
        }
    }
    return LayerStack::Apply(terrain.basePositions.data(), out, terrain.width, terrain.height,
                             terrain.vertexDistance, entries.data(), entries.size(), range, use, progress);
}
} // namespace

void Terrain::ApplyHeightmaps()
{
    const size_t count = static_cast<size_t>(width) * height;
    if (count == 0 || positions.size() < 3 * count || basePositions.size() < 3 * count) return;

    TerrainGrid::HeightRange range;
    ApplyStack(*this, positions.data(), range, LayerStack::CacheUse::Run);
    minHeight = range.min;
    maxHeight = range.max;
    mesh->UpdateVertices(positions.data());
    for (const std::shared_ptr<Heightmap>& layer : heightmaps)
        if (layer) layer->ShowErosionMask();

    if (heightmapTexture) heightmapTexture->Update(CreateHeightmapBuffer());
    RecalculateNormals();
}

bool Terrain::LayerHeights(LayeredHeights& out,
                           const std::function<bool(size_t entry, float fraction)>& progress) const
{
    const size_t count = static_cast<size_t>(width) * height;
    if (count == 0 || positions.size() < 3 * count || basePositions.size() < 3 * count) return false;
    std::vector<float> layered(3 * count);
    TerrainGrid::HeightRange range;
    if (!ApplyStack(*this, layered.data(), range, LayerStack::CacheUse::Run, progress)) return false;
    out.positions = std::move(layered);
    out.minHeight = range.min;
    out.maxHeight = range.max;
    out.heightmapPixels = LargeArrays::UninitializedBytes(count); // every byte written below
    TerrainGrid::HeightmapBytes(out.positions.data(), count, range.min, range.max, out.heightmapPixels.get());
    out.normalPixels = LargeArrays::UninitializedBytes(3 * count);
    TerrainGrid::VertexNormals(out.positions.data(), width, height, out.normals, out.normalPixels.get());
    return true;
}

void Terrain::TakeLayerHeights(LayeredHeights&& in)
{
    const size_t count = static_cast<size_t>(width) * height;
    if (count == 0 || in.positions.size() != 3 * count || in.normals.size() != 3 * count) return;
    // As ApplyHeightmaps leaves the terrain: heights, range, masks, heightmap texture, normals.
    positions = std::move(in.positions);
    minHeight = in.minHeight;
    maxHeight = in.maxHeight;
    mesh->UpdateVertices(positions.data());
    for (const std::shared_ptr<Heightmap>& layer : heightmaps)
        if (layer) layer->ShowErosionMask();
    if (heightmapTexture) heightmapTexture->Update(std::move(in.heightmapPixels));
    normals = std::move(in.normals);
    mesh->UpdateNormals(normals.data());
    if (!normalTexture)
    {
        Log::Debug("Creating new normal texture {}x{}", width, height);
        normalTexture = std::make_unique<Texture>(ImageWidth(), ImageHeight(), 3, false, GL_LINEAR);
    }
    normalTexture->Update(std::move(in.normalPixels));
}

bool Terrain::HasErosion() const
{
    for (const std::shared_ptr<Heightmap>& layer : heightmaps)
        if (layer && layer->isErosion) return true;
    return false;
}

bool Terrain::LayeredPositions(std::vector<float>& out, bool cachedOnly) const
{
    const size_t count = static_cast<size_t>(width) * height;
    if (count == 0 || basePositions.size() < 3 * count) return false;
    out.resize(3 * count);
    TerrainGrid::HeightRange range;
    return ApplyStack(*this, out.data(), range,
                      cachedOnly ? LayerStack::CacheUse::CachedOnly : LayerStack::CacheUse::Run);
}

void Terrain::ApplyHeightmap(const Heightmap& layer, float power)
{
    const size_t count = static_cast<size_t>(width) * height;
    if (count == 0 || positions.size() < 3 * count || layer.isErosion || !LayerFits(layer)) return;
    const bool smooth = layer.settings.smoothHeights && !layer.isTexture && layer.channels == 1 &&
                        layer.smoothLevels.size() == count;
    const Layers::LayerView view{layer.data.get(), layer.channels, power,
                                 smooth ? layer.smoothLevels.data() : nullptr};
    const TerrainGrid::HeightRange range =
        Layers::ApplyLayers(positions.data(), positions.data(), width, height, &view, 1);
    minHeight = range.min;
    maxHeight = range.max;
    mesh->UpdateVertices(positions.data());
}
