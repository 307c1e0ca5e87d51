#pragma once
// Resampling a terrain grid to another side before it is exported (513, 1025, 2049, 4097, ...). The
// longer side gets the chosen number of vertices and the other the count that keeps the vertex distance
// closest; each axis spans exactly the old extent, so the spacing along z may differ from that along x
// by a fraction of a vertex distance over the whole side.
// Values are arrays of channels floats per vertex in vertex order (k = i * H + j).
#include <cstdint>

namespace Resample
{
enum class Filter
{
    Bilinear,
    // Catmull-Rom, passes through the old vertices; held within the values of the samples each new
    // value is made of, so a sharp step does not overshoot (and nothing leaves the old range).
    Bicubic
    // Both extend the grid linearly beyond its border, so a plane stays a plane up to the edge.
};

struct Size
{
    uint32_t width = 0;
    uint32_t height = 0;
    float vertexDistance = 1.0f;  // along x (i)
    float vertexDistanceZ = 1.0f; // along z (j)
    double stepI = 1.0;           // old vertices per new vertex along i
    double stepJ = 1.0;           // and along j
};

// The grid a width x height grid becomes with side vertices on its longer side (side >= 2).
Size SizeFor(uint32_t width, uint32_t height, float vertexDistance, uint32_t side);

// Samples the old grid at new vertex (i', j') = old position (i' * stepI, j' * stepJ), clamped to the
// grid, and writes size.width * size.height * channels values to out. The old grid needs at least
// two vertices each way.
void Grid(const float* in, uint32_t width, uint32_t height, uint32_t channels, const Size& size,
          Filter filter, float* out);
} // namespace Resample
