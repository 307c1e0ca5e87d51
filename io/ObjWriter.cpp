#include "io/ObjWriter.h"

#include "engine/AtomicFile.h"
#include "engine/Log.h"
#include "engine/Parallel.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

// Sections: number formatting, the normal table, the buffered output, the file layout.

namespace
{
// ---------------------------------------------------------------------------------------------
// Number formatting

constexpr char kDigitPairs[] = "00010203040506070809"
                               "10111213141516171819"
                               "20212223242526272829"
                               "30313233343536373839"
                               "40414243444546474849"
                               "50515253545556575859"
                               "60616263646566676869"
                               "70717273747576777879"
                               "80818283848586878889"
                               "90919293949596979899";

// Powers of ten that doubles hold exactly (5^22 < 2^53).
constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

char* SlowFloat(char* out, float value)
{
    return std::to_chars(out, out + ObjWriter::kMaxFloatChars, value, std::chars_format::general, 6).ptr;
}
} // namespace

char* ObjWriter::FormatFloatExact(char* out, float value)
{
    return std::to_chars(out, out + kMaxFloatChars, value).ptr;
}

char* ObjWriter::FormatUnsigned(char* out, uint32_t value)
{
    char tmp[10];
    char* p = tmp + sizeof(tmp);
    while (value >= 100)
    {
        const uint32_t pair = (value % 100) * 2;
        value /= 100;
        *--p = kDigitPairs[pair + 1];
        *--p = kDigitPairs[pair];
    }
    if (value >= 10)
    {
        *--p = kDigitPairs[value * 2 + 1];
        *--p = kDigitPairs[value * 2];
    }
    else
        *--p = static_cast<char>('0' + value);
    const size_t length = static_cast<size_t>(tmp + sizeof(tmp) - p);
    std::memcpy(out, p, length);
    return out + length;
}

// std::to_chars gives exactly the iostream text but costs ~70 ns a number, most of a second for a
// large terrain. The fast path scales |value| by a power of ten into [1e5, 1e6) with one double
// rounding (relative error <= 2^-53, so under 1e-9 absolute) and rounds to six digits. Only when the
// scaled value lies within 1e-7 of a rounding tie - where that error could flip the result, and where
// exact ties need round-half-even - and for zero exponents outside the exact power table, subnormals,
// infinities and NaN does it hand over to std::to_chars.
char* ObjWriter::FormatFloat(char* out, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    const bool negative = (bits >> 31) != 0;
    const uint32_t magnitudeBits = bits & 0x7fffffffu;
    if (magnitudeBits == 0)
    {
        if (negative) *out++ = '-';
        *out++ = '0';
        return out;
    }
    if (magnitudeBits < 0x00800000u || magnitudeBits >= 0x7f800000u) return SlowFloat(out, value);

    const double a = std::fabs(static_cast<double>(value));
    int binaryExponent;
    std::frexp(a, &binaryExponent); // a in [2^(e-1), 2^e)
    // floor(log10(a)) is this estimate or one more.
    int exponent = static_cast<int>(std::floor((binaryExponent - 1) * 0.30102999566398120));
    auto scale = [a](int decimalExponent, double& scaled)
    {
        const int p = 5 - decimalExponent;
        if (p >= 0 && p <= 22)
            scaled = a * kExactPow10[p];
        else if (p < 0 && p >= -22)
            scaled = a / kExactPow10[-p];
        else
            return false;
        return true;
    };
    double scaled;
    if (!scale(exponent, scaled)) return SlowFloat(out, value);
    if (scaled >= 1e6)
    {
        ++exponent;
        if (!scale(exponent, scaled)) return SlowFloat(out, value);
    }
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5) < 1e-7) return SlowFloat(out, value);
    uint32_t digits = static_cast<uint32_t>(whole) + (fraction > 0.5 ? 1u : 0u);
    if (digits == 1000000u)
    {
        digits = 100000u;
        ++exponent;
    }
    if (digits < 100000u || digits > 999999u) return SlowFloat(out, value);

    char d[6];
    for (int i = 5; i >= 0; --i)
    {
        d[i] = static_cast<char>('0' + digits % 10);
        digits /= 10;
    }
    int significant = 6;
    while (significant > 1 && d[significant - 1] == '0')
        --significant;

    if (negative) *out++ = '-';
    if (exponent < -4 || exponent >= 6)
    {
        *out++ = d[0];
        if (significant > 1)
        {
            *out++ = '.';
            std::memcpy(out, d + 1, static_cast<size_t>(significant - 1));
            out += significant - 1;
        }
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        const int e = exponent < 0 ? -exponent : exponent; // at most 38: two digits
        *out++ = static_cast<char>('0' + e / 10);
        *out++ = static_cast<char>('0' + e % 10);
    }
    else if (exponent >= 0)
    {
        const int integerDigits = exponent + 1;
        std::memcpy(out, d, static_cast<size_t>(integerDigits));
        out += integerDigits;
        if (significant > integerDigits)
        {
            *out++ = '.';
            std::memcpy(out, d + integerDigits, static_cast<size_t>(significant - integerDigits));
            out += significant - integerDigits;
        }
    }
    else
    {
        *out++ = '0';
        *out++ = '.';
        for (int i = 0; i < -exponent - 1; ++i)
            *out++ = '0';
        std::memcpy(out, d, static_cast<size_t>(significant));
        out += significant;
    }
    return out;
}

