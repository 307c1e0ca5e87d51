#pragma once
// The terrain as a Wavefront OBJ file that other tools take as it is, beside the editor's own OBJ
// layout (io/ObjWriter.h, which keeps its clockwise faces for the files that rely on it):
// counter-clockwise faces seen from above, one normal and one texture coordinate per vertex
// ("f a/a/a"), v counted upwards as OBJ does, and an MTL file whose material names the exported
// diffuse image. The water plane, when given, follows as a second object with a translucent material.
// Numbers are written in the shortest form that reads back as the same float.
#include <cstdint>
#include <string>

namespace ObjExport
{
struct Mesh
{
    std::string name;
    uint32_t width = 0; // vertices along x and z, vertex order k = i * height + j
    uint32_t height = 0;
    const float* positions = nullptr; // 3 per vertex
    const float* normals = nullptr;   // 3 per vertex
    std::string materialFile;         // file name the "mtllib" line gives (beside the OBJ file)
    uint32_t waterVertexCount = 0;    // editor winding, reversed on export
    const float* waterPositions = nullptr;
    uint32_t waterIndexCount = 0;
    const uint32_t* waterIndices = nullptr;
};

// Both write through AtomicFile; false with "Cannot write PATH: REASON" in error.
bool WriteObj(const std::string& path, const Mesh& mesh, std::string* error);
// Materials "ground" (with map_Kd textureFile unless it is empty) and, when water is set, "water".
bool WriteMtl(const std::string& path, const std::string& textureFile, bool water, std::string* error);
} // namespace ObjExport
