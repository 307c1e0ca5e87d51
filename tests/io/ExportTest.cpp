// The export as a whole, its files read back by other decoders; then its resampling and splat weights.
#include "io/Export.h"
#include "io/Resample.h"
#include "io/SplatMap.h"

#include "terrain/TerrainGrid.h"
#include "terrain/TextureGen.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <stb_image.h>
#include <tiny_gltf.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using testsupport::FilesIn;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace
{
// A non-square terrain, 7 vertices along x and 5 along z: uneven heights with the editor's own
// normals, a diffuse image whose pixel names its vertex, and a 3 x 3 water patch at y = 1 in the
// editor's (clockwise) winding.
struct ExportTestTerrain
{
    static constexpr uint32_t W = 7, H = 5;
    std::vector<float> positions, normals, waterPositions;
    std::vector<uint8_t> diffuse;
    std::vector<uint32_t> waterIndices;

    ExportTestTerrain()
    {
        for (uint32_t i = 0; i < W; ++i)
            for (uint32_t j = 0; j < H; ++j)
            {
                const float x = static_cast<float>(i), z = static_cast<float>(j);
                const float y = std::sin(x * 0.9f) * 2.0f + std::cos(z * 1.3f) * 1.5f + 0.3f * x * z;
                positions.insert(positions.end(), {(x - 3.0f) * 1.5f, y, (z - 2.0f) * 1.5f});
                diffuse.insert(diffuse.end(),
                               {static_cast<uint8_t>(30 * i), static_cast<uint8_t>(50 * j), 7});
            }
        normals.resize(positions.size());
        TerrainGrid::VertexNormals(positions.data(), W, H, normals.data(), nullptr);
        for (uint32_t i = 0; i < 3; ++i)
            for (uint32_t j = 0; j < 3; ++j)
                waterPositions.insert(waterPositions.end(),
                                      {static_cast<float>(i), 1.0f, static_cast<float>(j)});
        for (uint32_t a : {0u, 1u, 3u, 4u})
            waterIndices.insert(waterIndices.end(), {a, a + 3, a + 1, a + 1, a + 3, a + 4});
    }

    ExportInput Input() const
    {
        ExportInput input{"hills", W, H, 1.5f, positions.data(), normals.data(), diffuse.data()};
        input.waterVertexCount = 9;
        input.waterPositions = waterPositions.data();
        input.waterIndexCount = static_cast<uint32_t>(waterIndices.size());
        input.waterIndices = waterIndices.data();
        return input;
    }
};

ExportOptions OptionsFor(const TempDir& dir, uint32_t formats)
{
    ExportOptions options;
    options.folder = dir.Path().string();
    options.baseName = "hills";
    options.formats = formats;
    return options;
}

// The numbers of every line of an OBJ file that starts with tag ("v", "vt", "vn"), in order.
std::vector<float> ObjNumbers(const std::string& path, const std::string& tag)
{
    std::ifstream obj(path);
    std::vector<float> numbers;
    for (std::string line; std::getline(obj, line);)
        if (line.rfind(tag + " ", 0) == 0)
        {
            std::istringstream words(line.substr(tag.size() + 1));
            for (float x; words >> x;)
                numbers.push_back(x);
        }
    return numbers;
}

// The base colour PNG as RGB rows from the top, or empty; w and h get its size.
std::vector<uint8_t> BaseColour(const TempDir& dir, int& w, int& h)
{
    int c = 0;
    stbi_set_flip_vertically_on_load(0);
    unsigned char* image = stbi_load((dir / "hills_basecolor.png").c_str(), &w, &h, &c, 3);
    std::vector<uint8_t> rgb;
    if (image) rgb.assign(image, image + 3 * w * h);
    stbi_image_free(image);
    return rgb;
}

// Every triangle (0-based corners) runs counter-clockwise seen from above and agrees with the normals
// of its corners.
void ExpectFacesUp(const std::vector<float>& p, const std::vector<float>& normals,
                   const std::vector<uint32_t>& corners, const std::string& what)
{
    for (size_t t = 0; t < corners.size(); t += 3)
    {
        const float* p0 = &p.at(3 * corners[t]);
        const float* p1 = &p.at(3 * corners[t + 1]);
        const float* p2 = &p.at(3 * corners[t + 2]);
        const float a[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const float b[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        const float n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
        EXPECT_GT(n[1], 0.0f) << what << " triangle " << t / 3;
        for (size_t c = t; c < t + 3; ++c)
        {
            const float* m = &normals.at(3 * corners[c]);
            EXPECT_GT(n[0] * m[0] + n[1] * m[1] + n[2] * m[2], 0.0f) << what << " triangle " << t / 3;
        }
    }
}

// The texture coordinates (v down the image) of every vertex point at its own pixel of the image.
void ExpectTexCoordsFindTheirPixels(const std::vector<float>& uv, const unsigned char* image, int channels,
                                    const ExportTestTerrain& terrain)
{
    for (size_t k = 0; k < 35; ++k)
    {
        const long column = std::lround(uv[2 * k] * 6.0f), row = std::lround(uv[2 * k + 1] * 4.0f);
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(image[(row * 7 + column) * channels + c], terrain.diffuse[3 * k + c]) << "vertex " << k;
    }
}

TEST(ExportFormatTest, FormatListsParseAsTheHeadlessProgramTakesThem)
{
    uint32_t formats = 0;
    std::string error;
    ASSERT_TRUE(ExportFormat::Parse("glb,obj,png16,r16,exr,splat", formats, &error));
    EXPECT_EQ(formats, ExportFormat::All);
    ASSERT_TRUE(ExportFormat::Parse("r16", formats, &error));
    EXPECT_EQ(formats, ExportFormat::R16);
    EXPECT_FALSE(ExportFormat::Parse("glb,tiff", formats, &error));
    EXPECT_EQ(error, "unknown format \"tiff\" (use glb, obj, png16, r16, exr, splat)");
    EXPECT_FALSE(ExportFormat::Parse("glb,", formats, &error));
    EXPECT_FALSE(ExportFormat::Parse("", formats, &error));
}

// One export of every format, shared by the tests that read its files back.
class ExportTest : public ::testing::Test
{
  protected:
    TempDir dir;
    ExportTestTerrain terrain;
    std::vector<std::pair<float, std::string>> reported;

    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(ExportTerrain(
            terrain.Input(), OptionsFor(dir, ExportFormat::All),
            [&](float done, const std::string& file) { return reported.emplace_back(done, file), true; },
            &error))
            << error;
    }
};

TEST_F(ExportTest, EveryFormatWritesItsFilesAndNothingElse)
{
    // Progress names each file before it is written (a height file and its JSON file as two steps of
    // eleven) and ends at 1.
    const std::pair<int, const char*> written[] = {
        {0, "hills.glb"},        {1, "hills.obj"},        {2, "hills.mtl"},        {3, "hills_basecolor.png"},
        {4, "hills_height.png"}, {6, "hills_height.r16"}, {8, "hills_height.exr"}, {10, "hills_splat.png"}};
    std::vector<std::pair<float, std::string>> steps;
    std::set<std::string> files = {"hills_height.png.json", "hills_height.r16.json", "hills_height.exr.json"};
    for (const auto& [step, name] : written)
    {
        steps.emplace_back(static_cast<float>(step) / 11.0f, dir / name);
        files.insert(name);
    }
    steps.emplace_back(1.0f, "");
    EXPECT_EQ(reported, steps);
    EXPECT_EQ(FilesIn(dir.Path()), files);
    EXPECT_EQ(ExportFiles(OptionsFor(dir, ExportFormat::All), true).size(), files.size());

    int w = 0, h = 0, c = 0;
    ASSERT_TRUE(stbi_info((dir / "hills_splat.png").c_str(), &w, &h, &c));
    EXPECT_EQ(std::make_tuple(w, h, c), std::make_tuple(7, 5, 4));
}

// The .glb through tinygltf's own loader.
TEST_F(ExportTest, TheGlbHoldsBothMeshesAndTheBaseColour)
{
    tinygltf::Model model;
    tinygltf::TinyGLTF loader;
    std::string error, warning;
    ASSERT_TRUE(loader.LoadBinaryFromFile(&model, &error, &warning, dir / "hills.glb")) << error;
    EXPECT_TRUE(warning.empty()) << warning;
    const auto values = [&](int index, size_t components, auto type)
    {
        const tinygltf::Accessor& accessor = model.accessors.at(index);
        const tinygltf::BufferView& view = model.bufferViews.at(accessor.bufferView);
        std::vector<decltype(type)> out(accessor.count * components);
        EXPECT_LE(out.size() * sizeof(type), view.byteLength);
        std::memcpy(out.data(),
                    model.buffers.at(view.buffer).data.data() + view.byteOffset + accessor.byteOffset,
                    out.size() * sizeof(type));
        return out;
    };
    ASSERT_EQ(model.meshes.size(), 2u);
    const tinygltf::Primitive& ground = model.meshes[0].primitives.at(0);
    EXPECT_EQ(ground.mode, TINYGLTF_MODE_TRIANGLES);
    const std::vector<float> positions = values(ground.attributes.at("POSITION"), 3, 0.0f);
    const std::vector<float> normals = values(ground.attributes.at("NORMAL"), 3, 0.0f);
    const std::vector<uint32_t> indices = values(ground.indices, 1, 0u);
    EXPECT_EQ(positions, terrain.positions);
    EXPECT_EQ(normals, terrain.normals);
    ASSERT_EQ(indices.size(), 6u * 4 * 6);
    ExpectFacesUp(positions, normals, indices, "ground");
    // The bounds, written as text in the JSON chunk, are the positions' own to the bit.
    const tinygltf::Accessor& bounds = model.accessors[ground.attributes.at("POSITION")];
    std::vector<double> low(positions.begin(), positions.begin() + 3), high = low;
    for (size_t k = 0; k < positions.size(); ++k)
    {
        low[k % 3] = std::min<double>(low[k % 3], positions[k]);
        high[k % 3] = std::max<double>(high[k % 3], positions[k]);
    }
    EXPECT_EQ(std::tie(bounds.minValues, bounds.maxValues), std::tie(low, high));

    const int texture = model.materials.at(ground.material).pbrMetallicRoughness.baseColorTexture.index;
    ASSERT_GE(texture, 0);
    const tinygltf::Image& image = model.images.at(model.textures.at(texture).source);
    ASSERT_EQ(std::tie(image.mimeType, image.width, image.height), std::make_tuple("image/png", 7, 5));
    const std::vector<float> uv = values(ground.attributes.at("TEXCOORD_0"), 2, 0.0f);
    ASSERT_EQ(uv.size(), 2u * 35);
    ExpectTexCoordsFindTheirPixels(uv, image.image.data(), image.component, terrain); // origin top left

    const tinygltf::Primitive& water = model.meshes[1].primitives.at(0);
    const tinygltf::Material& material = model.materials.at(water.material);
    EXPECT_EQ(material.alphaMode, "BLEND");
    EXPECT_LT(material.pbrMetallicRoughness.baseColorFactor.at(3), 1.0);
    const std::vector<float> waterPositions = values(water.attributes.at("POSITION"), 3, 0.0f);
    EXPECT_EQ(waterPositions, terrain.waterPositions);
    const std::vector<uint32_t> waterIndices = values(water.indices, 1, 0u);
    ASSERT_EQ(waterIndices.size(), 24u);
    ExpectFacesUp(waterPositions, values(water.attributes.at("NORMAL"), 3, 0.0f), waterIndices, "water");
}

TEST_F(ExportTest, TheObjHoldsBothMeshesAndNamesItsMaterials)
{
    const std::vector<float> v = ObjNumbers(dir / "hills.obj", "v"), vn = ObjNumbers(dir / "hills.obj", "vn");
    std::vector<float> vt = ObjNumbers(dir / "hills.obj", "vt");
    std::vector<uint32_t> corners;
    std::vector<std::string> named;
    std::ifstream in(dir / "hills.obj");
    for (std::string line; std::getline(in, line);)
    {
        std::istringstream words(line);
        std::string tag;
        words >> tag;
        if (tag == "f")
            for (std::string corner; words >> corner;)
            {
                // "k/k/k" on the ground, "k//k" on the water: one number for all three lists.
                unsigned p = 0, t = 0, n = 0;
                const bool textured = std::sscanf(corner.c_str(), "%u/%u/%u", &p, &t, &n) == 3;
                ASSERT_TRUE(textured || std::sscanf(corner.c_str(), "%u//%u", &p, &n) == 2) << corner;
                ASSERT_TRUE(n == p && (textured ? t == p : p > 35)) << corner;
                corners.push_back(p - 1);
            }
        else if (tag == "o" || tag == "usemtl" || tag == "mtllib")
            named.push_back(line);
    }
    EXPECT_EQ(named, (std::vector<std::string>{"mtllib hills.mtl", "o hills", "usemtl ground",
                                               "o hills_water", "usemtl water"}));
    ASSERT_EQ(std::make_tuple(v.size(), vn.size(), vt.size(), corners.size()),
              std::make_tuple(3u * (35 + 9), 3u * (35 + 9), 2u * 35, 3u * (48 + 8)));
    // The stream reads back the nearest float: every bit.
    EXPECT_EQ(std::vector<float>(v.begin(), v.begin() + 105), terrain.positions);
    EXPECT_EQ(std::vector<float>(vn.begin(), vn.begin() + 105), terrain.normals);
    EXPECT_EQ(std::vector<float>(v.begin() + 105, v.end()), terrain.waterPositions);
    ExpectFacesUp(v, vn, corners, "obj");

    const std::string mtl = testsupport::ReadFile(dir / "hills.mtl");
    for (const char* line : {"newmtl ground\n", "map_Kd hills_basecolor.png\n", "newmtl water\n"})
        EXPECT_NE(mtl.find(line), std::string::npos) << line;
    int w = 0, h = 0;
    const std::vector<uint8_t> image = BaseColour(dir, w, h);
    ASSERT_EQ(std::make_tuple(w, h, image.size()), std::make_tuple(7, 5, size_t(105)));
    for (size_t k = 1; k < vt.size(); k += 2)
        vt[k] = 1.0f - vt[k]; // OBJ counts v upwards from the bottom row
    ExpectTexCoordsFindTheirPixels(vt, image.data(), 3, terrain);
}

// No temporary file stays, and no later file is written.
TEST(ExportFailureTest, AFailureNamesTheFileAndStopsTheExport)
{
    TempDir dir;
    ExportTestTerrain terrain;
    fs::create_directory(dir.Path() / "hills_height.png"); // a folder where the PNG should go
    std::string error;
    EXPECT_FALSE(ExportTerrain(terrain.Input(),
                               OptionsFor(dir, ExportFormat::Glb | ExportFormat::Png16 | ExportFormat::Splat),
                               {}, &error));
    EXPECT_EQ(error, "Cannot write " + (dir / "hills_height.png") + ": it is a folder");
    EXPECT_EQ(FilesIn(dir.Path()), (std::set<std::string>{"hills.glb", "hills_height.png"}));

    ExportOptions missing = OptionsFor(dir, ExportFormat::Glb);
    missing.folder = dir / "no such folder";
    EXPECT_FALSE(ExportTerrain(terrain.Input(), missing, {}, &error));
    EXPECT_EQ(error, "Cannot write " + (dir / "no such folder/hills.glb") + ": the folder " +
                         (dir / "no such folder") + " does not exist");
}

TEST(ExportFailureTest, RefusedInputAndCancelling)
{
    TempDir dir;
    ExportTestTerrain terrain;
    std::string error;
    EXPECT_FALSE(ExportTerrain(terrain.Input(), OptionsFor(dir, 0), {}, &error));
    EXPECT_EQ(error, "Cannot export terrain hills: no format is chosen");
    ExportOptions options = OptionsFor(dir, ExportFormat::R16);
    options.baseName = "sub/hills";
    EXPECT_FALSE(ExportTerrain(terrain.Input(), options, {}, &error));
    EXPECT_NE(error.find("contains a '/'"), std::string::npos);

    int calls = 0;
    EXPECT_FALSE(ExportTerrain(
        terrain.Input(), OptionsFor(dir, ExportFormat::Glb | ExportFormat::R16),
        [&](float, const std::string&) { return ++calls < 2; }, &error));
    EXPECT_EQ(error, "Export cancelled");
    EXPECT_EQ(FilesIn(dir.Path()), std::set<std::string>{"hills.glb"});
}

TEST(ExportResampleTest, ResamplingChangesTheGridButNotItsExtent)
{
    TempDir dir;
    ExportTestTerrain terrain;
    ExportOptions options = OptionsFor(dir, ExportFormat::Png16);
    options.resampleSide = 13;
    options.filter = Resample::Filter::Bicubic;
    std::string error;
    ASSERT_TRUE(ExportTerrain(terrain.Input(), options, {}, &error)) << error;
    nlohmann::json json = nlohmann::json::parse(testsupport::ReadFile(dir / "hills_height.png.json"));
    EXPECT_EQ(std::make_tuple(json["width"], json["height"], json["vertexDistance"],
                              json.contains("vertexDistanceZ")),
              std::make_tuple(nlohmann::json(13), nlohmann::json(9), nlohmann::json(0.75), false));

    // A side that is not 2^n + 1: 12 x 8 vertices, whose spacings differ, over the old 9 x 6 extent.
    options.resampleSide = 12;
    options.formats = ExportFormat::Png16 | ExportFormat::Obj;
    ASSERT_TRUE(ExportTerrain(terrain.Input(), options, {}, &error)) << error;
    json = nlohmann::json::parse(testsupport::ReadFile(dir / "hills_height.png.json"));
    ASSERT_EQ(std::make_pair(json["width"], json["height"]),
              std::make_pair(nlohmann::json(12), nlohmann::json(8)));
    EXPECT_FLOAT_EQ(11.0f * json["vertexDistance"].get<float>(), 9.0f);
    EXPECT_FLOAT_EQ(7.0f * json["vertexDistanceZ"].get<float>(), 6.0f);
    const std::vector<float> v = ObjNumbers(dir / "hills.obj", "v");
    ASSERT_EQ(v.size(), 3u * (96 + 9)); // the water plane follows
    const float* last = terrain.positions.data() + 3 * 34;
    EXPECT_EQ(std::make_tuple(v[0], v[2], v[3 * 95], v[3 * 95 + 2]),
              std::make_tuple(terrain.positions[0], terrain.positions[2], last[0], last[2]));
    // The base colour resampled with the grid, each value rounded (its channels are 30 i and 50 j, which
    // both filters keep).
    int w = 0, h = 0;
    const std::vector<uint8_t> image = BaseColour(dir, w, h);
    ASSERT_EQ(std::make_tuple(w, h, image.size()), std::make_tuple(12, 8, size_t(288)));
    for (int m = 0; m < 12; ++m)
        for (int n = 0; n < 8; ++n)
            EXPECT_EQ(std::make_tuple(image[(n * 12 + m) * 3], image[(n * 12 + m) * 3 + 1]),
                      std::make_tuple(std::lround(30.0 * 6.0 / 11.0 * m), std::lround(50.0 * 4.0 / 7.0 * n)))
                << m << ", " << n;
}

struct SizeCase
{
    uint32_t width, height, side;
    uint32_t newWidth, newHeight;
    float newDistance, newDistanceZ;
};

class ResampleSizeTest : public ::testing::TestWithParam<SizeCase>
{
};

// The other side gets the count closest to the same vertex distance; both keep their extent exactly.
TEST_P(ResampleSizeTest, LongerSideTakesTheChosenCountAndBothKeepTheirExtent)
{
    const SizeCase& c = GetParam();
    const Resample::Size size = Resample::SizeFor(c.width, c.height, 2.0f, c.side);
    EXPECT_EQ(std::make_pair(size.width, size.height), std::make_pair(c.newWidth, c.newHeight));
    EXPECT_FLOAT_EQ(size.vertexDistance, c.newDistance);
    EXPECT_FLOAT_EQ(size.vertexDistanceZ, c.newDistanceZ);
    EXPECT_DOUBLE_EQ((size.width - 1) * size.stepI, c.width - 1.0);
    EXPECT_DOUBLE_EQ((size.height - 1) * size.stepJ, c.height - 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ResampleSizeTest,
    ::testing::Values(SizeCase{1025, 1025, 513, 513, 513, 4.0f, 4.0f},
                      SizeCase{513, 513, 1025, 1025, 1025, 1.0f, 1.0f}, SizeCase{9, 5, 17, 17, 9, 1.0f, 1.0f},
                      SizeCase{5, 9, 5, 3, 5, 4.0f, 4.0f},
                      // 512 / (1024 / 999) = 499.5 steps: 500 of 1.024 each
                      SizeCase{1025, 513, 1000, 1000, 501, 2048.0f / 999.0f, 2.048f},
                      SizeCase{300, 1025, 1000, 293, 1000, 598.0f / 292.0f, 2048.0f / 999.0f}));

// Catmull-Rom reproduces a quadratic away from the border.
TEST(ResampleTest, FiltersReproduceLowOrderSurfaces)
{
    const uint32_t W = 9, H = 6;
    std::vector<float> plane, bowl;
    for (uint32_t i = 0; i < W; ++i)
        for (uint32_t j = 0; j < H; ++j)
        {
            plane.push_back(2.0f * static_cast<float>(i) - 3.0f * static_cast<float>(j) + 1.0f);
            bowl.push_back(static_cast<float>(i * i));
        }
    const Resample::Size size = Resample::SizeFor(W, H, 1.0f, 17); // step 0.5
    ASSERT_EQ(std::make_pair(size.width, size.height), std::make_pair(17u, 11u));
    std::vector<float> out(size.width * size.height);
    for (Resample::Filter filter : {Resample::Filter::Bilinear, Resample::Filter::Bicubic})
    {
        Resample::Grid(plane.data(), W, H, 1, size, filter, out.data());
        for (uint32_t m = 0; m < size.width; ++m)
            for (uint32_t n = 0; n < size.height; ++n)
                ASSERT_FLOAT_EQ(out[m * size.height + n], 2.0f * 0.5f * m - 3.0f * 0.5f * n + 1.0f)
                    << m << ", " << n;
    }
    Resample::Grid(bowl.data(), W, H, 1, size, Resample::Filter::Bicubic, out.data());
    for (uint32_t m = 2; m + 2 < size.width; ++m) // old rows 1 .. W-2: all four taps inside the grid
        EXPECT_FLOAT_EQ(out[m * size.height + 3], 0.25f * static_cast<float>(m * m)) << m;
}

// Catmull-Rom overshoots a cliff on both sides; the result stays within the samples it is made of.
TEST(ResampleTest, BicubicStaysWithinTheOldValues)
{
    const uint32_t W = 12, H = 4;
    std::vector<float> cliff;
    for (uint32_t i = 0; i < W; ++i)
        for (uint32_t j = 0; j < H; ++j)
            cliff.push_back(i < 6 ? 0.0f : 10.0f + static_cast<float>(j));
    const Resample::Size size = Resample::SizeFor(W, H, 1.0f, 37);
    std::vector<float> out(size.width * size.height);
    Resample::Grid(cliff.data(), W, H, 1, size, Resample::Filter::Bicubic, out.data());
    for (uint32_t m = 0; m < size.width; ++m)
        for (uint32_t n = 0; n < size.height; ++n)
        {
            const float v = out[m * size.height + n];
            ASSERT_TRUE(v >= 0.0f && v <= 13.0f) << v << " at " << m << ", " << n;
            ASSERT_TRUE(m * size.stepI >= 5.0 || v == 0.0f)
                << v << " at " << m << ", " << n; // no ripple before the cliff
        }
}

std::vector<uint8_t> HeightWeights(const std::vector<Gradient>& bands, const std::vector<uint8_t>& heights)
{
    std::vector<uint8_t> rgba(4 * heights.size());
    SplatMap::Weights(bands, SplatMap::Mode::Height, heights.data(), nullptr, heights.size(), rgba.data());
    return rgba;
}

// 127 belongs to both bands (the later wins); a fifth band has no channel.
TEST(SplatMapTest, HeightBandsFollowTheDiffuseRules)
{
    const std::vector<Gradient> bands = {Gradient{127}, Gradient{128}};
    const std::vector<uint8_t> weights = HeightWeights(bands, {0, 126, 127, 255});
    const std::vector<uint8_t> expected = {255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0};
    EXPECT_EQ(weights, expected);

    const std::vector<Gradient> five(5, Gradient{50});
    EXPECT_EQ(HeightWeights(five, {49, 210, 251}),
              (std::vector<uint8_t>{255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// A band's weight is the share of pixels the editor's own painter gives it.
TEST(SplatMapTest, DecayWeightsAreTheDitherShares)
{
    std::vector<std::unique_ptr<Gradient>> list;
    list.push_back(std::make_unique<Gradient>(Gradient{127, 0, 0.0f, {1.0f, 0.0f, 0.0f, 1.0f}}));
    list.push_back(std::make_unique<Gradient>(Gradient{128, 10, 0.0f, {0.0f, 1.0f, 0.0f, 1.0f}}));
    const std::vector<Gradient> bands = {*list[0], *list[1]};
    for (uint8_t height : {117, 122, 126})
    {
        const size_t pixels = 200000;
        const std::vector<uint8_t> heights(pixels, height);
        std::vector<uint8_t> diffuse(3 * pixels), specular(pixels);
        TextureGen::Mt19937 engine(42);
        TextureGen::PaintByHeight(list, heights.data(), pixels, engine, diffuse.data(), specular.data());
        size_t second = 0;
        for (size_t k = 0; k < pixels; ++k)
            second += diffuse[3 * k + 1] == 255 ? 1 : 0;
        const std::vector<uint8_t> w = HeightWeights(bands, {height});
        EXPECT_NEAR(w[1] / 255.0, static_cast<double>(second) / pixels, 0.01) << int(height);
        EXPECT_EQ(w[0] + w[1], 255) << int(height);
        EXPECT_NEAR(w[1] / 255.0, std::erfc((127.0 - height) / (10.0 * std::sqrt(2.0))), 0.5 / 255.0);
    }
    // Shares of three bands with decays over every height: each pixel's bytes add up to 255.
    std::vector<uint8_t> all(256);
    for (int p = 0; p < 256; ++p)
        all[p] = static_cast<uint8_t>(p);
    const std::vector<uint8_t> w = HeightWeights({Gradient{80}, Gradient{80, 20}, Gradient{95, 30}}, all);
    for (int p = 0; p < 256; ++p)
        EXPECT_EQ(w[4 * p] + w[4 * p + 1] + w[4 * p + 2] + w[4 * p + 3], 255) << p;
}

TEST(SplatMapTest, SlopeBandsGoToTheLastBandTheSlopeReaches)
{
    const std::vector<Gradient> bands = {Gradient{0, 0, 45.0f}, Gradient{0, 0, 45.0f}};
    const float normals[] = {0, 1, 0,    0.5f, std::sqrt(0.75f), 0, 0.9f, std::sqrt(0.19f), 0, 1, 0,
                             0, 0, 0.8f, 0.6f};
    std::vector<uint8_t> rgba(4 * 5);
    SplatMap::Weights(bands, SplatMap::Mode::Slope, nullptr, normals, 5, rgba.data());
    // 0, 30, about 64, 90 and about 37 degrees.
    EXPECT_EQ(rgba,
              (std::vector<uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 0}));
}
} // namespace
