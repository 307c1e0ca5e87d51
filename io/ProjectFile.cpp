// The project file: manifest and parts in a zip container.
//   - Manifest writing: the model as JSON, the arrays and images as a list of parts
//   - Saving: the archive built in memory, then written through AtomicFile
//   - Manifest reading: JSON checked field by field into a fresh model, with the parts it expects
//   - Opening: entry names and sizes checked against the manifest before anything is inflated, then
//     every part read with its size bounded while it inflates
#include "io/ProjectFile.h"

#include "engine/AtomicFile.h"
#include "engine/LargeArrays.h"

#include <nlohmann/json.hpp>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "parts are stored little-endian as in memory");

using json = nlohmann::json;

namespace
{
// Parts are named by their place in the project; the reader only requires the names to match.
struct PartOut
{
    std::string name;
    const void* data = nullptr;
    size_t bytes = 0;
};

// Fixed modification time of every entry, so that saving the same project gives the same bytes.
constexpr time_t kEntryTime = 315532800 + 86400; // 2 January 1980

// ---------------------------------------------------------------------------------------------
// Manifest writing

// Floats as the shortest decimal that reads back to the same float; non-finite values as strings
// ("nan", "inf", "-inf"), which JSON numbers cannot hold.
json Float(float value)
{
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[32];
    for (int digits = 6; digits <= 9; ++digits)
    {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        const double shortest = std::strtod(text, nullptr);
        if (static_cast<float>(shortest) == value && std::signbit(shortest) == std::signbit(value))
            return shortest;
    }
    return static_cast<double>(value);
}

// The names the manifest gives the record's kinds and modes, in the order of their enumerators.
constexpr const char* kBandModes[] = {"none", "height", "slope", "mask"};
constexpr const char* kMaskChannels[] = {"removed", "deposited", "flow"};
constexpr const char* kDisplays[] = {"none", "heightmap", "normal", "diffuse", "specular"};
constexpr const char* kLayerKinds[] = {"noise", "image", "erosion", "sculpt"};
constexpr const char* kGeneratorKinds[] = {"flat", "diamond-square", "random-fault", "file"};

// The place of a name in one of these lists (the reader has checked that it is there).
template <size_t N> size_t IndexOf(const char* const (&names)[N], const std::string& name)
{
    size_t n = 0;
    while (n + 1 < N && name != names[n])
        ++n;
    return n;
}

const char* LayerKindName(LayerKind kind)
{
    return kLayerKinds[static_cast<size_t>(kind)];
}

const char* GeneratorKind(const GeneratorRecord& generator)
{
    return generator.fromFile ? kGeneratorKinds[3]
                              : kGeneratorKinds[static_cast<size_t>(generator.generator)];
}

json Vec(const float* values, int count)
{
    json array = json::array();
    for (int i = 0; i < count; ++i)
        array.push_back(Float(values[i]));
    return array;
}

class ManifestWriter
{
  public:
    std::vector<PartOut> parts;
    std::deque<std::vector<float>> staged; // arrays made for the file, which parts point into
    std::deque<ImageRecord> stagedImages;  // the same for images

    json Part(std::string name, const void* data, size_t bytes)
    {
        parts.push_back({name, data, bytes});
        return {{"part", std::move(name)}};
    }

    json Image(const std::string& name, const ImageRecord& image)
    {
        json j = Part(name, image.pixels.get(), image.Stored() ? image.ByteSize() : 0);
        j["width"] = image.width;
        j["height"] = image.height;
        j["channels"] = image.channels;
        j["filter"] = image.linear ? "linear" : "nearest";
        j["mipmaps"] = image.mipmaps;
        j["source"] = image.source;
        j["saveName"] = image.saveName;
        return j;
    }

    json Floats(const std::string& name, const std::vector<float>& values)
    {
        return Part(name, values.data(), values.size() * sizeof(float));
    }

    // One component (0 x, 1 y, 2 z) of every position, or x and z, as a part of its own.
    json Components(const std::string& name, const std::vector<float>& positions,
                    std::initializer_list<int> of)
    {
        std::vector<float>& out = staged.emplace_back();
        out.reserve(positions.size() / 3 * of.size());
        for (size_t k = 0; k + 2 < positions.size(); k += 3)
            for (const int c : of)
                out.push_back(positions[k + static_cast<size_t>(c)]);
        return Floats(name, out);
    }

    static json ErosionJson(const Erosion::Settings& e)
    {
        const Erosion::HydraulicSettings& h = e.hydraulic;
        const Erosion::ThermalSettings& t = e.thermal;
        return {{"method", e.method == Erosion::Method::Thermal ? "thermal" : "hydraulic"},
                {"hydraulic",
                 {{"droplets", h.droplets},
                  {"seed", h.seed},
                  {"inertia", Float(h.inertia)},
                  {"capacity", Float(h.capacity)},
                  {"deposition", Float(h.deposition)},
                  {"erosion", Float(h.erosion)},
                  {"evaporation", Float(h.evaporation)},
                  {"radius", h.radius},
                  {"maxSteps", h.maxSteps},
                  {"gravity", Float(h.gravity)},
                  {"minSlope", Float(h.minSlope)}}},
                {"thermal",
                 {{"talusAngle", Float(t.talusAngle)},
                  {"iterations", t.iterations},
                  {"strength", Float(t.strength)}}}};
    }

