// A world of tiles: the checks, a window's record, a tile built and cropped, the common height range,
// the inputs' fingerprint and the editor's tile view.
#include "terrain/World.h"

#include "terrain/Generators.h"
#include "terrain/LayerStack.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace World
{
namespace
{
bool Refuse(std::string* error, std::string reason)
{
    if (error != nullptr) *error = std::move(reason);
    return false;
}

bool FitsWorld(const ImageRecord& image, const WorldSettings& world)
{
    return image.Stored() && image.width == world.Height() && image.height == world.Width() &&
           image.channels >= 1 && image.channels <= 4;
}

bool HasErosion(const TerrainRecord& terrain)
{
    for (const LayerRecord& layer : terrain.layers)
        if (layer.kind == LayerKind::Erosion) return true;
    return false;
}

// The float array of a width x height grid (components per vertex) cut to a window of it.
std::vector<float> CutFloats(const std::vector<float>& values, uint32_t height, uint32_t components,
                             const Window& window)
{
    std::vector<float> out(size_t{window.width} * window.height * components);
    for (uint32_t i = 0; i < window.width; ++i)
    {
        const float* from =
            values.data() +
            ((static_cast<size_t>(window.i) + i) * height + static_cast<size_t>(window.j)) * components;
        std::copy(from, from + size_t{window.height} * components,
                  out.data() + size_t{i} * window.height * components);
    }
    return out;
}

// Text for the fingerprint: every value exactly (floats by their bits).
class Inputs
{
  public:
    Inputs& operator<<(const std::string& text)
    {
        out += text;
        out += ';';
        return *this;
    }
    Inputs& operator<<(const char* text) { return *this << std::string(text); }
    Inputs& operator<<(int64_t value) { return *this << std::to_string(value); }
    Inputs& operator<<(uint64_t value) { return *this << std::to_string(value); }
    Inputs& operator<<(int32_t value) { return *this << static_cast<int64_t>(value); }
    Inputs& operator<<(uint32_t value) { return *this << static_cast<uint64_t>(value); }
    Inputs& operator<<(bool value) { return *this << (value ? "1" : "0"); }
    Inputs& operator<<(float value)
    {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return *this << bits;
    }
    std::string out;
};

// A 64-bit fingerprint of bytes: the layer stack's over whole floats, the rest folded in.
uint64_t BytesFingerprint(const uint8_t* bytes, size_t size)
{
    const size_t whole = size / sizeof(float);
    std::vector<float> words(whole);
    if (whole > 0) std::memcpy(words.data(), bytes, whole * sizeof(float));
    uint64_t hash = LayerStack::Fingerprint(words.data(), whole);
    for (size_t b = whole * sizeof(float); b < size; ++b)
        hash = (hash ^ bytes[b]) * 0x100000001B3ull;
    return hash ^ size;
}
} // namespace

bool Check(const WorldSettings& world, const TerrainRecord& terrain, std::string* error)
{
    const uint32_t T = world.tileSize;
    if (T < 3 || T > kMaxTileSize || !Generators::IsDiamondSquareSize(T, T))
        return Refuse(error, "the world's tile size " + std::to_string(T) + " is not 2^n + 1 from 3 to " +
                                 std::to_string(kMaxTileSize));
    if (world.tilesX < 1 || world.tilesY < 1 || world.tilesX > kMaxTiles || world.tilesY > kMaxTiles)
        return Refuse(error, "the world's tiles across and down must be 1 to " + std::to_string(kMaxTiles) +
                                 ", not " + std::to_string(world.tilesX) + " x " +
                                 std::to_string(world.tilesY));
    if (world.overlap > kMaxOverlap)
        return Refuse(error, "the world's overlap of " + std::to_string(world.overlap) +
                                 " vertices is over " + std::to_string(kMaxOverlap));
    const int64_t border = int64_t{world.overlap} + 1;
    const auto exact = [&](int32_t origin, uint64_t side)
    { return origin - border >= -kMaxIndex && origin + static_cast<int64_t>(side) + border <= kMaxIndex; };
    if (!exact(world.originX, world.Width()) || !exact(world.originY, world.Height()))
        return Refuse(error, "the world's vertex indices reach beyond " + std::to_string(kMaxIndex) +
                                 " (2^24), where floats no longer hold them exactly");
    if (world.fixedRange && !(std::isfinite(world.minHeight) && std::isfinite(world.maxHeight) &&
                              world.minHeight < world.maxHeight))
        return Refuse(error, "the world's height range must have its lowest height below its highest");
    const char* generator = nullptr;
    if (terrain.generator.fromFile)
        generator = "was read from a file, whose heights";
    else if (terrain.generator.generator == TerrainGenerator::DiamondSquare)
        generator = "starts from diamond-square, which";
    else if (terrain.generator.generator == TerrainGenerator::RandomFault)
        generator = "starts from random fault, which";
    for (const LayerRecord& layer : terrain.layers)
        if (layer.kind == LayerKind::Sculpt &&
            std::any_of(layer.sculpt.begin(), layer.sculpt.end(), [](float h) { return h != 0.0f; }))
            return Refuse(error, "terrain " + terrain.name + " has sculpted heights in '" + layer.name +
                                     "', which belong to one grid and cannot tile");
    if (generator != nullptr)
        return Refuse(error, "terrain " + terrain.name + " " + generator +
                                 " cannot tile: a world starts flat and takes its shape from its noise, "
                                 "image and erosion layers");
    return true;
}

bool CheckTile(const WorldSettings& world, uint32_t x, uint32_t y, std::string* error)
{
    if (x < world.tilesX && y < world.tilesY) return true;
    return Refuse(error, "tile " + std::to_string(x) + "," + std::to_string(y) + " is outside the world's " +
                             std::to_string(world.tilesX) + " x " + std::to_string(world.tilesY) +
                             " tiles (x from 0 to " + std::to_string(world.tilesX - 1) + ", y from 0 to " +
                             std::to_string(world.tilesY - 1) + ")");
}

bool ParseTile(const std::string& text, uint32_t& x, uint32_t& y)
{
    unsigned long a = 0, b = 0;
    int used = 0;
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        std::sscanf(text.c_str(), "%lu,%lu%n", &a, &b, &used) != 2 ||
        static_cast<size_t>(used) != text.size() || text.find(",-") != std::string::npos ||
        text.find(", ") != std::string::npos || text.find(",+") != std::string::npos || a > UINT32_MAX ||
        b > UINT32_MAX)
        return false;
    x = static_cast<uint32_t>(a);
    y = static_cast<uint32_t>(b);
    return true;
}

