#include "terrain/TerrainBuild.h"

#include "engine/Log.h"
#include "terrain/Generators.h"
#include "terrain/Layers.h"
#include "terrain/Noise.h"
#include "terrain/TextureGen.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace TerrainBuild
{
namespace
{
bool Refuse(std::string* error, std::string reason)
{
    if (error != nullptr) *error = std::move(reason);
    return false;
}

// A zeroed image of a width x height grid: height pixels wide and width high, a pixel per vertex in
// vertex order (as Terrain::ImageWidth).
ProjectImage BlankImage(uint32_t width, uint32_t height, uint32_t channels, bool linear, bool mipmaps)
{
    ProjectImage image;
    image.width = height;
    image.height = width;
    image.channels = channels;
    image.linear = linear;
    image.mipmaps = mipmaps;
    image.pixels.assign(image.ByteSize(), 0);
    return image;
}

// Whether an image is one of a width x height grid (see BlankImage).
bool Fits(const ProjectImage& image, uint32_t width, uint32_t height)
{
    return image.Stored() && image.width == height && image.height == width && image.channels >= 1 &&
           image.channels <= 4 && image.pixels.size() == image.ByteSize();
}

// An erosion entry's mask: stored, or made by the stack's run; null when neither.
const uint8_t* MaskOf(const ProjectTerrain& terrain, const BuiltTerrain& built, size_t l)
{
    const size_t bytes = 3 * terrain.VertexCount();
    if (l >= terrain.layers.size() || terrain.layers[l].kind != ProjectLayer::kErosion) return nullptr;
    if (terrain.layers[l].image.pixels.size() == bytes) return terrain.layers[l].image.pixels.data();
    if (l < built.erosion.size() && built.erosion[l].result.mask.size() == bytes)
        return built.erosion[l].result.mask.data();
    return nullptr;
}

// The diffuse and specular pixels of the recorded band generation, as Terrain::GenerateDiffuseByHeight
// and GenerateDiffuseBySlope paint them: zeroed buffers, then the bands.
void PaintBands(const ProjectTerrain& terrain, const BuiltTerrain& built, ProjectImage& diffuse,
                ProjectImage& specular)
{
    const bool slope = terrain.bands.mode == ProjectBands::kSlope;
    diffuse = BlankImage(terrain.width, terrain.height, 3, true, slope);
    specular = BlankImage(terrain.width, terrain.height, 1, true, false);
    if (terrain.gradients.empty()) return;
    TextureGen::GradientList gradients;
    for (const Gradient& g : terrain.gradients)
        gradients.push_back(std::make_unique<Gradient>(g));
    const size_t pixels = terrain.VertexCount();
    if (slope)
    {
        TextureGen::PaintBySlope(gradients, built.normals.data(), pixels, diffuse.pixels.data(),
                                 specular.pixels.data());
        return;
    }
    TextureGen::Mt19937 engine(terrain.bands.seed);
    if (terrain.bands.mode == ProjectBands::kMask)
    {
        const uint8_t* mask = MaskOf(terrain, built, terrain.bands.maskLayer);
        if (mask != nullptr)
            TextureGen::PaintByMask(gradients, mask, terrain.bands.maskChannel, pixels, engine,
                                    diffuse.pixels.data(), specular.pixels.data());
        return;
    }
    TextureGen::PaintByHeight(gradients, terrain.heightmap.pixels.data(), pixels, engine,
                              diffuse.pixels.data(), specular.pixels.data());
}
} // namespace

bool GenerateBase(uint32_t width, uint32_t height, float vertexDistance, const ProjectGenerator& generator,
                  std::vector<float>& positions, TerrainGrid::HeightRange& range,
                  const std::function<bool(float)>& progress)
{
    const bool diamondSquare = generator.kind == ProjectGenerator::kDiamondSquare;
    const bool randomFault = generator.kind == ProjectGenerator::kRandomFault;
    if (width == 0 || height == 0 || generator.kind == ProjectGenerator::kFile ||
        (diamondSquare && width != height))
        return false;

    std::vector<uint32_t> indices;
    std::vector<float> normals;
    std::vector<float> texCoords;
    TerrainGrid::BuildGrid(width, height, vertexDistance, positions, indices, normals, texCoords);
    range = {0.0f, 0.0f};
    std::vector<float> heights;
    GeneratorRandom random(generator.seed);
    if (diamondSquare)
    {
        // A side that is not 2^n + 1 is refused by the generator and stays flat, as in the editor.
        if (!Generators::IsDiamondSquareSize(width, height)) return true;
        heights.assign(size_t{width} * height, 0.0f);
        if (!Generators::DiamondSquare(width, height, generator.parameter1, generator.parameter2, random,
                                       heights.data(), 1, progress))
            return false;
    }
    else if (randomFault)
    {
        if (!Generators::RandomFault(width, height, generator.parameter1, generator.parameter2,
                                     generator.iterations, random, heights, progress))
            return false;
    }
    else
    {
        return true; // flat
    }
    const size_t count = size_t{width} * height;
    range = TerrainGrid::AddHeights(positions.data(), heights.data(), count, 1.0f);
    TerrainGrid::ShiftHeights(positions.data(), count, range.min);
    range.max -= range.min;
    range.min = 0.0f;
    return true;
}

void NoiseLayerImage(const ProjectLayerSettings& settings, uint32_t width, uint32_t height,
                     std::vector<uint8_t>& out, std::vector<float>* levels)
{
    // The noise state of a new layer after its settings were copied in (Terrain::Heightmap::Update).
    NoiseGenerator noise;
    noise.seed = settings.seed;
    noise.noiseType = settings.noiseType;
    noise.fractalType = settings.fractalType;
    noise.frequency = settings.frequency;
    if (settings.fractalType != 0)
    {
        noise.octaves = settings.octaves;
        noise.gain = settings.gain;
        noise.CalculateFractalBounding();
        noise.lacunarity = settings.lacunarity;
    }
    out.assign(size_t{width} * height, 0);
    if (levels != nullptr) levels->assign(out.size(), 0.0f);
    std::vector<float> samples;
    Layers::NoiseImage(noise, settings.offsetX, settings.offsetY, width, height, samples, out.data(),
                       levels != nullptr ? levels->data() : nullptr);
}

TerrainGrid::HeightRange ApplyLayerStack(const float* basePositions, float* positions, uint32_t width,
                                         uint32_t height, float vertexDistance,
                                         const std::vector<ProjectLayer>& layers,
                                         std::vector<LayerStack::ErosionCache>* caches,
                                         const std::vector<std::vector<float>>* levels,
                                         const LayerStack::ApplyProgress& progress, bool* stopped)
{
    std::vector<LayerStack::ErosionCache> own;
    std::vector<LayerStack::ErosionCache>& kept = caches != nullptr ? *caches : own;
    kept.resize(layers.size());
    std::vector<LayerStack::Entry> entries;
    entries.reserve(layers.size());
    for (size_t l = 0; l < layers.size(); ++l)
    {
        const ProjectLayer& layer = layers[l];
        if (layer.kind == ProjectLayer::kErosion)
            entries.push_back(LayerStack::Entry::Erode(layer.erosion, &kept[l]));
        else if (Fits(layer.image, width, height))
        {
            const bool smooth = levels != nullptr && l < levels->size() &&
                                layer.kind == ProjectLayer::kNoise && layer.image.channels == 1 &&
                                (*levels)[l].size() == size_t{width} * height;
            entries.push_back(
                LayerStack::Entry::Add({layer.image.pixels.data(), layer.image.channels, layer.settings.power,
                                        smooth ? (*levels)[l].data() : nullptr}));
        }
    }
    TerrainGrid::HeightRange range;
    const bool applied =
        LayerStack::Apply(basePositions, positions, width, height, vertexDistance, entries.data(),
                          entries.size(), range, LayerStack::CacheUse::Run, progress);
    if (stopped != nullptr) *stopped = !applied;
    return range;
}

bool IsRegularGrid(const float* positions, const float* texCoords, uint32_t width, uint32_t height,
                   float vertexDistance)
{
    // The arithmetic of TerrainGrid::BuildGrid, compared bit for bit.
    const float halfW = static_cast<float>(width - 1) * 0.5f;
    const float halfH = static_cast<float>(height - 1) * 0.5f;
    const float du = 1.0f / static_cast<float>(height - 1);
    const float dv = 1.0f / static_cast<float>(width - 1);
    const auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    for (size_t i = 0; i < width; ++i)
        for (size_t j = 0; j < height; ++j)
        {
            const size_t k = i * height + j;
            if (!same(positions[3 * k], (static_cast<float>(i) - halfW) * vertexDistance) ||
                !same(positions[3 * k + 2], (static_cast<float>(j) - halfH) * vertexDistance) ||
                !same(texCoords[2 * k], static_cast<float>(j) * du) ||
                !same(texCoords[2 * k + 1], static_cast<float>(i) * dv))
                return false;
        }
    return true;
}

ProjectTerrain BaseRecord(const std::string& name, uint32_t width, uint32_t height, float vertexDistance,
                          const ProjectGenerator& generator, const float* basePositions,
                          const float* texCoords)
{
    ProjectTerrain t;
    t.name = name;
    t.width = width;
    t.height = height;
    t.vertexDistance = vertexDistance;
    t.generator = generator;
    const size_t count = t.VertexCount();
    t.baseHeights.resize(count);
    for (size_t k = 0; k < count; ++k)
        t.baseHeights[k] = basePositions[3 * k + 1];
    if (!IsRegularGrid(basePositions, texCoords, width, height, vertexDistance))
    {
        t.gridXZ.resize(2 * count);
        for (size_t k = 0; k < count; ++k)
        {
            t.gridXZ[2 * k] = basePositions[3 * k];
            t.gridXZ[2 * k + 1] = basePositions[3 * k + 2];
        }
        t.texCoords.assign(texCoords, texCoords + 2 * count);
    }
    return t;
}

bool Build(ProjectTerrain& terrain, BuiltTerrain& out, std::string* error,
           const std::function<bool(float)>& progress)
{
    // The shares of the steps, roughly as they take time on a large grid.
    const auto step = [&progress](float done) { return !progress || progress(done); };
    const auto within = [&progress](float from, float to) {
        return [&progress, from, to](float done) { return !progress || progress(from + (to - from) * done); };
    };
    const auto stop = [error]() { return Refuse(error, "stopped"); };
    out = BuiltTerrain{};
    out.width = terrain.width;
    out.height = terrain.height;
    out.vertexDistance = terrain.vertexDistance;
    if (terrain.Empty()) return true;
    const uint32_t W = terrain.width;
    const uint32_t H = terrain.height;
    const size_t count = terrain.VertexCount();

    // Base positions: the regular grid (or the stored x, z) with the stored or regenerated heights.
    TerrainGrid::BuildGrid(W, H, terrain.vertexDistance, out.positions, out.indices, out.normals,
                           out.texCoords);
    if (terrain.baseHeights.size() == count)
    {
        for (size_t k = 0; k < count; ++k)
            out.positions[3 * k + 1] = terrain.baseHeights[k];
    }
    else
    {
        std::vector<float> generated;
        TerrainGrid::HeightRange ignored;
        bool stopped = false;
        const auto generating = within(0.1f, 0.4f);
        if (!GenerateBase(W, H, terrain.vertexDistance, terrain.generator, generated, ignored,
                          [&](float done) { return !(stopped = !generating(done)); }))
        {
            if (stopped) return stop();
            return Refuse(error, "terrain " + terrain.name + " stores no heights and its generator " +
                                     terrain.generator.kind + " cannot make its " + std::to_string(W) +
                                     " x " + std::to_string(H) + " grid");
        }
        for (size_t k = 0; k < count; ++k)
            out.positions[3 * k + 1] = generated[3 * k + 1];
    }
    if (terrain.gridXZ.size() == 2 * count)
        for (size_t k = 0; k < count; ++k)
        {
            out.positions[3 * k] = terrain.gridXZ[2 * k];
            out.positions[3 * k + 2] = terrain.gridXZ[2 * k + 1];
        }
    if (terrain.texCoords.size() == 2 * count) out.texCoords = terrain.texCoords;
    out.basePositions = out.positions;
    if (!step(0.4f)) return stop();

    // Layer images (with the levels of smooth ones) and erosion settings, then the current heights.
    out.smoothLevels.resize(terrain.layers.size());
    for (size_t l = 0; l < terrain.layers.size(); ++l)
    {
        ProjectLayer& layer = terrain.layers[l];
        const bool smooth = layer.kind == ProjectLayer::kNoise && layer.settings.smoothHeights;
        if (layer.kind == ProjectLayer::kNoise && !layer.image.Stored())
        {
            layer.image = BlankImage(W, H, 1, true, false);
            NoiseLayerImage(layer.settings, W, H, layer.image.pixels,
                            smooth ? &out.smoothLevels[l] : nullptr);
        }
        else if (smooth)
        {
            std::vector<uint8_t> generated; // the stored pixels stay the truth (they may be painted)
            NoiseLayerImage(layer.settings, W, H, generated, &out.smoothLevels[l]);
        }
        if (layer.kind == ProjectLayer::kErosion && Erosion::Clamp(layer.erosion))
            Log::Warn("Terrain {} layer {} ({}): erosion settings out of range were brought into range.",
                      terrain.name, l, layer.name);
        if (!step(0.4f + 0.1f * static_cast<float>(l + 1) / static_cast<float>(terrain.layers.size())))
            return stop();
    }
    // Erosion runs report their share of the stack's step.
    const size_t layerCount = std::max<size_t>(1, terrain.layers.size());
    const auto stackStep = within(0.5f, 0.8f);
    const LayerStack::ApplyProgress stackProgress = [&](size_t entry, float done)
    { return stackStep((static_cast<float>(entry) + done) / static_cast<float>(layerCount)); };
    bool stackStopped = false;
    const bool paintsByMask = terrain.bands.mode == ProjectBands::kMask &&
                              (!terrain.diffuse.Stored() || !terrain.specular.Stored()) &&
                              MaskOf(terrain, out, terrain.bands.maskLayer) == nullptr;
    TerrainGrid::HeightRange range;
    if (terrain.heights.size() == count)
    {
        if (paintsByMask)
        {
            std::vector<float> scratch(3 * count);
            ApplyLayerStack(out.basePositions.data(), scratch.data(), W, H, terrain.vertexDistance,
                            terrain.layers, &out.erosion, &out.smoothLevels, stackProgress, &stackStopped);
        }
        for (size_t k = 0; k < count; ++k)
            out.positions[3 * k + 1] = terrain.heights[k];
        range = TerrainGrid::Range(out.positions.data(), count);
    }
    else
    {
        range =
            ApplyLayerStack(out.basePositions.data(), out.positions.data(), W, H, terrain.vertexDistance,
                            terrain.layers, &out.erosion, &out.smoothLevels, stackProgress, &stackStopped);
    }
    if (stackStopped || !step(0.8f)) return stop();
    out.minHeight = range.min;
    out.maxHeight = range.max;

    // Normals and the images made from the heights.
    const bool makeNormalImage = !terrain.normal.Stored();
    if (makeNormalImage) terrain.normal = BlankImage(W, H, 3, true, false);
    if (!TerrainGrid::VertexNormals(out.positions.data(), W, H, out.normals,
                                    makeNormalImage ? terrain.normal.pixels.data() : nullptr,
                                    within(0.8f, 0.95f)))
        return stop();
    if (!terrain.heightmap.Stored())
    {
        terrain.heightmap = BlankImage(W, H, 1, true, false);
        TerrainGrid::HeightmapBytes(out.positions.data(), count, out.minHeight, out.maxHeight,
                                    terrain.heightmap.pixels.data());
    }
    if (!terrain.watermap.Stored()) terrain.watermap = BlankImage(W, H, 4, false, false);
    if ((!terrain.diffuse.Stored() || !terrain.specular.Stored()) &&
        terrain.bands.mode != ProjectBands::kNone)
    {
        ProjectImage diffuse;
        ProjectImage specular;
        PaintBands(terrain, out, diffuse, specular);
        if (!terrain.diffuse.Stored()) terrain.diffuse = std::move(diffuse);
        if (!terrain.specular.Stored()) terrain.specular = std::move(specular);
    }

    // The water plane.
    out.hasWaterPlane = terrain.waterPlaneBuilt;
    if (terrain.waterPlaneBuilt)
    {
        if (terrain.waterPlane.stored)
        {
            out.waterPlane.positions = terrain.waterPlane.positions;
            out.waterPlane.texCoords = terrain.waterPlane.texCoords;
            out.waterPlane.indices = terrain.waterPlane.indices;
            out.waterPlane.normals.assign(out.waterPlane.positions.size(), 0.0f);
            for (size_t v = 1; v < out.waterPlane.normals.size(); v += 3)
                out.waterPlane.normals[v] = 1.0f;
        }
        else
        {
            out.waterPlane = Water::BuildPlane(terrain.watermap.pixels.data(), out.positions.data(), W, H,
                                               terrain.vertexDistance, out.minHeight);
        }
    }
    return true;
}
} // namespace TerrainBuild
