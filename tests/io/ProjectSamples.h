#pragma once
// A small project that uses every part of the model: the tests' sample and the fuzz target's seed.
#include "terrain/Project.h"
#include "terrain/TerrainGrid.h"

// No TestCommon.h: the fuzz targets build this without gtest.
#include <cmath>
#include <limits>

namespace testsupport
{
inline ImageRecord TestImage(uint32_t width, uint32_t height, uint32_t channels, uint8_t seed)
{
    std::vector<uint8_t> pixels(size_t{width} * height * channels);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(seed + i * 37 + i / 5);
    return ImageRecord::Copy(pixels.data(), width, height, channels);
}

inline std::vector<float> TestFloats(size_t count, float scale)
{
    std::vector<float> values(count);
    for (size_t i = 0; i < count; ++i)
        values[i] = scale * std::sin(static_cast<float>(i) * 0.7f) + 1e-7f * static_cast<float>(i);
    return values;
}

// The grid's positions with these heights, and x and z from xz (two per vertex) when it is given.
inline std::vector<float> TestPositions(const TerrainRecord& t, const std::vector<float>& heights,
                                        const std::vector<float>& xz = {})
{
    std::vector<float> positions;
    TerrainGrid::GridPositions(t.width, t.height, t.vertexDistance, nullptr, 0.0f, positions);
    for (size_t k = 0; k < heights.size(); ++k)
    {
        positions[3 * k + 1] = heights[k];
        if (xz.empty()) continue;
        positions[3 * k] = xz[2 * k];
        positions[3 * k + 2] = xz[2 * k + 1];
    }
    return positions;
}

// Terrain records as a project file gives them back (images of a W x H terrain are H wide and W high):
// a non-square terrain with every kind of layer, all textures and a stale water plane; an empty one; and
// one read from a file, with its own grid and texture coordinates.
inline Project SampleProject()
{
    Project p;
    p.terrains.resize(3);
    TerrainRecord& a = p.terrains[0];
    a.name = "ridge";
    a.width = 6;
    a.height = 4;
    a.vertexDistance = 0.75f;
    a.generator = {TerrainGenerator::RandomFault, 2.5f, 0.005f, 30, 4000000000u};
    a.basePositions = TestPositions(a, TestFloats(24, 3.0f));
    std::vector<float> heights = TestFloats(24, 5.0f);
    heights[3] = -0.0f;
    a.positions = TestPositions(a, heights);
    a.heightsFollowLayers = false;
    a.layers.resize(4);
    LayerRecord& noise = a.layers[0];
    noise.name = "Heightmap_0";
    noise.settings.seed = -12;
    noise.settings.frequency = 0.02f;
    noise.settings.offsetX = std::numeric_limits<float>::quiet_NaN();
    noise.settings.fractalType = 2;
    noise.settings.fractalTypeName = "Ridged";
    noise.settings.octaves = 7;
    noise.settings.smoothHeights = true;
    noise.image = TestImage(4, 6, 1, 3);
    noise.image.saveName = "ridge_layer";
    LayerRecord& image = a.layers[1];
    image.kind = LayerKind::Image;
    image.name = "rocks.png";
    image.settings.power = -2.25f;
    image.image = TestImage(4, 6, 3, 9);
    image.image.source = "rocks.png";
    image.image.linear = false;
    LayerRecord& erosion = a.layers[2];
    erosion.kind = LayerKind::Erosion;
    erosion.name = "Erosion_2";
    erosion.settings.erosion.method = Erosion::Method::Thermal;
    erosion.settings.erosion.hydraulic = {1234, -3, 0.25f, 2.5f, 0.125f, 0.75f, 0.02f, 2, 40, 3.5f, 0.05f};
    erosion.settings.erosion.thermal = {33.5f, 7, 0.75f};
    erosion.image = TestImage(4, 6, 3, 11);
    erosion.image.saveName = "ridge_Erosion_2_mask";
    LayerRecord& sculpt = a.layers[3];
    sculpt.kind = LayerKind::Sculpt;
    sculpt.name = "Sculpt_3";
    sculpt.sculpt = TestFloats(24, 0.5f);
    sculpt.sculpt[5] = -0.0f;
    a.gradients = {Gradient{127, 0, 45.0f, {0.1f, 0.2f, 0.3f, 1.0f}, 0.25f},
                   Gradient{128, 10, 45.0f, {1.0f, 1.0f, 1.0f, 0.5f}, 1.0f}};
    a.bands = {BandMode::Mask, 77, 2, 1}; // seed 77, over the erosion entry's deposited channel
    a.heightmap = TestImage(4, 6, 1, 1);
    a.normal = TestImage(4, 6, 3, 2);
    a.diffuse = TestImage(4, 6, 3, 4);
    a.diffuse.mipmaps = true;
    a.specular = TestImage(4, 6, 1, 5);
    a.watermap = TestImage(4, 6, 4, 6);
    a.watermap.linear = false;
    a.display = DisplayTexture::Diffuse;
    a.waterPlaneBuilt = true;
    a.waterFollowsMap = false;
    a.waterPlane.positions = TestFloats(12, 1.0f);
    a.waterPlane.texCoords = TestFloats(8, 0.5f);
    a.waterPlane.indices = {0, 1, 2, 2, 1, 3};

    p.terrains[1].name = "broken"; // an empty terrain

    TerrainRecord& file = p.terrains[2];
    file.name = "scan";
    file.width = 3;
    file.height = 5;
    file.generator.fromFile = true;
    file.basePositions = TestPositions(file, TestFloats(15, 2.0f), TestFloats(30, 10.0f));
    file.texCoords = TestFloats(30, 1.0f);
    file.heightmap = TestImage(5, 3, 1, 7);
    file.normal = TestImage(5, 3, 3, 8);
    file.watermap = TestImage(5, 3, 4, 0);
    file.display = DisplayTexture::None;
    file.waterPlaneBuilt = true;

    ProjectCamera first;
    first.name = "Scene 0 camera";
    first.position = {1.5f, -2.0f, 3.25f};
    first.speed = std::numeric_limits<float>::infinity();
    first.rotate = true;
    ProjectCamera hidden;
    hidden.name = "kept";
    hidden.perspective = false;
    hidden.listed = false;
    p.cameras = {first, hidden};

    ProjectScene scene;
    scene.sceneId = 3;
    scene.name = "Scene 3";
    scene.camera = 0;
    scene.terrain = 2;
    scene.hasShader = true;
    scene.shader = {"shaders/normal_shader.vert", "shaders/normal_shader.frag"};
    scene.isNew = false;
    scene.showWindow = true;
    scene.ratioWidth = 16.0f;
    scene.ratioHeight = 9.0f;
    scene.wireframe = true;
    scene.clearColor = {0.1f, 0.2f, 0.3f, 0.4f};
    p.scenes = {scene, ProjectScene{7, "Scene 7", 1}};
    p.shaders = {{"user/glow.vert", "user/glow.frag"}};
    p.sceneCounter = 8;
    p.aspectRatioIndex = 1;
    return p;
}
} // namespace testsupport
