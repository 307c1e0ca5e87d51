#include "io/ObjReader.h"
#include "io/ObjWriter.h"
#include "tests/io/ObjTestMesh.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>

using testsupport::GridMesh;

namespace
{
// What a float reads back as once written.
float Written(float value)
{
    char buffer[ObjWriter::kMaxFloatChars + 1];
    *ObjWriter::FormatFloat(buffer, value) = '\0';
    return std::strtof(buffer, nullptr);
}

std::vector<float> WrittenAll(const std::vector<float>& values)
{
    std::vector<float> out;
    for (float v : values)
        out.push_back(Written(v));
    return out;
}

std::vector<uint32_t> OneBased(const std::vector<uint32_t>& indices)
{
    std::vector<uint32_t> out;
    for (uint32_t k : indices)
        out.push_back(k + 1);
    return out;
}

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

void ExpectSameData(const ObjData& a, const ObjData& b)
{
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.hasHeader, b.hasHeader);
    EXPECT_EQ(a.positions, b.positions);
    EXPECT_EQ(a.texCoords, b.texCoords);
    EXPECT_EQ(a.normals, b.normals);
    EXPECT_EQ(a.positionIndices, b.positionIndices);
    EXPECT_EQ(a.texCoordIndices, b.texCoordIndices);
    EXPECT_EQ(a.normalIndices, b.normalIndices);
}

GridMesh Hills()
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> heights(-50.0f, 50.0f);
    GridMesh mesh(6, 4, [&](uint32_t, uint32_t) { return heights(rng); });
    mesh.name = "hills";
    for (size_t k = 0; k < mesh.normals.size(); k += 3)
    {
        mesh.normals[k] = static_cast<float>(k % 5) * 0.1f;
        mesh.normals[k + 2] = 0.25f;
    }
    return mesh;
}

TEST(ObjReaderTest, ReadsBackWhatTheWriterWrote)
{
    const GridMesh mesh = Hills();
    ObjData data;
    const ObjResult result = ObjReader::ParseTerrain(mesh.Text(), data);
    ASSERT_TRUE(result.Ok()) << result.reason;
    EXPECT_EQ(data.name, "hills");
    EXPECT_EQ(data.width, 6u);
    EXPECT_EQ(data.height, 4u);
    EXPECT_EQ(data.positions, WrittenAll(mesh.positions));
    EXPECT_EQ(data.texCoords, WrittenAll(mesh.texCoords));
    EXPECT_EQ(data.positionIndices, OneBased(mesh.indices));
    EXPECT_EQ(data.texCoordIndices, OneBased(mesh.indices));
    EXPECT_EQ(data.normals.size(), 5u * 3);
    ASSERT_EQ(data.normalIndices.size(), mesh.indices.size());
    for (size_t c = 0; c < mesh.indices.size(); ++c)
    {
        const uint32_t k = mesh.indices[c];
        const float* read = &data.normals[(data.normalIndices[c] - 1) * 3];
        EXPECT_EQ(read[0], Written(mesh.normals[k * 3]));
        EXPECT_EQ(read[2], Written(mesh.normals[k * 3 + 2]));
    }
}

TEST(ObjReaderTest, HeaderOnALaterCommentLine)
{
    std::string text = GridMesh(3, 2).Text();
    // Comments before the "created by" line are ignored, even one shaped like a size line; other
    // records may stand between it and the size line; comments after the size line are ignored.
    text = "# exported by hand\n# other 5 5\n" +
           Replace(text, "# OBJ file created by or for Velmoran:\n",
                   "# OBJ file created by or for Velmoran: (see below)\no thing\n");
    text = Replace(text, "# t vertices:\n", "# t vertices:\n# late 9 9\n");
    ObjData data;
    const ObjResult result = ObjReader::ParseTerrain(text, data);
    ASSERT_TRUE(result.Ok()) << result.reason;
    EXPECT_EQ(data.name, "t");
    EXPECT_EQ(data.width, 3u);
    EXPECT_EQ(data.height, 2u);
}

TEST(ObjReaderTest, CrLfReadsLikeLf)
{
    const std::string text = Hills().Text();
    ObjData lf, crlf;
    ASSERT_TRUE(ObjReader::ParseTerrain(text, lf).Ok());
    const ObjResult result = ObjReader::ParseTerrain(Replace(text, "\n", "\r\n"), crlf);
    ASSERT_TRUE(result.Ok()) << result.reason;
    ExpectSameData(lf, crlf);
}

TEST(ObjReaderTest, NameWithBlanksComesBackAsItsFirstWord)
{
    GridMesh mesh(3, 3);
    mesh.name = "my big terrain";
    ObjData data;
    const ObjResult result = ObjReader::ParseTerrain(mesh.Text(), data);
    ASSERT_TRUE(result.Ok()) << result.reason; // the size comes from the line's last two words
    EXPECT_EQ(data.name, "my");
    EXPECT_EQ(data.width, 3u);
    EXPECT_EQ(data.height, 3u);
}

