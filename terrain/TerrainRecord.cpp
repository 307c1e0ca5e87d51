// The GL-free terrain record: the start generator's terrain, a heightmap's, what is derived from the
// heights, and Complete, which makes what a record does not store.
//   - Images
//   - Generate, FromHeights, GenerateBase
//   - Derive
//   - Complete (the layer stack, bands and water plane of a stored terrain)
//   - RegularGrid, GridCountsFit, TerrainBounds
#include "terrain/TerrainRecord.h"

#include "engine/LargeArrays.h"
#include "engine/Log.h"
#include "engine/Parallel.h"
#include "terrain/Generators.h"
#include "terrain/Noise.h"
#include "terrain/TextureGen.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>

// ---------------------------------------------------------------------------------------------
// Images

ImageRecord::ImageRecord(const ImageRecord& other)
    : width(other.width), height(other.height), channels(other.channels), linear(other.linear),
      mipmaps(other.mipmaps), source(other.source), saveName(other.saveName)
{
    if (other.pixels)
    {
        pixels.reset(new uint8_t[ByteSize()]);
        std::memcpy(pixels.get(), other.pixels.get(), ByteSize());
    }
}

ImageRecord& ImageRecord::operator=(const ImageRecord& other)
{
    if (this != &other) *this = ImageRecord(other);
    return *this;
}

ImageRecord ImageRecord::Blank(uint32_t gridWidth, uint32_t gridHeight, uint32_t channels, bool linear,
                               bool mipmaps)
{
    ImageRecord image;
    image.width = gridHeight;
    image.height = gridWidth;
    image.channels = channels;
    image.linear = linear;
    image.mipmaps = mipmaps;
    image.pixels.reset(new uint8_t[image.ByteSize()]());
    return image;
}

ImageRecord ImageRecord::Unset(uint32_t gridWidth, uint32_t gridHeight, uint32_t channels)
{
    ImageRecord image;
    image.width = gridHeight;
    image.height = gridWidth;
    image.channels = channels;
    image.pixels = LargeArrays::UninitializedBytes(image.ByteSize());
    return image;
}

ImageRecord ImageRecord::Copy(const uint8_t* data, uint32_t width, uint32_t height, uint32_t channels)
{
    ImageRecord image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    if (data == nullptr) return image;
    image.pixels = LargeArrays::UninitializedBytes(image.ByteSize());
    std::memcpy(image.pixels.get(), data, image.ByteSize());
    return image;
}

// ---------------------------------------------------------------------------------------------
// Generate, FromHeights, GenerateBase

namespace
{
// The size checks of Terrain::BuildMesh on a record: sizes and the flat height range, and whether
// the grid's arrays can be built.
bool AcceptGrid(TerrainRecord& r, uint32_t width, uint32_t height, float vertexDistance)
{
    r.width = width;
    r.height = height;
    r.minHeight = 0.0f;
    r.maxHeight = 0.0f;
    if (width == 0 || height == 0) return false;
    if (!GridCountsFit(width, height)) return false;
    r.vertexDistance = vertexDistance;
    return true;
}
} // namespace

bool GridCountsFit(uint32_t width, uint32_t height)
{
    const uint64_t indexTotal = (uint64_t{width} - 1) * (uint64_t{height} - 1) * 6;
    if (uint64_t{width} * height * 3 > UINT32_MAX || indexTotal > UINT32_MAX)
    {
        Log::Error("Terrain {} x {} is too large: its vertex or index count does not fit 32 bits.", width,
                   height);
        return false;
    }
    return true;
}

