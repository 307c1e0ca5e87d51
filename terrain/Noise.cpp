#include "terrain/Noise.h"

#include "engine/Simd.h"

#include <cmath>
#include <cstdlib>

// Sections: shared primitives; the five kernels (one octave); frequency, skew and fractal sum;
// rows (the same kernels with the y half of the lattice shared along a row; OpenSimplex2 lane-wise);
// dispatch.
//
// Every kernel and fractal mode is a template instance, chosen once per call of GetNoise and once
// per row of GetNoiseRow; both give the same bits. Integer hashing wraps around in 32 bits, done
// on unsigned values to stay defined.

namespace
{
constexpr int32_t PrimeX = 501125321;  // 0x1DDE90C9
constexpr int32_t PrimeY = 1136930381; // 0x43C42E4D

// ---------------------------------------------------------------------------------------------
// Shared primitives

inline int32_t WrapAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

inline int32_t WrapMul(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// Truncates, then steps down for every negative value, whole numbers included (-2.0 gives -3):
// the kernels are built on this rule. The step wraps (a NaN or a value below -2^31 truncates to
// INT32_MIN), and there is no branch, so that lane-wise loops use it too. That truncation is the
// processor's, which the language leaves undefined: a range check costs the kernels a sixth of their
// time, so the sanitizers are told it is meant.
__attribute__((no_sanitize("float-cast-overflow"))) inline int32_t FastFloor(float f)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(f)) - (f >= 0 ? 0u : 1u));
}

__attribute__((no_sanitize("float-cast-overflow"))) inline int32_t FastRound(float f)
{
    return f >= 0 ? static_cast<int32_t>(f + 0.5f) : static_cast<int32_t>(f - 0.5f);
}

inline int32_t Hash(int32_t seed, int32_t xPrimed, int32_t yPrimed)
{
    return WrapMul(seed ^ xPrimed ^ yPrimed, 0x27D4EB2D);
}

inline float GradCoord(int32_t seed, int32_t xPrimed, int32_t yPrimed, float xd, float yd)
{
    int32_t hash = Hash(seed, xPrimed, yPrimed);
    hash ^= hash >> 15; // arithmetic shift
    hash &= 254;
    return xd * Gradients2D[hash] + yd * Gradients2D[hash + 1];
}

inline float ValCoord(int32_t seed, int32_t xPrimed, int32_t yPrimed)
{
    uint32_t hash = static_cast<uint32_t>(Hash(seed, xPrimed, yPrimed));
    hash *= hash;
    hash ^= hash << 19;
    return static_cast<float>(static_cast<int32_t>(hash)) * 4.6566129e-10f;
}

inline float Lerp(float a, float b, float t)
{
    return a + t * (b - a);
}

inline float InterpHermite(float t)
{
    return t * t * (3 - 2 * t);
}

inline float InterpQuintic(float t)
{
    return t * t * t * (t * (t * 6 - 15) + 10);
}

inline float CubicLerp(float a, float b, float c, float d, float t)
{
    const float p = (d - c) - (a - b);
    return t * t * t * p + t * t * ((a - b) - p) + t * (c - a) + b;
}

// ---------------------------------------------------------------------------------------------
// Kernels, one octave at already transformed coordinates

inline float SingleOpenSimplex2(int32_t seed, float x, float y)
{
    constexpr float G2 = 0.21132487f;
    int32_t i = FastFloor(x);
    int32_t j = FastFloor(y);
    const float xi = x - static_cast<float>(i);
    const float yi = y - static_cast<float>(j);

    const float t = (xi + yi) * G2;
    const float x0 = xi - t;
    const float y0 = yi - t;
    i = WrapMul(i, PrimeX);
    j = WrapMul(j, PrimeY);

    const float a = 0.5f - x0 * x0 - y0 * y0;
    const float e0 = a > 0 ? (a * a) * (a * a) * GradCoord(seed, i, j, x0, y0) : 0.0f;

    const float c = (a - 0.66666663f) + t * 3.1547005f;
    const float e2 = c > 0 ? (c * c) * (c * c) *
                                 GradCoord(seed, WrapAdd(i, PrimeX), WrapAdd(j, PrimeY), x0 - 0.57735026f,
                                           y0 - 0.57735026f)
                           : 0.0f;

    float x1;
    float y1;
    int32_t ci;
    int32_t cj;
    if (y0 > x0)
    {
        x1 = x0 + G2;
        y1 = y0 - 0.78867513f;
        ci = i;
        cj = WrapAdd(j, PrimeY);
    }
    else
    {
        x1 = x0 - 0.78867513f;
        y1 = y0 + G2;
        ci = WrapAdd(i, PrimeX);
        cj = j;
    }
    const float b = 0.5f - x1 * x1 - y1 * y1;
    const float e1 = b > 0 ? (b * b) * (b * b) * GradCoord(seed, ci, cj, x1, y1) : 0.0f;

    return (e0 + e1 + e2) * 99.836853f;
}