namespace
{
// ---------------------------------------------------------------------------------------------
// Normal table: each vertex's 1-based "vn" number, numbers in order of first appearance.
//
// Normals match when their components are equal as values, so 0 and -0 are the same normal (the
// first one met is written). A NaN component matches only the same bit pattern: by value it would
// never match, and every such vertex would write a line of its own.
//
// The table is open addressing over four-byte slots: the vertex of a normal's first use (plus one)
// and, in the bits that index leaves free, a tag of the normal's hash; the normal itself is read
// from the mesh only when the tags agree. Every normal of a large terrain may be distinct, so the
// table is sized for all of them at a load of at most 0.8: about 5 bytes a vertex, where whole
// normals in the slots took 16 bytes a slot at twice the slots. Its memory is allocated zeroed and
// untouched, so a terrain with few distinct normals touches only the pages it uses.
class NormalTable
{
  public:
    NormalTable(const float* normals, uint32_t vertexCount) : normals(normals)
    {
        capacity = std::max<uint64_t>(16, uint64_t{vertexCount} + vertexCount / 4 + 1);
        uint32_t indexBits = 1;
        while (indexBits < 32 && (uint64_t{1} << indexBits) <= vertexCount)
            ++indexBits;
        indexMask = indexBits >= 32 ? ~0u : (1u << indexBits) - 1;
        tagShift = indexBits;
        slots.reset(static_cast<uint32_t*>(std::calloc(capacity, sizeof(uint32_t))));
        if (!slots) throw std::bad_alloc();
    }

    struct Probe
    {
        uint64_t slot;
        uint32_t tag; // already shifted into place; 0 when no bits are left for it
        uint32_t key[3];
    };

    Probe Start(uint32_t k) const
    {
        Probe probe;
        for (int c = 0; c < 3; ++c)
            probe.key[c] = Key(normals[size_t(k) * 3 + c]);
        const uint64_t h = Hash(probe.key[0], probe.key[1], probe.key[2]);
        probe.slot = ((h & 0xffffffffu) * capacity) >> 32;
        probe.tag = tagShift >= 32 ? 0u : static_cast<uint32_t>(h >> 32) << tagShift;
        return probe;
    }

    void Prefetch(const Probe& probe) const { __builtin_prefetch(slots.get() + probe.slot); }

    // The first vertex with vertex k's normal: k itself when the normal is new (then entered).
    uint32_t FirstUse(uint32_t k, const Probe& probe)
    {
        uint64_t i = probe.slot;
        for (;;)
        {
            uint32_t& slot = slots[i];
            if (slot == 0)
            {
                slot = (k + 1) | probe.tag;
                return k;
            }
            if ((slot & ~indexMask) == probe.tag)
            {
                const uint32_t first = (slot & indexMask) - 1;
                const float* n = normals + size_t(first) * 3;
                if (Key(n[0]) == probe.key[0] && Key(n[1]) == probe.key[1] && Key(n[2]) == probe.key[2])
                    return first;
            }
            if (++i == capacity) i = 0;
        }
    }