    // What the record holds is stored, except what Complete makes again exactly: positions that
    // follow the layers, the regular grid's x, z and texture coordinates, a water plane that follows
    // the water map, and the normals, triangles and erosion results.
    json Terrain(const TerrainRecord& t, size_t index, const WorldSettings* world)
    {
        const std::string prefix = "terrain" + std::to_string(index) + "/";
        const size_t count = t.VertexCount();
        json j;
        j["name"] = t.name;
        j["width"] = t.width;
        j["height"] = t.height;
        j["vertexDistance"] = Float(t.vertexDistance);
        j["generator"] = {{"kind", GeneratorKind(t.generator)},
                          {"range", Float(t.generator.parameter1)},
                          {"roughness", Float(t.generator.parameter2)},
                          {"iterations", t.generator.iterations},
                          {"seed", t.generator.seed}};
        const bool hasBase = count > 0 && t.basePositions.size() == 3 * count;
        if (hasBase) j["baseHeights"] = Components(prefix + "base_heights.f32", t.basePositions, {1});
        if (count > 0 && !t.RegularGrid())
        {
            if (hasBase) j["gridXZ"] = Components(prefix + "grid_xz.f32", t.basePositions, {0, 2});
            if (t.texCoords.size() == 2 * count)
                j["texCoords"] = Floats(prefix + "texcoords.f32", t.texCoords);
        }
        if (count > 0 && t.positions.size() == 3 * count && !t.heightsFollowLayers)
            j["heights"] = Components(prefix + "heights.f32", t.positions, {1});

        json layers = json::array();
        for (size_t l = 0; l < t.layers.size(); ++l)
        {
            const LayerRecord& layer = t.layers[l];
            const LayerSettings& s = layer.settings;
            const char* kind = LayerKindName(layer.kind);
            json entry{{"kind", kind}, {"name", layer.name}};
            if (layer.kind == LayerKind::Noise)
                entry[kind] = {{"power", Float(s.power)},
                               {"seed", s.seed},
                               {"frequency", Float(s.frequency)},
                               {"offsetX", Float(s.offsetX)},
                               {"offsetY", Float(s.offsetY)},
                               {"octaves", s.octaves},
                               {"gain", Float(s.gain)},
                               {"lacunarity", Float(s.lacunarity)},
                               {"noiseTypeName", s.noiseTypeName},
                               {"fractalTypeName", s.fractalTypeName},
                               {"noiseType", s.noiseType},
                               {"fractalType", s.fractalType},
                               {"smoothHeights", s.smoothHeights}};
            else if (layer.kind == LayerKind::Erosion)
                entry[kind] = ErosionJson(s.erosion);
            else if (layer.kind == LayerKind::Sculpt)
                entry[kind] = json::object(); // no settings: its heights are all there is
            else
                entry[kind] = {{"power", Float(s.power)}};
            if (layer.kind == LayerKind::Sculpt && count > 0 && layer.sculpt.size() == count)
                entry["heights"] = Floats(prefix + "layer" + std::to_string(l) + ".f32", layer.sculpt);
            // A world's image layer keeps the whole world's image (the editor shows a window of it).
            const ImageRecord& pixels =
                (layer.worldImage || layer.kind == LayerKind::Image) && world != nullptr
                    ? stagedImages.emplace_back(World::WorldFormImage(layer, *world))
                    : layer.image;
            if (pixels.Stored())
                entry["pixels"] = Image(prefix + "layer" + std::to_string(l) + ".u8", pixels);
            layers.push_back(std::move(entry));
        }
        j["layers"] = std::move(layers);

        json gradients = json::array();
        for (const Gradient& g : t.gradients)
            gradients.push_back({{"heightSpan", g.heightSpan},
                                 {"decay", g.decay},
                                 {"slopeSpan", Float(g.slopeSpan)},
                                 {"color", Vec(&g.color.x, 4)},
                                 {"specular", Float(g.specular)}});
        j["gradients"] = std::move(gradients);
        j["bands"] = {{"mode", kBandModes[static_cast<size_t>(t.bands.mode)]}, {"seed", t.bands.seed}};
        if (t.bands.mode == BandMode::Mask)
        {
            j["bands"]["layer"] = t.bands.maskLayer;
            j["bands"]["channel"] = kMaskChannels[t.bands.maskChannel > 2 ? 0 : t.bands.maskChannel];
        }

        json textures = json::object();
        const std::pair<const char*, const ImageRecord*> images[] = {{"heightmap", &t.heightmap},
                                                                     {"normal", &t.normal},
                                                                     {"diffuse", &t.diffuse},
                                                                     {"specular", &t.specular},
                                                                     {"watermap", &t.watermap}};
        for (const auto& [key, image] : images)
            if (image->Stored()) textures[key] = Image(prefix + key + ".u8", *image);
        j["textures"] = std::move(textures);
        j["display"] = kDisplays[static_cast<size_t>(t.display)];

        json water{{"built", t.waterPlaneBuilt}};
        if (t.waterPlaneBuilt && !t.waterFollowsMap)
        {
            const Water::PlaneMesh& m = t.waterPlane;
            water["stored"] = {{"vertices", m.positions.size() / 3},
                               {"indices", m.indices.size()},
                               {"positions", Floats(prefix + "water_positions.f32", m.positions)},
                               {"texCoords", Floats(prefix + "water_texcoords.f32", m.texCoords)},
                               {"triangles", Part(prefix + "water_indices.u32", m.indices.data(),
                                                  m.indices.size() * sizeof(uint32_t))}};
        }
        j["waterPlane"] = std::move(water);
        return j;
    }