bool TerrainRecord::Generate(uint32_t width, uint32_t height, float vertexDistance,
                             TerrainGenerator generator, float parameter1, float parameter2,
                             uint32_t iterations, bool derive, TerrainRecord& out,
                             const TerrainBuildProgress& progress)
{
    const auto step = [&progress](float fraction, std::string_view text)
    { return !progress || progress(fraction, text); };
    TerrainRecord a;
    a.width = width;
    a.height = height;
    a.vertexDistance = vertexDistance;
    // As the Terrain constructor starts them; a refused request keeps them.
    a.minHeight = 3.4028235e38f;
    a.maxHeight = -3.4028235e38f;
    a.generator = {generator, parameter1, parameter2, iterations, 0, false};

    if (generator == TerrainGenerator::DiamondSquare)
    {
        if (width != height)
        {
            Log::Warn(
                "Terrain created with the diamond square algorithm cannot be of different width and height.");
            out = std::move(a);
            return true;
        }
        if (!Generators::IsDiamondSquareSize(width, height))
            Log::Error(
                "Tried to generate diamond square with wrong diameters. Diameter = {} (Has to be 2^n + 1)",
                width);
    }
    if (!AcceptGrid(a, width, height, vertexDistance))
    {
        out = std::move(a);
        return true;
    }
    if (!step(0.0f, "Laying the grid")) return false;

    // The flat grid, the generator's heights added to it and the shift to zero, as BuildMesh,
    // AddHeights and ShiftHeightsToZero do them, but with every array written once: the generator
    // fills a scratch array and the positions are then written once with their final heights.
    // Texture coordinates and triangles do not depend on the heights; they are built beside the
    // generator (and stopped with it).
    TerrainGrid::FillControl texCoordFill;
    TerrainGrid::FillControl indexFill;
    std::future<void> grid = Parallel::RunBeside(
        [&a, &texCoordFill, &indexFill]
        {
            TerrainGrid::GridTexCoords(a.width, a.height, a.texCoords, &texCoordFill);
            TerrainGrid::GridIndices(a.width, a.height, a.indices, &indexFill);
        });
    const auto stop = [&]
    {
        texCoordFill.stop = true;
        indexFill.stop = true;
        return false; // the future's destructor waits for the grid, which stops at its next look
    };
    const size_t count = a.VertexCount();
    std::unique_ptr<float[]> generated;
    std::vector<float> faultArray;
    const float* heights = nullptr;
    // The generator is most of the work: it reports from 2 % to 55 %.
    const auto generatorStep = [&step](std::string_view text)
    { return [&step, text](float done) { return step(0.02f + 0.53f * done, text); }; };
    switch (generator)
    {
    case TerrainGenerator::Flat:
        break;
    case TerrainGenerator::DiamondSquare:
    {
        if (!step(0.02f, "Diamond-square")) return stop();
        generated.reset(new float[count]); // diamond-square writes every point of an accepted size
        LargeArrays::AdviseHugePages(generated.get(), count * sizeof(float));
        GeneratorRandom random;
        a.generator.seed = random.seed; // what a project needs to make the same heights again
        bool stopped = false;
        const auto progressOf = generatorStep("Diamond-square");
        if (Generators::DiamondSquare(width, height, parameter1, parameter2, random, generated.get(), 1,
                                      [&](float done) { return !(stopped = !progressOf(done)); }))
            heights = generated.get();
        else if (stopped)
            return stop();
        else
            Log::Error(
                "Diamond square needs a square grid of side 2^n + 1, not {} x {}: the terrain stays flat.",
                width, height);
        break;
    }
    case TerrainGenerator::RandomFault:
    {
        if (!step(0.02f, "Random fault")) return stop();
        GeneratorRandom random;
        a.generator.seed = random.seed;
        if (!Generators::RandomFault(width, height, parameter1, parameter2, iterations, random, faultArray,
                                     generatorStep("Random fault")))
            return stop();
        heights = faultArray.data();
        break;
    }
    }
    // The triangles may still be on their way (a busy machine, or a flat terrain with nothing before
    // them): their progress shows, and a stop request is heard, while waiting.
    const double gridElements =
        static_cast<double>(2 * count + 6 * (size_t{width} - 1) * (size_t{height} - 1));
    while (grid.wait_for(std::chrono::milliseconds(20)) == std::future_status::timeout) // not deferred
    {
        const double done = static_cast<double>(texCoordFill.done + indexFill.done);
        if (!step(0.55f + 0.05f * static_cast<float>(done / gridElements), "Laying the grid")) return stop();
    }
    if (!step(0.6f, "Heights")) return stop();
    float shift = 0.0f;
    a.minHeight = 0.0f;
    a.maxHeight = 0.0f;
    if (heights != nullptr)
    {
        // The range AddHeights finds, then ShiftHeightsToZero.
        TerrainGrid::HeightRange range;
        for (size_t k = 0; k < count; ++k)
            range.Add(0.0f + 1.0f * heights[k]);
        a.minHeight = range.min;
        a.maxHeight = range.max;
        shift = a.minHeight;
        a.maxHeight -= a.minHeight;
        a.minHeight = 0.0f;
    }
    TerrainGrid::GridPositions(width, height, vertexDistance, heights, shift, a.positions);
    generated.reset();
    faultArray = std::vector<float>();
    grid.get();
    a.gridIndices = true;
    if (!step(0.7f, "Base heights")) return false;
    LargeArrays::Copy(a.basePositions, a.positions);
    if (derive && !a.Derive([&step](float done) { return step(0.75f + 0.25f * done, "Normals"); }))
        return false;
    if (!step(1.0f, "Done")) return false;
    out = std::move(a);
    return true;
}

