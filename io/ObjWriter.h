#pragma once
// The OBJ text the terrain and the water plane are saved as. Plain functions over arrays, so tests,
// benchmarks and the fuzz seeds produce the same bytes as the program without a GL context.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The arrays one file is written from. The pointers stay the caller's.
struct ObjMeshView
{
    std::string_view name; // written unchanged into every header line
    uint32_t width = 0;    // grid size for the header
    uint32_t height = 0;
    uint32_t vertexCount = 0;
    const float* positions = nullptr; // 3 per vertex
    const float* texCoords = nullptr; // 2 per vertex
    const float* normals = nullptr;   // 3 per vertex
    uint32_t indexCount = 0;          // taken three at a time as triangles
    const uint32_t* indices = nullptr;
};

struct ObjWriteStats
{
    size_t bytes = 0;
    uint32_t normalLines = 0; // distinct normals, one "vn" line each
};

namespace ObjWriter
{
// Points view at a mesh kept in vectors. False when the vectors hold less than the counts say (a
// terrain whose generator gave up before building its arrays): such a mesh is not written.
bool MakeView(std::string_view name, uint32_t width, uint32_t height, uint32_t vertexCount,
              const std::vector<float>& positions, const std::vector<float>& texCoords,
              const std::vector<float>& normals, uint32_t indexCount, const std::vector<uint32_t>& indices,
              ObjMeshView& view);

// Writes the file through AtomicFile (an existing one is replaced only once the new one is
// complete). When it cannot be created, logs "SaveAsObj cannot open file <path>" at err level,
// creates nothing and returns false; a write error is logged too and also returns false. error,
// when given, receives the reason.
// progress, when given, hears the share of the lines written; returning false stops the file, which
// then leaves nothing behind (false, error "cancelled").
bool WriteFile(const std::string& path, const ObjMeshView& mesh, ObjWriteStats* stats = nullptr,
               std::string* error = nullptr, const std::function<bool(float)>& progress = {});

// The same text in memory.
std::string WriteString(const ObjMeshView& mesh);

// A float as an iostream writes it by default: general notation, 6 significant digits
// ("0.5", "100", "1e-05", "-0", "1.23457e+06", "nan", "-inf"). Writes at most kMaxFloatChars bytes
// and returns the end.
inline constexpr size_t kMaxFloatChars = 16;
char* FormatFloat(char* out, float value);
// The shortest text that reads back as the same float ("0.1", "1025", "1e-45", "-0"), for files whose
// readers want every bit; at most kMaxFloatChars bytes.
char* FormatFloatExact(char* out, float value);
// Unsigned decimal, at most 10 bytes.
char* FormatUnsigned(char* out, uint32_t value);
} // namespace ObjWriter