    json Manifest(const Project& project)
    {
        json j;
        j["format"] = ProjectFile::kFormatName;
        j["version"] = Project::kFormatVersion;
        j["sceneCounter"] = project.sceneCounter;
        j["aspectRatioIndex"] = project.aspectRatioIndex;
        json shaders = json::array();
        for (const ProjectShader& s : project.shaders)
            shaders.push_back({{"vertex", s.vertexPath}, {"fragment", s.fragmentPath}});
        j["shaders"] = std::move(shaders);

        json cameras = json::array();
        for (const ProjectCamera& c : project.cameras)
            cameras.push_back({{"name", c.name},
                               {"viewHeight", Float(c.viewHeight)},
                               {"aspectRatio", Float(c.aspectRatio)},
                               {"zNear", Float(c.zNear)},
                               {"zFar", Float(c.zFar)},
                               {"fov", Float(c.fov)},
                               {"speed", Float(c.speed)},
                               {"yaw", Float(c.yaw)},
                               {"pitch", Float(c.pitch)},
                               {"perspective", c.perspective},
                               {"rotate", c.rotate},
                               {"position", Vec(&c.position.x, 3)},
                               {"up", Vec(&c.up.x, 3)},
                               {"front", Vec(&c.front.x, 3)},
                               {"listed", c.listed}});
        j["cameras"] = std::move(cameras);

        json scenes = json::array();
        for (const ProjectScene& s : project.scenes)
        {
            json shader = s.hasShader
                              ? json{{"vertex", s.shader.vertexPath}, {"fragment", s.shader.fragmentPath}}
                              : json(nullptr);
            scenes.push_back({{"sceneId", s.sceneId},
                              {"name", s.name},
                              {"camera", s.camera},
                              {"terrain", s.terrain},
                              {"shader", std::move(shader)},
                              {"isNew", s.isNew},
                              {"showWindow", s.showWindow},
                              {"showManage", s.showManage},
                              {"showCameraControl", s.showCameraControl},
                              {"showTerrainGenerator", s.showTerrainGenerator},
                              {"ratio", {Float(s.ratioWidth), Float(s.ratioHeight)}},
                              {"useBackground", s.useBackground},
                              {"wireframe", s.wireframe},
                              {"clearColor", Vec(&s.clearColor.x, 4)}});
        }
        j["scenes"] = std::move(scenes);

        json terrains = json::array();
        const WorldSettings* world = project.world ? &*project.world : nullptr;
        for (size_t t = 0; t < project.terrains.size(); ++t)
            terrains.push_back(
                Terrain(project.terrains[t], t, world != nullptr && world->terrain == t ? world : nullptr));
        j["terrains"] = std::move(terrains);
        if (world != nullptr)
        {
            json w{{"terrain", world->terrain},
                   {"tileSize", world->tileSize},
                   {"tiles", {world->tilesX, world->tilesY}},
                   {"origin", {world->originX, world->originY}},
                   {"overlap", world->overlap},
                   {"tile", {world->tileX, world->tileY}}};
            if (world->fixedRange) w["heightRange"] = {Float(world->minHeight), Float(world->maxHeight)};
            j["world"] = std::move(w);
        }
        return j;
    }
};

std::string ZipReason(zip_error_t* error)
{
    switch (zip_error_code_zip(error))
    {
    case ZIP_ER_NOZIP:
        return "it is not a project file, or it is truncated (no zip directory)";
    case ZIP_ER_INCONS:
        return "it is damaged or truncated (its zip directory is inconsistent)";
    case ZIP_ER_NOENT:
        return "it does not exist";
    case ZIP_ER_EXISTS:
        return "it holds two parts of the same name";
    case ZIP_ER_MEMORY:
        return "there is not enough memory";
    case ZIP_ER_CANCELLED:
        return "it was cancelled";
    default:
        return zip_error_strerror(error);
    }
}

bool Fail(std::string* error, std::string reason)
{
    if (error != nullptr) *error = std::move(reason);
    return false;
}

// ---------------------------------------------------------------------------------------------
// Saving

// Deflate earns its time on images and smooth or repeated arrays, but gains under a tenth on float
// heights with noisy low bits at a tenth of its usual speed: a part whose samples do not shrink below
// kStoreAbove of their size is stored as it is.
constexpr double kStoreAbove = 0.85;

bool WorthDeflating(const void* data, size_t bytes, int level)
{
    constexpr size_t kSample = size_t(16) << 10;
    if (bytes <= 4 * kSample) return true;
    const auto* base = static_cast<const uint8_t*>(data);
    std::vector<Bytef> packed(compressBound(kSample));
    size_t in = 0;
    size_t out = 0;
    for (const size_t offset : {size_t{0}, (bytes - kSample) / 2, bytes - kSample})
    {
        uLongf packedSize = static_cast<uLongf>(packed.size());
        if (compress2(packed.data(), &packedSize, base + offset, kSample, level) != Z_OK) return true;
        in += kSample;
        out += packedSize;
    }
    return static_cast<double>(out) < kStoreAbove * static_cast<double>(in);
}

struct SaveProgress
{
    const ProjectProgress* callback = nullptr;
    bool cancelled = false;
};

void OnZipProgress(zip_t*, double fraction, void* context)
{
    auto* state = static_cast<SaveProgress*>(context);
    if (*state->callback && !(*state->callback)(static_cast<float>(0.9 * fraction))) state->cancelled = true;
}

int OnZipCancel(zip_t*, void* context)
{
    return static_cast<SaveProgress*>(context)->cancelled ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Manifest reading

// Where a part's bytes go once it is read, and how many the manifest says it holds.
struct PartIn
{
    std::string name;
    uint64_t bytes = 0;
    std::unique_ptr<uint8_t[]>* u8 = nullptr;
    std::vector<float>* f32 = nullptr;
    std::vector<uint32_t>* u32 = nullptr;
};

// A terrain's grid as the file stores it: heights apart from x and z, which the regular grid gives
// unless stored. Laid into the record's positions once every part is read.
struct StoredGrid
{
    std::vector<float> baseHeights;
    std::vector<float> gridXZ;
    std::vector<float> heights;
};

// positions = x and z of the regular grid (or the stored gridXZ), y the stored heights as they are.
void LayGrid(const TerrainRecord& t, const std::vector<float>& heights, const std::vector<float>& gridXZ,
             std::vector<float>& positions)
{
    const size_t count = t.VertexCount();
    TerrainGrid::GridPositions(t.width, t.height, t.vertexDistance, nullptr, 0.0f, positions);
    const bool xz = gridXZ.size() == 2 * count;
    for (size_t k = 0; k < count; ++k)
    {
        positions[3 * k + 1] = heights[k];
        if (!xz) continue;
        positions[3 * k] = gridXZ[2 * k];
        positions[3 * k + 2] = gridXZ[2 * k + 1];
    }
}

void LayStoredGrid(TerrainRecord& t, const StoredGrid& grid)
{
    const size_t count = t.VertexCount();
    if (count == 0) return;
    if (grid.baseHeights.size() == count)
    {
        LayGrid(t, grid.baseHeights, grid.gridXZ, t.basePositions);
    }
    else if (grid.gridXZ.size() == 2 * count)
    {
        // A grid of its own without base heights (a file trimmed by hand): the generator's heights on it.
        TerrainGrid::HeightRange ignored;
        if (TerrainRecord::GenerateBase(t.width, t.height, t.vertexDistance, t.generator, t.basePositions,
                                        ignored))
            for (size_t k = 0; k < count; ++k)
            {
                t.basePositions[3 * k] = grid.gridXZ[2 * k];
                t.basePositions[3 * k + 2] = grid.gridXZ[2 * k + 1];
            }
    }
    if (grid.heights.size() == count)
    {
        LayGrid(t, grid.heights, grid.gridXZ, t.positions);
        t.heightsFollowLayers = false;
    }
}

class Invalid
{
  public:
    explicit Invalid(std::string reason) : reason(std::move(reason)) {}
    std::string reason;
};

class ManifestReader
{
  public:
    std::vector<PartIn> parts;
    std::vector<StoredGrid> grids; // one per terrain

    void Read(const json& j, Project& project)
    {
        if (!j.is_object()) throw Invalid("its manifest is not a JSON object");
        if (!j.contains("format") || !j["format"].is_string() ||
            j["format"].get<std::string>() != ProjectFile::kFormatName)
            throw Invalid("it is not a Velmoran project (its manifest names no project format)");
        const uint32_t version = UInt(j, "version", "the manifest");
        if (version > Project::kFormatVersion)
            throw Invalid("it was written by a newer version of Velmoran (project format " +
                          std::to_string(version) + "; this version reads format " +
                          std::to_string(Project::kFormatVersion) + ")");
        if (version == 0) throw Invalid("its project format version 0 is unknown");

        project.sceneCounter = UInt(j, "sceneCounter", "the manifest");
        project.aspectRatioIndex = Int(j, "aspectRatioIndex", "the manifest");
        if (project.aspectRatioIndex < 0 || project.aspectRatioIndex > 3)
            throw Invalid("the manifest: aspectRatioIndex must be 0 to 3");

        const json& shaders = Array(j, "shaders", "the manifest", kMaxListed);
        for (size_t i = 0; i < shaders.size(); ++i)
            project.shaders.push_back(Shader(shaders[i], "shader " + std::to_string(i)));

        const json& cameras = Array(j, "cameras", "the manifest", kMaxListed);
        for (size_t i = 0; i < cameras.size(); ++i)
            project.cameras.push_back(Camera(cameras[i], "camera " + std::to_string(i)));

        // Parts are read later into these records: the lists are sized first so that they never move.
        const json& terrains = Array(j, "terrains", "the manifest", kMaxListed);
        // Added later, and only in a world's project: its terrain's image layers are of the world's size.
        if (j.contains("world"))
        {
            project.world = WorldObject(j["world"], terrains.size());
            worldImageSide = static_cast<uint32_t>(std::max(project.world->Width(), project.world->Height()));
        }
        project.terrains.resize(terrains.size());
        grids.resize(terrains.size());
        for (size_t i = 0; i < terrains.size(); ++i)
        {
            worldTerrain = project.world && project.world->terrain == i;
            Terrain(terrains[i], "terrain " + std::to_string(i), project.terrains[i], grids[i]);
        }
        worldTerrain = false;
        std::string reason;
        if (project.world && !World::Check(*project.world, project.terrains[project.world->terrain], &reason))
            throw Invalid("the world: " + reason);

        const json& scenes = Array(j, "scenes", "the manifest", kMaxListed);
        std::set<uint32_t> ids;
        for (size_t i = 0; i < scenes.size(); ++i)
        {
            const std::string where = "scene " + std::to_string(i);
            ProjectScene scene = Scene(scenes[i], where);
            if (scene.camera < -1 || scene.camera >= static_cast<int64_t>(project.cameras.size()))
                throw Invalid(where + ": camera " + std::to_string(scene.camera) +
                              " is not in the camera list");
            if (scene.terrain < -1 || scene.terrain >= static_cast<int64_t>(project.terrains.size()))
                throw Invalid(where + ": terrain " + std::to_string(scene.terrain) +
                              " is not in the terrain list");
            if (!ids.insert(scene.sceneId).second)
                throw Invalid(where + ": scene identity " + std::to_string(scene.sceneId) + " is used twice");
            // The next scene must not repeat an identity.
            if (scene.sceneId == std::numeric_limits<uint32_t>::max())
                throw Invalid(where + ": scene identity " + std::to_string(scene.sceneId) + " is too large");
            project.sceneCounter = std::max(project.sceneCounter, scene.sceneId + 1);
            project.scenes.push_back(std::move(scene));
        }
    }

  private:
    static constexpr size_t kMaxListed = 4096;
    // A world's image layers may be larger than a terrain, up to this side.
    static constexpr uint32_t kMaxWorldImageSide = World::kMaxImageSide;
    bool worldTerrain = false; // reading the world's terrain
    uint32_t worldImageSide = 0;

    WorldSettings WorldObject(const json& j, size_t terrainCount)
    {
        const std::string where = "the world";
        WorldSettings w;
        w.terrain = UInt(j, "terrain", where);
        if (w.terrain >= terrainCount)
            throw Invalid(where + ": terrain " + std::to_string(w.terrain) + " is not in the terrain list");
        w.tileSize = UInt(j, "tileSize", where);
        uint32_t pair[2];
        WholePair(j, "tiles", where, pair);
        w.tilesX = pair[0];
        w.tilesY = pair[1];
        const json& origin = Member(j, "origin", where);
        if (!origin.is_array() || origin.size() != 2)
            throw Invalid(where + ": origin must be a list of 2 whole numbers");
        w.originX = Int(json{{"origin", origin[0]}}, "origin", where);
        w.originY = Int(json{{"origin", origin[1]}}, "origin", where);
        w.overlap = UInt(j, "overlap", where);
        WholePair(j, "tile", where, pair);
        w.tileX = pair[0];
        w.tileY = pair[1];
        if (j.contains("heightRange"))
        {
            float range[2];
            Floats(j, "heightRange", where, range, 2);
            w.fixedRange = true;
            w.minHeight = range[0];
            w.maxHeight = range[1];
        }
        // The terrain's generator is checked once the terrains are read.
        std::string reason;
        TerrainRecord flat;
        if (!World::Check(w, flat, &reason) || !World::CheckTile(w, w.tileX, w.tileY, &reason))
            throw Invalid(where + ": " + reason);
        return w;
    }

    static void WholePair(const json& object, const char* key, const std::string& where, uint32_t* out)
    {
        const json& value = Member(object, key, where);
        if (!value.is_array() || value.size() != 2)
            throw Invalid(where + ": " + key + " must be a list of 2 whole numbers");
        for (int k = 0; k < 2; ++k)
            out[k] = UInt(json{{key, value[k]}}, key, where);
    }

    static const json& Member(const json& object, const char* key, const std::string& where)
    {
        if (!object.is_object()) throw Invalid(where + " is not a JSON object");
        const auto found = object.find(key);
        if (found == object.end()) throw Invalid(where + ": " + key + " is missing");
        return *found;
    }

    static uint64_t Whole(const json& object, const char* key, const std::string& where, uint64_t largest)
    {
        const json& value = Member(object, key, where);
        if (!value.is_number_unsigned() || value.get<uint64_t>() > largest)
            throw Invalid(where + ": " + key + " must be a whole number from 0 to " +
                          std::to_string(largest));
        return value.get<uint64_t>();
    }

    static uint32_t UInt(const json& object, const char* key, const std::string& where)
    {
        return static_cast<uint32_t>(Whole(object, key, where, std::numeric_limits<uint32_t>::max()));
    }

    static int32_t Int(const json& object, const char* key, const std::string& where)
    {
        const json& value = Member(object, key, where);
        if (!value.is_number_integer() || (value.is_number_unsigned() && value.get<uint64_t>() > INT32_MAX) ||
            (!value.is_number_unsigned() &&
             (value.get<int64_t>() < INT32_MIN || value.get<int64_t>() > INT32_MAX)))
            throw Invalid(where + ": " + key + " must be a whole number from " + std::to_string(INT32_MIN) +
                          " to " + std::to_string(INT32_MAX));
        return static_cast<int32_t>(value.get<int64_t>());
    }

    static float FloatOf(const json& value, const std::string& what)
    {
        if (value.is_number()) return static_cast<float>(value.get<double>());
        if (value.is_string())
        {
            const std::string text = value.get<std::string>();
            if (text == "nan") return std::numeric_limits<float>::quiet_NaN();
            if (text == "inf") return std::numeric_limits<float>::infinity();
            if (text == "-inf") return -std::numeric_limits<float>::infinity();
        }
        throw Invalid(what + " must be a number");
    }

    static float Float(const json& object, const char* key, const std::string& where)
    {
        return FloatOf(Member(object, key, where), where + ": " + key);
    }

    static void Floats(const json& object, const char* key, const std::string& where, float* out,
                       size_t count)
    {
        const json& value = Member(object, key, where);
        if (!value.is_array() || value.size() != count)
            throw Invalid(where + ": " + key + " must be a list of " + std::to_string(count) + " numbers");
        for (size_t i = 0; i < count; ++i)
            out[i] = FloatOf(value[i], where + ": " + key);
    }

    static bool Bool(const json& object, const char* key, const std::string& where)
    {
        const json& value = Member(object, key, where);
        if (!value.is_boolean()) throw Invalid(where + ": " + key + " must be true or false");
        return value.get<bool>();
    }

    static std::string String(const json& object, const char* key, const std::string& where)
    {
        const json& value = Member(object, key, where);
        if (!value.is_string()) throw Invalid(where + ": " + key + " must be a text");
        return value.get<std::string>();
    }

    static std::string OneOf(const json& object, const char* key, const std::string& where,
                             std::initializer_list<const char*> allowed)
    {
        std::string value = String(object, key, where);
        for (const char* a : allowed)
            if (value == a) return value;
        throw Invalid(where + ": " + key + " '" + value + "' is unknown");
    }

    static const json& Array(const json& object, const char* key, const std::string& where, size_t largest)
    {
        const json& value = Member(object, key, where);
        if (!value.is_array()) throw Invalid(where + ": " + key + " must be a list");
        if (value.size() > largest)
            throw Invalid(where + ": " + key + " holds more than " + std::to_string(largest) + " entries");
        return value;
    }

    std::string PartName(const json& reference, const std::string& where)
    {
        const json& name = Member(reference, "part", where);
        if (!name.is_string() || name.get<std::string>().empty())
            throw Invalid(where + ": part must be a part name");
        return name.get<std::string>();
    }

    void FloatPart(const json& object, const char* key, const std::string& where, uint64_t count,
                   std::vector<float>& out)
    {
        if (!object.contains(key)) return;
        parts.push_back(
            {PartName(object[key], where + " " + key), count * sizeof(float), nullptr, &out, nullptr});
    }

    // An image's record; pixels are read into image later. Sizes are checked against the grid by the
    // caller; here only against the limits and the channel count.
    void Image(const json& j, const std::string& where, ImageRecord& image,
               uint32_t maxSide = kProjectMaxSide)
    {
        image.width = static_cast<uint32_t>(Whole(j, "width", where, maxSide));
        image.height = static_cast<uint32_t>(Whole(j, "height", where, maxSide));
        image.channels = static_cast<uint32_t>(Whole(j, "channels", where, 4));
        if (image.width == 0 || image.height == 0 || image.channels == 0)
            throw Invalid(where + " is " + std::to_string(image.width) + " x " +
                          std::to_string(image.height) + " with " + std::to_string(image.channels) +
                          " channels, which is no image");
        image.linear = OneOf(j, "filter", where, {"linear", "nearest"}) == "linear";
        image.mipmaps = Bool(j, "mipmaps", where);
        image.source = String(j, "source", where);
        image.saveName = String(j, "saveName", where);
        parts.push_back({PartName(j, where), image.ByteSize(), &image.pixels, nullptr, nullptr});
    }

    // A grid's image is t.height pixels wide and t.width high, a pixel per vertex in vertex order. Files
    // written before it was (by earlier versions of the program) give a rectangle's sides the other way
    // round for the same bytes: those sides are turned.
    static bool FitsGrid(ImageRecord& image, const TerrainRecord& t)
    {
        if (image.width == t.width && image.height == t.height) std::swap(image.width, image.height);
        return image.width == t.height && image.height == t.width;
    }

    static std::string GridSize(const TerrainRecord& t)
    {
        return std::to_string(t.height) + " x " + std::to_string(t.width);
    }

    void GridImage(const json& textures, const char* key, const std::string& where, const TerrainRecord& t,
                   uint32_t channels, ImageRecord& image)
    {
        if (!textures.contains(key)) return;
        const std::string what = where + " " + key + " texture";
        Image(textures[key], what, image);
        const std::string size = std::to_string(image.width) + " x " + std::to_string(image.height);
        if (!FitsGrid(image, t) || image.channels != channels)
            throw Invalid(what + " is " + size + " with " + std::to_string(image.channels) +
                          " channels; the terrain needs " + GridSize(t) + " with " +
                          std::to_string(channels));
    }

    ProjectShader Shader(const json& j, const std::string& where)
    {
        return {String(j, "vertex", where), String(j, "fragment", where)};
    }

    ProjectCamera Camera(const json& j, const std::string& where)
    {
        ProjectCamera c;
        c.name = String(j, "name", where);
        c.viewHeight = Float(j, "viewHeight", where);
        c.aspectRatio = Float(j, "aspectRatio", where);
        c.zNear = Float(j, "zNear", where);
        c.zFar = Float(j, "zFar", where);
        c.fov = Float(j, "fov", where);
        c.speed = Float(j, "speed", where);
        c.yaw = Float(j, "yaw", where);
        c.pitch = Float(j, "pitch", where);
        c.perspective = Bool(j, "perspective", where);
        c.rotate = Bool(j, "rotate", where);
        Floats(j, "position", where, &c.position.x, 3);
        Floats(j, "up", where, &c.up.x, 3);
        Floats(j, "front", where, &c.front.x, 3);
        c.listed = Bool(j, "listed", where);
        return c;
    }

    ProjectScene Scene(const json& j, const std::string& where)
    {
        ProjectScene s;
        s.sceneId = UInt(j, "sceneId", where);
        s.name = String(j, "name", where);
        s.camera = Int(j, "camera", where);
        s.terrain = Int(j, "terrain", where);
        const json& shader = Member(j, "shader", where);
        s.hasShader = !shader.is_null();
        if (s.hasShader) s.shader = Shader(shader, where + " shader");
        s.isNew = Bool(j, "isNew", where);
        s.showWindow = Bool(j, "showWindow", where);
        s.showManage = Bool(j, "showManage", where);
        s.showCameraControl = Bool(j, "showCameraControl", where);
        s.showTerrainGenerator = Bool(j, "showTerrainGenerator", where);
        float ratio[2];
        Floats(j, "ratio", where, ratio, 2);
        s.ratioWidth = ratio[0];
        s.ratioHeight = ratio[1];
        s.useBackground = Bool(j, "useBackground", where);
        s.wireframe = Bool(j, "wireframe", where);
        Floats(j, "clearColor", where, &s.clearColor.x, 4);
        return s;
    }

    void Layer(const json& j, const std::string& where, const TerrainRecord& t, LayerRecord& layer)
    {
        const std::string kind =
            OneOf(j, "kind", where, {kLayerKinds[0], kLayerKinds[1], kLayerKinds[2], kLayerKinds[3]});
        layer.kind = static_cast<LayerKind>(IndexOf(kLayerKinds, kind));
        layer.name = String(j, "name", where);
        // Each kind keeps its settings in an object of its own name.
        const std::string settingsWhere = where + " " + kind;
        const json& settings = Member(j, kind.c_str(), where);
        LayerSettings& s = layer.settings;
        if (layer.kind == LayerKind::Sculpt)
        {
            // Its heights, one per vertex; left out, they are 0 (TerrainRecord::Complete).
            if (!settings.is_object()) throw Invalid(settingsWhere + " is not a JSON object");
            if (j.contains("pixels")) throw Invalid(where + ": a sculpt entry has no pixels");
            FloatPart(j, "heights", where, t.VertexCount(), layer.sculpt);
            return;
        }
        if (layer.kind == LayerKind::Erosion)
        {
            // The ranges are Erosion::Clamp's, applied when the terrain is built; here only the form.
            s.erosion = ErosionSettings(settings, settingsWhere);
            if (j.contains("pixels"))
            {
                const std::string what = where + " pixels";
                Image(j["pixels"], what, layer.image);
                if (!FitsGrid(layer.image, t) || layer.image.channels != 3)
                    throw Invalid(what + " must be " + GridSize(t) +
                                  " with three channels (an erosion mask)");
            }
            return;
        }
        s.power = Float(settings, "power", settingsWhere);
        if (layer.kind == LayerKind::Noise)
        {
            s.seed = Int(settings, "seed", settingsWhere);
            s.frequency = Float(settings, "frequency", settingsWhere);
            s.offsetX = Float(settings, "offsetX", settingsWhere);
            s.offsetY = Float(settings, "offsetY", settingsWhere);
            s.octaves = Int(settings, "octaves", settingsWhere);
            s.gain = Float(settings, "gain", settingsWhere);
            s.lacunarity = Float(settings, "lacunarity", settingsWhere);
            s.noiseTypeName = String(settings, "noiseTypeName", settingsWhere);
            s.fractalTypeName = String(settings, "fractalTypeName", settingsWhere);
            s.noiseType = Int(settings, "noiseType", settingsWhere);
            s.fractalType = Int(settings, "fractalType", settingsWhere);
            // Added later: a file without it was written before the option existed.
            s.smoothHeights =
                settings.contains("smoothHeights") && Bool(settings, "smoothHeights", settingsWhere);
        }

        if (j.contains("pixels"))
        {
            const std::string what = where + " pixels";
            const bool worldImage = worldTerrain && layer.kind == LayerKind::Image;
            Image(j["pixels"], what, layer.image,
                  worldImage ? std::min(kMaxWorldImageSide, std::max(worldImageSide, kProjectMaxSide))
                             : kProjectMaxSide);
            // A noise layer's image is the grid's, one channel; an image layer keeps what its file gave
            // (and adds nothing unless that is the grid's size).
            const bool fits = FitsGrid(layer.image, t);
            if (layer.kind == LayerKind::Noise && (!fits || layer.image.channels != 1))
                throw Invalid(what + " must be " + GridSize(t) + " with one channel");
        }
        else if (layer.kind == LayerKind::Image)
        {
            throw Invalid(where + ": pixels is missing");
        }
        else if (s.fractalType != 0 && (s.octaves < 0 || s.octaves > kMaxRegeneratedOctaves))
        {
            // The image is generated on opening: its cost must stay bounded.
            throw Invalid(where + ": octaves must be 0 to " + std::to_string(kMaxRegeneratedOctaves) +
                          " for a layer generated on opening");
        }
    }

    static constexpr int32_t kMaxRegeneratedOctaves = 64;

    Erosion::Settings ErosionSettings(const json& j, const std::string& where)
    {
        Erosion::Settings e;
        e.method = OneOf(j, "method", where, {"hydraulic", "thermal"}) == "thermal"
                       ? Erosion::Method::Thermal
                       : Erosion::Method::Hydraulic;
        const std::string hydraulicWhere = where + " hydraulic";
        const json& hydraulic = Member(j, "hydraulic", where);
        Erosion::HydraulicSettings& h = e.hydraulic;
        h.droplets = Int(hydraulic, "droplets", hydraulicWhere);
        h.seed = Int(hydraulic, "seed", hydraulicWhere);
        h.inertia = Float(hydraulic, "inertia", hydraulicWhere);
        h.capacity = Float(hydraulic, "capacity", hydraulicWhere);
        h.deposition = Float(hydraulic, "deposition", hydraulicWhere);
        h.erosion = Float(hydraulic, "erosion", hydraulicWhere);
        h.evaporation = Float(hydraulic, "evaporation", hydraulicWhere);
        h.radius = Int(hydraulic, "radius", hydraulicWhere);
        h.maxSteps = Int(hydraulic, "maxSteps", hydraulicWhere);
        h.gravity = Float(hydraulic, "gravity", hydraulicWhere);
        h.minSlope = Float(hydraulic, "minSlope", hydraulicWhere);
        const std::string thermalWhere = where + " thermal";
        const json& thermal = Member(j, "thermal", where);
        e.thermal.talusAngle = Float(thermal, "talusAngle", thermalWhere);
        e.thermal.iterations = Int(thermal, "iterations", thermalWhere);
        e.thermal.strength = Float(thermal, "strength", thermalWhere);
        return e;
    }

    void Terrain(const json& j, const std::string& where, TerrainRecord& t, StoredGrid& grid)
    {
        t.name = String(j, "name", where);
        t.width = UInt(j, "width", where);
        t.height = UInt(j, "height", where);
        t.vertexDistance = Float(j, "vertexDistance", where);
        const json& generator = Member(j, "generator", where);
        const std::string generatorWhere = where + " generator";
        const std::string kind =
            OneOf(generator, "kind", generatorWhere,
                  {kGeneratorKinds[0], kGeneratorKinds[1], kGeneratorKinds[2], kGeneratorKinds[3]});
        t.generator.fromFile = kind == kGeneratorKinds[3];
        t.generator.generator = t.generator.fromFile
                                    ? TerrainGenerator::Flat
                                    : static_cast<TerrainGenerator>(IndexOf(kGeneratorKinds, kind));
        t.generator.parameter1 = Float(generator, "range", generatorWhere);
        t.generator.parameter2 = Float(generator, "roughness", generatorWhere);
        t.generator.iterations = UInt(generator, "iterations", generatorWhere);
        t.generator.seed = UInt(generator, "seed", generatorWhere);

        const json& layers = Array(j, "layers", where, 1024);
        const json& gradients = Array(j, "gradients", where, 1024);
        const json& textures = Member(j, "textures", where);
        if (!textures.is_object()) throw Invalid(where + ": textures must be a JSON object");
        const json& water = Member(j, "waterPlane", where);
        t.waterPlaneBuilt = Bool(water, "built", where + " waterPlane");
        const json& bands = Member(j, "bands", where);
        t.bands.mode = static_cast<BandMode>(
            IndexOf(kBandModes, OneOf(bands, "mode", where + " bands",
                                      {kBandModes[0], kBandModes[1], kBandModes[2], kBandModes[3]})));
        t.bands.seed = UInt(bands, "seed", where + " bands");
        if (t.bands.mode == BandMode::Mask)
        {
            const std::string bandsWhere = where + " bands";
            t.bands.maskLayer = UInt(bands, "layer", bandsWhere);
            const auto isErosion = [&](const json& layer)
            {
                const auto kind = layer.is_object() ? layer.find("kind") : layer.end();
                return layer.is_object() && kind != layer.end() && kind->is_string() &&
                       kind->get<std::string>() == LayerKindName(LayerKind::Erosion);
            };
            if (t.bands.maskLayer >= layers.size() || !isErosion(layers[t.bands.maskLayer]))
                throw Invalid(bandsWhere + ": layer " + std::to_string(t.bands.maskLayer) +
                              " is not an erosion entry");
            const std::string channel =
                OneOf(bands, "channel", bandsWhere, {kMaskChannels[0], kMaskChannels[1], kMaskChannels[2]});
            t.bands.maskChannel = static_cast<uint32_t>(IndexOf(kMaskChannels, channel));
        }
        t.display = static_cast<DisplayTexture>(IndexOf(
            kDisplays, OneOf(j, "display", where, {"heightmap", "normal", "diffuse", "specular", "none"})));

        if (t.width == 0 && t.height == 0)
        {
            // An empty terrain (an OBJ file that could not be read) has nothing else.
            if (!layers.empty() || !textures.empty() || t.waterPlaneBuilt || j.contains("baseHeights") ||
                j.contains("gridXZ") || j.contains("texCoords") || j.contains("heights"))
                throw Invalid(where + " is empty (0 x 0) but holds heights, layers, textures or water");
            return;
        }
        if (t.width < 2 || t.height < 2 || t.width > kProjectMaxSide || t.height > kProjectMaxSide)
            throw Invalid(where + " is " + std::to_string(t.width) + " x " + std::to_string(t.height) +
                          "; a terrain is from 2 x 2 to " + std::to_string(kProjectMaxSide) + " x " +
                          std::to_string(kProjectMaxSide));
        const uint64_t count = t.VertexCount();

        FloatPart(j, "baseHeights", where, count, grid.baseHeights);
        FloatPart(j, "gridXZ", where, 2 * count, grid.gridXZ);
        FloatPart(j, "texCoords", where, 2 * count, t.texCoords);
        FloatPart(j, "heights", where, count, grid.heights);
        if (!j.contains("baseHeights"))
        {
            if (t.generator.fromFile) throw Invalid(where + " was read from a file but stores no heights");
            if (t.generator.generator == TerrainGenerator::DiamondSquare && t.width != t.height)
                throw Invalid(where + " stores no heights and diamond-square cannot make a " +
                              std::to_string(t.width) + " x " + std::to_string(t.height) + " grid");
            if (t.generator.generator == TerrainGenerator::RandomFault && t.generator.iterations > 100000)
                throw Invalid(where + " stores no heights and its " + std::to_string(t.generator.iterations) +
                              " random-fault iterations are too many to run on opening");
        }

        t.layers.resize(layers.size());
        for (size_t l = 0; l < layers.size(); ++l)
            Layer(layers[l], where + " layer " + std::to_string(l), t, t.layers[l]);
        for (size_t g = 0; g < gradients.size(); ++g)
        {
            const std::string gradientWhere = where + " gradient " + std::to_string(g);
            Gradient gradient;
            gradient.heightSpan = Int(gradients[g], "heightSpan", gradientWhere);
            gradient.decay = Int(gradients[g], "decay", gradientWhere);
            gradient.slopeSpan = Float(gradients[g], "slopeSpan", gradientWhere);
            Floats(gradients[g], "color", gradientWhere, &gradient.color.x, 4);
            gradient.specular = Float(gradients[g], "specular", gradientWhere);
            t.gradients.push_back(gradient);
        }

        for (const auto& [key, value] : textures.items())
            if (key != "heightmap" && key != "normal" && key != "diffuse" && key != "specular" &&
                key != "watermap")
                throw Invalid(where + ": texture '" + key + "' is unknown");
        GridImage(textures, "heightmap", where, t, 1, t.heightmap);
        GridImage(textures, "normal", where, t, 3, t.normal);
        GridImage(textures, "diffuse", where, t, 3, t.diffuse);
        GridImage(textures, "specular", where, t, 1, t.specular);
        GridImage(textures, "watermap", where, t, 4, t.watermap);

        if (t.waterPlaneBuilt && water.contains("stored"))
        {
            const std::string planeWhere = where + " water plane";
            const json& stored = water["stored"];
            const uint64_t vertices = Whole(stored, "vertices", planeWhere, count);
            const uint64_t indices = Whole(stored, "indices", planeWhere, 6 * count);
            if (indices % 3 != 0) throw Invalid(planeWhere + ": indices must come in threes");
            t.waterFollowsMap = false;
            parts.push_back({PartName(Member(stored, "positions", planeWhere), planeWhere),
                             3 * vertices * sizeof(float), nullptr, &t.waterPlane.positions, nullptr});
            parts.push_back({PartName(Member(stored, "texCoords", planeWhere), planeWhere),
                             2 * vertices * sizeof(float), nullptr, &t.waterPlane.texCoords, nullptr});
            parts.push_back({PartName(Member(stored, "triangles", planeWhere), planeWhere),
                             indices * sizeof(uint32_t), nullptr, nullptr, &t.waterPlane.indices});
        }
    }
};

// ---------------------------------------------------------------------------------------------
// Opening

// A name that stays inside the container: relative, no empty, "." or ".." component, no backslash,
// drive letter or control character.
bool IsSafeName(const std::string& name)
{
    if (name.empty() || name.front() == '/') return false;
    for (const char c : name)
        if (c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
    size_t start = 0;
    while (start <= name.size())
    {
        const size_t end = std::min(name.find('/', start), name.size());
        const std::string component = name.substr(start, end - start);
        if (component.empty() || component == "." || component == "..") return false;
        start = end + 1;
    }
    return true;
}

std::string SizeText(uint64_t bytes)
{
    return bytes < (uint64_t(1) << 20) ? std::to_string(bytes) + " bytes"
                                       : std::to_string(bytes >> 20) + " MB";
}

struct Entry
{
    zip_uint64_t index = 0;
    uint64_t size = 0;
};

// Reads exactly bytes bytes of an entry into out, refusing an entry that inflates to more.
bool ReadEntry(zip_t* archive, const std::string& name, const Entry& entry, uint8_t* out, uint64_t bytes,
               const std::function<bool(uint64_t)>& advanced, std::string* error)
{
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(zip_fopen_index(archive, entry.index, 0),
                                                           zip_fclose);
    if (!file)
        return Fail(error, "part " + name + " cannot be read (" + std::string(zip_strerror(archive)) + ")");
    constexpr uint64_t kChunk = uint64_t(4) << 20;
    uint64_t done = 0;
    while (done < bytes)
    {
        const uint64_t want = std::min(kChunk, bytes - done);
        const zip_int64_t got = zip_fread(file.get(), out + done, want);
        if (got < 0)
            return Fail(error, "part " + name + " is damaged (" +
                                   std::string(zip_error_strerror(zip_file_get_error(file.get()))) + ")");
        if (got == 0) return Fail(error, "part " + name + " is truncated");
        done += static_cast<uint64_t>(got);
        if (!advanced(static_cast<uint64_t>(got))) return Fail(error, "opening was cancelled");
    }
    uint8_t extra = 0;
    const zip_int64_t beyond = zip_fread(file.get(), &extra, 1);
    if (beyond > 0)
        return Fail(error,
                    "part " + name + " inflates beyond its declared " + std::to_string(bytes) + " bytes");
    if (beyond < 0)
        return Fail(error, "part " + name + " is damaged (" +
                               std::string(zip_error_strerror(zip_file_get_error(file.get()))) + ")");
    return true;
}

bool ReadArchive(zip_t* archive, Project& project, std::string* error, const ProjectProgress& progress,
                 const ProjectFile::OpenOptions& options)
{
    // Every entry: a safe name, seen once, stored or deflated, not encrypted.
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count <= 0) return Fail(error, "it is empty or not a project file");
    std::map<std::string, Entry> entries;
    for (zip_int64_t i = 0; i < count; ++i)
    {
        const char* raw = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (raw == nullptr ||
            zip_stat_index(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &stat) != 0)
            return Fail(error, "it is damaged (entry " + std::to_string(i) + " cannot be read)");
        const std::string name = raw;
        if (!IsSafeName(name)) return Fail(error, "part name '" + name + "' would leave the project");
        if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
            return Fail(error, "part " + name + " is encrypted");
        if ((stat.valid & ZIP_STAT_COMP_METHOD) && stat.comp_method != ZIP_CM_STORE &&
            stat.comp_method != ZIP_CM_DEFLATE)
            return Fail(error, "part " + name + " uses an unsupported compression");
        if (!(stat.valid & ZIP_STAT_SIZE)) return Fail(error, "part " + name + " does not declare its size");
        if (!entries.emplace(name, Entry{static_cast<zip_uint64_t>(i), stat.size}).second)
            return Fail(error, "part " + name + " appears twice");
    }

    // The manifest.
    const auto manifestEntry = entries.find(ProjectFile::kManifestName);
    if (manifestEntry == entries.end())
        return Fail(error,
                    "it holds no " + std::string(ProjectFile::kManifestName) + " (not a Velmoran project)");
    if (manifestEntry->second.size > ProjectFile::kMaxManifestBytes)
        return Fail(error, "its manifest is larger than " +
                               std::to_string(ProjectFile::kMaxManifestBytes >> 20) + " MB");
    std::string text(manifestEntry->second.size, '\0');
    const auto ignore = [](uint64_t) { return true; };
    if (!ReadEntry(archive, ProjectFile::kManifestName, manifestEntry->second,
                   reinterpret_cast<uint8_t*>(text.data()), text.size(), ignore, error))
        return false;
    json manifest;
    try
    {
        manifest = json::parse(text);
    }
    catch (const json::parse_error& e)
    {
        return Fail(error, "its manifest is not valid JSON (at byte " + std::to_string(e.byte) + ")");
    }
    catch (const json::out_of_range&) // a number beyond a double's range, such as 1e400
    {
        return Fail(error, "its manifest is not valid JSON (a number out of range)");
    }

    Project read;
    ManifestReader reader;
    try
    {
        reader.Read(manifest, read);
    }
    catch (const Invalid& invalid)
    {
        return Fail(error, invalid.reason);
    }
    catch (const json::exception& e)
    {
        return Fail(error, std::string("its manifest is malformed (") + e.what() + ")");
    }

    // The parts the manifest names against the entries, before anything is inflated.
    std::set<std::string> listed;
    uint64_t total = 0;
    for (const PartIn& part : reader.parts)
    {
        if (part.name == ProjectFile::kManifestName || !listed.insert(part.name).second)
            return Fail(error, "part " + part.name + " is listed twice");
        const auto found = entries.find(part.name);
        if (found == entries.end()) return Fail(error, "part " + part.name + " is missing");
        if (found->second.size != part.bytes)
            return Fail(error, "part " + part.name + " holds " + std::to_string(found->second.size) +
                                   " bytes where the manifest needs " + std::to_string(part.bytes));
        total += part.bytes;
    }
    for (const auto& [name, entry] : entries)
        if (name != ProjectFile::kManifestName && listed.count(name) == 0)
            return Fail(error, "it holds a part its manifest does not list: " + name);
    if (total > options.maxUnpackedBytes)
        return Fail(error, "its parts would take " + SizeText(total) + " unpacked; the limit is " +
                               SizeText(options.maxUnpackedBytes));

    uint64_t done = 0;
    const auto advanced = [&](uint64_t bytes)
    {
        done += bytes;
        return !progress ||
               progress(total > 0 ? static_cast<float>(static_cast<double>(done) / total) : 1.0f);
    };
    for (const PartIn& part : reader.parts)
    {
        uint8_t* target = nullptr;
        if (part.u8)
        {
            *part.u8 = LargeArrays::UninitializedBytes(part.bytes);
            target = part.u8->get();
        }
        else if (part.f32)
        {
            part.f32->resize(part.bytes / sizeof(float));
            target = reinterpret_cast<uint8_t*>(part.f32->data());
        }
        else
        {
            part.u32->resize(part.bytes / sizeof(uint32_t));
            target = reinterpret_cast<uint8_t*>(part.u32->data());
        }
        if (!ReadEntry(archive, part.name, entries[part.name], target, part.bytes, advanced, error))
            return false;
    }

    for (size_t t = 0; t < read.terrains.size(); ++t)
        LayStoredGrid(read.terrains[t], reader.grids[t]);
    reader.grids.clear();

    // What only the read arrays can tell: water plane triangles must stay within their vertices.
    for (size_t t = 0; t < read.terrains.size(); ++t)
    {
        const Water::PlaneMesh& plane = read.terrains[t].waterPlane;
        const size_t vertices = plane.positions.size() / 3;
        for (const uint32_t index : plane.indices)
            if (index >= vertices)
                return Fail(error, "terrain " + std::to_string(t) +
                                       " water plane: a triangle points past its " +
                                       std::to_string(vertices) + " vertices");
    }
    if (progress && !progress(1.0f)) return Fail(error, "opening was cancelled");
    project = std::move(read);
    return true;
}

bool OpenFromSource(zip_source_t* source, Project& project, std::string* error,
                    const ProjectProgress& progress, const ProjectFile::OpenOptions& options)
{
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &zipError);
    if (archive == nullptr)
    {
        zip_source_free(source);
        const std::string reason = ZipReason(&zipError);
        zip_error_fini(&zipError);
        return Fail(error, reason);
    }
    zip_error_fini(&zipError);
    const bool read = ReadArchive(archive, project, error, progress, options);
    zip_discard(archive); // also frees the source
    return read;
}
} // namespace

