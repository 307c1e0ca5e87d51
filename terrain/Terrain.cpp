#include "terrain/Terrain.h"

#include "engine/LargeArrays.h"
#include "engine/Log.h"
#include "engine/Parallel.h"
#include "render/Texture.h"
#include "terrain/Generators.h"
#include "terrain/Heightmap.h"
#include "terrain/LayerStack.h"
#include "terrain/Layers.h"
#include "terrain/TerrainGrid.h"
#include "terrain/Water.h"
#include "terrain/WaterPlane.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstring>
#include <future>

// The algorithms live in TerrainGrid, Generators and Layers; these members call them and keep the
// GL side (mesh uploads and texture updates) in one place. The bridges from and to a TerrainRecord
// are here too.
//   - The bridge from a record: Adopt, TakeRecord, AdoptRest
//   - The bridge to a record: Record
//   - Mesh and heights, generators, layers

namespace
{
// The size checks of Terrain::BuildMesh: true when the grid's arrays can be built. Sets the sizes,
// the flat height range and, for an accepted grid, the vertex distance and count.
bool AcceptTerrainGrid(Terrain& terrain, uint32_t width, uint32_t height, float vertexDistance)
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

// A texture of an image record, its pixels taken over; null when it holds none.
std::unique_ptr<Texture> TextureOf(ImageRecord&& image)
{
    if (!image.Stored()) return nullptr;
    auto texture =
        std::make_unique<Texture>(image.width, image.height, image.channels, std::move(image.pixels),
                                  image.mipmaps, image.linear ? GL_LINEAR : GL_NEAREST);
    texture->name = std::move(image.source);
    texture->saveName = std::move(image.saveName);
    return texture;
}

// The image record of a texture, its pixels copied.
ImageRecord ImageOf(const Texture* texture)
{
    if (texture == nullptr || !texture->data) return {};
    ImageRecord image =
        ImageRecord::Copy(texture->data.get(), texture->width, texture->height, texture->channels);
    image.linear = texture->filter != GL_NEAREST;
    image.mipmaps = texture->mipmaps;
    image.source = texture->name;
    image.saveName = texture->saveName;
    return image;
}

// A terrain texture of the grid's size and channels; anything else is left to be made again.
ImageRecord GridImageOf(const Terrain& terrain, const Texture* texture, uint32_t channels, const char* what)
{
    ImageRecord image = ImageOf(texture);
    if (image.Stored() && !image.FitsGrid(terrain.width, terrain.height, channels))
    {
        Log::Warn("Terrain {}: its {} texture is {} x {} with {} channels, not the grid's; it is not saved.",
                  terrain.name, what, image.width, image.height, image.channels);
        return {};
    }
    return image;
}

bool SameBits(const float* a, const float* b, size_t count)
{
    return count == 0 || std::memcmp(a, b, count * sizeof(float)) == 0;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && SameBits(a.data(), b.data(), a.size());
}
} // namespace

// The CPU step (TerrainRecord::Generate: the grid, the generator, the shift to zero, every array
// written once) and the GL step (the textures, the normals computed beside the uploads, and the
// whole mesh uploaded once).
Terrain::Terrain(uint32_t width, uint32_t height, float vertexDistance, Generator generator, float parameter1,
                 float parameter2, uint32_t iterations)
    : Terrain(TerrainRecord::Generate(width, height, vertexDistance, generator, parameter1, parameter2,
                                      iterations))
{
}

Terrain::Terrain(TerrainRecord&& record)
{
    Adopt(std::move(record));
}

Terrain::~Terrain() = default;

// ---------------------------------------------------------------------------------------------
// The bridge from a record

