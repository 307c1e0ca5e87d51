#pragma once
// One terrain as plain data, free of GL: what a worker thread makes (a new terrain, a terrain OBJ
// file, a heightmap), what a project file holds, what the headless build builds and writes, and what
// the exports read. The live Terrain (terrain/Terrain.h) is made from a record and gives one back, in
// one bridge each way (terrain/Terrain.cpp).
//
// Arrays are in the terrain's vertex order (vertex k = i * height + j); images are 8-bit pixel buffers
// as Texture keeps them (row-major, row 0 first), a terrain's images a pixel per vertex in vertex
// order, so height pixels wide and width high. An empty array or image means "not stored": Complete
// makes it again from what the record holds. What is made again and what is taken as it is (stored
// pixels and heights are always the truth):
//   - base positions: stored; otherwise the start generator runs again from its recorded seed on the
//     regular grid
//   - texture coordinates: stored; otherwise the regular grid's
//   - layer images: stored; a noise layer without pixels is generated from its settings; a sculpt
//     entry's heights: stored, otherwise 0
//   - the unrounded levels of noise layers with smooth heights: kept; otherwise from their settings
//   - current positions: stored; otherwise the base positions with the layer stack applied (images
//     added, erosion entries run with their settings clamped)
//   - erosion results and masks: stored; otherwise made by the stack's run (with the positions stored,
//     the stack runs for them only if the diffuse texture must be painted from a mask that is not)
//   - normals: kept; otherwise from the current positions; the triangles: kept, otherwise the grid's
//   - heightmap and normal textures: stored; otherwise from the heights and normals
//   - water map: stored; otherwise dry
//   - diffuse and specular textures: stored; otherwise from the gradients by the recorded band
//     generation (mode and seed); absent when they were never generated
//   - water plane: kept when it no longer follows the water map; otherwise built from the water map
//     and the current heights
// The project writer (io/ProjectFile.cpp) leaves out what Complete makes again exactly: positions that
// follow the layers (heightsFollowLayers), the regular grid's x, z and texture coordinates, a water
// plane that follows the water map (waterFollowsMap), the normals, triangles and erosion results.
#include "terrain/Gradient.h"
#include "terrain/LayerSettings.h"
#include "terrain/LayerStack.h"
#include "terrain/TerrainGrid.h"
#include "terrain/Water.h"

#include <glm/vec3.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The start generators (Terrain::Generator names them).
enum class TerrainGenerator : uint32_t
{
    Flat = 0,
    DiamondSquare = 1,
    RandomFault = 2
};

// What made the base heights: the start generator with its arguments and the seed it drew, so that a
// terrain can be made again from it.
struct GeneratorRecord
{
    TerrainGenerator generator = TerrainGenerator::Flat;
    float parameter1 = 10.0f; // range
    float parameter2 = 0.5f;  // roughness
    uint32_t iterations = 0;
    uint32_t seed = 0;
    bool fromFile = false; // read from an OBJ file: the heights are all there is
};

// How the diffuse and specular textures were last generated from the gradients.
enum class BandMode
{
    None,
    Height,
    Slope,
    Mask // height bands over a channel of an erosion entry's mask
};

struct BandsRecord
{
    BandMode mode = BandMode::None;
    uint32_t seed = 0;        // the height and mask modes' random draws
    uint32_t maskLayer = 0;   // Mask: index of the erosion entry in the layers
    uint32_t maskChannel = 0; // Mask: 0 removed, 1 deposited, 2 water flow
};

// One 8-bit image of 1 to 4 channels with the texture settings it was shown with. Its pixel buffer
// moves into a Texture (and out of one) without a copy; copying the record copies the pixels.
struct ImageRecord
{
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;
    std::unique_ptr<uint8_t[]> pixels; // width * height * channels bytes; null when not stored
    bool linear = true;                // linear or nearest filtering
    bool mipmaps = false;
    std::string source;   // the file a layer image was read from
    std::string saveName; // the name the texture panel last offered when saving it