// Nearest feature point by squared Euclidean distance; no square root is taken.
inline float SingleCellular(int32_t seed, float x, float y, float cellularJitter)
{
    const int32_t xr = FastRound(x);
    const int32_t yr = FastRound(y);
    const float jitter = 0.43701595f * cellularJitter;
    float d0 = 1e10f;
    // The three cells around the rounded point on each axis, wrapping at the ends of the 32-bit
    // lattice (where a coordinate beyond it rounds to INT32_MIN) instead of overflowing.
    for (int32_t dx = -1; dx <= 1; ++dx)
    {
        const int32_t xi = WrapAdd(xr, dx);
        const int32_t xPrimed = WrapMul(xi, PrimeX);
        for (int32_t dy = -1; dy <= 1; ++dy)
        {
            const int32_t yi = WrapAdd(yr, dy);
            const int32_t hash = Hash(seed, xPrimed, WrapMul(yi, PrimeY));
            const int32_t k = hash & 510;
            const float vx = static_cast<float>(xi) - x + RandVecs2D[k] * jitter;
            const float vy = static_cast<float>(yi) - y + RandVecs2D[k + 1] * jitter;
            const float d = vx * vx + vy * vy;
            d0 = d < d0 ? d : d0;
        }
    }
    return d0 - 1;
}

inline float SinglePerlin(int32_t seed, float x, float y)
{
    int32_t x0 = FastFloor(x);
    int32_t y0 = FastFloor(y);
    const float xd0 = x - static_cast<float>(x0);
    const float yd0 = y - static_cast<float>(y0);
    const float xd1 = xd0 - 1;
    const float yd1 = yd0 - 1;
    const float xs = InterpQuintic(xd0);
    const float ys = InterpQuintic(yd0);

    x0 = WrapMul(x0, PrimeX);
    y0 = WrapMul(y0, PrimeY);
    const int32_t x1 = WrapAdd(x0, PrimeX);
    const int32_t y1 = WrapAdd(y0, PrimeY);

    const float xf0 = Lerp(GradCoord(seed, x0, y0, xd0, yd0), GradCoord(seed, x1, y0, xd1, yd0), xs);
    const float xf1 = Lerp(GradCoord(seed, x0, y1, xd0, yd1), GradCoord(seed, x1, y1, xd1, yd1), xs);
    return Lerp(xf0, xf1, ys) * 1.4247692f;
}

inline float SingleValueCubic(int32_t seed, float x, float y)
{
    int32_t x1 = FastFloor(x);
    int32_t y1 = FastFloor(y);
    const float xs = x - static_cast<float>(x1);
    const float ys = y - static_cast<float>(y1);

    x1 = WrapMul(x1, PrimeX);
    y1 = WrapMul(y1, PrimeY);
    const int32_t x0 = WrapAdd(x1, -PrimeX);
    const int32_t y0 = WrapAdd(y1, -PrimeY);
    const int32_t x2 = WrapAdd(x1, PrimeX);
    const int32_t y2 = WrapAdd(y1, PrimeY);
    const int32_t x3 = WrapAdd(x1, WrapMul(2, PrimeX));
    const int32_t y3 = WrapAdd(y1, WrapMul(2, PrimeY));

    const auto row = [&](int32_t yr)
    {
        return CubicLerp(ValCoord(seed, x0, yr), ValCoord(seed, x1, yr), ValCoord(seed, x2, yr),
                         ValCoord(seed, x3, yr), xs);
    };
    const float r0 = row(y0);
    const float r1 = row(y1);
    const float r2 = row(y2);
    const float r3 = row(y3);
    return CubicLerp(r0, r1, r2, r3, ys) * 0.44444445f;
}

inline float SingleValue(int32_t seed, float x, float y)
{
    int32_t x0 = FastFloor(x);
    int32_t y0 = FastFloor(y);
    const float xs = InterpHermite(x - static_cast<float>(x0));
    const float ys = InterpHermite(y - static_cast<float>(y0));

    x0 = WrapMul(x0, PrimeX);
    y0 = WrapMul(y0, PrimeY);
    const int32_t x1 = WrapAdd(x0, PrimeX);
    const int32_t y1 = WrapAdd(y0, PrimeY);

    const float xf0 = Lerp(ValCoord(seed, x0, y0), ValCoord(seed, x1, y0), xs);
    const float xf1 = Lerp(ValCoord(seed, x0, y1), ValCoord(seed, x1, y1), xs);
    return Lerp(xf0, xf1, ys);
}

