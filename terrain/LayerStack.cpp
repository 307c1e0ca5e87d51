#include "terrain/LayerStack.h"

#include <cstring>

namespace LayerStack
{
namespace
{
bool SameFloat(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool SameSettings(const Erosion::Settings& a, const Erosion::Settings& b)
{
    const Erosion::HydraulicSettings& x = a.hydraulic;
    const Erosion::HydraulicSettings& y = b.hydraulic;
    return a.method == b.method && x.droplets == y.droplets && x.seed == y.seed &&
           SameFloat(x.inertia, y.inertia) && SameFloat(x.capacity, y.capacity) &&
           SameFloat(x.deposition, y.deposition) && SameFloat(x.erosion, y.erosion) &&
           SameFloat(x.evaporation, y.evaporation) && x.radius == y.radius && x.maxSteps == y.maxSteps &&
           SameFloat(x.gravity, y.gravity) && SameFloat(x.minSlope, y.minSlope) &&
           SameFloat(a.thermal.talusAngle, b.thermal.talusAngle) &&
           a.thermal.iterations == b.thermal.iterations && SameFloat(a.thermal.strength, b.thermal.strength);
}

uint64_t Rotate(uint64_t x, int bits)
{
    return (x << bits) | (x >> (64 - bits));
}
} // namespace

bool ErosionKey::operator==(const ErosionKey& other) const
{
    // The settings of the method not chosen take part too: cheaper to compare than to reason about.
    return input == other.input && width == other.width && height == other.height &&
           SameFloat(vertexDistance, other.vertexDistance) && SameSettings(settings, other.settings) &&
           anchor == other.anchor;
}

uint64_t Fingerprint(const float* values, size_t count)
{
    // Four independent lanes of a multiply-rotate round (as in the common 64-bit hashes), so the
    // multiplications overlap: a 1025 x 1025 grid takes about a millisecond.
    constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
    constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
    uint64_t lanes[4] = {kPrime1, kPrime2, ~kPrime1, ~kPrime2};
    const auto* bytes = reinterpret_cast<const unsigned char*>(values);
    const size_t total = count * sizeof(float);
    size_t at = 0;
    for (; at + 32 <= total; at += 32)
        for (int l = 0; l < 4; ++l)
        {
            uint64_t word;
            std::memcpy(&word, bytes + at + 8 * l, sizeof word);
            lanes[l] = Rotate(lanes[l] + word * kPrime2, 31) * kPrime1;
        }
    uint64_t hash = static_cast<uint64_t>(total) * kPrime1;
    for (int l = 0; l < 4; ++l)
        hash = Rotate(hash ^ lanes[l], 27) * kPrime1 + kPrime2;
    for (; at < total; ++at)
        hash = Rotate(hash ^ (bytes[at] * kPrime2), 11) * kPrime1;
    // Final avalanche: every input bit reaches every output bit.
    hash ^= hash >> 33;
    hash *= kPrime2;
    hash ^= hash >> 29;
    return hash;
}

ErosionResult RunErosion(std::vector<float> heights, uint32_t width, uint32_t height, float vertexDistance,
                         const Erosion::Settings& settings, const Erosion::Progress& progress,
                         const Erosion::Anchor& anchor)
{
    ErosionResult result;
    Erosion::Masks masks;
    result.status =
        Erosion::Erode(heights.data(), width, height, vertexDistance, settings, &masks, progress, anchor)
            .status;
    const size_t count = size_t{width} * height;
    result.mask.assign(3 * count, 0);
    if (result.status == Erosion::Status::Done && masks.removed.size() == count)
        Erosion::MaskImage(masks, count, result.mask.data());
    result.heights = std::move(heights);
    return result;
}

Entry Entry::Add(const Layers::LayerView& view)
{
    Entry entry;
    entry.kind = Kind::Add;
    entry.image = view;
    return entry;
}

Entry Entry::Erode(const Erosion::Settings& settings, ErosionCache* cache)
{
    Entry entry;
    entry.kind = Kind::Erode;
    entry.erosion = settings;
    entry.cache = cache;
    return entry;
}

Entry Entry::Sculpt(const float* heights)
{
    Layers::LayerView view;
    view.offsets = heights;
    return Add(view);
}

Entry Entry::Layer(bool erosion, bool noise, const LayerSettings& settings, const uint8_t* pixels,
                   uint32_t channels, const std::vector<float>& smoothLevels, size_t vertexCount,
                   ErosionCache* cache)
{
    if (erosion) return Erode(settings.erosion, cache);
    const bool smooth =
        noise && settings.smoothHeights && channels == 1 && smoothLevels.size() == vertexCount;
    return Add({pixels, channels, settings.power, smooth ? smoothLevels.data() : nullptr});
}

bool Apply(const float* basePositions, float* positions, uint32_t width, uint32_t height,
           float vertexDistance, const Entry* entries, size_t count, TerrainGrid::HeightRange& range,
           CacheUse use, const ApplyProgress& progress, const Erosion::Anchor& anchor)
{
    const size_t vertices = size_t{width} * height;
    std::vector<Layers::LayerView> views;
    std::vector<float> heights;
    const float* from = basePositions;
    size_t e = 0;
    for (;;)
    {
        // The images up to the next erosion entry in one pass: the same additions, in list order, as
        // adding them one after another. After the last erosion entry the pass (of no images, maybe)
        // also gives the height range.
        views.clear();
        for (; e < count && entries[e].kind == Entry::Kind::Add; ++e)
            views.push_back(entries[e].image);
        range = Layers::ApplyLayers(from, positions, width, height, views.data(), views.size());
        from = positions;
        if (e == count) return true;

        const size_t index = e;
        const Entry& entry = entries[e++];
        if (entry.cache == nullptr) continue;
        heights.resize(vertices);
        for (size_t k = 0; k < vertices; ++k)
            heights[k] = positions[3 * k + 1];
        ErosionKey key;
        key.input = Fingerprint(heights.data(), vertices);
        key.width = width;
        key.height = height;
        key.vertexDistance = vertexDistance;
        key.settings = entry.erosion;
        Erosion::Clamp(key.settings);
        key.anchor = anchor;

        ErosionCache& cache = *entry.cache;
        if (!cache.valid || cache.key != key)
        {
            if (use == CacheUse::CachedOnly) return false;
            Erosion::Progress runProgress;
            if (progress)
                runProgress = [&progress, index](float fraction) { return progress(index, fraction); };
            ErosionResult fresh = RunErosion(std::move(heights), width, height, vertexDistance, key.settings,
                                             runProgress, anchor);
            if (fresh.status == Erosion::Status::Cancelled) return false;
            cache.result = std::move(fresh);
            cache.key = key;
            cache.valid = true;
            ++cache.generation;
        }
        const std::vector<float>& eroded = cache.result.heights;
        if (eroded.size() != vertices)
            continue; // cannot happen for a matching key; the heights stay as summed
        for (size_t k = 0; k < vertices; ++k)
            positions[3 * k + 1] = eroded[k];
    }
}

TerrainGrid::HeightRange ApplyIn(const float* basePositions, float* positions, uint32_t width,
                                 uint32_t height, const Entry* entries, size_t count,
                                 const TerrainGrid::Region& region)
{
    TerrainGrid::HeightRange range;
    const size_t vertices = size_t{width} * height;
    if (region.Empty() || region.rowEnd > width || region.columnEnd > height) return range;
    const size_t n = region.columnEnd - region.columnBegin;
    std::vector<float> row(n);
    float* __restrict y = row.data();
    for (size_t i = region.rowBegin; i < region.rowEnd; ++i)
    {
        // Per vertex the additions Layers::ApplyLayers makes, in list order; an erosion entry puts its
        // result in place of the sum before it, as Apply does.
        const size_t first = i * height + region.columnBegin;
        for (size_t j = 0; j < n; ++j)
            y[j] = basePositions[3 * (first + j) + 1];
        for (size_t e = 0; e < count; ++e)
        {
            const Entry& entry = entries[e];
            if (entry.kind == Entry::Kind::Erode)
            {
                if (entry.cache == nullptr || entry.cache->result.heights.size() != vertices) continue;
                const float* eroded = entry.cache->result.heights.data() + first;
                for (size_t j = 0; j < n; ++j)
                    y[j] = eroded[j];
                continue;
            }
            const Layers::LayerView& layer = entry.image;
            if (layer.offsets != nullptr)
            {
                const float* o = layer.offsets + first;
                for (size_t j = 0; j < n; ++j)
                    y[j] += o[j];
                continue;
            }
            const float power = layer.power;
            const uint32_t c = layer.channels;
            const uint8_t* p = layer.data + c * first + Layers::LayerChannelOffset(c);
            if (c == 1 && layer.levels != nullptr)
            {
                const float* v = layer.levels + first;
                for (size_t j = 0; j < n; ++j)
                    y[j] += Layers::SmoothLevel(p[j], v[j]) * 0.003921569f * power;
            }
            else
            {
                for (size_t j = 0; j < n; ++j)
                    y[j] += static_cast<float>(p[c * j]) * 0.003921569f * power;
            }
        }
        range.Add(TerrainGrid::RangeOf(y, n));
        for (size_t j = 0; j < n; ++j)
            positions[3 * (first + j) + 1] = y[j];
    }
    return range;
}
} // namespace LayerStack
