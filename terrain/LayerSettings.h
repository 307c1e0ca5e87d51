#pragma once
// A heightmap layer's settings: what the layer panel edits, the settings history keeps, a project
// stores and a noise layer's image is generated from. Terrain::Heightmap::Settings names it.
//
// A new setting is written here (the field, and in Fields), in the panel (editor/LayerPanel.cpp),
// in the project file (io/ProjectFile.cpp, reading and writing) and where it takes effect (for a noise
// setting, NoiseLayerPixels below).
#include "terrain/Erosion.h"
#include "terrain/Layers.h"

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

struct LayerSettings
{
    float power = 1.0f;
    int32_t seed = 0;
    float frequency = 0.01f;
    float offsetX = 0.0f;
    float offsetY = 0.0f;
    int32_t octaves = 3;
    float gain = 0.5f;
    float lacunarity = 2.0f;
    std::string noiseTypeName = "Perlin";
    std::string fractalTypeName = "None";
    int32_t noiseType = 3;
    int32_t fractalType = 0;
    Erosion::Settings erosion; // erosion entries only
    // Noise layers: heights from the unrounded levels, so a large power adds no 1/255 terraces.
    bool smoothHeights = false;

    // Every field, for comparing two records without naming the fields again.
    auto Fields() const
    {
        return std::tie(power, seed, frequency, offsetX, offsetY, octaves, gain, lacunarity, noiseTypeName,
                        fractalTypeName, noiseType, fractalType, erosion, smoothHeights);
    }
};

// Copies the settings into a noise state, as sampling reads them. Without a fractal mode the
// octaves, gain and lacunarity keep their values: sampling does not read them then.
void CopySettingsToNoise(const LayerSettings& settings, NoiseGenerator& noise);

// A noise layer's image of a width x height grid (one byte per vertex, vertex order: height pixels
// wide and width high) from its settings, through noise (the settings are copied into it first).
// levels, when given, receives the unrounded level of every pixel (smooth heights). place: where the
// grid lies in a world (Layers::GridPlace; a lone terrain's is the default).
void NoiseLayerPixels(const LayerSettings& settings, NoiseGenerator& noise, uint32_t width, uint32_t height,
                      uint8_t* out, float* levels = nullptr, const Layers::GridPlace& place = {});
