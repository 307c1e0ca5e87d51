// Feeds arbitrary bytes to the OBJ reader. Besides the sanitizers' checks it asserts what the terrain
// loader relies on once a file is accepted, and that reading in two pieces, keeping only what the
// terrain load keeps, judges and reads the same as reading everything at once.
#include "io/ObjReader.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace
{
void Require(bool condition)
{
    if (!condition) __builtin_trap();
}

ObjResult ParseInTwoPieces(std::string_view text, ObjData& data)
{
    // Pieces must end after a line feed: cut after the first one past the middle.
    const size_t cut = text.find('\n', text.size() / 2);
    ObjReadOptions lean;
    lean.cornerSlots = false;
    lean.normals = false;
    ObjParser parser(data, text.size(), lean);
    if (cut == std::string_view::npos)
    {
        if (!parser.Feed(text)) return {ObjStatus::Malformed, parser.Error()};
    }
    else if (!parser.Feed(text.substr(0, cut + 1)) || !parser.Feed(text.substr(cut + 1)))
        return {ObjStatus::Malformed, parser.Error()};
    return ObjReader::CheckTerrain(data);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    ObjData data;
    const ObjResult result = ObjReader::ParseTerrain(text, data);

    ObjData pieces;
    const ObjResult piecesResult = ParseInTwoPieces(text, pieces);
    Require(piecesResult.status == result.status);
    // A binary file is told by its first 4096 bytes when they arrive together, as the terrain load
    // reads them (in chunks of megabytes). Cut before that, a malformed line of the first piece can be
    // named instead, and either read stops at its own place.
    if (result.reason == "it is not a text file") return 0;
    Require(piecesResult.reason == result.reason);
    Require(pieces.positions.size() == data.positions.size() &&
            pieces.texCoords.size() == data.texCoords.size() &&
            pieces.positionIndices == data.positionIndices &&
            pieces.normalRecords == data.normals.size() / 3);
    Require(pieces.texCoordIndices.empty() && pieces.normalIndices.empty() && pieces.normals.empty());

    Require(result.Ok() == result.reason.empty());
    if (!result.Ok()) return 0;

    const uint64_t vertices = uint64_t(data.width) * data.height;
    Require(data.width >= 2 && data.height >= 2);
    Require(data.positions.size() == vertices * 3 && data.texCoords.size() == vertices * 2);
    Require(data.positionIndices.size() == uint64_t(data.width - 1) * (data.height - 1) * 6);
    Require(data.texCoordIndices.size() == data.positionIndices.size());
    Require(data.normalIndices.size() == data.positionIndices.size());
    float sum = 0;
    for (size_t c = 0; c < data.positionIndices.size(); ++c)
    {
        const uint32_t k = data.positionIndices[c];
        Require(k >= 1 && k <= vertices); // the loader draws with these; the other slots go unused
        sum += data.positions[(k - 1) * 3 + 1];
    }
    volatile float sink = sum;
    (void)sink;
    return 0;
}