namespace ProjectFile
{
std::string OpenMessage(const std::string& path, const std::string& reason)
{
    return "Cannot open project " + path + ": " + reason;
}

std::string SaveMessage(const std::string& path, const std::string& reason)
{
    return "Cannot save project " + path + ": " + reason;
}

std::string DisplayName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string extension = kExtension;
    if (name.size() > extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
        name.resize(name.size() - extension.size());
    return name;
}

bool Save(const Project& project, const std::string& path, std::string* error,
          const ProjectProgress& progress, int compressionLevel)
{
    // What the reader would refuse is not written: the old file stays and the user hears why.
    for (const TerrainRecord& t : project.terrains)
        if (t.width > kProjectMaxSide || t.height > kProjectMaxSide)
            return Fail(error, "terrain " + t.name + " is " + std::to_string(t.width) + " x " +
                                   std::to_string(t.height) + "; a project holds terrains of at most " +
                                   std::to_string(kProjectMaxSide) + " x " + std::to_string(kProjectMaxSide));
    ManifestWriter writer;
    // Names are UTF-8 as the GUI types them; bytes that are not (a name read from a file) become U+FFFD.
    const std::string manifest = writer.Manifest(project).dump(1, ' ', false, json::error_handler_t::replace);
    if (progress && !progress(0.0f)) return Fail(error, "saving was cancelled");

    // The archive is built in memory (its parts point into the project, nothing is copied), then
    // streamed to the file: libzip would otherwise write a temporary file of its own beside ours.
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, &zipError);
    if (memory == nullptr)
    {
        const std::string reason = ZipReason(&zipError);
        zip_error_fini(&zipError);
        return Fail(error, reason);
    }
    zip_source_keep(memory); // outlives the archive, to be read back
    std::unique_ptr<zip_source_t, void (*)(zip_source_t*)> memoryHolder(memory, zip_source_free);
    zip_t* archive = zip_open_from_source(memory, ZIP_TRUNCATE, &zipError);
    if (archive == nullptr)
    {
        const std::string reason = ZipReason(&zipError);
        zip_error_fini(&zipError);
        return Fail(error, reason);
    }
    zip_error_fini(&zipError);

