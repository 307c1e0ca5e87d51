#pragma once
// Values and decisions of the Save Terrain, Load Terrain and New Shader dialogs.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Terrain;

struct SaveTerrainForm
{
    static constexpr const char* kNoFormat = "Format";
    static constexpr const char* kImageFormats[4] = {".tga", ".png", ".jpg", ".bmp"};

    std::string outputPath = "output/";
    std::shared_ptr<Terrain> selected;
    const char* imageFormat = kNoFormat;
    bool saveMesh = true;
    bool saveHeightmap = true;
    bool saveDiffuse = true;
    bool saveNormal = true;
    bool saveSpecular = true;
    bool saveWater = true;

    // Choices for textures the terrain lacks are switched off, as the dialog does every frame.
    void DropMissingChoices();
    // Bytes the chosen files are estimated to take, from the terrain's grid size alone.
    uint64_t EstimatedBytes() const;
    // The estimate as the dialog prints it: "Size estimated at %.3f %s".
    std::string EstimateText() const;
    // The file names "Save" writes, in order: meshes first, then images when a format is chosen.
    std::vector<std::string> PlannedFiles() const;
    // Writes the chosen files; returns the number of files that failed.
    int Save() const;
};

// Scales a byte count to the unit the dialog shows: B, kB, MB or GB (decimal).
void ScaleByteCount(uint64_t bytes, double& value, const char*& unit);
