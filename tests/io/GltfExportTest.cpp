// The .glb read back through tinygltf's own loader: counts, faces against normals, the embedded
// image against the texture coordinates, and the water mesh.
#include "io/Export.h"

#include "io/GltfExport.h"
#include "tests/io/ExportTestTerrain.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using testsupport::ExportTestTerrain;
using testsupport::TempDir;

namespace
{
class GltfExportTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ExportOptions options;
        options.folder = dir.Path().string();
        options.baseName = "hills";
        options.formats = ExportFormat::Glb;
        std::string error;
        ASSERT_TRUE(ExportTerrain(terrain.Input(), options, {}, &error)) << error;
        tinygltf::TinyGLTF loader;
        std::string warning;
        ASSERT_TRUE(loader.LoadBinaryFromFile(&model, &error, &warning, dir / "hills.glb")) << error;
        EXPECT_TRUE(warning.empty()) << warning;
    }

    // The values of an accessor, copied out of its buffer view.
    template <typename T> std::vector<T> Values(int accessorIndex, size_t components)
    {
        const tinygltf::Accessor& accessor = model.accessors.at(accessorIndex);
        const tinygltf::BufferView& view = model.bufferViews.at(accessor.bufferView);
        const unsigned char* data =
            model.buffers.at(view.buffer).data.data() + view.byteOffset + accessor.byteOffset;
        std::vector<T> values(accessor.count * components);
        EXPECT_LE(values.size() * sizeof(T), view.byteLength);
        std::memcpy(values.data(), data, values.size() * sizeof(T));
        return values;
    }

    TempDir dir;
    ExportTestTerrain terrain;
    tinygltf::Model model;
};

TEST_F(GltfExportTest, TheTerrainMeshHasItsCountsAndFacesAgreeWithTheirNormals)
{
    ASSERT_EQ(model.meshes.size(), 2u);
    const tinygltf::Primitive& primitive = model.meshes[0].primitives.at(0);
    EXPECT_EQ(primitive.mode, TINYGLTF_MODE_TRIANGLES);
    const std::vector<float> positions = Values<float>(primitive.attributes.at("POSITION"), 3);
    const std::vector<float> normals = Values<float>(primitive.attributes.at("NORMAL"), 3);
    const std::vector<uint32_t> indices = Values<uint32_t>(primitive.indices, 1);
    ASSERT_EQ(positions.size(), 3u * 35);
    ASSERT_EQ(normals.size(), 3u * 35);
    ASSERT_EQ(model.accessors[primitive.attributes.at("TEXCOORD_0")].count, 35u);
    ASSERT_EQ(indices.size(), 6u * 4 * 6);
    EXPECT_EQ(positions, terrain.positions);
    EXPECT_EQ(normals, terrain.normals);
    // The bounds, written as text in the JSON chunk, are the positions' own to the bit.
    const tinygltf::Accessor& bounds = model.accessors[primitive.attributes.at("POSITION")];
    ASSERT_EQ(bounds.minValues.size(), 3u);
    ASSERT_EQ(bounds.maxValues.size(), 3u);
    for (size_t c = 0; c < 3; ++c)
    {
        float low = positions[c], high = positions[c];
        for (size_t k = c; k < positions.size(); k += 3)
            low = std::min(low, positions[k]), high = std::max(high, positions[k]);
        EXPECT_EQ(bounds.minValues[c], static_cast<double>(low)) << c;
        EXPECT_EQ(bounds.maxValues[c], static_cast<double>(high)) << c;
    }

    // Counter-clockwise front faces seen from above (+y up), each agreeing with its corners' normals.
    for (size_t t = 0; t < indices.size(); t += 3)
    {
        float n[3];
        testsupport::CounterClockwiseNormal(&positions[3 * indices[t]], &positions[3 * indices[t + 1]],
                                            &positions[3 * indices[t + 2]], n);
        EXPECT_GT(n[1], 0.0f) << "triangle " << t / 3;
        for (int c = 0; c < 3; ++c)
            EXPECT_GT(testsupport::Dot(n, &normals[3 * indices[t + c]]), 0.0f) << "triangle " << t / 3;
    }
}

// The texture coordinates of every vertex point at its own pixel of the embedded base colour image.
TEST_F(GltfExportTest, TexCoordsFindEachVertexsPixelInTheBaseColour)
{
    const tinygltf::Material& ground = model.materials.at(model.meshes[0].primitives[0].material);
    const int texture = ground.pbrMetallicRoughness.baseColorTexture.index;
    ASSERT_GE(texture, 0);
    const tinygltf::Image& image = model.images.at(model.textures.at(texture).source);
    EXPECT_EQ(image.mimeType, "image/png");
    ASSERT_EQ(image.width, 7);
    ASSERT_EQ(image.height, 5);
    const std::vector<float> uv = Values<float>(model.meshes[0].primitives[0].attributes.at("TEXCOORD_0"), 2);
    for (size_t k = 0; k < 35; ++k)
    {
        // glTF's image origin is the top left corner.
        const long column = std::lround(uv[2 * k] * 6.0f), row = std::lround(uv[2 * k + 1] * 4.0f);
        const unsigned char* pixel = &image.image[(row * 7 + column) * image.component];
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(pixel[c], terrain.diffuse[3 * k + c]) << "vertex " << k;
    }
}

TEST_F(GltfExportTest, WaterIsASecondTranslucentMeshFacingUp)
{
    const tinygltf::Primitive& water = model.meshes[1].primitives.at(0);
    const tinygltf::Material& material = model.materials.at(water.material);
    EXPECT_EQ(material.alphaMode, "BLEND");
    EXPECT_LT(material.pbrMetallicRoughness.baseColorFactor.at(3), 1.0);
    const std::vector<float> positions = Values<float>(water.attributes.at("POSITION"), 3);
    const std::vector<uint32_t> indices = Values<uint32_t>(water.indices, 1);
    ASSERT_EQ(positions.size(), 27u);
    ASSERT_EQ(indices.size(), 24u);
    for (size_t t = 0; t < indices.size(); t += 3)
    {
        float n[3];
        testsupport::CounterClockwiseNormal(&positions[3 * indices[t]], &positions[3 * indices[t + 1]],
                                            &positions[3 * indices[t + 2]], n);
        EXPECT_GT(n[1], 0.0f) << "water triangle " << t / 3;
    }
}
} // namespace
