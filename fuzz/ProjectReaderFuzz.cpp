// Feeds arbitrary bytes to the project reader in two ways. Input that starts like a zip archive is
// read as a project file, which explores the container checks (names, sizes, inflation). Any other
// input becomes the manifest of a sound sample project, whose parts are checksummed, so that the
// mutations reach the manifest checks. Besides the sanitizers' checks it asserts what the editor and
// the headless build rely on once a project is accepted.
#include "io/ProjectFile.h"
#include "tests/io/ProjectSamples.h"

#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
void Require(bool condition)
{
    if (!condition) __builtin_trap();
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb"))
    {
        uint8_t chunk[65536];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + got);
        std::fclose(file);
    }
    return bytes;
}

// The sample project's file, written once by our writer.
const std::vector<uint8_t>& Sample()
{
    static const std::vector<uint8_t> bytes = []
    {
        const std::string path = "/tmp/velmoran-fuzz-sample-" + std::to_string(getpid()) + ".velmoran";
        Require(ProjectFile::Save(testsupport::SampleProject(), path));
        std::vector<uint8_t> read = ReadFile(path);
        std::remove(path.c_str());
        return read;
    }();
    return bytes;
}

// The sample archive with its manifest replaced.
std::vector<uint8_t> WithManifest(const uint8_t* manifest, size_t size)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(Sample().data(), Sample().size(), 0, &error);
    zip_source_keep(source);
    zip_t* archive = zip_open_from_source(source, 0, &error);
    Require(archive != nullptr);
    zip_source_t* entry = zip_source_buffer(archive, manifest, size, 0);
    Require(zip_file_add(archive, ProjectFile::kManifestName, entry, ZIP_FL_OVERWRITE) >= 0);
    zip_set_file_compression(archive, zip_name_locate(archive, ProjectFile::kManifestName, 0), ZIP_CM_STORE,
                             0);
    Require(zip_close(archive) == 0);
    std::vector<uint8_t> bytes;
    Require(zip_source_open(source) == 0);
    uint8_t chunk[65536];
    zip_int64_t got = 0;
    while ((got = zip_source_read(source, chunk, sizeof chunk)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    zip_source_close(source);
    zip_source_free(source);
    zip_error_fini(&error);
    return bytes;
}

// A terrain's images are its height wide and its width high (a row per grid column): callers pass
// (t.height, t.width).
void CheckImage(const ImageRecord& image, uint32_t width, uint32_t height, uint32_t channels)
{
    if (!image.Stored()) return;
    if (width != 0) Require(image.width == width && image.height == height && image.channels == channels);
    Require(image.channels >= 1 && image.channels <= 4 && image.width <= kProjectMaxSide &&
            image.height <= kProjectMaxSide);
}

void CheckAccepted(const Project& project)
{
    for (const TerrainRecord& t : project.terrains)
    {
        const size_t n = t.VertexCount();
        if (t.Empty())
        {
            Require(t.layers.empty() && !t.heightmap.Stored() && !t.waterPlaneBuilt);
            continue;
        }
        Require(t.width >= 2 && t.height >= 2 && t.width <= kProjectMaxSide && t.height <= kProjectMaxSide);
        Require(t.basePositions.empty() || t.basePositions.size() == 3 * n);
        Require(t.positions.empty() || t.positions.size() == 3 * n);
        Require(t.positions.empty() == t.heightsFollowLayers);
        Require(t.texCoords.empty() || t.texCoords.size() == 2 * n);
        Require(!t.basePositions.empty() || !t.generator.fromFile);
        for (const LayerRecord& layer : t.layers)
        {
            if (layer.kind == LayerKind::Sculpt)
            {
                Require(!layer.image.Stored() && (layer.sculpt.empty() || layer.sculpt.size() == n));
                continue;
            }
            Require(layer.sculpt.empty());
            const bool noise = layer.kind == LayerKind::Noise;
            const bool erosion = layer.kind == LayerKind::Erosion;
            Require(noise || erosion || layer.image.Stored()); // an erosion mask is made again when missing
            CheckImage(layer.image, noise || erosion ? t.height : 0, t.width, erosion ? 3 : 1);
        }
        if (t.bands.mode == BandMode::Mask)
            Require(t.bands.maskLayer < t.layers.size() &&
                    t.layers[t.bands.maskLayer].kind == LayerKind::Erosion && t.bands.maskChannel <= 2);
        CheckImage(t.heightmap, t.height, t.width, 1);
        CheckImage(t.normal, t.height, t.width, 3);
        CheckImage(t.diffuse, t.height, t.width, 3);
        CheckImage(t.specular, t.height, t.width, 1);
        CheckImage(t.watermap, t.height, t.width, 4);
        const Water::PlaneMesh& plane = t.waterPlane;
        Require(plane.positions.size() % 3 == 0 && plane.texCoords.size() * 3 == plane.positions.size() * 2);
        Require(plane.indices.size() % 3 == 0);
        for (const uint32_t index : plane.indices)
            Require(index < plane.positions.size() / 3);
    }
    for (const ProjectScene& scene : project.scenes)
    {
        Require(scene.camera >= -1 && scene.camera < static_cast<int64_t>(project.cameras.size()));
        Require(scene.terrain >= -1 && scene.terrain < static_cast<int64_t>(project.terrains.size()));
        Require(scene.sceneId < project.sceneCounter);
    }
    Require(project.aspectRatioIndex >= 0 && project.aspectRatioIndex <= 3);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    // A bound that keeps one input's arrays well inside the fuzzer's memory limit.
    ProjectFile::OpenOptions options;
    options.maxUnpackedBytes = uint64_t(64) << 20;
    const bool container = size >= 2 && bytes[0] == 'P' && bytes[1] == 'K';
    const std::vector<uint8_t> archive =
        container ? std::vector<uint8_t>(bytes, bytes + size) : WithManifest(bytes, size);

    Project project;
    project.sceneCounter = 12345;
    std::string error;
    const bool opened = ProjectFile::OpenMemory(archive.data(), archive.size(), project, &error, options);
    Require(opened == error.empty());
    if (!opened)
    {
        Require(project.sceneCounter == 12345 && project.terrains.empty()); // untouched
        return 0;
    }
    CheckAccepted(project);
    return 0;
}
