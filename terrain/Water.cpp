// Water map algorithms (the Terrain members that run them are in TerrainWater.cpp).
//   - helpers: pixel access, neighbour slots, padded bit sets
//   - Flood and Pour: the flood search and one stroke point
//   - Outline: the edge-water fringe
//   - BuildPlane: vertex, level and triangle passes of the water plane
#include "terrain/Water.h"

#include "engine/Log.h"
#include "engine/Parallel.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

namespace Water
{
namespace
{
// The flood's neighbour order, in the order they are pushed (so the last one is taken first).
constexpr int kFloodDi[8] = {1, 1, 1, 0, -1, -1, -1, 0};
constexpr int kFloodDj[8] = {0, 1, -1, 1, 0, 1, -1, -1};
constexpr uint32_t kSelfSlot = 8; // the bit of the centre in a 3 x 3 block mask

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

// A bit per cell of a grid stored with a margin of one cell all round (row stride height + 2), so that
// the 3 x 3 block around any inner cell can be read without bounds checks.
class GridBits
{
  public:
    explicit GridBits(size_t cells) : bytes(cells / 8 + 2, 0) {}
    uint32_t Test(size_t p) const { return (bytes[p / 8] >> (p % 8)) & 1u; }
    void Set(size_t p) { bytes[p / 8] = static_cast<uint8_t>(bytes[p / 8] | (1u << (p % 8))); }
    // The flags of the 3 x 3 block around cell p as the flood's slot mask: bit s for neighbour s,
    // bit 8 for p itself.
    uint32_t Around(size_t p, size_t stride) const
    {
        return kSlotsOfBlock[Three(p - stride - 1) | (Three(p - 1) << 3) | (Three(p + stride - 1) << 6)];
    }

  private:
    // Bits p, p + 1, p + 2 as bits 0, 1, 2.
    uint32_t Three(size_t p) const
    {
        const uint32_t two = bytes[p / 8] | (uint32_t{bytes[p / 8 + 1]} << 8);
        return (two >> (p % 8)) & 7u;
    }

