// The Terrain's water members: the algorithms of Water.h over the terrain's water map and heightmap
// textures, with the uploads.
#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/Water.h"
#include "terrain/WaterPlane.h"

#include <cstring>

namespace
{
// The water map's pixels, or null when the terrain has none of the grid's size.
uint8_t* WatermapPixels(const Terrain& terrain)
{
    const size_t pixels = static_cast<size_t>(terrain.width) * terrain.height;
    const Texture* map = terrain.watermapTexture.get();
    if (pixels == 0 || map == nullptr || !map->data || map->channels != 4 || map->ByteSize() != 4 * pixels)
        return nullptr;
    return map->data.get();
}

const uint8_t* HeightmapPixels(const Terrain& terrain)
{
    const size_t pixels = static_cast<size_t>(terrain.width) * terrain.height;
    const Texture* map = terrain.heightmapTexture.get();
    if (pixels == 0 || map == nullptr || !map->data || map->channels != 1 || map->ByteSize() != pixels)
        return nullptr;
    return map->data.get();
}
} // namespace

void Terrain::FloodWater(uint32_t start, const std::array<uint32_t, 4>& waterColor,
                         std::deque<uint32_t>& result, uint8_t* visited, uint32_t& level)
{
    const uint8_t* heights = HeightmapPixels(*this);
    const uint8_t* watermap = WatermapPixels(*this);
    if (heights == nullptr || watermap == nullptr || visited == nullptr) return;
    Water::Flood(heights, watermap, width, height, start, waterColor, result, visited, level);
}

void Terrain::PourWater(uint32_t start)
{
    const uint8_t* heights = HeightmapPixels(*this);
    uint8_t* watermap = WatermapPixels(*this);
    if (heights == nullptr || watermap == nullptr) return;
    Water::Pour(heights, watermap, width, height, start);
    watermapTexture->Update();
}

void Terrain::OutlineWater()
{
    uint8_t* watermap = WatermapPixels(*this);
    if (watermap == nullptr) return;
    Water::Outline(watermap, width, height);
    watermapTexture->Update();
}

void Terrain::ClearWater()
{
    if (watermapTexture && watermapTexture->data)
    {
        std::memset(watermapTexture->data.get(), 0, watermapTexture->ByteSize());
        watermapTexture->Update();
    }
    waterPlane.reset();
}
