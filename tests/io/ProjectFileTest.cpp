// Project files: saving and opening them, and building a project's terrain files from one.
#include "io/HeightImage.h"
#include "io/ProjectBuild.h"
#include "io/ProjectFile.h"
#include "tests/io/ProjectTestModel.h"
#include "tests/support/TestCommon.h"

#include <nlohmann/json.hpp>
#include <zip.h>

#include <sys/stat.h>
#include <unistd.h>

using json = nlohmann::json;
using testsupport::ReadFile;
using testsupport::SampleProject;
using testsupport::TempDir;

namespace
{
void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Entry edits through libzip; the buffers handed over are freed by libzip.
void PutEntry(zip_t* archive, const std::string& name, const std::string& bytes)
{
    void* copy = std::malloc(bytes.size() + 1);
    std::memcpy(copy, bytes.data(), bytes.size());
    zip_source_t* source = zip_source_buffer(archive, copy, bytes.size(), 1);
    ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE), 0) << name;
}

void Edit(const std::string& path, const std::function<void(zip_t*)>& edit)
{
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), 0, &error);
    ASSERT_NE(archive, nullptr);
    edit(archive);
    ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
}

void EditManifest(const std::string& path, const std::function<void(json&)>& edit)
{
    Edit(path,
         [&](zip_t* archive)
         {
             zip_stat_t stat;
             ASSERT_EQ(zip_stat(archive, ProjectFile::kManifestName, 0, &stat), 0);
             std::string bytes(stat.size, '\0');
             zip_file_t* file = zip_fopen(archive, ProjectFile::kManifestName, 0);
             ASSERT_EQ(zip_fread(file, bytes.data(), bytes.size()), static_cast<zip_int64_t>(bytes.size()));
             zip_fclose(file);
             json manifest = json::parse(bytes);
             edit(manifest);
             PutEntry(archive, ProjectFile::kManifestName, manifest.dump());
         });
}

// Sets an entry's declared unpacked size in both of its headers (local and central), leaving its data alone.
void DeclareSize(const std::string& path, const std::string& name, uint32_t size)
{
    std::string bytes = ReadFile(path);
    int patched = 0;
    for (size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1))
        for (const auto& [header, nameOffset, sizeOffset] :
             {std::tuple{"PK\x03\x04", 30, 22}, {"PK\x01\x02", 46, 24}})
            if (at >= size_t(nameOffset) && bytes.compare(at - nameOffset, 4, header) == 0)
                std::memcpy(&bytes[at - nameOffset + sizeOffset], &size, 4), ++patched;
    ASSERT_EQ(patched, 2);
    WriteBytes(path, bytes);
}

class ProjectFileTest : public ::testing::Test
{
  protected:
    TempDir dir;
    std::string sample = dir / "sample.velmoran";

    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(ProjectFile::Save(SampleProject(), sample, &error)) << error;
    }

    // The project saved under this name in the folder and opened again.
    Project SavedAndOpened(const Project& project, const std::string& name)
    {
        std::string error;
        EXPECT_TRUE(ProjectFile::Save(project, dir / name, &error)) << error;
        Project opened;
        EXPECT_TRUE(ProjectFile::Open(dir / name, opened, &error)) << error;
        return opened;
    }
};

