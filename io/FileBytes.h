#pragma once
// Whole files as bytes: written through AtomicFile (temporary file, renamed when complete), read with
// a size limit. Messages name the file: "Cannot write PATH: REASON".
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace FileBytes
{
// The message for a file that could not be written, as every export reports it.
std::string WriteFailure(const std::string& path, const std::string& reason);

bool Write(const std::string& path, const void* data, size_t size, std::string* error);
inline bool Write(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error)
{
    return Write(path, bytes.data(), bytes.size(), error);
}
inline bool Write(const std::string& path, const std::string& text, std::string* error)
{
    return Write(path, text.data(), text.size(), error);
}

// Size of a regular file, or false with the reason.
bool Size(const std::string& path, uint64_t& size, std::string* reason);
// Reads the whole file; files beyond maxBytes are refused. reason gets the bare reason.
bool Read(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& out, std::string* reason);
} // namespace FileBytes
