#include "terrain/Erosion.h"

// Sections: settings ranges; shared draws and limits; the run frame (checks, copy, masks, cancel);
// hydraulic droplets (brush, one droplet, rounds of coloured tiles); thermal passes; mask image.

#include "engine/Log.h"
#include "engine/Parallel.h"
#include "engine/Simd.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace Erosion
{
namespace
{
// Beyond this side a float position no longer steps one vertex at a time with the accuracy the
// droplet tiling allows for.
constexpr uint32_t kMaxSide = 1u << 20;

template <typename T> bool ClampField(T& value, T low, T high, T fallback)
{
    const T before = value;
    if constexpr (std::is_floating_point_v<T>)
    {
        if (std::isnan(value)) value = fallback;
    }
    (void)fallback;
    value = value < low ? low : (value > high ? high : value);
    return std::memcmp(&before, &value, sizeof(T)) != 0;
}

uint64_t Mix(uint64_t x)
{
    // splitmix64's finaliser: every input bit reaches every output bit.
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

float UnitToSide(uint64_t bits24, uint32_t vertices)
{
    // Exact in double; the float can round up to the last vertex, which is not a cell start.
    const float side = static_cast<float>(vertices - 1);
    const float v =
        static_cast<float>(static_cast<double>(bits24) * 0x1p-24 * static_cast<double>(vertices - 1));
    return v < side ? v : std::nextafter(side, 0.0f);
}
} // namespace

bool Clamp(HydraulicSettings& s)
{
    const HydraulicSettings d;
    bool changed = false;
    changed |= ClampField<int32_t>(s.droplets, 0, 10000000, d.droplets);
    changed |= ClampField(s.inertia, 0.0f, 0.99f, d.inertia);
    changed |= ClampField(s.capacity, 0.0f, 1000.0f, d.capacity);
    changed |= ClampField(s.deposition, 0.0f, 1.0f, d.deposition);
    changed |= ClampField(s.erosion, 0.0f, 1.0f, d.erosion);
    changed |= ClampField(s.evaporation, 0.0f, 1.0f, d.evaporation);
    changed |= ClampField<int32_t>(s.radius, 1, 8, d.radius);
    changed |= ClampField<int32_t>(s.maxSteps, 1, 1024, d.maxSteps);
    changed |= ClampField(s.gravity, 0.0f, 1000.0f, d.gravity);
    changed |= ClampField(s.minSlope, 0.0f, 10.0f, d.minSlope);
    return changed;
}

bool Clamp(ThermalSettings& s)
{
    const ThermalSettings d;
    bool changed = false;
    changed |= ClampField(s.talusAngle, 0.0f, 89.0f, d.talusAngle);
    changed |= ClampField<int32_t>(s.iterations, 0, 10000, d.iterations);
    changed |= ClampField(s.strength, 0.0f, 1.0f, d.strength);
    return changed;
}

bool Clamp(Settings& s)
{
    bool changed = false;
    if (s.method != Method::Hydraulic && s.method != Method::Thermal)
    {
        s.method = Method::Hydraulic;
        changed = true;
    }
    changed |= Clamp(s.hydraulic);
    changed |= Clamp(s.thermal);
    return changed;
}

namespace detail
{
void DropletStart(int32_t seed, uint64_t n, uint32_t width, uint32_t height, float& i, float& j)
{
    const uint64_t bits = Mix(Mix(static_cast<uint32_t>(seed)) + n);
    i = UnitToSide(bits >> 40, width);
    j = UnitToSide((bits >> 16) & 0xFFFFFFu, height);
}

void AnchoredStarts(int32_t seed, uint64_t round, double perBlock, int64_t firstI, int64_t firstJ,
                    uint32_t width, uint32_t height, std::vector<float>& startI, std::vector<float>& startJ)
{
    startI.clear();
    startJ.clear();
    const int64_t B = kAnchorBlock;
    const auto blockOf = [B](int64_t index) { return index >= 0 ? index / B : -((-index + B - 1) / B); };
    // Cell starts lie in [0, side - 1) of the grid: the blocks that reach into it.
    const int64_t lastI = firstI + static_cast<int64_t>(width) - 2;
    const int64_t lastJ = firstJ + static_cast<int64_t>(height) - 2;
    const double whole = std::floor(perBlock);
    const uint64_t base = Mix(Mix(static_cast<uint32_t>(seed)) ^ Mix(round + 0x5851F42D4C957F2Dull));
    for (int64_t bi = blockOf(firstI); bi <= blockOf(lastI); ++bi)
        for (int64_t bj = blockOf(firstJ); bj <= blockOf(lastJ); ++bj)
        {
            const uint64_t block = Mix(
                base ^ Mix(static_cast<uint64_t>(bi) * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(bj)));
            const double share = static_cast<double>(block >> 11) * 0x1p-53;
            const uint64_t count = static_cast<uint64_t>(whole) + (share < perBlock - whole ? 1 : 0);
            for (uint64_t d = 0; d < count; ++d)
            {
                const uint64_t bits = Mix(block + d + 1);
                // World positions on a 1/256 lattice: the grid's float positions are then exact.
                const int64_t i256 = (bi * B) * 256 + static_cast<int64_t>(bits & (B * 256 - 1));
                const int64_t j256 = (bj * B) * 256 + static_cast<int64_t>((bits >> 20) & (B * 256 - 1));
                const int64_t localI = i256 - firstI * 256;
                const int64_t localJ = j256 - firstJ * 256;
                if (localI < 0 || localJ < 0 || localI >= (static_cast<int64_t>(width) - 1) * 256 ||
                    localJ >= (static_cast<int64_t>(height) - 1) * 256)
                    continue;
                startI.push_back(static_cast<float>(localI) * 0x1p-8f);
                startJ.push_back(static_cast<float>(localJ) * 0x1p-8f);
            }
        }
}

int32_t TileSide(int32_t maxSteps, int32_t radius)
{
    // A droplet moves at most one vertex (plus rounding) per step from its start cell, reads one
    // vertex beyond its cell and writes radius - 1 beyond it; maxSteps / 16 covers the rounding of
    // float positions on sides up to kMaxSide.
    const int32_t reach = maxSteps + maxSteps / 16 + radius + 3;
    return 2 * reach;
}

int32_t RoundOffset(int32_t seed, uint64_t round, int32_t tileSide)
{
    return static_cast<int32_t>(Mix(Mix(~static_cast<uint64_t>(static_cast<uint32_t>(seed))) + round) %
                                static_cast<uint64_t>(tileSide));
}

void TalusLimits(float talusAngle, float vertexDistance, float& straight, float& diagonal)
{
    const float slope = static_cast<float>(std::tan(static_cast<double>(talusAngle) * (M_PI / 180.0)));
    straight = slope * vertexDistance;
    diagonal = slope * (vertexDistance * 1.41421356f);
}
} // namespace detail

// ---------------------------------------------------------------------------------------------
// The run frame
// ---------------------------------------------------------------------------------------------
namespace
{
struct Run
{
    float* heights = nullptr;
    size_t W = 0, H = 0;
    std::vector<float> original;
    Masks* masks = nullptr;
    const Progress* progress = nullptr;

    // Checks the grid; false (with the reason logged) when it is refused.
    bool Start(const char* what, float* h, uint32_t width, uint32_t height, float vertexDistance, Masks* m,
               const Progress& p)
    {
        heights = h;
        W = width;
        H = height;
        masks = m;
        progress = &p;
        if (masks != nullptr)
            for (std::vector<float>* v : {&masks->removed, &masks->deposited, &masks->flow})
                v->clear();
        const size_t count = W * H;
        if (count != 0 && h == nullptr)
        {
            Log::Warn("{}: no heights for a {} x {} grid.", what, width, height);
            return false;
        }
        if (width > kMaxSide || height > kMaxSide || count > (size_t{1} << 31))
        {
            Log::Warn("{}: a {} x {} grid is too large to erode.", what, width, height);
            return false;
        }
        if (!(vertexDistance > 0.0f) || !std::isfinite(vertexDistance))
        {
            Log::Warn("{}: vertex distance {} is not a positive number.", what, vertexDistance);
            return false;
        }
        original.assign(h, h + count);
        if (masks != nullptr)
            for (std::vector<float>* v : {&masks->removed, &masks->deposited, &masks->flow})
                v->assign(count, 0.0f);
        return true;
    }

    // False after restoring the heights when the caller asked to stop.
    bool Report(float fraction)
    {
        if (!*progress || (*progress)(fraction)) return true;
        std::memcpy(heights, original.data(), original.size() * sizeof(float));
        if (masks != nullptr)
            for (std::vector<float>* v : {&masks->removed, &masks->deposited, &masks->flow})
                v->clear();
        return false;
    }

    // Net change masks and totals. Row sums are added in row order, whatever the thread split.
    void Finish(Result& result)
    {
        std::vector<double> removedRows(W), depositedRows(W);
        float* removedMask = masks != nullptr ? masks->removed.data() : nullptr;
        float* depositedMask = masks != nullptr ? masks->deposited.data() : nullptr;
        Parallel::For(
            W,
            [&](size_t begin, size_t end)
            {
                for (size_t i = begin; i < end; ++i)
                {
                    double removed = 0.0, deposited = 0.0;
                    for (size_t k = i * H; k < (i + 1) * H; ++k)
                    {
                        const float change = heights[k] - original[k];
                        const float down = change < 0.0f ? -change : 0.0f;
                        const float up = change > 0.0f ? change : 0.0f;
                        removed += down;
                        deposited += up;
                        if (removedMask != nullptr)
                        {
                            removedMask[k] = down;
                            depositedMask[k] = up;
                        }
                    }
                    removedRows[i] = removed;
                    depositedRows[i] = deposited;
                }
            },
            std::max<size_t>(1, 65536 / std::max<size_t>(1, H)));
        for (size_t i = 0; i < W; ++i)
        {
            result.removed += removedRows[i];
            result.deposited += depositedRows[i];
        }
    }
};

// Runs body(item) for items [0, count) on all cores, each item on one thread; which thread takes
// which item does not matter to the callers, whose items touch disjoint data.
template <typename Body> void ForEachItem(size_t count, const Body& body)
{
    std::atomic<size_t> next{0};
    const size_t threads = std::min<size_t>(Parallel::ThreadCount(), count);
    Parallel::For(
        threads,
        [&](size_t, size_t)
        {
            for (size_t item = next++; item < count; item = next++)
                body(item);
        },
        1);
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Hydraulic erosion
// ---------------------------------------------------------------------------------------------
namespace
{
// Erosion brush: the vertices closer than radius to the droplet's cell corner, weighted by
// radius - distance and normalised over the ones inside the grid.
struct Brush
{
    int32_t reach = 0; // radius - 1
    std::vector<int32_t> di, dj;
    std::vector<float> raw;        // radius - distance
    std::vector<ptrdiff_t> offset; // di * H + dj
    std::vector<float> inner;      // raw / sum of all: the weights away from the edges

    Brush(int32_t radius, size_t H)
    {
        reach = radius - 1;
        for (int32_t a = -reach; a <= reach; ++a)
            for (int32_t b = -reach; b <= reach; ++b)
            {
                const float w = static_cast<float>(radius) - std::sqrt(static_cast<float>(a * a + b * b));
                if (!(w > 0.0f)) continue;
                di.push_back(a);
                dj.push_back(b);
                raw.push_back(w);
                offset.push_back(static_cast<ptrdiff_t>(a) * static_cast<ptrdiff_t>(H) + b);
            }
        float sum = 0.0f;
        for (float w : raw)
            sum += w;
        for (float w : raw)
            inner.push_back(w / sum);
    }
};

struct DropletConstants
{
    float inertia, keep, capacity, deposition, erosion, retain, gravity, minDrop, inverseDistance;
    int32_t maxSteps;
};

struct DropletGrid
{
    float* h;
    float* flow; // may be null
    size_t W, H;
    const Brush* brush;
};

// amount * weight added to (add) or taken from the brush's vertices around (ni, nj).
inline void ApplyBrush(const DropletGrid& g, size_t ni, size_t nj, float amount, bool add)
{
    const Brush& b = *g.brush;
    const size_t r = static_cast<size_t>(b.reach);
    float* centre = g.h + ni * g.H + nj;
    const size_t cells = b.raw.size();
    if (ni >= r && nj >= r && ni + r < g.W && nj + r < g.H)
    {
        const ptrdiff_t* offset = b.offset.data();
        const float* weight = b.inner.data();
        if (add)
            for (size_t c = 0; c < cells; ++c)
                centre[offset[c]] += amount * weight[c];
        else
            for (size_t c = 0; c < cells; ++c)
                centre[offset[c]] -= amount * weight[c];
        return;
    }
    const auto inside = [&](size_t c)
    {
        const int64_t i = static_cast<int64_t>(ni) + b.di[c];
        const int64_t j = static_cast<int64_t>(nj) + b.dj[c];
        return i >= 0 && j >= 0 && i < static_cast<int64_t>(g.W) && j < static_cast<int64_t>(g.H);
    };
    float sum = 0.0f;
    for (size_t c = 0; c < cells; ++c)
        if (inside(c)) sum += b.raw[c];
    for (size_t c = 0; c < cells; ++c)
        if (inside(c))
        {
            const float delta = amount * (b.raw[c] / sum);
            if (add)
                centre[b.offset[c]] += delta;
            else
                centre[b.offset[c]] -= delta;
        }
}

// One step's exchange of a droplet with the ground at cell k (vertex ni, nj; fractions fi, fj within
// the cell, gi = 1 - fi, gj = 1 - fj), after it moved by drop: it deposits or erodes, then its speed and
// water follow. Both droplet loops share it, so they stay bit for bit alike.
inline void Exchange(const DropletGrid& g, const DropletConstants& c, size_t k, size_t ni, size_t nj,
                     float gi, float gj, float fi, float fj, float drop, float& speed, float& water,
                     float& sediment)
{
    float* const h = g.h;
    const size_t H = g.H;
    const float fall = -drop > c.minDrop ? -drop : c.minDrop;
    const float capacity = fall * speed * water * c.capacity;
    if (sediment > capacity || drop > 0.0f)
    {
        // Uphill: fill the rise as far as the load goes; otherwise drop a share of the surplus.
        const float amount =
            drop > 0.0f ? (drop < sediment ? drop : sediment) : (sediment - capacity) * c.deposition;
        sediment -= amount;
        h[k] += amount * gi * gj;
        h[k + H] += amount * fi * gj;
        h[k + 1] += amount * gi * fj;
        h[k + H + 1] += amount * fi * fj;
    }
    else
    {
        // Never more than the drop, so a droplet does not dig a pit below where it goes next.
        const float wanted = (capacity - sediment) * c.erosion;
        const float amount = wanted < -drop ? wanted : -drop;
        ApplyBrush(g, ni, nj, amount, false);
        sediment += amount;
    }
    const float speed2 = speed * speed - drop * c.inverseDistance * c.gravity;
    speed = std::sqrt(speed2 > 0.0f ? speed2 : 0.0f);
    water *= c.retain;
}

// One droplet from (pi, pj); returns the sediment it carried over the grid's edge.
float RunDroplet(const DropletGrid& g, const DropletConstants& c, float pi, float pj)
{
    float* const h = g.h;
    const size_t H = g.H;
    const float lastI = static_cast<float>(g.W - 1);
    const float lastJ = static_cast<float>(g.H - 1);
    float di = 0.0f, dj = 0.0f, speed = 1.0f, water = 1.0f, sediment = 0.0f;
    for (int32_t step = 0; step < c.maxSteps; ++step)
    {
        const size_t ni = static_cast<size_t>(pi);
        const size_t nj = static_cast<size_t>(pj);
        const size_t k = ni * H + nj;
        const float fi = pi - static_cast<float>(ni);
        const float fj = pj - static_cast<float>(nj);
        const float gi = 1.0f - fi, gj = 1.0f - fj;
        const float h00 = h[k], h01 = h[k + 1], h10 = h[k + H], h11 = h[k + H + 1];
        const float slopeI = (h10 - h00) * gj + (h11 - h01) * fj;
        const float slopeJ = (h01 - h00) * gi + (h11 - h10) * fi;
        const float here = (h00 * gi + h10 * fi) * gj + (h01 * gi + h11 * fi) * fj;

        di = di * c.inertia - slopeI * c.inverseDistance * c.keep;
        dj = dj * c.inertia - slopeJ * c.inverseDistance * c.keep;
        const float length = std::sqrt(di * di + dj * dj);
        if (!(length > 0.0f)) break; // flat ground (or a non-finite height): the droplet stays
        di = di / length;
        dj = dj / length;
        if (g.flow != nullptr) g.flow[k] += water;

        const float nextI = pi + di, nextJ = pj + dj;
        if (!(nextI >= 0.0f && nextI < lastI && nextJ >= 0.0f && nextJ < lastJ))
            return sediment; // over the edge, with its load

        const size_t mi = static_cast<size_t>(nextI);
        const size_t mj = static_cast<size_t>(nextJ);
        const size_t m = mi * H + mj;
        const float ei = nextI - static_cast<float>(mi), ej = nextJ - static_cast<float>(mj);
        const float oi = 1.0f - ei, oj = 1.0f - ej;
        const float there = (h[m] * oi + h[m + H] * ei) * oj + (h[m + 1] * oi + h[m + H + 1] * ei) * ej;
        const float drop = there - here; // negative downhill

        Exchange(g, c, k, ni, nj, gi, gj, fi, fj, drop, speed, water, sediment);
        pi = nextI;
        pj = nextJ;
    }
    if (sediment > 0.0f) ApplyBrush(g, static_cast<size_t>(pi), static_cast<size_t>(pj), sediment, true);
    return 0.0f;
}

// RunDroplet for a grid anchored in a world: the position is kept as its cell and the fraction within
// it, so that every float operation is the same wherever the grid's first vertex lies in the world
// (two windows then run a shared droplet bit for bit while they see the same heights). The steps
// are RunDroplet's, in its order.
float RunAnchoredDroplet(const DropletGrid& g, const DropletConstants& c, float pi, float pj)
{
    float* const h = g.h;
    const size_t H = g.H;
    int64_t ni = static_cast<int64_t>(pi), nj = static_cast<int64_t>(pj);
    float fi = pi - static_cast<float>(ni), fj = pj - static_cast<float>(nj);
    float di = 0.0f, dj = 0.0f, speed = 1.0f, water = 1.0f, sediment = 0.0f;
    for (int32_t step = 0; step < c.maxSteps; ++step)
    {
        const size_t k = static_cast<size_t>(ni) * H + static_cast<size_t>(nj);
        const float gi = 1.0f - fi, gj = 1.0f - fj;
        const float h00 = h[k], h01 = h[k + 1], h10 = h[k + H], h11 = h[k + H + 1];
        const float slopeI = (h10 - h00) * gj + (h11 - h01) * fj;
        const float slopeJ = (h01 - h00) * gi + (h11 - h10) * fi;
        const float here = (h00 * gi + h10 * fi) * gj + (h01 * gi + h11 * fi) * fj;

        di = di * c.inertia - slopeI * c.inverseDistance * c.keep;
        dj = dj * c.inertia - slopeJ * c.inverseDistance * c.keep;
        const float length = std::sqrt(di * di + dj * dj);
        if (!(length > 0.0f)) break;
        di = di / length;
        dj = dj / length;
        if (g.flow != nullptr) g.flow[k] += water;

        const float nextI = fi + di, nextJ = fj + dj; // within the cell's frame: -1 .. 2
        const float stepI = std::floor(nextI), stepJ = std::floor(nextJ);
        const int64_t mi = ni + static_cast<int64_t>(stepI);
        const int64_t mj = nj + static_cast<int64_t>(stepJ);
        if (!(mi >= 0 && mi < static_cast<int64_t>(g.W) - 1 && mj >= 0 && mj < static_cast<int64_t>(g.H) - 1))
            return sediment;

        const size_t m = static_cast<size_t>(mi) * H + static_cast<size_t>(mj);
        const float ei = nextI - stepI, ej = nextJ - stepJ;
        const float oi = 1.0f - ei, oj = 1.0f - ej;
        const float there = (h[m] * oi + h[m + H] * ei) * oj + (h[m + 1] * oi + h[m + H + 1] * ei) * ej;
        const float drop = there - here;

        Exchange(g, c, k, static_cast<size_t>(ni), static_cast<size_t>(nj), gi, gj, fi, fj, drop, speed,
                 water, sediment);
        ni = mi;
        nj = mj;
        fi = ei;
        fj = ej;
    }
    if (sediment > 0.0f) ApplyBrush(g, static_cast<size_t>(ni), static_cast<size_t>(nj), sediment, true);
    return 0.0f;
}
} // namespace

Result Hydraulic(float* heights, uint32_t width, uint32_t height, float vertexDistance,
                 const HydraulicSettings& settings, Masks* masks, const Progress& progress,
                 const Anchor& anchor)
{
    Result result;
    Run run;
    if (!run.Start("Hydraulic erosion", heights, width, height, vertexDistance, masks, progress))
    {
        result.status = Status::Refused;
        return result;
    }
    HydraulicSettings s = settings;
    Clamp(s);
    const size_t W = width, H = height;
    if (W < 2 || H < 2 || s.droplets == 0)
    {
        run.Finish(result);
        return result;
    }

    const Brush brush(s.radius, H);
    const DropletGrid grid{heights, masks != nullptr ? masks->flow.data() : nullptr, W, H, &brush};
    const DropletConstants constants{s.inertia,
                                     1.0f - s.inertia,
                                     s.capacity,
                                     s.deposition,
                                     s.erosion,
                                     1.0f - s.evaporation,
                                     s.gravity,
                                     s.minSlope * vertexDistance,
                                     1.0f / vertexDistance,
                                     s.maxSteps};

    const int32_t side = detail::TileSide(s.maxSteps, s.radius);
    const uint64_t droplets = static_cast<uint64_t>(s.droplets);
    const uint64_t rounds = (droplets + kDropletsPerRound - 1) / kDropletsPerRound;
    std::vector<float> startI, startJ;
    std::vector<uint32_t> tileOf, order, tileFirst, colourTiles;
    std::vector<double> tileCarried;
    // Anchored in a world: the droplets per block and round, the same for every window of one density.
    const double perBlock =
        static_cast<double>(droplets) * kAnchorBlock * kAnchorBlock /
        (static_cast<double>(W - 1) * static_cast<double>(H - 1) * static_cast<double>(rounds));
    for (uint64_t round = 0; round < rounds; ++round)
    {
        const uint64_t first = round * kDropletsPerRound;
        size_t n = static_cast<size_t>(std::min<uint64_t>(droplets - first, kDropletsPerRound));
        const int32_t roundOffset = detail::RoundOffset(s.seed, round, side);
        const auto worldOffset = [side, roundOffset](int64_t index)
        { return static_cast<size_t>(((index + roundOffset) % side + side) % side); };
        const size_t offsetI = anchor.world ? worldOffset(anchor.i) : static_cast<size_t>(roundOffset);
        const size_t offsetJ = anchor.world ? worldOffset(anchor.j) : static_cast<size_t>(roundOffset);
        // The colours follow the world's tiles too: the parity of the world tile of the grid's first.
        const auto worldParity = [side, roundOffset](int64_t index)
        {
            const int64_t at = index + roundOffset;
            return static_cast<size_t>((at >= 0 ? at / side : -((-at + side - 1) / side)) & 1);
        };
        const size_t parityI = anchor.world ? worldParity(anchor.i) : 0;
        const size_t parityJ = anchor.world ? worldParity(anchor.j) : 0;
        const size_t tilesI = (W - 2 + offsetI) / side + 1;
        const size_t tilesJ = (H - 2 + offsetJ) / side + 1;
        const size_t tiles = tilesI * tilesJ;

        // Starts, then the droplets grouped by tile in number order (a counting sort).
        if (anchor.world)
        {
            detail::AnchoredStarts(s.seed, round, perBlock, anchor.i, anchor.j, width, height, startI,
                                   startJ);
            n = startI.size();
        }
        else
        {
            startI.resize(n);
            startJ.resize(n);
            for (size_t d = 0; d < n; ++d)
                detail::DropletStart(s.seed, first + d, width, height, startI[d], startJ[d]);
        }
        tileOf.resize(n);
        tileFirst.assign(tiles + 1, 0);
        for (size_t d = 0; d < n; ++d)
        {
            const size_t ti = (static_cast<size_t>(startI[d]) + offsetI) / side;
            const size_t tj = (static_cast<size_t>(startJ[d]) + offsetJ) / side;
            tileOf[d] = static_cast<uint32_t>(ti * tilesJ + tj);
            ++tileFirst[tileOf[d] + 1];
        }
        for (size_t t = 0; t < tiles; ++t)
            tileFirst[t + 1] += tileFirst[t];
        order.resize(n);
        {
            std::vector<uint32_t> fill(tileFirst.begin(), tileFirst.end() - 1);
            for (size_t d = 0; d < n; ++d)
                order[fill[tileOf[d]]++] = static_cast<uint32_t>(d);
        }

        tileCarried.assign(tiles, 0.0);
        for (uint32_t colour = 0; colour < 4; ++colour)
        {
            colourTiles.clear();
            for (size_t ti = ((colour >> 1) + parityI) & 1; ti < tilesI; ti += 2)
                for (size_t tj = ((colour & 1) + parityJ) & 1; tj < tilesJ; tj += 2)
                    if (tileFirst[ti * tilesJ + tj] != tileFirst[ti * tilesJ + tj + 1])
                        colourTiles.push_back(static_cast<uint32_t>(ti * tilesJ + tj));
            ForEachItem(colourTiles.size(),
                        [&](size_t item)
                        {
                            const uint32_t tile = colourTiles[item];
                            double carried = 0.0;
                            for (uint32_t o = tileFirst[tile]; o < tileFirst[tile + 1]; ++o)
                                carried +=
                                    anchor.world
                                        ? RunAnchoredDroplet(grid, constants, startI[order[o]],
                                                             startJ[order[o]])
                                        : RunDroplet(grid, constants, startI[order[o]], startJ[order[o]]);
                            tileCarried[tile] = carried;
                        });
            if (!run.Report(static_cast<float>(4 * round + colour + 1) / static_cast<float>(4 * rounds)))
            {
                Result cancelled;
                cancelled.status = Status::Cancelled;
                return cancelled;
            }
        }
        for (double carried : tileCarried)
            result.carriedOff += carried;
    }
    run.Finish(result);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Thermal erosion
// ---------------------------------------------------------------------------------------------
namespace
{
// Neighbours in the order every sum runs: the row before, the same row, the row after.
constexpr int32_t kNeighbourI[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr int32_t kNeighbourJ[8] = {-1, 0, 1, -1, 1, -1, 0, 1};

inline float Positive(float e)
{
    return e > 0.0f ? e : 0.0f;
}

// Three consecutive rows of one array; a row outside the grid is null.
struct Rows
{
    const float* row[3]; // before, this, after
};

struct ThermalGrid
{
    size_t W, H;
    float straight, diagonal; // talus limits
    float share;              // of the largest excess shed per iteration
};

inline float Limit(const ThermalGrid& g, int n)
{
    return kNeighbourI[n] != 0 && kNeighbourJ[n] != 0 ? g.diagonal : g.straight;
}

// Vertex j of a row, with the neighbours outside the grid skipped: what it sheds in all (out) and
// the factor that turns a neighbour's excess into its share (fraction).
void OutflowAt(const ThermalGrid& g, const Rows& h, size_t j, float* out, float* fraction)
{
    float total = 0.0f, largest = 0.0f;
    for (int n = 0; n < 8; ++n)
    {
        const float* row = h.row[1 + kNeighbourI[n]];
        const int64_t b = static_cast<int64_t>(j) + kNeighbourJ[n];
        if (row == nullptr || b < 0 || b >= static_cast<int64_t>(g.H)) continue;
        const float excess = Positive((h.row[1][j] - row[b]) - Limit(g, n));
        total = total + excess;
        largest = largest < excess ? excess : largest;
    }
    out[j] = g.share * largest;
    fraction[j] = total > 0.0f ? out[j] / total : 0.0f;
}

// Vertex j's new height: what it keeps plus the neighbours' shares that come to it.
void NewHeightAt(const ThermalGrid& g, const Rows& h, const Rows& fraction, const float* out, size_t j,
                 float* next)
{
    float in = 0.0f;
    for (int n = 0; n < 8; ++n)
    {
        const float* row = h.row[1 + kNeighbourI[n]];
        const int64_t b = static_cast<int64_t>(j) + kNeighbourJ[n];
        if (row == nullptr || b < 0 || b >= static_cast<int64_t>(g.H)) continue;
        in = in + fraction.row[1 + kNeighbourI[n]][b] * Positive((row[b] - h.row[1][j]) - Limit(g, n));
    }
    next[j] = (h.row[1][j] - out[j]) + in;
}

// Vertices 1 .. n-2 of an inner row: the same operations as OutflowAt, unrolled in its order.
VELMORAN_SIMD_CLONES
void OutflowRow(size_t n, const float* __restrict up, const float* __restrict row,
                const float* __restrict down, float straight, float diagonal, float share,
                float* __restrict out, float* __restrict fraction)
{
    for (size_t j = 1; j + 1 < n; ++j)
    {
        const float h = row[j];
        const float e0 = Positive((h - up[j - 1]) - diagonal);
        const float e1 = Positive((h - up[j]) - straight);
        const float e2 = Positive((h - up[j + 1]) - diagonal);
        const float e3 = Positive((h - row[j - 1]) - straight);
        const float e4 = Positive((h - row[j + 1]) - straight);
        const float e5 = Positive((h - down[j - 1]) - diagonal);
        const float e6 = Positive((h - down[j]) - straight);
        const float e7 = Positive((h - down[j + 1]) - diagonal);
        const float total = ((((((e0 + e1) + e2) + e3) + e4) + e5) + e6) + e7;
        float largest = 0.0f < e0 ? e0 : 0.0f;
        largest = largest < e1 ? e1 : largest;
        largest = largest < e2 ? e2 : largest;
        largest = largest < e3 ? e3 : largest;
        largest = largest < e4 ? e4 : largest;
        largest = largest < e5 ? e5 : largest;
        largest = largest < e6 ? e6 : largest;
        largest = largest < e7 ? e7 : largest;
        const float shed = share * largest;
        out[j] = shed;
        fraction[j] = total > 0.0f ? shed / total : 0.0f;
    }
}

VELMORAN_SIMD_CLONES
void NewHeightRow(size_t n, const float* __restrict up, const float* __restrict row,
                  const float* __restrict down, const float* __restrict fUp, const float* __restrict fRow,
                  const float* __restrict fDown, const float* __restrict out, float straight, float diagonal,
                  float* __restrict next)
{
    for (size_t j = 1; j + 1 < n; ++j)
    {
        const float h = row[j];
        float in = 0.0f;
        in = in + fUp[j - 1] * Positive((up[j - 1] - h) - diagonal);
        in = in + fUp[j] * Positive((up[j] - h) - straight);
        in = in + fUp[j + 1] * Positive((up[j + 1] - h) - diagonal);
        in = in + fRow[j - 1] * Positive((row[j - 1] - h) - straight);
        in = in + fRow[j + 1] * Positive((row[j + 1] - h) - straight);
        in = in + fDown[j - 1] * Positive((down[j - 1] - h) - diagonal);
        in = in + fDown[j] * Positive((down[j] - h) - straight);
        in = in + fDown[j + 1] * Positive((down[j + 1] - h) - diagonal);
        next[j] = (h - out[j]) + in;
    }
}

// One iteration over rows [begin, end) of h into next. The outflows are computed a row ahead into a
// ring of three rows, so both passes run over rows still in cache; a chunk also computes the outflow
// of the row on either side of it, which the neighbouring chunk computes the same way.
void ThermalRows(const ThermalGrid& g, const float* h, float* next, size_t begin, size_t end)
{
    const size_t W = g.W, H = g.H;
    std::vector<float> ring(6 * H);
    float* out[3] = {&ring[0], &ring[H], &ring[2 * H]};
    float* fraction[3] = {&ring[3 * H], &ring[4 * H], &ring[5 * H]};
    const auto rowsAround = [&](const float* base, size_t i)
    {
        return Rows{
            {i > 0 ? base + (i - 1) * H : nullptr, base + i * H, i + 1 < W ? base + (i + 1) * H : nullptr}};
    };
    const auto outflow = [&](size_t i)
    {
        const Rows r = rowsAround(h, i);
        float* o = out[i % 3];
        float* f = fraction[i % 3];
        const bool inner = r.row[0] != nullptr && r.row[2] != nullptr && H >= 3;
        if (!inner)
        {
            for (size_t j = 0; j < H; ++j)
                OutflowAt(g, r, j, o, f);
            return;
        }
        OutflowAt(g, r, 0, o, f);
        OutflowRow(H, r.row[0], r.row[1], r.row[2], g.straight, g.diagonal, g.share, o, f);
        OutflowAt(g, r, H - 1, o, f);
    };

    if (begin > 0) outflow(begin - 1);
    outflow(begin);
    for (size_t i = begin; i < end; ++i)
    {
        if (i + 1 < W) outflow(i + 1);
        const Rows r = rowsAround(h, i);
        const Rows f{{i > 0 ? fraction[(i + 2) % 3] : nullptr, fraction[i % 3],
                      i + 1 < W ? fraction[(i + 1) % 3] : nullptr}};
        const float* o = out[i % 3];
        float* to = next + i * H;
        const bool inner = r.row[0] != nullptr && r.row[2] != nullptr && H >= 3;
        if (!inner)
        {
            for (size_t j = 0; j < H; ++j)
                NewHeightAt(g, r, f, o, j, to);
            continue;
        }
        NewHeightAt(g, r, f, o, 0, to);
        NewHeightRow(H, r.row[0], r.row[1], r.row[2], f.row[0], f.row[1], f.row[2], o, g.straight, g.diagonal,
                     to);
        NewHeightAt(g, r, f, o, H - 1, to);
    }
}
} // namespace

Result Thermal(float* heights, uint32_t width, uint32_t height, float vertexDistance,
               const ThermalSettings& settings, Masks* masks, const Progress& progress)
{
    Result result;
    Run run;
    if (!run.Start("Thermal erosion", heights, width, height, vertexDistance, masks, progress))
    {
        result.status = Status::Refused;
        return result;
    }
    ThermalSettings s = settings;
    Clamp(s);
    const size_t W = width, H = height;
    if (W < 2 || H < 2 || s.iterations == 0)
    {
        run.Finish(result);
        return result;
    }

    ThermalGrid g{W, H, 0.0f, 0.0f, 0.5f * s.strength};
    detail::TalusLimits(s.talusAngle, vertexDistance, g.straight, g.diagonal);
    std::vector<float> scratch(W * H);
    float* current = heights;
    float* next = scratch.data();
    for (int32_t it = 0; it < s.iterations; ++it)
    {
        Parallel::For(
            W, [&](size_t begin, size_t end) { ThermalRows(g, current, next, begin, end); },
            std::max<size_t>(8, 32768 / H));
        std::swap(current, next);
        if (!run.Report(static_cast<float>(it + 1) / static_cast<float>(s.iterations)))
        {
            Result cancelled;
            cancelled.status = Status::Cancelled;
            return cancelled;
        }
    }
    if (current != heights) std::memcpy(heights, current, W * H * sizeof(float));
    run.Finish(result);
    return result;
}

Result Erode(float* heights, uint32_t width, uint32_t height, float vertexDistance, const Settings& settings,
             Masks* masks, const Progress& progress, const Anchor& anchor)
{
    if (settings.method == Method::Thermal)
        return Thermal(heights, width, height, vertexDistance, settings.thermal, masks, progress);
    return Hydraulic(heights, width, height, vertexDistance, settings.hydraulic, masks, progress, anchor);
}

// ---------------------------------------------------------------------------------------------
// Mask image
// ---------------------------------------------------------------------------------------------
void MaskImage(const Masks& masks, size_t vertexCount, uint8_t* rgb)
{
    const std::vector<float>* channels[3] = {&masks.removed, &masks.deposited, &masks.flow};
    for (size_t c = 0; c < 3; ++c)
    {
        const std::vector<float>& v = *channels[c];
        const size_t n = std::min(v.size(), vertexCount);
        float largest = 0.0f;
        for (size_t k = 0; k < n; ++k)
            largest = v[k] > largest && std::isfinite(v[k]) ? v[k] : largest;
        const float scale = largest > 0.0f ? 1.0f / largest : 0.0f;
        for (size_t k = 0; k < vertexCount; ++k)
        {
            float x = k < n ? v[k] * scale : 0.0f;
            x = x > 1.0f ? 1.0f : (x > 0.0f ? x : 0.0f); // NaN becomes 0
            rgb[3 * k + c] = static_cast<uint8_t>(std::sqrt(x) * 255.0f + 0.5f);
        }
    }
}
} // namespace Erosion