    const auto add = [&](const std::string& name, const void* data, size_t bytes)
    {
        zip_source_t* source = zip_source_buffer(archive, data, bytes, 0);
        if (source == nullptr) return false;
        const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
        {
            zip_source_free(source);
            return false;
        }
        const auto entry = static_cast<zip_uint64_t>(index);
        const bool deflate = WorthDeflating(data, bytes, compressionLevel);
        return zip_set_file_compression(archive, entry, deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                                        deflate ? static_cast<zip_uint32_t>(compressionLevel) : 0) == 0 &&
               zip_file_set_mtime(archive, entry, kEntryTime, 0) == 0;
    };
    bool added = add(kManifestName, manifest.data(), manifest.size());
    for (const PartOut& part : writer.parts)
        added = added && add(part.name, part.data, part.bytes);
    if (!added)
    {
        const std::string reason = zip_strerror(archive);
        zip_discard(archive);
        return Fail(error, reason);
    }

    SaveProgress state{&progress, false};
    zip_register_progress_callback_with_state(archive, 0.01, OnZipProgress, nullptr, &state);
    zip_register_cancel_callback_with_state(archive, OnZipCancel, nullptr, &state);
    if (zip_close(archive) != 0)
    {
        const std::string reason = state.cancelled ? "saving was cancelled" : zip_strerror(archive);
        zip_discard(archive);
        return Fail(error, reason);
    }

