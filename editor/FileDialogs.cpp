// Save Terrain, Load Terrain and New Shader: three modal dialogs on the centre of the main window.
#include "editor/FileDialogs.h"

#include "editor/Editor.h"
#include "editor/GuiUtil.h"
#include "engine/Engine.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/WaterPlane.h"

#include <GLFW/glfw3.h>
#include <imgui.h>
#include <imgui_stdlib.h>

#include <cstdio>
#include <cstring>

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
    if (!selected)
        return;
    if (!selected->diffuseTexture)
        saveDiffuse = false;
    if (!selected->specularTexture)
        saveSpecular = false;
    if (!selected->watermapTexture || !selected->waterPlane)
        saveWater = false;
}

uint64_t SaveTerrainForm::EstimatedBytes() const
{
    if (!selected)
        return 0;
    const uint64_t n = static_cast<uint64_t>(selected->width) * selected->height;
    uint64_t total = 0;
    if (saveMesh)
        total += 140 * n;
    if (saveWater)
        total += 140 * n;
    if (saveHeightmap && selected->heightmapTexture)
        total += n;
    if (saveDiffuse && selected->diffuseTexture)
        total += 3 * n;
    if (saveNormal && selected->normalTexture)
        total += 3 * n;
    if (saveSpecular && selected->specularTexture)
        total += n;
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

std::vector<std::string> SaveTerrainForm::PlannedFiles() const
{
    std::vector<std::string> files;
    if (!selected)
        return files;
    const std::string base = outputPath + selected->name;
    if (saveMesh)
        files.push_back(base + ".obj");
    if (saveWater && selected->waterPlane)
        files.push_back(base + "_water" + ".obj");
    if (std::strcmp(imageFormat, kNoFormat) != 0)
    {
        if (saveHeightmap && selected->heightmapTexture)
            files.push_back(base + "_heightmap" + imageFormat);
        if (saveDiffuse && selected->diffuseTexture)
            files.push_back(base + "_diffuse" + imageFormat);
        if (saveNormal && selected->normalTexture)
            files.push_back(base + "_normal" + imageFormat);
        if (saveSpecular && selected->specularTexture)
            files.push_back(base + "_specular" + imageFormat);
    }
    return files;
}

int SaveTerrainForm::Save() const
{
    if (!selected)
        return 0;
    int failures = 0;
    const std::string base = outputPath + selected->name;
    if (saveMesh && !selected->SaveAsObj(base + ".obj"))
        ++failures;
    if (saveWater && selected->waterPlane && !selected->waterPlane->SaveAsObj(base + "_water" + ".obj"))
        ++failures;
    if (std::strcmp(imageFormat, kNoFormat) == 0)
        return failures;
    const std::pair<bool, const Texture*> images[] = {
        {saveHeightmap, selected->heightmapTexture.get()},
        {saveDiffuse, selected->diffuseTexture.get()},
        {saveNormal, selected->normalTexture.get()},
        {saveSpecular, selected->specularTexture.get()}};
    const char* suffixes[] = {"_heightmap", "_diffuse", "_normal", "_specular"};
    for (int i = 0; i < 4; ++i)
        if (images[i].first && images[i].second != nullptr && !images[i].second->Save(base + suffixes[i] + imageFormat))
            ++failures;
    return failures;
}

namespace
{
// A height of 0 lets the window's height follow its rows.
void CenterNextWindow(float width, float height, ImGuiCond condition, float fitHeight = -1.0f)
{
    int w = 0;
    int h = 0;
    if (GLFWwindow* window = Engine::Get().window.handle)
        glfwGetWindowSize(window, &w, &h);
    ImGui::SetNextWindowPos(ImVec2((static_cast<float>(w) - width) / 2.0f, (static_cast<float>(h) - height) / 2.0f),
                            condition, ImVec2(0.0f, 0.0f));
    ImGui::SetNextWindowSize(ImVec2(width, fitHeight >= 0.0f ? fitHeight : height), condition);
}
} // namespace

std::shared_ptr<Terrain> Editor::LoadTerrain(const std::string& path)
{
    auto terrain = std::make_shared<Terrain>(0, 0, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    std::string error;
    if (!terrain->LoadObj(path, &error))
        SetError("Cannot load terrain file " + path + ": " + (error.empty() ? "unknown reason" : error));
    terrains.push_back(terrain);
    return terrain;
}

std::shared_ptr<Shader> Editor::CreateShader(const std::string& baseName)
{
    if (baseName.empty())
        return nullptr;
    auto shader = std::make_shared<Shader>(baseName + ".vert", baseName + ".frag");
    shaders.push_back(shader);
    return shader;
}

void Editor::ShowSaveTerrainDialog()
{
    SaveTerrainForm& form = saveTerrainForm;
    if (!form.selected && !terrains.empty())
        form.selected = terrains.front();

    // Six check boxes and the estimate do not fit 200 pixels: the height follows the rows.
    CenterNextWindow(600.0f, 200.0f, ImGuiCond_Always, 0.0f);
    ImGui::OpenPopup("Save Terrain");
    if (!ImGui::BeginPopupModal("Save Terrain", &showSaveTerrain,
                                ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                    ImGuiWindowFlags_NoCollapse | kNoDockingFlag | ImGuiWindowFlags_NoNavFocus))
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
            if (ImGui::Selectable(terrain->name.c_str(), selected))
                form.selected = terrain;
            if (selected)
                ImGui::SetItemDefaultFocus();
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
            if (ImGui::Selectable(format, selected))
                form.imageFormat = format;
        }
        ImGui::EndCombo();
    }
    if (form.selected)
    {
        const Terrain& terrain = *form.selected;
        form.DropMissingChoices();
        ImGui::Checkbox("Save terrain mesh to OBJ?", &form.saveMesh);
        if (terrain.heightmapTexture)
            ImGui::Checkbox("Save heightmap?", &form.saveHeightmap);
        if (terrain.diffuseTexture)
            ImGui::Checkbox("Save diffuse texture?", &form.saveDiffuse);
        if (terrain.normalTexture)
            ImGui::Checkbox("Save normal texture?", &form.saveNormal);
        if (terrain.specularTexture)
            ImGui::Checkbox("Save specular texture?", &form.saveSpecular);
        if (terrain.watermapTexture && terrain.waterPlane)
            ImGui::Checkbox("Save water mesh to OBJ?", &form.saveWater);
        gui::TextColored(kRed, form.EstimateText());
        if (ImGui::Button("Save##sf"))
        {
            form.Save();
            showSaveTerrain = false;
            ImGui::CloseCurrentPopup();
        }
    }
    ImGui::PopItemWidth();
    ImGui::EndPopup();
}

