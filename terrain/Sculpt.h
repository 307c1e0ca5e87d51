#pragma once
// Sculpting by hand as plain functions over the grid's arrays: where a ray from the camera meets the
// height field, what one dab of a brush does to a sculpt entry's heights, and the circle that shows
// the brush on the surface. The live terrain (terrain/TerrainSculpt.cpp) calls these and uploads what
// changed; tests and benchmarks call them without a window.
//
// World and grid: vertex (i, j) lies at x = x0 + i * d, z = z0 + j * d (GridFrame), i along x in
// [0, W), j along z in [0, H), its height positions[3k + 1] with k = i * H + j.
#include "terrain/TerrainGrid.h"

#include <glm/vec3.hpp>

#include <cstdint>
#include <vector>

namespace Sculpt
{
enum class Tool
{
    RaiseLower, // raises (lowers while inverted) under the brush
    Smooth,     // pulls each height toward the mean of its neighbours
    Flatten,    // pulls the heights toward the height under the stroke's first dab
    Noise       // adds detail: a noise pattern the size of the brush
};

struct Brush
{
    Tool tool = Tool::RaiseLower;
    float radius = 8.0f;   // world units
    float strength = 0.5f; // 0..1: the share of the full step a dab takes at the brush's centre
    float falloff = 0.5f;  // 0..1: the outer share of the radius over which the effect fades to 0
};

// Where the grid lies in the world: vertex 0's x and z and the distance between vertices.
struct GridFrame
{
    float x0 = 0.0f;
    float z0 = 0.0f;
    float spacing = 1.0f;

    // The frame of a terrain's positions (vertex 0's x and z) and vertex distance.
    static GridFrame Of(const float* positions, float vertexDistance);
};

// The weight of a dab at distance over radius (0 at the centre, 1 at the rim): 1 inside the inner
// part, fading smoothly to 0 over the outer falloff share, 0 beyond.
float Weight(float distanceOverRadius, float falloff);

// The height of the surface at world (x, z), on the triangles the mesh draws; false outside the grid.
bool HeightAt(const float* positions, uint32_t width, uint32_t height, const GridFrame& frame, float x,
              float z, float& out);

// The first point where the ray (origin, direction) meets the surface: the ray is marched over the
// grid in steps of half a vertex distance inside the box of the grid and its height range, and the
// crossing refined by bisection. False when it misses the terrain.
bool Pick(const float* positions, uint32_t width, uint32_t height, const GridFrame& frame, float minHeight,
          float maxHeight, const glm::vec3& origin, const glm::vec3& direction, glm::vec3& hit);

// The vertices a dab centred at world (x, z) can change: those within radius, kept inside the grid.
TerrainGrid::Region DabRegion(uint32_t width, uint32_t height, const GridFrame& frame, float x, float z,
                              float radius);

// What one dab needs beside the brush.
struct Dab
{
    float x = 0.0f; // centre, world units
    float z = 0.0f;
    bool invert = false;        // Raise/Lower lowers (Shift held)
    float flattenHeight = 0.0f; // Flatten: the height under the stroke's first dab
    int32_t seed = 0;           // Noise: the pattern
};

// One dab: changes sculpt (the entry's heights, one per vertex) in the dab's region; positions are the
// surface as drawn, which Smooth and Flatten read. Returns the region it may have changed.
TerrainGrid::Region ApplyDab(const Brush& brush, const Dab& dab, const float* positions, float* sculpt,
                             uint32_t width, uint32_t height, const GridFrame& frame);

// count points of the brush's rim around (x, z) following the surface, lifted by lift; points outside
// the grid are left out (the strip then breaks there: a point with a NaN height).
std::vector<glm::vec3> Circle(const float* positions, uint32_t width, uint32_t height, const GridFrame& frame,
                              float x, float z, float radius, uint32_t count, float lift);
} // namespace Sculpt
