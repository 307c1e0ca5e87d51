#pragma once
// A field-by-field comparison of two projects (floats compared bit for bit, so NaN and -0 count).
#include "terrain/Project.h"
#include "tests/io/ProjectSamples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace testsupport
{
inline uint32_t Bits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline void ExpectSameFloats(const float* a, const float* b, size_t count, const std::string& what)
{
    for (size_t i = 0; i < count; ++i)
        ASSERT_EQ(Bits(a[i]), Bits(b[i])) << what << " [" << i << "]";
}

inline void ExpectSameFloats(const std::vector<float>& a, const std::vector<float>& b,
                             const std::string& what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    ExpectSameFloats(a.data(), b.data(), a.size(), what);
}

inline void ExpectSameImage(const ProjectImage& a, const ProjectImage& b, const std::string& what)
{
    EXPECT_EQ(a.width, b.width) << what;
    EXPECT_EQ(a.height, b.height) << what;
    EXPECT_EQ(a.channels, b.channels) << what;
    EXPECT_TRUE(a.pixels == b.pixels) << what;
    EXPECT_EQ(a.linear, b.linear) << what;
    EXPECT_EQ(a.mipmaps, b.mipmaps) << what;
    EXPECT_EQ(a.source, b.source) << what;
    EXPECT_EQ(a.saveName, b.saveName) << what;
}

inline void ExpectSameSettings(const ProjectLayerSettings& a, const ProjectLayerSettings& b,
                               const std::string& what)
{
    const float fa[] = {a.power, a.frequency, a.offsetX, a.offsetY, a.gain, a.lacunarity};
    const float fb[] = {b.power, b.frequency, b.offsetX, b.offsetY, b.gain, b.lacunarity};
    ExpectSameFloats(fa, fb, 6, what);
    EXPECT_EQ(a.seed, b.seed) << what;
    EXPECT_EQ(a.octaves, b.octaves) << what;
    EXPECT_EQ(a.noiseTypeName, b.noiseTypeName) << what;
    EXPECT_EQ(a.fractalTypeName, b.fractalTypeName) << what;
    EXPECT_EQ(a.noiseType, b.noiseType) << what;
    EXPECT_EQ(a.fractalType, b.fractalType) << what;
}

// Erosion settings hold no padding: compared as bits, NaN and -0 included.
inline void ExpectSameErosion(const Erosion::Settings& a, const Erosion::Settings& b, const std::string& what)
{
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << what;
}

// Only the settings a layer of that kind keeps are compared (an image layer keeps its power).
inline void ExpectSameProject(const Project& a, const Project& b)
{
    ASSERT_EQ(a.terrains.size(), b.terrains.size());
    for (size_t t = 0; t < a.terrains.size(); ++t)
    {
        const ProjectTerrain& x = a.terrains[t];
        const ProjectTerrain& y = b.terrains[t];
        const std::string where = "terrain " + std::to_string(t);
        EXPECT_EQ(x.name, y.name) << where;
        EXPECT_EQ(x.width, y.width) << where;
        EXPECT_EQ(x.height, y.height) << where;
        EXPECT_EQ(Bits(x.vertexDistance), Bits(y.vertexDistance)) << where;
        EXPECT_EQ(x.generator.kind, y.generator.kind) << where;
        EXPECT_EQ(Bits(x.generator.parameter1), Bits(y.generator.parameter1)) << where;
        EXPECT_EQ(Bits(x.generator.parameter2), Bits(y.generator.parameter2)) << where;
        EXPECT_EQ(x.generator.iterations, y.generator.iterations) << where;
        EXPECT_EQ(x.generator.seed, y.generator.seed) << where;
        ExpectSameFloats(x.baseHeights, y.baseHeights, where + " base heights");
        ExpectSameFloats(x.gridXZ, y.gridXZ, where + " grid");
        ExpectSameFloats(x.texCoords, y.texCoords, where + " texture coordinates");
        ExpectSameFloats(x.heights, y.heights, where + " heights");
        ASSERT_EQ(x.layers.size(), y.layers.size()) << where;
        for (size_t l = 0; l < x.layers.size(); ++l)
        {
            const std::string layer = where + " layer " + std::to_string(l);
            EXPECT_EQ(x.layers[l].kind, y.layers[l].kind) << layer;
            EXPECT_EQ(x.layers[l].name, y.layers[l].name) << layer;
            if (x.layers[l].kind == ProjectLayer::kNoise)
                ExpectSameSettings(x.layers[l].settings, y.layers[l].settings, layer);
            else if (x.layers[l].kind == ProjectLayer::kErosion)
                ExpectSameErosion(x.layers[l].erosion, y.layers[l].erosion, layer);
            else
                EXPECT_EQ(Bits(x.layers[l].settings.power), Bits(y.layers[l].settings.power)) << layer;
            ExpectSameImage(x.layers[l].image, y.layers[l].image, layer);
        }
        ASSERT_EQ(x.gradients.size(), y.gradients.size()) << where;
        for (size_t g = 0; g < x.gradients.size(); ++g)
        {
            const Gradient& p = x.gradients[g];
            const Gradient& q = y.gradients[g];
            EXPECT_EQ(p.heightSpan, q.heightSpan);
            EXPECT_EQ(p.decay, q.decay);
            const float fp[] = {p.slopeSpan, p.color.r, p.color.g, p.color.b, p.color.a, p.specular};
            const float fq[] = {q.slopeSpan, q.color.r, q.color.g, q.color.b, q.color.a, q.specular};
            ExpectSameFloats(fp, fq, 6, where + " gradient");
        }
        EXPECT_EQ(x.bands.mode, y.bands.mode) << where;
        EXPECT_EQ(x.bands.seed, y.bands.seed) << where;
        EXPECT_EQ(x.bands.maskLayer, y.bands.maskLayer) << where;
        EXPECT_EQ(x.bands.maskChannel, y.bands.maskChannel) << where;
        ExpectSameImage(x.heightmap, y.heightmap, where + " heightmap");
        ExpectSameImage(x.normal, y.normal, where + " normal");
        ExpectSameImage(x.diffuse, y.diffuse, where + " diffuse");
        ExpectSameImage(x.specular, y.specular, where + " specular");
        ExpectSameImage(x.watermap, y.watermap, where + " water map");
        EXPECT_EQ(x.display, y.display) << where;
        EXPECT_EQ(x.waterPlaneBuilt, y.waterPlaneBuilt) << where;
        EXPECT_EQ(x.waterPlane.stored, y.waterPlane.stored) << where;
        ExpectSameFloats(x.waterPlane.positions, y.waterPlane.positions, where + " water positions");
        ExpectSameFloats(x.waterPlane.texCoords, y.waterPlane.texCoords,
                         where + " water texture coordinates");
        EXPECT_EQ(x.waterPlane.indices, y.waterPlane.indices) << where;
    }
    ASSERT_EQ(a.cameras.size(), b.cameras.size());
    for (size_t c = 0; c < a.cameras.size(); ++c)
    {
        const ProjectCamera& x = a.cameras[c];
        const ProjectCamera& y = b.cameras[c];
        EXPECT_EQ(x.name, y.name);
        const float fx[] = {x.viewHeight, x.aspectRatio, x.zNear,      x.zFar,       x.fov,        x.speed,
                            x.yaw,        x.pitch,       x.position.x, x.position.y, x.position.z, x.up.x,
                            x.up.y,       x.up.z,        x.front.x,    x.front.y,    x.front.z};
        const float fy[] = {y.viewHeight, y.aspectRatio, y.zNear,      y.zFar,       y.fov,        y.speed,
                            y.yaw,        y.pitch,       y.position.x, y.position.y, y.position.z, y.up.x,
                            y.up.y,       y.up.z,        y.front.x,    y.front.y,    y.front.z};
        ExpectSameFloats(fx, fy, 17, "camera " + std::to_string(c));
        EXPECT_EQ(x.perspective, y.perspective);
        EXPECT_EQ(x.rotate, y.rotate);
        EXPECT_EQ(x.listed, y.listed);
    }
    ASSERT_EQ(a.scenes.size(), b.scenes.size());
    for (size_t s = 0; s < a.scenes.size(); ++s)
    {
        const ProjectScene& x = a.scenes[s];
        const ProjectScene& y = b.scenes[s];
        EXPECT_EQ(x.sceneId, y.sceneId);
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.camera, y.camera);
        EXPECT_EQ(x.terrain, y.terrain);
        EXPECT_EQ(x.hasShader, y.hasShader);
        EXPECT_EQ(x.shader.vertexPath, y.shader.vertexPath);
        EXPECT_EQ(x.shader.fragmentPath, y.shader.fragmentPath);
        EXPECT_EQ(x.isNew, y.isNew);
        EXPECT_EQ(x.showWindow, y.showWindow);
        EXPECT_EQ(x.showManage, y.showManage);
        EXPECT_EQ(x.showCameraControl, y.showCameraControl);
        EXPECT_EQ(x.showTerrainGenerator, y.showTerrainGenerator);
        EXPECT_EQ(x.useBackground, y.useBackground);
        EXPECT_EQ(x.wireframe, y.wireframe);
        const float fx[] = {x.ratioWidth,   x.ratioHeight,  x.clearColor.r,
                            x.clearColor.g, x.clearColor.b, x.clearColor.a};
        const float fy[] = {y.ratioWidth,   y.ratioHeight,  y.clearColor.r,
                            y.clearColor.g, y.clearColor.b, y.clearColor.a};
        ExpectSameFloats(fx, fy, 6, "scene " + std::to_string(s));
    }
    ASSERT_EQ(a.shaders.size(), b.shaders.size());
    for (size_t s = 0; s < a.shaders.size(); ++s)
    {
        EXPECT_EQ(a.shaders[s].vertexPath, b.shaders[s].vertexPath);
        EXPECT_EQ(a.shaders[s].fragmentPath, b.shaders[s].fragmentPath);
    }
    EXPECT_EQ(a.sceneCounter, b.sceneCounter);
    EXPECT_EQ(a.aspectRatioIndex, b.aspectRatioIndex);
}
} // namespace testsupport
