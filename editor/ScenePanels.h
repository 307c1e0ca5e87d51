#pragma once
// State and decisions of the scene window and the terrain generator's layer panel. One copy of the
// panel state serves every scene and terrain for the whole run.
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"

#include <imgui.h>

#include <functional>
#include <memory>
#include <string>

class Scene;

struct SceneWindowState
{
    static constexpr const char* kAspectRatios[4] = {"Custom", "16:9", "4:3", "1:1"};
    int aspectRatioIndex = 0;
    bool sceneWindowSized = false;
    ImVec2 sceneWindowFirstSize{0.0f, 0.0f};
    bool generatorWindowSized = false;
    ImVec2 generatorWindowFirstSize{0.0f, 0.0f};
    float barHeight = -1.0f; // framed widget height plus spacing, measured once

    // Selecting entry index of the aspect ratio list for a scene: fixes its camera's aspect ratio.
    void ChooseAspectRatio(Scene& scene, int index);
    // Whether the scene follows the "Custom" rule: no fixed ratio chosen, or none chosen for this
    // scene yet (a scene made after another scene's choice starts without ratio numbers).
    bool UsesCustomRule(const Scene& scene) const;
    // Size of the scene image in a content region of the given size; Custom also sets the aspect.
    ImVec2 ImageSize(Scene& scene, ImVec2 available) const;
};

struct LayerPanelState
{
    static constexpr const char* kNoiseTypes[5] = {"Perlin", "OpenSimplex2", "Value", "Cubic Value",
                                                   "Cellular"};
    static constexpr int kNoiseCodes[5] = {3, 0, 5, 4, 2};
    static constexpr const char* kFractalTypes[3] = {"None", "Fractial Brown Motion", "Ridged"};
    static constexpr const char* kImageExtensions[4] = {".tga", ".png", ".jpg", ".bmp"};
    static constexpr const char* kNoExtension = "Format";

    bool realtimeUpdate = false;
    std::shared_ptr<Terrain::Heightmap> selectedLayer;
    bool loadDialogOpen = false;
    std::string loadFileName;
    const char* loadExtension = kNoExtension;
    bool layerEditorOpen = false;
    // How the panel applies the layer stack (Update mesh, realtime): the editor runs a long apply as a
    // job; unset, Terrain::ApplyHeightmaps at once.
    std::function<void(Terrain&)> applyLayers;

    // "Add a heightmap": a noise layer of the terrain's size named "Heightmap_" + its index, with its
    // first history entry. The selection does not change. In realtime mode adding, moving, deleting
    // and replacing a layer re-apply the layers at once, as a changed setting does.
    std::shared_ptr<Terrain::Heightmap> AddLayer(Terrain& terrain);
    // "Add erosion": an erosion entry named "Erosion_" + its index, as AddLayer adds a noise layer.
    std::shared_ptr<Terrain::Heightmap> AddErosion(Terrain& terrain);
    bool CanMoveUp(const Terrain& terrain) const;
    bool CanMoveDown(const Terrain& terrain) const;
    void MoveUp(Terrain& terrain);
    void MoveDown(Terrain& terrain);
    // The mesh stops showing a deleted erosion entry's mask (it shows the heightmap again).
    void DeleteSelected(Terrain& terrain);
    // "Load": replaces the selected layer with a texture layer read from path. A file that cannot be
    // read or does not match the terrain's size is refused: false, the reason in error, the old
    // layer kept. An erosion entry is never replaced by an image.
    bool ReplaceSelectedWithImage(Terrain& terrain, const std::string& path, std::string& error);

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
    // Regenerates a noise layer (never an image layer) and, in realtime mode, re-applies the layers.
    void Regenerate(Terrain& terrain, Terrain::Heightmap& layer) const;

    // Setting the noise or fractal type by list entry keeps label and code together.
    static void SetNoiseType(Terrain::Heightmap::Settings& settings, int entry);
    static void SetFractalType(Terrain::Heightmap::Settings& settings, int entry);

    static constexpr const char* kErosionMethods[2] = {"Hydraulic", "Thermal"};

  private:
    void ApplyInRealtime(Terrain& terrain) const;
    void Apply(Terrain& terrain) const;
};
