#pragma once
// The "Terrain" tab of the terrain generator: the heightmap layer list (noise and image layers and
// erosion entries), a layer's preview and settings, undo and redo of its settings, and the rules of
// when the layers are applied to the mesh. One copy serves every terrain for the whole run.
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"

#include <memory>
#include <string>

class Editor;

struct LayerPanel
{
    static constexpr const char* kNoiseTypes[5] = {"Perlin", "OpenSimplex2", "Value", "Cubic Value",
                                                   "Cellular"};
    static constexpr int kNoiseCodes[5] = {3, 0, 5, 4, 2};
    static constexpr const char* kFractalTypes[3] = {"None", "Fractial Brown Motion", "Ridged"};
    static constexpr const char* kErosionMethods[2] = {"Hydraulic", "Thermal"};
    static constexpr const char* kImageExtensions[4] = {".tga", ".png", ".jpg", ".bmp"};
    static constexpr const char* kNoExtension = "Format";

    bool realtimeUpdate = false;
    std::shared_ptr<Terrain::Heightmap> selectedLayer;
    bool loadDialogOpen = false;
    std::string loadFileName;
    const char* loadExtension = kNoExtension;
    bool layerEditorOpen = false;

    // Per frame, inside the "Terrain" tab.
    void Show(Editor& editor, const std::shared_ptr<Terrain>& terrain);

    // What the panel's buttons and menus do. The selection does not change on adding. In realtime mode
    // adding, moving, deleting and replacing a layer apply the layers at once, as a changed setting does.
    std::shared_ptr<Terrain::Heightmap> AddLayer(Editor& editor, const std::shared_ptr<Terrain>& terrain);
    std::shared_ptr<Terrain::Heightmap> AddErosion(Editor& editor, const std::shared_ptr<Terrain>& terrain);
    bool CanMove(const Terrain& terrain, int step) const;
    void Move(Editor& editor, const std::shared_ptr<Terrain>& terrain, int step);
    void DeleteSelected(Editor& editor, const std::shared_ptr<Terrain>& terrain);
    // "Load": replaces the selected layer with an image layer read from path and selects it. False, with
    // the reason in error, when the file is refused (see Commands::ReplaceLayerWithImage).
    bool ReplaceSelectedWithImage(Editor& editor, const std::shared_ptr<Terrain>& terrain,
                                  const std::string& path, std::string& error);

    // The regeneration rule after the widgets of one frame.
    struct Changes
    {
        bool realtimeSwitchedOn = false;
        bool noiseSettingChanged = false;
        bool powerChanged = false;
        bool undoOrRedo = false;
        bool erosionChanged = false; // an erosion setting was released after a change
    };
    bool NeedsRegeneration(const Changes& changes) const;
    // Regenerates a noise layer's image (never an image layer's) and, in realtime mode, applies the layers.
    void Regenerate(Editor& editor, const std::shared_ptr<Terrain>& terrain, Terrain::Heightmap& layer) const;

    // Setting the noise or fractal type by list entry keeps label and code together.
    static void SetNoiseType(Terrain::Heightmap::Settings& settings, int entry);
    static void SetFractalType(Terrain::Heightmap::Settings& settings, int entry);

  private:
    void ApplyInRealtime(Editor& editor, const std::shared_ptr<Terrain>& terrain) const;
};
