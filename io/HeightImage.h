#pragma once
// Heights as image files for other tools, and heightmaps read back into a grid:
//   - 16-bit greyscale PNG and raw 16-bit little-endian ".r16": 0 .. 65535 spans the lowest to the
//     highest height, value = round((h - min) / (max - min) * 65535);
//   - 32-bit float OpenEXR (one channel "Y", lossless ZIP compression): the true heights.
// Each written file gets a JSON file beside it (its name + ".json") with the lowest and highest
// height, the grid size and the vertex distance, so that an engine can scale it. Pixels follow
// io/ImageLayout.h: columns along +x, rows along +z, the first row at the lowest z.
//
// Plain functions over arrays: no GL, no editor state, callable from a worker thread.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A height field: width vertices along x (i), height along z (j), heights[i * height + j].
struct HeightGrid
{
    uint32_t width = 0;
    uint32_t height = 0;
    float vertexDistance = 1.0f;
    std::vector<float> heights;
};

// Heights to write without copying them: vertex k's height is values[k * stride] (stride 3 reads the
// y of x, y, z positions).
struct HeightView
{
    uint32_t width = 0;
    uint32_t height = 0;
    float vertexDistance = 1.0f;
    const float* values = nullptr;
    size_t stride = 1;
    float vertexDistanceZ = 0.0f; // along z when it differs from vertexDistance (0: the same)

    float operator[](size_t k) const { return values[k * stride]; }
    size_t Count() const { return static_cast<size_t>(width) * height; }
};

namespace HeightImage
{
enum class Format
{
    Png16,
    R16,
    Exr
};

// The JSON file that describes a height file: path + ".json".
std::string SidecarPath(const std::string& path);

inline HeightView ViewOf(const HeightGrid& grid)
{
    return {grid.width, grid.height, grid.vertexDistance, grid.heights.data(), 1};
}

// The lowest and highest finite height (both 0 when there is none).
void FiniteRange(const HeightView& heights, float& lowest, float& highest);

// 16-bit values in image order for the heights between lowest and highest (all 0 when they are equal;
// a height that is not finite gives 0), stored little-endian when littleEndian is set, else host-endian.
std::vector<uint16_t> Quantize16(const HeightView& heights, float lowest, float highest,
                                 bool littleEndian = false);

// Writes the height file and its JSON file, each through AtomicFile. False with "Cannot write PATH:
// REASON" in error when one of them could not be written; a failed file leaves nothing behind.
bool Write(const std::string& path, Format format, const HeightView& heights, std::string* error);
// The same with 0 .. 65535 spanning lowest .. highest (heights beyond are clamped), which the JSON file
// gives: the tiles of a world share one range.
bool WriteInRange(const std::string& path, Format format, const HeightView& heights, float lowest,
                  float highest, std::string* error);

struct ImportOptions
{
    float heightScale = 100.0f; // the highest 8/16-bit value, or the float factor of an EXR file
    float vertexDistance = 1.0f;
    bool useSidecar = true;  // take heights and distance from path + ".json" when it exists
    uint32_t maxSide = 4097; // the largest grid side accepted
    // The image as the editor's own images (Save Terrain, heightmap layers) store a grid instead of
    // the export layout: columns along +z, rows counted from the bottom along +x.
    bool editorLayout = false;
};

// What the import found beside the file, for the dialog to show.
bool HasSidecar(const std::string& path);

// Reads a heightmap by its extension: ".png" (8- or 16-bit greyscale), ".r16" (square, side from the
// length, unless its JSON file gives the size) or ".exr" (one 16- or 32-bit float channel). Without a
// JSON file an integer value v of a b-bit file gives v / (2^b - 1) * heightScale and a float value
// f gives f * heightScale; with one, the heights come back between its lowest and highest height
// (float files as they are) and its vertex distance is used. Refuses sizes outside 2 .. maxSide,
// truncated and inconsistent files and wrong channel counts with "Cannot import heightmap PATH:
// REASON" in error; out is changed only on success. progress, when given, is called with the share
// done and may return false to cancel.
bool Read(const std::string& path, const ImportOptions& options, HeightGrid& out, std::string* error,
          const std::function<bool(float)>& progress = {});

// Read as Terrain from heightmap (and velmoran-build) take a heightmap: a grid that is not square is
// refused too, with the same kind of message.
bool ReadSquare(const std::string& path, const ImportOptions& options, HeightGrid& out, std::string* error,
                const std::function<bool(float)>& progress = {});
} // namespace HeightImage
