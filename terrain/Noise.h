#pragma once
#include <cstdint>

// Two-dimensional gradient, simplex, value and cellular noise with fBm and ridged fractals.
// Sampling reads the state only, so one generator can be sampled from several threads at once.
class NoiseGenerator
{
  public:
    enum NoiseType : int32_t
    {
        OpenSimplex2 = 0,
        Cellular = 2,
        Perlin = 3,
        ValueCubic = 4,
        Value = 5
    };
    enum FractalType : int32_t
    {
        None = 0,
        FBm = 1,
        Ridged = 2
    };

    // Value at (x, y) with frequency, skew and fractal mode applied.
    float GetNoise(float x, float y) const;
    // One row of samples: out[j] = GetNoise(float(first + j) + offsetX, y) for j < count, with the
    // kernel and fractal mode chosen once for the row. The index is whole before it becomes a float,
    // so a row that starts inside a longer one (a world's tile) gives that row's bits.
    void GetNoiseRow(float offsetX, float y, uint32_t count, float* out, int32_t first = 0) const;
    // One octave of the current kernel at already transformed coordinates.
    float GenNoiseSingle(int32_t seed, float x, float y) const;
    // Recomputes fractalBounding from gain and octaves.
    void CalculateFractalBounding();

    int32_t seed = 1337;
    float frequency = 0.01f;
    int32_t noiseType = OpenSimplex2;
    int32_t fractalType = None;
    int32_t octaves = 3;
    float lacunarity = 2.0f;
    float gain = 0.5f;
    float fractalBounding = 1.0f / 1.75f;
    float cellularJitter = 1.0f;
};

// The published lookup tables: 128 unit gradients and 256 unit vectors, x then y.
extern const float Gradients2D[256];
extern const float RandVecs2D[512];
