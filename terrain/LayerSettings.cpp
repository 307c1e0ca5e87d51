#include "terrain/LayerSettings.h"

#include "terrain/Layers.h"
#include "terrain/Noise.h"

void CopySettingsToNoise(const LayerSettings& settings, NoiseGenerator& noise)
{
    noise.seed = settings.seed;
    noise.noiseType = settings.noiseType;
    noise.fractalType = settings.fractalType;
    noise.frequency = settings.frequency;
    if (settings.fractalType != 0)
    {
        noise.octaves = settings.octaves;
        noise.gain = settings.gain;
        noise.CalculateFractalBounding();
        noise.lacunarity = settings.lacunarity;
    }
}

void NoiseLayerPixels(const LayerSettings& settings, NoiseGenerator& noise, uint32_t width, uint32_t height,
                      uint8_t* out, float* levels, const Layers::GridPlace& place)
{
    CopySettingsToNoise(settings, noise);
    std::vector<float> samples;
    Layers::NoiseImage(noise, settings.offsetX, settings.offsetY, width, height, samples, out, levels, place);
}