TEST_F(ProjectFileTest, OpenGivesBackEveryFieldBitForBit)
{
    Project opened;
    std::string error;
    ASSERT_TRUE(ProjectFile::Open(sample, opened, &error)) << error;
    testsupport::ExpectSameProject(SampleProject(), opened);

    // A name that is not UTF-8 (read from an OBJ file) is saved with U+FFFD for the stray byte.
    Project odd = SampleProject();
    odd.terrains[0].name = "ridge\xff";
    EXPECT_EQ(SavedAndOpened(odd, "odd.velmoran").terrains[0].name, "ridge\xef\xbf\xbd");

    // Earlier versions wrote a rectangle's images with their sides the other way round (W wide, H high)
    // for the same bytes: they open turned.
    Project turned = SampleProject();
    for (TerrainRecord& t : turned.terrains)
    {
        for (ImageRecord* image : {&t.heightmap, &t.normal, &t.diffuse, &t.specular, &t.watermap})
            std::swap(image->width, image->height);
        for (LayerRecord& layer : t.layers)
            std::swap(layer.image.width, layer.image.height);
    }
    testsupport::ExpectSameProject(SampleProject(), SavedAndOpened(turned, "turned.velmoran"));

    // Saving the same project again gives the same bytes (fixed entry times, ordered parts).
    const std::string again = dir / "again.velmoran";
    ASSERT_TRUE(ProjectFile::Save(opened, again, &error)) << error;
    EXPECT_TRUE(ReadFile(again) == ReadFile(sample));

    // Files written before "Smooth heights" existed open with it off.
    EditManifest(again, [](json& m) { m["terrains"][0]["layers"][0]["noise"].erase("smoothHeights"); });
    ASSERT_TRUE(ProjectFile::Open(again, opened, &error)) << error;
    EXPECT_FALSE(opened.terrains[0].layers[0].settings.smoothHeights);
}

TEST_F(ProjectFileTest, ProgressRunsToOneAndCancellingLeavesTheModelAndFileAlone)
{
    std::vector<float> opening, saving;
    const auto into = [](std::vector<float>& s) { return [&s](float f) { return s.push_back(f), true; }; };
    Project opened;
    ASSERT_TRUE(ProjectFile::Open(sample, opened, nullptr, into(opening)));
    ASSERT_TRUE(ProjectFile::Save(opened, sample, nullptr, into(saving)));
    for (const std::vector<float>& seen : {opening, saving})
    {
        ASSERT_FALSE(seen.empty());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_EQ(seen.back(), 1.0f);
    }

    Project untouched;
    untouched.sceneCounter = 42;
    std::string error;
    EXPECT_FALSE(ProjectFile::Open(sample, untouched, &error, [](float) { return false; }));
    EXPECT_EQ(error, "opening was cancelled");
    EXPECT_EQ(untouched.sceneCounter, 42u);

    const std::string before = ReadFile(sample);
    Project changed = SampleProject();
    changed.terrains[0].name = "other";
    for (const float cancelAt : {0.0f, 0.5f, 0.95f})
    {
        EXPECT_FALSE(ProjectFile::Save(changed, sample, &error, [&](float f) { return f < cancelAt; }))
            << cancelAt;
        EXPECT_EQ(error, "saving was cancelled");
        EXPECT_TRUE(ReadFile(sample) == before) << cancelAt;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
        << "a temporary file stayed";
}

TEST_F(ProjectFileTest, AFailedSaveKeepsTheOldFile)
{
    const std::string before = ReadFile(sample);
    std::string error;
    EXPECT_FALSE(ProjectFile::Save(SampleProject(), dir / "missing/folder/x.velmoran", &error));
    EXPECT_EQ(error, "the folder " + (dir / "missing/folder") + " does not exist");
    if (geteuid() != 0) // root writes anywhere
    {
        chmod(dir.Path().c_str(), 0500);
        EXPECT_FALSE(ProjectFile::Save(SampleProject(), dir / "new.velmoran", &error));
        chmod(dir.Path().c_str(), 0700);
    }
    // A terrain the reader would refuse (an OBJ file can hold a longer side) is not written.
    Project longSide = SampleProject();
    longSide.terrains[0].width = 5000;
    EXPECT_FALSE(ProjectFile::Save(longSide, sample, &error));
    EXPECT_EQ(error, "terrain ridge is 5000 x 4; a project holds terrains of at most 4097 x 4097");
    EXPECT_TRUE(ReadFile(sample) == before);
    EXPECT_EQ(ProjectFile::SaveMessage("a.velmoran", "disk full"),
              "Cannot save project a.velmoran: disk full");
}

// Damage to a copy of the sample: an edit of its manifest, of its entries, or a new or removed entry.
using Damage = std::function<void(const std::string& path)>;

struct RefusedCase
{
    const char* name;
    Damage damage;
    std::string reason;
};

class ProjectFileRefusedTest : public ProjectFileTest, public ::testing::WithParamInterface<RefusedCase>
{
};

TEST_P(ProjectFileRefusedTest, IsRefusedWithItsReasonAndTheModelStaysAsItWas)
{
    const std::string path = dir / "damaged.velmoran";
    std::filesystem::copy_file(sample, path);
    GetParam().damage(path);
    Project untouched;
    untouched.sceneCounter = 42;
    std::string error;
    EXPECT_FALSE(ProjectFile::Open(path, untouched, &error));
    EXPECT_EQ(error, GetParam().reason);
    EXPECT_EQ(std::make_pair(untouched.sceneCounter, untouched.terrains.size()),
              std::make_pair(42u, size_t(0)));
}

// The manifest with the value at a JSON pointer set, or a key of the object there erased.
Damage Set(const std::string& pointer, const json& value)
{
    return [=](const std::string& p)
    { EditManifest(p, [&](json& m) { m[json::json_pointer(pointer)] = value; }); };
}
Damage Erase(const std::string& pointer, const std::string& key)
{
    return [=](const std::string& p)
    { EditManifest(p, [&](json& m) { m[json::json_pointer(pointer)].erase(key); }); };
}
// A part added or replaced, stored with this compression when one is given.
Damage Put(const std::string& name, const std::string& bytes, zip_int32_t method = -1, zip_uint32_t level = 0)
{
    return [=](const std::string& p)
    {
        Edit(p,
             [&](zip_t* z)
             {
                 PutEntry(z, name, bytes);
                 if (method >= 0)
                     zip_set_file_compression(z, zip_name_locate(z, name.c_str(), 0), method, level);
             });
    };
}
Damage Delete(const std::string& name)
{
    return [=](const std::string& p)
    { Edit(p, [&](zip_t* z) { zip_delete(z, zip_name_locate(z, name.c_str(), 0)); }); };
}
// Every occurrence of from (in local and central headers) replaced with to of the same length.
Damage Patch(const std::string& from, const std::string& to)
{
    return [=](const std::string& p)
    {
        ASSERT_EQ(from.size(), to.size());
        std::string bytes = ReadFile(p);
        size_t replaced = 0;
        for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + 1), ++replaced)
            bytes.replace(at, from.size(), to);
        ASSERT_GT(replaced, 0u);
        WriteBytes(p, bytes);
    };
}
Damage Then(const Damage& first, const Damage& second)
{
    return [=](const std::string& p) { first(p), second(p); };
}
json WorldOver(int terrain, int tileX)
{
    return {{"terrain", terrain}, {"tileSize", 5}, {"tiles", {2, 3}},
            {"origin", {0, 0}},   {"overlap", 8},  {"tile", {tileX, 0}}};
}

