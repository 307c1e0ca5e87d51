// Water map algorithms and the Terrain members that run them.
//   - helpers: pixel access, neighbour slots, padded bit sets
//   - Flood and Pour: the flood search and one stroke point
//   - Outline: the edge-water fringe
//   - BuildPlane: vertex, level and triangle passes of the water plane
//   - Terrain::FloodWater, PourWater, OutlineWater, ClearWater
#include "terrain/Water.h"

#include "engine/Log.h"
#include "engine/Parallel.h"
#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/WaterPlane.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace Water
{
namespace
{
// The flood's neighbour order, in the order they are pushed (so the last one is taken first).
constexpr int kFloodDi[8] = {1, 1, 1, 0, -1, -1, -1, 0};
constexpr int kFloodDj[8] = {0, 1, -1, 1, 0, 1, -1, -1};
// Slots that need a row after i, before i, a column after j, before j.
constexpr uint32_t kNeedsNextRow = 0b00000111;
constexpr uint32_t kNeedsPrevRow = 0b01110000;
constexpr uint32_t kNeedsNextCol = 0b00101010;
constexpr uint32_t kNeedsPrevCol = 0b11000100;
constexpr uint32_t kSelfSlot = 8; // the start vertex, pushed on its own

// The plane walks' neighbour order.
constexpr int kPlaneDi[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr int kPlaneDj[8] = {0, -1, 1, -1, 1, -1, 0, 1};

uint32_t LoadPixel(const uint8_t* watermap, size_t k)
{
    uint32_t value;
    std::memcpy(&value, watermap + 4 * k, 4);
    return value;
}

uint32_t PackPixel(const std::array<uint8_t, 4>& color)
{
    uint32_t value;
    std::memcpy(&value, color.data(), 4);
    return value;
}

uint32_t InGridSlots(uint32_t i, uint32_t j, uint32_t width, uint32_t height)
{
    uint32_t slots = 0xFF;
    if (i + 1 >= width)
        slots &= ~kNeedsNextRow;
    if (i == 0)
        slots &= ~kNeedsPrevRow;
    if (j + 1 >= height)
        slots &= ~kNeedsNextCol;
    if (j == 0)
        slots &= ~kNeedsPrevCol;
    return slots;
}

// Visited bytes double as a note of how many times the level had risen when the vertex was last
// examined (1 + count, saturating at 255 = unknown); see Flood.
constexpr uint8_t kStampUnknown = 255;
uint8_t Stamp(uint32_t levelRises)
{
    return static_cast<uint8_t>(1 + std::min<uint32_t>(levelRises, kStampUnknown - 1));
}
} // namespace

bool IsPixel(const uint8_t* watermap, size_t k, const std::array<uint8_t, 4>& color)
{
    return LoadPixel(watermap, k) == PackPixel(color);
}

namespace
{
// The flood's slot mask of a 3 x 3 block of flags.
struct SlotTable
{
    uint16_t slots[512];
    constexpr SlotTable() : slots()
    {
        // Block bits: 0..2 the row before (columns j-1, j, j+1), 3..5 row i, 6..8 the row after.
        for (uint32_t block = 0; block < 512; ++block)
        {
            auto bit = [&](int row, int column) { return (block >> (3 * (row + 1) + column + 1)) & 1u; };
            uint32_t mask = 0;
            for (int s = 0; s < 8; ++s)
                mask |= bit(kFloodDi[s], kFloodDj[s]) << s;
            slots[block] = static_cast<uint16_t>(mask | (bit(0, 0) << kSelfSlot));
        }
    }
    uint16_t operator[](uint32_t block) const { return slots[block]; }
};
constexpr SlotTable kSlotsOfBlock{};

// A bit per grid vertex with a margin of one row and one column on each side, so that the 3 x 3
// block around any vertex can be read without bounds checks. Bits of vertices that are not real
// neighbours (across a row end or the grid's border) are read too and masked off by the caller.
class PaddedBits
{
public:
    PaddedBits(size_t count, size_t pad) : pad(pad), bytes((count + 2 * pad) / 8 + 16, 0) {}
    uint32_t Test(int64_t k) const
    {
        const size_t b = Index(k);
        return (bytes[b / 8] >> (b % 8)) & 1u;
    }
    void Set(int64_t k)
    {
        const size_t b = Index(k);
        bytes[b / 8] = static_cast<uint8_t>(bytes[b / 8] | (1u << (b % 8)));
    }
    // The flags of the 3 x 3 block around vertex k of a grid whose rows are rowLength long, as the
    // flood's slot mask: bit s for its neighbour s, bit 8 for k itself.
    uint32_t Around(int64_t k, int64_t rowLength) const
    {
        const uint32_t prev = Three(k - rowLength - 1);
        const uint32_t cur = Three(k - 1);
        const uint32_t next = Three(k + rowLength - 1);
        return kSlotsOfBlock[prev | (cur << 3) | (next << 6)];
    }

private:
    size_t Index(int64_t k) const { return static_cast<size_t>(k + static_cast<int64_t>(pad)); }
    // Bits k, k + 1, k + 2 as bits 0, 1, 2.
    uint32_t Three(int64_t k) const
    {
        const size_t b = Index(k);
        const uint32_t two = bytes[b / 8] | (uint32_t{bytes[b / 8 + 1]} << 8);
        return (two >> (b % 8)) & 7u;
    }

    size_t pad;
    std::vector<uint8_t> bytes;
};

// The search of Flood; mark(k) is called for every vertex the plain search appends to its result,
// possibly more than once per vertex.
template <typename Mark>
void FloodSearch(const uint8_t* heights, const uint8_t* watermap, uint32_t width, uint32_t height, uint32_t start,
                 const std::array<uint32_t, 4>& waterColor, uint8_t* visited, uint32_t& level, Mark&& mark)
{
    const size_t count = size_t{width} * height;
    const size_t pad = size_t{height} + 1;

    bool colorPossible = true;
    std::array<uint8_t, 4> colorBytes{};
    for (size_t c = 0; c < 4; ++c)
    {
        colorPossible = colorPossible && waterColor[c] <= 255;
        colorBytes[c] = static_cast<uint8_t>(waterColor[c]);
    }
    const uint32_t colorPacked = PackPixel(colorBytes);

    PaddedBits isVisited(count, pad);
    PaddedBits isWater(count, pad);
    bool anyWater = false;
    if (colorPossible)
    {
        for (size_t k = 0; k < count; ++k)
        {
            if (LoadPixel(watermap, k) == colorPacked)
            {
                isWater.Set(static_cast<int64_t>(k));
                anyWater = true;
            }
        }
    }
    std::vector<uint8_t> paddedHeights(count + 2 * pad, 0);
    std::memcpy(paddedHeights.data() + pad, heights, count);
    const uint8_t* h = paddedHeights.data() + pad;

    int64_t offset[9];
    for (int s = 0; s < 8; ++s)
        offset[s] = int64_t{kFloodDi[s]} * height + kFloodDj[s];
    offset[kSelfSlot] = 0;
    auto markEach = [&](uint32_t owner, uint32_t slots) {
        while (slots != 0)
        {
            const int s = __builtin_ctz(slots);
            slots &= slots - 1;
            mark(static_cast<uint32_t>(int64_t{owner} + offset[s]));
        }
    };

    std::vector<uint64_t> frames;
    frames.reserve(1024);
    frames.push_back(uint64_t{start} | (uint64_t{1} << (32 + kSelfSlot)));
    uint32_t levelRises = 0;

    while (!frames.empty())
    {
        const uint64_t frame = frames.back();
        const auto owner = static_cast<uint32_t>(frame);
        uint32_t waiting = static_cast<uint32_t>(frame >> 32);
        int slot = 0;
        if (levelRises == 0)
        {
            // Until the level first rises, a repeated pop only appends: take those in bulk down to
            // the first waiting vertex not yet visited, which is the next real step.
            const uint32_t seen = isVisited.Around(owner, height);
            const uint32_t fresh = waiting & ~seen;
            if (fresh == 0)
            {
                markEach(owner, waiting);
                frames.pop_back();
                continue;
            }
            slot = 31 - __builtin_clz(fresh);
            markEach(owner, waiting & ~((2u << slot) - 1));
            waiting &= (1u << slot) - 1;
        }
        else
        {
            slot = 31 - __builtin_clz(waiting);
            waiting &= ~(1u << slot);
        }
        if (waiting == 0)
            frames.pop_back();
        else
            frames.back() = uint64_t{owner} | (uint64_t{waiting} << 32);
        const auto k = static_cast<uint32_t>(int64_t{owner} + offset[slot]);

        if (isVisited.Test(k))
        {
            const uint8_t stamp = visited[k];
            if (stamp != kStampUnknown && stamp == Stamp(levelRises))
            {
                mark(k);
                continue;
            }
        }
        isVisited.Set(k);
        visited[k] = Stamp(levelRises);

        const uint32_t i = k / height;
        const uint32_t j = k - i * height;
        const uint32_t candidates = InGridSlots(i, j, width, height) & ~isVisited.Around(k, height);
        const uint8_t hk = h[k];
        uint32_t pushed = 0;
        if (!anyWater || (candidates & isWater.Around(k, height)) == 0)
        {
            // No water among the candidates, so the level stays put through this scan.
            const uint32_t limit = std::max<uint32_t>(hk, level);
            auto rowPasses = [&](int64_t first) {
                return static_cast<uint32_t>(h[first] <= limit) | static_cast<uint32_t>(h[first + 1] <= limit) << 1 |
                       static_cast<uint32_t>(h[first + 2] <= limit) << 2;
            };
            const int64_t row = height;
            const uint32_t passes = kSlotsOfBlock[rowPasses(int64_t{k} - row - 1) | rowPasses(int64_t{k} - 1) << 3 |
                                                  rowPasses(int64_t{k} + row - 1) << 6];
            pushed = candidates & passes;
        }
        else
        {
            for (uint32_t rest = candidates; rest != 0; rest &= rest - 1)
            {
                const int s = __builtin_ctz(rest);
                const int64_t n = int64_t{k} + offset[s];
                const uint8_t hn = h[n];
                const bool water = isWater.Test(n) != 0;
                if (water && hn > level)
                {
                    level = hn;
                    ++levelRises;
                }
                if (hn <= hk || hn <= level || water)
                    pushed |= 1u << s;
            }
        }
        if (pushed != 0)
            frames.push_back(uint64_t{k} | (uint64_t{pushed} << 32));
        else
            mark(k);
    }
}
} // namespace

// The search is the plain one: pop a vertex, mark it visited, push the neighbours that pass, and
// append it to the result when none did. Because the mark is set on pop, a vertex can sit on the stack
// several times and each later pop examines it again. What keeps that cheap on a 4097 x 4097 grid,
// without changing what is found:
// - The stack is held as frames, one per examined vertex, with a bit per neighbour still waiting;
//   taking the highest bit of the top frame is exactly the plain stack's pop, at 8 bytes per frame
//   instead of 4 bytes per waiting entry.
// - A later pop of an already visited vertex finds every neighbour it pushed before already visited
//   (they were above it on the stack), so it can push something only if the level rose since it was
//   last examined. The visited byte records the number of rises at that time, and when it still matches
//   the neighbour scan is skipped: the vertex pushes nothing and belongs to the result.
// - The per-vertex facts read in the inner loop (visited, water) are bit sets with a margin, so a
//   vertex's eight neighbours are read without branches.
// Each neighbour pair causes at most one push, so the work is bounded by 8 pops per vertex.
void Flood(const uint8_t* heights, const uint8_t* watermap, uint32_t width, uint32_t height, uint32_t start,
           const std::array<uint32_t, 4>& waterColor, std::deque<uint32_t>& result, uint8_t* visited,
           uint32_t& level)
{
    const uint64_t count = uint64_t{width} * height;
    if (start >= count || count > std::numeric_limits<uint32_t>::max())
        return;
    std::vector<uint64_t> inResult((count + 63) / 64, 0);
    FloodSearch(heights, watermap, width, height, start, waterColor, visited, level, [&](uint32_t k) {
        uint64_t& word = inResult[k / 64];
        const uint64_t bit = uint64_t{1} << (k % 64);
        if ((word & bit) == 0)
        {
            word |= bit;
            result.push_back(k);
        }
    });
}

void Pour(const uint8_t* heights, uint8_t* watermap, uint32_t width, uint32_t height, uint32_t start)
{
    const uint64_t count = uint64_t{width} * height;
    if (start >= count || count > std::numeric_limits<uint32_t>::max())
        return;
    std::vector<uint8_t> visited(count, 0);
    uint32_t level = 0;
    const std::array<uint32_t, 4> full{kFullWater[0], kFullWater[1], kFullWater[2], kFullWater[3]};
    // The search reads the water map through its own copy of the water bits, so the result can be
    // written straight into the map.
    FloodSearch(heights, watermap, width, height, start, full, visited.data(), level,
                [&](uint32_t k) { std::memcpy(watermap + 4 * size_t{k}, kFullWater.data(), 4); });
}

// A pixel becomes edge water when some full pixel lies within two steps in both axes, i.e. inside the
// 5 x 5 square around it. That is a dilation, done as one pass along each axis over a mask of full
// pixels; since the fringe is computed from the full pixels alone, the order of the passes is free.
void Outline(uint8_t* watermap, uint32_t width, uint32_t height)
{
    const size_t w = width;
    const size_t h = height;
    const uint32_t full = PackPixel(kFullWater);
    std::vector<uint8_t> isFull(w * h);
    std::vector<uint8_t> nearInRow(w * h);
    Parallel::For(w, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
        {
            const size_t row = i * h;
            for (size_t j = 0; j < h; ++j)
                isFull[row + j] = LoadPixel(watermap, row + j) == full;
            for (size_t j = 0; j < h; ++j)
            {
                const size_t first = j >= 2 ? j - 2 : 0;
                const size_t last = std::min(j + 2, h - 1);
                uint8_t any = 0;
                for (size_t q = first; q <= last; ++q)
                    any |= isFull[row + q];
                nearInRow[row + j] = any;
            }
        }
    }, 64);
    Parallel::For(w, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
        {
            const size_t first = i >= 2 ? i - 2 : 0;
            const size_t last = std::min(i + 2, w - 1);
            for (size_t j = 0; j < h; ++j)
            {
                const size_t k = i * h + j;
                if (isFull[k])
                    continue;
                uint8_t any = 0;
                for (size_t p = first; p <= last; ++p)
                    any |= nearInRow[p * h + j];
                if (any)
                    std::memcpy(watermap + 4 * k, kEdgeWater.data(), 4);
            }
        }
    }, 64);
}

