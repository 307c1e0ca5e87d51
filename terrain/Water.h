#pragma once
// Water map algorithms over plain arrays of a W x H grid (vertex k = i * H + j, i < W, j < H): the
// flood search that places poured water, the edge-water outline, and the water plane mesh. The Terrain
// members (FloodWater, PourWater, OutlineWater, ClearWater) and Terrain::WaterPlane wrap them with the
// terrain's textures and GL mesh. Nothing here recurses: every walk keeps its own heap stack or queue.
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace Water
{
// Water map pixels are RGBA bytes; a pixel is full or edge water only when all four match.
inline constexpr std::array<uint8_t, 4> kFullWater{0, 0, 255, 255};
inline constexpr std::array<uint8_t, 4> kEdgeWater{0, 0, 255, 127}; // alpha 0.5 * 255, truncated

bool IsPixel(const uint8_t* watermap, size_t k, const std::array<uint8_t, 4>& color);

// Depth-first flood from start over heightmap bytes. Water runs to neighbours no higher than the vertex
// it leaves, through ground no higher than level, and through pixels of waterColor (which raise level
// to their height); a vertex from which no neighbour is taken is appended to result. visited (one byte
// per vertex, all 0 on entry) becomes nonzero for every vertex taken from the stack; level is updated.
// The result holds the same vertices as the plain stack search's, each once, in increasing order.
void Flood(const uint8_t* heights, const uint8_t* watermap, uint32_t width, uint32_t height, uint32_t start,
           const std::array<uint32_t, 4>& waterColor, std::deque<uint32_t>& result, uint8_t* visited,
           uint32_t& level);

// One stroke point: a flood from start with level 0 over full water, whose result becomes full water.
void Pour(const uint8_t* heights, uint8_t* watermap, uint32_t width, uint32_t height, uint32_t start);

// Every pixel within two steps (in both axes) of full water that is not full water becomes edge water.
void Outline(uint8_t* watermap, uint32_t width, uint32_t height);

// The water plane's arrays: one vertex per water pixel (full or edge), numbered in breadth-first order
// per connected region; each region lifted to the highest terrain height among its full-water pixels,
// or, for a region of edge water alone, among all its pixels (so that no part of it is under ground).
struct PlaneMesh
{
    std::vector<float> positions; // x, y, z
    std::vector<float> normals;   // all (0, 1, 0)
    std::vector<float> texCoords; // u, v
    std::vector<uint32_t> indices;
};

// terrainPositions holds x, y, z per terrain vertex (the current heights); minHeight, the terrain's, is
// no longer read.
PlaneMesh BuildPlane(const uint8_t* watermap, const float* terrainPositions, uint32_t width, uint32_t height,
                     float vertexDistance, float minHeight);
} // namespace Water