template <int32_t Type> inline float Single(const NoiseGenerator& noise, int32_t seed, float x, float y)
{
    if constexpr (Type == NoiseGenerator::OpenSimplex2)
        return SingleOpenSimplex2(seed, x, y);
    else if constexpr (Type == NoiseGenerator::Cellular)
        return SingleCellular(seed, x, y, noise.cellularJitter);
    else if constexpr (Type == NoiseGenerator::Perlin)
        return SinglePerlin(seed, x, y);
    else if constexpr (Type == NoiseGenerator::ValueCubic)
        return SingleValueCubic(seed, x, y);
    else if constexpr (Type == NoiseGenerator::Value)
        return SingleValue(seed, x, y);
    else
        return 0.0f;
}

// ---------------------------------------------------------------------------------------------
// Frequency, skew and fractal sum

template <int32_t Type, int32_t Fractal> inline float Sample(const NoiseGenerator& noise, float x, float y)
{
    x *= noise.frequency;
    y *= noise.frequency;
    if constexpr (Type == NoiseGenerator::OpenSimplex2)
    {
        const float t = (x + y) * 0.36602539f;
        x += t;
        y += t;
    }

    if constexpr (Fractal == NoiseGenerator::FBm || Fractal == NoiseGenerator::Ridged)
    {
        int32_t seed = noise.seed;
        float sum = 0;
        float amp = noise.fractalBounding;
        for (int32_t octave = 0; octave < noise.octaves; ++octave)
        {
            float n = Single<Type>(noise, seed, x, y);
            seed = WrapAdd(seed, 1);
            if constexpr (Fractal == NoiseGenerator::FBm)
            {
                sum += n * amp;
            }
            else
            {
                n = std::fabs(n);
                sum += (1 - 2 * n) * amp;
            }
            amp *= noise.gain;
            x *= noise.lacunarity;
            y *= noise.lacunarity;
        }
        return sum;
    }
    else
    {
        return Single<Type>(noise, noise.seed, x, y);
    }
}

// ---------------------------------------------------------------------------------------------
// Rows. Along a row y is the same for every sample of an octave, so the row kernels compute the
// y half of the lattice once. Consecutive samples that fall into the same x cell (at layer
// frequencies a cell spans many samples) share every hashed lattice value, so each run of them is
// one loop of plain arithmetic over loop constants, which the compiler runs several samples per
// instruction. Every sample is still computed with the same operations in the same order as the
// kernels above, so the bits are the same.

struct PerlinRow
{
    struct Cell
    {
        float fx0;
        float g0x, g0y, g1x, g1y, g2x, g2y, g3x, g3y;
        float yd0, yd1, ys;
    };

    PerlinRow(const NoiseGenerator&, int32_t seed, float y) : seed(seed)
    {
        const int32_t y0 = FastFloor(y);
        yd0 = y - static_cast<float>(y0);
        yd1 = yd0 - 1;
        ys = InterpQuintic(yd0);
        y0Primed = WrapMul(y0, PrimeY);
        y1Primed = WrapAdd(y0Primed, PrimeY);
    }

    static int32_t CellOf(float x) { return FastFloor(x); }

    Cell Prepare(int32_t x0) const
    {
        const int32_t x0Primed = WrapMul(x0, PrimeX);
        const int32_t x1Primed = WrapAdd(x0Primed, PrimeX);
        const int32_t h0 = GradIndex(x0Primed, y0Primed);
        const int32_t h1 = GradIndex(x1Primed, y0Primed);
        const int32_t h2 = GradIndex(x0Primed, y1Primed);
        const int32_t h3 = GradIndex(x1Primed, y1Primed);
        return {static_cast<float>(x0),
                Gradients2D[h0],
                Gradients2D[h0 + 1],
                Gradients2D[h1],
                Gradients2D[h1 + 1],
                Gradients2D[h2],
                Gradients2D[h2 + 1],
                Gradients2D[h3],
                Gradients2D[h3 + 1],
                yd0,
                yd1,
                ys};
    }

    static float Eval(const Cell& c, float x)
    {
        const float xd0 = x - c.fx0;
        const float xd1 = xd0 - 1;
        const float xs = InterpQuintic(xd0);
        const float xf0 = Lerp(xd0 * c.g0x + c.yd0 * c.g0y, xd1 * c.g1x + c.yd0 * c.g1y, xs);
        const float xf1 = Lerp(xd0 * c.g2x + c.yd1 * c.g2y, xd1 * c.g3x + c.yd1 * c.g3y, xs);
        return Lerp(xf0, xf1, c.ys) * 1.4247692f;
    }

