#pragma once
// The tiles of a grid-shaped array that a change touched, kept aside so that the change can be taken
// back and forth without keeping the whole array (the editor's undo history): before a change writes
// a tile, its contents are copied here; afterwards Swap exchanges the kept contents with the array's.
//
// The array is rows x columns elements of elementBytes each, element (r, c) at byte
// (r * columns + c) * stride + offset: a float per vertex (4, 4, 0), the heights inside the positions
// (4, 12, 4), a texture's texels (channels, channels, 0).
#include "terrain/TerrainGrid.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class TileSwap
{
  public:
    static constexpr uint32_t kTileSide = 64;

    TileSwap() = default;
    TileSwap(uint32_t rows, uint32_t columns, uint32_t elementBytes, uint32_t stride, uint32_t offset = 0);

    // Copies the tiles of the region that are not kept yet out of the array, before a change writes it.
    void Keep(const uint8_t* array, const TerrainGrid::Region& region);
    void KeepAll(const uint8_t* array) { Keep(array, {0, rows, 0, columns}); }
    // Exchanges the kept tiles' contents with the array's: after the change the array goes back to how
    // it was and the tiles hold the change, and the next call brings the change back.
    void Swap(uint8_t* array);
    // Lets go of the tiles that hold what the array holds (a change that left them as they were).
    void DropUnchanged(const uint8_t* array);

    bool Empty() const { return tiles.empty(); }
    size_t Bytes() const;
    // The rows and columns the kept tiles cover.
    TerrainGrid::Region Bounds() const;
    // The kept tiles as regions, neighbours along a row of tiles joined: what to send again after Swap.
    std::vector<TerrainGrid::Region> Runs() const;

  private:
    struct Tile
    {
        uint32_t index = 0; // row of tiles * tileColumns + column of tiles
        std::vector<uint8_t> bytes;
    };
    TerrainGrid::Region TileRegion(uint32_t index) const;
    // Copies between the array and a tile's bytes, in either direction or exchanging them.
    template <typename Visit> void ForEachElement(const Tile& tile, Visit visit) const;

    uint32_t rows = 0;
    uint32_t columns = 0;
    uint32_t elementBytes = 0;
    uint32_t stride = 0;
    uint32_t offset = 0;
    uint32_t tileRows = 0;
    uint32_t tileColumns = 0;
    std::vector<uint32_t> slot; // per tile: its place in tiles plus 1, or 0 when it is not kept
    std::vector<Tile> tiles;
};