Window TileWindow(const WorldSettings& world, uint32_t x, uint32_t y, uint32_t border)
{
    const int64_t step = int64_t{world.tileSize} - 1;
    return {int64_t{x} * step - border, int64_t{y} * step - border, world.tileSize + 2 * border,
            world.tileSize + 2 * border};
}

Layers::GridPlace PlaceOf(const WorldSettings& world, const Window& window)
{
    return {static_cast<int32_t>(world.originX + window.i), static_cast<int32_t>(world.originY + window.j),
            true};
}

uint32_t BorderOf(const WorldSettings& world, const TerrainRecord& terrain)
{
    return HasErosion(terrain) ? std::max<uint32_t>(world.overlap, 1) : 1;
}

const ImageRecord& WorldImageOf(const LayerRecord& layer)
{
    return layer.worldImage ? *layer.worldImage : layer.image;
}

ImageRecord CutWindow(const ImageRecord& image, const Window& window)
{
    // Image rows are the grid's i, columns its j.
    ImageRecord out = ImageRecord::Copy(nullptr, window.height, window.width, image.channels);
    out.linear = image.linear;
    out.mipmaps = image.mipmaps;
    out.source = image.source;
    out.saveName = image.saveName;
    if (!image.Stored() || image.width == 0 || image.height == 0) return out;
    out.pixels.reset(new uint8_t[out.ByteSize()]);
    const size_t c = image.channels;
    const auto clampTo = [](int64_t v, uint32_t n)
    { return static_cast<size_t>(std::clamp<int64_t>(v, 0, n - 1)); };
    for (uint32_t i = 0; i < window.width; ++i)
    {
        const uint8_t* row = image.pixels.get() + clampTo(window.i + i, image.height) * image.width * c;
        uint8_t* to = out.pixels.get() + size_t{i} * window.height * c;
        for (uint32_t j = 0; j < window.height; ++j)
            std::memcpy(to + j * c, row + clampTo(window.j + j, image.width) * c, c);
    }
    return out;
}

