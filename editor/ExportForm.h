#pragma once
// The File > Export dialog's values and decisions; its widgets are in ExportDialogs.cpp.
#include "io/Export.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Terrain;

struct ExportForm
{
    // Sides offered for resampling; index 0 keeps the terrain's own grid.
    static constexpr uint32_t kResampleSides[6] = {0, 257, 513, 1025, 2049, 4097};

    std::shared_ptr<Terrain> selected;
    std::string folder = "output";
    std::string baseName;                                       // empty: the terrain's name
    bool formats[6] = {true, false, true, false, false, false}; // in ExportFormat::kNames order
    bool water = true;
    int resampleChoice = 0; // index into kResampleSides
    bool bicubic = false;
    bool splatBySlope = false;
    // The overwrite question: the files it asks about; empty while it is not asked.
    std::vector<std::string> overwriteQuestion;
    // The question whether to create the folder, which does not exist: the folder; empty while it is
    // not asked.
    std::string folderQuestion;

    // The base name "Export" uses: the typed one, or the terrain's name.
    std::string BaseName() const;
    ExportOptions Options() const;
    // Why "Export" cannot run yet (shown in red), or empty.
    std::string Problem() const;
    // Files "Export" writes, in order.
    std::vector<std::string> Files() const;
    // Files "Export" would write that exist already.
    std::vector<std::string> ExistingFiles() const;

    enum class Outcome
    {
        Written,
        AskOverwrite,    // overwriteQuestion lists the files; call again with overwrite = true
        AskCreateFolder, // folderQuestion names the missing folder; CreateFolder, then call again
        Failed,          // error holds the message for the Error popup
        Started          // the files are being written by a job
    };
    // The checks of "Export" before anything is written: false with Failed (and error), AskCreateFolder
    // or AskOverwrite in refused when the files cannot be written yet.
    bool CanWrite(bool overwrite, Outcome& refused, std::string& error);
    // The answer Yes to the folder question: creates the folder (and the ones above it); false with
    // the reason when it cannot be made.
    bool CreateFolder(std::string& error);
};
