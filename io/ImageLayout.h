#pragma once
// Where each vertex lands in the images the exports write and the heightmap import reads.
//
// The terrain stores vertex (i, j) - i along world x, j along world z - at k = i * H + j. Export images
// show the terrain seen from above with +x to the right: column c is i (west to east, +x) and row r,
// counted from the top of the file, is j (+z, the lowest z on the first row). An image is therefore
// W pixels wide and H pixels high, and pixel (c, r) is stored at r * W + c.
#include "engine/Parallel.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace ImageLayout
{
namespace detail
{
constexpr uint32_t kBlock = 64; // a block of both orders stays in the cache while it is copied
}

// grid holds channels values per vertex in vertex order; image receives them in image order.
template <typename T>
void GridToImage(const T* grid, uint32_t width, uint32_t height, uint32_t channels, T* image)
{
    const size_t W = width, H = height, C = channels;
    const size_t rowBlocks = (H + detail::kBlock - 1) / detail::kBlock;
    Parallel::For(
        rowBlocks,
        [&](size_t first, size_t last)
        {
            for (size_t jb = first * detail::kBlock; jb < std::min(H, last * detail::kBlock);
                 jb += detail::kBlock)
                for (size_t ib = 0; ib < W; ib += detail::kBlock)
                    for (size_t j = jb; j < std::min(H, jb + detail::kBlock); ++j)
                        for (size_t i = ib; i < std::min(W, ib + detail::kBlock); ++i)
                            for (size_t c = 0; c < C; ++c)
                                image[(j * W + i) * C + c] = grid[(i * H + j) * C + c];
        },
        4);
}

// The inverse: an image of width columns and height rows back into vertex order.
template <typename T>
void ImageToGrid(const T* image, uint32_t width, uint32_t height, uint32_t channels, T* grid)
{
    const size_t W = width, H = height, C = channels;
    const size_t columnBlocks = (W + detail::kBlock - 1) / detail::kBlock;
    Parallel::For(
        columnBlocks,
        [&](size_t first, size_t last)
        {
            for (size_t ib = first * detail::kBlock; ib < std::min(W, last * detail::kBlock);
                 ib += detail::kBlock)
                for (size_t jb = 0; jb < H; jb += detail::kBlock)
                    for (size_t i = ib; i < std::min(W, ib + detail::kBlock); ++i)
                        for (size_t j = jb; j < std::min(H, jb + detail::kBlock); ++j)
                            for (size_t c = 0; c < C; ++c)
                                grid[(i * H + j) * C + c] = image[(j * W + i) * C + c];
        },
        4);
}
} // namespace ImageLayout