const RefusedCase kRefused[] = {
    {"Truncated", [](const std::string& p) { WriteBytes(p, ReadFile(p).substr(0, 1500)); },
     "it is not a project file, or it is truncated (no zip directory)"},
    {"Empty", [](const std::string& p) { WriteBytes(p, ""); }, "it is empty"},
    {"Folder", [](const std::string& p) { fs::remove(p), fs::create_directory(p); }, "it is a folder"},
    {"BadJson", Put(ProjectFile::kManifestName, "{\"format\": [1,"),
     "its manifest is not valid JSON (at byte 15)"},
    {"NumberBeyondADouble", Put(ProjectFile::kManifestName, "{\"version\": 1e400}"),
     "its manifest is not valid JSON (a number out of range)"},
    {"NoManifest", Delete(ProjectFile::kManifestName), "it holds no manifest.json (not a Velmoran project)"},
    {"NewerVersion", Set("/version", 2),
     "it was written by a newer version of Velmoran (project format 2; this version reads format 1)"},
    {"OtherFormat", Set("/format", "scene"),
     "it is not a Velmoran project (its manifest names no project format)"},
    {"MissingPart", Delete("terrain0/layer1.u8"), "part terrain0/layer1.u8 is missing"},
    {"ExtraPart", Put("notes.txt", "hello"), "it holds a part its manifest does not list: notes.txt"},
    {"SizeDisagrees", Set("/terrains/0/layers/1/pixels/channels", 4),
     "part terrain0/layer1.u8 holds 72 bytes where the manifest needs 96"},
    {"SculptHeightsNotTheGrids", Put("terrain0/layer3.f32", "12345678"),
     "part terrain0/layer3.f32 holds 8 bytes where the manifest needs 96"},
    {"SmoothHeightsNotABool", Set("/terrains/0/layers/0/noise/smoothHeights", 1),
     "terrain 0 layer 0 noise: smoothHeights must be true or false"},
    {"GridBeyondTheLimit", Set("/terrains/0/width", 4098),
     "terrain 0 is 4098 x 4; a terrain is from 2 x 2 to 4097 x 4097"},
    {"ImageBeyondTheLimit", Set("/terrains/0/layers/1/pixels/width", 5000),
     "terrain 0 layer 1 pixels: width must be a whole number from 0 to 4097"},
    {"TextureOfAnotherSize", Set("/terrains/0/textures/normal/channels", 4),
     "terrain 0 normal texture is 4 x 6 with 4 channels; the terrain needs 4 x 6 with 3"},
    {"NameLeavesTheContainer", Put("../escape", "x"), "part name '../escape' would leave the project"},
    {"AbsoluteName", Put("/etc/cron.d/x", "x"), "part name '/etc/cron.d/x' would leave the project"},
    {"PartTwice",
     Then(Put("terrain0/heightmap.u9", std::string(24, 'x')),
          Patch("terrain0/heightmap.u9", "terrain0/heightmap.u8")),
     "it holds two parts of the same name"},
    {"InflatesBeyondItsSize",
     Then(Put("terrain0/heightmap.u8", std::string(1 << 20, '\0'), ZIP_CM_DEFLATE, 9),
          [](const std::string& p) { DeclareSize(p, "terrain0/heightmap.u8", 24); }),
     "part terrain0/heightmap.u8 inflates beyond its declared 24 bytes"},
    {"DamagedData",
     Then(Put("terrain0/heightmap.u8", "abcdefghijklmnopqrstuvwx", ZIP_CM_STORE, 0),
          Patch("abcdefghijklmnopqrstuvwx", "abcdefghijklmnopqrstuvwX")),
     "part terrain0/heightmap.u8 is damaged (CRC error)"},
    {"TriangleBeyondItsVertices",
     Put("terrain0/water_indices.u32", std::string("\0\0\0\0\1\0\0\0\2\0\0\0\2\0\0\0\1\0\0\0\4\0\0\0", 24)),
     "terrain 0 water plane: a triangle points past its 4 vertices"},
    {"UnknownLayerKind", Set("/terrains/0/layers/0/kind", "wind"),
     "terrain 0 layer 0: kind 'wind' is unknown"},
    {"NoiseLayerMadeErosionWithoutItsSettings", Set("/terrains/0/layers/0/kind", "erosion"),
     "terrain 0 layer 0: erosion is missing"},
    {"UnknownErosionMethod", Set("/terrains/0/layers/2/erosion/method", "wind"),
     "terrain 0 layer 2 erosion: method 'wind' is unknown"},
    {"ErosionMaskOfOneChannel", Set("/terrains/0/layers/2/pixels/channels", 1),
     "terrain 0 layer 2 pixels must be 4 x 6 with three channels (an erosion mask)"},
    {"MaskBandsOverANoiseLayer", Set("/terrains/0/bands/layer", 0),
     "terrain 0 bands: layer 0 is not an erosion entry"},
    {"MaskChannelUnknown", Set("/terrains/0/bands/channel", "green"),
     "terrain 0 bands: channel 'green' is unknown"},
    {"SceneCameraNotListed", Set("/scenes/0/camera", 5), "scene 0: camera 5 is not in the camera list"},
    {"AspectChoiceOutOfRange", Set("/aspectRatioIndex", 9), "the manifest: aspectRatioIndex must be 0 to 3"},
    {"WrongType", Set("/cameras/0/rotate", "yes"), "camera 0: rotate must be true or false"},
    {"MissingField", Erase("/terrains/2", "generator"), "terrain 2: generator is missing"},
    {"FileTerrainWithoutHeights",
     Then(Erase("/terrains/2", "baseHeights"), Delete("terrain2/base_heights.f32")),
     "terrain 2 was read from a file but stores no heights"},
    {"WorldOverRandomFault", Set("/world", WorldOver(0, 0)),
     "the world: terrain ridge starts from random fault, which cannot tile: a world starts flat and takes "
     "its shape from its noise, image and erosion layers"},
    {"WorldTileOutside", Set("/world", WorldOver(1, 2)),
     "the world: tile 2,0 is outside the world's 2 x 3 tiles (x from 0 to 1, y from 0 to 2)"},
    {"WorldTerrainNotListed", Set("/world", WorldOver(3, 0)),
     "the world: terrain 3 is not in the terrain list"},
};

