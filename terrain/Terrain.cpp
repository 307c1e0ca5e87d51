#include "terrain/Terrain.h"

#include "engine/LargeArrays.h"
#include "engine/Log.h"
#include "render/Texture.h"
#include "terrain/Generators.h"
#include "terrain/Heightmap.h"
#include "terrain/Layers.h"
#include "terrain/TerrainGrid.h"
#include "terrain/WaterPlane.h"

#include <GL/glew.h>

// The algorithms live in TerrainGrid, Generators and Layers; these members call them and keep the
// GL side (mesh uploads and texture updates) in one place.

namespace
{
// The checks and arrays of Terrain::BuildMesh without the upload: the constructor uploads the mesh
// once, when its heights and normals are final. Normals are left empty unless flatNormals is set.
bool BuildGridArrays(Terrain& terrain, uint32_t width, uint32_t height, float vertexDistance,
                     bool flatNormals)
{
    terrain.width = width;
    terrain.height = height;
    terrain.minHeight = 0.0f;
    terrain.maxHeight = 0.0f;
    if (width == 0 || height == 0) return false;
    // The mesh counts and GL draw counts are 32-bit.
    const uint64_t indexTotal = (uint64_t{width} - 1) * (uint64_t{height} - 1) * 6;
    if (uint64_t{width} * height * 3 > UINT32_MAX || indexTotal > UINT32_MAX)
    {
        Log::Error("Terrain {} x {} is too large: its vertex or index count does not fit 32 bits.", width,
                   height);
        terrain.vertexCount = 0; // an empty terrain, whose counts hold no wrapped product
        terrain.indexCount = 0;
        return false;
    }

    terrain.vertexDistance = vertexDistance;
    terrain.vertexCount = width * height;
    if (flatNormals)
        TerrainGrid::BuildGrid(width, height, vertexDistance, terrain.positions, terrain.indices,
                               terrain.normals, terrain.texCoords);
    else
        TerrainGrid::BuildGrid(width, height, vertexDistance, terrain.positions, terrain.indices,
                               terrain.texCoords);
    terrain.indexCount = static_cast<uint32_t>(terrain.indices.size());

    // One material record; a texture shown already stays shown.
    const uint32_t shown = terrain.mesh->entries.empty() ? 0u : terrain.mesh->entries[0].texture;
    terrain.mesh->entries.assign(1, MeshEntry::Whole(terrain.indexCount, shown));
    return true;
}

// Diamond-square straight into the heights of a flat grid built by BuildGridArrays (all +0), then what
// AddHeights(heights, 1.0) and ShiftHeightsToZero do with them, without uploading; no scratch array.
bool DiamondSquareOnFlatGrid(Terrain& terrain, float range, float roughness)
{
    GeneratorRandom random;
    float* y = terrain.positions.data() + 1;
    if (!Generators::DiamondSquare(terrain.width, terrain.height, range, roughness, random, y, 3))
    {
        Log::Error("Diamond square needs a square grid of side 2^n + 1, not {} x {}: the terrain stays flat.",
                   terrain.width, terrain.height);
        return false;
    }
    TerrainGrid::HeightRange heights;
    const size_t count = terrain.vertexCount;
    for (size_t k = 0; k < count; ++k)
    {
        y[3 * k] = 0.0f + 1.0f * y[3 * k]; // the flat height plus the generated one, as AddHeights adds it
        heights.Add(y[3 * k]);
    }
    terrain.minHeight = heights.min;
    terrain.maxHeight = heights.max;
    terrain.ShiftHeightsToZero();
    return true;
}
} // namespace

Terrain::Terrain(uint32_t width, uint32_t height, float vertexDistance, Generator generator, float parameter1,
                 float parameter2, uint32_t iterations)
{
    this->width = width;
    this->height = height;
    vertexCount = width * height;
    indexCount = 0;
    this->vertexDistance = vertexDistance;
    maxHeight = -3.4028235e38f;
    minHeight = 3.4028235e38f;

    // The arrays are built and generated without uploads; CreateTexturesAndNormals computes the
    // normals and uploads the whole mesh once, so that no array is written or uploaded twice.
    switch (generator)
    {
    case Generator::Flat:
        BuildGridArrays(*this, width, height, vertexDistance, false);
        break;
    case Generator::DiamondSquare:
        if (width != height)
        {
            Log::Warn(
                "Terrain created with the diamond square algorithm cannot be of different width and height.");
            return;
        }
        if (!Generators::IsDiamondSquareSize(width, height))
            Log::Error(
                "Tried to generate diamond square with wrong diameters. Diameter = {} (Has to be 2^n + 1)",
                width);
        if (BuildGridArrays(*this, width, height, vertexDistance, false))
            DiamondSquareOnFlatGrid(*this, parameter1, parameter2);
        break;
    case Generator::RandomFault:
        if (BuildGridArrays(*this, width, height, vertexDistance, false))
        {
            GeneratorRandom random;
            std::vector<float> array;
            Generators::RandomFault(width, height, parameter1, parameter2, iterations, random, array);
            const TerrainGrid::HeightRange range =
                TerrainGrid::AddHeights(positions.data(), array.data(), vertexCount, 1.0f);
            minHeight = range.min;
            maxHeight = range.max;
            ShiftHeightsToZero();
        }
        break;
    }

    if (width == 0 || height == 0 || positions.empty()) return;
    LargeArrays::Copy(basePositions, positions);
    CreateTexturesAndNormals();
}

