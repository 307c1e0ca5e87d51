#pragma once
// The "Textures" tab of the terrain generator: the terrain's pictures (erosion masks included), their
// pop-ups, and the "Save as.." dialog. One copy serves every terrain for the whole run.
#include <memory>
#include <string>

class Editor;
class Terrain;
class Texture;

struct TexturePanel
{
    static constexpr const char* kExtensions[4] = {".tga", ".png", ".jpg", ".bmp"};
    static constexpr const char* kNoExtension = "Format";

    Texture* chosenTexture = nullptr; // one of a terrain's textures, which live as long as the terrain
    bool saveDialogOpen = false;
    bool textureEditorOpen = false;
    bool diffuseEditorOpen = false;
    std::string saveDirectory = "output/";
    std::string saveFileName;
    const char* saveExtension = kNoExtension;

    // Per frame, inside the "Textures" tab.
    void Show(Editor& editor, const std::shared_ptr<Terrain>& terrain);

    // "Save as" on one of the terrain's pictures: suggests terrain name + suffix as the file name,
    // which the texture keeps (projects keep it too).
    void BeginSaveAs(Editor& editor, Texture& texture, const Terrain& terrain, const char* suffix);
    // "Edit": the texture editor follows this texture.
    void BeginEdit(Texture& texture);
    // A texture about to go (a deleted erosion entry's mask): the dialogs and the editor let go of it.
    void Forget(const Texture& texture);
    // The directory field was left after an edit: a missing trailing separator is added.
    void FinishDirectoryEdit();
    bool CanSave() const;
    std::string SavePath() const { return saveDirectory + saveFileName + saveExtension; }
    // "Save": writes the chosen texture; false when nothing was written (error, when given and the
    // writer said why, gets the reason).
    bool Save(std::string* error = nullptr);
};