// An image layer is stored at the world's size, with the painted tile window in its place.
TEST_F(ProjectFileTest, AWorldKeepsItsSettingsAndItsImageLayersWhole)
{
    Project project = SampleProject();
    const WorldSettings world{1, 5, 2, 3, -40, 7, 12, 1, 2, true, -3.5f, 80.25f};
    TerrainRecord& land = project.terrains[1];
    land.name = "land";
    land.width = land.height = 5;
    LayerRecord& image = land.layers.emplace_back();
    image.kind = LayerKind::Image;
    image.settings.power = 3.0f;
    image.image = testsupport::TestImage(13, 9, 2, 4); // the world: 9 vertices along x, 13 along z
    const ImageRecord whole = image.image;
    World::ToTileView(land, world);
    land.layers[0].image.pixels[2 * 2 * 5 + 2 * 1] = 0xEE; // tile vertex (2, 1), first channel
    project.world = world;
    const Project opened = SavedAndOpened(project, "world.velmoran");
    ASSERT_TRUE(opened.world);
    const auto fields = [](const WorldSettings& w)
    {
        return std::make_tuple(w.terrain, w.tileSize, w.tilesX, w.tilesY, w.originX, w.originY, w.overlap,
                               w.tileX, w.tileY, w.fixedRange, w.minHeight, w.maxHeight);
    };
    EXPECT_EQ(fields(*opened.world), fields(world));
    const ImageRecord& stored = opened.terrains[1].layers[0].image;
    ASSERT_EQ(std::make_tuple(stored.width, stored.height, stored.channels), std::make_tuple(13u, 9u, 2u));
    for (size_t k = 0; k < whole.ByteSize(); ++k)
        ASSERT_EQ(stored.pixels[k], k == ((4 + 2) * 13 + 8 + 1) * 2 ? 0xEE : whole.pixels[k]) << k;
    testsupport::ExpectSameTerrain(SampleProject().terrains[0], opened.terrains[0], "terrain 0");
}