void Terrain::Adopt(TerrainRecord&& r)
{
    if (!TakeRecord(r)) return;
    // What the record lacks of the heightmap image, the normals and the normal image is computed beside
    // the uploads of the texture coordinates, triangles and positions; each array is written once and
    // the mesh goes to GL once with its final arrays. The messages keep their order.
    const size_t count = static_cast<size_t>(width) * height;
    const bool computeHeightmap = !r.heightmap.FitsGrid(width, height, 1);
    const bool computeNormalImage = !r.normal.FitsGrid(width, height, 3);
    const bool computeNormals = computeNormalImage || normals.size() != 3 * count;
    std::unique_ptr<uint8_t[]> heightBytes;
    std::unique_ptr<uint8_t[]> normalBytes;
    std::future<void> derived;
    if (computeHeightmap || computeNormals)
        derived = Parallel::RunBeside(
            [&]
            {
                if (computeHeightmap) heightBytes = CreateHeightmapBuffer();
                if (!computeNormals) return;
                if (computeNormalImage) normalBytes = LargeArrays::UninitializedBytes(3 * count);
                TerrainGrid::VertexNormals(positions.data(), width, height, normals, normalBytes.get());
            });
    mesh->vertexCount = vertexCount;
    mesh->indexCount = indexCount;
    mesh->UpdateTexCoords(texCoords.data());
    mesh->UpdateIndices(indices.data());
    mesh->UpdateVertices(positions.data());
    if (derived.valid()) derived.get();

    Log::Trace("Creating new terrain heightmap texture.");
    heightmapTexture = computeHeightmap ? std::make_unique<Texture>(ImageWidth(), ImageHeight(), 1,
                                                                    std::move(heightBytes), false, GL_LINEAR)
                                        : TextureOf(std::move(r.heightmap));
    if (!mesh->entries.empty() && mesh->entries[0].texture == 0)
        mesh->entries[0].texture = heightmapTexture->id;
    Log::Trace("Creating new terrain watermap texture.");
    watermapTexture = r.watermap.FitsGrid(width, height, 4)
                          ? TextureOf(std::move(r.watermap))
                          : std::make_unique<Texture>(ImageWidth(), ImageHeight(), 4, false, GL_NEAREST);
    Log::Trace("Starting to recalculate vertex normals.");
    mesh->UpdateNormals(normals.data());
    normalTexture = computeNormalImage ? std::make_unique<Texture>(ImageWidth(), ImageHeight(), 3,
                                                                   std::move(normalBytes), false, GL_LINEAR)
                                       : TextureOf(std::move(r.normal));
    Log::Trace("Finished recalculating vertex normals.");
    AdoptRest(std::move(r));
}

bool Terrain::TakeRecord(TerrainRecord& r)
{
    name = std::move(r.name);
    width = r.width;
    height = r.height;
    vertexDistance = r.vertexDistance;
    minHeight = r.minHeight;
    maxHeight = r.maxHeight;
    generatorRecord = r.generator;
    place = r.place;
    // Counts that do not fit (a grid the generator refused as too large) stay 0, not a wrapped product.
    const uint64_t indexTotal = (uint64_t{width} - 1) * (uint64_t{height} - 1) * 6;
    vertexCount =
        uint64_t{width} * height * 3 <= UINT32_MAX && indexTotal <= UINT32_MAX ? width * height : 0u;
    indexCount = 0;
    if (!r.HasGrid()) return false;
    positions = std::move(r.positions);
    basePositions = std::move(r.basePositions);
    if (basePositions.size() != positions.size()) LargeArrays::Copy(basePositions, positions);
    texCoords = std::move(r.texCoords);
    if (texCoords.size() != 2 * size_t{vertexCount}) TerrainGrid::GridTexCoords(width, height, texCoords);
    indices = std::move(r.indices);
    if (indices.empty()) TerrainGrid::GridIndices(width, height, indices);
    if (r.normals.size() == positions.size()) normals = std::move(r.normals);
    SetWholeMeshEntry(*this);
    return true;
}

