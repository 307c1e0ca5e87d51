#include "terrain/TextureGen.h"

#include "engine/Parallel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <random>

namespace TextureGen
{
namespace
{
// The colour a band writes: three diffuse bytes and one specular byte.
struct BandColor
{
    uint8_t rgb[3];
    uint8_t specular;
};

BandColor ColorOf(const Gradient& g)
{
    return {{UnitToByte(g.color.r), UnitToByte(g.color.g), UnitToByte(g.color.b)}, UnitToByte(g.specular)};
}

inline void Write(const BandColor& c, size_t k, uint8_t* diffuse, uint8_t* specular)
{
    diffuse[3 * k] = c.rgb[0];
    diffuse[3 * k + 1] = c.rgb[1];
    diffuse[3 * k + 2] = c.rgb[2];
    specular[k] = c.specular;
}

// The ziggurat covers the half-density f(x) = exp(-x^2 / 2) with 128 layers of equal area v: layer i
// (i >= 1) is the rectangle 0 <= x < x[i] between heights f(x[i]) and f(x[i+1]); layer 0 is the
// rectangle up to r = x[1] below f(r) together with the tail beyond r, given the width x[0] = v / f(r).
// r and v are the values for which the top layer closes at x = 0.
constexpr int kLayers = 128;
constexpr double kTailStart = 3.442619855899;
constexpr double kLayerArea = 9.91256303526217e-3;

struct Ziggurat
{
    double x[kLayers + 1];
    double f[kLayers + 1];
    double coreRatio[kLayers]; // x[i+1] / x[i]: below it a point lies inside the layer below as well

    Ziggurat()
    {
        x[0] = kLayerArea / std::exp(-0.5 * kTailStart * kTailStart);
        x[1] = kTailStart;
        for (int i = 1; i < kLayers - 1; ++i)
            x[i + 1] = std::sqrt(-2.0 * std::log(kLayerArea / x[i] + std::exp(-0.5 * x[i] * x[i])));
        x[kLayers] = 0.0;
        for (int i = 0; i <= kLayers; ++i)
            f[i] = std::exp(-0.5 * x[i] * x[i]);
        for (int i = 0; i < kLayers; ++i)
            coreRatio[i] = x[i + 1] / x[i];
    }
};

const Ziggurat kZiggurat;

// Uniform in (0, 1), never 0, for logarithms.
double OpenUniform(Mt19937& engine)
{
    return (static_cast<double>(engine()) + 0.5) * 0x1.0p-32;
}
} // namespace

Mt19937::Mt19937(uint32_t seed)
{
    state[0] = seed;
    for (uint32_t i = 1; i < kStateSize; ++i)
        state[i] = 1812433253u * (state[i - 1] ^ (state[i - 1] >> 30)) + i;
}

bool Mt19937::operator==(const Mt19937& other) const
{
    // Engines are equal when they will give the same outputs: same state and position.
    return next == other.next && std::equal(std::begin(state), std::end(state), std::begin(other.state));
}

void Mt19937::Refill()
{
    constexpr size_t n = kStateSize;
    constexpr size_t m = 397;
    auto twist = [](uint32_t current, uint32_t following, uint32_t far)
    {
        const uint32_t y = (current & 0x80000000u) | (following & 0x7FFFFFFFu);
        return far ^ (y >> 1) ^ ((0u - (y & 1u)) & 0x9908B0DFu);
    };
    // Split at the points where the word m ahead wraps round to words already renewed.
    for (size_t k = 0; k < n - m; ++k)
        state[k] = twist(state[k], state[k + 1], state[k + m]);
    for (size_t k = n - m; k < n - 1; ++k)
        state[k] = twist(state[k], state[k + 1], state[k + m - n]);
    state[n - 1] = twist(state[n - 1], state[0], state[m - 1]);
    for (size_t k = 0; k < n; ++k)
    {
        uint32_t y = state[k];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        output[k] = y;
    }
    next = 0;
}

double NormalSampler::operator()(Mt19937& engine) const
{
    const Ziggurat& z = kZiggurat;
    for (;;)
    {
        // One engine output per try: bits 0..6 pick the layer, bits 7..31 the position across it, in
        // [-1, 1) in steps of 2^-24, as fine as the value needs to be for a band border.
        const uint32_t bits = engine();
        const int i = static_cast<int>(bits & (kLayers - 1));
        const double u = static_cast<double>(bits >> 7) * 0x1.0p-24 - 1.0;
        const double x = u * z.x[i];
        if (std::fabs(u) < z.coreRatio[i]) return x;
        if (i == 0)
        {
            // The tail beyond r, by Marsaglia's exponential rejection.
            double t = 0.0;
            double e = 0.0;
            do
            {
                t = -std::log(OpenUniform(engine)) / kTailStart;
                e = -std::log(OpenUniform(engine));
            } while (e + e < t * t);
            return u < 0.0 ? -(kTailStart + t) : kTailStart + t;
        }
        // The wedge between the layer's rectangle and the curve.
        const double y = z.f[i] + OpenUniform(engine) * (z.f[i + 1] - z.f[i]);
        if (y < std::exp(-0.5 * x * x)) return x;
    }
}

uint8_t UnitToByte(float value)
{
    const float scaled = value * 255.0f;
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= 255.0f) return 255;
    return static_cast<uint8_t>(scaled);
}

