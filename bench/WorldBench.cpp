// A world's figures, for bench/world-bench.sh (which times the fan-out itself):
//   WorldBench make PATH [TILE_SIZE] [TILES]   writes the benchmark world: TILES x TILES tiles of TILE_SIZE
//                                              (4 x 4 of 1025 by default), two noise layers and a hydraulic
//                                              erosion entry with 250,000 droplets a tile, overlap 48
//   WorldBench seams DIR NAME                  reads the tiles' float heights (NAME_xX_yY.exr) and prints
//                                              the largest and mean step between shared edges and how the
//                                              tiles' heights sit in NAME_world.json's range
#include "io/HeightImage.h"
#include "io/ProjectFile.h"
#include "terrain/Project.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{
Project BenchWorld(uint32_t tileSize, uint32_t tiles)
{
    Project project;
    TerrainRecord& land = project.terrains.emplace_back();
    land.name = "bench";
    land.width = land.height = tileSize;
    LayerRecord continents;
    continents.name = "Continents";
    continents.settings.power = 140.0f;
    continents.settings.frequency = 0.003f;
    continents.settings.fractalType = 1;
    continents.settings.fractalTypeName = "FBm";
    continents.settings.octaves = 5;
    continents.settings.smoothHeights = true;
    LayerRecord ridges;
    ridges.name = "Ridges";
    ridges.settings.power = 35.0f;
    ridges.settings.seed = 11;
    ridges.settings.frequency = 0.011f;
    ridges.settings.noiseType = 0;
    ridges.settings.noiseTypeName = "OpenSimplex2";
    ridges.settings.fractalType = 2;
    ridges.settings.fractalTypeName = "Ridged";
    ridges.settings.smoothHeights = true;
    LayerRecord erosion;
    erosion.kind = LayerKind::Erosion;
    erosion.name = "Erosion_2";
    land.layers = {continents, ridges, erosion};
    WorldSettings world;
    world.tileSize = tileSize;
    world.tilesX = world.tilesY = tiles;
    world.overlap = 48;
    project.world = world;
    return project;
}

bool ReadTile(const std::string& path, HeightGrid& grid)
{
    HeightImage::ImportOptions options;
    options.maxSide = 8193;
    std::string error;
    if (HeightImage::Read(path, options, grid, &error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

int Seams(const std::string& dir, const std::string& name)
{
    std::ifstream in(dir + "/" + name + "_world.json");
    const nlohmann::json world = nlohmann::json::parse(std::string(std::istreambuf_iterator<char>(in), {}));
    const uint32_t T = world["tileSize"], tilesX = world["tilesX"], tilesY = world["tilesY"];
    const float low = world["minHeight"], high = world["maxHeight"];
    std::vector<HeightGrid> tiles(size_t{tilesX} * tilesY);
    float lowest = INFINITY, highest = -INFINITY;
    for (uint32_t y = 0; y < tilesY; ++y)
        for (uint32_t x = 0; x < tilesX; ++x)
        {
            HeightGrid& grid = tiles[y * tilesX + x];
            if (!ReadTile(dir + "/" + name + "_x" + std::to_string(x) + "_y" + std::to_string(y) + ".exr",
                          grid))
                return 1;
            for (float h : grid.heights)
            {
                lowest = std::min(lowest, h);
                highest = std::max(highest, h);
            }
        }
    // heights[i * T + j]: i along x, j along z.
    double largest = 0.0, sum = 0.0;
    size_t count = 0;
    const auto at = [&](uint32_t x, uint32_t y, uint32_t i, uint32_t j)
    { return tiles[y * tilesX + x].heights[size_t{i} * T + j]; };
    for (uint32_t y = 0; y < tilesY; ++y)
        for (uint32_t x = 0; x < tilesX; ++x)
            for (uint32_t k = 0; k < T; ++k)
            {
                if (x + 1 < tilesX)
                {
                    const double step = std::fabs(at(x, y, T - 1, k) - at(x + 1, y, 0, k));
                    largest = std::max(largest, step);
                    sum += step;
                    ++count;
                }
                if (y + 1 < tilesY)
                {
                    const double step = std::fabs(at(x, y, k, T - 1) - at(x, y + 1, k, 0));
                    largest = std::max(largest, step);
                    sum += step;
                    ++count;
                }
            }
    const double span = static_cast<double>(high) - low;
    std::printf("world range %.3f .. %.3f (span %.3f); the tiles' heights %.3f .. %.3f (%s)\n",
                static_cast<double>(low), static_cast<double>(high), span, static_cast<double>(lowest),
                static_cast<double>(highest), lowest >= low && highest <= high ? "covered" : "NOT COVERED");
    std::printf("seams: largest step %.4f (%.3f %% of the range), mean step %.5f over %zu edge vertices\n",
                largest, 100.0 * largest / span, sum / static_cast<double>(count), count);
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "make" && argc >= 3)
    {
        const uint32_t side = argc > 3 ? static_cast<uint32_t>(std::atoi(argv[3])) : 1025;
        const uint32_t tiles = argc > 4 ? static_cast<uint32_t>(std::atoi(argv[4])) : 4;
        std::string error;
        if (!ProjectFile::Save(BenchWorld(side, tiles), argv[2], &error))
        {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (mode == "seams" && argc == 4) return Seams(argv[2], argv[3]);
    std::fprintf(stderr, "usage: WorldBench make PATH [TILE_SIZE] [TILES] | seams DIR NAME\n");
    return 2;
}