Terrain::~Terrain() = default;

void Terrain::CreateTexturesAndNormals()
{
    if (!heightmapTexture)
    {
        Log::Trace("Creating new terrain heightmap texture.");
        heightmapTexture =
            std::make_unique<Texture>(width, height, 1, CreateHeightmapBuffer(), false, GL_LINEAR);
        if (!mesh->entries.empty() && mesh->entries[0].texture == 0)
            mesh->entries[0].texture = heightmapTexture->id;
    }
    if (!watermapTexture)
    {
        Log::Trace("Creating new terrain watermap texture.");
        watermapTexture = std::make_unique<Texture>(width, height, 4, false, GL_NEAREST);
    }
    Log::Trace("Starting to recalculate vertex normals.");
    // The normals and the normal texture's pixels are written once, straight from the heights (no
    // flat normals or empty texture first), and the mesh goes to GL once with its final arrays.
    const size_t count = static_cast<size_t>(width) * height;
    std::unique_ptr<uint8_t[]> bytes = LargeArrays::UninitializedBytes(3 * count);
    TerrainGrid::VertexNormals(positions.data(), width, height, normals, bytes.get());
    mesh->UploadAll(vertexCount, indexCount, positions.data(), normals.data(), texCoords.data(),
                    indices.data());
    if (normalTexture)
        normalTexture->Update(std::move(bytes));
    else
        normalTexture = std::make_unique<Texture>(width, height, 3, std::move(bytes), false, GL_LINEAR);
    Log::Trace("Finished recalculating vertex normals.");
}

bool Terrain::BuildMesh(uint32_t width, uint32_t height, float vertexDistance)
{
    if (!BuildGridArrays(*this, width, height, vertexDistance, true)) return false;
    mesh->UploadAll(vertexCount, indexCount, positions.data(), normals.data(), texCoords.data(), indices.data());
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
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[3 * count]);
    TerrainGrid::VertexNormals(positions.data(), width, height, normals.data(), bytes.get());
    mesh->UpdateNormals(normals.data());

    if (!normalTexture)
    {
        Log::Debug("Creating new normal texture {}x{}", width, height);
        normalTexture = std::make_unique<Texture>(width, height, 3, false, GL_LINEAR);
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
    const bool fits = layer.data != nullptr && layer.width == width && layer.height == height &&
                      layer.channels >= 1 && layer.channels <= 4;
    if (!fits)
        Log::Warn("Layer {} skipped: its image is {} x {} with {} channels, the terrain is {} x {}.",
                  layer.name, layer.width, layer.height, layer.data != nullptr ? layer.channels : 0u, width,
                  height);
    return fits;
}

void Terrain::ApplyHeightmaps()
{
    const size_t count = static_cast<size_t>(width) * height;
    if (count == 0 || positions.size() < 3 * count || basePositions.size() < 3 * count) return;

    // All layers in one pass from the base heights: the same sums, in list order, as adding them
    // one after another.
    std::vector<Layers::LayerView> views;
    views.reserve(heightmaps.size());
    for (const std::shared_ptr<Heightmap>& layer : heightmaps)
        if (layer && LayerFits(*layer))
            views.push_back({layer->data.get(), layer->channels, layer->settings.power});
    const TerrainGrid::HeightRange range = Layers::ApplyLayers(basePositions.data(), positions.data(), width,
                                                               height, views.data(), views.size());
    minHeight = range.min;
    maxHeight = range.max;
    mesh->UpdateVertices(positions.data());

    if (heightmapTexture) heightmapTexture->Update(CreateHeightmapBuffer());
    RecalculateNormals();
}

void Terrain::ApplyHeightmap(const Heightmap& layer, float power)
{
    const size_t count = static_cast<size_t>(width) * height;
    if (count == 0 || positions.size() < 3 * count || !LayerFits(layer)) return;
    const Layers::LayerView view{layer.data.get(), layer.channels, power};
    const TerrainGrid::HeightRange range =
        Layers::ApplyLayers(positions.data(), positions.data(), width, height, &view, 1);
    minHeight = range.min;
    maxHeight = range.max;
    mesh->UpdateVertices(positions.data());
}