void Terrain::AdoptRest(TerrainRecord&& r)
{
    diffuseTexture = TextureOf(std::move(r.diffuse));
    specularTexture = TextureOf(std::move(r.specular));
    const Texture* const shown[] = {nullptr, heightmapTexture.get(), normalTexture.get(),
                                    diffuseTexture.get(), specularTexture.get()};
    SetDisplayTexture(shown[static_cast<size_t>(r.display)]);
    for (const Gradient& gradient : r.gradients)
        gradients.push_back(std::make_unique<Gradient>(gradient));
    bandRecord.mode = r.bands.mode;
    bandRecord.seed = r.bands.seed;
    bandRecord.maskChannel = r.bands.maskChannel;

    for (size_t l = 0; l < r.layers.size(); ++l)
    {
        LayerRecord& entry = r.layers[l];
        std::shared_ptr<Heightmap> layer;
        if (entry.kind == LayerKind::Sculpt)
        {
            layer = Heightmap::NewSculpt(width, height, std::move(entry.sculpt));
        }
        else if (entry.kind == LayerKind::Erosion)
        {
            // The stored mask is the one shown; without it the last run's (or black).
            const bool stored = entry.image.FitsGrid(width, height, 3);
            layer = stored ? std::make_shared<Heightmap>(entry.image.width, entry.image.height, 3,
                                                         std::move(entry.image.pixels), true, false)
                           : Heightmap::NewErosion(width, height);
            layer->isErosion = true;
            layer->erosionCache = std::move(entry.erosionCache);
            if (stored) layer->shownMaskGeneration = layer->erosionCache.generation;
            layer->ShowErosionMask();
            if (r.bands.mode == BandMode::Mask && r.bands.maskLayer == l) bandRecord.maskEntry = layer;
        }
        else
        {
            const bool isTexture = entry.kind == LayerKind::Image;
            const ImageRecord& image = entry.image;
            layer = std::make_shared<Heightmap>(image.width, image.height, image.channels,
                                                std::move(entry.image.pixels), image.linear, isTexture);
            layer->Texture::name = std::move(entry.image.source);
        }
        layer->name = std::move(entry.name);
        layer->saveName = std::move(entry.image.saveName);
        layer->settings = std::move(entry.settings);
        layer->place = place;
        layer->worldImage = std::move(entry.worldImage);
        if (entry.kind == LayerKind::Noise)
        {
            layer->CopySettingsToNoise();
            if (entry.smoothLevels.size() == layer->ByteSize())
                layer->smoothLevels = std::move(entry.smoothLevels);
            else
                layer->UpdateSmoothLevels();
        }
        // The history starts again at these settings.
        if (entry.kind == LayerKind::Noise || entry.kind == LayerKind::Erosion)
            layer->AppendState(layer->settings);
        heightmaps.push_back(std::move(layer));
    }

    if (r.waterPlaneBuilt)
    {
        waterPlane = std::make_shared<WaterPlane>(this, std::move(r.waterPlane));
        // As "Recalculate" leaves it, showing the water map; the editor binds its shader.
        if (watermapTexture && !waterPlane->mesh->entries.empty())
            waterPlane->mesh->entries.front().texture = watermapTexture->id;
    }
}

// ---------------------------------------------------------------------------------------------
// The bridge to a record