INSTANTIATE_TEST_SUITE_P(Damaged, ProjectFileRefusedTest, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProjectFileTest, PartsMayNotUnpackBeyondTheLimit)
{
    Project opened;
    std::string error;
    ProjectFile::OpenOptions options;
    options.maxUnpackedBytes = 100;
    const std::string bytes = ReadFile(sample);
    EXPECT_FALSE(ProjectFile::OpenMemory(bytes.data(), bytes.size(), opened, &error, options));
    EXPECT_EQ(error.rfind("its parts would take ", 0), 0u) << error;
    EXPECT_NE(error.find(" bytes unpacked; the limit is 100 bytes"), std::string::npos) << error;
    EXPECT_TRUE(ProjectFile::OpenMemory(bytes.data(), bytes.size(), opened, &error)) << error;
}

TEST(ProjectFileNameTest, DisplayNameKeepsDotsThatAreNoExtension)
{
    EXPECT_EQ(ProjectFile::DisplayName("/a/b.c/valley"), "valley");
    EXPECT_EQ(ProjectFile::DisplayName(".velmoran"), ".velmoran");
}

TEST(StepReporterTest, OnlyStepsOverASecondReport)
{
    std::vector<std::string> lines;
    StepReporter reporter([&](const std::string& line) { lines.push_back(line); });
    double seconds = 0.0;
    reporter.now = [&]
    {
        return StepReporter::Clock::time_point(std::chrono::duration_cast<StepReporter::Clock::duration>(
            std::chrono::duration<double>(seconds)));
    };
    reporter.Begin("Reading a.velmoran");
    seconds = 0.9;
    reporter.Progress(0.9f);
    reporter.End();
    EXPECT_TRUE(lines.empty());

    reporter.Begin("Reading b.velmoran");
    for (const double t : {1.5, 1.7, 2.4, 2.6, 3.1})
    {
        seconds = 0.9 + t;
        reporter.Progress(static_cast<float>(t / 4.0));
    }
    seconds = 0.9 + 4.0;
    reporter.End();
    EXPECT_EQ(lines, (std::vector<std::string>{"Reading b.velmoran: 38%", "Reading b.velmoran: 65%",
                                               "Reading b.velmoran: done in 4.0 s"}));
}

