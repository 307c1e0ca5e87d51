// Save Terrain, Load Terrain and New Shader: three modal dialogs on the centre of the main window.
#include "editor/FileDialogs.h"

#include "editor/Editor.h"
#include "editor/EditorJobs.h"
#include "editor/GuiUtil.h"
#include "engine/Engine.h"
#include "io/TerrainObjFile.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainName.h"
#include "terrain/WaterPlane.h"

#include <GLFW/glfw3.h>
#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

void ScaleByteCount(uint64_t bytes, double& value, const char*& unit)
{
    const double total = static_cast<double>(bytes);
    if (bytes > 1000000000ull)
        value = total * 0.000000001, unit = "GB";
    else if (bytes > 1000000ull)
        value = total * 0.000001, unit = "MB";
    else if (bytes > 1000ull)
        value = total * 0.001, unit = "kB";
    else
        value = total, unit = "B";
}

void SaveTerrainForm::DropMissingChoices()
{
    if (!selected) return;
    if (!selected->diffuseTexture) saveDiffuse = false;
    if (!selected->specularTexture) saveSpecular = false;
    if (!selected->watermapTexture || !selected->waterPlane) saveWater = false;
}

uint64_t SaveTerrainForm::EstimatedBytes() const
{
    if (!selected) return 0;
    const uint64_t n = static_cast<uint64_t>(selected->width) * selected->height;
    uint64_t total = 0;
    if (saveMesh) total += 140 * n;
    if (saveWater) total += 140 * n;
    if (saveHeightmap && selected->heightmapTexture) total += n;
    if (saveDiffuse && selected->diffuseTexture) total += 3 * n;
    if (saveNormal && selected->normalTexture) total += 3 * n;
    if (saveSpecular && selected->specularTexture) total += n;
    return total;
}

std::string SaveTerrainForm::EstimateText() const
{
    double value = 0.0;
    const char* unit = "B";
    ScaleByteCount(EstimatedBytes(), value, unit);
    char text[64];
    std::snprintf(text, sizeof text, "Size estimated at %.3f %s", value, unit);
    return text;
}

