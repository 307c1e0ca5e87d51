#pragma once
// Reads the OBJ text the export writes back into arrays, and decides whether it is a terrain.
// Any byte sequence is safe to read: problems come back as a reason, never as a crash.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What one file holds, as read. Indices are 1-based, as in the file.
struct ObjData
{
    std::string name; // first word of the header's name
    uint32_t width = 0;
    uint32_t height = 0;
    bool hasHeader = false; // a name and size line followed the "created by" comment

    std::vector<float> positions; // 3 per "v" record
    std::vector<float> texCoords; // 2 per "vt" record
    std::vector<float> normals;   // 3 per "vn" record (unless ObjReadOptions::normals is off)
    size_t normalRecords = 0;     // "vn" records read, kept or not
    // Face corners by slot: 0 position, 1 texture coordinate, 2 normal (slots 1 and 2 stay empty
    // unless ObjReadOptions::cornerSlots is on; their flags and largest indices are kept either way).
    std::vector<uint32_t> positionIndices;
    std::vector<uint32_t> texCoordIndices;
    std::vector<uint32_t> normalIndices;
    bool hasTexCoordIndices = false; // some number landed in slot 1
    bool hasNormalIndices = false;   // some number landed in slot 2

    // Gathered while reading, judged afterwards (0: none).
    size_t firstShortCornerLine = 0;  // a corner without all three indices
    size_t firstNonTriangleLine = 0;  // a face without exactly three corners
    size_t nonTriangleCorners = 0;    // corner count of that face
    uint32_t maxIndex[3] = {0, 0, 0}; // per slot

    size_t VertexCount() const { return positions.size() / 3; }
};

enum class ObjStatus
{
    Ok,
    CannotOpen,  // missing or unreadable file
    Malformed,   // text that does not follow the layout (bad number, header, corner...)
    NoNormals,   // no face corner carries a normal index
    NotATerrain, // well formed, but not a terrain grid (a water file, a wrong count...)
    Cancelled    // the progress callback asked to stop
};

struct ObjResult
{
    ObjStatus status = ObjStatus::Ok;
    // Empty when Ok; otherwise a clause such as "line 7: 'x' is not a number" (words of the file shortened,
    // bytes outside printable ASCII written as \xNN) or "it is not a text file".
    std::string reason;

    bool Ok() const { return status == ObjStatus::Ok; }
};

// What the parser keeps beyond what a terrain needs (positions, texture coordinates, position
// indices). A terrain load drops the rest: for a 4097 x 4097 file the faces' texture-coordinate and
// normal indices and the file's normals are a gigabyte that would only be checked and thrown away.
// Every record is parsed and checked the same way either way.
struct ObjReadOptions
{
    bool cornerSlots = true; // keep the faces' texture-coordinate and normal indices
    bool normals = true;     // keep the "vn" values
};

// Reads text in pieces that each end after a line feed (the last piece may end anywhere), so a file
// can be read in large chunks. Lines end at "\n"; a "\r" counts as a blank.
class ObjParser
{
  public:
    // inputBytes, when known, lets the arrays be reserved once the header gives the grid size;
    // it also bounds that reservation, so a header cannot ask for more than the text can hold.
    explicit ObjParser(ObjData& data, size_t inputBytes = 0, ObjReadOptions options = {})
        : data(data), options(options), inputBytes(inputBytes)
    {
    }

    // Returns false at the first malformed line; Error() then holds the reason.
    bool Feed(std::string_view lines);
    const std::string& Error() const { return error; }
    size_t LinesRead() const { return line; }

  private:
    bool ParseLine(const char* begin, const char* end);
    bool ParseFloats(const char*& p, const char* end, std::vector<float>* out, int count, const char* record);
    bool ParseFace(const char* p, const char* end);
    bool ParseComment(const char* begin, const char* p, const char* end);
    bool Fail(std::string reason);
    void ReserveForGrid();

    static constexpr size_t kSniffBytes = 4096; // the first bytes, checked for binary content

    ObjData& data;
    ObjReadOptions options;
    std::string error;
    size_t inputBytes = 0;
    size_t sniffed = 0;
    size_t line = 0;
    bool armed = false;      // the "created by" comment was seen
    bool headerDone = false; // the name and size line was read
};

namespace ObjReader
{
// Reads everything, then judges it as a terrain (CheckTerrain). data is filled as far as it was read.
ObjResult ParseTerrain(std::string_view text, ObjData& data);
// The same from a file, read in chunks of chunkBytes (grown for a longer line). progress, when
// given, hears the share of the file read after each chunk; returning false stops with Cancelled.
inline constexpr size_t kReadChunkBytes = size_t(16) << 20;
ObjResult ReadTerrain(const std::string& path, ObjData& data, size_t chunkBytes = kReadChunkBytes,
                      ObjReadOptions options = {}, const std::function<bool(float)>& progress = {});

// Whether the arrays make a W x H terrain the loader can use: normals in the faces, a header, W and H
// of at least 2, W x H vertices with one texture coordinate each, three indices in every corner,
// triangles only, every position index inside the vertex list, and the faces of the W x H grid.
// Texture-coordinate and normal indices are not used and not checked.
ObjResult CheckTerrain(const ObjData& data);

// Whether the 1-based position indices are the triangles of a W x H grid as the terrain winds them,
// each once, in any order and starting at any of their corners.
bool IsGridTriangleList(const std::vector<uint32_t>& oneBasedIndices, uint32_t width, uint32_t height);
} // namespace ObjReader
