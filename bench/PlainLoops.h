#pragma once
// Plain single-threaded loops that do the terrain work exactly as the algorithms are written, one
// point after another. The benchmarks time the library's passes against them and check that both
// give the same bytes and floats.
#include "terrain/Generators.h"
#include "terrain/Layers.h"
#include "terrain/Noise.h"
#include "terrain/TerrainGrid.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace plain
{
inline std::vector<uint8_t> NoiseLayer(const NoiseGenerator& noise, float offsetX, float offsetY, uint32_t W,
                                       uint32_t H)
{
    std::vector<float> samples(size_t{W} * H);
    float smallest = 3.4028235e38f;
    float largest = -3.4028235e38f;
    for (uint32_t i = 0; i < W; ++i)
        for (uint32_t j = 0; j < H; ++j)
        {
            const float s = noise.GetNoise(static_cast<float>(j) + offsetX, static_cast<float>(i) + offsetY);
            samples[size_t{i} * H + j] = s;
            smallest = s < smallest ? s : smallest;
            largest = largest < s ? s : largest;
        }
    const float scale = 255.0f / (largest - smallest);
    std::vector<uint8_t> bytes(samples.size());
    for (size_t k = 0; k < samples.size(); ++k)
    {
        float v = (samples[k] - smallest) * scale;
        if (v > 255.0f) v = 255.0f;
        if (!(v > 0.0f)) v = 0.0f;
        bytes[k] = static_cast<uint8_t>(std::roundf(v));
    }
    return bytes;
}

struct Layer
{
    const uint8_t* data;
    uint32_t channels;
    float power;
};

struct Heights
{
    std::vector<float> positions;
    float minHeight;
    float maxHeight;
};

// Base heights, then each layer added in turn with its own min and max pass.
inline Heights ApplyHeightmaps(const std::vector<float>& base, uint32_t W, uint32_t H,
                               const std::vector<Layer>& layers)
{
    Heights out{base, 3.4028235e38f, -3.4028235e38f};
    if (layers.empty())
    {
        for (size_t k = 0; k < size_t{W} * H; ++k)
        {
            const float y = out.positions[3 * k + 1];
            out.maxHeight = out.maxHeight < y ? y : out.maxHeight;
            out.minHeight = y < out.minHeight ? y : out.minHeight;
        }
    }
    for (const Layer& layer : layers)
    {
        out.maxHeight = -3.4028235e38f;
        out.minHeight = 3.4028235e38f;
        const uint32_t offset = layer.channels >= 3 ? 1 : 0;
        for (uint32_t i = 0; i < W; ++i)
            for (uint32_t j = 0; j < H; ++j)
            {
                const size_t k = size_t{i} * H + j;
                float& y = out.positions[3 * k + 1];
                y += static_cast<float>(layer.data[layer.channels * k + offset]) * 0.003921569f * layer.power;
                out.maxHeight = out.maxHeight < y ? y : out.maxHeight;
                out.minHeight = y < out.minHeight ? y : out.minHeight;
            }
    }
    return out;
}

inline std::vector<uint8_t> HeightmapBytes(const Heights& h, size_t count)
{
    std::vector<uint8_t> bytes(count);
    const float scale = static_cast<float>(1.0 / (h.maxHeight - h.minHeight));
    for (size_t k = 0; k < count; ++k)
    {
        float v = static_cast<float>((h.positions[3 * k + 1] - h.minHeight) * 255.0 * scale);
        v = v > 255.0f ? 255.0f : v;
        v = v > 0.0f ? v : 0.0f;
        bytes[k] = static_cast<uint8_t>(v);
    }
    return bytes;
}

// Six triangle normals per vertex, each computed where it is used.
inline void Normals(const std::vector<float>& positions, uint32_t W, uint32_t H, std::vector<float>& normals,
                    std::vector<uint8_t>& bytes)
{
    normals.resize(positions.size());
    bytes.resize(positions.size());
    for (uint32_t i = 0; i < W; ++i)
        for (uint32_t j = 0; j < H; ++j)
        {
            const size_t k = size_t{i} * H + j;
            TerrainGrid::VertexNormalDirect(positions.data(), W, H, i, j, &normals[3 * k]);
        }
    for (size_t n = 0; n < normals.size(); n += 3)
    {
        // trunc((n + 1) * 0.5 * 255); a NaN (degenerate) normal gives 0
        const auto byte = [](float n)
        {
            const float v = (n + 1.0f) * 0.5f * 255.0f;
            return v > 0.0f ? (v < 255.0f ? static_cast<uint8_t>(v) : uint8_t{255}) : uint8_t{0};
        };
        bytes[n] = byte(normals[n]);
        bytes[n + 1] = byte(normals[n + 2]);
        bytes[n + 2] = byte(normals[n + 1]);
    }
}

inline std::vector<float> RandomFault(uint32_t W, uint32_t H, float range, float roughness,
                                      uint32_t iterations, GeneratorRandom& random)
{
    std::vector<float> array(size_t{W} * H, 0.0f);
    const double decay = std::pow(2.0, -static_cast<double>(roughness));
    float factor = static_cast<float>(decay);
    std::vector<int32_t> line(W);
    for (uint32_t it = 0; it < iterations; ++it)
    {
        const int sign = (random.sign() & 1) == 0 ? 1 : -1;
        const uint32_t r1 = random.Uniform(H - 1), c1 = random.Uniform(W - 1);
        const uint32_t r2 = random.Uniform(H - 1), c2 = random.Uniform(W - 1);
        const float slope = (float(r2) - float(r1)) / (float(c2) - float(c1));
        const float intercept = float(r1) - float(c1) * slope;
        for (uint32_t c = 0; c < W; ++c)
            line[c] = Generators::FaultLineRow(slope, intercept, c);
        const float offset = static_cast<float>(random.Normal() * sign * range * factor);
        for (uint32_t r = 0; r < H; ++r)
            for (uint32_t c = 0; c < W; ++c)
            {
                if (static_cast<int32_t>(r) < line[c])
                    array[size_t{r} * W + c] += offset;
                else
                    array[size_t{r} * W + c] -= offset;
            }
        factor = static_cast<float>(decay * double(factor));
    }
    return array;
}
} // namespace plain

namespace bench
{
// Median wall time of repeated runs, in milliseconds.
inline double TimeMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int r = 0; r < runs; ++r)
    {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Median processor time of the calling process over repeated runs, in milliseconds: on one thread
// this is the wall time the work would take on an idle machine.
inline double CpuMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int r = 0; r < runs; ++r)
    {
        const std::clock_t start = std::clock();
        work();
        times.push_back(1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

template <typename T> bool SameBits(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

inline void Row(const char* what, double plainMs, double fastMs, bool identical)
{
    std::printf("%-34s plain %9.2f ms   ours %9.2f ms   x%5.2f   %s\n", what, plainMs, fastMs,
                plainMs / fastMs, identical ? "identical" : "DIFFERENT");
}
} // namespace bench
