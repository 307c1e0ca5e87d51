#include "terrain/Generators.h"

#include "engine/LargeArrays.h"
#include "engine/Log.h"
#include "engine/Parallel.h"
#include "engine/Simd.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <future>
#include <system_error>
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

namespace
{
// The normal draws of one generation, taken in order. With a second core they are drawn ahead beside
// the caller (Parallel::RunBeside), in blocks, while it computes with the ones before: the same values
// in the same order as calling random.Normal() in the caller, since only the producer draws until
// it ends. total is the number of draws expected; more are drawn directly after it.
class NormalDraws
{
  public:
    NormalDraws(GeneratorRandom& random, size_t total) : random(random), total(total)
    {
        if (total < kMinAhead || Parallel::ThreadCount() < 2) return;
        for (std::vector<double>& block : ring)
            block.resize(kBlock);
        try
        {
            producer = Parallel::RunBeside([this] { Produce(); });
        }
        catch (const std::system_error&)
        {
            // No thread: every draw is taken directly.
        }
    }

    ~NormalDraws() { Stop(); }
    NormalDraws(const NormalDraws&) = delete;
    NormalDraws& operator=(const NormalDraws&) = delete;

    double Next()
    {
        if (next < available) return current[next++];
        if (!producer.valid()) return random.Normal();
        return Refill();
    }

  private:
    static constexpr size_t kBlock = 16384;
    static constexpr size_t kRing = 4;
    static constexpr size_t kMinAhead = 1u << 18; // from 513 x 513 on

    void Produce()
    {
        for (size_t block = 0; block * kBlock < total; ++block)
        {
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stop || block < consumed + kRing; });
                if (stop) return;
            }
            std::vector<double>& slot = ring[block % kRing];
            const size_t count = std::min(kBlock, total - block * kBlock);
            for (size_t n = 0; n < count; ++n)
                slot[n] = random.Normal();
            {
                std::lock_guard<std::mutex> lock(mutex);
                produced = block + 1;
            }
            changed.notify_all();
        }
    }

    double Refill()
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (taken > 0) consumed = taken; // the block read so far is free again
        changed.notify_all();
        if (taken * kBlock >= total)
        {
            // Past the expected draws: the producer has made all of its own; draw here from now on.
            lock.unlock();
            Stop();
            available = next = 0;
            return random.Normal();
        }
        changed.wait(lock, [&] { return produced > taken; });
        current = ring[taken % kRing].data();
        available = std::min(kBlock, total - taken * kBlock);
        ++taken;
        next = 1;
        return current[0];
    }

    void Stop()
    {
        if (!producer.valid()) return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        producer.get();
    }

    GeneratorRandom& random;
    const size_t total;
    std::vector<double> ring[kRing];
    std::future<void> producer;
    std::mutex mutex;
    std::condition_variable changed;
    size_t produced = 0; // blocks filled (guarded by mutex)
    size_t consumed = 0; // blocks handed back (guarded by mutex)
    bool stop = false;
    size_t taken = 0; // blocks taken by the caller
    const double* current = nullptr;
    size_t available = 0;
    size_t next = 0;
};

// Grid points queued for one phase, and which points have been queued.
using Point = std::pair<uint32_t, uint32_t>;

class Visited
{
  public:
    explicit Visited(size_t count) : bits((count + 63) / 64, 0) {}
    // Marks k and returns whether it was marked before.
    bool TestAndSet(size_t k)
    {
        uint64_t& word = bits[k >> 6];
        const uint64_t bit = uint64_t{1} << (k & 63);
        const bool was = (word & bit) != 0;
        word |= bit;
        return was;
    }

  private:
    std::vector<uint64_t> bits;
};
} // namespace

bool DiamondSquare(uint32_t width, uint32_t height, float range, float roughness, GeneratorRandom& random,
                   std::vector<float>& heights)
{
    heights.assign(size_t{width} * height, 0.0f);
    return DiamondSquare(width, height, range, roughness, random, heights.data(), 1);
}