TerrainRecord Terrain::Record(RecordScope scope) const
{
    TerrainRecord r;
    r.name = name;
    const size_t count = static_cast<size_t>(width) * height;
    if (IsEmpty() || count == 0 || positions.size() < 3 * count || basePositions.size() < 3 * count ||
        texCoords.size() < 2 * count)
        return r; // an empty terrain keeps its name only
    const bool project = scope == RecordScope::Project;
    const bool files = scope == RecordScope::Files;
    r.width = width;
    r.height = height;
    r.vertexDistance = vertexDistance;
    r.minHeight = minHeight;
    r.maxHeight = maxHeight;
    r.generator = generatorRecord;
    r.place = place;

    if (!files)
    {
        LargeArrays::Copy(r.basePositions, basePositions);
        // The current heights follow the layers when the stack gives them now. An erosion entry that
        // would have to run again means they changed: the answer is no rather than a wait for the run.
        std::vector<float> layered;
        r.heightsFollowLayers = LayeredPositions(layered, true) && layered.size() == 3 * count &&
                                SameBits(layered.data(), positions.data(), 3 * count);
    }
    if (!project || !r.heightsFollowLayers)
        r.positions.assign(positions.begin(), positions.begin() + 3 * count);
    if (!project || !IsRegularGrid(basePositions.data(), texCoords.data(), width, height, vertexDistance))
        r.texCoords.assign(texCoords.begin(), texCoords.begin() + 2 * count);
    if (!project)
    {
        r.normals = normals;
        r.indices = indices;
        if (!files) r.gridIndices = TerrainGrid::IsGridIndices(indices, width, height);
    }

    std::vector<const Heightmap*> recorded; // the entries of r.layers, for the band record
    for (const auto& layer : heightmaps)
    {
        if (!layer || files) continue;
        LayerRecord entry;
        entry.name = layer->name;
        entry.settings = layer->settings;
        entry.worldImage = layer->worldImage;
        if (layer->isSculpt)
        {
            entry.kind = LayerKind::Sculpt; // its preview is made again from the heights
            entry.sculpt = layer->sculpt;
        }
        else if (layer->isErosion)
        {
            // Its mask as shown: the last run's, which the heights may no longer follow.
            entry.kind = LayerKind::Erosion;
            entry.image = GridImageOf(*this, layer.get(), 3, "erosion mask");
            if (!project) entry.erosionCache = layer->erosionCache;
        }
        else
        {
            entry.kind = layer->isTexture ? LayerKind::Image : LayerKind::Noise;
            entry.image = ImageOf(layer.get());
            if (!entry.image.Stored() || (!layer->isTexture && !entry.image.FitsGrid(width, height, 1)))
            {
                // Such a layer adds nothing to the heights; its image could not be read back.
                Log::Warn("Terrain {}: layer {} has no image of the grid's size and is not saved.", name,
                          layer->name);
                continue;
            }
            if (!project) entry.smoothLevels = layer->smoothLevels;
        }
        r.layers.push_back(std::move(entry));
        recorded.push_back(layer.get());
    }

    for (const auto& gradient : gradients)
        if (gradient) r.gradients.push_back(*gradient);
    r.bands.mode = bandRecord.mode;
    r.bands.seed = bandRecord.seed;
    if (bandRecord.mode == BandMode::Mask)
    {
        // The erosion entry is named by its place in the list; one that is gone leaves no record (the
        // diffuse and specular pixels are kept all the same).
        const auto entry = bandRecord.maskEntry.lock();
        const auto found = std::find(recorded.begin(), recorded.end(), entry.get());
        r.bands.mode = entry && found != recorded.end() ? BandMode::Mask : BandMode::None;
        r.bands.maskLayer =
            r.bands.mode == BandMode::Mask ? static_cast<uint32_t>(found - recorded.begin()) : 0;
        r.bands.maskChannel = bandRecord.maskChannel;
    }

    r.heightmap = GridImageOf(*this, heightmapTexture.get(), 1, "heightmap");
    r.normal = GridImageOf(*this, normalTexture.get(), 3, "normal");
    r.diffuse = GridImageOf(*this, diffuseTexture.get(), 3, "diffuse");
    r.specular = GridImageOf(*this, specularTexture.get(), 1, "specular");
    if (!files) r.watermap = GridImageOf(*this, watermapTexture.get(), 4, "water map");

    const uint32_t shown = mesh && !mesh->entries.empty() ? mesh->entries[0].texture : 0u;
    const std::pair<DisplayTexture, const Texture*> displays[] = {
        {DisplayTexture::Heightmap, heightmapTexture.get()},
        {DisplayTexture::Normal, normalTexture.get()},
        {DisplayTexture::Diffuse, diffuseTexture.get()},
        {DisplayTexture::Specular, specularTexture.get()}};
    r.display = shown == 0 ? DisplayTexture::None : DisplayTexture::Heightmap;
    for (const auto& [key, texture] : displays)
        if (texture != nullptr && texture->id == shown && shown != 0) r.display = key;

    // The water plane is a snapshot: it follows the map and heights only while rebuilding gives it again.
    if (const auto& plane = waterPlane)
    {
        r.waterPlaneBuilt = true;
        if (!files)
        {
            Water::PlaneMesh rebuilt;
            if (r.watermap.Stored())
                rebuilt = Water::BuildPlane(r.watermap.pixels.get(), positions.data(), width, height,
                                            vertexDistance, minHeight);
            r.waterFollowsMap = SameBits(rebuilt.positions, plane->positions) &&
                                SameBits(rebuilt.texCoords, plane->texCoords) &&
                                rebuilt.indices == plane->indices;
        }
        if (!project || !r.waterFollowsMap)
        {
            r.waterPlane.positions = plane->positions;
            r.waterPlane.normals = plane->normals;
            r.waterPlane.texCoords = plane->texCoords;
            r.waterPlane.indices = plane->indices;
        }
    }
    return r;
}