TerrainRecord WindowRecord(const TerrainRecord& terrain, const WorldSettings& world, const Window& window)
{
    TerrainRecord r;
    r.name = terrain.name;
    r.width = window.width;
    r.height = window.height;
    r.vertexDistance = terrain.vertexDistance;
    r.generator = GeneratorRecord{}; // flat
    r.place = PlaceOf(world, window);
    const double tileCells = static_cast<double>(world.tileSize - 1) * (world.tileSize - 1);
    const double areaScale = static_cast<double>(window.width - 1) * (window.height - 1) / tileCells;
    for (const LayerRecord& layer : terrain.layers)
    {
        LayerRecord& l = r.layers.emplace_back();
        l.kind = layer.kind;
        l.name = layer.name;
        l.settings = layer.settings;
        if (layer.kind == LayerKind::Image && FitsWorld(WorldImageOf(layer), world))
            l.image = CutWindow(WorldImageOf(layer), window);
        if (layer.kind == LayerKind::Erosion)
        {
            int32_t& droplets = l.settings.erosion.hydraulic.droplets;
            droplets = static_cast<int32_t>(
                std::clamp(std::llround(std::max(0, droplets) * areaScale), 0ll, 10000000ll));
        }
    }
    r.gradients = terrain.gradients;
    r.bands = terrain.bands;
    r.display = terrain.display;
    return r;
}

bool BuildTile(const TerrainRecord& terrain, const WorldSettings& world, uint32_t x, uint32_t y,
               TerrainRecord& out, std::string* error, const std::function<bool(float)>& progress)
{
    if (!Check(world, terrain, error) || !CheckTile(world, x, y, error)) return false;
    const uint32_t border = BorderOf(world, terrain);
    TerrainRecord r = WindowRecord(terrain, world, TileWindow(world, x, y, border));
    if (!r.Complete(error, progress)) return false;

    // The tile is the window's middle.
    const uint32_t T = world.tileSize;
    const Window crop{border, border, T, T};
    const size_t count = size_t{T} * T;
    TerrainRecord t;
    t.name = r.name;
    t.width = T;
    t.height = T;
    t.vertexDistance = r.vertexDistance;
    t.generator = r.generator;
    t.place = PlaceOf(world, TileWindow(world, x, y));
    const std::vector<float> positions = CutFloats(r.positions, r.height, 3, crop);
    std::vector<float> heights(count);
    for (size_t k = 0; k < count; ++k)
        heights[k] = positions[3 * k + 1];
    TerrainGrid::GridPositions(T, T, t.vertexDistance, heights.data(), 0.0f, t.positions);
    TerrainGrid::GridPositions(T, T, t.vertexDistance, nullptr, 0.0f, t.basePositions);
    t.heightsFollowLayers = false;
    const TerrainGrid::HeightRange range = TerrainGrid::Range(t.positions.data(), count);
    t.minHeight = range.min;
    t.maxHeight = range.max;
    t.normals = CutFloats(r.normals, r.height, 3, crop);
    TerrainGrid::GridTexCoords(T, T, t.texCoords);
    TerrainGrid::GridIndices(T, T, t.indices);
    t.gridIndices = true;
    t.heightmap = ImageRecord::Unset(T, T, 1);
    TerrainGrid::HeightmapBytes(t.positions.data(), count, t.minHeight, t.maxHeight,
                                t.heightmap.pixels.get());
    t.normal = CutWindow(r.normal, crop);
    if (r.diffuse.Stored()) t.diffuse = CutWindow(r.diffuse, crop);
    if (r.specular.Stored()) t.specular = CutWindow(r.specular, crop);
    t.watermap = ImageRecord::Blank(T, T, 4, false, false);
    for (const LayerRecord& layer : r.layers)
    {
        LayerRecord& l = t.layers.emplace_back();
        l.kind = layer.kind;
        l.name = layer.name;
        l.settings = layer.settings;
        if (layer.image.Stored()) l.image = CutWindow(layer.image, crop);
        if (layer.smoothLevels.size() == r.VertexCount())
            l.smoothLevels = CutFloats(layer.smoothLevels, r.height, 1, crop);
    }
    t.gradients = std::move(r.gradients);
    t.bands = r.bands;
    t.display = r.display;
    out = std::move(t);
    return true;
}

