// The brush on a Texture's pixels: the buffer operations of Brush.cpp with the texture's upload.
#include "render/Texture.h"
#include "terrain/Brush.h"

size_t Brush::Paint(Texture& texture, glm::vec2 position)
{
    const size_t painted =
        PaintBuffer(texture.data.get(), texture.width, texture.height, texture.channels, position);
    if (texture.data) texture.Update();
    return painted;
}

bool Brush::CopyColor(const Texture& texture)
{
    return CopyColorFromBuffer(texture.data.get(), texture.width, texture.height, texture.channels);
}