bool DiamondSquare(uint32_t width, uint32_t height, float range, float roughness, GeneratorRandom& random,
                   float* heights, size_t stride, const Progress& progress)
{
    if (!IsDiamondSquareSize(width, height)) return false;
    const size_t W = width;
    const size_t H = height;
    // Every point is computed once: the share of points done is the share of the work done.
    constexpr size_t kReportEvery = size_t{1} << 16;
    size_t done = 0;
    size_t nextReport = kReportEvery;
    const auto keepGoing = [&]
    {
        if (++done < nextReport || !progress) return true;
        nextReport += kReportEvery;
        return progress(static_cast<float>(static_cast<double>(done) / static_cast<double>(W * H)));
    };
    // Every point is queued once (or is a corner) and takes one draw.
    NormalDraws draws(random, W * H);
    Visited visited(W * H);
    const auto at = [H](size_t x, size_t y) { return x * H + y; };
    const auto h = [heights, stride](size_t k) -> float& { return heights[k * stride]; };

    for (size_t corner : {size_t{0}, W - 1, (W - 1) * H, W * H - 1})
    {
        h(corner) = static_cast<float>(static_cast<double>(range) * draws.Next());
        visited.TestAndSet(corner);
    }
    // Breadth-first: each phase takes the points the previous phase queued, in queue order, and
    // queues the next phase's points; every point is computed once from points of earlier phases,
    // and the random draws go to the points in queue order.
    // The last step queues the most points: ((W-1)/2)^2 diamonds and 2 p (p+1) squares, p = (W-1)/2.
    // Both lists are allocated once at that size and reused by every step.
    const size_t lastPerLine = (W - 1) / 2;
    std::vector<Point> diamonds;
    std::vector<Point> squares;
    diamonds.reserve(lastPerLine * lastPerLine);
    squares.reserve(2 * lastPerLine * (lastPerLine + 1));
    LargeArrays::AdviseHugePages(diamonds.data(), diamonds.capacity() * sizeof(Point));
    LargeArrays::AdviseHugePages(squares.data(), squares.capacity() * sizeof(Point));
    diamonds.emplace_back(width / 2, height / 2);
    visited.TestAndSet(at(width / 2, height / 2));

    uint32_t half = static_cast<uint32_t>(static_cast<float>(width) * 0.5f);
    const double decay = std::pow(2.0, -static_cast<double>(roughness));
    float factor = static_cast<float>(decay);
    const auto queue = [&](std::vector<Point>& target, int64_t x, int64_t y)
    {
        if (x < 0 || y < 0 || x >= static_cast<int64_t>(W) || y >= static_cast<int64_t>(H) ||
            visited.TestAndSet(at(static_cast<size_t>(x), static_cast<size_t>(y))))
            return;
        target.emplace_back(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
    };

    while (half > 0)
    {
        Log::Critical("Step: {}", half);
        Log::Critical("Diamond size: {}", diamonds.size());
        squares.clear();
        for (const auto& [x, y] : diamonds)
        {
            const double g = draws.Next();
            // The size check above keeps all four diagonal corners inside the grid.
            const float sum = h(at(x - half, y + half)) + h(at(x - half, y - half)) +
                              h(at(x + half, y - half)) + h(at(x + half, y + half));
            h(at(x, y)) = sum * 0.25f + static_cast<float>(static_cast<double>(factor) * g * range);
            const int64_t X = x;
            const int64_t Y = y;
            queue(squares, X - half, Y);
            queue(squares, X + half, Y);
            queue(squares, X, Y - half);
            queue(squares, X, Y + half);
            if (!keepGoing()) return false;
        }

        const uint32_t next = static_cast<uint32_t>(static_cast<float>(half) * 0.5f);
        Log::Critical("Square sizes: {}", squares.size());
        diamonds.clear();
        for (const auto& [x, y] : squares)
        {
            const double g = draws.Next();
            const int64_t X = x;
            const int64_t Y = y;
            // CalculateSquare on the strided heights: the orthogonal neighbours inside the grid.
            int count = 0;
            float sum = 0.0f;
            const int64_t d = half;
            const std::pair<int64_t, int64_t> neighbours[4] = {
                {X - d, Y}, {X + d, Y}, {X, Y - d}, {X, Y + d}};
            for (const auto& [nx, ny] : neighbours)
            {
                if (nx < 0 || nx >= static_cast<int64_t>(W) || ny < 0 || ny >= static_cast<int64_t>(H))
                    continue;
                sum += h(at(static_cast<size_t>(nx), static_cast<size_t>(ny)));
                ++count;
            }
            if (count > 0)
                h(at(x, y)) = sum / static_cast<float>(count) +
                              static_cast<float>(static_cast<double>(range) * g * factor);
            else // as CalculateSquare; a 2^n + 1 grid has no such point
                Log::Error("Terrain generation {} failure, cannot divide by 0.", "CalculateSquare");
            if (next > 0)
            {
                queue(diamonds, X - next, Y - next);
                queue(diamonds, X + next, Y - next);
                queue(diamonds, X - next, Y + next);
                queue(diamonds, X + next, Y + next);
            }
            if (!keepGoing()) return false;
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

bool RandomFault(uint32_t width, uint32_t height, float range, float roughness, uint32_t iterations,
                 GeneratorRandom& random, std::vector<float>& array, const Progress& progress)
{
    const size_t W = width;
    const size_t H = height;
    array.assign(W * H, 0.0f);
    if (W == 0 || H == 0) return true;

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
        // A fault over a 4097 x 4097 grid takes some milliseconds: asking after each one is cheap.
        if (progress && !progress(static_cast<float>(static_cast<double>(iteration + 1) /
                                                     static_cast<double>(iterations))))
            return false;
    }
    return true;
}
} // namespace Generators
