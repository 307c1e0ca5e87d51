#pragma once
// Values and decisions of the Save Terrain, Load Terrain and New Shader dialogs.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class Editor;
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
    bool confirmOverwrite = false; // "Save" met existing files: the dialog asks before replacing them

    // What one press of "Save" did.
    struct Outcome
    {
        std::vector<std::string> written;                        // paths, in the order written
        std::vector<std::pair<std::string, std::string>> failed; // path and reason
        bool imagesSkipped = false;                              // images chosen, but no format
        bool cancelled = false; // progress asked to stop: the files after written were not saved
    };
    // Share of the work done and the file being written; returning false stops the save (the file
    // being written leaves nothing behind).
    using Progress = std::function<bool(float done, const std::string& file)>;

    // Choices for textures the terrain lacks are switched off, as the dialog does every frame.
    void DropMissingChoices();
    // Bytes the chosen files are estimated to take, from the terrain's grid size alone.
    uint64_t EstimatedBytes() const;
    // The estimate as the dialog prints it: "Size estimated at %.3f %s".
    std::string EstimateText() const;
    // The planned files that exist already, which "Save" would replace.
    std::vector<std::string> ExistingFiles() const;
    // Images are chosen but the format is still the placeholder: "Save" writes no image.
    bool ImagesWithoutFormat() const;
    // Writes the chosen files, each through the shared atomic writer. Reads the terrain only, so a
    // worker thread may run it while the terrain is locked.
    Outcome Save(const Progress& progress = {}) const;
};

// "a.obj, a_heightmap.png in /absolute/folder": files written, by name, and the folder of the first.
std::string FilesInFolder(const std::vector<std::string>& paths);
// The one line a save that wrote everything shows: what it wrote and where.
std::string SavedNotice(const SaveTerrainForm::Outcome& outcome);
// The notice of a save that was stopped: what was written before it, if anything.
std::string CancelledSaveNotice(const SaveTerrainForm::Outcome& outcome);
// The Error popup's text when files failed: each one with its reason, then what was written.
std::string SaveFailureText(const SaveTerrainForm::Outcome& outcome);

// Why a New Shader base name is refused (a name starting with '.' leaves the shader nameless, and
// the scene's Manage dialog replaces nameless shaders); empty when it is accepted or still empty.
std::string ShaderNameError(const std::string& baseName);

// Scales a byte count to the unit the dialog shows: B, kB, MB or GB (decimal).
void ScaleByteCount(uint64_t bytes, double& value, const char*& unit);

// The three dialogs; their open flags are the editor's (showSaveTerrain, showLoadTerrain, showNewShader).
struct SaveTerrainDialog
{
    SaveTerrainForm form;

    void Show(Editor& editor);
    // "Save##sf": when a chosen file exists already, the dialog asks first (false: nothing written
    // yet); otherwise it saves as Save does.
    bool PressSave(Editor& editor);
    // "Replace##sf", or "Save##sf" with nothing to replace: writes the chosen files on the job runner
    // and closes the dialog; the Error popup names each failure and its reason, otherwise the notice
    // says what was written and where.
    void Save(Editor& editor);
};

struct LoadTerrainDialog
{
    std::string fileName;

    void Show(Editor& editor);
    // "Load .obj": the file is read on the job runner; a refused file shows its reason in the Error
    // popup, a loaded terrain joins the list (Commands::AddLoadedTerrain).
    void Load(Editor& editor, const std::string& path);
};

struct NewShaderDialog
{
    std::string baseName;

    void Show(Editor& editor);
};