uint8_t WrapToByte(float value)
{
    // Every float of magnitude 2^63 or more is a multiple of 2^40, hence 0 modulo 256, so the
    // int64 path covers all other finite values exactly.
    if (!(std::fabs(value) < 9.2233720368547758e18f)) return 0;
    const auto truncated = static_cast<int64_t>(value);
    return static_cast<uint8_t>(static_cast<uint64_t>(truncated) & 0xFFu);
}

void PaintByHeight(const GradientList& gradients, const uint8_t* heights, size_t pixelCount, Mt19937& engine,
                   uint8_t* diffuse, uint8_t* specular)
{
    const NormalSampler normal;
    // Heights above the last band's upper limit take its colour (the editor's default spans end at
    // 253, which would leave the peaks black). They are painted with the first band's pass, under
    // whatever a band paints there. The first band starts at 0, so no height lies below it.
    std::array<bool, 256> aboveLast{};
    BandColor lastColor{};
    if (!gradients.empty())
    {
        float lastStart = 0.0f;
        for (size_t n = 0; n + 1 < gradients.size(); ++n)
            lastStart += static_cast<float>(gradients[n]->heightSpan);
        const uint8_t lastUpper = WrapToByte(static_cast<float>(gradients.back()->heightSpan) + lastStart);
        for (int p = 0; p < 256; ++p)
            aboveLast[p] = p > lastUpper;
        lastColor = ColorOf(*gradients.back());
    }

    float start = 0.0f;
    float floor = 0.0f;
    for (size_t n = 0; n < gradients.size(); ++n)
    {
        const Gradient& g = *gradients[n];
        const BandColor color = ColorOf(g);
        const uint8_t upper = WrapToByte(static_cast<float>(g.heightSpan) + start);
        const double startD = static_cast<double>(start);
        const double decayD = static_cast<double>(g.decay);

        // Everything but the decay test depends on the height byte alone.
        std::array<bool, 256> inBand{};
        std::array<bool, 256> aboveStart{};
        for (int p = 0; p < 256; ++p)
        {
            inBand[p] = p <= upper && static_cast<float>(p) >= floor;
            aboveStart[p] = static_cast<double>(p) >= startD;
        }

        // The draws must happen for every pixel, in order, even where they cannot change the outcome:
        // they fix the sequence that later gradients see.
        for (size_t k = 0; k < pixelCount; ++k)
        {
            const double r = normal(engine);
            const uint8_t p = heights[k];
            if (inBand[p] && (aboveStart[p] || static_cast<double>(p) >= startD - std::fabs(decayD * r)))
                Write(color, k, diffuse, specular);
            else if (n == 0 && aboveLast[p])
                Write(lastColor, k, diffuse, specular);
        }

        start += static_cast<float>(g.heightSpan);
        if (n > 0) floor += static_cast<float>(gradients[n - 1]->heightSpan);
    }
}

void PaintByMask(const GradientList& gradients, const uint8_t* rgb, uint32_t channel, size_t pixelCount,
                 Mt19937& engine, uint8_t* diffuse, uint8_t* specular)
{
    if (channel > 2) return;
    std::vector<uint8_t> values(pixelCount);
    for (size_t k = 0; k < pixelCount; ++k)
        values[k] = rgb[3 * k + channel];
    PaintByHeight(gradients, values.data(), pixelCount, engine, diffuse, specular);
}

float SlopeAngle(float nx, float ny, float nz)
{
    float d = nx * 0.0f + ny + nz * 0.0f;
    d = d > 1.0f ? 1.0f : d;
    d = d < -1.0f ? -1.0f : d;
    return std::acos(d) * 57.29578f;
}

void PaintBySlope(const GradientList& gradients, const float* normals, size_t pixelCount, uint8_t* diffuse,
                  uint8_t* specular)
{
    // Later bands overwrite earlier ones, so each pixel takes the last band whose start it reaches:
    // one pass over the pixels instead of one per gradient.
    std::vector<float> thresholds;
    std::vector<BandColor> colors;
    thresholds.reserve(gradients.size());
    colors.reserve(gradients.size());
    float threshold = 0.0f;
    for (const auto& g : gradients)
    {
        thresholds.push_back(threshold);
        colors.push_back(ColorOf(*g));
        threshold += g->slopeSpan;
    }
    const size_t bands = thresholds.size();

    Parallel::For(pixelCount,
                  [&](size_t begin, size_t end)
                  {
                      for (size_t k = begin; k < end; ++k)
                      {
                          const float angle =
                              SlopeAngle(normals[3 * k], normals[3 * k + 1], normals[3 * k + 2]);
                          size_t winner = bands;
                          for (size_t g = 0; g < bands; ++g)
                              if (angle >= thresholds[g]) winner = g;
                          if (winner < bands) Write(colors[winner], k, diffuse, specular);
                      }
                  });
}
} // namespace TextureGen