  private:
    static uint32_t Key(float f)
    {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof(bits));
        return (bits & 0x7fffffffu) == 0 ? 0u : bits; // -0 == 0
    }
    static uint64_t Hash(uint32_t x, uint32_t y, uint32_t z)
    {
        uint64_t h = (uint64_t{x} << 32 | y) * 0x9e3779b97f4a7c15u;
        h ^= (h >> 29) ^ static_cast<uint64_t>(z) * 0xc2b2ae3d27d4eb4fu;
        h *= 0xbf58476d1ce4e5b9u;
        return h ^ (h >> 31);
    }

    struct Free
    {
        void operator()(uint32_t* p) const { std::free(p); }
    };

    const float* normals;
    std::unique_ptr<uint32_t[], Free> slots;
    uint64_t capacity = 0;
    uint32_t indexMask = 0;
    uint32_t tagShift = 0;
};

// Vertex k's normal number, with kFirstUse set on the vertex that writes the normal's "vn" line.
constexpr uint32_t kFirstUse = 0x80000000u; // numbers stay below: at most UINT32_MAX / 3 vertices

// Numbers every vertex's normal in vertex order; returns the count of distinct normals. The table
// lookups of a group of vertices are started (hashed, their slots fetched) before any of them is
// entered, so that the slot misses overlap; the entries still go in in vertex order.
uint32_t NumberNormals(const float* normals, uint32_t n, uint32_t* numbers)
{
    NormalTable table(normals, n);
    constexpr uint32_t kGroup = 16;
    NormalTable::Probe probes[kGroup];
    uint32_t count = 0;
    for (uint32_t first = 0; first < n; first += kGroup)
    {
        const uint32_t size = std::min(kGroup, n - first);
        for (uint32_t g = 0; g < size; ++g)
        {
            probes[g] = table.Start(first + g);
            table.Prefetch(probes[g]);
        }
        for (uint32_t g = 0; g < size; ++g)
        {
            const uint32_t k = first + g;
            const uint32_t firstUse = table.FirstUse(k, probes[g]);
            numbers[k] = firstUse == k ? (++count | kFirstUse) : (numbers[firstUse] & ~kFirstUse);
        }
    }
    return count;
}

// ---------------------------------------------------------------------------------------------
// Buffered output: lines are formatted straight into a large buffer that goes to the sink when full.
class Output
{
  public:
    static constexpr size_t kCapacity = size_t(4) << 20;
    static constexpr size_t kMaxLine = 128; // the longest formatted record line
    using Sink = bool (*)(void* context, const char* data, size_t size);

    Output(Sink sink, void* context) : buffer(new char[kCapacity]), sink(sink), context(context) {}

    // Room for one record line.
    char* Line()
    {
        if (used + kMaxLine > kCapacity) Flush();
        return buffer.get() + used;
    }
    void Commit(char* end) { used = static_cast<size_t>(end - buffer.get()); }

    void Append(std::string_view text)
    {
        while (!text.empty())
        {
            if (used == kCapacity) Flush();
            const size_t n = std::min(text.size(), kCapacity - used);
            std::memcpy(buffer.get() + used, text.data(), n);
            used += n;
            text.remove_prefix(n);
        }
    }

    bool Flush()
    {
        if (used > 0)
        {
            ok = sink(context, buffer.get(), used) && ok;
            total += used;
            used = 0;
        }
        return ok;
    }

    // Bytes already formatted elsewhere, in order after what the buffer holds.
    void Write(const char* data, size_t size)
    {
        if (size < kCapacity / 4)
        {
            Append(std::string_view(data, size));
            return;
        }
        Flush();
        ok = sink(context, data, size) && ok;
        total += size;
    }

    size_t Total() const { return total + used; }

  private:
    std::unique_ptr<char[]> buffer;
    size_t used = 0;
    size_t total = 0;
    bool ok = true;
    Sink sink;
    void* context;
};

// The share of record lines formatted so far, for a caller's progress; a false answer stops the
// writing at the next batch.
struct LineProgress
{
    const std::function<bool(float)>* callback = nullptr;
    double total = 1.0;
    uint64_t done = 0;
    bool stopped = false;

    bool Advance(uint64_t lines)
    {
        done += lines;
        if (!stopped && callback != nullptr && *callback && !(*callback)(static_cast<float>(done / total)))
            stopped = true;
        return !stopped;
    }
};

// ---------------------------------------------------------------------------------------------
// File layout