    ImageRecord() = default;
    ImageRecord(const ImageRecord& other);
    ImageRecord& operator=(const ImageRecord& other);
    ImageRecord(ImageRecord&&) noexcept = default;
    ImageRecord& operator=(ImageRecord&&) noexcept = default;

    // A zeroed image of a width x height grid (height pixels wide, width high).
    static ImageRecord Blank(uint32_t gridWidth, uint32_t gridHeight, uint32_t channels, bool linear = true,
                             bool mipmaps = false);
    // The same with its pixels not set (linear, no mipmaps), for a caller that writes every byte.
    static ImageRecord Unset(uint32_t gridWidth, uint32_t gridHeight, uint32_t channels);
    // The pixels of a width x height x channels buffer, copied (empty when data is null).
    static ImageRecord Copy(const uint8_t* data, uint32_t width, uint32_t height, uint32_t channels);

    bool Stored() const { return pixels != nullptr; }
    size_t ByteSize() const { return size_t{width} * height * channels; }
    // Whether it is an image of a width x height grid with this many channels.
    bool FitsGrid(uint32_t gridWidth, uint32_t gridHeight, uint32_t channelCount) const
    {
        return Stored() && width == gridHeight && height == gridWidth && channels == channelCount;
    }
};

enum class LayerKind
{
    Noise,   // settings: all but erosion; pixels optional (generated from the settings)
    Image,   // settings: power only; pixels required
    Erosion, // erodes the heights summed before it; settings: erosion; pixels: the mask of its last run
    Sculpt // heights shaped by hand in the scene, one float per vertex added as it is; no settings or pixels
};

// One entry of a terrain's layer stack, applied in list order to the heights summed so far.
struct LayerRecord
{
    LayerKind kind = LayerKind::Noise;
    std::string name;
    LayerSettings settings;
    ImageRecord image; // the layer's pixels; an erosion entry's RGB mask (removed, deposited, water flow)
    // A noise layer with smooth heights: its unrounded levels (empty: made from the settings).
    std::vector<float> smoothLevels;
    // An erosion entry: what its last run made (not valid: it runs when the stack is applied).
    LayerStack::ErosionCache erosionCache;
    // A sculpt entry: its height per vertex (vertex order); empty: all 0.
    std::vector<float> sculpt;
    // An image layer of a world's tile: the image of the whole world, of which image is the tile's
    // window (terrain/World.h). Null otherwise.
    std::shared_ptr<const ImageRecord> worldImage;
};

// The texture the mesh shows.
enum class DisplayTexture
{
    None,
    Heightmap,
    Normal,
    Diffuse,
    Specular
};

// How far building is (0 to 1) and what it does now; returning false stops it between steps.
using TerrainBuildProgress = std::function<bool(float fraction, std::string_view step)>;

struct TerrainRecord
{
    std::string name;
    uint32_t width = 0;  // W, vertices along x; 0 x 0: an empty terrain
    uint32_t height = 0; // H, vertices along z
    float vertexDistance = 1.0f;
    float minHeight = 0.0f; // the range of the current heights
    float maxHeight = 0.0f;
    GeneratorRecord generator;
    Layers::GridPlace place; // where the grid lies in a world; noise layers are generated there

    std::vector<float> positions;     // x, y, z per vertex: the current heights
    std::vector<float> basePositions; // as the start generator (or the file) left them, before any layer
    std::vector<float> normals;       // unit x, y, z per vertex
    std::vector<float> texCoords;     // u, v per vertex
    std::vector<uint32_t> indices;    // the triangles
    bool gridIndices = false;         // indices are exactly TerrainGrid::GridIndices(width, height)
    bool heightsFollowLayers = true;  // positions are the base positions with the layers applied

    std::vector<LayerRecord> layers;
    std::vector<Gradient> gradients;
    BandsRecord bands;