TEST(ObjReaderTest, EmptyNameLoads)
{
    GridMesh mesh(2, 3);
    mesh.name = "";
    ObjData data;
    const ObjResult result = ObjReader::ParseTerrain(mesh.Text(), data);
    ASSERT_TRUE(result.Ok()) << result.reason;
    EXPECT_EQ(data.name, "");
    EXPECT_EQ(data.width, 2u);
}

TEST(ObjReaderTest, OnlyWholeWordsSelectARecord)
{
    const std::string text = GridMesh(2, 2).Text() +
                             "v1 2 3\nV 1 2 3\nvertex 1 2 3\nvtx 1 2\nvp 1 2 3\nfoo 1/1/1\n"
                             "o obj\ng group\ns 1\nusemtl m\nmtllib m.mtl\n\n   \n\t\r\n";
    ObjData data;
    const ObjResult result = ObjReader::ParseTerrain(text, data);
    ASSERT_TRUE(result.Ok()) << result.reason;
    EXPECT_EQ(data.positions.size(), 12u);
    EXPECT_EQ(data.texCoords.size(), 8u);

    // A '#' joined to text is an unknown word, not a comment: this marker arms nothing.
    ObjData joined;
    const std::string joinedText = Replace(GridMesh(2, 2).Text(), "# OBJ file", "#OBJ file");
    EXPECT_EQ(ObjReader::ParseTerrain(joinedText, joined).reason,
              "it has no header comment with the terrain's name and size");
}

struct FaceCase
{
    const char* line;
    size_t positions, texCoords, normals;
    bool hasTexCoords, hasNormals;
    size_t firstShortCornerLine, firstNonTriangleLine;
};

TEST(ObjReaderTest, FaceCornersFillTheirSlots)
{
    const FaceCase cases[] = {
        {"f 1/2/3 4/5/6 7/8/9", 3, 3, 3, true, true, 0, 0},
        {"f 1 2 3", 3, 0, 0, false, false, 1, 0},
        {"f 1/2 3/4 5/6", 3, 3, 0, true, false, 1, 0},
        // An empty middle number stores the position and ends the line.
        {"f 1//3 2//3 3//3", 1, 0, 0, false, false, 1, 1},
        {"f 1/2/3 4/5/6 7/8/9\r", 3, 3, 3, true, true, 0, 0},
        {"f\t1/2/3   4/5/6 7/8/9  ", 3, 3, 3, true, true, 0, 0},
        {"f 1/2/3 4/5/6 7/8/9 10/11/12", 4, 4, 4, true, true, 0, 1},
        {"f", 0, 0, 0, false, false, 0, 1},
    };
    for (const FaceCase& c : cases)
    {
        ObjData data;
        ObjParser parser(data);
        ASSERT_TRUE(parser.Feed(c.line)) << c.line << ": " << parser.Error();
        EXPECT_EQ(data.positionIndices.size(), c.positions) << c.line;
        EXPECT_EQ(data.texCoordIndices.size(), c.texCoords) << c.line;
        EXPECT_EQ(data.normalIndices.size(), c.normals) << c.line;
        EXPECT_EQ(data.hasTexCoordIndices, c.hasTexCoords) << c.line;
        EXPECT_EQ(data.hasNormalIndices, c.hasNormals) << c.line;
        EXPECT_EQ(data.firstShortCornerLine, c.firstShortCornerLine) << c.line;
        EXPECT_EQ(data.firstNonTriangleLine, c.firstNonTriangleLine) << c.line;
    }
}

TEST(ObjReaderTest, NumbersAsAStreamReadsThem)
{
    ObjData data;
    ObjParser parser(data);
    ASSERT_TRUE(parser.Feed("v +2 1e-50 -1e-60\nv nan -inf 1.5e-40\nvt 1e+06 -0 extra words\n"))
        << parser.Error();
    ASSERT_EQ(data.positions.size(), 6u);
    EXPECT_EQ(data.positions[0], 2.0f);
    EXPECT_EQ(data.positions[1], 0.0f); // too small for a float: 0, not an error
    EXPECT_TRUE(std::signbit(data.positions[2]));
    EXPECT_TRUE(std::isnan(data.positions[3]));
    EXPECT_EQ(data.positions[4], -INFINITY);
    EXPECT_EQ(data.positions[5], 1.5e-40f);
    EXPECT_EQ(data.texCoords, (std::vector<float>{1e6f, -0.0f}));
}

TEST(ObjReaderTest, ChunkedFileReadsLikeOneBuffer)
{
    const std::string text = Hills().Text() + "# a last line without a line feed";
    ObjData whole;
    ASSERT_TRUE(ObjReader::ParseTerrain(text, whole).Ok());
    testsupport::TempDir dir;
    std::ofstream(dir / "t.obj", std::ios::binary) << text;
    for (size_t chunk : {size_t(1), size_t(7), size_t(64), size_t(4096), ObjReader::kReadChunkBytes})
    {
        ObjData read;
        const ObjResult result = ObjReader::ReadTerrain(dir / "t.obj", read, chunk);
        ASSERT_TRUE(result.Ok()) << chunk << ": " << result.reason;
        ExpectSameData(whole, read);
    }
}

