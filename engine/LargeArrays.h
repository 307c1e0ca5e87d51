#pragma once
// Per-vertex arrays of large terrains, written once. A 4097 x 4097 terrain holds over a gigabyte of
// them, and most of the cost of making them is not the writing: every fresh 4 KB page costs a
// fault in which the kernel clears it, and a vector sized first (resize, assign) then zero-fills
// every element before the real values overwrite it. So these helpers
// - reserve storage without constructing elements (Prepare) so that the values can be appended
//   block by block, each element written once, and
// - ask the system to back large fresh blocks with 2 MB pages (a 512th of the faults), where it
//   offers them on request.
// Results never depend on any of this; only the time and the number of faults do.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace LargeArrays
{
// Asks for huge pages on the whole pages inside [data, data + bytes) before they are first touched.
// Does nothing for blocks under a few megabytes or where the system has no such request.
void AdviseHugePages(const void* data, size_t bytes);

// Empties v and makes room for n elements without constructing them; storage that has to be
// allocated for it is advised for huge pages.
template <typename T> void Prepare(std::vector<T>& v, size_t n)
{
    v.clear();
    if (v.capacity() >= n) return;
    std::vector<T>().swap(v);
    v.reserve(n);
    AdviseHugePages(v.data(), n * sizeof(T));
}

// Elements per block for code that appends an array block by block after Prepare: small enough to
// stay in the first-level cache.
inline constexpr size_t kBlockElements = 4096;

// v = source, written once into storage advised for huge pages.
template <typename T> void Copy(std::vector<T>& v, const std::vector<T>& source)
{
    if (&v == &source) return;
    Prepare(v, source.size());
    v.insert(v.end(), source.begin(), source.end());
}

// A buffer of n bytes that are not initialised (the caller writes every one), advised for huge
// pages: for pixel buffers handed to a Texture.
std::unique_ptr<uint8_t[]> UninitializedBytes(size_t n);
} // namespace LargeArrays