class ProjectBuildTest : public ::testing::Test
{
  protected:
    TempDir dir;
    StepReporter reporter{[](const std::string&) {}}; // what it says: StepReporterTest

    BuildOptions Options(const Project& project)
    {
        std::string error;
        const std::string path = dir / "p.velmoran";
        EXPECT_TRUE(ProjectFile::Save(project, path, &error)) << error;
        BuildOptions options;
        options.projectPath = path;
        options.outputFolder = dir / "out/sub";
        return options;
    }
};

// The whole project's files are compared with the editor's in ProjectSessionGLTest.
TEST_F(ProjectBuildTest, WritesTheChosenTerrainsOnlyAndNoImagesWhenAskedForNone)
{
    BuildOptions options = Options(SampleProject());
    options.terrains = {"scan"};
    options.imageFormat.clear();
    std::string error;
    ASSERT_TRUE(ProjectBuild::Run(options, error, reporter)) << error;
    EXPECT_EQ(testsupport::FilesIn(options.outputFolder),
              (std::set<std::string>{"scan.obj", "scan_water.obj"}));
}

TEST_F(ProjectBuildTest, RefusesWhatWouldWriteTheWrongFiles)
{
    Project project = SampleProject();
    project.terrains[2].name = "ridge";
    BuildOptions options = Options(project);
    std::string error;
    EXPECT_FALSE(ProjectBuild::Run(options, error, reporter));
    EXPECT_EQ(error,
              options.projectPath + ": two terrains are named ridge: their files would overwrite each other");

    project.terrains[2].name = "../../etc";
    options = Options(project);
    EXPECT_FALSE(ProjectBuild::Run(options, error, reporter));
    EXPECT_EQ(error,
              options.projectPath +
                  ": terrain 2 is named '../../etc', which cannot be a file name in the output folder");

    options.terrains = {"valley"};
    EXPECT_FALSE(ProjectBuild::Run(options, error, reporter));
    EXPECT_EQ(error, options.projectPath + ": it holds no terrain named valley");
    EXPECT_FALSE(std::filesystem::exists(options.outputFolder));

    // A terrain file in place of the project: refused as the editor refuses it, named once.
    const HeightGrid strip{5, 3, 1.0f, std::vector<float>(15, 1.0f)};
    ASSERT_TRUE(
        HeightImage::Write(dir / "strip.r16", HeightImage::Format::R16, HeightImage::ViewOf(strip), nullptr));
    std::ofstream(dir / "photo.OBJ", std::ios::binary) << std::string("\x89PNG\r\n\x1a\n\0\0", 10);
    const std::pair<std::string, std::string> refused[] = {
        {dir / "none.obj", "it cannot be opened"},
        {dir / "photo.OBJ", "it is not a text file"},
        {dir / "strip.r16", "it is 5 x 3; terrains are square (the program does not support rectangular "
                            "texturing at the moment)"}};
    for (const auto& [input, reason] : refused)
    {
        options.projectPath = input;
        EXPECT_FALSE(ProjectBuild::Run(options, error, reporter));
        EXPECT_EQ(error, input + ": " + reason);
    }

    std::string extension = ".png";
    EXPECT_TRUE(ProjectBuild::ImageFormatFromName("none", extension)); // the headless program covers the rest
    EXPECT_EQ(extension, "");
}
} // namespace
