#pragma once
// The GL step of a terrain made on a worker thread, spread over frames. Handing a 4097 x 4097 terrain
// to the driver copies over a gigabyte; in one piece it would stop the window for seconds. The editor
// calls Continue once a frame until it returns true, and lists (and so draws) the terrain only then:
// a terrain is never drawn half uploaded.
//
// The finished terrain is the one Terrain(TerrainRecord&&) makes from the same record, with the same
// messages in the same order: the mesh arrays, the heightmap and water-map textures, the normals and
// the normal texture, each sent in slices of a few megabytes, then the rest of the record (other
// textures, layers, water plane) in one step.
#include "terrain/Terrain.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class Texture;

class TerrainArrival
{
  public:
    // Takes the record over; no GL work yet. A record without its derived parts (normals, pixels)
    // gets them at the first Continue.
    explicit TerrainArrival(TerrainRecord&& record);
    ~TerrainArrival();
    TerrainArrival(const TerrainArrival&) = delete;
    TerrainArrival& operator=(const TerrainArrival&) = delete;

    // Uploads slices for about seconds (at least one step); true once the terrain is complete. A part
    // whose storage is to be allocated waits for the next call unless it is the call's first step.
    bool Continue(double seconds);
    // The share of the bytes uploaded, 0 to 1.
    float Fraction() const;
    // The terrain; complete (and to be shown) only once Continue has returned true.
    const std::shared_ptr<Terrain>& Result() const { return terrain; }

    // The most one slice sends: a few milliseconds of copying on a software renderer.
    static constexpr size_t kSliceBytes = size_t{16} << 20;
    size_t sliceBytes = kSliceBytes;
    // What the editor gives Continue per frame: frames stay well under a quarter of a second.
    static constexpr double kSecondsPerFrame = 0.1;
    // From this many vertices a grid's GL index buffer holds one row of cells, drawn once per row
    // (MeshEntry::repeat): a 4097 x 4097 grid's 400 MB of indices would take the driver half a second
    // to allocate in one frame, and as much memory. Smaller grids keep the whole list.
    static constexpr size_t kRowIndicesFrom = size_t{2049} * 2049;
    size_t rowIndicesFrom = kRowIndicesFrom;

  private:
    // The parts in the order they are sent, as the one-step GL step makes them.
    enum class Part
    {
        Start,
        TexCoords,
        Indices,
        Positions,
        HeightmapTexture,
        WatermapTexture,
        Normals,
        NormalTexture,
        Done
    };
    void BeginPart();
    // Sends the next slice of the current part; true when the part is complete.
    bool SendSlice();
    size_t PartBytes(Part which) const;

    std::shared_ptr<Terrain> terrain;
    TerrainRecord record; // what the terrain has not taken yet
    bool hasGrid = false;
    std::unique_ptr<uint8_t[]> heightmapPixels;
    std::unique_ptr<uint8_t[]> normalPixels;
    Part part = Part::Start;
    bool partComplete = false;
    size_t partSent = 0;        // bytes (rows for textures) of the current part sent
    Texture* texture = nullptr; // the texture the current part fills
    size_t sentBytes = 0;
    size_t totalBytes = 0;
};