    int32_t GradIndex(int32_t xPrimed, int32_t yPrimed) const
    {
        int32_t hash = Hash(seed, xPrimed, yPrimed);
        hash ^= hash >> 15;
        return hash & 254;
    }

    int32_t seed;
    int32_t y0Primed, y1Primed;
    float yd0, yd1, ys;
};

struct ValueRow
{
    struct Cell
    {
        float fx0;
        float v0, v1, v2, v3;
        float ys;
    };

    ValueRow(const NoiseGenerator&, int32_t seed, float y) : seed(seed)
    {
        const int32_t y0 = FastFloor(y);
        ys = InterpHermite(y - static_cast<float>(y0));
        y0Primed = WrapMul(y0, PrimeY);
        y1Primed = WrapAdd(y0Primed, PrimeY);
    }

    static int32_t CellOf(float x) { return FastFloor(x); }

    Cell Prepare(int32_t x0) const
    {
        const int32_t x0Primed = WrapMul(x0, PrimeX);
        const int32_t x1Primed = WrapAdd(x0Primed, PrimeX);
        return {static_cast<float>(x0),
                ValCoord(seed, x0Primed, y0Primed),
                ValCoord(seed, x1Primed, y0Primed),
                ValCoord(seed, x0Primed, y1Primed),
                ValCoord(seed, x1Primed, y1Primed),
                ys};
    }

    static float Eval(const Cell& c, float x)
    {
        const float xs = InterpHermite(x - c.fx0);
        return Lerp(Lerp(c.v0, c.v1, xs), Lerp(c.v2, c.v3, xs), c.ys);
    }

    int32_t seed;
    int32_t y0Primed, y1Primed;
    float ys;
};

struct ValueCubicRow
{
    struct Cell
    {
        float fx1;
        float v[4][4];
        float ys;
    };

    ValueCubicRow(const NoiseGenerator&, int32_t seed, float y) : seed(seed)
    {
        const int32_t y1 = FastFloor(y);
        ys = y - static_cast<float>(y1);
        rows[1] = WrapMul(y1, PrimeY);
        rows[0] = WrapAdd(rows[1], -PrimeY);
        rows[2] = WrapAdd(rows[1], PrimeY);
        rows[3] = WrapAdd(rows[1], WrapMul(2, PrimeY));
    }

    static int32_t CellOf(float x) { return FastFloor(x); }

    Cell Prepare(int32_t x1) const
    {
        Cell c{};
        c.fx1 = static_cast<float>(x1);
        c.ys = ys;
        const int32_t x1Primed = WrapMul(x1, PrimeX);
        const int32_t columns[4] = {WrapAdd(x1Primed, -PrimeX), x1Primed, WrapAdd(x1Primed, PrimeX),
                                    WrapAdd(x1Primed, WrapMul(2, PrimeX))};
        for (int r = 0; r < 4; ++r)
            for (int col = 0; col < 4; ++col)
                c.v[r][col] = ValCoord(seed, columns[col], rows[r]);
        return c;
    }

    static float Eval(const Cell& c, float x)
    {
        const float xs = x - c.fx1;
        const float r0 = CubicLerp(c.v[0][0], c.v[0][1], c.v[0][2], c.v[0][3], xs);
        const float r1 = CubicLerp(c.v[1][0], c.v[1][1], c.v[1][2], c.v[1][3], xs);
        const float r2 = CubicLerp(c.v[2][0], c.v[2][1], c.v[2][2], c.v[2][3], xs);
        const float r3 = CubicLerp(c.v[3][0], c.v[3][1], c.v[3][2], c.v[3][3], xs);
        return CubicLerp(r0, r1, r2, r3, c.ys) * 0.44444445f;
    }

    int32_t seed;
    int32_t rows[4];
    float ys;
};

struct CellularRow
{
    struct Cell
    {
        float column[9], jitterX[9], dy[9];
    };

    CellularRow(const NoiseGenerator& noise, int32_t seed, float y)
        : seed(seed), y(y), jitter(0.43701595f * noise.cellularJitter), yr(FastRound(y))
    {
    }

    static int32_t CellOf(float x) { return FastRound(x); }

    Cell Prepare(int32_t xr) const
    {
        Cell c{};
        int n = 0;
        for (int32_t dx = -1; dx <= 1; ++dx) // as SingleCellular
        {
            const int32_t xi = WrapAdd(xr, dx);
            const int32_t xPrimed = WrapMul(xi, PrimeX);
            for (int32_t dy = -1; dy <= 1; ++dy, ++n)
            {
                const int32_t yi = WrapAdd(yr, dy);
                const int32_t k = Hash(seed, xPrimed, WrapMul(yi, PrimeY)) & 510;
                c.column[n] = static_cast<float>(xi);
                c.jitterX[n] = RandVecs2D[k] * jitter;
                c.dy[n] = static_cast<float>(yi) - y + RandVecs2D[k + 1] * jitter;
            }
        }
        return c;
    }