TerrainRecord TerrainRecord::Generate(uint32_t width, uint32_t height, float vertexDistance,
                                      TerrainGenerator generator, float parameter1, float parameter2,
                                      uint32_t iterations)
{
    TerrainRecord record;
    Generate(width, height, vertexDistance, generator, parameter1, parameter2, iterations, false, record);
    return record;
}

bool TerrainRecord::FromHeights(uint32_t width, uint32_t height, float vertexDistance, const float* heights,
                                TerrainRecord& out)
{
    TerrainRecord a;
    a.vertexDistance = vertexDistance;
    if (!AcceptGrid(a, width, height, vertexDistance)) return false;
    // The flat grid with the heights added (0 + 1 * h, nothing shifted), as BuildMesh and AddHeights
    // leave it, and the range AddHeights finds.
    std::future<void> grid = Parallel::RunBeside(
        [&a]
        {
            TerrainGrid::GridTexCoords(a.width, a.height, a.texCoords);
            TerrainGrid::GridIndices(a.width, a.height, a.indices);
        });
    TerrainGrid::GridPositions(width, height, vertexDistance, heights, 0.0f, a.positions);
    const TerrainGrid::HeightRange range = TerrainGrid::Range(a.positions.data(), a.VertexCount());
    a.minHeight = range.min;
    a.maxHeight = range.max;
    LargeArrays::Copy(a.basePositions, a.positions);
    grid.get();
    a.gridIndices = true;
    out = std::move(a);
    return true;
}

