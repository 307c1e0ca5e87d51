// Reading and writing terrain OBJ files.
#include "engine/Parallel.h"
#include "io/ObjReader.h"
#include "tests/io/ObjTestMesh.h"
#include "tests/support/TestCommon.h"

#include <cfloat>
#include <regex>

using testsupport::GridMesh;

namespace
{
std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// What the terrain load keeps: no corner slots beyond the positions', no normal values.
const ObjReadOptions kLean{false, false};

// Everything a read fills in, for comparing two reads.
auto Fields(const ObjData& d)
{
    return std::tie(d.name, d.width, d.height, d.positions, d.texCoords, d.normals, d.positionIndices,
                    d.texCoordIndices, d.normalIndices);
}

ObjData Parse(const std::string& text)
{
    ObjData data;
    const ObjResult result = ObjReader::ParseTerrain(text, data);
    EXPECT_TRUE(result.Ok()) << result.reason;
    return data;
}

// The status and reason the text is refused with.
std::pair<ObjStatus, std::string> Refusal(const std::string& text)
{
    ObjData data;
    const ObjResult result = ObjReader::ParseTerrain(text, data);
    return {result.status, result.reason};
}

// Uneven heights and several distinct normals; the triangles (0-based, three per face) changed when asked.
std::string HillsText(const std::string& name = "hills", void (*change)(std::vector<uint32_t>&) = nullptr)
{
    GridMesh mesh(6, 4,
                  [](uint32_t i, uint32_t j) { return static_cast<float>(i * 7 + j * j) * 1.37f - 20.0f; });
    mesh.name = name;
    for (size_t k = 0; k < mesh.normals.size(); k += 3)
        mesh.normals[k] = static_cast<float>(k % 5) * 0.1f;
    if (change) change(mesh.indices);
    return mesh.Text();
}

// Comments and records around the header, CR LF and words that only begin like "v" change nothing; the
// size is the header line's last two words, the name its first word (or none).
TEST(ObjReaderTest, WhatIsPassedOverChangesNothing)
{
    const std::string plain = HillsText();
    const std::string others = "v1 2 3\nV 1 2 3\nvertex 1 2 3\nvtx 1 2\nvp 1 2 3\nfoo 1/1/1\n"
                               "o obj\ng group\ns 1\nusemtl m\nmtllib m.mtl\n\n   \n\t\r\n";
    const std::string laterHeader =
        "# exported by hand\n# other 5 5\n" +
        Replace(Replace(plain, "# OBJ file created by or for Velmoran:\n",
                        "# OBJ file created by or for Velmoran: (see below)\no thing\n"),
                "# hills vertices:\n", "# hills vertices:\n# late 9 9\n");
    const std::pair<std::string, std::string> cases[] = {{laterHeader, plain},
                                                         {Replace(plain, "\n", "\r\n"), plain},
                                                         {plain + others, plain},
                                                         {HillsText("my big hills"), HillsText("my")}};
    for (const auto& [text, same] : cases)
        EXPECT_EQ(Fields(Parse(text)), Fields(Parse(same))) << text.substr(0, 80);

    const ObjData unnamed = Parse(HillsText("")), hills = Parse(plain);
    EXPECT_EQ(std::tie(unnamed.name, unnamed.width, unnamed.height, unnamed.positions),
              std::make_tuple(std::string(), hills.width, hills.height, hills.positions));

    // A '#' joined to text is an unknown word, not a comment: this marker arms nothing.
    EXPECT_EQ(Refusal(Replace(plain, "# OBJ file", "#OBJ file")).second,
              "it has no header comment with the terrain's name and size");
}

// Too small for a float is 0 (or -0), not an error; nan and inf are numbers; extra words are ignored.
TEST(ObjReaderTest, NumbersAsAStreamReadsThem)
{
    ObjData data;
    ObjParser parser(data);
    ASSERT_TRUE(parser.Feed("v +2 1e-50 -1e-60\nv -inf 1.5e-40 1e+06\nvt nan -0 extra words\n"))
        << parser.Error();
    EXPECT_EQ(data.positions, (std::vector<float>{2.0f, 0.0f, 0.0f, -INFINITY, 1.5e-40f, 1e6f}));
    EXPECT_TRUE(std::signbit(data.positions[2]));
    ASSERT_EQ(data.texCoords.size(), 2u);
    EXPECT_TRUE(std::isnan(data.texCoords[0]));
    EXPECT_TRUE(std::signbit(data.texCoords[1]) && data.texCoords[1] == 0.0f);
}

// Lines cut across chunk boundaries, and a last line without a line feed.
TEST(ObjReaderTest, ChunkedFileReadsLikeOneBuffer)
{
    const std::string text = HillsText() + "# a last line without a line feed";
    const ObjData whole = Parse(text);
    testsupport::TempDir dir;
    std::ofstream(dir / "t.obj", std::ios::binary) << text;
    for (size_t chunk : {size_t(1), size_t(7), size_t(64), size_t(4096), ObjReader::kReadChunkBytes})
    {
        ObjData read;
        const ObjResult result = ObjReader::ReadTerrain(dir / "t.obj", read, chunk);
        ASSERT_TRUE(result.Ok()) << chunk << ": " << result.reason;
        EXPECT_EQ(Fields(whole), Fields(read));
    }
    // Lean: nothing of the faces' other slots or the normals' values (its terrain arrays are
    // TerrainObjGLTest's, which loads through it).
    ObjData lean;
    ASSERT_TRUE(ObjReader::ReadTerrain(dir / "t.obj", lean, 7, kLean).Ok());
    EXPECT_TRUE(lean.texCoordIndices.empty() && lean.normalIndices.empty() && lean.normals.empty());
    EXPECT_EQ(lean.normalRecords, whole.normals.size() / 3);
}

// Each triangle's corners rotated, by one and two places in turn.
void RotateCorners(std::vector<uint32_t>& v)
{
    for (size_t t = 0; t < v.size(); t += 3)
        std::rotate(v.begin() + t, v.begin() + t + 1 + t / 3 % 2, v.begin() + t + 3);
}

// The faces of the first half swapped with those of the second, last first.
void SwapFaces(std::vector<uint32_t>& v)
{
    for (size_t t = 0; t + 3 < v.size() / 2; t += 3)
        std::swap_ranges(v.begin() + t, v.begin() + t + 3, v.end() - 3 - t);
}

// What the format allows and the loader does not need is accepted, with the same vertices (a read that
// is Ok has found the grid's triangles: FacesOffTheGridAreRefused).
TEST(ObjReaderTest, FilesTheFormatAllowsLoad)
{
    const ObjData plain = Parse(HillsText());
    const struct
    {
        const char* what;
        std::string text;
    } cases[] = {
        {"corners rotated", HillsText("hills", RotateCorners)},
        {"faces in another order", HillsText("hills", SwapFaces)},
        {"texture and normal indices beyond their lists", // 24 texture coordinates, 5 normals
         std::regex_replace(HillsText(), std::regex(" (\\d+)/(\\d+)/(\\d+)"), " $1/9$2/7$3")},
        {"words after the header's size", Replace(HillsText(), "\n# hills 6 4\n", "\n# hills 6 4 rev 2\n")},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        const ObjData data = Parse(c.text);
        EXPECT_EQ(std::tie(data.name, data.width, data.height, data.positions, data.texCoords),
                  std::tie(plain.name, plain.width, plain.height, plain.positions, plain.texCoords));
    }
}

// Each case passes a check that ignores any one corner of a cell.
TEST(ObjReaderTest, FacesOffTheGridAreRefused)
{
    const struct
    {
        const char* what;
        void (*change)(std::vector<uint32_t>&);
    } cases[] = {
        {"last corner of the last cell", [](std::vector<uint32_t>& v) { v.back() -= 2; }},
        {"last corner of a first triangle", [](std::vector<uint32_t>& v) { v[8] += 4; }},
        {"middle corner", [](std::vector<uint32_t>& v) { v[13] += 1; }},
        {"one triangle wound backwards", [](std::vector<uint32_t>& v) { std::swap(v[7], v[8]); }},
        {"one triangle twice, one missing",
         [](std::vector<uint32_t>& v) { std::copy(v.begin(), v.begin() + 3, v.begin() + 6); }},
        {"the other diagonal",
         [](std::vector<uint32_t>& v)
         {
             const uint32_t a = v[0], b = v[2], c = v[1], e = v[5];
             v[0] = a, v[1] = c, v[2] = e, v[3] = a, v[4] = e, v[5] = b;
         }},
        {"a cell wrapping round the column's end",
         [](std::vector<uint32_t>& v)
         {
             // Cell (0, 2) is the last of column 0; (b, c, e) shifted by one starts a cell at j = 3.
             for (size_t k = 12; k < 18; ++k)
                 v[k] += 1;
         }},
    };
    const std::pair<ObjStatus, std::string> refused = {ObjStatus::NotATerrain,
                                                       "its faces are not the triangles of a 6 x 4 grid"};
    for (const auto& c : cases)
        EXPECT_EQ(Refusal(HillsText("hills", c.change)), refused) << c.what;
}

// One small file per way a file can break the terrain layout, with the reason it is refused for.
TEST(ObjReaderTest, MalformedFilesAreRefusedWithTheirReason)
{
    using S = ObjStatus;
    const char* noHeader = "it has no header comment with the terrain's name and size";
    const char* noNormals = "its faces carry no normal indices";
    const struct
    {
        const char* file;
        S status;
        const char* reason;
    } cases[] = {
        {"no_header.obj", S::Malformed, noHeader},
        {"marker_without_size.obj", S::Malformed, noHeader},
        {"header_too_short.obj", S::Malformed,
         "line 2: the header line does not hold the terrain's name, width and height"},
        {"header_width_not_a_number.obj", S::Malformed,
         "line 2: the header's width 'x' is not an unsigned number"},
        {"header_height_overflow.obj", S::Malformed,
         "line 2: the header's height '4294967296' is out of range"},
        {"grid_below_two.obj", S::Malformed, "its grid of 1 x 4 vertices is smaller than 2 x 2"},
        {"grid_too_large.obj", S::Malformed, "its grid of 65536 x 65536 vertices is too large to load"},
        {"vertex_count_mismatch.obj", S::NotATerrain, "it holds 4 vertices, not the 3 x 3 = 9 of its grid"},
        {"water_file.obj", S::NotATerrain,
         "it holds 4 vertices, not the 3 x 3 = 9 of its grid (a water file is not a terrain)"},
        {"texcoord_count_mismatch.obj", S::Malformed, "it holds 3 texture coordinates for 4 vertices"},
        {"missing_coordinate.obj", S::Malformed, "line 5: a \"v\" record needs 3 numbers"},
        {"float_not_a_number.obj", S::Malformed, "line 5: 'abc' is not a number"},
        {"float_overflow.obj", S::Malformed, "line 5: '1e50' is out of range"},
        {"index_zero.obj", S::Malformed, "line 16: index 0 in a face (indices start at 1)"},
        {"index_overflow.obj", S::Malformed, "line 16: the index '4294967296' is out of range"},
        {"vertex_index_beyond.obj", S::Malformed, "a face refers to vertex 5, but the vertex count is 4"},
        {"short_corner.obj", S::Malformed, "line 17: a face corner does not carry three indices"},
        {"four_indices.obj", S::Malformed, "line 17: a face corner has more than three indices"},
        {"not_a_corner.obj", S::Malformed, "line 17: 'a/b/c' is not a face corner"},
        // A message quotes the file's bytes only as printable text.
        {"corner_not_ascii.obj", S::Malformed, "line 17: '\\xc3\\xa9\\x8f\\x5c/b' is not a face corner"},
        {"image_renamed.obj", S::Malformed, "it is not a text file"},
        {"quad_face.obj", S::Malformed, "line 16: a face has 4 corners, not 3"},
        {"not_grid_faces.obj", S::NotATerrain, "its faces are not the triangles of a 2 x 2 grid"},
        {"plain_faces.obj", S::NoNormals, noNormals},
        {"empty_middle_indices.obj", S::NoNormals, noNormals},
        {"no_faces.obj", S::NoNormals, "it holds no faces"},
        {"empty.obj", S::NoNormals, "it holds no faces"},
    };
    const std::filesystem::path folder = testsupport::DataDir() / "obj";
    // The terrain load keeps only what the terrain uses; it must judge every file the same.
    for (const auto& c : cases)
        for (const ObjReadOptions& options : {ObjReadOptions{}, kLean})
        {
            ObjData data;
            const ObjResult result =
                ObjReader::ReadTerrain((folder / c.file).string(), data, ObjReader::kReadChunkBytes, options);
            EXPECT_EQ(std::tie(result.status, result.reason), std::tie(c.status, c.reason))
                << c.file << (options.normals ? "" : " (lean)");
        }
    // Every file in the folder has its case (the fuzz target is seeded with them too).
    const auto files = std::distance(std::filesystem::directory_iterator(folder), {});
    EXPECT_EQ(static_cast<size_t>(files), std::size(cases));
}

// Binary bytes past the first kilobytes (a file cut into a text file, say) are named as such, not quoted.
TEST(ObjReaderTest, BinaryBytesFurtherInMakeTheFileNotText)
{
    std::string text;
    for (int n = 0; n < 400; ++n)
        text += "# a comment line of text only\n";
    const std::string cases[] = {std::string("f \x01\x9c\x02r") + '\0' + "BL 1/1/1\n", "v 1 2 \x7f\n"};
    for (const std::string& line : cases)
        EXPECT_EQ(Refusal(text + line),
                  std::make_pair(ObjStatus::Malformed,
                                 std::string("it is not a text file (binary bytes on line 401)")));
}

// The fast formatter against the stream it stands in for.
void ExpectFormatsAsTheStream(float value)
{
    char buffer[ObjWriter::kMaxFloatChars];
    std::ostringstream stream;
    stream << value;
    EXPECT_EQ(std::string(buffer, ObjWriter::FormatFloat(buffer, value)), stream.str())
        << std::hexfloat << value;
}

// Random bits cover every exponent; decimal fractions land near the ties the fast path hands over.
TEST(ObjWriterFloatTest, ValuesAsAStreamWritesThem)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    // Ties at the sixth digit (1234565 rounds to even), the switch to exponents at 1e-05 and 1e+06,
    // the float range's ends, subnormals, infinities and NaNs.
    const float edges[] = {0.0f,        -0.0f,        0.5f,       100.0f,    1e-05f,         1e+06f,
                           123456.0f,   1234567.0f,   -2.5e-05f,  0.0001f,   0.00012345678f, 999999.0f,
                           999999.5f,   9999995.0f,   1234565.0f, 100000.5f, 0.3f,           1.0f / 3.0f,
                           3.14159274f, 65504.0f,     1e38f,      FLT_MAX,   -FLT_MAX,       FLT_MIN,
                           1e-40f,      FLT_TRUE_MIN, 1e-20f,     5e27f,     12345.678f,     -0.125f,
                           inf,         -inf,         nan,        -nan};
    for (float v : edges)
        ExpectFormatsAsTheStream(v);
    std::mt19937 rng(12345);
    for (int n = 0; n < 100000 && !::testing::Test::HasFailure(); ++n)
    {
        const uint32_t bits = static_cast<uint32_t>(rng());
        float random;
        std::memcpy(&random, &bits, sizeof(random));
        ExpectFormatsAsTheStream(random);
        ExpectFormatsAsTheStream(static_cast<float>(static_cast<int>(rng() % 2000001) - 1000000) /
                                 static_cast<float>(std::pow(10.0, static_cast<double>(rng() % 12))));
    }
}

