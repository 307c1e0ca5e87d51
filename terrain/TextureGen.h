#pragma once
// Diffuse and specular pixels from a terrain's colour bands. The functions fill caller-owned buffers
// (3 bytes per pixel diffuse, 1 byte per pixel specular; pixel k belongs to vertex k) and write only
// the pixels some band covers (or, in height mode, that lie above the last band), so any other pixel
// keeps what the caller put there (zero).
// Terrain::GenerateDiffuseByHeight and Terrain::GenerateDiffuseBySlope wrap them with the textures.
#include "terrain/Gradient.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace TextureGen
{
using GradientList = std::vector<std::unique_ptr<Gradient>>;

// A 0..1 colour component as a byte, trunc(value * 255); values outside the range are clamped
// (NaN gives 0) because converting an out-of-range float to an integer is undefined.
uint8_t UnitToByte(float value);

// trunc(value) reduced modulo 256 the way two's complement wraps it (-1 gives 255), without the
// undefined float-to-uint8 conversion for negative or large values.
uint8_t WrapToByte(float value);

// The 32-bit Mersenne Twister MT19937, giving exactly std::mt19937's sequence for the same seed. It
// refills and tempers its state 624 words at a time in loops the compiler can vectorise, which makes
// it about twice as fast as the standard library's engine; the height bands draw millions of numbers.
class Mt19937
{
  public:
    using result_type = uint32_t;
    static constexpr uint32_t min() { return 0; }
    static constexpr uint32_t max() { return 0xFFFFFFFFu; }

    explicit Mt19937(uint32_t seed = 5489u);
    uint32_t operator()()
    {
        if (next == kStateSize) Refill();
        return output[next++];
    }
    bool operator==(const Mt19937& other) const;

  private:
    static constexpr size_t kStateSize = 624;
    void Refill();

    uint32_t state[kStateSize];
    uint32_t output[kStateSize]; // the tempered words of the current state
    size_t next = kStateSize;
};

// Standard normal doubles from a Mersenne Twister, by the ziggurat method (128 layers, 25-bit
// positions): most draws cost one engine output and a table look-up, where the polar method of the
// standard library costs about five outputs, a logarithm and a square root. Deterministic for a given
// engine state.
class NormalSampler
{
  public:
    double operator()(Mt19937& engine) const;
};

// Height bands over heightmap bytes (0..255). Draws one standard normal number per pixel per gradient
// from engine (NormalSampler), in gradient-then-pixel order, so a seeded engine gives a reproducible
// result. Heights above the last band's upper limit that no band covers take the last band's colour.
void PaintByHeight(const GradientList& gradients, const uint8_t* heights, size_t pixelCount, Mt19937& engine,
                   uint8_t* diffuse, uint8_t* specular);

// Height bands over one channel (0 .. 2) of an RGB erosion mask instead of the heightmap: the same
// spans, decay and draws as PaintByHeight over the channel's bytes.
void PaintByMask(const GradientList& gradients, const uint8_t* rgb, uint32_t channel, size_t pixelCount,
                 Mt19937& engine, uint8_t* diffuse, uint8_t* specular);

// Slope bands over unit vertex normals (x, y, z per pixel): the angle to the up axis in degrees.
void PaintBySlope(const GradientList& gradients, const float* normals, size_t pixelCount, uint8_t* diffuse,
                  uint8_t* specular);

// Degrees between a normal and the up axis, as the slope bands measure it.
float SlopeAngle(float nx, float ny, float nz);
} // namespace TextureGen
