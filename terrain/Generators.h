#pragma once
// The start generators as plain functions over a scratch array of heights. Terrain adds the array
// to its flat mesh; tests and benchmarks pass a seeded random source to make a run repeatable.
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

// The C library's rand() as glibc computes it (the additive feedback generator of degree 31 behind
// srand and rand), with a private state: the same sequence as srand(seed) followed by rand() calls,
// without reading or disturbing the global one.
class LibcRandom
{
  public:
    explicit LibcRandom(uint32_t seed);
    int32_t Next();

  private:
    int32_t state[31];
    int front = 3; // the generator adds state[rear] into state[front]
    int rear = 0;
};

// The random sources of one generation: a Mersenne Twister, normal draws from it and (random fault)
// uniform integer draws from it, and the fault signs from a C library rand() sequence. All of them
// start from one seed, which the terrain records so that a project can rebuild the same heights.
struct GeneratorRandom
{
    // Seeded with one value from the platform's random device, as the program does.
    GeneratorRandom();
    explicit GeneratorRandom(uint32_t seed);

    double Normal() { return normal(engine); }
    // Uniform in [0, n].
    uint32_t Uniform(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n)(engine); }
    // The next fault sign draw (its parity decides the sign).
    int SignDraw() { return sign ? sign() : signs.Next(); }

    uint32_t seed = 0;
    std::mt19937 engine;
    std::normal_distribution<double> normal{0.0, 1.0}; // may keep its second value between calls
    LibcRandom signs;
    std::function<int()> sign; // replaces the sign draws when set (tests)
};

namespace Generators
{
// How far a generator is, 0 to 1, reported a few dozen times a second on a large grid; returning
// false stops it (its output is then incomplete and must be dropped).
using Progress = std::function<bool(float fraction)>;

// Sides the diamond-square grid can have: square, 2^n + 1 with n >= 1.
bool IsDiamondSquareSize(uint32_t width, uint32_t height);

// Diamond-square into heights (resized to width * height, vertex order). Logs each step's
// "Step: {}", "Diamond size: {}" and "Square sizes: {}" at critical level. Refuses (returns false,
// heights all 0) a grid that IsDiamondSquareSize rejects, since the diamond phase reads diagonal
// corners that would lie outside it.
bool DiamondSquare(uint32_t width, uint32_t height, float range, float roughness, GeneratorRandom& random,
                   std::vector<float>& heights);
// The same into heights[k * stride] for every vertex k (stride 3 writes the y of interleaved
// positions), each point written once; nothing is written when the size is refused. The draws are
// the same; with a second core they are taken ahead on a thread of their own. False also when
// progress stopped it.
bool DiamondSquare(uint32_t width, uint32_t height, float range, float roughness, GeneratorRandom& random,
                   float* heights, size_t stride, const Progress& progress = {});

// The square step of one point: the mean of its orthogonal neighbours at distance that lie inside
// the grid, plus offset, written to heights and returned; -3.4028235e38 (nothing written) for a point
// outside the grid or without neighbours.
float CalculateSquare(float* heights, uint32_t width, uint32_t height, int32_t x, int32_t y,
                      uint32_t distance, float offset);

// Random fault lines into array (resized to width * height, row r of H, column c of W: r * W + c).
// False when progress stopped it.
bool RandomFault(uint32_t width, uint32_t height, float range, float roughness, uint32_t iterations,
                 GeneratorRandom& random, std::vector<float>& array, const Progress& progress = {});

// Row of the fault line at column c: roundf(c * slope + intercept). A vertical line (c1 = c2) makes
// the value non-finite and gives INT32_MIN, so every row lies past the line; finite values beyond
// 32 bits saturate. Either way no out-of-range float is converted to an integer.
int32_t FaultLineRow(float slope, float intercept, uint32_t column);
} // namespace Generators