    std::vector<uint8_t> bytes;
};

// The search keeps grid cells, margin included, as 32-bit numbers.
bool SearchFits(uint32_t width, uint32_t height, uint32_t start)
{
    const uint64_t cells = (uint64_t{width} + 2) * (uint64_t{height} + 2);
    return start < uint64_t{width} * height && cells <= std::numeric_limits<uint32_t>::max();
}

// The search of Flood on a copy of the grid with a margin of one cell all round, marked visited so
// that border vertices need no bounds checks. onResult(k) is called once for every vertex the plain
// search appends to its result, in increasing k after the search; visited receives the stamps.
template <typename OnResult>
void FloodSearch(const uint8_t* heights, const uint8_t* watermap, uint32_t width, uint32_t height,
                 uint32_t start, const std::array<uint32_t, 4>& waterColor, uint8_t* visited, uint32_t& level,
                 OnResult&& onResult)
{
    const size_t w = width;
    const size_t h = height;
    const size_t stride = h + 2;
    const size_t cells = (w + 2) * stride;
    auto cell = [stride](size_t i, size_t j) { return (i + 1) * stride + j + 1; };

    bool colorPossible = true;
    std::array<uint8_t, 4> colorBytes{};
    for (size_t c = 0; c < 4; ++c)
    {
        colorPossible = colorPossible && waterColor[c] <= 255;
        colorBytes[c] = static_cast<uint8_t>(waterColor[c]);
    }
    const uint32_t colorPacked = PackPixel(colorBytes);

    GridBits isVisited(cells);
    GridBits isWater(cells);
    GridBits inResult(cells);
    std::vector<uint8_t> hp(cells, 0); // heights
    std::vector<uint8_t> stamps(cells, 0);
    for (size_t j = 0; j < stride; ++j)
    {
        isVisited.Set(j);
        isVisited.Set((w + 1) * stride + j);
    }
    bool anyWater = false;
    for (size_t i = 0; i < w; ++i)
    {
        isVisited.Set(cell(i, 0) - 1);
        isVisited.Set(cell(i, h));
        std::memcpy(&hp[cell(i, 0)], heights + i * h, h);
        if (!colorPossible) continue;
        for (size_t j = 0; j < h; ++j)
        {
            if (LoadPixel(watermap, i * h + j) == colorPacked)
            {
                isWater.Set(cell(i, j));
                anyWater = true;
            }
        }
    }

    int64_t offset[8];
    for (int s = 0; s < 8; ++s)
        offset[s] = int64_t{kFloodDi[s]} * static_cast<int64_t>(stride) + kFloodDj[s];
    auto markSlots = [&](size_t owner, uint32_t slots)
    {
        for (; slots != 0; slots &= slots - 1)
            inResult.Set(static_cast<size_t>(static_cast<int64_t>(owner) + offset[__builtin_ctz(slots)]));
    };

    std::vector<uint64_t> frames;
    frames.reserve(std::min<size_t>(w * h, size_t{1} << 24));
    uint32_t levelRises = 0;
    size_t current = cell(start / h, start % h);
    bool haveCurrent = true;
    for (;;)
    {
        if (!haveCurrent)
        {
            if (frames.empty()) break;
            const uint64_t frame = frames.back();
            const auto owner = static_cast<size_t>(static_cast<uint32_t>(frame));
            uint32_t waiting = static_cast<uint32_t>(frame >> 32);
            int slot = 0;
            if (levelRises == 0)
            {
                // Until the level first rises, a repeated pop only appends: take those in bulk down
                // to the first waiting vertex not yet visited, which is the next real step.
                const uint32_t fresh = waiting & ~isVisited.Around(owner, stride);
                if (fresh == 0)
                {
                    markSlots(owner, waiting);
                    frames.pop_back();
                    continue;
                }
                slot = 31 - __builtin_clz(fresh);
                markSlots(owner, waiting & ~((2u << slot) - 1));
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
                frames.back() = uint64_t{static_cast<uint32_t>(owner)} | (uint64_t{waiting} << 32);
            current = static_cast<size_t>(static_cast<int64_t>(owner) + offset[slot]);
            if (isVisited.Test(current))
            {
                const uint8_t stamp = stamps[current];
                if (stamp != kStampUnknown && stamp == Stamp(levelRises))
                {
                    inResult.Set(current);
                    continue;
                }
            }
        }
        haveCurrent = false;

        const size_t p = current;
        isVisited.Set(p);
        stamps[p] = Stamp(levelRises);
        const uint32_t candidates = ~isVisited.Around(p, stride) & 0xFFu;
        const uint8_t hk = hp[p];
        uint32_t pushed = 0;
        if (!anyWater || (candidates & isWater.Around(p, stride)) == 0)
        {
            // No water among the candidates, so the level stays put through this scan.
            const uint32_t limit = std::max<uint32_t>(hk, level);
            auto rowPasses = [&](size_t first)
            {
                return static_cast<uint32_t>(hp[first] <= limit) |
                       static_cast<uint32_t>(hp[first + 1] <= limit) << 1 |
                       static_cast<uint32_t>(hp[first + 2] <= limit) << 2;
            };
            const uint32_t passes = kSlotsOfBlock[rowPasses(p - stride - 1) | rowPasses(p - 1) << 3 |
                                                  rowPasses(p + stride - 1) << 6];
            pushed = candidates & passes;
        }
        else
        {
            for (uint32_t rest = candidates; rest != 0; rest &= rest - 1)
            {
                const int s = __builtin_ctz(rest);
                const auto n = static_cast<size_t>(static_cast<int64_t>(p) + offset[s]);
                const uint8_t hn = hp[n];
                const bool water = isWater.Test(n) != 0;
                if (water && hn > level)
                {
                    level = hn;
                    ++levelRises;
                }
                if (hn <= hk || hn <= level || water) pushed |= 1u << s;
            }
        }
        if (pushed == 0)
        {
            inResult.Set(p);
            continue;
        }
        // The neighbour pushed last is popped next, and it is not visited: go straight on to it.
        const int top = 31 - __builtin_clz(pushed);
        const uint32_t rest = pushed & ~(1u << top);
        if (rest != 0) frames.push_back(uint64_t{static_cast<uint32_t>(p)} | (uint64_t{rest} << 32));
        current = static_cast<size_t>(static_cast<int64_t>(p) + offset[top]);
        haveCurrent = true;
    }

    for (size_t i = 0; i < w; ++i)
    {
        for (size_t j = 0; j < h; ++j)
        {
            const size_t p = cell(i, j);
            visited[i * h + j] = stamps[p];
            if (inResult.Test(p)) onResult(static_cast<uint32_t>(i * h + j));
        }
    }
}
} // namespace

// The search is the plain one: pop a vertex, mark it visited, push the neighbours that pass, and
// append it to the result when none did. Because the mark is set on pop, a vertex can sit on the stack
// several times and each later pop examines it again. What keeps that cheap on a 4097 x 4097 grid,
// without changing what is found:
// - The stack is held as frames, one per examined vertex, with a bit per neighbour still waiting;
//   taking the highest bit of the top frame is exactly the plain stack's pop, at 8 bytes per frame
//   instead of 4 bytes per waiting entry. The neighbour pushed last is examined at once, without a
//   trip through the stack.
// - A later pop of an already visited vertex finds every neighbour it pushed before already visited
//   (they were above it on the stack), so it can push something only if the level rose since it was
//   last examined. A stamp per vertex records the number of rises at that time, and when it still
//   matches the neighbour scan is skipped: the vertex pushes nothing and belongs to the result. Until
//   the level first rises such pops only add to the result, so they are taken a frame at a time.
// - The per-vertex facts read in the inner loop (visited, water) are bit sets over the grid with a
//   margin that counts as visited, so a vertex's eight neighbours are read without branches.
// Each neighbour pair causes at most one push, so the work is bounded by 8 pops per vertex. The
// result lists each vertex once, in increasing order; the visited bytes receive the stamps (nonzero).
void Flood(const uint8_t* heights, const uint8_t* watermap, uint32_t width, uint32_t height, uint32_t start,
           const std::array<uint32_t, 4>& waterColor, std::deque<uint32_t>& result, uint8_t* visited,
           uint32_t& level)
{
    if (!SearchFits(width, height, start)) return;
    FloodSearch(heights, watermap, width, height, start, waterColor, visited, level,
                [&](uint32_t k) { result.push_back(k); });
}

void Pour(const uint8_t* heights, uint8_t* watermap, uint32_t width, uint32_t height, uint32_t start)
{
    if (!SearchFits(width, height, start)) return;
    std::vector<uint8_t> visited(size_t{width} * height, 0);
    uint32_t level = 0;
    const std::array<uint32_t, 4> full{kFullWater[0], kFullWater[1], kFullWater[2], kFullWater[3]};
    FloodSearch(heights, watermap, width, height, start, full, visited.data(), level,
                [&](uint32_t k) { std::memcpy(watermap + 4 * size_t{k}, kFullWater.data(), 4); });
}

// A pixel becomes edge water when some full pixel lies within two steps in both axes, i.e. inside the
// 5 x 5 square around it. That is a dilation, done as one pass along each axis over a mask of full
// pixels; since the fringe is computed from the full pixels alone, the order of the passes is free.
// The masks have a dry margin of two pixels all round, so every pass is a fixed five-term OR.
void Outline(uint8_t* watermap, uint32_t width, uint32_t height)
{
    const size_t w = width;
    const size_t h = height;
    const size_t stride = h + 4;
    const uint32_t full = PackPixel(kFullWater);
    const uint32_t edge = PackPixel(kEdgeWater);
    std::vector<uint8_t> isFull((w + 4) * stride, 0);
    std::vector<uint8_t> nearInRow((w + 4) * stride, 0);
    Parallel::For(
        w,
        [&](size_t begin, size_t end)
        {
            for (size_t i = begin; i < end; ++i)
            {
                const uint8_t* pixels = watermap + 4 * i * h;
                uint8_t* f = &isFull[(i + 2) * stride + 2];
                for (size_t j = 0; j < h; ++j)
                {
                    uint32_t pixel;
                    std::memcpy(&pixel, pixels + 4 * j, 4);
                    f[j] = pixel == full;
                }
                uint8_t* n = &nearInRow[(i + 2) * stride + 2];
                for (size_t j = 0; j < h; ++j)
                {
                    const uint8_t* c = f + j; // signed steps back into the margin (j - 2 would wrap)
                    n[j] = c[-2] | c[-1] | c[0] | c[1] | c[2];
                }
            }
        },
        64);
    Parallel::For(
        w,
        [&](size_t begin, size_t end)
        {
            for (size_t i = begin; i < end; ++i)
            {
                const uint8_t* f = &isFull[(i + 2) * stride + 2];
                const uint8_t* n = &nearInRow[(i + 2) * stride + 2];
                uint8_t* pixels = watermap + 4 * i * h;
                const std::ptrdiff_t s = static_cast<std::ptrdiff_t>(stride);
                for (size_t j = 0; j < h; ++j)
                {
                    const uint8_t* c = n + j;
                    const bool near = (c[-2 * s] | c[-s] | c[0] | c[s] | c[2 * s]) != 0;
                    if (near && !f[j]) std::memcpy(pixels + 4 * j, &edge, 4);
                }
            }
        },
        64);
}

// The output arrays of a large plane are tens of megabytes of fresh memory, whose first touch costs
// about as much as the walks themselves; their sizes follow from the water flags alone, so they are
// allocated on a second thread while the vertex pass runs.
PlaneMesh BuildPlane(const uint8_t* watermap, const float* terrainPositions, uint32_t width, uint32_t height,
                     float vertexDistance, float /*minHeight*/)
{
    PlaneMesh mesh;
    const size_t w = width;
    const size_t h = height;
    if (w == 0 || h == 0) return mesh;
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
    Parallel::For(
        w,
        [&](size_t begin, size_t end)
        {
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
        },
        64);

    // Triangle pass layout: cell (i, j) with corners a = (i, j), b = (i, j+1), c = (i+1, j),
    // e = (i+1, j+1) gives (a, c, b) and then (b, c, e) where all three corners are water.
    const size_t cellRows = w >= 2 && h >= 2 ? w - 1 : 0;
    std::vector<size_t> rowStart(cellRows + 1, 0);
    Parallel::For(
        cellRows,
        [&](size_t begin, size_t end)
        {
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
        },
        64);
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
    auto vertexPass = [&]
    {
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
                if ((flags[seed] & (kWater | kNumbered)) != kWater) continue;
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
                        if ((flags[next] & (kWater | kNumbered)) != kWater) continue;
                        flags[next] |= kNumbered;
                        vertexOf[next] = static_cast<int32_t>(pixelOf.size());
                        pixelOf.push_back(static_cast<uint32_t>(next));
                    }
                }
            }
        }
        regionStarts.push_back(pixelOf.size());
    };
    auto allocateOutput = [&](int part)
    {
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
    Parallel::For(
        2,
        [&](size_t begin, size_t end)
        {
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
        },
        1);

    const float halfW = static_cast<float>(width - 1) * 0.5f;
    const float halfH = static_cast<float>(height - 1) * 0.5f;
    const float invH = 1.0f / static_cast<float>(height - 1);
    const float invW = 1.0f / static_cast<float>(width - 1);
    constexpr float kNotFull = -std::numeric_limits<float>::infinity();
    // y holds the terrain height under full water for now, for the level pass.
    Parallel::For(n,
                  [&](size_t begin, size_t end)
                  {
                      for (size_t v = begin; v < end; ++v)
                      {
                          const uint32_t q = pixelOf[v];
                          const auto i = static_cast<uint32_t>(q / stride - 1);
                          const auto j = static_cast<uint32_t>(q % stride - 1);
                          const size_t k = size_t{i} * h + j;
                          mesh.positions[3 * v] = (static_cast<float>(i) - halfW) * vertexDistance;
                          mesh.positions[3 * v + 1] =
                              (flags[q] & kFull) != 0 ? terrainPositions[3 * k + 1] : kNotFull;
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
            if (y == kNotFull) continue;
            anyFull = true;
            level = std::max(level, y);
        }
        // Edge water alone is never made by outlining (which surrounds full water), but a water map from
        // elsewhere (a project) may hold it. Without a full pixel to set its level, the region lies on the
        // highest ground under it, so that none of it is under ground (the terrain's bottom would put it
        // far below).
        if (!anyFull)
            for (size_t v = regionStarts[r]; v < regionStarts[r + 1]; ++v)
            {
                const uint32_t q = pixelOf[v];
                const size_t k = (q / stride - 1) * h + (q % stride - 1);
                level = std::max(level, terrainPositions[3 * k + 1]);
            }
        Log::Trace("Setting waterplane height to {}", level);
        for (size_t v = regionStarts[r]; v < regionStarts[r + 1]; ++v)
            mesh.positions[3 * v + 1] = level;
    }

    Parallel::For(
        cellRows,
        [&](size_t begin, size_t end)
        {
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
        },
        64);
    return mesh;
}
} // namespace Water
