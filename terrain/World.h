#pragma once
// A world: a grid of tiles, each a terrain of tileSize x tileSize vertices, that one terrain of a
// project defines as a whole through its generator and layers. Adjacent tiles share their edge row
// or column; tile (x, y) covers the world's vertices x * (tileSize - 1) .. + tileSize - 1 along +x and
// y * (tileSize - 1) .. along +z. Each tile is built on its own (one process per tile), so everything
// a tile needs is derived from the world's inputs alone:
//   - the base is flat (diamond-square and random fault draw over the whole grid and cannot tile; a
//     terrain read from a file has heights of one grid only), so heights are the layers' sum;
//   - noise layers sample at world indices (Layers::GridPlace) and map the noise's range -1..1 to
//     their levels, so a tile's heights are those of the same vertices of the whole world bit for
//     bit;
//   - an image layer holds an image of the whole world grid (worldImage in the editor, which shows
//     the tile's window of it), cut into the tile's window; past the world's edge its edge pixels go on;
//   - an erosion entry runs on the tile plus an overlap border, cropped afterwards, with its droplet
//     count scaled from a tile's area to the larger grid's (the count is per tile); the tiles' droplets
//     differ, so seams match closely but not exactly (the README gives the measured bound);
//   - the 16-bit outputs of every tile span one height range (HeightRange).
#include "terrain/TerrainRecord.h"

#include <cstdint>
#include <functional>
#include <string>

struct WorldSettings
{
    uint32_t terrain = 0;    // the project's terrain (index) whose generator and layers define the world
    uint32_t tileSize = 257; // vertices along a tile's side, 2^n + 1
    uint32_t tilesX = 1;     // tiles across, along +x
    uint32_t tilesY = 1;     // tiles down, along +z
    int32_t originX = 0;     // world index of the world's first vertex: where its noise is sampled
    int32_t originY = 0;
    uint32_t overlap = 32; // vertices an erosion entry runs on past each side of a tile
    uint32_t tileX = 0;    // the tile the editor shows (the project's terrain holds it)
    uint32_t tileY = 0;
    bool fixedRange = false; // the 16-bit outputs span minHeight..maxHeight, not the derived range
    float minHeight = 0.0f;
    float maxHeight = 0.0f;

    // The whole world's vertices along x and z.
    uint64_t Width() const { return uint64_t{tilesX} * (tileSize - 1) + 1; }
    uint64_t Height() const { return uint64_t{tilesY} * (tileSize - 1) + 1; }
};

