#include "terrain/Sculpt.h"

#include "terrain/Noise.h"

#include <glm/geometric.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Sculpt
{
namespace
{
// A dab of Raise/Lower or Noise at full strength moves the centre by this share of the radius.
constexpr float kStepShare = 0.02f;

float Y(const float* positions, uint32_t height, size_t i, size_t j)
{
    return positions[3 * (i * height + j) + 1];
}
} // namespace

GridFrame GridFrame::Of(const float* positions, float vertexDistance)
{
    GridFrame frame;
    frame.x0 = positions[0];
    frame.z0 = positions[2];
    frame.spacing = vertexDistance > 0.0f ? vertexDistance : 1.0f;
    return frame;
}

float Weight(float distanceOverRadius, float falloff)
{
    const float t = distanceOverRadius;
    if (!(t < 1.0f)) return 0.0f;
    const float fade = std::clamp(falloff, 0.0f, 1.0f);
    const float inner = 1.0f - fade;
    if (t <= inner) return 1.0f;
    const float s = (t - inner) / fade;
    return 1.0f - s * s * (3.0f - 2.0f * s);
}

bool HeightAt(const float* positions, uint32_t width, uint32_t height, const GridFrame& frame, float x,
              float z, float& out)
{
    if (width < 2 || height < 2) return false;
    const float gi = (x - frame.x0) / frame.spacing;
    const float gj = (z - frame.z0) / frame.spacing;
    if (!(gi >= 0.0f && gj >= 0.0f && gi <= static_cast<float>(width - 1) &&
          gj <= static_cast<float>(height - 1)))
        return false;
    // Cell (p, q) holds a = (p, q), b = (p, q+1), c = (p+1, q), e = (p+1, q+1) and the triangles
    // (a, c, b) below its diagonal and (b, c, e) above it.
    const size_t p = std::min<size_t>(static_cast<size_t>(gi), width - 2);
    const size_t q = std::min<size_t>(static_cast<size_t>(gj), height - 2);
    const float u = gi - static_cast<float>(p);
    const float v = gj - static_cast<float>(q);
    const float a = Y(positions, height, p, q);
    const float b = Y(positions, height, p, q + 1);
    const float c = Y(positions, height, p + 1, q);
    const float e = Y(positions, height, p + 1, q + 1);
    out = u + v <= 1.0f ? a + u * (c - a) + v * (b - a) : e + (1.0f - u) * (b - e) + (1.0f - v) * (c - e);
    return true;
}

bool Pick(const float* positions, uint32_t width, uint32_t height, const GridFrame& frame, float minHeight,
          float maxHeight, const glm::vec3& origin, const glm::vec3& direction, glm::vec3& hit)
{
    if (width < 2 || height < 2 || !(glm::dot(direction, direction) > 0.0f)) return false;
    const glm::vec3 dir = direction / std::sqrt(glm::dot(direction, direction));
    // The box of the grid and its heights (a little taller, so a flat terrain is a slab, not a plane).
    const float margin = 1e-3f * frame.spacing + 1e-4f * std::max(std::fabs(minHeight), std::fabs(maxHeight));
    const glm::vec3 low(frame.x0, minHeight - margin, frame.z0);
    const glm::vec3 high(frame.x0 + static_cast<float>(width - 1) * frame.spacing, maxHeight + margin,
                         frame.z0 + static_cast<float>(height - 1) * frame.spacing);
    float enter = 0.0f;
    float exit = std::numeric_limits<float>::max();
    for (int axis = 0; axis < 3; ++axis)
    {
        if (std::fabs(dir[axis]) < 1e-12f)
        {
            if (origin[axis] < low[axis] || origin[axis] > high[axis]) return false;
            continue;
        }
        float t0 = (low[axis] - origin[axis]) / dir[axis];
        float t1 = (high[axis] - origin[axis]) / dir[axis];
        if (t0 > t1) std::swap(t0, t1);
        enter = std::max(enter, t0);
        exit = std::min(exit, t1);
    }
    if (!(enter <= exit)) return false;

    // Above the surface: positive. Points that round out of the grid count as above it.
    const auto above = [&](float t, bool& inside)
    {
        const glm::vec3 p = origin + t * dir;
        const float x = std::clamp(p.x, low.x, high.x);
        const float z = std::clamp(p.z, low.z, high.z);
        float surface = 0.0f;
        inside = HeightAt(positions, width, height, frame, x, z, surface);
        return p.y - surface;
    };
    const float across = std::sqrt(dir.x * dir.x + dir.z * dir.z);
    const float step = across > 1e-6f ? 0.5f * frame.spacing / across : exit - enter;
    bool inside = false;
    float t0 = enter;
    float f0 = above(t0, inside);
    if (f0 <= 0.0f)
    {
        if (!inside) return false;
        hit = origin + t0 * dir; // the ray enters through the side of the terrain, or starts under it
        return true;
    }
    while (t0 < exit)
    {
        const float t1 = std::min(exit, t0 + std::max(step, 1e-6f));
        const float f1 = above(t1, inside);
        if (f1 <= 0.0f && inside)
        {
            float a = t0;
            float b = t1;
            for (int n = 0; n < 32; ++n)
            {
                const float m = 0.5f * (a + b);
                if (above(m, inside) > 0.0f)
                    a = m;
                else
                    b = m;
            }
            hit = origin + b * dir;
            float surface = hit.y;
            if (HeightAt(positions, width, height, frame, hit.x, hit.z, surface)) hit.y = surface;
            return true;
        }
        if (t1 >= exit) break;
        t0 = t1;
    }
    return false;
}

TerrainGrid::Region DabRegion(uint32_t width, uint32_t height, const GridFrame& frame, float x, float z,
                              float radius)
{
    TerrainGrid::Region region;
    if (width == 0 || height == 0 || !(radius > 0.0f)) return region;
    const auto span = [&](float centre, float origin, uint32_t count, uint32_t& begin, uint32_t& end)
    {
        const double from = std::ceil((static_cast<double>(centre) - radius - origin) / frame.spacing);
        const double to = std::floor((static_cast<double>(centre) + radius - origin) / frame.spacing);
        begin = static_cast<uint32_t>(std::clamp(from, 0.0, static_cast<double>(count)));
        end = static_cast<uint32_t>(std::clamp(to + 1.0, 0.0, static_cast<double>(count)));
    };
    span(x, frame.x0, width, region.rowBegin, region.rowEnd);
    span(z, frame.z0, height, region.columnBegin, region.columnEnd);
    return region;
}

TerrainGrid::Region ApplyDab(const Brush& brush, const Dab& dab, const float* positions, float* sculpt,
                             uint32_t width, uint32_t height, const GridFrame& frame)
{
    const TerrainGrid::Region region = DabRegion(width, height, frame, dab.x, dab.z, brush.radius);
    if (region.Empty()) return region;
    const float radius = brush.radius;
    const float strength = std::clamp(brush.strength, 0.0f, 1.0f);
    const float step = kStepShare * radius * strength;
    NoiseGenerator noise;
    if (brush.tool == Tool::Noise)
    {
        noise.seed = dab.seed;
        noise.noiseType = NoiseGenerator::OpenSimplex2;
        noise.frequency = 4.0f / radius; // a few bumps across the brush
    }
    for (size_t i = region.rowBegin; i < region.rowEnd; ++i)
    {
        const float x = frame.x0 + static_cast<float>(i) * frame.spacing;
        for (size_t j = region.columnBegin; j < region.columnEnd; ++j)
        {
            const float z = frame.z0 + static_cast<float>(j) * frame.spacing;
            const float dx = x - dab.x;
            const float dz = z - dab.z;
            const float w = Weight(std::sqrt(dx * dx + dz * dz) / radius, brush.falloff);
            if (w <= 0.0f) continue;
            const size_t k = i * height + j;
            const float h = positions[3 * k + 1];
            float delta = 0.0f;
            switch (brush.tool)
            {
            case Tool::RaiseLower:
                delta = (dab.invert ? -step : step) * w;
                break;
            case Tool::Smooth:
            {
                // The mean of the vertex and its neighbours inside the grid, read from the surface as it
                // was before the dab (positions do not change here).
                float sum = 0.0f;
                float n = 0.0f;
                for (size_t a = i > 0 ? i - 1 : 0; a <= std::min<size_t>(i + 1, width - 1); ++a)
                    for (size_t b = j > 0 ? j - 1 : 0; b <= std::min<size_t>(j + 1, height - 1); ++b)
                    {
                        sum += Y(positions, height, a, b);
                        n += 1.0f;
                    }
                delta = (sum / n - h) * strength * w;
                break;
            }
            case Tool::Flatten:
                delta = (dab.flattenHeight - h) * strength * w;
                break;
            case Tool::Noise:
                delta = (dab.invert ? -step : step) * w * noise.GetNoise(x, z);
                break;
            }
            sculpt[k] += delta;
        }
    }
    return region;
}

std::vector<glm::vec3> Circle(const float* positions, uint32_t width, uint32_t height, const GridFrame& frame,
                              float x, float z, float radius, uint32_t count, float lift)
{
    std::vector<glm::vec3> points;
    if (width < 2 || height < 2 || count < 2) return points;
    const float xHigh = frame.x0 + static_cast<float>(width - 1) * frame.spacing;
    const float zHigh = frame.z0 + static_cast<float>(height - 1) * frame.spacing;
    points.reserve(count + 1);
    for (uint32_t n = 0; n <= count; ++n) // the last point closes the strip
    {
        const float angle = 6.2831853f * static_cast<float>(n % count) / static_cast<float>(count);
        // Kept on the terrain: the part of the rim beyond its edge follows the edge.
        const float px = std::clamp(x + radius * std::cos(angle), frame.x0, xHigh);
        const float pz = std::clamp(z + radius * std::sin(angle), frame.z0, zHigh);
        float y = 0.0f;
        HeightAt(positions, width, height, frame, px, pz, y);
        points.emplace_back(px, y + lift, pz);
    }
    return points;
}
} // namespace Sculpt
