#pragma once
// Helpers shared by the terrain tests.
#include "terrain/Noise.h"

#include "tests/support/TestCommon.h"

namespace terraintest
{
inline uint32_t Bits(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// Bit for bit: a -0 for a +0 counts, and equal NaNs match.
inline bool SameBits(const float* a, const float* b, size_t n)
{
    return std::memcmp(a, b, n * sizeof(float)) == 0;
}
inline bool SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && SameBits(a.data(), b.data(), a.size());
}

// The y of each vertex of interleaved x, y, z positions.
inline std::vector<float> Heights(const std::vector<float>& positions)
{
    std::vector<float> y;
    for (size_t n = 1; n < positions.size(); n += 3)
        y.push_back(positions[n]);
    return y;
}

inline NoiseGenerator MakeNoise(int32_t type, int32_t fractal, int32_t seed, float frequency,
                                int32_t octaves = 3, float gain = 0.5f, float lacunarity = 2.0f)
{
    NoiseGenerator noise{seed, frequency, type, fractal, octaves, lacunarity, gain};
    noise.CalculateFractalBounding();
    return noise;
}
} // namespace terraintest
