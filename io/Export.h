#pragma once
// One export of a terrain for other tools, in any combination of formats. The editor's Export dialog
// and the headless program both call ExportTerrain with a view of a terrain record (ExportInputOf);
// it touches no GL and no editor state, so it may run on a worker thread.
//
// Files, for folder F and base name B (each written under a temporary name and renamed when complete):
//   glb    F/B.glb                                   terrain, base colour, optional water (io/GltfExport.h)
//   obj    F/B.obj, F/B.mtl, F/B_basecolor.png       OBJ for other tools (io/ObjExport.h)
//   png16  F/B_height.png   + F/B_height.png.json    16-bit greyscale heights (io/HeightImage.h)
//   r16    F/B_height.r16   + F/B_height.r16.json    raw 16-bit little-endian heights
//   exr    F/B_height.exr   + F/B_height.exr.json    32-bit float heights
//   splat  F/B_splat.png                             RGBA weights of up to four bands (io/SplatMap.h)
// Images follow io/ImageLayout.h: the terrain seen from above, columns along +x, rows along +z.
#include "io/Resample.h"
#include "io/SplatMap.h"
#include "terrain/Gradient.h"
#include "terrain/TerrainRecord.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ExportFormat
{
inline constexpr uint32_t Glb = 1u << 0;
inline constexpr uint32_t Obj = 1u << 1;
inline constexpr uint32_t Png16 = 1u << 2;
inline constexpr uint32_t R16 = 1u << 3;
inline constexpr uint32_t Exr = 1u << 4;
inline constexpr uint32_t Splat = 1u << 5;
inline constexpr uint32_t All = (1u << 6) - 1;

// The names "glb", "obj", "png16", "r16", "exr", "splat" in this order, and their flags.
inline constexpr const char* kNames[6] = {"glb", "obj", "png16", "r16", "exr", "splat"};

// A comma-separated list of those names ("glb,png16") to flags; false with the reason for an
// unknown or missing name.
bool Parse(const std::string& list, uint32_t& formats, std::string* error);
} // namespace ExportFormat

// The terrain to export, as views of arrays the caller keeps alive during the call.
struct ExportInput
{
    std::string name;
    uint32_t width = 0;  // W, vertices along x (i)
    uint32_t height = 0; // H, vertices along z (j); vertex k = i * H + j
    float vertexDistance = 1.0f;
    const float* positions = nullptr; // x, y, z per vertex
    const float* normals = nullptr;   // unit x, y, z per vertex; null: computed from the positions
    const uint8_t* diffuse = nullptr; // 3 bytes per vertex (pixel k belongs to vertex k); null: none
    std::vector<Gradient> gradients;  // colour bands, for the splat map
    // The water plane in the editor's winding; no vertices: no water.
    uint32_t waterVertexCount = 0;
    const float* waterPositions = nullptr;
    const float* waterNormals = nullptr; // null: all (0, 1, 0)
    uint32_t waterIndexCount = 0;
    const uint32_t* waterIndices = nullptr;
};

// The view of a record: its current positions, normals, diffuse image (when it is the grid's), gradients
// and water plane (when built). The record must outlive the view.
ExportInput ExportInputOf(const TerrainRecord& record);

struct ExportOptions
{
    std::string folder;        // empty: the working folder; a '/' is put between folder and base name
    std::string baseName;      // file names start with it; it may not contain '/'
    uint32_t formats = 0;      // ExportFormat flags
    bool water = true;         // the water plane as a second mesh (glb and obj), when the terrain has one
    uint32_t resampleSide = 0; // 0 keeps the grid; otherwise the longer side's vertex count (2 .. kMaxSide)
    Resample::Filter filter = Resample::Filter::Bilinear;
    SplatMap::Mode splatMode = SplatMap::Mode::Height;

    static constexpr uint32_t kMaxSide = 8193;
};

// Called before each file with the share done (0 .. 1) and the file's path; returning false cancels
// the export before that file (the files already written stay, each complete).
using ExportProgress = std::function<bool(float done, const std::string& file)>;

// Every file the options write, in the order they are written (withDiffuse: whether the terrain has
// a diffuse image for the OBJ's material).
std::vector<std::string> ExportFiles(const ExportOptions& options, bool withDiffuse);

// Writes the chosen files. On failure returns false with one message naming the file and the reason
// ("Cannot write PATH: REASON", "Cannot export terrain NAME: REASON" for refused input, or "Export
// cancelled") in error, also logged; the failed file leaves nothing behind, and no later file is
// written.
bool ExportTerrain(const ExportInput& input, const ExportOptions& options, const ExportProgress& progress,
                   std::string* error);
