#include "terrain/Heightmap.h"

#include "engine/Log.h"

#include <GL/glew.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
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

std::shared_ptr<Terrain::Heightmap> Terrain::Heightmap::NewSculpt(uint32_t width, uint32_t height,
                                                                  std::vector<float> heights)
{
    // The preview keeps the grid's shape, at most kPreviewSide on its longer side.
    const uint32_t longer = std::max(std::max(width, height), 1u);
    const auto side = [longer](uint32_t n)
    {
        return std::max<uint32_t>(
            1, static_cast<uint32_t>(uint64_t{n} * std::min(longer, kPreviewSide) / longer));
    };
    const uint32_t previewWidth = side(height); // an image of the grid is height pixels wide
    const uint32_t previewHeight = side(width);
    std::unique_ptr<uint8_t[]> grey(new uint8_t[size_t{previewWidth} * previewHeight]);
    std::fill(grey.get(), grey.get() + size_t{previewWidth} * previewHeight, uint8_t{128});
    auto entry = std::make_shared<Heightmap>(previewWidth, previewHeight, 1, std::move(grey), true, false);
    entry->isSculpt = true;
    entry->gridWidth = width;
    entry->gridHeight = height;
    const size_t count = size_t{width} * height;
    entry->sculpt = heights.size() == count ? std::move(heights) : std::vector<float>(count, 0.0f);
    entry->UpdateSculptPreview();
    return entry;
}

void Terrain::Heightmap::UpdateSculptPreview()
{
    if (!isSculpt || !data || channels != 1 || sculpt.size() != size_t{gridWidth} * gridHeight) return;
    // Pixel (x, y) shows vertex (i, j) = (y, x) scaled from the preview's size to the grid's.
    const auto at = [](uint32_t pixel, uint32_t pixels, uint32_t vertices)
    { return pixels <= 1 ? 0u : static_cast<uint32_t>(uint64_t{pixel} * (vertices - 1) / (pixels - 1)); };
    float largest = 0.0f;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
        {
            const float h = sculpt[size_t{at(y, height, gridWidth)} * gridHeight + at(x, width, gridHeight)];
            largest = std::max(largest, std::fabs(h));
        }
    const float scale = largest > 0.0f ? 127.0f / largest : 0.0f;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
        {
            const float h = sculpt[size_t{at(y, height, gridWidth)} * gridHeight + at(x, width, gridHeight)];
            const float v = std::clamp(128.0f + h * scale, 0.0f, 255.0f);
            data[size_t{y} * width + x] = static_cast<uint8_t>(v);
        }
    Texture::Update();
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
    if (isTexture || isErosion || isSculpt)
        return; // images come from their file (and the texture editor), the erosion run or the heights

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
    if (isTexture || isErosion || isSculpt || !settings.smoothHeights || width == 0 || height == 0 ||
        channels != 1)
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