void HeaderLine(Output& out, std::string_view name, std::string_view what)
{
    out.Append("# ");
    out.Append(name);
    out.Append(what);
    out.Append("\n");
}

char* Floats(char* p, const float* values, int count)
{
    for (int i = 0; i < count; ++i)
    {
        *p++ = ' ';
        p = ObjWriter::FormatFloat(p, values[i]);
    }
    *p++ = '\n';
    return p;
}

// Writes line(p, k) for k in [0, count), each at most Output::kMaxLine bytes (possibly none).
// Formatting is most of the work, so large sections are formatted in batches, each batch split over
// the cores into a slot per line range, and handed to the output in order (the bytes do not depend
// on the thread count). The output writes one batch while the next is being formatted.
template <typename LineFormatter>
void WriteLines(Output& out, uint32_t count, LineProgress& progress, const LineFormatter& line)
{
    constexpr uint32_t kBatchLines = 1u << 16;
    constexpr size_t kMinLinesPerThread = 16384;
    if (progress.stopped) return;
    if (Parallel::ThreadCount() <= 1 || count < 2 * kMinLinesPerThread)
    {
        for (uint32_t first = 0; first < count; first += kBatchLines)
        {
            const uint32_t last = std::min(count, first + kBatchLines);
            for (uint32_t k = first; k < last; ++k)
                out.Commit(line(out.Line(), k));
            if (!progress.Advance(last - first)) return;
        }
        return;
    }
    struct Batch
    {
        std::unique_ptr<char[]> text{new char[size_t(kBatchLines) * Output::kMaxLine]};
        std::vector<std::pair<size_t, size_t>> ranges; // (first line, bytes) per formatted range
    };
    Batch batches[2];
    std::mutex rangesMutex;
    std::future<void> writing;
    for (uint32_t first = 0, index = 0; first < count; first += kBatchLines, index ^= 1)
    {
        Batch& batch = batches[index];
        const uint32_t lines = std::min(kBatchLines, count - first);
        batch.ranges.clear();
        Parallel::For(
            lines,
            [&](size_t begin, size_t end)
            {
                char* const start = batch.text.get() + begin * Output::kMaxLine;
                char* p = start;
                for (size_t k = begin; k < end; ++k)
                    p = line(p, first + static_cast<uint32_t>(k));
                std::lock_guard<std::mutex> lock(rangesMutex);
                batch.ranges.emplace_back(begin, static_cast<size_t>(p - start));
            },
            kMinLinesPerThread);
        std::sort(batch.ranges.begin(), batch.ranges.end());
        if (writing.valid()) writing.get(); // frees the other batch for the next round
        writing = Parallel::RunBeside(
            [&out, &batch]
            {
                for (const auto& [begin, bytes] : batch.ranges)
                    out.Write(batch.text.get() + begin * Output::kMaxLine, bytes);
            });
        if (!progress.Advance(lines)) break;
    }
    writing.get();
}

