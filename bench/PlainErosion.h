#pragma once
// Plain single-threaded erosion, written the way the algorithms read: the droplets of a round
// sorted by (colour, tile) and run one after another, the brush weighed afresh at every step, and
// thermal iterations as two whole-grid loops with bounds checks on every neighbour. The library's
// passes must give the same heights bit for bit; ErosionBench times them against these and
// ErosionTest compares them on small grids.
#include "terrain/Erosion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <tuple>
#include <vector>

namespace plain
{
inline void HydraulicErosion(std::vector<float>& h, uint32_t W, uint32_t H, float d,
                             Erosion::HydraulicSettings s)
{
    Erosion::Clamp(s);
    if (W < 2 || H < 2) return;
    const int32_t side = Erosion::detail::TileSide(s.maxSteps, s.radius);
    const int64_t count = s.droplets;

    // Brush around vertex (ni, nj): weights radius - distance over the vertices inside the grid.
    const auto brush = [&](int64_t ni, int64_t nj, float amount, float sign)
    {
        const int32_t r = s.radius - 1;
        float sum = 0.0f;
        for (int pass = 0; pass < 2; ++pass)
            for (int32_t a = -r; a <= r; ++a)
                for (int32_t b = -r; b <= r; ++b)
                {
                    const float w =
                        static_cast<float>(s.radius) - std::sqrt(static_cast<float>(a * a + b * b));
                    const int64_t i = ni + a, j = nj + b;
                    if (!(w > 0.0f) || i < 0 || j < 0 || i >= W || j >= H) continue;
                    if (pass == 0)
                        sum += w;
                    else if (sign > 0.0f)
                        h[i * H + j] += amount * (w / sum);
                    else
                        h[i * H + j] -= amount * (w / sum);
                }
    };
    const auto heightAt = [&](float pi, float pj)
    {
        const int64_t ni = static_cast<int64_t>(pi), nj = static_cast<int64_t>(pj);
        const float fi = pi - static_cast<float>(ni), fj = pj - static_cast<float>(nj);
        const float h00 = h[ni * H + nj], h01 = h[ni * H + nj + 1];
        const float h10 = h[(ni + 1) * H + nj], h11 = h[(ni + 1) * H + nj + 1];
        return (h00 * (1.0f - fi) + h10 * fi) * (1.0f - fj) + (h01 * (1.0f - fi) + h11 * fi) * fj;
    };

    for (int64_t first = 0; first < count; first += Erosion::kDropletsPerRound)
    {
        const int64_t round = first / Erosion::kDropletsPerRound;
        const int64_t last = std::min<int64_t>(count, first + Erosion::kDropletsPerRound);
        const int64_t offset = Erosion::detail::RoundOffset(s.seed, static_cast<uint64_t>(round), side);
        std::vector<std::tuple<int, int64_t, int64_t, int64_t>> droplets; // colour, tile i, tile j, number
        for (int64_t n = first; n < last; ++n)
        {
            float pi, pj;
            Erosion::detail::DropletStart(s.seed, static_cast<uint64_t>(n), W, H, pi, pj);
            const int64_t ti = (static_cast<int64_t>(pi) + offset) / side;
            const int64_t tj = (static_cast<int64_t>(pj) + offset) / side;
            droplets.emplace_back(static_cast<int>((ti & 1) * 2 + (tj & 1)), ti, tj, n);
        }
        std::sort(droplets.begin(), droplets.end());

        for (const auto& droplet : droplets)
        {
            float pi, pj;
            Erosion::detail::DropletStart(s.seed, static_cast<uint64_t>(std::get<3>(droplet)), W, H, pi, pj);
            float dirI = 0.0f, dirJ = 0.0f, speed = 1.0f, water = 1.0f, sediment = 0.0f;
            bool off = false;
            for (int32_t step = 0; step < s.maxSteps; ++step)
            {
                const int64_t ni = static_cast<int64_t>(pi), nj = static_cast<int64_t>(pj);
                const float fi = pi - static_cast<float>(ni), fj = pj - static_cast<float>(nj);
                const float h00 = h[ni * H + nj], h01 = h[ni * H + nj + 1];
                const float h10 = h[(ni + 1) * H + nj], h11 = h[(ni + 1) * H + nj + 1];
                const float gradI = (h10 - h00) * (1.0f - fj) + (h11 - h01) * fj;
                const float gradJ = (h01 - h00) * (1.0f - fi) + (h11 - h10) * fi;
                const float here = heightAt(pi, pj);
                dirI = dirI * s.inertia - gradI * (1.0f / d) * (1.0f - s.inertia);
                dirJ = dirJ * s.inertia - gradJ * (1.0f / d) * (1.0f - s.inertia);
                const float length = std::sqrt(dirI * dirI + dirJ * dirJ);
                if (!(length > 0.0f)) break;
                dirI = dirI / length;
                dirJ = dirJ / length;
                const float nextI = pi + dirI, nextJ = pj + dirJ;
                if (!(nextI >= 0.0f && nextI < static_cast<float>(W - 1) && nextJ >= 0.0f &&
                      nextJ < static_cast<float>(H - 1)))
                {
                    off = true;
                    break;
                }
                const float drop = heightAt(nextI, nextJ) - here;
                const float capacity = std::max(-drop, s.minSlope * d) * speed * water * s.capacity;
                if (sediment > capacity || drop > 0.0f)
                {
                    const float amount =
                        drop > 0.0f ? std::min(drop, sediment) : (sediment - capacity) * s.deposition;
                    sediment -= amount;
                    h[ni * H + nj] += amount * (1.0f - fi) * (1.0f - fj);
                    h[(ni + 1) * H + nj] += amount * fi * (1.0f - fj);
                    h[ni * H + nj + 1] += amount * (1.0f - fi) * fj;
                    h[(ni + 1) * H + nj + 1] += amount * fi * fj;
                }
                else
                {
                    const float amount = std::min((capacity - sediment) * s.erosion, -drop);
                    brush(ni, nj, amount, -1.0f);
                    sediment += amount;
                }
                speed = std::sqrt(std::max(speed * speed - drop * (1.0f / d) * s.gravity, 0.0f));
                water *= 1.0f - s.evaporation;
                pi = nextI;
                pj = nextJ;
            }
            if (!off && sediment > 0.0f)
                brush(static_cast<int64_t>(pi), static_cast<int64_t>(pj), sediment, 1.0f);
        }
    }
}

inline void ThermalErosion(std::vector<float>& h, uint32_t W, uint32_t H, float d, Erosion::ThermalSettings s)
{
    Erosion::Clamp(s);
    float straight, diagonal;
    Erosion::detail::TalusLimits(s.talusAngle, d, straight, diagonal);
    const float share = 0.5f * s.strength;
    std::vector<float> out(h.size()), fraction(h.size()), next(h.size());
    const auto limit = [&](int a, int b) { return a != 0 && b != 0 ? diagonal : straight; };
    for (int32_t it = 0; it < s.iterations; ++it)
    {
        for (int64_t i = 0; i < W; ++i)
            for (int64_t j = 0; j < H; ++j)
            {
                float total = 0.0f, largest = 0.0f;
                for (int a = -1; a <= 1; ++a)
                    for (int b = -1; b <= 1; ++b)
                    {
                        if ((a == 0 && b == 0) || i + a < 0 || j + b < 0 || i + a >= W || j + b >= H)
                            continue;
                        const float e = (h[i * H + j] - h[(i + a) * H + j + b]) - limit(a, b);
                        const float excess = e > 0.0f ? e : 0.0f;
                        total = total + excess;
                        largest = std::max(largest, excess);
                    }
                out[i * H + j] = share * largest;
                fraction[i * H + j] = total > 0.0f ? out[i * H + j] / total : 0.0f;
            }
        for (int64_t i = 0; i < W; ++i)
            for (int64_t j = 0; j < H; ++j)
            {
                float in = 0.0f;
                for (int a = -1; a <= 1; ++a)
                    for (int b = -1; b <= 1; ++b)
                    {
                        if ((a == 0 && b == 0) || i + a < 0 || j + b < 0 || i + a >= W || j + b >= H)
                            continue;
                        const int64_t m = (i + a) * H + j + b;
                        const float e = (h[m] - h[i * H + j]) - limit(a, b);
                        in = in + fraction[m] * (e > 0.0f ? e : 0.0f);
                    }
                next[i * H + j] = (h[i * H + j] - out[i * H + j]) + in;
            }
        h.swap(next);
    }
}
} // namespace plain
