#pragma once
// A field-by-field comparison of two projects (floats compared bit for bit, so NaN and -0 count).
#include "terrain/Project.h"
#include "tests/io/ProjectSamples.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <tuple>

namespace testsupport
{
inline uint32_t Bits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline std::vector<uint32_t> BitsOf(std::initializer_list<float> values)
{
    std::vector<uint32_t> bits;
    for (float v : values)
        bits.push_back(Bits(v));
    return bits;
}

inline void ExpectSameFloats(const std::vector<float>& a, const std::vector<float>& b,
                             const std::string& what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t i = 0; i < a.size(); ++i)
        ASSERT_EQ(Bits(a[i]), Bits(b[i])) << what << " [" << i << "]";
}

inline void ExpectSameImage(const ProjectImage& a, const ProjectImage& b, const std::string& what)
{
    const auto fields = [](const ProjectImage& i)
    { return std::tie(i.width, i.height, i.channels, i.pixels, i.linear, i.mipmaps, i.source, i.saveName); };
    EXPECT_TRUE(fields(a) == fields(b)) << what;
}

// Only the settings a layer of that kind keeps are compared (an image layer keeps its power); erosion
// settings hold no padding, so they are compared as bits.
inline void ExpectSameLayer(const ProjectLayer& a, const ProjectLayer& b, const std::string& what)
{
    EXPECT_EQ(std::tie(a.kind, a.name), std::tie(b.kind, b.name)) << what;
    const auto noise = [](const ProjectLayer& l)
    {
        const ProjectLayerSettings& s = l.settings;
        return std::make_tuple(BitsOf({s.power, s.frequency, s.offsetX, s.offsetY, s.gain, s.lacunarity}),
                               s.seed, s.octaves, s.noiseTypeName, s.fractalTypeName, s.noiseType,
                               s.fractalType, s.smoothHeights);
    };
    if (a.kind == ProjectLayer::kNoise)
        EXPECT_EQ(noise(a), noise(b)) << what;
    else if (a.kind == ProjectLayer::kErosion)
        EXPECT_EQ(std::memcmp(&a.erosion, &b.erosion, sizeof a.erosion), 0) << what;
    else
        EXPECT_EQ(Bits(a.settings.power), Bits(b.settings.power)) << what;
    ExpectSameImage(a.image, b.image, what);
}

inline void ExpectSameProject(const Project& a, const Project& b)
{
    ASSERT_EQ(a.terrains.size(), b.terrains.size());
    for (size_t t = 0; t < a.terrains.size(); ++t)
    {
        const ProjectTerrain& x = a.terrains[t];
        const ProjectTerrain& y = b.terrains[t];
        const std::string where = "terrain " + std::to_string(t);
        const auto fields = [](const ProjectTerrain& p)
        {
            return std::make_tuple(
                p.name, p.width, p.height, p.generator.kind, p.generator.iterations, p.generator.seed,
                p.bands.mode, p.bands.seed, p.bands.maskLayer, p.bands.maskChannel, p.display,
                p.waterPlaneBuilt, p.waterPlane.stored, p.waterPlane.indices,
                BitsOf({p.vertexDistance, p.generator.parameter1, p.generator.parameter2}));
        };
        EXPECT_EQ(fields(x), fields(y)) << where;
        ExpectSameFloats(x.baseHeights, y.baseHeights, where + " base heights");
        ExpectSameFloats(x.gridXZ, y.gridXZ, where + " grid");
        ExpectSameFloats(x.texCoords, y.texCoords, where + " texture coordinates");
        ExpectSameFloats(x.heights, y.heights, where + " heights");
        ExpectSameFloats(x.waterPlane.positions, y.waterPlane.positions, where + " water positions");
        ExpectSameFloats(x.waterPlane.texCoords, y.waterPlane.texCoords,
                         where + " water texture coordinates");
        ASSERT_EQ(x.layers.size(), y.layers.size()) << where;
        for (size_t l = 0; l < x.layers.size(); ++l)
            ExpectSameLayer(x.layers[l], y.layers[l], where + " layer " + std::to_string(l));
        const auto gradient = [](const Gradient& g)
        {
            return std::make_tuple(
                g.heightSpan, g.decay,
                BitsOf({g.slopeSpan, g.color.r, g.color.g, g.color.b, g.color.a, g.specular}));
        };
        ASSERT_EQ(x.gradients.size(), y.gradients.size()) << where;
        for (size_t g = 0; g < x.gradients.size(); ++g)
            EXPECT_EQ(gradient(x.gradients[g]), gradient(y.gradients[g])) << where << " gradient " << g;
        const std::pair<ProjectImage ProjectTerrain::*, const char*> images[] = {
            {&ProjectTerrain::heightmap, " heightmap"},
            {&ProjectTerrain::normal, " normal"},
            {&ProjectTerrain::diffuse, " diffuse"},
            {&ProjectTerrain::specular, " specular"},
            {&ProjectTerrain::watermap, " water map"}};
        for (const auto& [image, name] : images)
            ExpectSameImage(x.*image, y.*image, where + name);
    }
    const auto camera = [](const ProjectCamera& c)
    {
        return std::make_tuple(c.name, c.perspective, c.rotate, c.listed,
                               BitsOf({c.viewHeight, c.aspectRatio, c.zNear, c.zFar, c.fov, c.speed, c.yaw,
                                       c.pitch, c.position.x, c.position.y, c.position.z, c.up.x, c.up.y,
                                       c.up.z, c.front.x, c.front.y, c.front.z}));
    };
    ASSERT_EQ(a.cameras.size(), b.cameras.size());
    for (size_t c = 0; c < a.cameras.size(); ++c)
        EXPECT_EQ(camera(a.cameras[c]), camera(b.cameras[c])) << "camera " << c;
    const auto scene = [](const ProjectScene& s)
    {
        return std::make_tuple(s.sceneId, s.name, s.camera, s.terrain, s.hasShader, s.shader.vertexPath,
                               s.shader.fragmentPath, s.isNew, s.showWindow, s.showManage,
                               s.showCameraControl, s.showTerrainGenerator, s.useBackground, s.wireframe,
                               BitsOf({s.ratioWidth, s.ratioHeight, s.clearColor.r, s.clearColor.g,
                                       s.clearColor.b, s.clearColor.a}));
    };
    ASSERT_EQ(a.scenes.size(), b.scenes.size());
    for (size_t s = 0; s < a.scenes.size(); ++s)
        EXPECT_EQ(scene(a.scenes[s]), scene(b.scenes[s])) << "scene " << s;
    const auto shaders = [](const Project& p)
    {
        std::vector<std::pair<std::string, std::string>> paths;
        for (const ProjectShader& s : p.shaders)
            paths.emplace_back(s.vertexPath, s.fragmentPath);
        return std::make_tuple(paths, p.sceneCounter, p.aspectRatioIndex);
    };
    EXPECT_EQ(shaders(a), shaders(b));
}
} // namespace testsupport