    ImageRecord heightmap; // 1 channel
    ImageRecord normal;    // 3 channels
    ImageRecord diffuse;   // 3 channels; absent until generated
    ImageRecord specular;  // 1 channel; absent until generated
    ImageRecord watermap;  // 4 channels
    DisplayTexture display = DisplayTexture::Heightmap;

    bool waterPlaneBuilt = false;
    bool waterFollowsMap = true; // the plane is what the water map and the current heights build
    Water::PlaneMesh waterPlane;

    bool Empty() const { return width == 0 || height == 0; }
    size_t VertexCount() const { return size_t{width} * height; }
    // Whether the current positions are there (a refused generator request keeps only the sizes).
    bool HasGrid() const { return !Empty() && positions.size() == 3 * VertexCount(); }

    // The start generator's terrain, as the Terrain constructor with these arguments holds it before
    // its GL step, with its messages (the diamond-square refusals, the too-large grid): the grid, the
    // generator's heights, then shifted so the lowest is exactly 0. derive also computes the normals
    // and the heightmap and normal images (Derive). progress hears every step, the generator's many
    // times a second; false, with out unchanged, when it stopped the work (within a fraction of a
    // second).
    static bool Generate(uint32_t width, uint32_t height, float vertexDistance, TerrainGenerator generator,
                         float parameter1, float parameter2, uint32_t iterations, bool derive,
                         TerrainRecord& out, const TerrainBuildProgress& progress = {});
    static TerrainRecord Generate(uint32_t width, uint32_t height, float vertexDistance,
                                  TerrainGenerator generator, float parameter1, float parameter2,
                                  uint32_t iterations);

    // A terrain from heights in vertex order (a heightmap import), as the flat grid with the heights
    // added: the base of every later layer. False for a grid that cannot be built.
    static bool FromHeights(uint32_t width, uint32_t height, float vertexDistance, const float* heights,
                            TerrainRecord& out);

    // The base positions a generator record gives a width x height grid: the regular grid, the
    // generator's heights added, then shifted so the lowest is exactly 0. False (nothing made) for a
    // generator that builds no grid (diamond-square of different sides, or one read from a file) and
    // when progress (the generator's, 0 to 1) stopped it.
    static bool GenerateBase(uint32_t width, uint32_t height, float vertexDistance,
                             const GeneratorRecord& generator, std::vector<float>& positions,
                             TerrainGrid::HeightRange& range,
                             const std::function<bool(float)>& progress = {});

    // Fills the normals and, where they are absent, the heightmap and normal images from the
    // positions. progress hears the share done; when it returns false the pass stops and false is
    // returned, with none of the three filled.
    bool Derive(const std::function<bool(float)>& progress = {});

    // Makes what the record does not store (the rules above). Returns false with the reason when it
    // cannot be built (a generator that makes no grid and no stored heights). progress hears the share
    // done between the steps and within the long ones (the generator, erosion runs, the normals); when
    // it returns false the build stops, false with the reason "stopped".
    bool Complete(std::string* error = nullptr, const std::function<bool(float)>& progress = {});

    // Whether x, z and (when present) the texture coordinates of the base positions are the regular
    // grid's, bit for bit.
    bool RegularGrid() const;
};

// Whether x and z of the positions (x, y, z per vertex) and the texture coordinates (u, v per vertex)
// are those of the regular grid the terrain constructor lays, bit for bit; a null array is not looked at.
bool IsRegularGrid(const float* positions, const float* texCoords, uint32_t width, uint32_t height,
                   float vertexDistance);

// Whether a grid's vertex and index counts fit 32 bits (the mesh and GL draw counts); logs the refusal.
bool GridCountsFit(uint32_t width, uint32_t height);

// The box around the positions (x, y, z per vertex), values that are not finite left out; a point
// at the origin when there are none.
void TerrainBounds(const float* positions, size_t vertexCount, glm::vec3& low, glm::vec3& high);
