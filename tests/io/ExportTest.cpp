// Height files, and the export: its files read back by other decoders, its resampling and splat weights.
#include "io/Export.h"
#include "io/HeightImage.h"
#include "io/Resample.h"
#include "io/SplatMap.h"

#include "terrain/TerrainGrid.h"
#include "terrain/TextureGen.h"
#include "tests/support/TestCommon.h"

#include <glm/geometric.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <nlohmann/json.hpp>
#include <stb_image.h>
#include <stb_image_write.h>
#include <tiny_gltf.h>
#include <tinyexr.h>

#include <unistd.h>

using testsupport::DataDir;
using testsupport::FilesIn;
using testsupport::TempDir;

namespace
{
// Checked with decoders other than ours: columns along +x, rows along +z, first row at the lowest z. Ours
// reads them back within 1/65535 of the range (16 bits) or exactly (float), with the JSON file's size and
// spacing.
TEST(HeightImageTest, ImagesShowTheTerrainFromAboveAndComeBackWithinTheirQuantisation)
{
    TempDir dir;
    const int W = 37, H = 23; // vertices along x and along z; height 30 i + j - 7
    HeightGrid grid{W, H, 0.75f, {}};
    for (int i = 0; i < W; ++i)
        for (int j = 0; j < H; ++j)
            grid.heights.push_back(30.0f * static_cast<float>(i) + static_cast<float>(j) - 7.0f);
    const double range = 30.0 * (W - 1) + (H - 1);
    const HeightGrid flat{4, 4, 1.0f, std::vector<float>(16, 3.5f)};
    using F = HeightImage::Format;
    for (const auto& [file, format] : {std::pair{"h.png", F::Png16}, {"h.r16", F::R16}, {"h.exr", F::Exr}})
    {
        SCOPED_TRACE(file);
        std::string error;
        ASSERT_TRUE(HeightImage::Write(dir / file, format, HeightImage::ViewOf(grid), &error)) << error;
        HeightGrid read;
        ASSERT_TRUE(HeightImage::Read(dir / file, {}, read, &error)) << error;
        ASSERT_EQ(std::make_tuple(read.width, read.height, read.vertexDistance),
                  std::make_tuple(37u, 23u, 0.75f));
        const double tolerance = format == F::Exr ? 0.0 : range / 65535.0;
        for (size_t k = 0; k < grid.heights.size(); ++k)
            ASSERT_LE(std::fabs(static_cast<double>(read.heights[k]) - grid.heights[k]), tolerance)
                << "vertex " << k;

        // A flat terrain (no range to scale by) comes back flat.
        const std::string flatPath = dir / ("flat_" + std::string(file));
        ASSERT_TRUE(HeightImage::Write(flatPath, format, HeightImage::ViewOf(flat), &error)) << error;
        ASSERT_TRUE(HeightImage::Read(flatPath, {}, read, &error)) << error;
        EXPECT_EQ(read.heights, flat.heights);
    }

    int w = 0, h = 0, channels = 0;
    stbi_set_flip_vertically_on_load(0);
    stbi_us* png = stbi_load_16((dir / "h.png").c_str(), &w, &h, &channels, 1);
    ASSERT_NE(png, nullptr);
    ASSERT_EQ(std::make_pair(w, h), std::make_pair(W, H));
    const std::string r16 = testsupport::ReadFile(dir / "h.r16");
    ASSERT_EQ(r16.size(), 2u * W * H);
    float* exr = nullptr;
    ASSERT_EQ(LoadEXR(&exr, &w, &h, (dir / "h.exr").c_str(), nullptr), TINYEXR_SUCCESS);
    ASSERT_EQ(std::make_pair(w, h), std::make_pair(W, H));
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c)
        {
            const double height = 30.0 * c + r - 7.0; // vertex (i = c, j = r)
            const int expected = static_cast<int>(std::lround((height + 7.0) / range * 65535.0));
            EXPECT_EQ(png[r * W + c], expected) << c << ", " << r;
            EXPECT_EQ(uint8_t(r16[2 * (r * W + c)]) | uint8_t(r16[2 * (r * W + c) + 1]) << 8, expected)
                << c << ", " << r;
            EXPECT_EQ(exr[4 * (r * W + c)], static_cast<float>(height)) << c << ", " << r;
        }
    stbi_image_free(png);
    std::free(exr);

    // The JSON file beside each gives the range, the size, the vertex distance and the layout.
    EXPECT_EQ(nlohmann::json::parse(testsupport::ReadFile(dir / "h.r16.json")), nlohmann::json::parse(R"json({
        "file": "h.r16", "format": "r16", "width": 37, "height": 23, "vertexDistance": 0.75,
        "minHeight": -7.0, "maxHeight": 1095.0, "columns": "+x", "rows": "+z, first row at the lowest z",
        "heights": "height = minHeight + value / 65535 * (maxHeight - minHeight)"})json"));
}

