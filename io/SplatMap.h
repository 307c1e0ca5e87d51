#pragma once
// A splat map: the weights of up to four colour bands per vertex, as the red, green, blue and alpha
// channels of an image, the layout engines' terrain texturing takes. The weights follow the bands of
// the diffuse generation (terrain/TextureGen.h) exactly, except that where the height bands dither a
// border at random ("decay"), the weight is the chance the dither gives the band; so the weights of a
// pixel are what the diffuse texture shows there, on average.
//   - Height bands: band g covers heightmap values start(g) .. start(g) + heightSpan inclusive and
//     no lower than the start of the band before it; a decay d lets it reach x below its start with
//     the chance P(|d r| >= x) = erfc(x / (|d| sqrt 2)) for a standard normal r. Later bands win.
//   - Slope bands: the last band whose start angle the slope reaches takes the pixel.
// Bands past the fourth still cover pixels (their weight is lost), and a pixel no band covers has
// weight 0 everywhere, where the diffuse texture is black.
#include "terrain/Gradient.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace SplatMap
{
enum class Mode
{
    Height,
    Slope
};

inline constexpr size_t kChannels = 4;

// Four weight bytes per vertex in vertex order. heightBytes (height mode) are the heightmap values
// 0..255 of the vertices (TerrainGrid::HeightByte); normals (slope mode) unit x, y, z per vertex.
// The bytes of a pixel add up to 255 times the share the first four bands cover, rounded.
void Weights(const std::vector<Gradient>& gradients, Mode mode, const uint8_t* heightBytes,
             const float* normals, size_t count, uint8_t* rgba);
} // namespace SplatMap
