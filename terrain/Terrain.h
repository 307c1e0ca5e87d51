#pragma once
#include "render/Mesh.h"
#include "terrain/Gradient.h"
#include "terrain/LayerStack.h"
#include "terrain/Sculpt.h"
#include "terrain/TerrainRecord.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Texture;
struct GeneratorRandom; // terrain/Generators.h

// One editable height field: a W x H vertex grid drawn as one indexed mesh, with the textures
// derived from it or painted on it, its heightmap layers, colour gradients and water.
//
// Vertex (i, j), i along world x and j along world z, has the linear index k = i * height + j;
// every per-vertex array and every terrain texture is stored in that order. A texture is therefore
// height texels wide and width rows high (ImageWidth, ImageHeight): row i holds grid column i, texel j
// of the row vertex (i, j), as the texture coordinates (j / (H-1), i / (W-1)) sample it.
class Terrain : public Object
{
  public:
    using Generator = TerrainGenerator; // Flat = 0, DiamondSquare = 1, RandomFault = 2
    class Heightmap;                    // terrain/Heightmap.h
    class WaterPlane;                   // terrain/WaterPlane.h

    // Width or height 0 gives an empty terrain (no arrays, no textures) for the OBJ loader to fill.
    Terrain(uint32_t width, uint32_t height, float vertexDistance, Generator generator, float parameter1,
            float parameter2, uint32_t iterations);
    // A terrain from its record (made on a worker thread, say): Adopt.
    explicit Terrain(TerrainRecord&& record);
    ~Terrain() override;

    // The bridge from a record, for an empty terrain: moves the arrays and pixel buffers in (nothing
    // is copied), creates the textures, layers and water plane, computes what the record lacks of the
    // normals and the heightmap and normal images, and uploads the mesh. A record without a grid
    // leaves only the sizes (a refused generator request).
    void Adopt(TerrainRecord&& record);
    // Adopt in two halves, for TerrainArrival, which spreads the uploads over frames: TakeRecord
    // moves in what needs no GL (the sizes, arrays and records; false for a record without a grid)
    // and leaves the images, layers and water plane in record; AdoptRest makes those but the
    // heightmap, normal and water-map textures, which the caller has made.
    bool TakeRecord(TerrainRecord& record);
    void AdoptRest(TerrainRecord&& rest);

    // The bridge to a record, without GL (a job may call it on a terrain it holds locked). What it
    // copies depends on what the record is for: Whole copies everything (the erosion results and the
    // unrounded levels of smooth layers too); Project what a project file keeps (the positions only
    // when they no longer follow the layers, the texture coordinates only when they are not the
    // grid's, no normals, triangles or caches); Files what the files for other tools are written from
    // (the mesh arrays, images and water plane; no layers or water map). heightsFollowLayers and
    // waterFollowsMap are found here, where the erosion entries' results are (not for Files). An
    // empty terrain gives an empty record with its name.
    enum class RecordScope
    {
        Whole,
        Project,
        Files
    };
    TerrainRecord Record(RecordScope scope = RecordScope::Whole) const;

    // Mesh and heights
    bool BuildMesh(uint32_t width, uint32_t height, float vertexDistance);
    std::unique_ptr<uint8_t[]> CreateHeightmapBuffer() const;
    void RecalculateNormals();
    void TriangleNormal(float out[3], uint32_t a, uint32_t b, uint32_t c) const;
    void AddHeights(const float* array, float scale);
    void ShiftHeightsToZero();
    void SetDisplayTexture(const Texture* texture);

    // Start generators. Both draw from a fresh random source unless one is given (tests seed it).
    // Diamond-square refuses, leaving the terrain flat, a grid whose side is not 2^n + 1 (n >= 1).
    bool GenerateDiamondSquare(float range, float roughness);
    bool GenerateDiamondSquare(float range, float roughness, GeneratorRandom& random);
    float CalculateSquare(float* heights, int32_t x, int32_t y, uint32_t distance, float offset);
    bool GenerateRandomFault(float range, float roughness, uint32_t iterations);
    bool GenerateRandomFault(float range, float roughness, uint32_t iterations, GeneratorRandom& random);

    // Heightmap layers. A layer whose image is not width x height is skipped with a warning.
    // Erosion entries erode the heights summed before them (LayerStack), eroding again only when
    // their input or settings changed since their last run.
    void ApplyHeightmaps();
    // The positions (3 floats per vertex) the layer stack gives now. With cachedOnly, false when an
    // erosion entry would have to erode again: callers that only compare (saving) need not wait.
    bool LayeredPositions(std::vector<float>& out, bool cachedOnly) const;
    // ApplyHeightmaps in two halves, for a worker thread while nothing else touches the terrain:
    // LayerHeights computes without GL (it may run the erosion entries, which keep their results),
    // SwapLayerHeights swaps the result in and uploads it. False when progress stopped an erosion run:
    // the terrain is then unchanged (entries before it may keep their new results, the same as any
    // later apply would compute).
    // SwapLayerHeights leaves the arrays and pixels it replaced in its argument (swapping again puts
    // them back: undo), and LayerHeights writes over arrays of the right size that it is given: a
    // realtime drag applies every frame, and fresh arrays of a large terrain cost more than the apply
    // (page faults, clearing, unmapping).
    struct LayeredHeights
    {
        std::vector<float> positions;
        std::vector<float> normals;
        std::unique_ptr<uint8_t[]> heightmapPixels;
        std::unique_ptr<uint8_t[]> normalPixels;
        size_t pixelCount = 0; // the vertices the two pixel buffers hold (1 and 3 bytes each)
        float minHeight = 0.0f;
        float maxHeight = 0.0f;
        // The erosion entries' masks the swap replaced, with the run each showed.
        struct Mask
        {
            std::shared_ptr<Heightmap> entry;
            std::unique_ptr<uint8_t[]> pixels;
            uint32_t generation = 0;
        };
        std::vector<Mask> masks;
        bool swapped = false; // masks holds what the first swap replaced
    };
    bool LayerHeights(LayeredHeights& out,
                      const std::function<bool(size_t entry, float fraction)>& progress) const;
    void SwapLayerHeights(LayeredHeights& heights);
    // Whether an apply would run an erosion entry at all (so it may take long).
    bool HasErosion() const;
    void ApplyHeightmap(const Heightmap& layer, float power);
    bool LayerFits(const Heightmap& layer) const;
    // Where layer stands in the stack; -1 when it is not in it.
    std::ptrdiff_t LayerIndex(const std::shared_ptr<Heightmap>& layer) const;
    // The layer stack as LayerStack applies it: the entries that fit the grid, in list order.
    std::vector<LayerStack::Entry> StackEntries() const;

