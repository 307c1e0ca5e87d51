#pragma once
// The reference OpenSimplex2 is timed against: the published two-dimensional kernel written as a
// careful scalar loop, one sample at a time. Careful means what a good hand-written loop does short
// of changing the evaluation scheme: the settings read once into locals, the row's y scaled once,
// one template instance per fractal mode (no dispatch per sample), the kernel inlined, FastFloor
// without a branch, hashing in wrap-around unsigned arithmetic, and the contribution branches kept
// as branches (they follow the smooth noise and are predicted well; computing all three and
// selecting measured slower here). Vectorisation is switched off for it so that it stays scalar.
// It gives the same bits as NoiseGenerator::GetNoise.
#include "terrain/Noise.h"

#include <cmath>
#include <cstdint>

namespace reference
{
#if defined(__GNUC__) && !defined(__clang__)
#define VELMORAN_SCALAR __attribute__((optimize("no-tree-vectorize", "no-tree-slp-vectorize")))
#else
#define VELMORAN_SCALAR
#endif

VELMORAN_SCALAR inline float ScalarOpenSimplex2(uint32_t seed, float x, float y)
{
    constexpr uint32_t kPrimeX = 501125321u;
    constexpr uint32_t kPrimeY = 1136930381u;
    constexpr float G2 = 0.21132487f;
    const auto floorOf = [](float f)
    { return static_cast<uint32_t>(static_cast<int32_t>(f)) - (f >= 0 ? 0u : 1u); };
    const auto grad = [seed](uint32_t xPrimed, uint32_t yPrimed, float xd, float yd)
    {
        uint32_t hash = (seed ^ xPrimed ^ yPrimed) * 0x27D4EB2Du;
        hash ^= static_cast<uint32_t>(static_cast<int32_t>(hash) >> 15);
        hash &= 254u;
        return xd * Gradients2D[hash] + yd * Gradients2D[hash + 1];
    };

    const uint32_t i = floorOf(x);
    const uint32_t j = floorOf(y);
    const float xi = x - static_cast<float>(static_cast<int32_t>(i));
    const float yi = y - static_cast<float>(static_cast<int32_t>(j));
    const float t = (xi + yi) * G2;
    const float x0 = xi - t;
    const float y0 = yi - t;
    const uint32_t iPrimed = i * kPrimeX;
    const uint32_t jPrimed = j * kPrimeY;

    const float a = 0.5f - x0 * x0 - y0 * y0;
    const float e0 = a > 0 ? (a * a) * (a * a) * grad(iPrimed, jPrimed, x0, y0) : 0.0f;
    const float c = (a - 0.66666663f) + t * 3.1547005f;
    const float e2 = c > 0
                         ? (c * c) * (c * c) *
                               grad(iPrimed + kPrimeX, jPrimed + kPrimeY, x0 - 0.57735026f, y0 - 0.57735026f)
                         : 0.0f;
    float e1;
    if (y0 > x0)
    {
        const float x1 = x0 + G2;
        const float y1 = y0 - 0.78867513f;
        const float b = 0.5f - x1 * x1 - y1 * y1;
        e1 = b > 0 ? (b * b) * (b * b) * grad(iPrimed, jPrimed + kPrimeY, x1, y1) : 0.0f;
    }
    else
    {
        const float x1 = x0 - 0.78867513f;
        const float y1 = y0 + G2;
        const float b = 0.5f - x1 * x1 - y1 * y1;
        e1 = b > 0 ? (b * b) * (b * b) * grad(iPrimed + kPrimeX, jPrimed, x1, y1) : 0.0f;
    }
    return (e0 + e1 + e2) * 99.836853f;
}

// One row of an OpenSimplex2 layer, fractal mode None or FBm: out[j] = GetNoise(j + offsetX, y).
template <bool Fbm>
VELMORAN_SCALAR void OpenSimplex2Row(const NoiseGenerator& noise, float offsetX, float y, uint32_t count,
                                     float* out)
{
    const float frequency = noise.frequency;
    const float lacunarity = noise.lacunarity;
    const float gain = noise.gain;
    const float bounding = noise.fractalBounding;
    const int32_t octaves = noise.octaves;
    const uint32_t seed = static_cast<uint32_t>(noise.seed);
    const float yf = y * frequency;
    for (uint32_t k = 0; k < count; ++k)
    {
        const float xf = (static_cast<float>(k) + offsetX) * frequency;
        const float t = (xf + yf) * 0.36602539f;
        float xs = xf + t;
        float ys = yf + t;
        if constexpr (Fbm)
        {
            float sum = 0.0f;
            float amp = bounding;
            uint32_t s = seed;
            for (int32_t octave = 0; octave < octaves; ++octave)
            {
                sum += ScalarOpenSimplex2(s++, xs, ys) * amp;
                amp *= gain;
                xs *= lacunarity;
                ys *= lacunarity;
            }
            out[k] = sum;
        }
        else
        {
            out[k] = ScalarOpenSimplex2(seed, xs, ys);
        }
    }
}
} // namespace reference
