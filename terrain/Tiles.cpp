#include "terrain/Tiles.h"

#include <algorithm>
#include <cstring>

TileSwap::TileSwap(uint32_t rows, uint32_t columns, uint32_t elementBytes, uint32_t stride, uint32_t offset)
    : rows(rows), columns(columns), elementBytes(elementBytes), stride(stride), offset(offset),
      tileRows((rows + kTileSide - 1) / kTileSide), tileColumns((columns + kTileSide - 1) / kTileSide),
      slot(size_t{tileRows} * tileColumns, 0)
{
}

TerrainGrid::Region TileSwap::TileRegion(uint32_t index) const
{
    const uint32_t r = index / tileColumns;
    const uint32_t c = index % tileColumns;
    return {r * kTileSide, std::min(rows, (r + 1) * kTileSide), c * kTileSide,
            std::min(columns, (c + 1) * kTileSide)};
}

template <typename Visit> void TileSwap::ForEachElement(const Tile& tile, Visit visit) const
{
    const TerrainGrid::Region region = TileRegion(tile.index);
    const size_t run = region.columnEnd - region.columnBegin;
    size_t at = 0; // in the tile's bytes, which hold its elements row after row, packed
    for (size_t r = region.rowBegin; r < region.rowEnd; ++r)
    {
        const size_t first = (r * columns + region.columnBegin) * stride + offset;
        if (stride == elementBytes)
        {
            visit(first, at, run * elementBytes); // a packed run: one block
            at += run * elementBytes;
            continue;
        }
        for (size_t c = 0; c < run; ++c, at += elementBytes)
            visit(first + c * stride, at, elementBytes);
    }
}

void TileSwap::Keep(const uint8_t* array, const TerrainGrid::Region& region)
{
    if (region.Empty() || array == nullptr || slot.empty()) return;
    const uint32_t rowEnd = std::min(region.rowEnd, rows);
    const uint32_t columnEnd = std::min(region.columnEnd, columns);
    if (region.rowBegin >= rowEnd || region.columnBegin >= columnEnd) return;
    for (uint32_t tr = region.rowBegin / kTileSide; tr <= (rowEnd - 1) / kTileSide; ++tr)
        for (uint32_t tc = region.columnBegin / kTileSide; tc <= (columnEnd - 1) / kTileSide; ++tc)
        {
            const uint32_t index = tr * tileColumns + tc;
            if (slot[index] != 0) continue;
            Tile tile;
            tile.index = index;
            tile.bytes.resize(TileRegion(index).Count() * elementBytes);
            ForEachElement(tile, [&](size_t from, size_t to, size_t bytes)
                           { std::memcpy(tile.bytes.data() + to, array + from, bytes); });
            tiles.push_back(std::move(tile));
            slot[index] = static_cast<uint32_t>(tiles.size());
        }
}

void TileSwap::Swap(uint8_t* array)
{
    if (array == nullptr) return;
    if (elementBytes == 4 && stride != 4)
    {
        // A float inside a larger record (the heights in the positions): one word at a time.
        for (Tile& tile : tiles)
            ForEachElement(tile,
                           [&](size_t from, size_t to, size_t)
                           {
                               uint32_t a, b;
                               std::memcpy(&a, array + from, 4);
                               std::memcpy(&b, tile.bytes.data() + to, 4);
                               std::memcpy(array + from, &b, 4);
                               std::memcpy(tile.bytes.data() + to, &a, 4);
                           });
        return;
    }
    uint8_t scratch[256];
    for (Tile& tile : tiles)
        ForEachElement(tile,
                       [&](size_t from, size_t to, size_t bytes)
                       {
                           // Through a small buffer: the runs are at most a tile row long.
                           for (size_t done = 0; done < bytes; done += sizeof scratch)
                           {
                               const size_t n = std::min(sizeof scratch, bytes - done);
                               std::memcpy(scratch, array + from + done, n);
                               std::memcpy(array + from + done, tile.bytes.data() + to + done, n);
                               std::memcpy(tile.bytes.data() + to + done, scratch, n);
                           }
                       });
}

void TileSwap::DropUnchanged(const uint8_t* array)
{
    if (array == nullptr) return;
    std::vector<Tile> changed;
    for (Tile& tile : tiles)
    {
        bool same = true;
        ForEachElement(tile, [&](size_t from, size_t to, size_t bytes)
                       { same = same && std::memcmp(array + from, tile.bytes.data() + to, bytes) == 0; });
        if (!same) changed.push_back(std::move(tile));
    }
    tiles = std::move(changed);
    std::fill(slot.begin(), slot.end(), 0u);
    for (size_t n = 0; n < tiles.size(); ++n)
        slot[tiles[n].index] = static_cast<uint32_t>(n + 1);
}

size_t TileSwap::Bytes() const
{
    size_t total = slot.size() * sizeof(uint32_t);
    for (const Tile& tile : tiles)
        total += tile.bytes.size() + sizeof(Tile);
    return total;
}

TerrainGrid::Region TileSwap::Bounds() const
{
    TerrainGrid::Region bounds;
    for (const Tile& tile : tiles)
        bounds = bounds.Union(TileRegion(tile.index));
    return bounds;
}

std::vector<TerrainGrid::Region> TileSwap::Runs() const
{
    std::vector<uint32_t> indices;
    for (const Tile& tile : tiles)
        indices.push_back(tile.index);
    std::sort(indices.begin(), indices.end());
    std::vector<TerrainGrid::Region> runs;
    for (size_t n = 0; n < indices.size(); ++n)
    {
        const TerrainGrid::Region region = TileRegion(indices[n]);
        const bool joins = n > 0 && indices[n] == indices[n - 1] + 1 && indices[n] % tileColumns != 0;
        if (joins)
            runs.back().columnEnd = region.columnEnd;
        else
            runs.push_back(region);
    }
    return runs;
}
