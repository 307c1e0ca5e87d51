#pragma once
// The terrain as one binary glTF 2.0 file (".glb"): the grid mesh with counter-clockwise front faces
// and +y up, its normals and texture coordinates, the diffuse image as its base colour (embedded PNG),
// and optionally the water plane as a second mesh with a translucent material. tinygltf builds and
// serialises the document; the binary chunk is streamed from the arrays into the file rather than
// assembled in memory (tinygltf would copy such a buffer once more, which for a large terrain costs
// more than writing the file). Plain arrays in, no GL: callable from a worker thread.
#include <cstdint>
#include <string>
#include <vector>

namespace GltfExport
{
struct Scene
{
    std::string name;
    // The terrain grid: width x height vertices in vertex order (k = i * height + j), 3 floats each.
    uint32_t width = 0;
    uint32_t height = 0;
    const float* positions = nullptr;
    const float* normals = nullptr;
    // The diffuse image encoded as PNG in the exported image layout (io/ImageLayout.h); null or empty
    // for a terrain without one (its material is then plain white).
    const std::vector<uint8_t>* baseColorPng = nullptr;
    // The water plane in the editor's own winding (reversed on export); no vertices: no water mesh.
    uint32_t waterVertexCount = 0;
    const float* waterPositions = nullptr;
    const float* waterNormals = nullptr;
    uint32_t waterIndexCount = 0;
    const uint32_t* waterIndices = nullptr;
};

// The water material's colour: a translucent blue (alpha blended).
inline constexpr double kWaterColor[4] = {0.08, 0.3, 0.55, 0.6};

// Writes the file through AtomicFile; false with "Cannot write PATH: REASON" in error.
bool Write(const std::string& path, const Scene& scene, std::string* error);
} // namespace GltfExport