    static float Eval(const Cell& c, float x)
    {
        float d0 = 1e10f;
        for (int n = 0; n < 9; ++n)
        {
            const float vx = c.column[n] - x + c.jitterX[n];
            const float d = vx * vx + c.dy[n] * c.dy[n];
            d0 = d < d0 ? d : d0;
        }
        return d0 - 1;
    }

    int32_t seed;
    float y;
    float jitter;
    int32_t yr;
};

// OpenSimplex2 rows. The skew mixes x into y, so no half of the lattice is shared along a row as
// above; instead the samples of a chunk are evaluated lane-wise, each with the operations of
// SingleOpenSimplex2 in the same order, its three branches turned into selects (a select picks the
// value the branch would have computed, so the bits are the same). Two ways, chosen per octave by
// how many samples share a skewed cell:
// - runs: at layer frequencies a cell spans many consecutive samples (the skewed coordinates grow
//   monotonically along the row), which then share the gradients of the cell's four corners; each
//   run is one loop of plain arithmetic over loop constants;
// - lanes: when cells are short, every sample hashes its own three corners and looks up their
//   gradients (gathers on AVX2).

inline uint32_t GradIndexLane(uint32_t seed, uint32_t xPrimed, uint32_t yPrimed)
{
    uint32_t hash = (seed ^ xPrimed ^ yPrimed) * 0x27D4EB2Du;
    hash ^= static_cast<uint32_t>(static_cast<int32_t>(hash) >> 15); // arithmetic shift
    return hash & 254u;
}

template <int32_t Fractal> inline void Accumulate(float* out, float v, float amp)
{
    if constexpr (Fractal == NoiseGenerator::FBm)
        *out += v * amp;
    else if constexpr (Fractal == NoiseGenerator::Ridged)
        *out += (1 - 2 * std::fabs(v)) * amp;
    else
        *out = v;
}

// The gradients of one skewed cell's corners (i, j), (i+1, j), (i, j+1) and (i+1, j+1).
struct SimplexCell
{
    float fi, fj;
    float g00x, g00y, g10x, g10y, g01x, g01y, g11x, g11y;
};

template <int32_t Fractal>
VELMORAN_SIMD_CLONES void OpenSimplex2Run(const SimplexCell& cell, const float* __restrict xs,
                                          const float* __restrict ys, float* __restrict out, uint32_t n,
                                          float amp)
{
    constexpr float G2 = 0.21132487f;
    const SimplexCell c = cell; // locals: the stores could alias the referenced values
    for (uint32_t k = 0; k < n; ++k)
    {
        const float xi = xs[k] - c.fi;
        const float yi = ys[k] - c.fj;
        const float t = (xi + yi) * G2;
        const float x0 = xi - t;
        const float y0 = yi - t;
        const float a = 0.5f - x0 * x0 - y0 * y0;
        const float e0 = a > 0 ? (a * a) * (a * a) * (x0 * c.g00x + y0 * c.g00y) : 0.0f;
        const float cc = (a - 0.66666663f) + t * 3.1547005f;
        const float x2 = x0 - 0.57735026f;
        const float y2 = y0 - 0.57735026f;
        const float e2 = cc > 0 ? (cc * cc) * (cc * cc) * (x2 * c.g11x + y2 * c.g11y) : 0.0f;
        const bool upper = y0 > x0;
        const float x1 = upper ? x0 + G2 : x0 - 0.78867513f;
        const float y1 = upper ? y0 - 0.78867513f : y0 + G2;
        const float gx = upper ? c.g01x : c.g10x;
        const float gy = upper ? c.g01y : c.g10y;
        const float b = 0.5f - x1 * x1 - y1 * y1;
        const float e1 = b > 0 ? (b * b) * (b * b) * (x1 * gx + y1 * gy) : 0.0f;
        Accumulate<Fractal>(out + k, (e0 + e1 + e2) * 99.836853f, amp);
    }
}

