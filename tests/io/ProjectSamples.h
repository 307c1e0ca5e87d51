#pragma once
// A small project that uses every part of the model: the tests' sample and the fuzz target's seed.
#include "terrain/Project.h"

#include <cmath>
#include <limits>

namespace testsupport
{
inline ProjectImage TestImage(uint32_t width, uint32_t height, uint32_t channels, uint8_t seed)
{
    ProjectImage image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.pixels.resize(image.ByteSize());
    for (size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = static_cast<uint8_t>(seed + i * 37 + i / 5);
    return image;
}

inline std::vector<float> TestFloats(size_t count, float scale)
{
    std::vector<float> values(count);
    for (size_t i = 0; i < count; ++i)
        values[i] = scale * std::sin(static_cast<float>(i) * 0.7f) + 1e-7f * static_cast<float>(i);
    return values;
}

// Images of a W x H terrain are H pixels wide and W high (a pixel per vertex in vertex order).
// Terrain 0: a non-square random-fault terrain whose heights no longer follow its layers, with a noise
// layer, a three-channel image layer, a thermal erosion entry with its mask, bands over that mask, all
// five textures and a stale water plane. Terrain 1: an
// empty terrain. Terrain 2: read from a file, with its own grid and texture coordinates.
inline Project SampleProject()
{
    Project p;
    ProjectTerrain a;
    a.name = "ridge";
    a.width = 6;
    a.height = 4;
    a.vertexDistance = 0.75f;
    a.generator = {ProjectGenerator::kRandomFault, 2.5f, 0.005f, 30, 4000000000u};
    a.baseHeights = TestFloats(24, 3.0f);
    a.heights = TestFloats(24, 5.0f);
    a.heights[3] = -0.0f;
    ProjectLayer noise;
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
    ProjectLayer image;
    image.kind = ProjectLayer::kImage;
    image.name = "rocks.png";
    image.settings.power = -2.25f;
    image.image = TestImage(4, 6, 3, 9);
    image.image.source = "rocks.png";
    image.image.linear = false;
    ProjectLayer erosion;
    erosion.kind = ProjectLayer::kErosion;
    erosion.name = "Erosion_2";
    erosion.erosion.method = Erosion::Method::Thermal;
    erosion.erosion.hydraulic = {1234, -3, 0.25f, 2.5f, 0.125f, 0.75f, 0.02f, 2, 40, 3.5f, 0.05f};
    erosion.erosion.thermal = {33.5f, 7, 0.75f};
    erosion.image = TestImage(4, 6, 3, 11);
    erosion.image.saveName = "ridge_Erosion_2_mask";
    a.layers = {noise, image, erosion};
    a.gradients = {Gradient{127, 0, 45.0f, {0.1f, 0.2f, 0.3f, 1.0f}, 0.25f},
                   Gradient{128, 10, 45.0f, {1.0f, 1.0f, 1.0f, 0.5f}, 1.0f}};
    a.bands.mode = ProjectBands::kMask; // over the erosion entry's deposited channel
    a.bands.seed = 77;
    a.bands.maskLayer = 2;
    a.bands.maskChannel = 1;
    a.heightmap = TestImage(4, 6, 1, 1);
    a.normal = TestImage(4, 6, 3, 2);
    a.diffuse = TestImage(4, 6, 3, 4);
    a.diffuse.mipmaps = true;
    a.specular = TestImage(4, 6, 1, 5);
    a.watermap = TestImage(4, 6, 4, 6);
    a.watermap.linear = false;
    a.display = "diffuse";
    a.waterPlaneBuilt = true;
    a.waterPlane.stored = true;
    a.waterPlane.positions = TestFloats(12, 1.0f);
    a.waterPlane.texCoords = TestFloats(8, 0.5f);
    a.waterPlane.indices = {0, 1, 2, 2, 1, 3};

    ProjectTerrain empty;
    empty.name = "broken";

    ProjectTerrain file;
    file.name = "scan";
    file.width = 3;
    file.height = 5;
    file.generator.kind = ProjectGenerator::kFile;
    file.baseHeights = TestFloats(15, 2.0f);
    file.gridXZ = TestFloats(30, 10.0f);
    file.texCoords = TestFloats(30, 1.0f);
    file.heightmap = TestImage(5, 3, 1, 7);
    file.normal = TestImage(5, 3, 3, 8);
    file.watermap = TestImage(5, 3, 4, 0);
    file.display = "none";
    file.waterPlaneBuilt = true;
    p.terrains = {a, empty, file};

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
    ProjectScene bare;
    bare.sceneId = 7;
    bare.name = "Scene 7";
    bare.camera = 1;
    p.scenes = {scene, bare};
    p.shaders = {{"user/glow.vert", "user/glow.frag"}};
    p.sceneCounter = 8;
    p.aspectRatioIndex = 1;
    return p;
}
} // namespace testsupport
