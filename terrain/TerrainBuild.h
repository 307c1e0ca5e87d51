#pragma once
// A terrain's arrays and images made from its project record, without GL. The editor (opening a
// project) and the headless build both call Build, so both hold the same bits for the same project.
//
// What is made again and what is taken as stored (stored pixels and heights are always the truth):
//   - base heights: stored; otherwise the start generator runs again from its recorded seed
//   - x, z and texture coordinates: the regular grid, unless stored (terrains read from OBJ files)
//   - layer images: stored; a noise layer without pixels is generated from its settings
//   - the unrounded levels of noise layers with smooth heights: always from their settings
//   - current heights: the base heights with the layer stack applied (images added, erosion entries
//     run with their settings clamped), unless stored (the layers changed after they were last applied)
//   - erosion masks: stored; otherwise made by the stack's run (when the heights are stored, the stack
//     runs for them only if the diffuse texture must be painted from a mask that is not stored)
//   - normals: from the current heights; the mesh indices: the grid's triangles
//   - heightmap and normal textures: stored; otherwise from the heights and normals
//   - water map: stored; otherwise dry
//   - diffuse and specular textures: stored; otherwise from the gradients by the recorded band
//     generation (mode and seed); absent when they were never generated
//   - water plane: stored when it no longer followed the water map; otherwise built from the water map
//     and the current heights
#include "terrain/LayerStack.h"
#include "terrain/Project.h"
#include "terrain/TerrainGrid.h"
#include "terrain/Water.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct BuiltTerrain
{
    uint32_t width = 0;
    uint32_t height = 0;
    float vertexDistance = 1.0f;
    float minHeight = 0.0f;
    float maxHeight = 0.0f;
    std::vector<float> positions;     // x, y, z per vertex: the current heights
    std::vector<float> basePositions; // before any layer
    std::vector<float> normals;
    std::vector<float> texCoords;
    std::vector<uint32_t> indices;
    bool hasWaterPlane = false;
    Water::PlaneMesh waterPlane;
    // One per layer: what each erosion entry made (its heights and mask); not valid for other kinds, or
    // when the stack did not run.
    std::vector<LayerStack::ErosionCache> erosion;
    // One per layer: a noise layer's unrounded levels when it has smooth heights; empty otherwise.
    std::vector<std::vector<float>> smoothLevels;
};

namespace TerrainBuild
{
// The positions a start generator gives a new terrain, as the Terrain constructor makes them: the flat
// grid, the generator's heights added, then shifted so the lowest is exactly 0. False (nothing made)
// for a generator that builds no grid: diamond-square of different sides, or kind "file"; and when
// progress (the generator's, 0 to 1) stopped it.
bool GenerateBase(uint32_t width, uint32_t height, float vertexDistance, const ProjectGenerator& generator,
                  std::vector<float>& positions, TerrainGrid::HeightRange& range,
                  const std::function<bool(float)>& progress = {});

// The noise layer image of a settings record, as a noise layer generates it (one byte per vertex), and
// when levels is given its unrounded levels.
void NoiseLayerImage(const ProjectLayerSettings& settings, uint32_t width, uint32_t height,
                     std::vector<uint8_t>& out, std::vector<float>* levels = nullptr);

// positions = basePositions with the layer stack applied in list order; returns the height range.
// Layers whose image does not fit the grid add nothing, as in the editor. caches, when given, is
// resized to one per layer and keeps what the erosion entries made. levels, when given, holds one
// array per layer: the levels a noise layer with smooth heights adds (empty: its pixels).
TerrainGrid::HeightRange ApplyLayerStack(const float* basePositions, float* positions, uint32_t width,
                                         uint32_t height, float vertexDistance,
                                         const std::vector<ProjectLayer>& layers,
                                         std::vector<LayerStack::ErosionCache>* caches = nullptr,
                                         const std::vector<std::vector<float>>* levels = nullptr,
                                         const LayerStack::ApplyProgress& progress = {},
                                         bool* stopped = nullptr);

// Whether x, z and the texture coordinates are those of the regular grid the terrain constructor lays.
bool IsRegularGrid(const float* positions, const float* texCoords, uint32_t width, uint32_t height,
                   float vertexDistance);

// The record of a terrain's grid and base heights as a project keeps them (no layers, images or water):
// the base heights, and x, z and texture coordinates only when they are not the regular grid's.
// basePositions holds x, y, z and texCoords u, v per vertex.
ProjectTerrain BaseRecord(const std::string& name, uint32_t width, uint32_t height, float vertexDistance,
                          const ProjectGenerator& generator, const float* basePositions,
                          const float* texCoords);

// Fills in what the record does not store (see above), in the record itself for the images, and
// builds the arrays into out. Returns false with the reason when the record cannot be built (a
// generator that makes no grid and no stored heights). progress hears the share done between the
// steps and within the long ones (the generator, erosion runs, the normals); when it returns false
// the build stops, false with the reason "stopped".
bool Build(ProjectTerrain& terrain, BuiltTerrain& out, std::string* error = nullptr,
           const std::function<bool(float)>& progress = {});
} // namespace TerrainBuild