template <int32_t Fractal>
VELMORAN_SIMD_CLONES void OpenSimplex2Lanes(int32_t seedValue, const float* __restrict xs,
                                            const float* __restrict ys, float* __restrict out, uint32_t n,
                                            float amp)
{
    constexpr float G2 = 0.21132487f;
    const uint32_t seed = static_cast<uint32_t>(seedValue);
    const uint32_t primeX = static_cast<uint32_t>(PrimeX);
    const uint32_t primeY = static_cast<uint32_t>(PrimeY);
    for (uint32_t k = 0; k < n; ++k)
    {
        const float x = xs[k];
        const float y = ys[k];
        const int32_t i = FastFloor(x);
        const int32_t j = FastFloor(y);
        const float xi = x - static_cast<float>(i);
        const float yi = y - static_cast<float>(j);
        const float t = (xi + yi) * G2;
        const float x0 = xi - t;
        const float y0 = yi - t;
        const uint32_t iPrimed = static_cast<uint32_t>(i) * primeX;
        const uint32_t jPrimed = static_cast<uint32_t>(j) * primeY;

        const float a = 0.5f - x0 * x0 - y0 * y0;
        const uint32_t h0 = GradIndexLane(seed, iPrimed, jPrimed);
        const float e0 = a > 0 ? (a * a) * (a * a) * (x0 * Gradients2D[h0] + y0 * Gradients2D[h0 + 1]) : 0.0f;

        const float c = (a - 0.66666663f) + t * 3.1547005f;
        const float x2 = x0 - 0.57735026f;
        const float y2 = y0 - 0.57735026f;
        const uint32_t h2 = GradIndexLane(seed, iPrimed + primeX, jPrimed + primeY);
        const float e2 = c > 0 ? (c * c) * (c * c) * (x2 * Gradients2D[h2] + y2 * Gradients2D[h2 + 1]) : 0.0f;

        const bool upper = y0 > x0;
        const float x1 = upper ? x0 + G2 : x0 - 0.78867513f;
        const float y1 = upper ? y0 - 0.78867513f : y0 + G2;
        const uint32_t h1 =
            GradIndexLane(seed, upper ? iPrimed : iPrimed + primeX, upper ? jPrimed + primeY : jPrimed);
        const float b = 0.5f - x1 * x1 - y1 * y1;
        const float e1 = b > 0 ? (b * b) * (b * b) * (x1 * Gradients2D[h1] + y1 * Gradients2D[h1 + 1]) : 0.0f;

        Accumulate<Fractal>(out + k, (e0 + e1 + e2) * 99.836853f, amp);
    }
}

VELMORAN_SIMD_CLONES
void FloorLanes(const float* __restrict xs, const float* __restrict ys, int32_t* __restrict cellX,
                int32_t* __restrict cellY, uint32_t n)
{
    for (uint32_t k = 0; k < n; ++k)
    {
        cellX[k] = FastFloor(xs[k]);
        cellY[k] = FastFloor(ys[k]);
    }
}

inline void CornerGradient(int32_t seed, int32_t xPrimed, int32_t yPrimed, float& gx, float& gy)
{
    const uint32_t h = GradIndexLane(static_cast<uint32_t>(seed), static_cast<uint32_t>(xPrimed),
                                     static_cast<uint32_t>(yPrimed));
    gx = Gradients2D[h];
    gy = Gradients2D[h + 1];
}

// One octave over n <= kChunk samples at the skewed coordinates xs, ys.
template <int32_t Fractal>
void OpenSimplex2Octave(int32_t seed, const float* xs, const float* ys, float* out, uint32_t n, float amp)
{
    constexpr uint32_t kChunk = 256;
    if (n == 0) return;
    // The coordinates run monotonically along the row, so the cells between the first and the last
    // sample are about all the chunk crosses. A run loop pays off from about a dozen samples a cell.
    const int64_t cells = std::llabs(int64_t{FastFloor(xs[n - 1])} - FastFloor(xs[0])) +
                          std::llabs(int64_t{FastFloor(ys[n - 1])} - FastFloor(ys[0])) + 1;
    if (int64_t{n} < 12 * cells)
    {
        OpenSimplex2Lanes<Fractal>(seed, xs, ys, out, n, amp);
        return;
    }
    int32_t cellX[kChunk];
    int32_t cellY[kChunk];
    FloorLanes(xs, ys, cellX, cellY, n);
    uint32_t begin = 0;
    while (begin < n)
    {
        const int32_t i = cellX[begin];
        const int32_t j = cellY[begin];
        uint32_t end = begin + 1;
        while (end < n && cellX[end] == i && cellY[end] == j)
            ++end;
        SimplexCell cell;
        cell.fi = static_cast<float>(i);
        cell.fj = static_cast<float>(j);
        const int32_t iPrimed = WrapMul(i, PrimeX);
        const int32_t jPrimed = WrapMul(j, PrimeY);
        CornerGradient(seed, iPrimed, jPrimed, cell.g00x, cell.g00y);
        CornerGradient(seed, WrapAdd(iPrimed, PrimeX), jPrimed, cell.g10x, cell.g10y);
        CornerGradient(seed, iPrimed, WrapAdd(jPrimed, PrimeY), cell.g01x, cell.g01y);
        CornerGradient(seed, WrapAdd(iPrimed, PrimeX), WrapAdd(jPrimed, PrimeY), cell.g11x, cell.g11y);
        OpenSimplex2Run<Fractal>(cell, xs + begin, ys + begin, out + begin, end - begin, amp);
        begin = end;
    }
}