uint32_t WriteMesh(const ObjMeshView& mesh, Output& out, LineProgress& progress)
{
    progress.total = std::max(1.0, 3.0 * mesh.vertexCount + mesh.indexCount / 3);
    out.Append("# OBJ file created by or for Velmoran:\n");
    char size[32];
    char* s = size;
    *s++ = ' ';
    s = ObjWriter::FormatUnsigned(s, mesh.width);
    *s++ = ' ';
    s = ObjWriter::FormatUnsigned(s, mesh.height);
    HeaderLine(out, mesh.name, std::string_view(size, static_cast<size_t>(s - size)));

    const uint32_t n = mesh.vertexCount;
    HeaderLine(out, mesh.name, " vertices:");
    WriteLines(out, n, progress,
               [&](char* p, uint32_t k)
               {
                   *p++ = 'v';
                   return Floats(p, mesh.positions + size_t(k) * 3, 3);
               });

    HeaderLine(out, mesh.name, " texture coords:");
    WriteLines(out, n, progress,
               [&](char* p, uint32_t k)
               {
                   *p++ = 'v';
                   *p++ = 't';
                   return Floats(p, mesh.texCoords + size_t(k) * 2, 2);
               });

    // The table decides each vertex's number once, in vertex order; the faces then read it per
    // vertex instead of hashing every corner again (five bytes a vertex, six times fewer lookups).
    HeaderLine(out, mesh.name, " vertex normals:");
    std::unique_ptr<uint32_t[]> normalNumber(new uint32_t[n]); // every element written by NumberNormals
    const uint32_t normalLines = NumberNormals(mesh.normals, n, normalNumber.get());
    WriteLines(out, n, progress,
               [&](char* p, uint32_t k)
               {
                   if ((normalNumber[k] & kFirstUse) == 0) return p;
                   *p++ = 'v';
                   *p++ = 'n';
                   return Floats(p, mesh.normals + size_t(k) * 3, 3);
               });

    HeaderLine(out, mesh.name, " faces:");
    WriteLines(out, mesh.indexCount / 3, progress,
               [&](char* p, uint32_t t)
               {
                   *p++ = 'f';
                   for (int c = 0; c < 3; ++c)
                   {
                       const uint32_t k = mesh.indices[size_t(t) * 3 + c];
                       *p++ = ' ';
                       // A caller's index beyond the vertices cannot name a normal; it writes 0 instead of
                       // reading past the table (such a file is refused on loading).
                       char* number = p;
                       p = k < n ? ObjWriter::FormatUnsigned(p, k + 1)
                                 : std::to_chars(p, p + 10, uint64_t(k) + 1).ptr;
                       const size_t length = static_cast<size_t>(p - number);
                       *p++ = '/';
                       std::memcpy(p, number, length);
                       p += length;
                       *p++ = '/';
                       p = ObjWriter::FormatUnsigned(p, k < n ? normalNumber[k] & ~kFirstUse : 0u);
                   }
                   *p++ = '\n';
                   return p;
               });
    return normalLines;
}

bool WriteToFileSink(void* context, const char* data, size_t size)
{
    return std::fwrite(data, 1, size, static_cast<std::FILE*>(context)) == size;
}

bool StringSink(void* context, const char* data, size_t size)
{
    static_cast<std::string*>(context)->append(data, size);
    return true;
}
} // namespace

bool ObjWriter::WriteFile(const std::string& path, const ObjMeshView& mesh, ObjWriteStats* stats,
                          std::string* error, const std::function<bool(float)>& progress)
{
    // Text mode: a platform whose text files end lines with CR LF writes them that way.
    AtomicFile file(path);
    if (!file.Open("w"))
    {
        Log::Error("{} cannot open file {}", "SaveAsObj", path);
        Log::Error("{}: {}", path, file.Error());
        if (error) *error = file.Error();
        return false;
    }
    Output out(WriteToFileSink, file.File());
    LineProgress lines;
    lines.callback = &progress;
    const uint32_t normalLines = WriteMesh(mesh, out, lines);
    if (lines.stopped)
    {
        file.Abandon();
        Log::Info("Saving {} was cancelled.", path);
        if (error) *error = "cancelled";
        return false;
    }
    const bool written = out.Flush();
    const int code = errno;
    if (!written) file.Abandon();
    const bool ok = written && file.Commit();
    if (!ok)
    {
        const std::string reason =
            written ? file.Error() : (code != 0 ? std::strerror(code) : "writing failed");
        Log::Error("{} could not write file {} completely: {}", "SaveAsObj", path, reason);
        if (error) *error = reason;
    }
    if (stats)
    {
        stats->bytes = out.Total();
        stats->normalLines = normalLines;
    }
    return ok;
}

bool ObjWriter::MakeView(std::string_view name, uint32_t width, uint32_t height, uint32_t vertexCount,
                         const std::vector<float>& positions, const std::vector<float>& texCoords,
                         const std::vector<float>& normals, uint32_t indexCount,
                         const std::vector<uint32_t>& indices, ObjMeshView& view)
{
    const size_t n = vertexCount;
    if (positions.size() < n * 3 || texCoords.size() < n * 2 || normals.size() < n * 3 ||
        indices.size() < indexCount)
        return false;
    view.name = name;
    view.width = width;
    view.height = height;
    view.vertexCount = vertexCount;
    view.positions = positions.data();
    view.texCoords = texCoords.data();
    view.normals = normals.data();
    view.indexCount = indexCount;
    view.indices = indices.data();
    return true;
}

std::string ObjWriter::WriteString(const ObjMeshView& mesh)
{
    std::string text;
    Output out(StringSink, &text);
    LineProgress progress;
    WriteMesh(mesh, out, progress);
    out.Flush();
    return text;
}
