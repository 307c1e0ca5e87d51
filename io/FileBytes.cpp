#include "io/FileBytes.h"

#include "engine/AtomicFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

std::string FileBytes::WriteFailure(const std::string& path, const std::string& reason)
{
    return "Cannot write " + path + ": " + reason;
}

bool FileBytes::Write(const std::string& path, const void* data, size_t size, std::string* error)
{
    std::string reason;
    const bool written = WriteFileAtomically(
        path, [&](std::FILE* file) { return size == 0 || std::fwrite(data, 1, size, file) == size; },
        &reason);
    if (!written && error != nullptr) *error = WriteFailure(path, reason);
    return written;
}

bool FileBytes::Size(const std::string& path, uint64_t& size, std::string* reason)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0)
    {
        if (reason != nullptr) *reason = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode))
    {
        if (reason != nullptr)
            *reason = S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file";
        return false;
    }
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool FileBytes::Read(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& out,
                     std::string* reason)
{
    uint64_t size = 0;
    if (!Size(path, size, reason)) return false;
    if (size > maxBytes)
    {
        if (reason != nullptr)
            *reason =
                "the file has " + std::to_string(size) + " bytes, more than a heightmap this size can hold";
        return false;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
    {
        if (reason != nullptr) *reason = std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    const size_t got = size == 0 ? 0 : std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (got != bytes.size())
    {
        if (reason != nullptr)
            *reason =
                std::ferror(file.get()) != 0 ? std::strerror(errno) : "the file shrank while it was read";
        return false;
    }
    out = std::move(bytes);
    return true;
}