void HeightRange(const TerrainRecord& terrain, const WorldSettings& world, float& low, float& high)
{
    if (world.fixedRange)
    {
        low = world.minHeight;
        high = world.maxHeight;
        return;
    }
    double lo = 0.0;
    double hi = 0.0;
    int hydraulic = 0;
    for (const LayerRecord& layer : terrain.layers)
    {
        if (layer.kind == LayerKind::Erosion)
        {
            hydraulic += layer.settings.erosion.method == Erosion::Method::Hydraulic ? 1 : 0;
            continue;
        }
        if (layer.kind == LayerKind::Sculpt) continue; // all zero in a world
        if (layer.kind == LayerKind::Image && !FitsWorld(WorldImageOf(layer), world)) continue;
        const double reach = 255.0 * 0.003921569 * layer.settings.power;
        if (!std::isfinite(reach)) continue;
        (reach > 0.0 ? hi : lo) += reach;
    }
    const double span = hi - lo;
    lo -= 0.1 * hydraulic * span;
    hi += 0.1 * hydraulic * span;
    // Room for the float sums' rounding; a flat world still gets a range.
    const double margin = 1e-5 * span + 1e-6;
    low = static_cast<float>(lo - margin);
    high = static_cast<float>(hi + margin);
}

std::string TileName(const std::string& name, uint32_t x, uint32_t y)
{
    return name + "_x" + std::to_string(x) + "_y" + std::to_string(y);
}

uint64_t InputsFingerprint(const TerrainRecord& terrain, const WorldSettings& world, uint32_t x, uint32_t y,
                           const std::string& options)
{
    Inputs in;
    in << "velmoran world tile 1" << options << x << y;
    in << world.tileSize << world.tilesX << world.tilesY << world.originX << world.originY << world.overlap
       << world.fixedRange << world.minHeight << world.maxHeight;
    const GeneratorRecord& g = terrain.generator;
    in << terrain.name << terrain.vertexDistance << static_cast<uint32_t>(g.generator) << g.fromFile;
    for (const LayerRecord& layer : terrain.layers)
    {
        const LayerSettings& s = layer.settings;
        in << static_cast<uint32_t>(layer.kind) << s.power << s.seed << s.frequency << s.offsetX << s.offsetY
           << s.octaves << s.gain << s.lacunarity << s.noiseTypeName << s.fractalTypeName << s.noiseType
           << s.fractalType << s.smoothHeights;
        const Erosion::HydraulicSettings& h = s.erosion.hydraulic;
        in << static_cast<int32_t>(s.erosion.method) << h.droplets << h.seed << h.inertia << h.capacity
           << h.deposition << h.erosion << h.evaporation << h.radius << h.maxSteps << h.gravity << h.minSlope
           << s.erosion.thermal.talusAngle << s.erosion.thermal.iterations << s.erosion.thermal.strength;
        const ImageRecord& image = WorldImageOf(layer);
        if (layer.kind == LayerKind::Image && image.Stored())
            in << image.width << image.height << image.channels
               << BytesFingerprint(image.pixels.get(), image.ByteSize());
    }
    for (const Gradient& gradient : terrain.gradients)
        in << gradient.heightSpan << gradient.decay << gradient.slopeSpan << gradient.color.x
           << gradient.color.y << gradient.color.z << gradient.color.w << gradient.specular;
    in << static_cast<uint32_t>(terrain.bands.mode) << terrain.bands.seed << terrain.bands.maskLayer
       << terrain.bands.maskChannel;
    return BytesFingerprint(reinterpret_cast<const uint8_t*>(in.out.data()), in.out.size());
}

