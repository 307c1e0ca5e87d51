// Writes the project reader's seed inputs with our own writer into the folder given: sample projects
// (container inputs) and their manifests alone (manifest inputs, see ProjectReaderFuzz.cpp).
#include "io/ProjectFile.h"
#include "tests/io/ProjectSamples.h"

#include <zip.h>

#include <cstdio>
#include <string>

namespace
{
bool WriteManifestOf(const std::string& project, const std::string& path)
{
    int error = 0;
    zip_t* archive = zip_open(project.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr) return false;
    zip_stat_t stat;
    zip_file_t* file = zip_fopen(archive, ProjectFile::kManifestName, 0);
    if (file == nullptr || zip_stat(archive, ProjectFile::kManifestName, 0, &stat) != 0) return false;
    std::string text(stat.size, '\0');
    const bool read = zip_fread(file, text.data(), text.size()) == static_cast<zip_int64_t>(text.size());
    zip_fclose(file);
    zip_discard(archive);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!read || out == nullptr) return false;
    std::fwrite(text.data(), 1, text.size(), out);
    return std::fclose(out) == 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: MakeProjectSeeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    Project sample = testsupport::SampleProject();
    Project lean = sample; // what the headless build makes again: no heights, layer images, masks or textures
    lean.terrains[0].basePositions.clear();
    lean.terrains[0].layers[0].image = ImageRecord{};
    lean.terrains[0].layers[2].image = ImageRecord{}; // the erosion entry's mask
    lean.terrains[0].diffuse = ImageRecord{};
    Project single;
    single.terrains.resize(1);
    single.terrains[0].name = "flat";
    single.terrains[0].width = 2;
    single.terrains[0].height = 2;
    const std::pair<const char*, const Project*> seeds[] = {
        {"sample", &sample}, {"lean", &lean}, {"single", &single}, {"nothing", nullptr}};
    for (const auto& [name, project] : seeds)
    {
        const std::string path = folder + "/" + name + ".velmoran";
        std::string error;
        if (!ProjectFile::Save(project != nullptr ? *project : Project{}, path, &error) ||
            !WriteManifestOf(path, folder + "/" + name + ".json"))
        {
            std::fprintf(stderr, "MakeProjectSeeds: %s: %s\n", path.c_str(), error.c_str());
            return 1;
        }
    }
    return 0;
}
