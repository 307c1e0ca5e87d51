#pragma once
// Two projects compared field by field, floats bit for bit (NaN and -0 count).
#include "terrain/Project.h"
#include "tests/io/ProjectSamples.h"

#include "tests/support/TestCommon.h"

#include <initializer_list>
#include <type_traits>

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

inline void ExpectSameImage(const ImageRecord& a, const ImageRecord& b, const std::string& what)
{
    const auto fields = [](const ImageRecord& i)
    { return std::tie(i.width, i.height, i.channels, i.linear, i.mipmaps, i.source, i.saveName); };
    EXPECT_TRUE(fields(a) == fields(b)) << what;
    ASSERT_EQ(a.Stored(), b.Stored()) << what;
    EXPECT_TRUE(!a.Stored() || std::memcmp(a.pixels.get(), b.pixels.get(), a.ByteSize()) == 0) << what;
}

// One field of a record: floats bit for bit (NaN and -0 count), plain structs byte for byte.
template <typename T> bool SameField(const T& a, const T& b)
{
    if constexpr (std::is_floating_point_v<T>)
        return Bits(a) == Bits(b);
    else if constexpr (std::is_same_v<T, Erosion::Settings>)
        return std::memcmp(&a, &b, sizeof a) == 0; // no padding
    else
        return a == b;
}

// Every field of two layer settings records (LayerSettings::Fields), whatever their kind keeps.
inline bool SameSettings(const LayerSettings& a, const LayerSettings& b)
{
    return std::apply(
        [&](const auto&... x)
        { return std::apply([&](const auto&... y) { return (SameField(x, y) && ...); }, b.Fields()); },
        a.Fields());
}

inline void ExpectSameLayer(const LayerRecord& a, const LayerRecord& b, const std::string& what)
{
    EXPECT_EQ(std::tie(a.kind, a.name), std::tie(b.kind, b.name)) << what;
    EXPECT_TRUE(SameSettings(a.settings, b.settings)) << what;
    ExpectSameImage(a.image, b.image, what);
    ExpectSameFloats(a.sculpt, b.sculpt, what + " sculpt heights");
}

inline void ExpectSameTerrain(const TerrainRecord& x, const TerrainRecord& y, const std::string& where)
{
    const auto fields = [](const TerrainRecord& p)
    {
        return std::make_tuple(p.name, p.width, p.height, p.generator.generator, p.generator.fromFile,
                               p.generator.iterations, p.generator.seed, p.bands.mode, p.bands.seed,
                               p.bands.maskLayer, p.bands.maskChannel, p.display, p.heightsFollowLayers,
                               p.waterPlaneBuilt, p.waterFollowsMap, p.waterPlane.indices, p.indices,
                               BitsOf({p.vertexDistance, p.generator.parameter1, p.generator.parameter2}));
    };
    EXPECT_EQ(fields(x), fields(y)) << where;
    ExpectSameFloats(x.basePositions, y.basePositions, where + " base positions");
    ExpectSameFloats(x.positions, y.positions, where + " positions");
    ExpectSameFloats(x.texCoords, y.texCoords, where + " texture coordinates");
    ExpectSameFloats(x.normals, y.normals, where + " normals");
    ExpectSameFloats(x.waterPlane.positions, y.waterPlane.positions, where + " water positions");
    ExpectSameFloats(x.waterPlane.texCoords, y.waterPlane.texCoords, where + " water texture coordinates");
    ASSERT_EQ(x.layers.size(), y.layers.size()) << where;
    for (size_t l = 0; l < x.layers.size(); ++l)
        ExpectSameLayer(x.layers[l], y.layers[l], where + " layer " + std::to_string(l));
    const auto gradient = [](const Gradient& g)
    {
        return std::make_tuple(g.heightSpan, g.decay,
                               BitsOf({g.slopeSpan, g.color.r, g.color.g, g.color.b, g.color.a, g.specular}));
    };
    ASSERT_EQ(x.gradients.size(), y.gradients.size()) << where;
    for (size_t g = 0; g < x.gradients.size(); ++g)
        EXPECT_EQ(gradient(x.gradients[g]), gradient(y.gradients[g])) << where << " gradient " << g;
    ExpectSameImage(x.heightmap, y.heightmap, where + " heightmap");
    ExpectSameImage(x.normal, y.normal, where + " normal");
    ExpectSameImage(x.diffuse, y.diffuse, where + " diffuse");
    ExpectSameImage(x.specular, y.specular, where + " specular");
    ExpectSameImage(x.watermap, y.watermap, where + " water map");
}

inline void ExpectSameProject(const Project& a, const Project& b)
{
    ASSERT_EQ(a.terrains.size(), b.terrains.size());
    for (size_t t = 0; t < a.terrains.size(); ++t)
        ExpectSameTerrain(a.terrains[t], b.terrains[t], "terrain " + std::to_string(t));
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
    const auto shader = [](const ProjectShader& s) { return std::tie(s.vertexPath, s.fragmentPath); };
    ASSERT_EQ(a.shaders.size(), b.shaders.size());
    for (size_t s = 0; s < a.shaders.size(); ++s)
        EXPECT_EQ(shader(a.shaders[s]), shader(b.shaders[s])) << "shader " << s;
    EXPECT_EQ(std::tie(a.sceneCounter, a.aspectRatioIndex), std::tie(b.sceneCounter, b.aspectRatioIndex));
}
} // namespace testsupport
