#pragma once
// The project file (".velmoran"): one zip container holding a JSON manifest ("manifest.json") and the
// binary parts it names (float32 and uint32 arrays little-endian, 8-bit pixel buffers as textures keep
// them), deflated where that pays. The manifest carries the format version; a newer one is refused.
//
// Save and Open touch nothing but the project model and the file, never GL or editor state, so that
// they may run off the GUI thread; both report progress and can be cancelled through the callback.
#include "terrain/Project.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Called with the fraction done (0 to 1); returning false cancels the save or open.
using ProjectProgress = std::function<bool(float fraction)>;

namespace ProjectFile
{
inline constexpr const char* kExtension = ".velmoran";
inline constexpr const char* kManifestName = "manifest.json";
inline constexpr const char* kFormatName = "velmoran-project";
// Deflate level of the parts: the fastest level keeps a 1025 x 1025 project's save under half a second,
// and the higher levels shrink images and layers by only a few percent more. Parts that deflate would
// hardly shrink (float heights with noisy low bits) are stored as they are.
inline constexpr int kCompressionLevel = 1;
inline constexpr size_t kMaxManifestBytes = size_t(16) << 20;

struct OpenOptions
{
    // Parts may not unpack to more than this in total: a small file must not claim gigabytes.
    uint64_t maxUnpackedBytes = uint64_t(8) << 30;
};

// Writes the project through AtomicFile: a failed save leaves the old file whole. Returns false with
// the reason (a clause for SaveMessage) when nothing was written.
bool Save(const Project& project, const std::string& path, std::string* error = nullptr,
          const ProjectProgress& progress = {}, int compressionLevel = kCompressionLevel);

// Reads a whole project. project is replaced only when the file is sound; otherwise it is untouched
// and error receives the reason (a clause for OpenMessage).
bool Open(const std::string& path, Project& project, std::string* error = nullptr,
          const ProjectProgress& progress = {}, const OpenOptions& options = {});
// The same from bytes in memory.
bool OpenMemory(const void* bytes, size_t size, Project& project, std::string* error = nullptr,
                const OpenOptions& options = {});

// "Cannot open project PATH: REASON" and "Cannot save project PATH: REASON".
std::string OpenMessage(const std::string& path, const std::string& reason);
std::string SaveMessage(const std::string& path, const std::string& reason);

// The project's name as titles show it: the file name without folder and ".velmoran".
std::string DisplayName(const std::string& path);
} // namespace ProjectFile
