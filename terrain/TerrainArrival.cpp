#include "terrain/TerrainArrival.h"

#include "engine/LargeArrays.h"
#include "engine/Log.h"
#include "render/Texture.h"
#include "terrain/TerrainGrid.h"

#include <GL/glew.h>

#include <algorithm>
#include <chrono>

TerrainArrival::TerrainArrival(TerrainRecord&& made)
    : terrain(std::make_shared<Terrain>(0, 0, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0)),
      record(std::move(made))
{
}

TerrainArrival::~TerrainArrival() = default;

float TerrainArrival::Fraction() const
{
    if (part == Part::Done) return 1.0f;
    return totalBytes == 0 ? 0.0f : static_cast<float>(static_cast<double>(sentBytes) / totalBytes);
}

bool TerrainArrival::Continue(double seconds)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    bool worked = false;
    while (part != Part::Done)
    {
        const Part next = static_cast<Part>(static_cast<int>(part) + 1);
        if (part == Part::Start || partComplete)
        {
            // Starting a part allocates its whole GL storage in one call, which can take as long as
            // a frame's share: it opens a call, so that it never follows a full share of slices.
            if (worked) break;
            part = next;
            partComplete = false;
            BeginPart();
        }
        else if ((partComplete = SendSlice()) && next == Part::Done)
        {
            part = Part::Done; // nothing left to allocate: the terrain is complete now
            BeginPart();
        }
        worked = true;
        if (std::chrono::duration<double>(Clock::now() - start).count() >= seconds) break;
    }
    return part == Part::Done;
}

size_t TerrainArrival::PartBytes(Part which) const
{
    const MeshGeometry& mesh = *terrain->mesh;
    const size_t count = size_t{terrain->width} * terrain->height;
    switch (which)
    {
    case Part::TexCoords:
        return mesh.ArrayBytes(MeshGeometry::Array::TexCoords);
    case Part::Indices:
        return mesh.ArrayBytes(MeshGeometry::Array::Indices);
    case Part::Positions:
        return mesh.ArrayBytes(MeshGeometry::Array::Positions);
    case Part::Normals:
        return mesh.ArrayBytes(MeshGeometry::Array::Normals);
    case Part::HeightmapTexture:
        return count;
    case Part::WatermapTexture:
        return 4 * count;
    case Part::NormalTexture:
        return 3 * count;
    case Part::Start:
    case Part::Done:
        break;
    }
    return 0;
}

