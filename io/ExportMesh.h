#pragma once
// The terrain mesh as other tools take it: counter-clockwise front faces seen from above (+y up), and
// texture coordinates that match the exported images (io/ImageLayout.h). The editor's own mesh winds
// its triangles the other way round (terrain/TerrainGrid.h); these give the same triangles reversed.
#include <cstddef>
#include <cstdint>

namespace ExportMesh
{
inline size_t GridIndexCount(uint32_t width, uint32_t height)
{
    return width < 2 || height < 2 ? 0 : static_cast<size_t>(width - 1) * (height - 1) * 6;
}

// For every cell (i, j) with a = (i, j), b = (i, j+1), c = (i+1, j), e = (i+1, j+1): the triangles
// (a, b, c) and (b, e, c), cells in vertex order. out holds GridIndexCount values.
void GridTriangles(uint32_t width, uint32_t height, uint32_t* out);
// The (H-1) * 6 indices of the cells (i, 0 .. H-2).
void GridTriangleRow(uint32_t i, uint32_t height, uint32_t* out);

// The same triangles with their second and third corners swapped: clockwise meshes (the editor's
// water plane) become counter-clockwise.
void ReverseWinding(const uint32_t* indices, size_t count, uint32_t* out);

// Texture coordinates of vertex (i, j) for an image whose first row is the top (glTF, PNG):
// u = i / (W-1) across the image, v = j / (H-1) down it. OBJ counts v upwards and takes 1 - v.
inline float U(uint32_t i, uint32_t width)
{
    return width > 1 ? static_cast<float>(i) / static_cast<float>(width - 1) : 0.0f;
}
inline float V(uint32_t j, uint32_t height)
{
    return height > 1 ? static_cast<float>(j) / static_cast<float>(height - 1) : 0.0f;
}
} // namespace ExportMesh
