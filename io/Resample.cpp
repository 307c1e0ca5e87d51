#include "io/Resample.h"

#include "engine/Parallel.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{
// The old samples and weights that make one new sample along one axis, and the range of the samples
// the bicubic filter holds it in.
struct Taps
{
    uint32_t index[4];
    float weight[4];
    int count = 0;
    bool clamp = false;

    float Held(float value, const float* samples, size_t stride) const
    {
        if (!clamp) return value;
        float low = samples[index[0] * stride], high = low;
        for (int k = 1; k < count; ++k)
        {
            low = std::min(low, samples[index[k] * stride]);
            high = std::max(high, samples[index[k] * stride]);
        }
        return std::clamp(value, low, high);
    }
};

// Adds weight w of sample index (which may lie outside the grid) to the taps. Outside samples are
// extended linearly from the two border samples, so a sloped edge keeps its slope instead of
// flattening, and a plane stays a plane up to the border.
void AddTap(Taps& tap, int64_t index, double w, int64_t last)
{
    auto add = [&](int64_t at, double weight)
    {
        for (int k = 0; k < tap.count; ++k)
            if (tap.index[k] == static_cast<uint32_t>(at))
            {
                tap.weight[k] += static_cast<float>(weight);
                return;
            }
        // Samples beyond the border fold onto indices the taps hold already, so four always suffice.
        if (tap.count == 4) return;
        tap.index[tap.count] = static_cast<uint32_t>(at);
        tap.weight[tap.count] = static_cast<float>(weight);
        ++tap.count;
    };
    if (w == 0.0) return;
    if (index < 0)
    {
        add(0, w * static_cast<double>(1 - index));
        add(1, w * static_cast<double>(index));
    }
    else if (index > last)
    {
        add(last, w * static_cast<double>(1 + index - last));
        add(last - 1, -w * static_cast<double>(index - last));
    }
    else
        add(index, w);
}

std::vector<Taps> AxisTaps(uint32_t oldCount, uint32_t newCount, double step, Resample::Filter filter)
{
    std::vector<Taps> taps(newCount);
    const int64_t last = static_cast<int64_t>(oldCount) - 1;
    for (uint32_t n = 0; n < newCount; ++n)
    {
        const double x = std::min(static_cast<double>(n) * step, static_cast<double>(last));
        const double base = std::floor(x);
        const int64_t i = static_cast<int64_t>(base);
        const double t = x - base;
        Taps& tap = taps[n];
        tap.count = 0;
        if (filter == Resample::Filter::Bilinear)
        {
            AddTap(tap, i, 1.0 - t, last);
            AddTap(tap, i + 1, t, last);
        }
        else
        {
            tap.clamp = true;
            // Catmull-Rom weights of the samples at i-1, i, i+1, i+2.
            const double t2 = t * t, t3 = t2 * t;
            AddTap(tap, i - 1, 0.5 * (-t3 + 2.0 * t2 - t), last);
            AddTap(tap, i, 0.5 * (3.0 * t3 - 5.0 * t2 + 2.0), last);
            AddTap(tap, i + 1, 0.5 * (-3.0 * t3 + 4.0 * t2 + t), last);
            AddTap(tap, i + 2, 0.5 * (t3 - t2), last);
        }
    }
    return taps;
}
} // namespace

Resample::Size Resample::SizeFor(uint32_t width, uint32_t height, float vertexDistance, uint32_t side)
{
    Size size;
    const uint32_t longer = std::max(width, height);
    if (longer < 2 || side < 2)
    {
        size.width = width;
        size.height = height;
        size.vertexDistance = vertexDistance;
        size.vertexDistanceZ = vertexDistance;
        return size;
    }
    const double step = static_cast<double>(longer - 1) / static_cast<double>(side - 1);
    auto count = [&](uint32_t old)
    { return static_cast<uint32_t>(std::max<int64_t>(2, std::llround((old - 1) / step) + 1)); };
    size.width = width == longer ? side : count(width);
    size.height = height == longer ? side : count(height);
    // Each axis its own step, so that its last new vertex lands on its last old one.
    size.stepI = static_cast<double>(width - 1) / static_cast<double>(size.width - 1);
    size.stepJ = static_cast<double>(height - 1) / static_cast<double>(size.height - 1);
    size.vertexDistance = static_cast<float>(static_cast<double>(vertexDistance) * size.stepI);
    size.vertexDistanceZ = static_cast<float>(static_cast<double>(vertexDistance) * size.stepJ);
    return size;
}

void Resample::Grid(const float* in, uint32_t width, uint32_t height, uint32_t channels, const Size& size,
                    Filter filter, float* out)
{
    if (width < 2 || height < 2) return;
    const std::vector<Taps> alongI = AxisTaps(width, size.width, size.stepI, filter);
    const std::vector<Taps> alongJ = AxisTaps(height, size.height, size.stepJ, filter);
    const size_t C = channels, H = height, newH = size.height;

    // Separable: first along j for every old row i, then along i.
    std::vector<float> rows(static_cast<size_t>(width) * newH * C);
    Parallel::For(
        width,
        [&](size_t begin, size_t end)
        {
            for (size_t i = begin; i < end; ++i)
                for (size_t n = 0; n < newH; ++n)
                {
                    const Taps& tap = alongJ[n];
                    for (size_t c = 0; c < C; ++c)
                    {
                        const float* samples = in + i * H * C + c;
                        float sum = 0.0f;
                        for (int k = 0; k < tap.count; ++k)
                            sum += tap.weight[k] * samples[tap.index[k] * C];
                        rows[(i * newH + n) * C + c] = tap.Held(sum, samples, C);
                    }
                }
        },
        16);
    Parallel::For(
        size.width,
        [&](size_t begin, size_t end)
        {
            for (size_t m = begin; m < end; ++m)
            {
                const Taps& tap = alongI[m];
                float* target = out + m * newH * C;
                std::fill(target, target + newH * C, 0.0f);
                for (int k = 0; k < tap.count; ++k)
                {
                    const float w = tap.weight[k];
                    const float* source = rows.data() + static_cast<size_t>(tap.index[k]) * newH * C;
                    for (size_t v = 0; v < newH * C; ++v)
                        target[v] += w * source[v];
                }
                if (tap.clamp)
                    for (size_t v = 0; v < newH * C; ++v)
                        target[v] = tap.Held(target[v], rows.data() + v, newH * C);
            }
        },
        16);
}
