#include "io/ObjReader.h"

#include "engine/LargeArrays.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>

// Sections: helpers, line parser, terrain checks, file reading.

namespace
{
constexpr std::string_view kHeaderMarker = "OBJ file created by or for Velmoran:";

// The blanks a word stream skips; "\r" among them, so CR LF files read like LF files.
inline bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}
inline bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

const char* SkipBlanks(const char* p, const char* end)
{
    while (p < end && IsBlank(*p))
        ++p;
    return p;
}
const char* WordEnd(const char* p, const char* end)
{
    while (p < end && !IsBlank(*p))
        ++p;
    return p;
}

// Bytes no text file holds (the blanks and line ends aside); one of them makes a file binary.
inline bool IsBinaryByte(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f') || u == 0x7f;
}

bool HoldsBinary(const char* begin, const char* end)
{
    return std::any_of(begin, end, IsBinaryByte);
}

// A word of the file for a message: quoted, at most 32 characters of it, every byte outside printable
// ASCII written as \xNN, so a message never carries the file's raw bytes.
std::string Quote(const char* begin, const char* end)
{
    constexpr size_t kMaxShown = 32;
    std::string shown;
    const char* p = begin;
    for (; p < end; ++p)
    {
        const unsigned char c = static_cast<unsigned char>(*p);
        char piece[5] = {static_cast<char>(c), '\0'};
        if (c < 0x20 || c >= 0x7f || c == '\\') std::snprintf(piece, sizeof piece, "\\x%02x", c);
        if (shown.size() + std::strlen(piece) > kMaxShown) break;
        shown += piece;
    }
    return "'" + shown + (p < end ? "...'" : "'");
}

constexpr const char* kNotText = "it is not a text file";

enum class NumberStatus
{
    Ok,
    NotANumber,
    OutOfRange
};

// An unsigned decimal integer that is the whole of [begin, end): digits only.
NumberStatus ParseUnsigned(const char* begin, const char* end, uint32_t& value)
{
    if (begin == end) return NumberStatus::NotANumber;
    uint64_t v = 0;
    for (const char* p = begin; p < end; ++p)
    {
        if (!IsDigit(*p)) return NumberStatus::NotANumber;
        v = v * 10 + static_cast<uint64_t>(*p - '0');
        if (v > UINT32_MAX) return NumberStatus::OutOfRange;
    }
    value = static_cast<uint32_t>(v);
    return NumberStatus::Ok;
}

// A float that is the whole of [begin, end). A leading '+' is accepted as a stream would. Values too
// small for a float become 0 (or the nearest subnormal); only too large ones are out of range.
NumberStatus ParseFloat(const char* begin, const char* end, float& value)
{
    const char* p = begin;
    if (p < end && *p == '+')
    {
        ++p;
        if (p < end && *p == '-') return NumberStatus::NotANumber;
    }
    const std::from_chars_result result = std::from_chars(p, end, value);
    if (result.ptr != end || p == end) return NumberStatus::NotANumber;
    if (result.ec == std::errc()) return NumberStatus::Ok;
    if (result.ec != std::errc::result_out_of_range) return NumberStatus::NotANumber;
    // from_chars does not tell overflow from underflow; strtod on the (already validated) word does.
    const std::string word(p, end);
    const double d = std::strtod(word.c_str(), nullptr);
    if (!(d > -1.0 && d < 1.0)) return NumberStatus::OutOfRange;
    value = static_cast<float>(d);
    return NumberStatus::Ok;
}

