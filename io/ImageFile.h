#pragma once
// Image files from 8-bit pixel buffers, without GL: what Texture::Save writes, so the headless build
// writes the same bytes as the editor.
#include <cstdint>
#include <string>

namespace ImageFile
{
// Writes width x height pixels of 1 to 4 channels (row-major, row 0 the bottom row of the file) as
// .jpg (quality 100), .png, .tga or .bmp, chosen by the extension after the file name's last '.', through
// AtomicFile. Returns false, after logging why, when nothing was written; error (when given) receives
// the reason as a clause for "Cannot write PATH: REASON".
bool Save(const std::string& path, uint32_t width, uint32_t height, uint32_t channels, const uint8_t* pixels,
          std::string* error = nullptr);
} // namespace ImageFile