void ToTileView(TerrainRecord& terrain, const WorldSettings& world)
{
    const Window tile = TileWindow(world, world.tileX, world.tileY);
    terrain.place = PlaceOf(world, tile);
    for (LayerRecord& layer : terrain.layers)
        if (layer.kind == LayerKind::Image && !layer.worldImage && FitsWorld(layer.image, world))
        {
            auto whole = std::make_shared<const ImageRecord>(std::move(layer.image));
            layer.image = CutWindow(*whole, tile);
            layer.worldImage = std::move(whole);
        }
}

TerrainRecord TileViewRecord(const TerrainRecord& terrain, const WorldSettings& world)
{
    TerrainRecord r = WindowRecord(terrain, world, TileWindow(world, world.tileX, world.tileY));
    for (size_t l = 0; l < terrain.layers.size(); ++l)
    {
        const LayerRecord& layer = terrain.layers[l];
        if (layer.kind != LayerKind::Image) continue;
        if (FitsWorld(WorldImageOf(layer), world))
            r.layers[l].worldImage =
                layer.worldImage ? layer.worldImage : std::make_shared<const ImageRecord>(layer.image);
        else
            r.layers[l].image = layer.image;
    }
    return r;
}

ImageRecord WorldFormImage(const LayerRecord& layer, const WorldSettings& world)
{
    const Window tile = TileWindow(world, world.tileX, world.tileY);
    const ImageRecord& shown = layer.image;
    ImageRecord whole;
    if (layer.worldImage)
        whole = *layer.worldImage;
    else if (layer.kind == LayerKind::Image && shown.Stored() && shown.width == tile.height &&
             shown.height == tile.width && world.Width() <= kMaxImageSide && world.Height() <= kMaxImageSide)
    {
        // An image loaded on the tile covers the tile; the rest of the world adds nothing.
        whole =
            ImageRecord::Blank(static_cast<uint32_t>(world.Width()), static_cast<uint32_t>(world.Height()),
                               shown.channels, shown.linear, shown.mipmaps);
    }
    else
        return shown;
    if (shown.Stored() && shown.width == tile.height && shown.height == tile.width &&
        shown.channels == whole.channels && FitsWorld(whole, world))
    {
        const size_t c = whole.channels;
        for (uint32_t i = 0; i < tile.width; ++i)
            std::memcpy(whole.pixels.get() +
                            ((static_cast<size_t>(tile.i) + i) * whole.width + static_cast<size_t>(tile.j)) *
                                c,
                        shown.pixels.get() + size_t{i} * shown.width * c, shown.width * c);
    }
    whole.source = shown.source;
    whole.saveName = shown.saveName;
    return whole;
}

void ToWorldForm(TerrainRecord& terrain, const WorldSettings& world)
{
    for (LayerRecord& layer : terrain.layers)
        if (layer.worldImage || layer.kind == LayerKind::Image)
        {
            layer.image = WorldFormImage(layer, world);
            layer.worldImage.reset();
        }
}
} // namespace World
