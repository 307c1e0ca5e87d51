#pragma once
// The terrain grid as plain arrays: mesh build, heights to heightmap bytes, face and vertex normals
// and the normal texture. Terrain calls these and keeps the GL uploads; tests and benchmarks call
// them without a window.
//
// Grid convention: W vertices along x (index i), H along z (index j), vertex k = i * H + j; positions
// and normals hold x, y, z per vertex in that order. The bulk passes split rows over the cores;
// every value is computed exactly as a plain loop computes it (min and max are combined in row
// order), so the results are the same bits whatever the thread count.
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace TerrainGrid
{
struct HeightRange
{
    float min = 3.4028235e38f;
    float max = -3.4028235e38f;

    // The comparisons of the height passes: the first of equal values stays, NaN is skipped.
    void Add(float h)
    {
        max = max < h ? h : max;
        min = h < min ? h : min;
    }
    void Add(const HeightRange& later)
    {
        max = max < later.max ? later.max : max;
        min = later.min < min ? later.min : min;
    }
};

// A rectangle of the grid: vertex rows i in [rowBegin, rowEnd) and columns j in [columnBegin,
// columnEnd). A row's run of columns is contiguous in every per-vertex array (k = i * H + j).
struct Region
{
    uint32_t rowBegin = 0;
    uint32_t rowEnd = 0;
    uint32_t columnBegin = 0;
    uint32_t columnEnd = 0;

    bool Empty() const { return rowBegin >= rowEnd || columnBegin >= columnEnd; }
    size_t Count() const { return Empty() ? 0 : size_t{rowEnd - rowBegin} * (columnEnd - columnBegin); }
    // The region grown by margin vertices on every side, kept inside a width x height grid.
    Region Grown(uint32_t margin, uint32_t width, uint32_t height) const;
    // The smallest region holding both (an empty one holds nothing).
    Region Union(const Region& other) const;
};

// Range of n contiguous values, the same bits as adding them one by one to a HeightRange: lanes
// run side by side, and the one value whose bits the lanes could pick differently (a zero, +0 or
// -0, as the extreme) is taken from its first occurrence.
HeightRange RangeOf(const float* values, size_t n);

// Runs body(rowBegin, rowEnd, range) on contiguous row chunks on all cores and returns the ranges
// the chunks collected, combined in row order. rowWork is the number of elements per row (to keep
// small grids on one thread).
HeightRange ForRows(size_t rows, size_t rowWork,
                    const std::function<void(size_t, size_t, HeightRange&)>& body);
// The same without a range.
void ForRows(size_t rows, size_t rowWork, const std::function<void(size_t, size_t)>& body);

// Flat grid centred on the origin with normals (0, 1, 0), texture coordinates (j / (H-1), i / (W-1))
// and the triangles (a, c, b), (b, c, e) of every cell. W and H must be at least 1. The arrays'
// contents are replaced, each element written once.
void BuildGrid(uint32_t width, uint32_t height, float vertexDistance, std::vector<float>& positions,
               std::vector<uint32_t>& indices, std::vector<float>& normals, std::vector<float>& texCoords);
// The same without normals, for a caller that computes them from the heights.
void BuildGrid(uint32_t width, uint32_t height, float vertexDistance, std::vector<float>& positions,
               std::vector<uint32_t>& indices, std::vector<float>& texCoords);

// The parts of BuildGrid, for building them on different threads. GridPositions with heights (W x H
// in vertex order) writes y = (0 + 1 * heights[k]) - shift: the flat grid after AddHeights(heights,
// 1) and ShiftHeights(shift), the same bits, in one pass; with null heights y is 0.
void GridPositions(uint32_t width, uint32_t height, float vertexDistance, const float* heights, float shift,
                   std::vector<float>& positions);
// A fill running on another thread can be followed and stopped through a FillControl: done counts
// the elements written so far, and stop, once set, ends the fill early (its array is then incomplete).
struct FillControl
{
    std::atomic<size_t> done{0};
    std::atomic<bool> stop{false};
};
void GridTexCoords(uint32_t width, uint32_t height, std::vector<float>& texCoords,
                   FillControl* control = nullptr);
void GridIndices(uint32_t width, uint32_t height, std::vector<uint32_t>& indices,
                 FillControl* control = nullptr);
// Whether indices are exactly what GridIndices makes, in its order.
bool IsGridIndices(const std::vector<uint32_t>& indices, uint32_t width, uint32_t height);

// Unit face normal e2 x e1 / |e2 x e1| with e1 = p1 - p0, e2 = p2 - p0.
inline void TriangleNormal(const float* p0, const float* p1, const float* p2, float* out)
{
    const float e1x = p1[0] - p0[0], e1y = p1[1] - p0[1], e1z = p1[2] - p0[2];
    const float e2x = p2[0] - p0[0], e2y = p2[1] - p0[1], e2z = p2[2] - p0[2];
    const float nx = e2y * e1z - e2z * e1y;
    const float ny = e2z * e1x - e2x * e1z;
    const float nz = e2x * e1y - e2y * e1x;
    const float inv = 1.0f / std::sqrt(nx * nx + ny * ny + nz * nz);
    out[0] = nx * inv;
    out[1] = ny * inv;
    out[2] = nz * inv;
}

// Sum of vertex k's incident face normals, each added only when its cell exists, in this order:
// (a,c,b) and (b,c,e) of cell (i-1, j), (a,c,b) of cell (i, j), (b,c,e) and (a,c,b) of cell (i, j-1),
// (b,c,e) of cell (i-1, j-1); normalised. This is the reference rule VertexNormals follows.
void VertexNormalDirect(const float* positions, uint32_t width, uint32_t height, uint32_t i, uint32_t j,
                        float* out);

// All vertex normals, and (when normalBytes is not null) the 3-byte normal texture beside them.
// Each face normal is computed once per pass instead of once per incident vertex.
void VertexNormals(const float* positions, uint32_t width, uint32_t height, float* normals,
                   uint8_t* normalBytes);
// The same, replacing the contents of normals by the W x H normals, each element written once.
// progress hears the share done after each batch of rows; returning false stops the pass (false
// returned, the arrays incomplete).
bool VertexNormals(const float* positions, uint32_t width, uint32_t height, std::vector<float>& normals,
                   uint8_t* normalBytes, const std::function<bool(float)>& progress = {});

// The normals (and bytes, when not null) of the vertices in region only, the same bits as the whole
// pass gives them; normals and normalBytes are the whole grid's arrays. A vertex's normal reads its
// neighbours' positions, so an edit of the heights in a region changes the normals of the region
// grown by one.
void VertexNormalsIn(const float* positions, uint32_t width, uint32_t height, const Region& region,
                     float* normals, uint8_t* normalBytes);

// Normal texture texel: x to red, z to green, y (up) to blue, each trunc((n + 1) * 0.5 * 255).
inline int32_t NormalByte(float n)
{
    float v = (n + 1.0f) * 0.5f * 255.0f;
    // Unit normals stay in 0..255; this only keeps a degenerate (NaN) normal defined.
    v = v > 0.0f ? v : 0.0f; // NaN becomes 0
    v = v < 255.0f ? v : 255.0f;
    return static_cast<int32_t>(v);
}

// Heightmap texel: (y - min) * 255.0 * scale with scale = 1 / (max - min), clamped so that a NaN
// (a flat terrain, 0 * inf) becomes 0, truncated.
inline uint8_t HeightByte(float y, float minHeight, float scale)
{
    float v = static_cast<float>((y - minHeight) * 255.0 * scale);
    v = v > 255.0f ? 255.0f : v;
    v = v > 0.0f ? v : 0.0f;
    return static_cast<uint8_t>(v);
}

// One byte per vertex, from the heights in positions.
void HeightmapBytes(const float* positions, size_t vertexCount, float minHeight, float maxHeight,
                    uint8_t* out);

// y[k] += scale * array[k]; returns the new height range.
HeightRange AddHeights(float* positions, const float* array, size_t vertexCount, float scale);
// y[k] -= amount.
void ShiftHeights(float* positions, size_t vertexCount, float amount);
HeightRange Range(const float* positions, size_t vertexCount);
// The height range of the whole grid on all cores, the same bits as Range.
HeightRange RangeAll(const float* positions, uint32_t width, uint32_t height);
// The heightmap bytes of a region only (out is the whole grid's image).
void HeightmapBytesIn(const float* positions, uint32_t height, const Region& region, float minHeight,
                      float maxHeight, uint8_t* out);
} // namespace TerrainGrid