// Without a JSON file the values scale to 0 .. height scale; a square .r16's side comes from its length.
// The editor's own images hold vertex (i, j) in column j of row i counted from the bottom.
TEST(HeightImageTest, FilesWithoutJsonScaleToTheHeightScaleInTheirLayout)
{
    TempDir dir;
    const uint8_t grey[6] = {0, 51, 255, 102, 153, 204}; // 3 wide, 2 high
    stbi_flip_vertically_on_write(0);                    // the editor's image writer leaves it on
    ASSERT_NE(stbi_write_png((dir / "g.png").c_str(), 3, 2, 1, grey, 3), 0);
    HeightImage::ImportOptions options{50.0f, 2.0f}; // height scale, vertex distance
    HeightGrid read;
    std::string error;
    ASSERT_TRUE(HeightImage::Read(dir / "g.png", options, read, &error)) << error;
    ASSERT_EQ(std::make_tuple(read.width, read.height, read.vertexDistance), std::make_tuple(3u, 2u, 2.0f));
    // Pixel (column 2, row 1) is vertex (i 2, j 1): k = 2 * 2 + 1.
    EXPECT_FLOAT_EQ(read.heights[5], 204.0f / 255.0f * 50.0f);
    EXPECT_FLOAT_EQ(read.heights[2], 51.0f / 255.0f * 50.0f);

    std::ofstream(dir / "s.r16", std::ios::binary).write("\x00\x00\xff\xff\x00\x80\x01\x00", 8);
    ASSERT_TRUE(HeightImage::Read(dir / "s.r16", options, read, &error)) << error;
    ASSERT_EQ(read.width, 2u);
    EXPECT_FLOAT_EQ(read.heights[2], 50.0f);                       // pixel (1, 0)
    EXPECT_FLOAT_EQ(read.heights[1], 32768.0f / 65535.0f * 50.0f); // pixel (0, 1)

    ASSERT_TRUE(HeightImage::Read((DataDir() / "heightmaps/half_3x3.exr").string(), options, read, &error))
        << error;
    EXPECT_EQ(read.heights[3 * 2 + 1], 5.0f * 50.0f); // pixel (2, 1) holds 1 * 3 + 2

    const uint32_t W = 4, H = 3; // the editor's buffer: W rows of H bytes, row 0 at the bottom
    std::vector<uint8_t> buffer(W * H);
    for (uint32_t k = 0; k < W * H; ++k)
        buffer[k] = static_cast<uint8_t>(20 * k);
    stbi_flip_vertically_on_write(1);
    ASSERT_NE(stbi_write_png((dir / "editor.png").c_str(), H, W, 1, buffer.data(), H), 0);
    stbi_flip_vertically_on_write(0);
    options.editorLayout = true;
    options.heightScale = 255.0f;
    ASSERT_TRUE(HeightImage::Read(dir / "editor.png", options, read, &error)) << error;
    ASSERT_EQ(std::make_pair(read.width, read.height), std::make_pair(W, H));
    for (uint32_t k = 0; k < W * H; ++k)
        EXPECT_FLOAT_EQ(read.heights[k], 20.0f * k) << k;
}

