#pragma once
// The texture brush: one state shared by every texture editor window, and the operations over a
// texture's pixel buffer in texel coordinates. The editor window only maps the mouse onto the image
// (Brush::ImageToTexel) and forwards the result to Paint or Pick.
#include "terrain/TerrainGrid.h"

#include <glm/vec2.hpp>
#include <glm/vec4.hpp>

#include <cstddef>
#include <cstdint>

class Texture;

enum class BrushShape
{
    Square,
    Circle
};

struct Brush
{
    BrushShape shape = BrushShape::Square;
    int32_t size = 1;             // diameter in texels, at least 1
    bool raiseLower = false;      // add amount instead of setting pickColor (1- and 2-channel textures only)
    glm::vec4 pickColor{0.0f};    // set mode writes component c into channel c
    int32_t amount = 0;           // -255..255, added in raise/lower mode
    glm::vec2 lastPosition{0.0f}; // texel coordinates of the last paint or pick

    // Texel coordinates of a mouse position over the editor image. The image shows the texture at
    // imageWidth pixels wide, flipped so texel row 0 is at its bottom; imageTopLeft is its corner.
    static glm::vec2 ImageToTexel(glm::vec2 mouse, glm::vec2 imageTopLeft, float imageWidth,
                                  uint32_t textureWidth, uint32_t textureHeight);

    // Raise/lower is offered only for one- and two-channel textures; the editor calls this every frame.
    void AdaptToChannels(uint32_t channels);

    // One dab centred on the texel position into a width x height buffer of the given channels (at most
    // 4 are written); texels outside the buffer are skipped. Stores lastPosition; returns the texels painted.
    size_t PaintBuffer(uint8_t* data, uint32_t width, uint32_t height, uint32_t channels, glm::vec2 position);
    // The texels a dab at position may paint in a width x height texture: rows are y, columns x.
    TerrainGrid::Region DabTexels(glm::vec2 position, uint32_t width, uint32_t height) const;
    // PaintBuffer on the texture's pixels, then one upload of the whole image.
    size_t Paint(Texture& texture, glm::vec2 position);

    // Right-click: remembers the position that "Copy color" reads.
    void Pick(glm::vec2 position) { lastPosition = position; }
    // "Copy color": channel c of the texel at lastPosition, divided by 255, into pickColor[c]; the other
    // components keep their values. Returns false (copying nothing) when the texel lies outside.
    bool CopyColorFromBuffer(const uint8_t* data, uint32_t width, uint32_t height, uint32_t channels);
    bool CopyColor(const Texture& texture);
};