// The output arrays of a large plane are tens of megabytes of fresh memory, whose first touch costs
// about as much as the walks themselves; their sizes follow from the water flags alone, so they are
// allocated on a second thread while the vertex pass runs.
PlaneMesh BuildPlane(const uint8_t* watermap, const float* terrainPositions, uint32_t width, uint32_t height,
                     float vertexDistance, float minHeight)
{
    PlaneMesh mesh;
    const size_t w = width;
    const size_t h = height;
    if (w == 0 || h == 0)
        return mesh;
    const uint32_t full = PackPixel(kFullWater);
    const uint32_t edge = PackPixel(kEdgeWater);

    // The walks run on a copy of the map with a dry margin of one pixel all round (row stride h + 2),
    // so that no neighbour needs a bounds check. Pixel flags: water, full water, numbered.
    constexpr uint8_t kWater = 1, kFull = 2, kNumbered = 4;
    const size_t stride = h + 2;
    const size_t paddedCount = (w + 2) * stride;
    auto padded = [stride](size_t i, size_t j) { return (i + 1) * stride + j + 1; };
    std::vector<uint8_t> flags(paddedCount, 0);
    std::vector<size_t> rowWater(w, 0);
    Parallel::For(w, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
        {
            size_t water = 0;
            for (size_t j = 0; j < h; ++j)
            {
                const uint32_t pixel = LoadPixel(watermap, i * h + j);
                const uint8_t f = pixel == full ? kWater | kFull : (pixel == edge ? kWater : 0);
                flags[padded(i, j)] = f;
                water += f != 0;
            }
            rowWater[i] = water;
        }
    }, 64);

    // Triangle pass layout: cell (i, j) with corners a = (i, j), b = (i, j+1), c = (i+1, j),
    // e = (i+1, j+1) gives (a, c, b) and then (b, c, e) where all three corners are water.
    const size_t cellRows = w >= 2 && h >= 2 ? w - 1 : 0;
    std::vector<size_t> rowStart(cellRows + 1, 0);
    Parallel::For(cellRows, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
        {
            size_t indices = 0;
            for (size_t j = 0; j + 1 < h; ++j)
            {
                const size_t q = padded(i, j);
                const bool a = flags[q] != 0, b = flags[q + 1] != 0, c = flags[q + stride] != 0,
                           e = flags[q + stride + 1] != 0;
                indices += (a && c && b ? 3 : 0) + (b && c && e ? 3 : 0);
            }
            rowStart[i + 1] = indices;
        }
    }, 64);
    for (size_t i = 0; i < cellRows; ++i)
        rowStart[i + 1] += rowStart[i];
    size_t n = 0;
    for (size_t water : rowWater)
        n += water;

    // Vertex pass: breadth-first per region. A vertex is numbered when it enters the queue; that is
    // the order in which a queue that re-examines pixels would create them, since a pixel's first entry
    // is always the first to leave. The queue is therefore the list of pixels by vertex number.
    std::vector<int32_t> vertexOf;
    std::vector<uint32_t> pixelOf; // padded index per vertex
    std::vector<size_t> regionStarts;
    auto vertexPass = [&] {
        vertexOf.assign(paddedCount, -1);
        pixelOf.reserve(n);
        int64_t offset[8];
        for (int s = 0; s < 8; ++s)
            offset[s] = int64_t{kPlaneDi[s]} * static_cast<int64_t>(stride) + kPlaneDj[s];
        for (size_t i = 0; i < w; ++i)
        {
            for (size_t j = 0; j < h; ++j)
            {
                const size_t seed = padded(i, j);
                if ((flags[seed] & (kWater | kNumbered)) != kWater)
                    continue;
                regionStarts.push_back(pixelOf.size());
                flags[seed] |= kNumbered;
                vertexOf[seed] = static_cast<int32_t>(pixelOf.size());
                pixelOf.push_back(static_cast<uint32_t>(seed));
                for (size_t head = regionStarts.back(); head < pixelOf.size(); ++head)
                {
                    const int64_t q = pixelOf[head];
                    for (int s = 0; s < 8; ++s)
                    {
                        const auto next = static_cast<size_t>(q + offset[s]);
                        if ((flags[next] & (kWater | kNumbered)) != kWater)
                            continue;
                        flags[next] |= kNumbered;
                        vertexOf[next] = static_cast<int32_t>(pixelOf.size());
                        pixelOf.push_back(static_cast<uint32_t>(next));
                    }
                }
            }
        }
        regionStarts.push_back(pixelOf.size());
    };
    auto allocateOutput = [&](int part) {
        if (part == 0)
        {
            mesh.indices.resize(rowStart[cellRows]);
            mesh.texCoords.resize(2 * n);
        }
        else
        {
            mesh.normals.resize(3 * n);
            for (size_t v = 0; v < n; ++v)
                mesh.normals[3 * v + 1] = 1.0f;
            mesh.positions.resize(3 * n);
        }
    };
    Parallel::For(2, [&](size_t begin, size_t end) {
        for (size_t task = begin; task < end; ++task)
        {
            if (task == 0)
            {
                vertexPass();
                allocateOutput(0);
            }
            else
            {
                allocateOutput(1);
            }
        }
    }, 1);

    const float halfW = static_cast<float>(width - 1) * 0.5f;
    const float halfH = static_cast<float>(height - 1) * 0.5f;
    const float invH = 1.0f / static_cast<float>(height - 1);
    const float invW = 1.0f / static_cast<float>(width - 1);
    constexpr float kNotFull = -std::numeric_limits<float>::infinity();
    // y holds the terrain height under full water for now, for the level pass.
    Parallel::For(n, [&](size_t begin, size_t end) {
        for (size_t v = begin; v < end; ++v)
        {
            const uint32_t q = pixelOf[v];
            const auto i = static_cast<uint32_t>(q / stride - 1);
            const auto j = static_cast<uint32_t>(q % stride - 1);
            const size_t k = size_t{i} * h + j;
            mesh.positions[3 * v] = (static_cast<float>(i) - halfW) * vertexDistance;
            mesh.positions[3 * v + 1] = (flags[q] & kFull) != 0 ? terrainPositions[3 * k + 1] : kNotFull;
            mesh.positions[3 * v + 2] = (static_cast<float>(j) - halfH) * vertexDistance;
            mesh.texCoords[2 * v] = static_cast<float>(j) * invH;
            mesh.texCoords[2 * v + 1] = static_cast<float>(i) * invW;
        }
    });

    // Level pass. A region is an 8-connected set of water pixels, exactly what one vertex-pass walk
    // collects, and regions are met in the same scan order; so the vertex runs are the regions.
    for (size_t r = 0; r + 1 < regionStarts.size(); ++r)
    {
        float level = -3.4028235e38f;
        bool anyFull = false;
        for (size_t v = regionStarts[r]; v < regionStarts[r + 1]; ++v)
        {
            const float y = mesh.positions[3 * v + 1];
            if (y == kNotFull)
                continue;
            anyFull = true;
            level = std::max(level, y);
        }
        // Edge water alone (never made by outlining, which always surrounds full water) keeps the
        // plane at the terrain's bottom rather than at the lowest float.
        if (!anyFull)
            level = minHeight;
        Log::Trace("Setting waterplane height to {}", level);
        for (size_t v = regionStarts[r]; v < regionStarts[r + 1]; ++v)
            mesh.positions[3 * v + 1] = level;
    }

    Parallel::For(cellRows, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
        {
            uint32_t* out = mesh.indices.data() + rowStart[i];
            for (size_t j = 0; j + 1 < h; ++j)
            {
                const size_t q = padded(i, j);
                const int32_t a = vertexOf[q], b = vertexOf[q + 1], c = vertexOf[q + stride],
                              e = vertexOf[q + stride + 1];
                if (a >= 0 && c >= 0 && b >= 0)
                {
                    *out++ = static_cast<uint32_t>(a);
                    *out++ = static_cast<uint32_t>(c);
                    *out++ = static_cast<uint32_t>(b);
                }
                if (b >= 0 && c >= 0 && e >= 0)
                {
                    *out++ = static_cast<uint32_t>(b);
                    *out++ = static_cast<uint32_t>(c);
                    *out++ = static_cast<uint32_t>(e);
                }
            }
        }
    }, 64);
    return mesh;
}
} // namespace Water