TEST(ObjReaderTest, MissingFileCannotBeOpened)
{
    testsupport::TempDir dir;
    ObjData data;
    const ObjResult result = ObjReader::ReadTerrain(dir / "absent.obj", data);
    EXPECT_EQ(result.status, ObjStatus::CannotOpen);
    EXPECT_EQ(result.reason, "it cannot be opened");
    EXPECT_EQ(ObjReader::ReadTerrain(dir.Path().string(), data).status, ObjStatus::CannotOpen); // a folder
}

// One small file per way a file can break the terrain layout, with the reason it is refused for.
struct MalformedCase
{
    const char* file;
    ObjStatus status;
    const char* reason;
};

class ObjReaderMalformedTest : public ::testing::TestWithParam<MalformedCase>
{
};

TEST_P(ObjReaderMalformedTest, IsRefusedWithItsReason)
{
    const MalformedCase& c = GetParam();
    ObjData data;
    const ObjResult result = ObjReader::ReadTerrain((testsupport::DataDir() / "obj" / c.file).string(), data);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.reason, c.reason);
}

const MalformedCase kMalformedCases[] = {
    {"no_header.obj", ObjStatus::Malformed, "it has no header comment with the terrain's name and size"},
    {"marker_without_size.obj", ObjStatus::Malformed,
     "it has no header comment with the terrain's name and size"},
    {"header_too_short.obj", ObjStatus::Malformed,
     "line 2: the header line does not hold the terrain's name, width and height"},
    {"header_width_not_a_number.obj", ObjStatus::Malformed,
     "line 2: the header's width 'x' is not an unsigned number"},
    {"header_height_overflow.obj", ObjStatus::Malformed,
     "line 2: the header's height '4294967296' is out of range"},
    {"grid_below_two.obj", ObjStatus::Malformed, "its grid of 1 x 4 vertices is smaller than 2 x 2"},
    {"grid_too_large.obj", ObjStatus::Malformed, "its grid of 65536 x 65536 vertices is too large to load"},
    {"vertex_count_mismatch.obj", ObjStatus::NotATerrain,
     "it holds 4 vertices, not the 3 x 3 = 9 of its grid"},
    {"water_file.obj", ObjStatus::NotATerrain,
     "it holds 4 vertices, not the 3 x 3 = 9 of its grid (a water file is not a terrain)"},
    {"texcoord_count_mismatch.obj", ObjStatus::Malformed, "it holds 3 texture coordinates for 4 vertices"},
    {"missing_coordinate.obj", ObjStatus::Malformed, "line 5: a \"v\" record needs 3 numbers"},
    {"float_not_a_number.obj", ObjStatus::Malformed, "line 5: 'abc' is not a number"},
    {"float_overflow.obj", ObjStatus::Malformed, "line 5: '1e50' is out of range"},
    {"index_zero.obj", ObjStatus::Malformed, "line 16: index 0 in a face (indices start at 1)"},
    {"index_overflow.obj", ObjStatus::Malformed, "line 16: the index '4294967296' is out of range"},
    {"vertex_index_beyond.obj", ObjStatus::Malformed, "a face refers to vertex 5, but the vertex count is 4"},
    {"texcoord_index_beyond.obj", ObjStatus::Malformed,
     "a face refers to texture coordinate 7, but the texture coordinate count is 4"},
    {"normal_index_beyond.obj", ObjStatus::Malformed, "a face refers to normal 2, but the normal count is 1"},
    {"short_corner.obj", ObjStatus::Malformed, "line 17: a face corner does not carry three indices"},
    {"four_indices.obj", ObjStatus::Malformed, "line 17: a face corner has more than three indices"},
    {"not_a_corner.obj", ObjStatus::Malformed, "line 17: 'a/b/c' is not a face corner"},
    {"quad_face.obj", ObjStatus::Malformed, "line 16: a face has 4 corners, not 3"},
    {"not_grid_faces.obj", ObjStatus::NotATerrain, "its faces are not the triangles of a 2 x 2 grid"},
    {"plain_faces.obj", ObjStatus::NoNormals, "its faces carry no normal indices"},
    {"empty_middle_indices.obj", ObjStatus::NoNormals, "its faces carry no normal indices"},
    {"no_faces.obj", ObjStatus::NoNormals, "it holds no faces"},
    {"empty.obj", ObjStatus::NoNormals, "it holds no faces"},
};

INSTANTIATE_TEST_SUITE_P(Files, ObjReaderMalformedTest, ::testing::ValuesIn(kMalformedCases),
                         [](const ::testing::TestParamInfo<MalformedCase>& info)
                         {
                             // no_header.obj -> NoHeader
                             std::string name;
                             bool upper = true;
                             for (const char* c = info.param.file; *c && *c != '.'; ++c)
                             {
                                 if (*c == '_')
                                     upper = true;
                                 else
                                 {
                                     name += upper ? static_cast<char>(std::toupper(*c)) : *c;
                                     upper = false;
                                 }
                             }
                             return name;
                         });
} // namespace