    // The finished archive, streamed from memory to the file.
    if (zip_source_open(memory) != 0) return Fail(error, zip_error_strerror(zip_source_error(memory)));
    zip_source_seek(memory, 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(memory);
    zip_source_seek(memory, 0, SEEK_SET);
    bool cancelled = false;
    std::string writeError;
    const bool written = WriteFileAtomically(
        path,
        [&](std::FILE* file)
        {
            std::vector<char> chunk(size_t(4) << 20);
            zip_int64_t copied = 0;
            for (;;)
            {
                const zip_int64_t got = zip_source_read(memory, chunk.data(), chunk.size());
                if (got < 0) return false;
                if (got == 0) return true;
                if (std::fwrite(chunk.data(), 1, static_cast<size_t>(got), file) != static_cast<size_t>(got))
                    return false;
                copied += got;
                if (progress && size > 0 &&
                    !progress(0.9f + 0.1f * static_cast<float>(copied) / static_cast<float>(size)))
                {
                    cancelled = true;
                    return false;
                }
            }
        },
        &writeError);
    zip_source_close(memory);
    if (!written) return Fail(error, cancelled ? "saving was cancelled" : writeError);
    return true;
}

bool Open(const std::string& path, Project& project, std::string* error, const ProjectProgress& progress,
          const OpenOptions& options)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0)
        return Fail(error, errno == ENOENT || errno == ENOTDIR ? "it does not exist" : std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return Fail(error, "it is a folder");
    if (info.st_size == 0) return Fail(error, "it is empty");
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* source = zip_source_file_create(path.c_str(), 0, -1, &zipError);
    if (source == nullptr)
    {
        const std::string reason = ZipReason(&zipError);
        zip_error_fini(&zipError);
        return Fail(error, reason);
    }
    zip_error_fini(&zipError);
    return OpenFromSource(source, project, error, progress, options);
}

bool OpenMemory(const void* bytes, size_t size, Project& project, std::string* error,
                const OpenOptions& options)
{
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* source = zip_source_buffer_create(size > 0 ? bytes : nullptr, size, 0, &zipError);
    if (source == nullptr)
    {
        const std::string reason = ZipReason(&zipError);
        zip_error_fini(&zipError);
        return Fail(error, reason);
    }
    zip_error_fini(&zipError);
    return OpenFromSource(source, project, error, {}, options);
}
} // namespace ProjectFile
