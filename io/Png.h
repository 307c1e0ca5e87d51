#pragma once
// PNG files in memory through libspng: 8-bit images of 1 to 4 channels and 16-bit greyscale out, 8- and
// 16-bit greyscale heightmaps in. Rows are in the file's order (top row first); 16-bit samples are
// host-endian in memory. Nothing here touches GL, so it runs on any thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Png
{
// How hard zlib works. Heightmaps and colour maps of a terrain compress well with the Up filter at a
// low level; a higher level costs several times the time for a few per cent.
inline constexpr int kDefaultLevel = 2;

// pixels holds width * height * channels samples (bytes for bitDepth 8, uint16_t for bitDepth 16,
// where only channels 1 is accepted). False with the reason in error when encoding failed.
bool Encode(const void* pixels, uint32_t width, uint32_t height, uint32_t channels, uint32_t bitDepth,
            std::vector<uint8_t>& out, std::string* error, int level = kDefaultLevel);

// One greyscale channel of 8 or 16 bits.
struct GreyImage
{
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitDepth = 0;         // 8 or 16
    std::vector<uint16_t> samples; // width * height, top row first, 0 .. 2^bitDepth - 1
};

// Decodes a greyscale PNG of 8 or 16 bits whose sides lie within 2 .. maxSide. Other colour types,
// bit depths and sizes, damaged and truncated data are refused with the reason in error.
bool DecodeGrey(const uint8_t* data, size_t size, uint32_t maxSide, GreyImage& out, std::string* error);
} // namespace Png
