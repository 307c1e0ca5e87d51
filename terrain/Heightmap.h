#pragma once
#include "render/Texture.h"
#include "terrain/Erosion.h"
#include "terrain/LayerSettings.h"
#include "terrain/LayerStack.h"
#include "terrain/Noise.h"
#include "terrain/Terrain.h"

#include <deque>
#include <vector>
#include <memory>
#include <string>

// One heightmap layer: an 8-bit image with one pixel per terrain vertex (vertex order), either
// generated from noise settings or loaded from an image file. A pixel of value v adds
// v / 255 * power to its vertex.
//
// An erosion entry is the other kind of list entry: it adds no image but erodes the heights summed
// before it (LayerStack). Its image is its mask (RGB: removed, deposited, water flow) from its last
// run, and its settings record (with the history) carries its erosion settings.
//
// A sculpt entry holds heights shaped by hand in the scene window, one float per vertex added as it
// is. Its image is only a small preview of them (grey 128 is 0); it has no settings history.
class Terrain::Heightmap : public Texture
{
  public:
    using Settings = LayerSettings; // terrain/LayerSettings.h

    static constexpr size_t kHistoryLimit = 11;

    // Noise layer of a width x height terrain (an image height wide and width high, as every terrain
    // image is), generated at once from default settings at the terrain's place in a world.
    Heightmap(uint32_t width, uint32_t height, const Layers::GridPlace& place = {});
    // Texture layer read from an image file, as the file gives it. Use LoadTextureLayer to get
    // one that is checked against the terrain.
    explicit Heightmap(const std::string& path);
    // A layer restored from its pixels (a project file), an image of width x height: nothing is
    // generated or read.
    Heightmap(uint32_t width, uint32_t height, uint32_t channels, std::unique_ptr<uint8_t[]> pixels,
              bool linear, bool isTexture);
    // An erosion entry for a width x height terrain, with default settings and a black mask.
    static std::shared_ptr<Heightmap> NewErosion(uint32_t width, uint32_t height);
    // A sculpt entry for a width x height terrain with these heights (all 0 when not width * height).
    static std::shared_ptr<Heightmap> NewSculpt(uint32_t width, uint32_t height,
                                                std::vector<float> heights = {});
    // The side of a sculpt entry's preview at most: it is drawn 200 pixels wide.
    static constexpr uint32_t kPreviewSide = 128;
    // Sculpt entries: draws the preview again from the heights (each pixel one vertex's height, scaled so
    // the largest shown reaches black or white).
    void UpdateSculptPreview();

    // A texture layer for a terrain of width x height, or null (with the reason logged and stored
    // in error) when the file cannot be read or its image is not exactly the terrain's images' size
    // (height pixels wide, width high).
    static std::shared_ptr<Heightmap> LoadTextureLayer(const std::string& path, uint32_t width,
                                                       uint32_t height, std::string* error = nullptr);

    // Copies the settings into the noise state and regenerates the image (noise layers only; a
    // texture layer or an erosion entry is left as it is). Texture::Update stays reachable for
    // painted pixels.
    void Update();
    using Texture::Update;
    // The first half of Update: the settings the noise state samples with (::CopySettingsToNoise).
    void CopySettingsToNoise();
    // Makes smoothLevels follow the settings without touching the image (a layer restored from its
    // pixels): the levels of the image its settings generate, or none without smooth heights.
    void UpdateSmoothLevels();

    void AppendState(Settings state);
    void Undo();
    void Redo();

    // Erosion entries: uploads the mask of the cache's last result when it is not shown yet.
    void ShowErosionMask();

    Settings settings;
    std::string name; // shown in the layer list (hides the texture's source path)
    bool isTexture = false;
    NoiseGenerator noise;
    std::deque<std::shared_ptr<const Settings>> states;
    uint32_t currentState = 0;
    // With smooth heights: every pixel's unrounded level (0 to 255) from the last generation, which
    // the layer adds instead of its pixel where the pixel still is that level rounded (not painted).
    std::vector<float> smoothLevels;

    bool isSculpt = false;
    std::vector<float> sculpt; // a sculpt entry's heights, vertex order
    uint32_t gridWidth = 0;    // the terrain's size, for a sculpt entry's preview
    uint32_t gridHeight = 0;

    bool isErosion = false;
    // What the entry last made; a cache, so filling it changes nothing the user sees of the entry.
    mutable LayerStack::ErosionCache erosionCache;
    uint32_t shownMaskGeneration = 0; // the cache generation whose mask the image holds

    // A world's tile: where the terrain lies in the world (noise layers sample there), and an image
    // layer's image of the whole world, of which the layer shows the tile's window (LayerRecord).
    Layers::GridPlace place;
    std::shared_ptr<const ImageRecord> worldImage;
};
