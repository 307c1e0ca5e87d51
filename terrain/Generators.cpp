#include "terrain/Generators.h"

#include "engine/Log.h"
#include "engine/Parallel.h"
#include "engine/Simd.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <utility>

GeneratorRandom::GeneratorRandom() : GeneratorRandom(std::random_device{}()) {}

GeneratorRandom::GeneratorRandom(uint32_t seed) : seed(seed), engine(seed), signs(seed) {}

LibcRandom::LibcRandom(uint32_t seed)
{
    // glibc's srandom_r for its default state of 31 words: a Lehmer sequence fills the state (the
    // seed taken as a 32-bit signed word, 0 as 1), then 310 outputs are thrown away.
    if (seed == 0) seed = 1;
    int32_t word = static_cast<int32_t>(seed);
    state[0] = word;
    for (int i = 1; i < 31; ++i)
    {
        // (16807 * word) % 2147483647 without overflowing 31 bits
        const int64_t hi = word / 127773;
        const int64_t lo = word % 127773;
        int64_t next = 16807 * lo - 2836 * hi;
        if (next < 0) next += 2147483647;
        word = static_cast<int32_t>(next);
        state[i] = word;
    }
    for (int i = 0; i < 310; ++i)
        Next();
}

int32_t LibcRandom::Next()
{
    // Unsigned arithmetic: the words wrap as glibc's do.
    const uint32_t value = static_cast<uint32_t>(state[front]) + static_cast<uint32_t>(state[rear]);
    state[front] = static_cast<int32_t>(value);
    front = front + 1 == 31 ? 0 : front + 1;
    rear = rear + 1 == 31 ? 0 : rear + 1;
    return static_cast<int32_t>(value >> 1);
}