template <int32_t Fractal>
void OpenSimplex2Row(const NoiseGenerator& noise, float offsetX, float y, uint32_t count, float* out,
                     int32_t first)
{
    constexpr uint32_t kChunk = 256;
    float xs[kChunk];
    float ys[kChunk];
    const float yf = y * noise.frequency;
    for (uint32_t begin = 0; begin < count; begin += kChunk)
    {
        const uint32_t n = count - begin < kChunk ? count - begin : kChunk;
        float* sum = out + begin;
        for (uint32_t j = 0; j < n; ++j)
        {
            const float x =
                (static_cast<float>(first + static_cast<int32_t>(begin + j)) + offsetX) * noise.frequency;
            const float t = (x + yf) * 0.36602539f;
            xs[j] = x + t;
            ys[j] = yf + t;
        }
        if constexpr (Fractal == NoiseGenerator::FBm || Fractal == NoiseGenerator::Ridged)
        {
            for (uint32_t j = 0; j < n; ++j)
                sum[j] = 0;
            int32_t seed = noise.seed;
            float amp = noise.fractalBounding;
            for (int32_t octave = 0; octave < noise.octaves; ++octave)
            {
                OpenSimplex2Octave<Fractal>(seed, xs, ys, sum, n, amp);
                for (uint32_t j = 0; j < n; ++j)
                {
                    xs[j] *= noise.lacunarity;
                    ys[j] *= noise.lacunarity;
                }
                seed = WrapAdd(seed, 1);
                amp *= noise.gain;
            }
        }
        else
        {
            OpenSimplex2Octave<Fractal>(noise.seed, xs, ys, sum, n, 0.0f);
        }
    }
}

template <int32_t Type> struct RowKernel;
template <> struct RowKernel<NoiseGenerator::Cellular>
{
    using type = CellularRow;
};
template <> struct RowKernel<NoiseGenerator::Perlin>
{
    using type = PerlinRow;
};
template <> struct RowKernel<NoiseGenerator::ValueCubic>
{
    using type = ValueCubicRow;
};
template <> struct RowKernel<NoiseGenerator::Value>
{
    using type = ValueRow;
};

// One octave over n samples at xs: out = v, out += v * amp (fBm) or out += (1 - 2|v|) * amp (ridged).
template <typename Kernel, int32_t Fractal>
VELMORAN_SIMD_CLONES void OctaveRow(const Kernel& kernel, const float* xs, float* __restrict out, uint32_t n,
                                    float amp)
{
    uint32_t begin = 0;
    while (begin < n)
    {
        const int32_t cell = Kernel::CellOf(xs[begin]);
        uint32_t end = begin + 1;
        while (end < n && Kernel::CellOf(xs[end]) == cell)
            ++end;
        const typename Kernel::Cell c = kernel.Prepare(cell);
        for (uint32_t j = begin; j < end; ++j)
        {
            const float v = Kernel::Eval(c, xs[j]);
            if constexpr (Fractal == NoiseGenerator::FBm)
                out[j] += v * amp;
            else if constexpr (Fractal == NoiseGenerator::Ridged)
                out[j] += (1 - 2 * std::fabs(v)) * amp;
            else
                out[j] = v;
        }
        begin = end;
    }
}