namespace
{
// The water map's pixels, or null when the terrain has none of the grid's size.
uint8_t* WatermapPixels(const Terrain& terrain)
{
    const size_t pixels = static_cast<size_t>(terrain.width) * terrain.height;
    const Texture* map = terrain.watermapTexture.get();
    if (pixels == 0 || map == nullptr || !map->data || map->channels != 4 || map->ByteSize() != 4 * pixels)
        return nullptr;
    return map->data.get();
}

const uint8_t* HeightmapPixels(const Terrain& terrain)
{
    const size_t pixels = static_cast<size_t>(terrain.width) * terrain.height;
    const Texture* map = terrain.heightmapTexture.get();
    if (pixels == 0 || map == nullptr || !map->data || map->channels != 1 || map->ByteSize() != pixels)
        return nullptr;
    return map->data.get();
}
} // namespace

void Terrain::FloodWater(uint32_t start, const std::array<uint32_t, 4>& waterColor, std::deque<uint32_t>& result,
                         uint8_t* visited, uint32_t& level)
{
    const uint8_t* heights = HeightmapPixels(*this);
    const uint8_t* watermap = WatermapPixels(*this);
    if (heights == nullptr || watermap == nullptr || visited == nullptr)
        return;
    Water::Flood(heights, watermap, width, height, start, waterColor, result, visited, level);
}

void Terrain::PourWater(uint32_t start)
{
    const uint8_t* heights = HeightmapPixels(*this);
    uint8_t* watermap = WatermapPixels(*this);
    if (heights == nullptr || watermap == nullptr)
        return;
    Water::Pour(heights, watermap, width, height, start);
    watermapTexture->Update();
}

void Terrain::OutlineWater()
{
    uint8_t* watermap = WatermapPixels(*this);
    if (watermap == nullptr)
        return;
    Water::Outline(watermap, width, height);
    watermapTexture->Update();
}

void Terrain::ClearWater()
{
    if (watermapTexture && watermapTexture->data)
    {
        std::memset(watermapTexture->data.get(), 0, watermapTexture->ByteSize());
        watermapTexture->Update();
    }
    waterPlane.reset();
}