void TerrainArrival::BeginPart()
{
    Terrain& t = *terrain;
    partSent = 0;
    texture = nullptr;
    switch (part)
    {
    case Part::Start:
        break;
    case Part::TexCoords:
    {
        const bool gridIndices = record.gridIndices;
        hasGrid = t.TakeRecord(record);
        if (!hasGrid)
        {
            part = Part::Done; // only the sizes, as Adopt leaves such a terrain
            record = TerrainRecord();
            return;
        }
        const size_t count = size_t{t.width} * t.height;
        if (record.heightmap.FitsGrid(t.width, t.height, 1))
            heightmapPixels = std::move(record.heightmap.pixels);
        if (record.normal.FitsGrid(t.width, t.height, 3) && t.normals.size() == 3 * count)
            normalPixels = std::move(record.normal.pixels);
        if (!heightmapPixels) heightmapPixels = t.CreateHeightmapBuffer();
        if (!normalPixels)
        {
            // A record without its derived parts: computed here, in one go.
            normalPixels = LargeArrays::UninitializedBytes(3 * count);
            TerrainGrid::VertexNormals(t.positions.data(), t.width, t.height, t.normals, normalPixels.get());
        }
        t.mesh->vertexCount = t.vertexCount;
        t.mesh->indexCount = t.indexCount;
        if (gridIndices && count >= rowIndicesFrom && t.width >= 2 && t.height >= 2)
        {
            // Cell (i, j) is cell (0, j) moved by i * height vertices: GL gets the first row of cells,
            // drawn once per row. The terrain keeps its whole list.
            const uint32_t row = 6 * (t.height - 1);
            t.mesh->indexCount = row;
            MeshEntry& entry = t.mesh->entries.at(0);
            entry.indexCount = row;
            entry.repeat = t.width - 1;
            entry.repeatStride = static_cast<int32_t>(t.height);
        }
        totalBytes = 0;
        for (Part p = Part::TexCoords; p != Part::Done; p = static_cast<Part>(static_cast<int>(p) + 1))
            totalBytes += PartBytes(p);
        t.mesh->AllocateArray(MeshGeometry::Array::TexCoords);
        break;
    }
    case Part::Indices:
        t.mesh->AllocateArray(MeshGeometry::Array::Indices);
        break;
    case Part::Positions:
        t.mesh->AllocateArray(MeshGeometry::Array::Positions);
        break;
    case Part::HeightmapTexture:
        Log::Trace("Creating new terrain heightmap texture.");
        t.heightmapTexture = std::make_unique<Texture>(
            t.ImageWidth(), t.ImageHeight(), 1, std::move(heightmapPixels), GL_LINEAR, Texture::Deferred{});
        if (!t.mesh->entries.empty() && t.mesh->entries[0].texture == 0)
            t.mesh->entries[0].texture = t.heightmapTexture->id;
        texture = t.heightmapTexture.get();
        break;
    case Part::WatermapTexture:
        Log::Trace("Creating new terrain watermap texture.");
        t.watermapTexture = std::make_unique<Texture>(
            t.ImageWidth(), t.ImageHeight(), 4,
            record.watermap.FitsGrid(t.width, t.height, 4) ? std::move(record.watermap.pixels) : nullptr,
            GL_NEAREST, Texture::Deferred{});
        texture = t.watermapTexture.get();
        break;
    case Part::Normals:
        Log::Trace("Starting to recalculate vertex normals.");
        t.mesh->AllocateArray(MeshGeometry::Array::Normals);
        break;
    case Part::NormalTexture:
        t.normalTexture = std::make_unique<Texture>(t.ImageWidth(), t.ImageHeight(), 3,
                                                    std::move(normalPixels), GL_LINEAR, Texture::Deferred{});
        texture = t.normalTexture.get();
        break;
    case Part::Done:
        Log::Trace("Finished recalculating vertex normals.");
        if (hasGrid) t.AdoptRest(std::move(record));
        record = TerrainRecord();
        break;
    }
}

bool TerrainArrival::SendSlice()
{
    Terrain& t = *terrain;
    const size_t bytes = PartBytes(part);
    if (texture != nullptr)
    {
        const size_t rowBytes = size_t{texture->width} * texture->channels;
        const size_t rows = std::max<size_t>(1, sliceBytes / std::max<size_t>(1, rowBytes));
        const size_t first = partSent;
        const size_t count =
            std::min<size_t>(rows, texture->height - std::min<size_t>(first, texture->height));
        texture->UploadRows(static_cast<uint32_t>(first), static_cast<uint32_t>(count));
        partSent += count;
        sentBytes += count * rowBytes;
        return partSent >= texture->height;
    }
    MeshGeometry::Array array = MeshGeometry::Array::Positions;
    const void* source = nullptr;
    switch (part)
    {
    case Part::TexCoords:
        array = MeshGeometry::Array::TexCoords;
        source = t.texCoords.data();
        break;
    case Part::Indices:
        array = MeshGeometry::Array::Indices;
        source = t.indices.data();
        break;
    case Part::Positions:
        source = t.positions.data();
        break;
    case Part::Normals:
        array = MeshGeometry::Array::Normals;
        source = t.normals.data();
        break;
    default:
        return true; // a texture part without its texture (it could not be made): nothing to send
    }
    const size_t count = std::min(sliceBytes, bytes - partSent);
    if (count > 0) t.mesh->WriteArray(array, partSent, count, static_cast<const char*>(source) + partSent);
    partSent += count;
    sentBytes += count;
    return partSent >= bytes;
}
