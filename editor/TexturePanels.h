#pragma once
// State and decisions of the "Textures" tab, the diffuse gradient editor and the water editor.
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"

#include <imgui.h>

#include <memory>
#include <string>

class Shader;

struct TexturePanelState
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

    // "Save as" on one of the terrain's pictures: suggests terrain name + suffix as the file name.
    void BeginSaveAs(Texture& texture, const Terrain& terrain, const char* suffix);
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

struct DiffuseEditorState
{
    enum class Mode
    {
        Height,
        Slope,
        Mask // height bands over a channel of an erosion entry's mask
    };
    static constexpr const char* kMaskChannels[3] = {"Removed (red)", "Deposited (green)",
                                                     "Water flow (blue)"};
    Mode mode = Mode::Height;
    int selected = -1; // gradient index, -1 for none
    bool closeRequested = false;
    std::weak_ptr<Terrain::Heightmap> maskEntry; // the erosion entry chosen for the mask mode
    uint32_t maskChannel = 0;

    // The erosion entry the mask mode paints from: the chosen one while it is in the terrain's list,
    // else the terrain's first erosion entry; null when it has none.
    std::shared_ptr<Terrain::Heightmap> MaskSource(const Terrain& terrain) const;

    // "Add gradient": the first takes the whole range, later ones halve the last gradient's spans.
    void AddGradient(Terrain& terrain);
    // A span of gradient n changed from oldSpan: its neighbour (the previous one, or the next one
    // for the first) gives up the difference so the spans keep their sum.
    static void HeightSpanChanged(Terrain& terrain, size_t n, int oldSpan);
    static void SlopeSpanChanged(Terrain& terrain, size_t n, float oldSpan);
    // "Delete": removes the selected gradient and repairs the last span so the sums are 255 and 90.
    void DeleteSelected(Terrain& terrain);
    void Generate(Terrain& terrain) const;
};

struct WaterEditorState
{
    ImGuiWindowFlags windowFlags = 0;
    ImVec2 lastImagePosition{0.0f, 0.0f};
    bool strokeActive = false;

    // Texel of a mouse position over the picture (top-left corner, scale in pixels per texel), with
    // row 0 at the bottom.
    static ImVec2 TexelAt(ImVec2 mouse, ImVec2 imageTopLeft, float scale, uint32_t rows);
    // One stroke point at a texel position: pours at the vertex under it (clamped into the grid).
    void PourAt(Terrain& terrain, ImVec2 texel);
    // The first frame after the stroke with the button up adds the edge fringe.
    void EndStrokeIfReleased(Terrain& terrain, bool buttonDown);
    // "Recalculate##watermap": a new water plane drawn with the water map, bound to the shader.
    static void Recalculate(Terrain& terrain, const std::shared_ptr<Shader>& shader);
};
