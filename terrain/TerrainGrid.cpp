#include "terrain/TerrainGrid.h"

// Sections: ranges and row splitting; the flat grid; face and vertex normals (the direct rule and
// the pass that computes each face normal once); heightmap bytes and height operations.

#include "engine/LargeArrays.h"
#include "engine/Parallel.h"
#include "engine/Simd.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <mutex>
#include <utility>

namespace TerrainGrid
{
namespace
{
// Below this many elements per thread the threads cost more than they save.
constexpr size_t kMinWorkPerThread = 16384;

size_t MinRowsPerThread(size_t rowWork)
{
    return std::max<size_t>(1, kMinWorkPerThread / std::max<size_t>(1, rowWork));
}
} // namespace

HeightRange RangeOf(const float* values, size_t n)
{
    HeightRange range;
    size_t k = 0;
#if defined(__SSE2__)
    // minps(v, m) is exactly v < m ? v : m and maxps(v, m) exactly v > m ? v : m, NaN skipped.
    __m128 low = _mm_set1_ps(range.min);
    __m128 high = _mm_set1_ps(range.max);
    for (; k + 4 <= n; k += 4)
    {
        const __m128 v = _mm_loadu_ps(values + k);
        low = _mm_min_ps(v, low);
        high = _mm_max_ps(v, high);
    }
    float lows[4];
    float highs[4];
    _mm_storeu_ps(lows, low);
    _mm_storeu_ps(highs, high);
    for (int l = 0; l < 4; ++l)
    {
        range.min = lows[l] < range.min ? lows[l] : range.min;
        range.max = range.max < highs[l] ? highs[l] : range.max;
    }
#endif
    for (; k < n; ++k)
        range.Add(values[k]);
    // Values compare equal only when their bits are equal, except +0 and -0: a zero extreme takes
    // the bits of the first zero, as the one-by-one pass keeps it.
    if (range.min == 0.0f || range.max == 0.0f)
        for (size_t i = 0; i < n; ++i)
            if (values[i] == 0.0f)
            {
                if (range.min == 0.0f) range.min = values[i];
                if (range.max == 0.0f) range.max = values[i];
                break;
            }
    return range;
}

HeightRange ForRows(size_t rows, size_t rowWork,
                    const std::function<void(size_t, size_t, HeightRange&)>& body)
{
    std::mutex mutex;
    std::vector<std::pair<size_t, HeightRange>> chunks;
    Parallel::For(
        rows,
        [&](size_t begin, size_t end)
        {
            HeightRange range;
            body(begin, end, range);
            std::lock_guard<std::mutex> lock(mutex);
            chunks.emplace_back(begin, range);
        },
        MinRowsPerThread(rowWork));
    std::sort(chunks.begin(), chunks.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    HeightRange total;
    for (const auto& chunk : chunks)
        total.Add(chunk.second);
    return total;
}

void ForRows(size_t rows, size_t rowWork, const std::function<void(size_t, size_t)>& body)
{
    Parallel::For(rows, body, MinRowsPerThread(rowWork));
}

namespace
{
// The grid's arrays are written block by block, each element once (see engine/LargeArrays.h): a
// block holds whole vertices (or cells), and vertex(out, i, j) writes one of them.
template <typename T, typename PerVertex>
void FillPerVertex(std::vector<T>& v, size_t W, size_t H, size_t components, PerVertex vertex,
                   FillControl* control = nullptr)
{
    constexpr size_t kBlock = LargeArrays::kBlockElements;
    const size_t perBlock = kBlock / components * components;
    const size_t total = W * H * components;
    LargeArrays::Prepare(v, total);
    T block[kBlock];
    for (size_t first = 0; first < total; first += perBlock)
    {
        // A few megabytes between looks at the control.
        if (control != nullptr && first % (256 * perBlock) == 0)
        {
            if (control->stop.load(std::memory_order_relaxed)) return;
            control->done.store(first, std::memory_order_relaxed);
        }
        const size_t count = std::min(perBlock, total - first);
        const size_t firstVertex = first / components;
        size_t i = firstVertex / H;
        size_t j = firstVertex % H;
        for (size_t n = 0; n < count; n += components)
        {
            vertex(block + n, i, j);
            if (++j == H)
            {
                j = 0;
                ++i;
            }
        }
        v.insert(v.end(), block, block + count);
    }
    if (control != nullptr) control->done.store(total, std::memory_order_relaxed);
}
} // namespace

void GridPositions(uint32_t width, uint32_t height, float vertexDistance, const float* heights, float shift,
                   std::vector<float>& positions)
{
    const size_t H = height;
    const float halfW = static_cast<float>(width - 1) * 0.5f;
    const float halfH = static_cast<float>(height - 1) * 0.5f;
    FillPerVertex(positions, width, H, 3,
                  [=](float* out, size_t i, size_t j)
                  {
                      out[0] = (static_cast<float>(i) - halfW) * vertexDistance;
                      // The flat height 0, plus the generated height as AddHeights adds it, shifted.
                      out[1] = heights != nullptr ? (0.0f + 1.0f * heights[i * H + j]) - shift : 0.0f;
                      out[2] = (static_cast<float>(j) - halfH) * vertexDistance;
                  });
}

void GridTexCoords(uint32_t width, uint32_t height, std::vector<float>& texCoords, FillControl* control)
{
    const float du = 1.0f / static_cast<float>(height - 1);
    const float dv = 1.0f / static_cast<float>(width - 1);
    FillPerVertex(
        texCoords, width, height, 2,
        [=](float* out, size_t i, size_t j)
        {
            out[0] = static_cast<float>(j) * du;
            out[1] = static_cast<float>(i) * dv;
        },
        control);
}

void GridIndices(uint32_t width, uint32_t height, std::vector<uint32_t>& indices, FillControl* control)
{
    // Cell (i, j) with a = k(i, j), b = k(i, j+1), c = k(i+1, j), e = k(i+1, j+1): (a, c, b), (b, c, e).
    const size_t H = height;
    if (width < 2 || height < 2)
    {
        indices.clear();
        return;
    }
    FillPerVertex(
        indices, size_t{width} - 1, H - 1, 6,
        [H](uint32_t* out, size_t i, size_t j)
        {
            const uint32_t a = static_cast<uint32_t>(i * H + j);
            const uint32_t b = a + 1;
            const uint32_t c = static_cast<uint32_t>((i + 1) * H + j);
            const uint32_t e = c + 1;
            out[0] = a;
            out[1] = c;
            out[2] = b;
            out[3] = b;
            out[4] = c;
            out[5] = e;
        },
        control);
}

bool IsGridIndices(const std::vector<uint32_t>& indices, uint32_t width, uint32_t height)
{
    const size_t H = height;
    if (width < 2 || height < 2) return indices.empty();
    if (indices.size() != (size_t{width} - 1) * (H - 1) * 6) return false;
    const uint32_t* k = indices.data();
    for (size_t i = 0; i + 1 < width; ++i)
        for (size_t j = 0; j + 1 < H; ++j, k += 6)
        {
            const uint32_t a = static_cast<uint32_t>(i * H + j);
            const uint32_t c = static_cast<uint32_t>((i + 1) * H + j);
            if (k[0] != a || k[1] != c || k[2] != a + 1 || k[3] != a + 1 || k[4] != c || k[5] != c + 1)
                return false;
        }
    return true;
}

void BuildGrid(uint32_t width, uint32_t height, float vertexDistance, std::vector<float>& positions,
               std::vector<uint32_t>& indices, std::vector<float>& normals, std::vector<float>& texCoords)
{
    BuildGrid(width, height, vertexDistance, positions, indices, texCoords);
    FillPerVertex(normals, width, height, 3,
                  [](float* out, size_t, size_t)
                  {
                      out[0] = 0.0f;
                      out[1] = 1.0f;
                      out[2] = 0.0f;
                  });
}

void BuildGrid(uint32_t width, uint32_t height, float vertexDistance, std::vector<float>& positions,
               std::vector<uint32_t>& indices, std::vector<float>& texCoords)
{
    GridPositions(width, height, vertexDistance, nullptr, 0.0f, positions);
    GridTexCoords(width, height, texCoords);
    GridIndices(width, height, indices);
}

namespace
{
inline void Accumulate(float* sum, const float* n)
{
    sum[0] += n[0];
    sum[1] += n[1];
    sum[2] += n[2];
}

inline void StoreNormal(const float* sum, float* normal, uint8_t* bytes)
{
    const float inv = 1.0f / std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    normal[0] = sum[0] * inv;
    normal[1] = sum[1] * inv;
    normal[2] = sum[2] * inv;
    if (bytes != nullptr)
    {
        bytes[0] = static_cast<uint8_t>(NormalByte(normal[0]));
        bytes[1] = static_cast<uint8_t>(NormalByte(normal[2]));
        bytes[2] = static_cast<uint8_t>(NormalByte(normal[1]));
    }
}

// Face normals of one row of cells, component by component (structure of arrays) so that the
// compiler can run several cells per instruction; sqrt and division stay exact IEEE operations, so
// the bits equal TriangleNormal's.
struct CellRow
{
    std::vector<float> x0, y0, z0; // triangle (a, c, b) of cell q at [q]
    std::vector<float> x1, y1, z1; // triangle (b, c, e) of cell q at [q]

    void Resize(size_t cells)
    {
        for (std::vector<float>* v : {&x0, &y0, &z0, &x1, &y1, &z1})
            v->resize(cells);
    }
};

inline void FaceNormal(float p0x, float p0y, float p0z, float p1x, float p1y, float p1z, float p2x, float p2y,
                       float p2z, float& outX, float& outY, float& outZ)
{
    const float e1x = p1x - p0x, e1y = p1y - p0y, e1z = p1z - p0z;
    const float e2x = p2x - p0x, e2y = p2y - p0y, e2z = p2z - p0z;
    const float nx = e2y * e1z - e2z * e1y;
    const float ny = e2z * e1x - e2x * e1z;
    const float nz = e2x * e1y - e2y * e1x;
    const float inv = 1.0f / std::sqrt(nx * nx + ny * ny + nz * nz);
    outX = nx * inv;
    outY = ny * inv;
    outZ = nz * inv;
}

// a = (p, q), b = (p, q+1), c = (p+1, q), e = (p+1, q+1): triangles (a, c, b) and (b, c, e) of cell q.
VELMORAN_SIMD_CLONES
void FaceNormalsOfCells(size_t cells, const float* __restrict ax, const float* __restrict ay,
                        const float* __restrict az, const float* __restrict cx, const float* __restrict cy,
                        const float* __restrict cz, float* __restrict t0x, float* __restrict t0y,
                        float* __restrict t0z, float* __restrict t1x, float* __restrict t1y,
                        float* __restrict t1z)
{
    for (size_t q = 0; q < cells; ++q)
    {
        float x, y, z;
        FaceNormal(ax[q], ay[q], az[q], cx[q], cy[q], cz[q], ax[q + 1], ay[q + 1], az[q + 1], x, y, z);
        t0x[q] = x;
        t0y[q] = y;
        t0z[q] = z;
        FaceNormal(ax[q + 1], ay[q + 1], az[q + 1], cx[q], cy[q], cz[q], cx[q + 1], cy[q + 1], cz[q + 1], x,
                   y, z);
        t1x[q] = x;
        t1y[q] = y;
        t1z[q] = z;
    }
}

// One vertex row's positions, component by component.
struct RowOfVertices
{
    std::vector<float> x, y, z;

    void Load(const float* positions, size_t H, size_t i)
    {
        x.resize(H);
        y.resize(H);
        z.resize(H);
        const float* row = positions + 3 * i * H;
        float* __restrict px = x.data();
        float* __restrict py = y.data();
        float* __restrict pz = z.data();
        for (size_t q = 0; q < H; ++q)
        {
            px[q] = row[3 * q];
            py[q] = row[3 * q + 1];
            pz[q] = row[3 * q + 2];
        }
    }
};

// Cells (p, *) lie between vertex rows p (upper) and p+1 (lower).
void CellRowNormals(const RowOfVertices& upper, const RowOfVertices& lower, size_t H, CellRow& out)
{
    FaceNormalsOfCells(H - 1, upper.x.data(), upper.y.data(), upper.z.data(), lower.x.data(), lower.y.data(),
                       lower.z.data(), out.x0.data(), out.y0.data(), out.z0.data(), out.x1.data(),
                       out.y1.data(), out.z1.data());
}

// Normals of the inner vertices 1 .. H-2 of an inner row: all six triangles, the same sums in
// the same order as the rule, without tests.
VELMORAN_SIMD_CLONES
void InnerVertexNormals(size_t H, const CellRow& above, const CellRow& below, float* __restrict ox,
                        float* __restrict oy, float* __restrict oz)
{
    const float* __restrict u0x = above.x0.data();
    const float* __restrict u0y = above.y0.data();
    const float* __restrict u0z = above.z0.data();
    const float* __restrict u1x = above.x1.data();
    const float* __restrict u1y = above.y1.data();
    const float* __restrict u1z = above.z1.data();
    const float* __restrict d0x = below.x0.data();
    const float* __restrict d0y = below.y0.data();
    const float* __restrict d0z = below.z0.data();
    const float* __restrict d1x = below.x1.data();
    const float* __restrict d1y = below.y1.data();
    const float* __restrict d1z = below.z1.data();
    for (size_t j = 1; j + 1 < H; ++j)
    {
        float x = 0.0f, y = 0.0f, z = 0.0f;
        x += u0x[j], y += u0y[j], z += u0z[j];
        x += u1x[j], y += u1y[j], z += u1z[j];
        x += d0x[j], y += d0y[j], z += d0z[j];
        x += d1x[j - 1], y += d1y[j - 1], z += d1z[j - 1];
        x += d0x[j - 1], y += d0y[j - 1], z += d0z[j - 1];
        x += u1x[j - 1], y += u1y[j - 1], z += u1z[j - 1];
        const float inv = 1.0f / std::sqrt(x * x + y * y + z * z);
        ox[j] = x * inv;
        oy[j] = y * inv;
        oz[j] = z * inv;
    }
}

VELMORAN_SIMD_CLONES
void NormalBytes(size_t begin, size_t end, const float* __restrict nx, const float* __restrict ny,
                 const float* __restrict nz, int32_t* __restrict bx, int32_t* __restrict by,
                 int32_t* __restrict bz)
{
    for (size_t j = begin; j < end; ++j)
    {
        bx[j] = NormalByte(nx[j]);
        by[j] = NormalByte(ny[j]);
        bz[j] = NormalByte(nz[j]);
    }
}

inline void AddFace(float* sum, const std::vector<float>& x, const std::vector<float>& y,
                    const std::vector<float>& z, size_t q)
{
    sum[0] += x[q];
    sum[1] += y[q];
    sum[2] += z[q];
}
} // namespace

void VertexNormalDirect(const float* positions, uint32_t width, uint32_t height, uint32_t i, uint32_t j,
                        float* out)
{
    const auto P = [&](int64_t vi, int64_t vj) { return positions + 3 * (vi * height + vj); };
    const auto cell = [&](int64_t p, int64_t q)
    { return p >= 0 && q >= 0 && p + 1 < width && q + 1 < height; };
    const int64_t I = i;
    const int64_t J = j;
    float sum[3] = {0.0f, 0.0f, 0.0f};
    float n[3];
    if (cell(I - 1, J))
    {
        TriangleNormal(P(I - 1, J), P(I, J), P(I - 1, J + 1), n);
        Accumulate(sum, n);
        TriangleNormal(P(I - 1, J + 1), P(I, J), P(I, J + 1), n);
        Accumulate(sum, n);
    }
    if (cell(I, J))
    {
        TriangleNormal(P(I, J), P(I + 1, J), P(I, J + 1), n);
        Accumulate(sum, n);
    }
    if (cell(I, J - 1))
    {
        TriangleNormal(P(I, J), P(I + 1, J - 1), P(I + 1, J), n);
        Accumulate(sum, n);
        TriangleNormal(P(I, J - 1), P(I + 1, J - 1), P(I, J), n);
        Accumulate(sum, n);
    }
    if (cell(I - 1, J - 1))
    {
        TriangleNormal(P(I - 1, J), P(I, J - 1), P(I, J), n);
        Accumulate(sum, n);
    }
    StoreNormal(sum, out, nullptr);
}

namespace
{
// Vertex rows [begin, end): normals to normals (whose first row is normalsFirstRow), bytes (when
// not null) to the whole grid's normalBytes.
void NormalRows(const float* positions, size_t W, size_t H, size_t begin, size_t end, float* normals,
                size_t normalsFirstRow, uint8_t* normalBytes)
{
    const size_t cells = H > 1 ? H - 1 : 0;
    // Two cell rows slide along: cells (i-1, *) above vertex row i and cells (i, *) below it.
    CellRow above, below;
    above.Resize(cells);
    below.Resize(cells);
    // Vertex rows i-1, i and i+1 slide along with the cell rows, each loaded once.
    RowOfVertices up, mid, down;
    std::vector<float> sx(H), sy(H), sz(H);
    std::vector<int32_t> bytesX(H), bytesY(H), bytesZ(H);
    for (size_t i = begin; i < end; ++i)
    {
        const bool hasAbove = i >= 1;
        const bool hasBelow = i + 1 < W;
        if (i == begin)
        {
            mid.Load(positions, H, i);
            if (hasAbove)
            {
                up.Load(positions, H, i - 1);
                CellRowNormals(up, mid, H, above);
            }
        }
        else
        {
            std::swap(above, below);
            std::swap(mid, down);
        }
        if (hasBelow)
        {
            down.Load(positions, H, i + 1);
            CellRowNormals(mid, down, H, below);
        }

        // The sum of vertex j, in the fixed order of the incident triangles.
        const auto sumAt = [&](size_t j, float* sum)
        {
            const bool right = j + 1 < H; // cells (*, j) exist
            const bool left = j >= 1;     // cells (*, j-1) exist
            sum[0] = sum[1] = sum[2] = 0.0f;
            if (hasAbove && right)
            {
                AddFace(sum, above.x0, above.y0, above.z0, j);
                AddFace(sum, above.x1, above.y1, above.z1, j);
            }
            if (hasBelow && right) AddFace(sum, below.x0, below.y0, below.z0, j);
            if (hasBelow && left)
            {
                AddFace(sum, below.x1, below.y1, below.z1, j - 1);
                AddFace(sum, below.x0, below.y0, below.z0, j - 1);
            }
            if (hasAbove && left) AddFace(sum, above.x1, above.y1, above.z1, j - 1);
        };

        size_t fastBegin = H;
        size_t fastEnd = H;
        if (hasAbove && hasBelow && H >= 3)
        {
            // Inner vertices of an inner row: all six triangles, the same sums without tests.
            fastBegin = 1;
            fastEnd = H - 1;
            InnerVertexNormals(H, above, below, sx.data(), sy.data(), sz.data());
        }

        float* rowNormals = normals + 3 * (i - normalsFirstRow) * H;
        uint8_t* rowBytes = normalBytes != nullptr ? normalBytes + 3 * i * H : nullptr;
        if (rowBytes != nullptr && fastBegin < fastEnd)
            NormalBytes(fastBegin, fastEnd, sx.data(), sy.data(), sz.data(), bytesX.data(), bytesY.data(),
                        bytesZ.data());
        for (size_t j = 0; j < H; ++j)
        {
            if (j >= fastBegin && j < fastEnd)
            {
                rowNormals[3 * j] = sx[j];
                rowNormals[3 * j + 1] = sy[j];
                rowNormals[3 * j + 2] = sz[j];
                if (rowBytes != nullptr)
                {
                    rowBytes[3 * j] = static_cast<uint8_t>(bytesX[j]);
                    rowBytes[3 * j + 1] = static_cast<uint8_t>(bytesZ[j]);
                    rowBytes[3 * j + 2] = static_cast<uint8_t>(bytesY[j]);
                }
            }
            else
            {
                float sum[3];
                sumAt(j, sum);
                StoreNormal(sum, rowNormals + 3 * j, rowBytes != nullptr ? rowBytes + 3 * j : nullptr);
            }
        }
    }
}
} // namespace

void VertexNormalsIn(const float* positions, uint32_t width, uint32_t height, const Region& region,
                     float* normals, uint8_t* normalBytes)
{
    const size_t W = width;
    const size_t H = height;
    if (region.Empty() || region.rowEnd > W || region.columnEnd > H) return;
    // The vertex columns whose cells touch the region's vertices: one more on each side.
    const size_t first = region.columnBegin > 0 ? region.columnBegin - 1 : 0;
    const size_t last = std::min<size_t>(region.columnEnd + 1, H);
    const size_t columns = last - first;
    const size_t cells = columns - 1; // may be 0 on a grid one vertex high
    const auto load = [&](RowOfVertices& row, size_t i)
    {
        row.x.resize(columns);
        row.y.resize(columns);
        row.z.resize(columns);
        const float* from = positions + 3 * (i * H + first);
        for (size_t q = 0; q < columns; ++q)
        {
            row.x[q] = from[3 * q];
            row.y[q] = from[3 * q + 1];
            row.z[q] = from[3 * q + 2];
        }
    };
    const auto cellRow = [&](const RowOfVertices& upper, const RowOfVertices& lower, CellRow& out)
    {
        if (cells == 0) return;
        FaceNormalsOfCells(cells, upper.x.data(), upper.y.data(), upper.z.data(), lower.x.data(),
                           lower.y.data(), lower.z.data(), out.x0.data(), out.y0.data(), out.z0.data(),
                           out.x1.data(), out.y1.data(), out.z1.data());
    };
    CellRow above, below;
    above.Resize(cells);
    below.Resize(cells);
    RowOfVertices up, mid, down;
    std::vector<float> sx(columns), sy(columns), sz(columns);
    for (size_t i = region.rowBegin; i < region.rowEnd; ++i)
    {
        const bool hasAbove = i >= 1;
        const bool hasBelow = i + 1 < W;
        if (i == region.rowBegin)
        {
            load(mid, i);
            if (hasAbove)
            {
                load(up, i - 1);
                cellRow(up, mid, above);
            }
        }
        else
        {
            std::swap(above, below);
            std::swap(mid, down);
        }
        if (hasBelow)
        {
            load(down, i + 1);
            cellRow(mid, down, below);
        }
        // Vertices with all six triangles (an inner row, a cell on each side within the loaded
        // columns) take the whole pass's fast sums; the rest the same sums with their tests.
        size_t fastBegin = region.columnEnd;
        size_t fastEnd = region.columnEnd;
        if (hasAbove && hasBelow && columns >= 3)
        {
            InnerVertexNormals(columns, above, below, sx.data(), sy.data(), sz.data());
            fastBegin = std::max<size_t>(region.columnBegin, first + 1);
            fastEnd = std::min<size_t>(region.columnEnd, first + columns - 1);
            for (size_t j = fastBegin; j < fastEnd; ++j)
            {
                const size_t k = i * H + j;
                float* n = normals + 3 * k;
                n[0] = sx[j - first];
                n[1] = sy[j - first];
                n[2] = sz[j - first];
                if (normalBytes != nullptr)
                {
                    uint8_t* b = normalBytes + 3 * k;
                    b[0] = static_cast<uint8_t>(NormalByte(n[0]));
                    b[1] = static_cast<uint8_t>(NormalByte(n[2]));
                    b[2] = static_cast<uint8_t>(NormalByte(n[1]));
                }
            }
        }
        // The same sums in the same order as the whole pass (cell q of the grid is q - first here).
        for (size_t j = region.columnBegin; j < region.columnEnd; ++j)
        {
            if (j >= fastBegin && j < fastEnd) continue;
            const bool right = j + 1 < H;
            const bool left = j >= 1;
            const size_t q = j - first;
            float sum[3] = {0.0f, 0.0f, 0.0f};
            if (hasAbove && right)
            {
                AddFace(sum, above.x0, above.y0, above.z0, q);
                AddFace(sum, above.x1, above.y1, above.z1, q);
            }
            if (hasBelow && right) AddFace(sum, below.x0, below.y0, below.z0, q);
            if (hasBelow && left)
            {
                AddFace(sum, below.x1, below.y1, below.z1, q - 1);
                AddFace(sum, below.x0, below.y0, below.z0, q - 1);
            }
            if (hasAbove && left) AddFace(sum, above.x1, above.y1, above.z1, q - 1);
            const size_t k = i * H + j;
            StoreNormal(sum, normals + 3 * k, normalBytes != nullptr ? normalBytes + 3 * k : nullptr);
        }
    }
}

void VertexNormals(const float* positions, uint32_t width, uint32_t height, float* normals,
                   uint8_t* normalBytes)
{
    const size_t W = width;
    const size_t H = height;
    if (W == 0 || H == 0) return;
    ForRows(W, 12 * H,
            [&](size_t begin, size_t end)
            { NormalRows(positions, W, H, begin, end, normals, 0, normalBytes); });
}

bool VertexNormals(const float* positions, uint32_t width, uint32_t height, std::vector<float>& normals,
                   uint8_t* normalBytes, const std::function<bool(float)>& progress)
{
    const size_t W = width;
    const size_t H = height;
    LargeArrays::Prepare(normals, 3 * W * H);
    if (W == 0 || H == 0) return true;
    // Batches of rows of a few megabytes: computed on all cores into a scratch block that stays in
    // the cache, then appended, so that every element of normals is written once.
    const size_t batchRows = std::max<size_t>(8, (size_t(4) << 20) / (12 * H));
    std::vector<float> scratch(3 * std::min(batchRows, W) * H);
    for (size_t first = 0; first < W; first += batchRows)
    {
        const size_t rows = std::min(batchRows, W - first);
        ForRows(
            rows, 12 * H,
            [&](size_t begin, size_t end)
            { NormalRows(positions, W, H, first + begin, first + end, scratch.data(), first, normalBytes); });
        normals.insert(normals.end(), scratch.begin(),
                       scratch.begin() + static_cast<ptrdiff_t>(3 * rows * H));
        if (progress && !progress(static_cast<float>(first + rows) / static_cast<float>(W))) return false;
    }
    return true;
}

void HeightmapBytes(const float* positions, size_t vertexCount, float minHeight, float maxHeight,
                    uint8_t* out)
{
    const float scale = static_cast<float>(1.0 / (maxHeight - minHeight));
    Parallel::For(
        vertexCount,
        [=](size_t begin, size_t end)
        {
            for (size_t k = begin; k < end; ++k)
                out[k] = HeightByte(positions[3 * k + 1], minHeight, scale);
        },
        kMinWorkPerThread);
}

HeightRange AddHeights(float* positions, const float* array, size_t vertexCount, float scale)
{
    HeightRange range;
    for (size_t k = 0; k < vertexCount; ++k)
    {
        positions[3 * k + 1] += scale * array[k];
        range.Add(positions[3 * k + 1]);
    }
    return range;
}

void ShiftHeights(float* positions, size_t vertexCount, float amount)
{
    for (size_t k = 0; k < vertexCount; ++k)
        positions[3 * k + 1] -= amount;
}

HeightRange RangeAll(const float* positions, uint32_t width, uint32_t height)
{
    const size_t H = height;
    return ForRows(width, H,
                   [&](size_t begin, size_t end, HeightRange& range)
                   {
                       for (size_t k = begin * H; k < end * H; ++k)
                           range.Add(positions[3 * k + 1]);
                   });
}

void HeightmapBytesIn(const float* positions, uint32_t height, const Region& region, float minHeight,
                      float maxHeight, uint8_t* out)
{
    const float scale = static_cast<float>(1.0 / (maxHeight - minHeight));
    for (size_t i = region.rowBegin; i < region.rowEnd; ++i)
        for (size_t k = i * height + region.columnBegin; k < i * height + region.columnEnd; ++k)
            out[k] = HeightByte(positions[3 * k + 1], minHeight, scale);
}

Region Region::Grown(uint32_t margin, uint32_t width, uint32_t height) const
{
    if (Empty()) return *this;
    Region r;
    r.rowBegin = rowBegin > margin ? rowBegin - margin : 0;
    r.columnBegin = columnBegin > margin ? columnBegin - margin : 0;
    r.rowEnd = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{rowEnd} + margin, width));
    r.columnEnd = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{columnEnd} + margin, height));
    return r;
}

Region Region::Union(const Region& other) const
{
    if (Empty()) return other;
    if (other.Empty()) return *this;
    return {std::min(rowBegin, other.rowBegin), std::max(rowEnd, other.rowEnd),
            std::min(columnBegin, other.columnBegin), std::max(columnEnd, other.columnEnd)};
}

HeightRange Range(const float* positions, size_t vertexCount)
{
    HeightRange range;
    for (size_t k = 0; k < vertexCount; ++k)
        range.Add(positions[3 * k + 1]);
    return range;
}
} // namespace TerrainGrid
