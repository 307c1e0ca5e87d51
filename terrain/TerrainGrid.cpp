#include "terrain/TerrainGrid.h"

#include "engine/Parallel.h"

#include <algorithm>
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

HeightRange ForRows(size_t rows, size_t rowWork, const std::function<void(size_t, size_t, HeightRange&)>& body)
{
    std::mutex mutex;
    std::vector<std::pair<size_t, HeightRange>> chunks;
    Parallel::For(
        rows,
        [&](size_t begin, size_t end) {
            HeightRange range;
            body(begin, end, range);
            std::lock_guard<std::mutex> lock(mutex);
            chunks.emplace_back(begin, range);
        },
        MinRowsPerThread(rowWork));
    std::sort(chunks.begin(), chunks.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    HeightRange total;
    for (const auto& chunk : chunks)
        total.Add(chunk.second);
    return total;
}

void ForRows(size_t rows, size_t rowWork, const std::function<void(size_t, size_t)>& body)
{
    Parallel::For(rows, body, MinRowsPerThread(rowWork));
}

void BuildGrid(uint32_t width, uint32_t height, float vertexDistance, std::vector<float>& positions,
               std::vector<uint32_t>& indices, std::vector<float>& normals, std::vector<float>& texCoords)
{
    const size_t W = width;
    const size_t H = height;
    positions.assign(3 * W * H, 0.0f);
    normals.assign(3 * W * H, 0.0f);
    texCoords.assign(2 * W * H, 0.0f);
    indices.assign((W - 1) * (H - 1) * 6, 0u);

    const float halfW = static_cast<float>(width - 1) * 0.5f;
    const float halfH = static_cast<float>(height - 1) * 0.5f;
    const float du = 1.0f / static_cast<float>(height - 1);
    const float dv = 1.0f / static_cast<float>(width - 1);
    for (size_t i = 0; i < W; ++i)
        for (size_t j = 0; j < H; ++j)
        {
            const size_t k = i * H + j;
            positions[3 * k] = (static_cast<float>(i) - halfW) * vertexDistance;
            positions[3 * k + 2] = (static_cast<float>(j) - halfH) * vertexDistance;
            normals[3 * k + 1] = 1.0f;
            texCoords[2 * k] = static_cast<float>(j) * du;
            texCoords[2 * k + 1] = static_cast<float>(i) * dv;
        }

    size_t n = 0;
    for (size_t i = 0; i + 1 < W; ++i)
        for (size_t j = 0; j + 1 < H; ++j)
        {
            const uint32_t a = static_cast<uint32_t>(i * H + j);
            const uint32_t b = a + 1;
            const uint32_t c = static_cast<uint32_t>((i + 1) * H + j);
            const uint32_t e = c + 1;
            indices[n++] = a;
            indices[n++] = c;
            indices[n++] = b;
            indices[n++] = b;
            indices[n++] = c;
            indices[n++] = e;
        }
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
        bytes[0] = NormalByte(normal[0]);
        bytes[1] = NormalByte(normal[2]);
        bytes[2] = NormalByte(normal[1]);
    }
}

// Face normals of cell row p: 6 floats per cell, triangle (a, c, b) then (b, c, e).
void CellRowNormals(const float* positions, size_t H, size_t p, float* out)
{
    const float* row0 = positions + 3 * p * H;
    const float* row1 = row0 + 3 * H;
    for (size_t q = 0; q + 1 < H; ++q)
    {
        const float* a = row0 + 3 * q;
        const float* b = a + 3;
        const float* c = row1 + 3 * q;
        const float* e = c + 3;
        TriangleNormal(a, c, b, out + 6 * q);
        TriangleNormal(b, c, e, out + 6 * q + 3);
    }
}
} // namespace

void VertexNormalDirect(const float* positions, uint32_t width, uint32_t height, uint32_t i, uint32_t j,
                        float* out)
{
    const auto P = [&](int64_t vi, int64_t vj) { return positions + 3 * (vi * height + vj); };
    const auto cell = [&](int64_t p, int64_t q) { return p >= 0 && q >= 0 && p + 1 < width && q + 1 < height; };
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

void VertexNormals(const float* positions, uint32_t width, uint32_t height, float* normals, uint8_t* normalBytes)
{
    const size_t W = width;
    const size_t H = height;
    if (W == 0 || H == 0)
        return;
    const size_t cellRow = 6 * (H > 1 ? H - 1 : 0);
    ForRows(W, 12 * H, [&](size_t begin, size_t end) {
        // Two cell rows slide along: cells (i-1, *) above vertex row i and cells (i, *) below it.
        std::vector<float> above(cellRow);
        std::vector<float> below(cellRow);
        for (size_t i = begin; i < end; ++i)
        {
            const bool hasAbove = i >= 1;
            const bool hasBelow = i + 1 < W;
            if (i == begin)
            {
                if (hasAbove)
                    CellRowNormals(positions, H, i - 1, above.data());
            }
            else
            {
                std::swap(above, below);
            }
            if (hasBelow)
                CellRowNormals(positions, H, i, below.data());

            const float* up = above.data();
            const float* down = below.data();
            for (size_t j = 0; j < H; ++j)
            {
                const bool right = j + 1 < H; // cells (*, j) exist
                const bool left = j >= 1;     // cells (*, j-1) exist
                float sum[3] = {0.0f, 0.0f, 0.0f};
                if (hasAbove && right)
                {
                    Accumulate(sum, up + 6 * j);
                    Accumulate(sum, up + 6 * j + 3);
                }
                if (hasBelow && right)
                    Accumulate(sum, down + 6 * j);
                if (hasBelow && left)
                {
                    Accumulate(sum, down + 6 * (j - 1) + 3);
                    Accumulate(sum, down + 6 * (j - 1));
                }
                if (hasAbove && left)
                    Accumulate(sum, up + 6 * (j - 1) + 3);
                const size_t k = i * H + j;
                StoreNormal(sum, normals + 3 * k, normalBytes != nullptr ? normalBytes + 3 * k : nullptr);
            }
        }
    });
}

void HeightmapBytes(const float* positions, size_t vertexCount, float minHeight, float maxHeight, uint8_t* out)
{
    const float scale = static_cast<float>(1.0 / (maxHeight - minHeight));
    Parallel::For(
        vertexCount,
        [&](size_t begin, size_t end) {
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

HeightRange Range(const float* positions, size_t vertexCount)
{
    HeightRange range;
    for (size_t k = 0; k < vertexCount; ++k)
        range.Add(positions[3 * k + 1]);
    return range;
}
} // namespace TerrainGrid