std::string LinePrefix(size_t line)
{
    return "line " + std::to_string(line) + ": ";
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Line parser

bool ObjParser::Fail(std::string reason)
{
    error = LinePrefix(line) + reason;
    return false;
}

bool ObjParser::Feed(std::string_view lines)
{
    const char* p = lines.data();
    const char* end = p + lines.size();
    // A binary file (an image, an archive) is told by its first bytes, before its lines are judged.
    const size_t sniff = std::min(kSniffBytes - std::min(kSniffBytes, sniffed), lines.size());
    sniffed += sniff;
    if (HoldsBinary(p, p + sniff))
    {
        error = kNotText;
        return false;
    }
    while (p < end)
    {
        const char* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* lineEnd = newline ? newline : end;
        ++line;
        if (!ParseLine(p, lineEnd))
        {
            // Binary bytes further in: say what the file is rather than quote them.
            if (HoldsBinary(p, lineEnd))
                error = std::string(kNotText) + " (binary bytes on line " + std::to_string(line) + ")";
            return false;
        }
        p = newline ? newline + 1 : end;
    }
    return true;
}

bool ObjParser::ParseLine(const char* begin, const char* end)
{
    const char* word = SkipBlanks(begin, end);
    const char* p = WordEnd(word, end);
    const size_t length = static_cast<size_t>(p - word);
    if (length == 1)
    {
        switch (word[0])
        {
        case 'v':
            return ParseFloats(p, end, &data.positions, 3, "v");
        case 'f':
            return ParseFace(p, end);
        case '#':
            return ParseComment(begin, p, end);
        default:
            return true;
        }
    }
    if (length == 2 && word[0] == 'v')
    {
        if (word[1] == 't') return ParseFloats(p, end, &data.texCoords, 2, "vt");
        if (word[1] == 'n')
        {
            if (!ParseFloats(p, end, options.normals ? &data.normals : nullptr, 3, "vn")) return false;
            ++data.normalRecords;
            return true;
        }
    }
    return true; // empty lines and every other record type are ignored
}

// Reads count floats into out (checks them only when out is null); whatever follows them on the line
// is ignored.
bool ObjParser::ParseFloats(const char*& p, const char* end, std::vector<float>* out, int count,
                            const char* record)
{
    for (int i = 0; i < count; ++i)
    {
        const char* word = SkipBlanks(p, end);
        if (word == end)
            return Fail("a \"" + std::string(record) + "\" record needs " + std::to_string(count) +
                        " numbers");
        p = WordEnd(word, end);
        float value;
        switch (ParseFloat(word, p, value))
        {
        case NumberStatus::Ok:
            if (out != nullptr) out->push_back(value);
            break;
        case NumberStatus::NotANumber:
            return Fail(Quote(word, p) + " is not a number");
        case NumberStatus::OutOfRange:
            return Fail(Quote(word, p) + " is out of range");
        }
    }
    return true;
}

// Corners are up to three numbers joined by '/', filling the slots position, texture coordinate,
// normal; blanks separate corners. A '/' not followed by a number (as in "1//3") ends the line, as
// the layout's reading rule does; such a corner is short and the file is refused later.
bool ObjParser::ParseFace(const char* p, const char* end)
{
    std::vector<uint32_t>* lists[3] = {&data.positionIndices, &data.texCoordIndices, &data.normalIndices};
    size_t corners = 0;
    bool lineEnded = false;
    while (!lineEnded)
    {
        p = SkipBlanks(p, end);
        if (p == end) break;
        const char* cornerStart = p;
        int slot = 0;
        for (;;)
        {
            if (p == end || !IsDigit(*p))
            {
                if (slot == 0)
                    return Fail(Quote(cornerStart, WordEnd(cornerStart, end)) + " is not a face corner");
                lineEnded = true;
                break;
            }
            const char* numberStart = p;
            while (p < end && IsDigit(*p))
                ++p;
            uint32_t index = 0;
            if (ParseUnsigned(numberStart, p, index) != NumberStatus::Ok)
                return Fail("the index " + Quote(numberStart, p) + " is out of range");
            if (index == 0) return Fail("index 0 in a face (indices start at 1)");
            if (slot == 0 || options.cornerSlots) lists[slot]->push_back(index);
            if (index > data.maxIndex[slot]) data.maxIndex[slot] = index;
            if (slot == 1)
                data.hasTexCoordIndices = true;
            else if (slot == 2)
                data.hasNormalIndices = true;
            ++slot;
            if (p < end && *p == '/')
            {
                if (slot == 3) return Fail("a face corner has more than three indices");
                ++p;
                continue;
            }
            if (p < end && !IsBlank(*p))
                return Fail(Quote(cornerStart, WordEnd(cornerStart, end)) + " is not a face corner");
            break;
        }
        ++corners;
        if (slot != 3 && data.firstShortCornerLine == 0) data.firstShortCornerLine = line;
    }
    if (corners != 3 && data.firstNonTriangleLine == 0)
    {
        data.firstNonTriangleLine = line;
        data.nonTriangleCorners = corners;
    }
    return true;
}

// The "created by" comment arms the reader; the next comment line holds name, width and height.
// The name is the line's first word and the size the first two unsigned numbers that follow each
// other after it, so a name written with blanks comes back as its first word and words after the
// size are ignored. A line of just two numbers is a size without a name.
bool ObjParser::ParseComment(const char* begin, const char* p, const char* end)
{
    if (headerDone) return true;
    if (!armed)
    {
        armed = std::string_view(begin, static_cast<size_t>(end - begin)).find(kHeaderMarker) !=
                std::string_view::npos;
        return true;
    }
    headerDone = true;

    struct Word
    {
        const char* begin;
        const char* end;
    };
    std::vector<Word> words;
    for (;;)
    {
        const char* word = SkipBlanks(p, end);
        if (word == end) break;
        p = WordEnd(word, end);
        words.push_back({word, p});
    }
    if (words.size() < 2) return Fail("the header line does not hold the terrain's name, width and height");

    const auto isNumber = [](const Word& w)
    {
        uint32_t value = 0;
        return ParseUnsigned(w.begin, w.end, value) == NumberStatus::Ok;
    };
    // Where the size starts: the first numeric pair after the name; else a size without a name;
    // else where a plain reading (name, width, height) expects it, for the message.
    size_t at = 0;
    bool found = false;
    for (size_t i = 1; i + 1 < words.size() && !found; ++i)
        if (isNumber(words[i]) && isNumber(words[i + 1])) at = i, found = true;
    if (!found) at = (words.size() == 2 || (isNumber(words[0]) && isNumber(words[1]))) ? 0 : 1;
    data.name = at == 0 ? std::string() : std::string(words[0].begin, words[0].end);
    uint32_t* fields[2] = {&data.width, &data.height};
    const char* what[2] = {"width", "height"};
    for (int i = 0; i < 2; ++i)
    {
        const Word& w = words[at + static_cast<size_t>(i)];
        switch (ParseUnsigned(w.begin, w.end, *fields[i]))
        {
        case NumberStatus::Ok:
            break;
        case NumberStatus::NotANumber:
            return Fail("the header's " + std::string(what[i]) + " " + Quote(w.begin, w.end) +
                        " is not an unsigned number");
        case NumberStatus::OutOfRange:
            return Fail("the header's " + std::string(what[i]) + " " + Quote(w.begin, w.end) +
                        " is out of range");
        }
    }
    data.hasHeader = true;
    ReserveForGrid();
    return true;
}

void ObjParser::ReserveForGrid()
{
    // The shortest lines: "v 0 0 0" (8 bytes with its line feed), "vt 0 0" (7), and
    // "f 1/1/1 1/1/1 1/1/1" (20) for three corners.
    const uint64_t vertices = std::min<uint64_t>(uint64_t(data.width) * data.height, inputBytes / 8);
    const uint64_t corners = std::min<uint64_t>(uint64_t(data.width > 0 ? data.width - 1 : 0) *
                                                    (data.height > 0 ? data.height - 1 : 0) * 6,
                                                inputBytes / 20 * 3);
    const auto reserve = [](auto& v, size_t n)
    {
        v.reserve(n);
        LargeArrays::AdviseHugePages(v.data(), n * sizeof(v[0])); // still untouched beyond what was read
    };
    reserve(data.positions, vertices * 3);
    reserve(data.texCoords, vertices * 2);
    reserve(data.positionIndices, corners);
    if (options.cornerSlots)
    {
        reserve(data.texCoordIndices, corners);
        reserve(data.normalIndices, corners);
    }
}

// ---------------------------------------------------------------------------------------------
// Terrain checks

bool ObjReader::IsGridTriangleList(const std::vector<uint32_t>& oneBased, uint32_t width, uint32_t height)
{
    if (width < 2 || height < 2) return false;
    const uint64_t cells = uint64_t(width - 1) * (height - 1);
    if (oneBased.size() != cells * 6) return false;
    // Each triangle must be one of a cell's two, (a, c, b) or (b, c, e) with a = i * H + j,
    // b = a + 1, c = a + H, e = c + 1, starting at any corner (which keeps its winding) and in any
    // order; each of the 2 x cells triangles once, so together they are all of them.
    std::vector<uint8_t> seen(static_cast<size_t>(cells), 0); // bit 1: (a, c, b), bit 2: (b, c, e)
    const uint64_t h = height;
    for (size_t t = 0; t < oneBased.size(); t += 3)
    {
        const uint32_t* v = &oneBased[t];
        const int m = v[0] <= v[1] && v[0] <= v[2] ? 0 : (v[1] <= v[2] ? 1 : 2);
        const uint64_t x = v[m], y = v[(m + 1) % 3], z = v[(m + 2) % 3];
        if (x == 0) return false;
        const uint64_t i = (x - 1) / h, j = (x - 1) % h;
        uint64_t cell = 0;
        uint8_t bit = 0;
        if (y == x + h && z == x + 1 && i + 1 < width && j + 1 < h)
            cell = i * (h - 1) + j, bit = 1; // x = a
        else if (y == x + h - 1 && z == x + h && i + 1 < width && j >= 1)
            cell = i * (h - 1) + j - 1, bit = 2; // x = b
        else
            return false;
        if (seen[cell] & bit) return false;
        seen[cell] |= bit;
    }
    return true;
}

ObjResult ObjReader::CheckTerrain(const ObjData& data)
{
    auto refuse = [](ObjStatus status, std::string reason) { return ObjResult{status, std::move(reason)}; };
    const auto n = [](uint64_t v) { return std::to_string(v); };

    if (!data.hasNormalIndices)
        return refuse(ObjStatus::NoNormals, data.positionIndices.empty()
                                                ? "it holds no faces"
                                                : "its faces carry no normal indices");
    if (!data.hasHeader)
        return refuse(ObjStatus::Malformed, "it has no header comment with the terrain's name and size");
    if (data.width < 2 || data.height < 2)
        return refuse(ObjStatus::Malformed, "its grid of " + n(data.width) + " x " + n(data.height) +
                                                " vertices is smaller than 2 x 2");

    const uint64_t vertices = data.VertexCount();
    const uint64_t gridVertices = uint64_t(data.width) * data.height;
    // Counts are 32-bit in the terrain.
    if (gridVertices > UINT32_MAX || data.positionIndices.size() > UINT32_MAX)
        return refuse(ObjStatus::Malformed, "its grid of " + n(data.width) + " x " + n(data.height) +
                                                " vertices is too large to load");
    if (vertices != gridVertices)
    {
        const bool water = data.name.size() >= 6 && data.name.compare(data.name.size() - 6, 6, "_water") == 0;
        return refuse(ObjStatus::NotATerrain, "it holds " + n(vertices) + " vertices, not the " +
                                                  n(data.width) + " x " + n(data.height) + " = " +
                                                  n(gridVertices) + " of its grid" +
                                                  (water ? " (a water file is not a terrain)" : ""));
    }
    const uint64_t texCoords = data.texCoords.size() / 2;
    if (texCoords != vertices)
        return refuse(ObjStatus::Malformed,
                      "it holds " + n(texCoords) + " texture coordinates for " + n(vertices) + " vertices");
    if (data.firstShortCornerLine != 0)
        return refuse(ObjStatus::Malformed,
                      LinePrefix(data.firstShortCornerLine) + "a face corner does not carry three indices");
    if (data.firstNonTriangleLine != 0)
        return refuse(ObjStatus::Malformed, LinePrefix(data.firstNonTriangleLine) + "a face has " +
                                                n(data.nonTriangleCorners) + " corners, not 3");

    // Only the position indices are used: texture coordinates go by vertex and normals are
    // recomputed, so the other two slots may point anywhere.
    if (data.maxIndex[0] > vertices)
        return refuse(ObjStatus::Malformed, "a face refers to vertex " + n(data.maxIndex[0]) +
                                                ", but the vertex count is " + n(vertices));
    if (!IsGridTriangleList(data.positionIndices, data.width, data.height))
        return refuse(ObjStatus::NotATerrain, "its faces are not the triangles of a " + n(data.width) +
                                                  " x " + n(data.height) + " grid");
    return {};
}

ObjResult ObjReader::ParseTerrain(std::string_view text, ObjData& data)
{
    ObjParser parser(data, text.size());
    if (!parser.Feed(text)) return {ObjStatus::Malformed, parser.Error()};
    return CheckTerrain(data);
}

// ---------------------------------------------------------------------------------------------
// File reading: large chunks, each cut after its last line feed; the rest moves to the next chunk.

ObjResult ObjReader::ReadTerrain(const std::string& path, ObjData& data, size_t chunkBytes,
                                 ObjReadOptions options, const std::function<bool(float)>& progress)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return {ObjStatus::CannotOpen, "it cannot be opened"};
    struct Closer
    {
        std::FILE* file;
        ~Closer() { std::fclose(file); }
    } closer{file};

    size_t fileBytes = 0;
    if (std::fseek(file, 0, SEEK_END) == 0)
    {
        const long end = std::ftell(file);
        fileBytes = end > 0 ? static_cast<size_t>(end) : 0;
    }
    std::rewind(file);
    ObjParser parser(data, fileBytes, options);
    size_t capacity = chunkBytes > 0 ? chunkBytes : 1;
    std::unique_ptr<char[]> buffer(new char[capacity]);
    size_t carried = 0;
    size_t readBytes = 0;
    for (;;)
    {
        if (progress &&
            !progress(fileBytes > 0 ? static_cast<float>(static_cast<double>(readBytes) / fileBytes) : 0.0f))
            return {ObjStatus::Cancelled, "reading was cancelled"};
        const size_t got = std::fread(buffer.get() + carried, 1, capacity - carried, file);
        readBytes += got;
        if (got == 0)
        {
            if (std::ferror(file)) return {ObjStatus::CannotOpen, "it cannot be read"};
            if (carried > 0 && !parser.Feed(std::string_view(buffer.get(), carried)))
                return {ObjStatus::Malformed, parser.Error()};
            break;
        }
        const size_t filled = carried + got;
        const char* lastNewline = nullptr;
        for (size_t i = filled; i > carried; --i)
        {
            if (buffer[i - 1] == '\n')
            {
                lastNewline = buffer.get() + i - 1;
                break;
            }
        }
        if (!lastNewline)
        {
            carried = filled;
            if (carried == capacity) // one line longer than the buffer
            {
                std::unique_ptr<char[]> larger(new char[capacity * 2]);
                std::memcpy(larger.get(), buffer.get(), carried);
                buffer = std::move(larger);
                capacity *= 2;
            }
            continue;
        }
        const size_t complete = static_cast<size_t>(lastNewline - buffer.get()) + 1;
        if (!parser.Feed(std::string_view(buffer.get(), complete)))
            return {ObjStatus::Malformed, parser.Error()};
        carried = filled - complete;
        std::memmove(buffer.get(), buffer.get() + complete, carried);
    }
    return CheckTerrain(data);
}
