#pragma once
// A terrain's CPU side, built without GL so that it can be made on a worker thread: the grid, the
// heights from a start generator, a height array or a file, and what is derived from them (normals,
// heightmap and normal texture pixels). Terrain(TerrainArrays&&) is the GL side: it takes the arrays
// over, creates the textures and uploads the mesh on the GUI thread.
//
// A terrain built in two steps is the same bits, with the same messages in the same order, as one
// built by the generator constructor: that constructor is these two steps.
#include "terrain/Terrain.h"

#include <glm/vec3.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

// How far the building is (0 to 1) and what it does now; returning false stops it between steps.
using TerrainBuildProgress = std::function<bool(float fraction, std::string_view step)>;

struct TerrainArrays
{
    // The fields the Terrain takes over as they are.
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t vertexCount = 0;
    uint32_t indexCount = 0;
    float vertexDistance = 1.0f;
    float maxHeight = -3.4028235e38f;
    float minHeight = 3.4028235e38f;
    Terrain::GeneratorRecord generatorRecord;

    // False: the terrain keeps its sizes but gets no arrays and no textures (a refused request).
    bool hasGrid = false;
    std::vector<float> positions;
    std::vector<float> basePositions;
    std::vector<uint32_t> indices;
    bool gridIndices = false; // indices are exactly TerrainGrid::GridIndices(width, height)
    std::vector<float> texCoords;
    // Derived (ComputeDerived); while normalPixels is null the Terrain computes all three itself.
    std::vector<float> normals;
    std::unique_ptr<uint8_t[]> heightmapPixels; // W x H bytes
    std::unique_ptr<uint8_t[]> normalPixels;    // W x H x 3 bytes

    // The start generator's terrain: what the Terrain constructor with these arguments holds before
    // its GL step, with its messages (the diamond-square refusals, the too-large grid). derive also
    // computes the normals and texture pixels. progress hears every step, the generator's many times
    // a second; false, with out unchanged, when it stopped the work (within a fraction of a second).
    static bool Generate(uint32_t width, uint32_t height, float vertexDistance, Terrain::Generator generator,
                         float parameter1, float parameter2, uint32_t iterations, bool derive,
                         TerrainArrays& out, const TerrainBuildProgress& progress = {});
    static TerrainArrays Generate(uint32_t width, uint32_t height, float vertexDistance,
                                  Terrain::Generator generator, float parameter1, float parameter2,
                                  uint32_t iterations);

    // A terrain from heights in vertex order (a heightmap import), as the flat grid with the heights
    // added: the base of every later layer. False for a grid that cannot be built.
    static bool FromHeights(uint32_t width, uint32_t height, float vertexDistance, const float* heights,
                            TerrainArrays& out);

    // Fills the normals and the heightmap and normal texture pixels from the positions. progress
    // hears the share done; when it returns false the pass stops and false is returned, with none of
    // the three filled.
    bool ComputeDerived(const std::function<bool(float)>& progress = {});
};

// Whether a grid's vertex and index counts fit 32 bits (the mesh and GL draw counts); logs the refusal.
bool GridCountsFit(uint32_t width, uint32_t height);

// The box around the positions (x, y, z per vertex), values that are not finite left out; a point
// at the origin when there are none.
void TerrainBounds(const float* positions, size_t vertexCount, glm::vec3& low, glm::vec3& high);