namespace
{
// One file "Save" writes: the terrain mesh (no texture, not water), the water mesh, or an image.
struct PlannedFile
{
    std::string path;
    const Texture* texture = nullptr;
    bool water = false;
};

std::vector<PlannedFile> Plan(const SaveTerrainForm& form)
{
    std::vector<PlannedFile> files;
    const Terrain* terrain = form.selected.get();
    if (terrain == nullptr) return files;
    const std::string base = form.outputPath + terrain->name;
    if (form.saveMesh) files.push_back({base + ".obj"});
    if (form.saveWater && terrain->waterPlane) files.push_back({base + "_water" + ".obj", nullptr, true});
    if (std::strcmp(form.imageFormat, SaveTerrainForm::kNoFormat) != 0)
    {
        const std::pair<bool, const Texture*> images[] = {
            {form.saveHeightmap, terrain->heightmapTexture.get()},
            {form.saveDiffuse, terrain->diffuseTexture.get()},
            {form.saveNormal, terrain->normalTexture.get()},
            {form.saveSpecular, terrain->specularTexture.get()}};
        const char* suffixes[] = {"_heightmap", "_diffuse", "_normal", "_specular"};
        for (int i = 0; i < 4; ++i)
            if (images[i].first && images[i].second != nullptr)
                files.push_back({base + suffixes[i] + form.imageFormat, images[i].second});
    }
    return files;
}

std::string JoinFileNames(const std::vector<std::string>& paths)
{
    std::string text;
    for (const std::string& path : paths)
        text += (text.empty() ? "" : ", ") + std::filesystem::path(path).filename().string();
    return text;
}

// The folder a path is in, absolute, for telling the user where files went.
std::string FolderOf(const std::string& path)
{
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
    std::string text = (error ? folder : absolute).lexically_normal().string();
    if (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

const char* kNoImagesNote = "no images: choose an image format to save them";
} // namespace

std::vector<std::string> SaveTerrainForm::ExistingFiles() const
{
    std::vector<std::string> existing;
    for (const PlannedFile& file : Plan(*this))
    {
        std::error_code error; // a folder in the way is not replaced: Save reports it
        if (std::filesystem::is_regular_file(file.path, error)) existing.push_back(file.path);
    }
    return existing;
}

bool SaveTerrainForm::ImagesWithoutFormat() const
{
    if (!selected || std::strcmp(imageFormat, kNoFormat) != 0) return false;
    return (saveHeightmap && selected->heightmapTexture) || (saveDiffuse && selected->diffuseTexture) ||
           (saveNormal && selected->normalTexture) || (saveSpecular && selected->specularTexture);
}

SaveTerrainForm::Outcome SaveTerrainForm::Save(const Progress& progress) const
{
    Outcome outcome;
    outcome.imagesSkipped = ImagesWithoutFormat();
    const std::vector<PlannedFile> files = Plan(*this);
    // A name from elsewhere could lead out of the chosen folder; such a name writes nothing.
    const std::string nameProblem = selected ? TerrainName::Problem(selected->name) : std::string();
    // Progress by the files' rough sizes: a mesh line is some forty times a pixel's bytes.
    const auto weight = [](const PlannedFile& file) { return file.texture != nullptr ? 1.0 : 40.0; };
    double total = 0.0;
    for (const PlannedFile& file : files)
        total += weight(file);
    double done = 0.0;
    for (const PlannedFile& file : files)
    {
        const double start = done / std::max(total, 1.0);
        const double span = weight(file) / std::max(total, 1.0);
        done += weight(file);
        if (progress && !progress(static_cast<float>(start), file.path))
        {
            outcome.cancelled = true;
            break;
        }
        const auto meshProgress = [&](float share)
        { return !progress || progress(static_cast<float>(start + span * share), file.path); };
        std::string reason;
        bool written = false;
        if (!nameProblem.empty())
            reason = "the terrain's name \"" + selected->name + "\" cannot be part of a file name";
        else if (file.texture != nullptr)
            written = file.texture->Save(file.path, &reason);
        else if (file.water)
            written = selected->waterPlane->SaveAsObj(file.path, &reason);
        else if (progress)
            written = selected->SaveAsObj(file.path, &reason, meshProgress);
        else
            written = selected->SaveAsObj(file.path, &reason);
        if (!written && progress && !progress(static_cast<float>(start + span), file.path))
        {
            outcome.cancelled = true; // the file that was being written left nothing behind
            break;
        }
        if (written)
            outcome.written.push_back(file.path);
        else
            outcome.failed.emplace_back(file.path, reason.empty() ? "unknown reason" : reason);
    }
    return outcome;
}

std::string FilesInFolder(const std::vector<std::string>& paths)
{
    if (paths.empty()) return {};
    return JoinFileNames(paths) + " in " + FolderOf(paths.front());
}

std::string SavedNotice(const SaveTerrainForm::Outcome& outcome)
{
    if (outcome.written.empty())
        return std::string("Nothing was saved: ") +
               (outcome.imagesSkipped ? kNoImagesNote : "no file was chosen") + ".";
    std::string text = "Saved " + FilesInFolder(outcome.written);
    if (outcome.imagesSkipped) text += std::string(" (") + kNoImagesNote + ")";
    return text + ".";
}

std::string CancelledSaveNotice(const SaveTerrainForm::Outcome& outcome)
{
    if (outcome.written.empty()) return "Save Terrain cancelled: nothing was written.";
    return "Save Terrain cancelled after " + JoinFileNames(outcome.written) + " in " +
           FolderOf(outcome.written.front()) + "; the other files were not written.";
}

std::string SaveFailureText(const SaveTerrainForm::Outcome& outcome)
{
    std::string text =
        outcome.failed.size() == 1 ? "This file could not be saved:" : "These files could not be saved:";
    for (const auto& [path, reason] : outcome.failed)
        text += "\n" + path + ": " + reason;
    if (!outcome.written.empty()) text += "\n" + SavedNotice(outcome);
    return text;
}

std::string ShaderNameError(const std::string& baseName)
{
    if (!baseName.empty() && baseName.front() == '.')
        return "The shader name cannot start with a dot: write shaders/name, not ./shaders/name.";
    return {};
}

namespace
{
void CenterNextWindow(float width, float height, ImGuiCond condition)
{
    int w = 0;
    int h = 0;
    if (GLFWwindow* window = Engine::Get().window.handle) glfwGetWindowSize(window, &w, &h);
    ImGui::SetNextWindowPos(
        ImVec2((static_cast<float>(w) - width) / 2.0f, (static_cast<float>(h) - height) / 2.0f), condition,
        ImVec2(0.0f, 0.0f));
    ImGui::SetNextWindowSize(ImVec2(width, height), condition);
}
} // namespace

namespace
{
struct LoadedTerrain
{
    bool loaded = false;
    std::string error;
    TerrainRecord record;
};
} // namespace

void LoadTerrainDialog::Load(Editor& editor, const std::string& path)
{
    JobRunner::Request request;
    request.title = "Loading terrain " + FileName(path);
    request.subject = "the session";
    request.resources = {editor.session.ListsResource()};
    request.cancellable = true;
    StartJob(
        editor, std::move(request),
        [path](JobContext& job)
        {
            LoadedTerrain out;
            job.Report(0.0f, "Reading " + FileName(path));
            out.loaded = TerrainObjFile::Read(path, out.record, &out.error, JobProgress(job, 0.0f, 0.7f));
            job.ThrowIfCancelled();
            if (out.loaded)
            {
                job.Report(0.7f, "Normals");
                out.record.Derive(JobProgress(job, 0.7f, kTerrainWorkShare));
                job.ThrowIfCancelled();
            }
            return out;
        },
        ArrivingTerrain<LoadedTerrain>(
            [&editor, path](LoadedTerrain& loaded) -> TerrainRecord*
            {
                if (loaded.loaded) return &loaded.record;
                // A refused file adds nothing and says why.
                editor.SetError("Cannot load terrain file " + path + ": " +
                                (loaded.error.empty() ? "unknown reason" : loaded.error));
                return nullptr;
            },
            [&editor](LoadedTerrain&, const std::shared_ptr<Terrain>& terrain)
            { editor.commands.AddLoadedTerrain(terrain); }));
}

bool SaveTerrainDialog::PressSave(Editor& editor)
{
    if (!form.ExistingFiles().empty())
    {
        form.confirmOverwrite = true;
        return false;
    }
    Save(editor);
    return true;
}

void SaveTerrainDialog::Save(Editor& editor)
{
    form.confirmOverwrite = false;
    editor.showSaveTerrain = false;
    if (!form.selected) return;
    JobRunner::Request request;
    request.title = "Saving terrain " + form.selected->name;
    request.subject = "terrain " + form.selected->name;
    request.resources = {form.selected.get()};
    request.cancellable = true;
    StartJob(
        editor, std::move(request),
        [form = form](JobContext& job)
        {
            return form.Save(
                [&job](float done, const std::string& file)
                {
                    job.Report(done, "Writing " + FileName(file));
                    return !job.CancelRequested();
                });
        },
        [&editor](SaveTerrainForm::Outcome& outcome)
        {
            if (outcome.cancelled)
                editor.session.SetNotice(CancelledSaveNotice(outcome));
            else if (outcome.failed.empty())
                editor.session.SetNotice(SavedNotice(outcome));
            else
                editor.SetError(SaveFailureText(outcome));
        });
}

void SaveTerrainDialog::Show(Editor& editor)
{
    const std::vector<std::shared_ptr<Terrain>>& terrains = editor.terrains;
    bool& showSaveTerrain = editor.showSaveTerrain;
    if (!form.selected && !terrains.empty()) form.selected = terrains.front();

    // Six check boxes and the estimate do not fit 200 pixels. The dialog is as high as its longest
    // form from the start (every choice and the hint; the question whether to replace files takes
    // their place), with its buttons at the bottom, so that nothing moves when the rows change.
    CenterNextWindow(600.0f, gui::DialogHeight(11, 2, 0.0f, false), ImGuiCond_Always);
    ImGui::OpenPopup("Save Terrain");
    if (!ImGui::BeginPopupModal("Save Terrain", &showSaveTerrain,
                                ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                    ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse | kNoDockingFlag |
                                    ImGuiWindowFlags_NoNavFocus))
        return;

    ImGui::RadioButton("OBJ", true);
    ImGui::InputTextWithHint("##sfpath", "Output path", &form.outputPath);
    ImGui::PushItemWidth(300.0f);
    if (ImGui::BeginCombo("Terrain##sf", form.selected ? form.selected->name.c_str() : ""))
    {
        for (const auto& terrain : terrains)
        {
            const bool selected = form.selected && terrain->name == form.selected->name;
            ImGui::PushID(terrain.get());
            if (ImGui::Selectable(terrain->name.c_str(), selected)) form.selected = terrain;
            if (selected) ImGui::SetItemDefaultFocus();
            ImGui::PopID();
        }
        ImGui::EndCombo();
    }
    ImGui::SetNextItemWidth(80.0f);
    if (ImGui::BeginCombo("##texextensioncombo", form.imageFormat))
    {
        for (const char* format : SaveTerrainForm::kImageFormats)
        {
            const bool selected = std::strcmp(format, form.imageFormat) == 0;
            if (ImGui::Selectable(format, selected)) form.imageFormat = format;
        }
        ImGui::EndCombo();
    }
    if (form.selected)
    {
        const Terrain& terrain = *form.selected;
        form.DropMissingChoices();
        // Asked again every frame: a changed path or format may leave nothing to replace.
        const std::vector<std::string> existing =
            form.confirmOverwrite ? form.ExistingFiles() : std::vector<std::string>();
        form.confirmOverwrite = !existing.empty();
        if (form.confirmOverwrite)
        {
            // In place of the choices the question is about.
            gui::TextColored(kRed, existing.size() == 1 ? "This file exists already and will be replaced:"
                                                        : "These files exist already and will be replaced:");
            for (const std::string& file : existing)
                ImGui::BulletText("%s", file.c_str());
            gui::BottomRow(ImGui::GetFrameHeight());
            if (ImGui::Button("Replace##sf"))
            {
                Save(editor);
                ImGui::CloseCurrentPopup();
            }
            ImGui::SameLine();
            if (ImGui::Button("Back##sf")) form.confirmOverwrite = false;
            ImGui::SameLine();
        }
        else
        {
            ImGui::Checkbox("Save terrain mesh to OBJ?", &form.saveMesh);
            if (terrain.heightmapTexture) ImGui::Checkbox("Save heightmap?", &form.saveHeightmap);
            if (terrain.diffuseTexture) ImGui::Checkbox("Save diffuse texture?", &form.saveDiffuse);
            if (terrain.normalTexture) ImGui::Checkbox("Save normal texture?", &form.saveNormal);
            if (terrain.specularTexture) ImGui::Checkbox("Save specular texture?", &form.saveSpecular);
            if (terrain.watermapTexture && terrain.waterPlane)
                ImGui::Checkbox("Save water mesh to OBJ?", &form.saveWater);
            gui::TextColored(kRed, form.EstimateText());
            if (form.ImagesWithoutFormat())
                ImGui::TextColored(kHint, "No image format chosen: no image will be saved.");
            if (showSaveTerrain)
            {
                gui::BottomRow(ImGui::GetFrameHeight());
                if (ImGui::Button("Save##sf") && PressSave(editor)) ImGui::CloseCurrentPopup();
                ImGui::SameLine();
            }
        }
    }
    if (!form.selected) gui::BottomRow(ImGui::GetFrameHeight());
    if (showSaveTerrain && (ImGui::Button("Cancel##sf") || gui::KeyDown(GLFW_KEY_ESCAPE)))
    {
        form.confirmOverwrite = false;
        showSaveTerrain = false;
        ImGui::CloseCurrentPopup();
    }
    ImGui::PopItemWidth();
    ImGui::EndPopup();
}

void LoadTerrainDialog::Show(Editor& editor)
{
    bool& showLoadTerrain = editor.showLoadTerrain;
    CenterNextWindow(400.0f, 100.0f, ImGuiCond_Always);
    ImGui::OpenPopup("Load Terrain");
    if (!ImGui::BeginPopupModal("Load Terrain", &showLoadTerrain,
                                ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                    ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_AlwaysAutoResize |
                                    kNoDockingFlag))
        return;
    ImGui::PushItemWidth(300.0f);
    ImGui::InputTextWithHint("##loadterName", "Enter file name", &fileName);
    if (ImGui::Button("Load .obj"))
    {
        Load(editor, fileName);
        ImGui::CloseCurrentPopup();
        showLoadTerrain = false;
    }
    ImGui::PopItemWidth();
    ImGui::EndPopup();
}

void NewShaderDialog::Show(Editor& editor)
{
    bool& showNewShader = editor.showNewShader;
    CenterNextWindow(600.0f, 100.0f, ImGuiCond_Once);
    ImGui::OpenPopup("New Shader##nsfw");
    if (!ImGui::BeginPopupModal("New Shader##nsfw", &showNewShader,
                                ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                    ImGuiWindowFlags_NoCollapse | kNoDockingFlag))
        return;
    ImGui::SetNextItemWidth(580.0f);
    ImGui::InputTextWithHint("##nwshdrnm", "Enter shader name local adress (without extension).", &baseName);
    gui::TextColored(kRed, "The shader files must have same base name and .vert & .frag extensions!");
    const std::string nameError = ShaderNameError(baseName);
    if (!nameError.empty()) gui::TextColored(kRed, nameError);
    const ImVec2 buttonSize(100.0f, 40.0f);
    if (ImGui::Button("Cancel##nsfw", buttonSize) || gui::KeyDown(GLFW_KEY_ESCAPE))
    {
        showNewShader = false;
        ImGui::CloseCurrentPopup();
    }
    else if (!baseName.empty() && nameError.empty())
    {
        ImGui::SameLine(ImGui::GetWindowContentRegionMax().x - buttonSize.x);
        if (ImGui::Button("Create##nsfw", buttonSize) || gui::KeyDown(GLFW_KEY_ENTER))
        {
            editor.commands.CreateShader(baseName);
            showNewShader = false;
            ImGui::CloseCurrentPopup();
        }
    }
    ImGui::EndPopup();
}
