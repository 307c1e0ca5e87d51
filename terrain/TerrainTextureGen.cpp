// The Terrain's band members: the diffuse and specular textures painted from the gradients
// (TextureGen.h), with the textures they fill and the band record a project keeps.
#include "render/Texture.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"
#include "terrain/TextureGen.h"

#include <GL/glew.h>

#include <random>

namespace
{
// Creates the diffuse (3 channels) and specular (1 channel) textures on first use; a texture that does
// not match the grid cannot take the new buffers, so it is replaced as well.
void EnsureBandTextures(Terrain& terrain, bool diffuseMipmaps)
{
    auto fits = [&](const std::unique_ptr<Texture>& texture, uint32_t channels)
    {
        return texture && texture->width == terrain.ImageWidth() &&
               texture->height == terrain.ImageHeight() && texture->channels == channels;
    };
    if (!fits(terrain.diffuseTexture, 3))
        terrain.diffuseTexture = std::make_unique<Texture>(terrain.ImageWidth(), terrain.ImageHeight(), 3,
                                                           diffuseMipmaps, GL_LINEAR);
    if (!fits(terrain.specularTexture, 1))
        terrain.specularTexture =
            std::make_unique<Texture>(terrain.ImageWidth(), terrain.ImageHeight(), 1, false, GL_LINEAR);
}

// Zeroed buffers: a pixel that no band covers stays 0.
struct BandBuffers
{
    explicit BandBuffers(size_t pixels) : diffuse(new uint8_t[3 * pixels]()), specular(new uint8_t[pixels]())
    {
    }
    void HandTo(Terrain& terrain)
    {
        terrain.diffuseTexture->Update(std::move(diffuse));
        terrain.specularTexture->Update(std::move(specular));
    }
    std::unique_ptr<uint8_t[]> diffuse;
    std::unique_ptr<uint8_t[]> specular;
};
} // namespace

void Terrain::GenerateDiffuseByHeight()
{
    const size_t pixels = static_cast<size_t>(width) * height;
    if (pixels == 0 || !heightmapTexture || !heightmapTexture->data || heightmapTexture->ByteSize() < pixels)
        return;
    EnsureBandTextures(*this, false);
    BandBuffers buffers(pixels);
    bandRecord = {BandRecord::Mode::Height, 0};
    if (!gradients.empty())
    {
        bandRecord.seed = std::random_device{}();
        TextureGen::Mt19937 engine(bandRecord.seed);
        TextureGen::PaintByHeight(gradients, heightmapTexture->data.get(), pixels, engine,
                                  buffers.diffuse.get(), buffers.specular.get());
    }
    buffers.HandTo(*this);
}

void Terrain::GenerateDiffuseBySlope()
{
    const size_t pixels = static_cast<size_t>(width) * height;
    if (pixels == 0 || normals.size() < 3 * pixels) return;
    EnsureBandTextures(*this, true);
    BandBuffers buffers(pixels);
    bandRecord = {BandRecord::Mode::Slope, 0};
    if (!gradients.empty())
        TextureGen::PaintBySlope(gradients, normals.data(), pixels, buffers.diffuse.get(),
                                 buffers.specular.get());
    buffers.HandTo(*this);
}

void Terrain::GenerateDiffuseByMask(const std::shared_ptr<Heightmap>& entry, uint32_t channel)
{
    const size_t pixels = static_cast<size_t>(width) * height;
    if (pixels == 0 || !entry || !entry->isErosion || !entry->data || entry->channels != 3 ||
        entry->ByteSize() != 3 * pixels || channel > 2)
        return;
    EnsureBandTextures(*this, false);
    BandBuffers buffers(pixels);
    bandRecord = {BandRecord::Mode::Mask, 0, entry, channel};
    if (!gradients.empty())
    {
        bandRecord.seed = std::random_device{}();
        TextureGen::Mt19937 engine(bandRecord.seed);
        TextureGen::PaintByMask(gradients, entry->data.get(), channel, pixels, engine, buffers.diffuse.get(),
                                buffers.specular.get());
    }
    buffers.HandTo(*this);
}