bool TerrainRecord::GenerateBase(uint32_t width, uint32_t height, float vertexDistance,
                                 const GeneratorRecord& generator, std::vector<float>& positions,
                                 TerrainGrid::HeightRange& range, const std::function<bool(float)>& progress)
{
    const bool diamondSquare = generator.generator == TerrainGenerator::DiamondSquare;
    if (width == 0 || height == 0 || generator.fromFile || (diamondSquare && width != height)) return false;

    TerrainGrid::GridPositions(width, height, vertexDistance, nullptr, 0.0f, positions);
    range = {0.0f, 0.0f};
    std::vector<float> heights;
    GeneratorRandom random(generator.seed);
    switch (generator.generator)
    {
    case TerrainGenerator::DiamondSquare:
        // A side that is not 2^n + 1 is refused by the generator and stays flat, as in the editor.
        if (!Generators::IsDiamondSquareSize(width, height)) return true;
        heights.assign(size_t{width} * height, 0.0f);
        if (!Generators::DiamondSquare(width, height, generator.parameter1, generator.parameter2, random,
                                       heights.data(), 1, progress))
            return false;
        break;
    case TerrainGenerator::RandomFault:
        if (!Generators::RandomFault(width, height, generator.parameter1, generator.parameter2,
                                     generator.iterations, random, heights, progress))
            return false;
        break;
    case TerrainGenerator::Flat:
        return true;
    }
    const size_t count = size_t{width} * height;
    range = TerrainGrid::AddHeights(positions.data(), heights.data(), count, 1.0f);
    TerrainGrid::ShiftHeights(positions.data(), count, range.min);
    range.max -= range.min;
    range.min = 0.0f;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Derive

bool TerrainRecord::Derive(const std::function<bool(float)>& progress)
{
    const size_t count = VertexCount();
    if (!HasGrid()) return true;
    ImageRecord heightImage;
    if (!heightmap.Stored())
    {
        heightImage = ImageRecord::Unset(width, height, 1); // every byte written below
        TerrainGrid::HeightmapBytes(positions.data(), count, minHeight, maxHeight, heightImage.pixels.get());
    }
    ImageRecord normalImage;
    if (!normal.Stored()) normalImage = ImageRecord::Unset(width, height, 3);
    // Stopped: nothing half made is left behind.
    std::vector<float> made;
    if (!TerrainGrid::VertexNormals(positions.data(), width, height, made, normalImage.pixels.get(),
                                    progress))
        return false;
    normals = std::move(made);
    if (heightImage.Stored()) heightmap = std::move(heightImage);
    if (normalImage.Stored()) normal = std::move(normalImage);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Complete

namespace
{
bool RefuseRecord(std::string* error, std::string reason)
{
    if (error != nullptr) *error = std::move(reason);
    return false;
}

// Whether an image is one of a width x height grid (1 to 4 channels).
bool FitsAnyChannels(const ImageRecord& image, uint32_t width, uint32_t height)
{
    return image.Stored() && image.width == height && image.height == width && image.channels >= 1 &&
           image.channels <= 4;
}

// An erosion entry's mask: stored, or made by the stack's run; null when neither.
const uint8_t* MaskOf(const TerrainRecord& t, size_t l)
{
    const size_t bytes = 3 * t.VertexCount();
    if (l >= t.layers.size() || t.layers[l].kind != LayerKind::Erosion) return nullptr;
    const LayerRecord& layer = t.layers[l];
    if (layer.image.Stored() && layer.image.ByteSize() == bytes) return layer.image.pixels.get();
    if (layer.erosionCache.result.mask.size() == bytes) return layer.erosionCache.result.mask.data();
    return nullptr;
}

// positions = base with the layer stack applied in list order (base may be positions); the height range.
// Layers whose image does not fit the grid add nothing, as in the editor. The erosion entries keep what they
// made in their caches. False when progress stopped an erosion run.
bool ApplyLayerStack(TerrainRecord& t, const float* base, float* positions, TerrainGrid::HeightRange& range,
                     const LayerStack::ApplyProgress& progress)
{
    std::vector<LayerStack::Entry> entries;
    entries.reserve(t.layers.size());
    for (LayerRecord& layer : t.layers)
        if (layer.kind == LayerKind::Sculpt)
        {
            if (layer.sculpt.size() == t.VertexCount())
                entries.push_back(LayerStack::Entry::Sculpt(layer.sculpt.data()));
        }
        else if (layer.kind == LayerKind::Erosion || FitsAnyChannels(layer.image, t.width, t.height))
            entries.push_back(
                LayerStack::Entry::Layer(layer.kind == LayerKind::Erosion, layer.kind == LayerKind::Noise,
                                         layer.settings, layer.image.pixels.get(), layer.image.channels,
                                         layer.smoothLevels, t.VertexCount(), &layer.erosionCache));
    return LayerStack::Apply(base, positions, t.width, t.height, t.vertexDistance, entries.data(),
                             entries.size(), range, LayerStack::CacheUse::Run, progress,
                             {t.place.world, t.place.i, t.place.j});
}

// The diffuse and specular pixels of the recorded band generation, as Terrain::GenerateDiffuseByHeight
// and GenerateDiffuseBySlope paint them: zeroed buffers, then the bands.
void PaintBands(const TerrainRecord& t, ImageRecord& diffuse, ImageRecord& specular)
{
    const bool slope = t.bands.mode == BandMode::Slope;
    diffuse = ImageRecord::Blank(t.width, t.height, 3, true, slope);
    specular = ImageRecord::Blank(t.width, t.height, 1, true, false);
    if (t.gradients.empty()) return;
    TextureGen::GradientList gradients;
    for (const Gradient& g : t.gradients)
        gradients.push_back(std::make_unique<Gradient>(g));
    const size_t pixels = t.VertexCount();
    if (slope)
    {
        TextureGen::PaintBySlope(gradients, t.normals.data(), pixels, diffuse.pixels.get(),
                                 specular.pixels.get());
        return;
    }
    TextureGen::Mt19937 engine(t.bands.seed);
    if (t.bands.mode == BandMode::Mask)
    {
        const uint8_t* mask = MaskOf(t, t.bands.maskLayer);
        if (mask != nullptr)
            TextureGen::PaintByMask(gradients, mask, t.bands.maskChannel, pixels, engine,
                                    diffuse.pixels.get(), specular.pixels.get());
        return;
    }
    TextureGen::PaintByHeight(gradients, t.heightmap.pixels.get(), pixels, engine, diffuse.pixels.get(),
                              specular.pixels.get());
}

const char* GeneratorName(const GeneratorRecord& generator)
{
    if (generator.fromFile) return "file";
    switch (generator.generator)
    {
    case TerrainGenerator::DiamondSquare:
        return "diamond-square";
    case TerrainGenerator::RandomFault:
        return "random-fault";
    case TerrainGenerator::Flat:
        break;
    }
    return "flat";
}
} // namespace

bool TerrainRecord::Complete(std::string* error, const std::function<bool(float)>& progress)
{
    // The shares of the steps, roughly as they take time on a large grid.
    const auto step = [&progress](float done) { return !progress || progress(done); };
    const auto within = [&progress](float from, float to) {
        return [&progress, from, to](float done) { return !progress || progress(from + (to - from) * done); };
    };
    const auto stop = [error]() { return RefuseRecord(error, "stopped"); };
    if (Empty()) return true;
    const uint32_t W = width;
    const uint32_t H = height;
    const size_t count = VertexCount();

    // Base positions: stored, or the generator's on the regular grid.
    if (basePositions.size() != 3 * count)
    {
        TerrainGrid::HeightRange ignored;
        bool stopped = false;
        const auto generating = within(0.1f, 0.4f);
        if (!GenerateBase(W, H, vertexDistance, generator, basePositions, ignored,
                          [&](float done) { return !(stopped = !generating(done)); }))
        {
            basePositions.clear();
            if (stopped) return stop();
            return RefuseRecord(error, "terrain " + name + " stores no heights and its generator " +
                                           GeneratorName(generator) + " cannot make its " +
                                           std::to_string(W) + " x " + std::to_string(H) + " grid");
        }
    }
    // The grid's texture coordinates and triangles, beside the steps after it, none of which reads them.
    const bool layTexCoords = texCoords.size() != 2 * count;
    const bool layIndices = indices.size() != 6 * (size_t{W} - 1) * (size_t{H} - 1);
    std::future<void> grid;
    if (layTexCoords || layIndices)
        grid = Parallel::RunBeside(
            [this, layTexCoords, layIndices]
            {
                if (layTexCoords) TerrainGrid::GridTexCoords(width, height, texCoords);
                if (layIndices) TerrainGrid::GridIndices(width, height, indices);
            });
    if (layIndices) gridIndices = true;
    if (!step(0.4f)) return stop();

    // Layer images (with the levels of smooth ones) and erosion settings, then the current heights.
    for (size_t l = 0; l < layers.size(); ++l)
    {
        LayerRecord& layer = layers[l];
        const bool smooth = layer.kind == LayerKind::Noise && layer.settings.smoothHeights;
        NoiseGenerator noise;
        if (layer.kind == LayerKind::Noise && !layer.image.Stored())
        {
            layer.image = ImageRecord::Unset(W, H, 1);
            layer.smoothLevels.assign(smooth ? count : 0, 0.0f);
            NoiseLayerPixels(layer.settings, noise, W, H, layer.image.pixels.get(),
                             smooth ? layer.smoothLevels.data() : nullptr, place);
        }
        else if (smooth && layer.smoothLevels.size() != count)
        {
            // The stored pixels stay the truth (they may be painted): only the levels are made.
            std::vector<uint8_t> generated(count);
            layer.smoothLevels.assign(count, 0.0f);
            NoiseLayerPixels(layer.settings, noise, W, H, generated.data(), layer.smoothLevels.data(), place);
        }
        if (layer.kind == LayerKind::Sculpt && layer.sculpt.size() != count) layer.sculpt.assign(count, 0.0f);
        if (layer.kind == LayerKind::Erosion && Erosion::Clamp(layer.settings.erosion))
            Log::Warn("Terrain {} layer {} ({}): erosion settings out of range were brought into range.",
                      name, l, layer.name);
        if (!step(0.4f + 0.1f * static_cast<float>(l + 1) / static_cast<float>(layers.size()))) return stop();
    }
    // Erosion runs report their share of the stack's step.
    const size_t layerCount = std::max<size_t>(1, layers.size());
    const auto stackStep = within(0.5f, 0.8f);
    const LayerStack::ApplyProgress stackProgress = [&](size_t entry, float done)
    { return stackStep((static_cast<float>(entry) + done) / static_cast<float>(layerCount)); };
    bool stackRan = true;
    TerrainGrid::HeightRange range;
    if (positions.size() == 3 * count)
    {
        const bool paintsByMask = bands.mode == BandMode::Mask && (!diffuse.Stored() || !specular.Stored()) &&
                                  MaskOf(*this, bands.maskLayer) == nullptr;
        if (paintsByMask)
        {
            std::vector<float> scratch(3 * count);
            TerrainGrid::HeightRange ignored;
            stackRan = ApplyLayerStack(*this, basePositions.data(), scratch.data(), ignored, stackProgress);
        }
        range = TerrainGrid::Range(positions.data(), count);
    }
    else
    {
        LargeArrays::Copy(positions, basePositions); // the stack then applies in place
        stackRan = ApplyLayerStack(*this, positions.data(), positions.data(), range, stackProgress);
        heightsFollowLayers = true;
        if (!stackRan) positions.clear();
    }
    if (!stackRan || !step(0.8f)) return stop();
    minHeight = range.min;
    maxHeight = range.max;

    // Normals and the images made from the heights.
    const bool makeNormalImage = !normal.Stored();
    if (normals.size() != 3 * count || makeNormalImage)
    {
        ImageRecord normalImage;
        if (makeNormalImage) normalImage = ImageRecord::Unset(W, H, 3);
        if (!TerrainGrid::VertexNormals(positions.data(), W, H, normals,
                                        makeNormalImage ? normalImage.pixels.get() : nullptr,
                                        within(0.8f, 0.95f)))
        {
            normals.clear();
            return stop();
        }
        if (makeNormalImage) normal = std::move(normalImage);
    }
    if (!heightmap.Stored())
    {
        heightmap = ImageRecord::Unset(W, H, 1);
        TerrainGrid::HeightmapBytes(positions.data(), count, minHeight, maxHeight, heightmap.pixels.get());
    }
    if (!watermap.Stored()) watermap = ImageRecord::Blank(W, H, 4, false, false);
    if ((!diffuse.Stored() || !specular.Stored()) && bands.mode != BandMode::None)
    {
        ImageRecord paintedDiffuse;
        ImageRecord paintedSpecular;
        PaintBands(*this, paintedDiffuse, paintedSpecular);
        if (!diffuse.Stored()) diffuse = std::move(paintedDiffuse);
        if (!specular.Stored()) specular = std::move(paintedSpecular);
    }

    // The water plane.
    if (waterPlaneBuilt)
    {
        if (!waterFollowsMap)
        {
            if (waterPlane.normals.size() != waterPlane.positions.size())
            {
                waterPlane.normals.assign(waterPlane.positions.size(), 0.0f);
                for (size_t v = 1; v < waterPlane.normals.size(); v += 3)
                    waterPlane.normals[v] = 1.0f;
            }
        }
        else if (waterPlane.positions.empty())
        {
            waterPlane =
                Water::BuildPlane(watermap.pixels.get(), positions.data(), W, H, vertexDistance, minHeight);
        }
    }
    if (grid.valid()) grid.get();
    return true;
}

// ---------------------------------------------------------------------------------------------
// RegularGrid, TerrainBounds

bool TerrainRecord::RegularGrid() const
{
    const size_t count = VertexCount();
    return IsRegularGrid(basePositions.size() == 3 * count ? basePositions.data() : nullptr,
                         texCoords.size() == 2 * count ? texCoords.data() : nullptr, width, height,
                         vertexDistance);
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
            if (positions != nullptr &&
                (!same(positions[3 * k], (static_cast<float>(i) - halfW) * vertexDistance) ||
                 !same(positions[3 * k + 2], (static_cast<float>(j) - halfH) * vertexDistance)))
                return false;
            if (texCoords != nullptr && (!same(texCoords[2 * k], static_cast<float>(j) * du) ||
                                         !same(texCoords[2 * k + 1], static_cast<float>(i) * dv)))
                return false;
        }
    return true;
}

void TerrainBounds(const float* positions, size_t vertexCount, glm::vec3& low, glm::vec3& high)
{
    float lo[3] = {3.4028235e38f, 3.4028235e38f, 3.4028235e38f};
    float hi[3] = {-3.4028235e38f, -3.4028235e38f, -3.4028235e38f};
    for (size_t k = 0; k < vertexCount; ++k)
        for (int c = 0; c < 3; ++c)
        {
            const float v = positions[3 * k + c];
            if (!std::isfinite(v)) continue;
            lo[c] = std::min(lo[c], v);
            hi[c] = std::max(hi[c], v);
        }
    for (int c = 0; c < 3; ++c)
        if (lo[c] > hi[c]) lo[c] = hi[c] = 0.0f;
    low = glm::vec3(lo[0], lo[1], lo[2]);
    high = glm::vec3(hi[0], hi[1], hi[2]);
}