// ---------------------------------------------------------------------------------------------
// Mesh and heights

bool Terrain::BuildMesh(uint32_t width, uint32_t height, float vertexDistance)
{
    if (!AcceptTerrainGrid(*this, width, height, vertexDistance)) return false;
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

std::ptrdiff_t Terrain::LayerIndex(const std::shared_ptr<Heightmap>& layer) const
{
    const auto it = std::find(heightmaps.begin(), heightmaps.end(), layer);
    return it == heightmaps.end() ? -1 : it - heightmaps.begin();
}

bool Terrain::LayerFits(const Heightmap& layer) const
{
    if (layer.isSculpt)
    {
        const bool fits = layer.sculpt.size() == size_t{width} * height;
        if (!fits)
            Log::Warn("Sculpt entry {} skipped: it holds {} heights, the terrain has {} vertices.",
                      layer.name, layer.sculpt.size(), size_t{width} * height);
        return fits;
    }
    const bool fits = layer.data != nullptr && layer.width == ImageWidth() && layer.height == ImageHeight() &&
                      layer.channels >= 1 && layer.channels <= 4;
    if (!fits)
        Log::Warn(
            "Layer {} skipped: its image is {} x {} with {} channels, the terrain's images are {} x {}.",
            layer.name, layer.width, layer.height, layer.data != nullptr ? layer.channels : 0u, ImageWidth(),
            ImageHeight());
    return fits;
}

std::vector<LayerStack::Entry> Terrain::StackEntries() const
{
    std::vector<LayerStack::Entry> entries;
    entries.reserve(heightmaps.size());
    for (const std::shared_ptr<Heightmap>& layer : heightmaps)
        if (layer && layer->isSculpt && LayerFits(*layer))
            entries.push_back(LayerStack::Entry::Sculpt(layer->sculpt.data()));
        else if (layer && !layer->isSculpt && (layer->isErosion || LayerFits(*layer)))
            entries.push_back(LayerStack::Entry::Layer(
                layer->isErosion, !layer->isTexture, layer->settings, layer->data.get(), layer->channels,
                layer->smoothLevels, size_t{width} * height, &layer->erosionCache));
    return entries;
}

namespace
{
bool ApplyStack(const Terrain& terrain, float* out, TerrainGrid::HeightRange& range, LayerStack::CacheUse use,
                const LayerStack::ApplyProgress& progress = {})
{
    const std::vector<LayerStack::Entry> entries = terrain.StackEntries();
    return LayerStack::Apply(terrain.basePositions.data(), out, terrain.width, terrain.height,
                             terrain.vertexDistance, entries.data(), entries.size(), range, use, progress,
                             {terrain.place.world, terrain.place.i, terrain.place.j});
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
    heightmapStale = false;
    RecalculateNormals();
}

bool Terrain::LayerHeights(LayeredHeights& out,
                           const std::function<bool(size_t entry, float fraction)>& progress) const
{
    const size_t count = static_cast<size_t>(width) * height;
    if (count == 0 || positions.size() < 3 * count || basePositions.size() < 3 * count) return false;
    out.positions.resize(3 * count);
    TerrainGrid::HeightRange range;
    if (!ApplyStack(*this, out.positions.data(), range, LayerStack::CacheUse::Run, progress)) return false;
    out.minHeight = range.min;
    out.maxHeight = range.max;
    out.masks.clear(); // arrays given back by an earlier swap keep no masks of theirs
    out.swapped = false;
    if (out.pixelCount != count || !out.heightmapPixels || !out.normalPixels)
    {
        out.heightmapPixels = LargeArrays::UninitializedBytes(count); // every byte written below
        out.normalPixels = LargeArrays::UninitializedBytes(3 * count);
        out.pixelCount = count;
    }
    TerrainGrid::HeightmapBytes(out.positions.data(), count, range.min, range.max, out.heightmapPixels.get());
    TerrainGrid::VertexNormals(out.positions.data(), width, height, out.normals, out.normalPixels.get());
    return true;
}

void Terrain::SwapLayerHeights(LayeredHeights& in)
{
    const size_t count = static_cast<size_t>(width) * height;
    if (count == 0 || in.positions.size() != 3 * count || in.normals.size() != 3 * count ||
        in.pixelCount != count)
        return;
    // As ApplyHeightmaps leaves the terrain: heights, range, masks, heightmap texture, normals.
    std::swap(positions, in.positions);
    std::swap(minHeight, in.minHeight);
    std::swap(maxHeight, in.maxHeight);
    mesh->UpdateVertices(positions.data());
    if (!in.swapped)
    {
        // The masks of the runs the heights come from; the ones they replace are kept.
        for (const std::shared_ptr<Heightmap>& layer : heightmaps)
        {
            if (!layer || !layer->isErosion || !layer->data ||
                layer->shownMaskGeneration == layer->erosionCache.generation)
                continue;
            std::unique_ptr<uint8_t[]> shown(new uint8_t[layer->ByteSize()]);
            std::copy(layer->data.get(), layer->data.get() + layer->ByteSize(), shown.get());
            in.masks.push_back({layer, std::move(shown), layer->shownMaskGeneration});
            layer->ShowErosionMask();
        }
        in.swapped = true;
    }
    else
    {
        for (LayeredHeights::Mask& mask : in.masks)
        {
            std::swap(mask.entry->data, mask.pixels);
            std::swap(mask.entry->shownMaskGeneration, mask.generation);
            mask.entry->Texture::Update();
        }
    }
    if (heightmapTexture && in.heightmapPixels)
    {
        std::swap(heightmapTexture->data, in.heightmapPixels);
        heightmapTexture->Update();
        heightmapStale = false;
    }
    std::swap(normals, in.normals);
    mesh->UpdateNormals(normals.data());
    if (!normalTexture)
    {
        Log::Debug("Creating new normal texture {}x{}", width, height);
        normalTexture = std::make_unique<Texture>(ImageWidth(), ImageHeight(), 3, false, GL_LINEAR);
    }
    if (in.normalPixels)
    {
        std::swap(normalTexture->data, in.normalPixels);
        normalTexture->Update();
    }
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
    Layers::LayerView view =
        layer.isSculpt ? LayerStack::Entry::Sculpt(layer.sculpt.data()).image
                       : LayerStack::Entry::Layer(false, !layer.isTexture, layer.settings, layer.data.get(),
                                                  layer.channels, layer.smoothLevels, count, nullptr)
                             .image;
    view.power = power;
    const TerrainGrid::HeightRange range =
        Layers::ApplyLayers(positions.data(), positions.data(), width, height, &view, 1);
    minHeight = range.min;
    maxHeight = range.max;
    mesh->UpdateVertices(positions.data());
}
