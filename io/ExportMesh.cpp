#include "io/ExportMesh.h"

#include "engine/Parallel.h"

void ExportMesh::GridTriangleRow(uint32_t i, uint32_t height, uint32_t* out)
{
    const uint32_t H = height;
    for (uint32_t j = 0; j + 1 < H; ++j)
    {
        const uint32_t a = i * H + j;
        const uint32_t b = a + 1;
        const uint32_t c = a + H;
        const uint32_t e = c + 1;
        out[0] = a;
        out[1] = b;
        out[2] = c;
        out[3] = b;
        out[4] = e;
        out[5] = c;
        out += 6;
    }
}

void ExportMesh::GridTriangles(uint32_t width, uint32_t height, uint32_t* out)
{
    if (width < 2 || height < 2) return;
    const size_t rowIndices = static_cast<size_t>(height - 1) * 6;
    Parallel::For(
        width - 1,
        [&](size_t begin, size_t end)
        {
            for (size_t i = begin; i < end; ++i)
                GridTriangleRow(static_cast<uint32_t>(i), height, out + i * rowIndices);
        },
        64);
}

void ExportMesh::ReverseWinding(const uint32_t* indices, size_t count, uint32_t* out)
{
    for (size_t t = 0; t + 2 < count; t += 3)
    {
        out[t] = indices[t];
        out[t + 1] = indices[t + 2];
        out[t + 2] = indices[t + 1];
    }
}
