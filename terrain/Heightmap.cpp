#include "terrain/Heightmap.h"

#include "engine/Log.h"

#include <GL/glew.h>
#include <fmt/format.h>

#include <algorithm>
#include <vector>

// A terrain's image is height texels wide and width rows high (Terrain::ImageWidth).
Terrain::Heightmap::Heightmap(uint32_t width, uint32_t height, const Layers::GridPlace& place)
    : Texture(height, width, 1, false, GL_LINEAR), place(place)
{
    noise.seed = settings.seed;
    Update();
}

Terrain::Heightmap::Heightmap(const std::string& path) : Texture(path)
{
    name = path;
    isTexture = true;
}

Terrain::Heightmap::Heightmap(uint32_t width, uint32_t height, uint32_t channels,
                              std::unique_ptr<uint8_t[]> pixels, bool linear, bool isTexture)
    : Texture(width, height, channels, std::move(pixels), false, linear ? GL_LINEAR : GL_NEAREST)
{
    this->isTexture = isTexture;
}

std::shared_ptr<Terrain::Heightmap> Terrain::Heightmap::NewErosion(uint32_t width, uint32_t height)
{
    std::unique_ptr<uint8_t[]> black(new uint8_t[size_t{width} * height * 3]());
    auto entry = std::make_shared<Heightmap>(height, width, 3, std::move(black), true, false);
    entry->isErosion = true;
    return entry;
}

std::shared_ptr<Terrain::Heightmap> Terrain::Heightmap::LoadTextureLayer(const std::string& path,
                                                                         uint32_t width, uint32_t height,
                                                                         std::string* error)
{
    auto layer = std::make_shared<Heightmap>(path);
    std::string reason;
    if (layer->data == nullptr)
        reason = fmt::format("Layer image {} could not be read.", path);
    else if (layer->width != height || layer->height != width)
        reason = fmt::format(
            "Layer image {} is {} x {}; a {} x {} terrain takes {} x {} (a row per vertex along x).", path,
            layer->width, layer->height, width, height, height, width);
    if (reason.empty()) return layer;
    Log::Error("{}", reason);
    if (error != nullptr) *error = reason;
    return nullptr;
}

void Terrain::Heightmap::Update()
{
    if (isTexture || isErosion)
        return; // images come from their file (and the texture editor) or the erosion run

    if (width == 0 || height == 0 || channels != 1)
    {
        CopySettingsToNoise();
        return;
    }
    std::unique_ptr<uint8_t[]> image(new uint8_t[static_cast<size_t>(width) * height]);
    std::vector<float> levels(settings.smoothHeights ? size_t{width} * height : 0);
    // The image's rows are the grid's columns: the grid is height x width vertices.
    NoiseLayerPixels(settings, noise, height, width, image.get(), levels.empty() ? nullptr : levels.data(),
                     place);
    smoothLevels = std::move(levels);
    Texture::Update(std::move(image));
}

void Terrain::Heightmap::UpdateSmoothLevels()
{
    smoothLevels = std::vector<float>();
    if (isTexture || isErosion || !settings.smoothHeights || width == 0 || height == 0 || channels != 1)
        return;
    std::unique_ptr<uint8_t[]> image(new uint8_t[static_cast<size_t>(width) * height]);
    smoothLevels.resize(size_t{width} * height);
    NoiseLayerPixels(settings, noise, height, width, image.get(), smoothLevels.data(),
                     place); // grid sides, as Update
}

void Terrain::Heightmap::CopySettingsToNoise()
{
    ::CopySettingsToNoise(settings, noise);
}

void Terrain::Heightmap::AppendState(Settings state)
{
    while (states.size() > static_cast<size_t>(currentState) + 1)
        states.pop_back(); // the redo entries
    if (states.size() >= kHistoryLimit) states.pop_front();
    states.push_back(std::make_shared<const Settings>(std::move(state)));
    Log::Trace("New state appended. Size: {}", states.size());
    currentState = static_cast<uint32_t>(states.size() - 1);
}

void Terrain::Heightmap::Undo()
{
    if (currentState == 0 || currentState >= states.size()) return;
    Log::Debug("Terrain generator undo: {} -> {}", currentState, currentState - 1);
    --currentState;
    settings = *states[currentState];
    Update();
}

void Terrain::Heightmap::Redo()
{
    if (states.empty() || static_cast<size_t>(currentState) + 1 >= states.size()) return;
    Log::Debug("Terrain generator redo: {} -> {}", currentState, currentState + 1);
    ++currentState;
    settings = *states[currentState];
    Update();
}

void Terrain::Heightmap::ShowErosionMask()
{
    if (!isErosion || shownMaskGeneration == erosionCache.generation) return;
    shownMaskGeneration = erosionCache.generation;
    const std::vector<uint8_t>& mask = erosionCache.result.mask;
    if (!data || mask.size() != ByteSize()) return;
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[mask.size()]);
    std::copy(mask.begin(), mask.end(), pixels.get());
    Texture::Update(std::move(pixels));
}
