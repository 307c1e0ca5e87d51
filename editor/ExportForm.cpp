#include "editor/ExportForm.h"

#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/WaterPlane.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

std::string ExportForm::BaseName() const
{
    if (!baseName.empty() || !selected) return baseName;
    return selected->name;
}

ExportOptions ExportForm::Options() const
{
    ExportOptions options;
    options.folder = folder;
    options.baseName = BaseName();
    for (uint32_t n = 0; n < 6; ++n)
        if (formats[n]) options.formats |= 1u << n;
    options.water = water;
    const int choice = resampleChoice >= 0 && resampleChoice < 6 ? resampleChoice : 0;
    options.resampleSide = kResampleSides[choice];
    options.filter = bicubic ? Resample::Filter::Bicubic : Resample::Filter::Bilinear;
    options.splatMode = splatBySlope ? SplatMap::Mode::Slope : SplatMap::Mode::Height;
    return options;
}

std::string ExportForm::Problem() const
{
    if (!selected) return "Choose a terrain.";
    if (selected->IsEmpty()) return "The terrain has no mesh to export.";
    const ExportOptions options = Options();
    if (options.formats == 0) return "Choose at least one format.";
    if (options.baseName.empty()) return "Enter a file name.";
    if (options.baseName.find('/') != std::string::npos)
        return "The file name may not contain '/'; put folders into the folder field.";
    return {};
}

std::vector<std::string> ExportForm::Files() const
{
    if (!selected) return {};
    const Texture* diffuse = selected->diffuseTexture.get();
    return ExportFiles(Options(), diffuse != nullptr && diffuse->data);
}

std::vector<std::string> ExportForm::ExistingFiles() const
{
    std::vector<std::string> existing;
    for (const std::string& path : Files())
    {
        struct stat info
        {
        };
        if (::lstat(path.c_str(), &info) == 0) existing.push_back(path);
    }
    return existing;
}

bool ExportForm::CanWrite(bool overwrite, Outcome& refused, std::string& error)
{
    overwriteQuestion.clear();
    folderQuestion.clear();
    if (const std::string problem = Problem(); !problem.empty())
    {
        error = "Cannot export: " + problem;
        refused = Outcome::Failed;
        return false;
    }
    // A folder that is not there is offered, not refused; anything else in the way the writers report.
    std::error_code code;
    if (!folder.empty() && !std::filesystem::exists(folder, code) && !code)
    {
        folderQuestion = folder;
        refused = Outcome::AskCreateFolder;
        return false;
    }
    if (!overwrite)
    {
        overwriteQuestion = ExistingFiles();
        if (!overwriteQuestion.empty())
        {
            refused = Outcome::AskOverwrite;
            return false;
        }
    }
    return true;
}

bool ExportForm::CreateFolder(std::string& error)
{
    const std::string wanted = folderQuestion;
    folderQuestion.clear();
    std::error_code code;
    std::filesystem::create_directories(wanted, code);
    if (code)
    {
        error = "Cannot create the folder " + wanted + ": " + code.message();
        return false;
    }
    return true;
}