// One message naming the file and the reason, and nothing read. A raw file whose side is beyond the New
// Terrain limit is refused from its length alone (a sparse file here, named by its absolute path).
TEST(HeightImageTest, DamagedOrUnsuitableFilesAreRefusedWithTheirReason)
{
    TempDir dir;
    const std::string huge = dir / "huge.r16";
    std::ofstream(huge, std::ios::binary).put('\0');
    ASSERT_EQ(::truncate(huge.c_str(), 4098ll * 4098 * 2), 0);
    const std::pair<std::string, const char*> cases[] = {
        {"rgb.png", "it has 3 channels (RGB); a heightmap has one greyscale channel"},
        {"grey_alpha.png", "2 channels (grey and alpha)"},
        {"four_bit.png", "4-bit samples"},
        {"one_pixel.png", "it is 1 x 1; sides from 2 to 4097 are accepted"},
        {"too_wide.png", "it is 5000 x 2"},
        {"truncated.png", "truncated or damaged"},
        {"not_a_png.png", "not a readable PNG file"},
        {"odd_length.r16", "odd number of bytes (33)"},
        {"not_square.r16", "6 samples do not make a square"},
        {"empty.r16", "the file is empty"},
        {"one_sample.r16", "it is 1 x 1"},
        {"size_mismatch.r16", "it has 32 bytes, but its JSON file gives 3 x 3"},
        {"broken_json.png", "its JSON file broken_json.png.json is not valid JSON"},
        {"rgb.exr", "it has 3 channels; a heightmap EXR has one float channel"},
        {"truncated.exr", "truncated or damaged"},
        {"infinite.exr", "not a finite number at pixel 1, 1"},
        {"unknown_format.tif", "unknown format \".tif\""},
        {"missing.png", "No such file or directory"},
        {huge, "it is 4098 x 4098; sides from 2 to 4097 are accepted"}};
    for (const auto& [file, reason] : cases)
    {
        const std::string path = (DataDir() / "heightmaps" / file).string();
        HeightGrid out;
        out.width = 99;
        std::string error;
        EXPECT_FALSE(HeightImage::Read(path, {}, out, &error)) << file;
        EXPECT_EQ(error.rfind("Cannot import heightmap " + path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(out.width, 99u) << file;
    }
}

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
    return {dir.Path().string(), "hills", formats};
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

// The base colour PNG's width, height and RGB rows from the top (none when it cannot be read).
std::tuple<int, int, std::vector<uint8_t>> BaseColour(const TempDir& dir)
{
    int w = 0, h = 0, c = 0;
    stbi_set_flip_vertically_on_load(0);
    unsigned char* image = stbi_load((dir / "hills_basecolor.png").c_str(), &w, &h, &c, 3);
    std::vector<uint8_t> rgb;
    if (image) rgb.assign(image, image + 3 * w * h);
    stbi_image_free(image);
    return {w, h, rgb};
}

// Every triangle runs counter-clockwise seen from above and agrees with the normals of its corners.
void ExpectFacesUp(const std::vector<float>& p, const std::vector<float>& normals,
                   const std::vector<uint32_t>& corners, const std::string& what)
{
    const auto vertex = [](const std::vector<float>& v, uint32_t k) { return glm::make_vec3(&v.at(3 * k)); };
    for (size_t t = 0; t < corners.size(); t += 3)
    {
        const glm::vec3 p0 = vertex(p, corners[t]);
        const glm::vec3 n = glm::cross(vertex(p, corners[t + 1]) - p0, vertex(p, corners[t + 2]) - p0);
        EXPECT_GT(n.y, 0.0f) << what << " triangle " << t / 3;
        for (size_t c = t; c < t + 3; ++c)
            EXPECT_GT(glm::dot(n, vertex(normals, corners[c])), 0.0f) << what << " triangle " << t / 3;
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
    EXPECT_EQ(FilesIn(dir.Path()), files); // the steps above count ExportFiles' list

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
    EXPECT_EQ(std::tie(positions, normals), std::tie(terrain.positions, terrain.normals));
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
    const auto [w, h, image] = BaseColour(dir);
    ASSERT_EQ(std::make_tuple(w, h, image.size()), std::make_tuple(7, 5, size_t(105)));
    for (size_t k = 1; k < vt.size(); k += 2)
        vt[k] = 1.0f - vt[k]; // OBJ counts v upwards from the bottom row
    ExpectTexCoordsFindTheirPixels(vt, image.data(), 3, terrain);
}

// A failure leaves no temporary file and writes no later file; refused formats and input, and cancelling.
TEST(ExportFailureTest, FailuresRefusalsAndCancellingStopTheExportWithTheirReason)
{
    TempDir dir, cancelled;
    ExportTestTerrain terrain;
    fs::create_directory(dir.Path() / "hills_height.png"); // a folder where the PNG should go
    std::string error;
    // Lists that parse are the headless program's: VelmoranBuildTest and ProjectSessionGLTest use them.
    uint32_t formats = 0;
    EXPECT_FALSE(ExportFormat::Parse("glb,tiff", formats, &error));
    EXPECT_EQ(error, "unknown format \"tiff\" (use glb, obj, png16, r16, exr, splat)");
    EXPECT_FALSE(ExportFormat::Parse("glb,", formats, &error));
    EXPECT_FALSE(ExportFormat::Parse("", formats, &error));
    EXPECT_FALSE(ExportTerrain(terrain.Input(),
                               OptionsFor(dir, ExportFormat::Glb | ExportFormat::Png16 | ExportFormat::Splat),
                               {}, &error));
    EXPECT_EQ(error, "Cannot write " + (dir / "hills_height.png") + ": it is a folder");
    EXPECT_EQ(FilesIn(dir.Path()), (std::set<std::string>{"hills.glb", "hills_height.png"}));

    EXPECT_FALSE(ExportTerrain(terrain.Input(), OptionsFor(dir, 0), {}, &error));
    EXPECT_EQ(error, "Cannot export terrain hills: no format is chosen");
    ExportOptions options = OptionsFor(dir, ExportFormat::R16);
    options.baseName = "sub/hills";
    EXPECT_FALSE(ExportTerrain(terrain.Input(), options, {}, &error));
    EXPECT_NE(error.find("contains a '/'"), std::string::npos);

    int calls = 0;
    EXPECT_FALSE(ExportTerrain(
        terrain.Input(), OptionsFor(cancelled, ExportFormat::Glb | ExportFormat::R16),
        [&](float, const std::string&) { return ++calls < 2; }, &error));
    EXPECT_EQ(error, "Export cancelled");
    EXPECT_EQ(FilesIn(cancelled.Path()), std::set<std::string>{"hills.glb"});
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
    const auto [w, h, image] = BaseColour(dir);
    ASSERT_EQ(std::make_tuple(w, h, image.size()), std::make_tuple(12, 8, size_t(288)));
    for (int m = 0; m < 12; ++m)
        for (int n = 0; n < 8; ++n)
            EXPECT_EQ(std::make_tuple(image[(n * 12 + m) * 3], image[(n * 12 + m) * 3 + 1]),
                      std::make_tuple(std::lround(30.0 * 6.0 / 11.0 * m), std::lround(50.0 * 4.0 / 7.0 * n)))
                << m << ", " << n;
}

// The other side gets the count closest to the same vertex distance; both keep their extent exactly.
TEST(ResampleTest, LongerSideTakesTheChosenCountAndBothKeepTheirExtent)
{
    const struct
    {
        uint32_t width, height, side;
        uint32_t newWidth, newHeight;
        float newDistance, newDistanceZ;
    } cases[] = {{1025, 1025, 513, 513, 513, 4.0f, 4.0f},
                 {513, 513, 1025, 1025, 1025, 1.0f, 1.0f},
                 {9, 5, 17, 17, 9, 1.0f, 1.0f},
                 {5, 9, 5, 3, 5, 4.0f, 4.0f},
                 // 512 / (1024 / 999) = 499.5 steps: 500 of 1.024 each
                 {1025, 513, 1000, 1000, 501, 2048.0f / 999.0f, 2.048f},
                 {300, 1025, 1000, 293, 1000, 598.0f / 292.0f, 2048.0f / 999.0f}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " to " << c.side);
        const Resample::Size size = Resample::SizeFor(c.width, c.height, 2.0f, c.side);
        EXPECT_EQ(std::make_pair(size.width, size.height), std::make_pair(c.newWidth, c.newHeight));
        EXPECT_FLOAT_EQ(size.vertexDistance, c.newDistance);
        EXPECT_FLOAT_EQ(size.vertexDistanceZ, c.newDistanceZ);
        EXPECT_DOUBLE_EQ((size.width - 1) * size.stepI, c.width - 1.0);
        EXPECT_DOUBLE_EQ((size.height - 1) * size.stepJ, c.height - 1.0);
    }
}

// Catmull-Rom reproduces a quadratic away from the border, and overshoots a cliff on both sides: the
// result stays within the samples it is made of.
TEST(ResampleTest, FiltersReproduceLowOrderSurfacesAndStayWithinTheirSamples)
{
    const uint32_t W = 12, H = 6;
    std::vector<float> plane, bowl, cliff;
    for (uint32_t i = 0; i < W; ++i)
        for (uint32_t j = 0; j < H; ++j)
        {
            plane.push_back(2.0f * static_cast<float>(i) - 3.0f * static_cast<float>(j) + 1.0f);
            bowl.push_back(static_cast<float>(i * i));
            cliff.push_back(i < 6 ? 0.0f : 10.0f + static_cast<float>(j));
        }
    Resample::Size size = Resample::SizeFor(W, H, 1.0f, 23); // step 0.5
    ASSERT_EQ(std::make_pair(size.width, size.height), std::make_pair(23u, 11u));
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

    size = Resample::SizeFor(W, H, 1.0f, 37); // steps that fall all over the cells
    out.resize(size.width * size.height);
    Resample::Grid(cliff.data(), W, H, 1, size, Resample::Filter::Bicubic, out.data());
    for (uint32_t m = 0; m < size.width; ++m)
        for (uint32_t n = 0; n < size.height; ++n)
        {
            const float v = out[m * size.height + n];
            ASSERT_TRUE(v >= 0.0f && v <= 15.0f) << v << " at " << m << ", " << n;
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

// Height bands follow the diffuse rules: 127 belongs to both bands (the later wins); a fifth band has no
// channel. With decays, a band's weight is the share of pixels the editor's own painter gives it.
TEST(SplatMapTest, HeightWeightsFollowTheEditorsPainting)
{
    EXPECT_EQ(HeightWeights({Gradient{127}, Gradient{128}}, {0, 126, 127, 255}),
              (std::vector<uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0}));
    EXPECT_EQ(HeightWeights(std::vector<Gradient>(5, Gradient{50}), {49, 210, 251}),
              (std::vector<uint8_t>{255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

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
    std::iota(all.begin(), all.end(), uint8_t{0});
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