template <int32_t Type, int32_t Fractal>
void SampleRow(const NoiseGenerator& noise, float offsetX, float y, uint32_t count, float* out, int32_t first)
{
    if constexpr (Type == NoiseGenerator::OpenSimplex2)
    {
        OpenSimplex2Row<Fractal>(noise, offsetX, y, count, out, first);
    }
    else if constexpr (Type != NoiseGenerator::Cellular && Type != NoiseGenerator::Perlin &&
                       Type != NoiseGenerator::ValueCubic && Type != NoiseGenerator::Value)
    {
        for (uint32_t j = 0; j < count; ++j)
            out[j] = Sample<Type, Fractal>(noise,
                                           static_cast<float>(first + static_cast<int32_t>(j)) + offsetX, y);
    }
    else
    {
        using Kernel = typename RowKernel<Type>::type;
        constexpr uint32_t kChunk = 256;
        float xs[kChunk];
        const float y0 = y * noise.frequency;
        for (uint32_t begin = 0; begin < count; begin += kChunk)
        {
            const uint32_t n = count - begin < kChunk ? count - begin : kChunk;
            float* sum = out + begin;
            for (uint32_t j = 0; j < n; ++j)
                xs[j] =
                    (static_cast<float>(first + static_cast<int32_t>(begin + j)) + offsetX) * noise.frequency;

            if constexpr (Fractal == NoiseGenerator::FBm || Fractal == NoiseGenerator::Ridged)
            {
                for (uint32_t j = 0; j < n; ++j)
                    sum[j] = 0;
                int32_t seed = noise.seed;
                float amp = noise.fractalBounding;
                float yo = y0;
                for (int32_t octave = 0; octave < noise.octaves; ++octave)
                {
                    OctaveRow<Kernel, Fractal>(Kernel(noise, seed, yo), xs, sum, n, amp);
                    for (uint32_t j = 0; j < n; ++j)
                        xs[j] *= noise.lacunarity;
                    seed = WrapAdd(seed, 1);
                    amp *= noise.gain;
                    yo *= noise.lacunarity;
                }
            }
            else
            {
                OctaveRow<Kernel, Fractal>(Kernel(noise, noise.seed, y0), xs, sum, n, 0.0f);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Dispatch. The panel stores no other codes; an unknown kernel gives 0 and an unknown fractal
// mode samples one octave.

template <int32_t Type> float SampleFractal(const NoiseGenerator& noise, float x, float y)
{
    switch (noise.fractalType)
    {
    case NoiseGenerator::FBm:
        return Sample<Type, NoiseGenerator::FBm>(noise, x, y);
    case NoiseGenerator::Ridged:
        return Sample<Type, NoiseGenerator::Ridged>(noise, x, y);
    default:
        return Sample<Type, NoiseGenerator::None>(noise, x, y);
    }
}

template <int32_t Type>
void SampleRowFractal(const NoiseGenerator& noise, float offsetX, float y, uint32_t count, float* out,
                      int32_t first)
{
    switch (noise.fractalType)
    {
    case NoiseGenerator::FBm:
        return SampleRow<Type, NoiseGenerator::FBm>(noise, offsetX, y, count, out, first);
    case NoiseGenerator::Ridged:
        return SampleRow<Type, NoiseGenerator::Ridged>(noise, offsetX, y, count, out, first);
    default:
        return SampleRow<Type, NoiseGenerator::None>(noise, offsetX, y, count, out, first);
    }
}
} // namespace

float NoiseGenerator::GetNoise(float x, float y) const
{
    switch (noiseType)
    {
    case OpenSimplex2:
        return SampleFractal<OpenSimplex2>(*this, x, y);
    case Cellular:
        return SampleFractal<Cellular>(*this, x, y);
    case Perlin:
        return SampleFractal<Perlin>(*this, x, y);
    case ValueCubic:
        return SampleFractal<ValueCubic>(*this, x, y);
    case Value:
        return SampleFractal<Value>(*this, x, y);
    default:
        return 0.0f;
    }
}

void NoiseGenerator::GetNoiseRow(float offsetX, float y, uint32_t count, float* out, int32_t first) const
{
    switch (noiseType)
    {
    case OpenSimplex2:
        return SampleRowFractal<OpenSimplex2>(*this, offsetX, y, count, out, first);
    case Cellular:
        return SampleRowFractal<Cellular>(*this, offsetX, y, count, out, first);
    case Perlin:
        return SampleRowFractal<Perlin>(*this, offsetX, y, count, out, first);
    case ValueCubic:
        return SampleRowFractal<ValueCubic>(*this, offsetX, y, count, out, first);
    case Value:
        return SampleRowFractal<Value>(*this, offsetX, y, count, out, first);
    default:
        for (uint32_t j = 0; j < count; ++j)
            out[j] = 0.0f;
        return;
    }
}

float NoiseGenerator::GenNoiseSingle(int32_t seedValue, float x, float y) const
{
    switch (noiseType)
    {
    case OpenSimplex2:
        return Single<OpenSimplex2>(*this, seedValue, x, y);
    case Cellular:
        return Single<Cellular>(*this, seedValue, x, y);
    case Perlin:
        return Single<Perlin>(*this, seedValue, x, y);
    case ValueCubic:
        return Single<ValueCubic>(*this, seedValue, x, y);
    case Value:
        return Single<Value>(*this, seedValue, x, y);
    default:
        return 0.0f;
    }
}

void NoiseGenerator::CalculateFractalBounding()
{
    const float g = std::fabs(gain);
    float amp = g;
    float total = 1.0f;
    for (int32_t i = 1; i < octaves; ++i)
    {
        total += amp;
        amp *= g;
    }
    fractalBounding = 1 / total;
}