    // Sculpting (terrain/TerrainSculpt.cpp). A dab changes a sculpt entry's heights in its region and
    // the terrain shows it at once: the heights there follow the stack (or, with an erosion entry after
    // the sculpt entry, move by what the entry's heights moved, until the next apply), their normals,
    // the heightmap and normal images and the mesh, only the touched rows going to the driver. Returns
    // the vertices whose heights changed.
    TerrainGrid::Region SculptDab(Heightmap& entry, const Sculpt::Brush& brush, const Sculpt::Dab& dab);
    // After the heights changed in these regions (a dab, an undo): their normals, the images and the
    // mesh rows follow. Without range the range only grows, and the part of the heightmap image outside
    // the regions is stale until SettleHeights; a range known to be exact (kept by the undo history)
    // takes its place, the image made whole when the range is new.
    void RefreshHeights(const std::vector<TerrainGrid::Region>& changed,
                        const TerrainGrid::HeightRange* range = nullptr);
    // The range made exact again (a whole pass), and the heightmap image made whole if it changed.
    void SettleHeights();
    Sculpt::GridFrame Frame() const;
    // The heightmap image was made with another range than the current one (a stroke widened it).
    bool heightmapStale = false;

    // Diffuse and specular textures from the gradients
    void GenerateDiffuseByHeight();
    void GenerateDiffuseBySlope();
    // Bands over one channel of an erosion entry's mask (0 removed, 1 deposited, 2 water flow), spanning
    // 0..255 of it as the height bands span the heightmap; nothing happens for any other entry.
    void GenerateDiffuseByMask(const std::shared_ptr<Heightmap>& entry, uint32_t channel);

    // Water
    void FloodWater(uint32_t start, const std::array<uint32_t, 4>& waterColor, std::deque<uint32_t>& result,
                    uint8_t* visited, uint32_t& level);
    void PourWater(uint32_t start);
    void OutlineWater();
    void ClearWater();

    // OBJ files. Both return false, after logging the reason, when they fail, and store the reason
    // in error when it is given; a refused load leaves the terrain empty. A loaded name is made
    // usable as a file name (TerrainName::MakeSafe).
    bool SaveAsObj(const std::string& path, std::string* error = nullptr) const;
    bool LoadObj(const std::string& path, std::string* error = nullptr);
    // SaveAsObj with progress (0 to 1); progress returning false stops the file, which then leaves
    // nothing behind (error says "cancelled").
    bool SaveAsObj(const std::string& path, std::string* error,
                   const std::function<bool(float)>& progress) const;

    bool IsEmpty() const { return positions.empty(); }
    // The size of the terrain's images (heightmap, normal, diffuse, specular, water map, layers).
    uint32_t ImageWidth() const { return height; }
    uint32_t ImageHeight() const { return width; }

    std::vector<std::shared_ptr<Heightmap>> heightmaps;
    std::vector<std::unique_ptr<Gradient>> gradients;
    std::unique_ptr<Texture> watermapTexture;
    std::shared_ptr<WaterPlane> waterPlane;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t vertexCount = 0;
    uint32_t indexCount = 0;
    float vertexDistance = 1.0f;
    float maxHeight = -3.4028235e38f;
    float minHeight = 3.4028235e38f;
    std::vector<float> positions;     // x, y, z per vertex
    std::vector<float> basePositions; // positions as the start generator left them
    std::vector<uint32_t> indices;
    std::vector<float> normals;   // x, y, z per vertex, unit length
    std::vector<float> texCoords; // u, v per vertex
    std::unique_ptr<Texture> heightmapTexture;
    std::unique_ptr<Texture> diffuseTexture;
    std::unique_ptr<Texture> normalTexture;
    std::unique_ptr<Texture> specularTexture;
    std::string name;

    // What made the terrain, kept for project files: the start generator with its arguments and the
    // seed it drew (terrain/TerrainRecord.h), and the last generation of the diffuse and specular
    // textures with its seed.
    using GeneratorRecord = ::GeneratorRecord;
    struct BandRecord
    {
        using Mode = BandMode;
        Mode mode = Mode::None;
        uint32_t seed = 0;
        std::weak_ptr<Heightmap> maskEntry; // Mask: the erosion entry and its channel
        uint32_t maskChannel = 0;
    };
    GeneratorRecord generatorRecord;
    BandRecord bandRecord;
    // Where the grid lies in a world (a tile the editor shows): its layers sample the noise there.
    Layers::GridPlace place;
};
