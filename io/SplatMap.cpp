#include "io/SplatMap.h"

#include "engine/Parallel.h"
#include "terrain/TextureGen.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace
{
using Weights4 = std::array<double, SplatMap::kChannels>;

// Bytes of four shares that add up to the rounded total: the largest remainders get the spare units.
void ToBytes(const Weights4& w, uint8_t* out)
{
    double total = 0.0;
    int units[SplatMap::kChannels];
    double remainder[SplatMap::kChannels];
    int given = 0;
    for (size_t c = 0; c < SplatMap::kChannels; ++c)
    {
        const double scaled = w[c] * 255.0;
        total += scaled;
        units[c] = static_cast<int>(std::floor(scaled));
        remainder[c] = scaled - units[c];
        given += units[c];
    }
    int spare = static_cast<int>(std::lround(total)) - given;
    while (spare-- > 0)
    {
        const size_t best =
            static_cast<size_t>(std::max_element(remainder, remainder + SplatMap::kChannels) - remainder);
        ++units[best];
        remainder[best] = -1.0;
    }
    for (size_t c = 0; c < SplatMap::kChannels; ++c)
        out[c] = static_cast<uint8_t>(std::clamp(units[c], 0, 255));
}

// For every heightmap value, the weights of the first four bands: the chance each band is the last
// to paint a pixel of that value. The bands decide by the value alone, so 256 entries cover them all.
std::array<Weights4, 256> HeightTable(const std::vector<Gradient>& gradients)
{
    std::array<Weights4, 256> table{};
    const size_t n = gradients.size();
    std::vector<double> chance(n);
    for (int p = 0; p < 256; ++p)
    {
        // The conditions of TextureGen::PaintByHeight, with the random draw replaced by its chance.
        float start = 0.0f;
        float floor = 0.0f;
        for (size_t g = 0; g < n; ++g)
        {
            const Gradient& band = gradients[g];
            const uint8_t upper = TextureGen::WrapToByte(static_cast<float>(band.heightSpan) + start);
            double c = 0.0;
            if (p <= upper && static_cast<float>(p) >= floor)
            {
                const double below = static_cast<double>(start) - p;
                const double decay = std::fabs(static_cast<double>(band.decay));
                if (below <= 0.0)
                    c = 1.0;
                else if (decay > 0.0)
                    c = std::erfc(below / (decay * std::sqrt(2.0)));
            }
            chance[g] = c;
            start += static_cast<float>(band.heightSpan);
            if (g > 0) floor += static_cast<float>(gradients[g - 1].heightSpan);
        }
        double notLater = 1.0; // chance that no later band paints over
        for (size_t g = n; g-- > 0;)
        {
            if (g < SplatMap::kChannels) table[p][g] = chance[g] * notLater;
            notLater *= 1.0 - chance[g];
        }
    }
    return table;
}
} // namespace

void SplatMap::Weights(const std::vector<Gradient>& gradients, Mode mode, const uint8_t* heightBytes,
                       const float* normals, size_t count, uint8_t* rgba)
{
    if (mode == Mode::Height)
    {
        std::array<std::array<uint8_t, kChannels>, 256> bytes{};
        const std::array<Weights4, 256> table = HeightTable(gradients);
        for (int p = 0; p < 256; ++p)
            ToBytes(table[p], bytes[p].data());
        for (size_t k = 0; k < count; ++k)
            std::copy(bytes[heightBytes[k]].begin(), bytes[heightBytes[k]].end(), rgba + kChannels * k);
        return;
    }

    std::vector<float> thresholds;
    float threshold = 0.0f;
    for (const Gradient& band : gradients)
    {
        thresholds.push_back(threshold);
        threshold += band.slopeSpan;
    }
    Parallel::For(count,
                  [&](size_t begin, size_t end)
                  {
                      for (size_t k = begin; k < end; ++k)
                      {
                          const float angle =
                              TextureGen::SlopeAngle(normals[3 * k], normals[3 * k + 1], normals[3 * k + 2]);
                          size_t winner = thresholds.size();
                          for (size_t g = 0; g < thresholds.size(); ++g)
                              if (angle >= thresholds[g]) winner = g;
                          uint8_t* out = rgba + kChannels * k;
                          std::fill(out, out + kChannels, uint8_t(0));
                          if (winner < kChannels) out[winner] = 255;
                      }
                  });
}