using ObjWriterTest = ::testing::TestWithParam<unsigned>;

// One "vn" per distinct normal by its bits (-0 equals 0, NaNs equal each other); the table nearly full,
// and large enough to be formatted on three threads and written around the output buffer. Progress
// rises to 1 in several steps; a stop leaves the old file and no other behind.
TEST_P(ObjWriterTest, FileHoldsWhatAPlainStreamLoopWritesAndAStopLeavesNoTrace)
{
    GridMesh mesh(300, 310,
                  [](uint32_t i, uint32_t j) { return std::sin(static_cast<float>(i * j) * 0.01f); });
    std::mt19937 random(8);
    const size_t n = mesh.positions.size() / 3;
    for (size_t k = 0; k < n; ++k)
    {
        float* normal = &mesh.normals[3 * k];
        if (k > 0 && random() % 4 == 0)
        {
            std::copy_n(&mesh.normals[3 * (random() % k)], 3, normal); // an earlier normal again
            for (int c = 0; c < 3; ++c)
                if (normal[c] == 0.0f && random() % 2 == 0) normal[c] = -normal[c];
        }
        else
        {
            for (int c = 0; c < 3; ++c)
                normal[c] = static_cast<float>(random() % 2001) * 0.001f - 1.0f;
            if (random() % 500 == 0) normal[random() % 3] = std::numeric_limits<float>::quiet_NaN();
        }
    }
    std::ostringstream plain;
    plain << "# OBJ file created by or for Velmoran:\n# t 300 310\n# t vertices:\n";
    for (size_t k = 0; k < n; ++k)
        plain << "v " << mesh.positions[3 * k] << ' ' << mesh.positions[3 * k + 1] << ' '
              << mesh.positions[3 * k + 2] << '\n';
    plain << "# t texture coords:\n";
    for (size_t k = 0; k < n; ++k)
        plain << "vt " << mesh.texCoords[2 * k] << ' ' << mesh.texCoords[2 * k + 1] << '\n';
    plain << "# t vertex normals:\n";
    std::map<std::array<uint32_t, 3>, size_t> numbers;
    std::vector<size_t> normalOf(n);
    for (size_t k = 0; k < n; ++k)
    {
        const float* normal = &mesh.normals[3 * k];
        const float value[3] = {normal[0] + 0.0f, normal[1] + 0.0f, normal[2] + 0.0f}; // -0 + 0 is 0
        std::array<uint32_t, 3> key;
        std::memcpy(key.data(), value, sizeof value);
        const auto [at, fresh] = numbers.emplace(key, numbers.size() + 1);
        if (fresh) plain << "vn " << normal[0] << ' ' << normal[1] << ' ' << normal[2] << '\n';
        normalOf[k] = at->second;
    }
    plain << "# t faces:\n";
    for (size_t t = 0; t < mesh.indices.size(); t += 3)
    {
        plain << 'f';
        for (size_t c = t; c < t + 3; ++c)
            plain << ' ' << mesh.indices[c] + 1 << '/' << mesh.indices[c] + 1 << '/'
                  << normalOf[mesh.indices[c]];
        plain << '\n';
    }

    Parallel::SetThreadCount(GetParam());
    testsupport::TempDir dir;
    ObjWriteStats stats;
    std::vector<float> shares;
    std::string error;
    const bool written = ObjWriter::WriteFile(dir / "t.obj", mesh.View(), &stats, &error,
                                              [&](float share) { return shares.push_back(share), true; });
    const std::string old = "the old file\n";
    std::ofstream(dir / "old.obj") << old;
    int calls = 0;
    const bool stopped = !ObjWriter::WriteFile(dir / "old.obj", mesh.View(), nullptr, &error,
                                               [&](float) { return ++calls < 3; });
    Parallel::SetThreadCount(0);

    ASSERT_TRUE(written) << error;
    const std::string text = testsupport::ReadFile(dir / "t.obj");
    EXPECT_TRUE(text == plain.str() && text == mesh.Text()); // not EXPECT_EQ: a failure would print megabytes
    EXPECT_EQ(std::make_tuple(text.size(), stats.bytes, stats.normalLines),
              std::make_tuple(plain.str().size(), text.size(), numbers.size()));
    ASSERT_GE(shares.size(), 4u); // more than one report per section
    EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
    EXPECT_FLOAT_EQ(shares.back(), 1.0f);
    EXPECT_EQ(std::make_tuple(stopped, calls, error, testsupport::ReadFile(dir / "old.obj"),
                              testsupport::FilesIn(dir.Path()).size()),
              std::make_tuple(true, 3, std::string("cancelled"), old, size_t(2)));
}

INSTANTIATE_TEST_SUITE_P(Threads, ObjWriterTest, ::testing::Values(1u, 3u));
} // namespace