void Editor::ShowLoadTerrainDialog()
{
    CenterNextWindow(400.0f, 100.0f, ImGuiCond_Always);
    ImGui::OpenPopup("Load Terrain");
    if (!ImGui::BeginPopupModal("Load Terrain", &showLoadTerrain,
                                ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                                    ImGuiWindowFlags_AlwaysAutoResize | kNoDockingFlag))
        return;
    ImGui::PushItemWidth(300.0f);
    ImGui::InputTextWithHint("##loadterName", "Enter file name", &loadTerrainFileName);
    if (ImGui::Button("Load .obj"))
    {
        LoadTerrain(loadTerrainFileName);
        ImGui::CloseCurrentPopup();
        showLoadTerrain = false;
    }
    ImGui::PopItemWidth();
    ImGui::EndPopup();
}

void Editor::ShowNewShaderDialog()
{
    CenterNextWindow(600.0f, 100.0f, ImGuiCond_Once);
    ImGui::OpenPopup("New Shader##nsfw");
    if (!ImGui::BeginPopupModal("New Shader##nsfw", &showNewShader,
                                ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                                    kNoDockingFlag))
        return;
    ImGui::SetNextItemWidth(580.0f);
    ImGui::InputTextWithHint("##nwshdrnm", "Enter shader name local adress (without extension).", &newShaderName);
    gui::TextColored(kRed, "The shader files must have same base name and .vert & .frag extensions!");
    const ImVec2 buttonSize(100.0f, 40.0f);
    if (ImGui::Button("Cancel##nsfw", buttonSize) || gui::KeyDown(GLFW_KEY_ESCAPE))
    {
        showNewShader = false;
        ImGui::CloseCurrentPopup();
    }
    else if (!newShaderName.empty())
    {
        ImGui::SameLine(ImGui::GetWindowContentRegionMax().x - buttonSize.x);
        if (ImGui::Button("Create##nsfw", buttonSize) || gui::KeyDown(GLFW_KEY_ENTER))
        {
            CreateShader(newShaderName);
            showNewShader = false;
            ImGui::CloseCurrentPopup();
        }
    }
    ImGui::EndPopup();
}
