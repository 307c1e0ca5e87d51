#pragma once
// The layer stack applied in list order over the base heights: image layers (noise or loaded) add
// their pixels, erosion entries reshape the heights summed before them. The editor's terrain and the
// headless build both apply it here, so both hold the same bits.
//
// Erosion takes up to a second on a large grid, so each erosion entry keeps what it last made: the
// fingerprint of its input heights with its settings (the key) and the eroded heights with their mask.
// An apply whose key matches takes the result instead of eroding again: realtime updates and repeated
// "Update mesh" erode again only when something before the entry (or the entry itself) changed.
#include "terrain/Erosion.h"
#include "terrain/LayerSettings.h"
#include "terrain/Layers.h"
#include "terrain/TerrainGrid.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace LayerStack
{
// What an erosion run depends on. Settings are kept clamped, as the run uses them.
struct ErosionKey
{
    uint64_t input = 0; // Fingerprint of the heights before the entry
    uint32_t width = 0;
    uint32_t height = 0;
    float vertexDistance = 0.0f;
    Erosion::Settings settings;
    Erosion::Anchor anchor; // where the grid lies in a world

    bool operator==(const ErosionKey& other) const;
    bool operator!=(const ErosionKey& other) const { return !(*this == other); }
};

struct ErosionResult
{
    Erosion::Status status = Erosion::Status::Done;
    std::vector<float> heights; // width * height, vertex order
    std::vector<uint8_t> mask;  // RGB per vertex (Erosion::MaskImage): removed, deposited, flow
};

struct ErosionCache
{
    bool valid = false;
    ErosionKey key;
    ErosionResult result;
    uint32_t generation = 0; // counts the results stored, so that owners notice a new mask
};

// A 64-bit fingerprint of the bits of count floats.
uint64_t Fingerprint(const float* values, size_t count);

// The one call into Erosion that the stack makes. It takes everything by value and touches nothing
// shared, so that it can run on a background job as it is and have its result stored in the entry's
// cache afterwards. A cancelled run (progress returned false) gives the input heights back unchanged.
ErosionResult RunErosion(std::vector<float> heights, uint32_t width, uint32_t height, float vertexDistance,
                         const Erosion::Settings& settings, const Erosion::Progress& progress = {},
                         const Erosion::Anchor& anchor = {});

struct Entry
{
    enum class Kind
    {
        Add,  // image: its pixels times its power are added
        Erode // erosion: settings and cache
    };
    Kind kind = Kind::Add;
    Layers::LayerView image;
    Erosion::Settings erosion;
    ErosionCache* cache = nullptr; // required for Erode

    static Entry Add(const Layers::LayerView& view);
    static Entry Erode(const Erosion::Settings& settings, ErosionCache* cache);
    // A sculpt entry: its heights (one per vertex) added as they are.
    static Entry Sculpt(const float* heights);
    // A heightmap layer's entry: an erosion entry erodes with its settings (keeping its result in
    // cache); any other layer adds its pixels (channels bytes per vertex) times its power, a noise
    // layer with smooth heights its unrounded levels where there is one per vertex.
    static Entry Layer(bool erosion, bool noise, const LayerSettings& settings, const uint8_t* pixels,
                       uint32_t channels, const std::vector<float>& smoothLevels, size_t vertexCount,
                       ErosionCache* cache);
};

enum class CacheUse
{
    Run,       // an erosion entry whose cache does not match erodes and stores its result
    CachedOnly // an erosion entry whose cache does not match stops the apply (Apply returns false)
};

// How far the erosion run of entry (its index in the list) is, 0 to 1; returning false stops it.
using ApplyProgress = std::function<bool(size_t entry, float fraction)>;

// positions = basePositions (x, y, z per vertex) with the entries applied in order; range receives the
// height range. basePositions may be positions itself. Returns false with CachedOnly, when an
// erosion entry would have to run, and when progress stopped a run (that entry's cache is left as it
// was; positions then hold a partial result). anchor: where the grid lies in a world (erosion runs).
bool Apply(const float* basePositions, float* positions, uint32_t width, uint32_t height,
           float vertexDistance, const Entry* entries, size_t count, TerrainGrid::HeightRange& range,
           CacheUse use = CacheUse::Run, const ApplyProgress& progress = {},
           const Erosion::Anchor& anchor = {});
// Apply for the vertices of region only (positions outside it are not touched), the same bits Apply
// gives them when every erosion entry's cache holds the result for the heights before it: each erosion
// entry takes its cached heights as they are (left out when it holds none). For an edit of an entry
// after the last erosion entry, which leaves their inputs as they were. Returns the region's range.
TerrainGrid::HeightRange ApplyIn(const float* basePositions, float* positions, uint32_t width,
                                 uint32_t height, const Entry* entries, size_t count,
                                 const TerrainGrid::Region& region);
} // namespace LayerStack