namespace Generators
{
namespace
{
constexpr float kLowest = -3.4028235e38f;
}

bool IsDiamondSquareSize(uint32_t width, uint32_t height)
{
    const uint32_t side = width - 1;
    return width == height && width >= 3 && (side & (side - 1)) == 0;
}

bool DiamondSquare(uint32_t width, uint32_t height, float range, float roughness, GeneratorRandom& random,
                   std::vector<float>& heights)
{
    const size_t W = width;
    const size_t H = height;
    heights.assign(W * H, 0.0f);
    if (!IsDiamondSquareSize(width, height)) return false;

    std::vector<uint8_t> visited(W * H, 0);
    using Point = std::pair<uint32_t, uint32_t>;
    std::deque<Point> diamonds;
    std::deque<Point> squares;
    const auto at = [H](size_t x, size_t y) { return x * H + y; };

    for (size_t corner : {size_t{0}, W - 1, (W - 1) * H, W * H - 1})
    {
        heights[corner] = static_cast<float>(static_cast<double>(range) * random.Normal());
        visited[corner] = 1;
    }
    diamonds.emplace_back(width / 2, height / 2);
    visited[at(width / 2, height / 2)] = 1;

    // Breadth-first with two queues: every point is computed once from points of earlier phases,
    // and the random draws go to the points in queue order.
    uint32_t half = static_cast<uint32_t>(static_cast<float>(width) * 0.5f);
    const double decay = std::pow(2.0, -static_cast<double>(roughness));
    float factor = static_cast<float>(decay);
    const auto queue = [&](std::deque<Point>& target, int64_t x, int64_t y)
    {
        if (x < 0 || y < 0 || x >= static_cast<int64_t>(W) || y >= static_cast<int64_t>(H) ||
            visited[at(x, y)])
            return;
        visited[at(x, y)] = 1;
        target.emplace_back(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
    };

    while (half > 0)
    {
        Log::Critical("Step: {}", half);
        Log::Critical("Diamond size: {}", diamonds.size());
        while (!diamonds.empty())
        {
            const auto [x, y] = diamonds.front();
            diamonds.pop_front();
            const double g = random.Normal();
            // The size check above keeps all four diagonal corners inside the grid.
            const float sum = heights[at(x - half, y + half)] + heights[at(x - half, y - half)] +
                              heights[at(x + half, y - half)] + heights[at(x + half, y + half)];
            heights[at(x, y)] = sum * 0.25f + static_cast<float>(static_cast<double>(factor) * g * range);
            const int64_t X = x;
            const int64_t Y = y;
            queue(squares, X - half, Y);
            queue(squares, X + half, Y);
            queue(squares, X, Y - half);
            queue(squares, X, Y + half);
        }

        const uint32_t next = static_cast<uint32_t>(static_cast<float>(half) * 0.5f);
        Log::Critical("Square sizes: {}", squares.size());
        while (!squares.empty())
        {
            const auto [x, y] = squares.front();
            squares.pop_front();
            const double g = random.Normal();
            CalculateSquare(heights.data(), width, height, static_cast<int32_t>(x), static_cast<int32_t>(y),
                            half, static_cast<float>(static_cast<double>(range) * g * factor));
            if (next > 0)
            {
                const int64_t X = x;
                const int64_t Y = y;
                queue(diamonds, X - next, Y - next);
                queue(diamonds, X + next, Y - next);
                queue(diamonds, X - next, Y + next);
                queue(diamonds, X + next, Y + next);
            }
        }
        half = next;
        factor = static_cast<float>(static_cast<double>(factor) * decay);
    }
    return true;
}

float CalculateSquare(float* heights, uint32_t width, uint32_t height, int32_t x, int32_t y,
                      uint32_t distance, float offset)
{
    const int64_t W = width;
    const int64_t H = height;
    const int64_t X = x;
    const int64_t Y = y;
    if (X < 0 || X >= W || Y < 0 || Y >= H) return kLowest;

    const int64_t d = distance;
    const std::pair<int64_t, int64_t> neighbours[4] = {{X - d, Y}, {X + d, Y}, {X, Y - d}, {X, Y + d}};
    int count = 0;
    float sum = 0.0f;
    for (const auto& [nx, ny] : neighbours)
    {
        if (nx < 0 || nx >= W || ny < 0 || ny >= H) continue;
        sum += heights[nx * H + ny];
        ++count;
    }
    if (count == 0)
    {
        Log::Error("Terrain generation {} failure, cannot divide by 0.", "CalculateSquare");
        return kLowest;
    }
    const float value = sum / static_cast<float>(count) + offset;
    heights[X * H + Y] = value;
    return value;
}

namespace
{
// Rows [begin, end) of one fault: + offset above the line (r < line[c]), - offset elsewhere.
VELMORAN_SIMD_CLONES
void FaultRows(float* __restrict array, size_t W, const int32_t* __restrict line, float offset, size_t begin,
               size_t end)
{
    for (size_t r = begin; r < end; ++r)
    {
        float* __restrict row = array + r * W;
        const int32_t rr = static_cast<int32_t>(r); // rows are 32-bit, like the line values
        for (size_t c = 0; c < W; ++c)
            row[c] += rr < line[c] ? offset : -offset;
    }
}
} // namespace

int32_t FaultLineRow(float slope, float intercept, uint32_t column)
{
    const float v = std::roundf(static_cast<float>(column) * slope + intercept);
    if (!std::isfinite(v)) return INT32_MIN;
    if (v >= 2147483648.0f) return INT32_MAX;
    if (v < -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(v);
}

void RandomFault(uint32_t width, uint32_t height, float range, float roughness, uint32_t iterations,
                 GeneratorRandom& random, std::vector<float>& array)
{
    const size_t W = width;
    const size_t H = height;
    array.assign(W * H, 0.0f);
    if (W == 0 || H == 0) return;

    const double decay = std::pow(2.0, -static_cast<double>(roughness));
    float factor = static_cast<float>(decay);
    std::vector<int32_t> line(W);
    for (uint32_t iteration = 0; iteration < iterations; ++iteration)
    {
        const int s = random.SignDraw();
        const int sign = (s & 1) == 0 ? 1 : -1;
        const uint32_t r1 = random.Uniform(height - 1);
        const uint32_t c1 = random.Uniform(width - 1);
        const uint32_t r2 = random.Uniform(height - 1);
        const uint32_t c2 = random.Uniform(width - 1);
        const float slope = (static_cast<float>(r2) - static_cast<float>(r1)) /
                            (static_cast<float>(c2) - static_cast<float>(c1));
        const float intercept = static_cast<float>(r1) - static_cast<float>(c1) * slope;
        for (uint32_t c = 0; c < width; ++c)
            line[c] = FaultLineRow(slope, intercept, c);

        const double g = random.Normal();
        const float offset = static_cast<float>(g * sign * range * factor);
        // Rows are independent, so they may run on all cores without changing a bit.
        Parallel::For(
            H, [&](size_t begin, size_t end) { FaultRows(array.data(), W, line.data(), offset, begin, end); },
            std::max<size_t>(1, 16384 / W));
        factor = static_cast<float>(decay * static_cast<double>(factor));
    }
}
} // namespace Generators