namespace World
{
inline constexpr uint32_t kMaxTiles = 1024;   // per side
inline constexpr uint32_t kMaxOverlap = 1024; // vertices
inline constexpr uint32_t kMaxTileSize = 4097;
// The largest side of a world image a project holds (an image layer of a larger world stays a tile's).
inline constexpr uint32_t kMaxImageSide = 16385;
// World indices must stay exact as floats (noise sampling): |index| <= 2^24.
inline constexpr int64_t kMaxIndex = int64_t{1} << 24;

// A window of the world's grid: its first vertex (relative to the world's first vertex, i along x
// and j along z; negative past the world's edge) and its sides.
struct Window
{
    int64_t i = 0;
    int64_t j = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// Whether the settings and the terrain make a world; false with the reason: a tile size that is not
// 2^n + 1 from 3 to 4097, tile counts outside 1 .. kMaxTiles, an overlap over kMaxOverlap, world
// indices beyond kMaxIndex, a terrain whose generator cannot tile, a fixed range that is not one.
bool Check(const WorldSettings& world, const TerrainRecord& terrain, std::string* error);
// Whether tile (x, y) is in the grid; false with "tile X,Y is outside the world's N x M tiles ...".
bool CheckTile(const WorldSettings& world, uint32_t x, uint32_t y, std::string* error);
// "X,Y" (whole numbers) into x and y.
bool ParseTile(const std::string& text, uint32_t& x, uint32_t& y);

// The window of tile (x, y) with border vertices more on every side.
Window TileWindow(const WorldSettings& world, uint32_t x, uint32_t y, uint32_t border = 0);
// Where a window lies for its noise layers.
Layers::GridPlace PlaceOf(const WorldSettings& world, const Window& window);
// The vertices a tile is built with past each side: the overlap when the stack erodes, otherwise
// one (so that the tile's edge normals see their neighbours as the whole world's do).
uint32_t BorderOf(const WorldSettings& world, const TerrainRecord& terrain);

// The image of the whole world an image layer holds: its worldImage in the editor, otherwise its image.
const ImageRecord& WorldImageOf(const LayerRecord& layer);
// The window of a world image (editor layout: grid rows along x, a pixel per vertex along z); pixels
// past the image's edge repeat its edge.
ImageRecord CutWindow(const ImageRecord& image, const Window& window);

// The record of a window of the world, for TerrainRecord::Complete to make: the flat grid, noise
// layers from their settings at the window's place, image layers cut from the world images (one
// that is not the world grid's size adds nothing, as on a lone terrain), erosion entries with their
// droplets scaled to the window's area, the gradients and band mode; no textures or water.
TerrainRecord WindowRecord(const TerrainRecord& terrain, const WorldSettings& world, const Window& window);

// Tile (x, y) built and completed: the window with BorderOf's border, completed, then cropped to the
// tile (heights, normals, their images and the band textures; the layers' images cut too; the
// heights no longer follow a stack of the tile's own). False with the reason (Check, CheckTile, a
// stopped build: "stopped"). progress hears the share done.
bool BuildTile(const TerrainRecord& terrain, const WorldSettings& world, uint32_t x, uint32_t y,
               TerrainRecord& out, std::string* error = nullptr,
               const std::function<bool(float)>& progress = {});

// The height range every tile's 16-bit output spans, from the world's inputs alone: the fixed range
// when set; otherwise the flat base plus each adding layer's reach (0 to its power; a layer image
// of the wrong size adds nothing), widened by a tenth of the span for each hydraulic erosion entry
// (sediment dropped where a droplet stops may stand above its surroundings); thermal erosion only
// moves material down.
void HeightRange(const TerrainRecord& terrain, const WorldSettings& world, float& low, float& high);

// "NAME_xX_yY": a tile's file names start with it.
std::string TileName(const std::string& name, uint32_t x, uint32_t y);

// A fingerprint of everything tile (x, y)'s files depend on: the world settings but the tile shown,
// the terrain's vertex distance, generator, layers (settings and world images), gradients and band
// mode, the tile and the caller's options (the formats written). The same inputs give the same value
// on any machine.
uint64_t InputsFingerprint(const TerrainRecord& terrain, const WorldSettings& world, uint32_t x, uint32_t y,
                           const std::string& options);

// The editor's view of the tile the world settings name: the world's image layers keep their world
// image aside (LayerRecord::worldImage) and show its window, and the record lies at the tile's place.
void ToTileView(TerrainRecord& terrain, const WorldSettings& world);
// The editor's view of the world's tile the settings name, made from the world's inputs (the world form of
// terrain: its image layers hold the world's images): WindowRecord's record, whose image layers keep
// their world image aside. Image layers that are not the world's size stay as they are.
TerrainRecord TileViewRecord(const TerrainRecord& terrain, const WorldSettings& world);
// Back to what a project file stores: each image layer's window (maybe painted) pasted into its world
// image, which it holds again.
void ToWorldForm(TerrainRecord& terrain, const WorldSettings& world);
// The world image ToWorldForm gives a layer: its world image with the window pasted in; for an image
// layer of the tile's size that keeps no world image (loaded on the tile), a world image of zeros
// with the tile pasted in; otherwise its image as it is.
ImageRecord WorldFormImage(const LayerRecord& layer, const WorldSettings& world);
} // namespace World
