#pragma once
// Resampling a terrain grid to another side before it is exported (513, 1025, 2049, 4097, ...). The
// longer side gets the chosen number of vertices; the other keeps the same vertex distance, so the
// terrain keeps its shape and its extent (to within one new vertex distance on the shorter side).
// Values are arrays of channels floats per vertex in vertex order (k = i * H + j).
#include <cstdint>

namespace Resample
{
enum class Filter
{
    Bilinear,
    Bicubic // Catmull-Rom: passes through the old vertices, may overshoot a little at sharp steps
    // Both extend the grid linearly beyond its border, so a plane stays a plane up to the edge.
};

struct Size
{
    uint32_t width = 0;
    uint32_t height = 0;
    float vertexDistance = 1.0f;
    double step = 1.0; // old vertices per new vertex
};

// The grid a width x height grid becomes with side vertices on its longer side (side >= 2).
Size SizeFor(uint32_t width, uint32_t height, float vertexDistance, uint32_t side);

// Samples the old grid at new vertex (i', j') = old position (i' * step, j' * step), clamped to the
// grid, and writes size.width * size.height * channels values to out. The old grid needs at least
// two vertices each way.
void Grid(const float* in, uint32_t width, uint32_t height, uint32_t channels, const Size& size,
          Filter filter, float* out);
} // namespace Resample
