#include "io/HeightImage.h"

// Sections: ranges and quantisation; the JSON file; writing the three formats; reading them.

#include "engine/Log.h"
#include "io/FileBytes.h"
#include "io/ImageLayout.h"
#include "io/Png.h"

#include <nlohmann/json.hpp>
#include <tinyexr.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace
{
constexpr double kMax16 = 65535.0;

bool HostIsLittleEndian()
{
    const uint16_t probe = 1;
    uint8_t first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

std::string ImageFileName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LowerExtension(const std::string& path)
{
    const std::string name = ImageFileName(path);
    const size_t dot = name.find_last_of('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

const char* FormatName(HeightImage::Format format)
{
    switch (format)
    {
    case HeightImage::Format::Png16:
        return "png16";
    case HeightImage::Format::R16:
        return "r16";
    case HeightImage::Format::Exr:
        return "exr";
    }
    return "";
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Ranges and quantisation

std::string HeightImage::SidecarPath(const std::string& path)
{
    return path + ".json";
}

void HeightImage::FiniteRange(const HeightView& heights, float& lowest, float& highest)
{
    lowest = std::numeric_limits<float>::max();
    highest = std::numeric_limits<float>::lowest();
    const size_t count = heights.Count();
    for (size_t k = 0; k < count; ++k)
    {
        const float h = heights[k];
        if (std::isfinite(h))
        {
            lowest = h < lowest ? h : lowest;
            highest = h > highest ? h : highest;
        }
    }
    if (lowest > highest) lowest = highest = 0.0f;
}

std::vector<uint16_t> HeightImage::Quantize16(const HeightView& heights, float lowest, float highest,
                                              bool littleEndian)
{
    const size_t W = heights.width, H = heights.height;
    std::vector<uint16_t> values(W * H, 0);
    const double range = static_cast<double>(highest) - static_cast<double>(lowest);
    if (!(range > 0.0 && std::isfinite(range))) return values;
    const double scale = kMax16 / range;
    const double low = lowest;
    const bool swap = littleEndian && !HostIsLittleEndian();
    // Whole image rows per thread: row j of the image is the column j of the grid.
    Parallel::For(
        H,
        [&](size_t begin, size_t end)
        {
            for (size_t j = begin; j < end; ++j)
                for (size_t i = 0; i < W; ++i)
                {
                    const double v = (static_cast<double>(heights[i * H + j]) - low) * scale;
                    // NaN fails both tests and becomes 0.
                    uint16_t q = v >= kMax16 ? uint16_t(65535)
                                 : v > 0.0   ? static_cast<uint16_t>(v + 0.5)
                                             : uint16_t(0);
                    if (swap) q = static_cast<uint16_t>((q >> 8) | (q << 8));
                    values[j * W + i] = q;
                }
        },
        64);
    return values;
}

// ---------------------------------------------------------------------------------------------
// The JSON file

namespace
{
std::string SidecarText(const std::string& path, HeightImage::Format format, const HeightView& grid,
                        float lowest, float highest)
{
    nlohmann::ordered_json json;
    json["file"] = ImageFileName(path);
    json["format"] = FormatName(format);
    json["width"] = grid.width;
    json["height"] = grid.height;
    json["vertexDistance"] = grid.vertexDistance;
    // A resampled rectangle spans its extent on both axes with slightly different spacings.
    if (grid.vertexDistanceZ != 0.0f && grid.vertexDistanceZ != grid.vertexDistance)
        json["vertexDistanceZ"] = grid.vertexDistanceZ;
    json["minHeight"] = lowest;
    json["maxHeight"] = highest;
    json["columns"] = "+x";
    json["rows"] = "+z, first row at the lowest z";
    json["heights"] = format == HeightImage::Format::Exr
                          ? "the float values are the heights"
                          : "height = minHeight + value / 65535 * (maxHeight - minHeight)";
    return json.dump(2) + "\n";
}

struct Sidecar
{
    uint32_t width = 0;
    uint32_t height = 0;
    float vertexDistance = 1.0f;
    float minHeight = 0.0f;
    float maxHeight = 0.0f;
};

// False with the reason when the file cannot be read or lacks a value.
bool ReadSidecar(const std::string& path, Sidecar& out, std::string& reason)
{
    const std::string name = ImageFileName(path);
    std::vector<uint8_t> bytes;
    if (!FileBytes::Read(path, 1 << 20, bytes, &reason))
    {
        reason = "its JSON file " + name + " cannot be read: " + reason;
        return false;
    }
    const nlohmann::json json = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object())
    {
        reason = "its JSON file " + name + " is not valid JSON";
        return false;
    }
    auto number = [&](const char* key, double& value)
    {
        const auto it = json.find(key);
        if (it == json.end() || !it->is_number() || !std::isfinite(it->get<double>()))
        {
            reason = "its JSON file " + name + " lacks a number \"" + key + "\"";
            return false;
        }
        value = it->get<double>();
        return true;
    };
    double width = 0, height = 0, distance = 0, lowest = 0, highest = 0;
    if (!number("width", width) || !number("height", height) || !number("vertexDistance", distance) ||
        !number("minHeight", lowest) || !number("maxHeight", highest))
        return false;
    if (width < 1 || height < 1 || width > 1e6 || height > 1e6 || width != std::floor(width) ||
        height != std::floor(height))
    {
        reason = "its JSON file " + name + " gives an impossible size";
        return false;
    }
    if (!(distance > 0.0) || highest < lowest || !std::isfinite(static_cast<float>(distance)) ||
        !std::isfinite(static_cast<float>(lowest)) || !std::isfinite(static_cast<float>(highest)))
    {
        reason = "its JSON file " + name + " gives an impossible vertex distance or height range";
        return false;
    }
    out.width = static_cast<uint32_t>(width);
    out.height = static_cast<uint32_t>(height);
    out.vertexDistance = static_cast<float>(distance);
    out.minHeight = static_cast<float>(lowest);
    out.maxHeight = static_cast<float>(highest);
    return true;
}
} // namespace

bool HeightImage::HasSidecar(const std::string& path)
{
    uint64_t size = 0;
    return FileBytes::Size(SidecarPath(path), size, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace
{
bool EncodeExr(const HeightView& grid, std::vector<uint8_t>& out, std::string& reason)
{
    const size_t W = grid.width, H = grid.height;
    std::vector<float> image(W * H);
    Parallel::For(
        H,
        [&](size_t begin, size_t end)
        {
            for (size_t j = begin; j < end; ++j)
                for (size_t i = 0; i < W; ++i)
                    image[j * W + i] = grid[i * H + j];
        },
        64);

    EXRHeader header;
    InitEXRHeader(&header);
    EXRChannelInfo channel{};
    std::strcpy(channel.name, "Y"); // one luminance channel: viewers show it as a grey image
    int pixelType = TINYEXR_PIXELTYPE_FLOAT;
    header.num_channels = 1;
    header.channels = &channel;
    header.pixel_types = &pixelType;
    header.requested_pixel_types = &pixelType;
    header.compression_type = TINYEXR_COMPRESSIONTYPE_ZIP;

    EXRImage exr;
    InitEXRImage(&exr);
    unsigned char* planes[1] = {reinterpret_cast<unsigned char*>(image.data())};
    exr.images = planes;
    exr.num_channels = 1;
    exr.width = static_cast<int>(grid.width);
    exr.height = static_cast<int>(grid.height);

    unsigned char* memory = nullptr;
    const char* message = nullptr;
    const size_t size = SaveEXRImageToMemory(&exr, &header, &memory, &message);
    if (size == 0)
    {
        reason = std::string("EXR encoding failed: ") + (message != nullptr ? message : "unknown reason");
        if (message != nullptr) FreeEXRErrorMessage(message);
        return false;
    }
    out.assign(memory, memory + size);
    std::free(memory);
    return true;
}
} // namespace

bool HeightImage::Write(const std::string& path, Format format, const HeightView& heights, std::string* error)
{
    float lowest = 0.0f, highest = 0.0f;
    FiniteRange(heights, lowest, highest);
    return WriteInRange(path, format, heights, lowest, highest, error);
}

bool HeightImage::WriteInRange(const std::string& path, Format format, const HeightView& heights,
                               float lowest, float highest, std::string* error)
{
    const size_t count = heights.Count();
    if (count == 0 || heights.values == nullptr)
    {
        if (error != nullptr) *error = FileBytes::WriteFailure(path, "the terrain has no heights");
        return false;
    }

    std::string reason;
    bool ok = true;
    switch (format)
    {
    case Format::Png16:
    {
        const std::vector<uint16_t> values = Quantize16(heights, lowest, highest);
        std::vector<uint8_t> png;
        ok = Png::Encode(values.data(), heights.width, heights.height, 1, 16, png, &reason) &&
             FileBytes::Write(path, png, error);
        break;
    }
    case Format::R16:
    {
        const std::vector<uint16_t> values = Quantize16(heights, lowest, highest, true);
        ok = FileBytes::Write(path, values.data(), 2 * count, error);
        break;
    }
    case Format::Exr:
    {
        std::vector<uint8_t> exr;
        ok = EncodeExr(heights, exr, reason) && FileBytes::Write(path, exr, error);
        break;
    }
    }
    if (!ok)
    {
        if (!reason.empty() && error != nullptr) *error = FileBytes::WriteFailure(path, reason);
        return false;
    }
    return FileBytes::Write(SidecarPath(path), SidecarText(path, format, heights, lowest, highest), error);
}

// ---------------------------------------------------------------------------------------------
// Reading

namespace
{
// Sample values of a file before they become heights.
struct Samples
{
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<float> values; // image order
    double maxValue = 0.0;     // 2^bits - 1 of an integer format; 0 for floats
};

std::string SideRangeText(uint32_t maxSide)
{
    return "sides from 2 to " + std::to_string(maxSide) + " are accepted";
}

bool ReadPng(const std::string& path, uint32_t maxSide, Samples& out, std::string& reason)
{
    // A 16-bit PNG is never much larger than its pixels.
    const uint64_t limit = 4 * uint64_t{maxSide} * maxSide + (1 << 20);
    std::vector<uint8_t> bytes;
    if (!FileBytes::Read(path, limit, bytes, &reason)) return false;
    Png::GreyImage image;
    if (!Png::DecodeGrey(bytes.data(), bytes.size(), maxSide, image, &reason)) return false;
    out.width = image.width;
    out.height = image.height;
    out.maxValue = image.bitDepth == 16 ? 65535.0 : 255.0;
    out.values.assign(image.samples.begin(), image.samples.end());
    return true;
}

bool ReadR16(const std::string& path, uint32_t maxSide, const Sidecar* sidecar, Samples& out,
             std::string& reason)
{
    uint64_t size = 0;
    if (!FileBytes::Size(path, size, &reason)) return false;
    uint64_t width = 0, height = 0;
    if (sidecar != nullptr)
    {
        width = sidecar->width;
        height = sidecar->height;
        if (size != width * height * 2)
        {
            reason = "it has " + std::to_string(size) + " bytes, but its JSON file gives " +
                     std::to_string(width) + " x " + std::to_string(height) + " samples (" +
                     std::to_string(width * height * 2) + " bytes)";
            return false;
        }
    }
    else
    {
        if (size == 0)
        {
            reason = "the file is empty";
            return false;
        }
        if (size % 2 != 0)
        {
            reason = "it has an odd number of bytes (" + std::to_string(size) +
                     "), so its last 16-bit sample is cut off";
            return false;
        }
        const uint64_t samples = size / 2;
        uint64_t side = static_cast<uint64_t>(std::llround(std::sqrt(static_cast<double>(samples))));
        while (side * side > samples)
            --side;
        while ((side + 1) * (side + 1) <= samples)
            ++side;
        if (side * side != samples)
        {
            reason = "its " + std::to_string(samples) +
                     " samples do not make a square (a .r16 file without a JSON file must be square)";
            return false;
        }
        width = height = side;
    }
    if (width < 2 || height < 2 || width > maxSide || height > maxSide)
    {
        reason =
            "it is " + std::to_string(width) + " x " + std::to_string(height) + "; " + SideRangeText(maxSide);
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!FileBytes::Read(path, size, bytes, &reason)) return false;
    out.width = static_cast<uint32_t>(width);
    out.height = static_cast<uint32_t>(height);
    out.maxValue = 65535.0;
    out.values.resize(static_cast<size_t>(width * height));
    for (size_t k = 0; k < out.values.size(); ++k)
        out.values[k] = static_cast<float>(bytes[2 * k] | (bytes[2 * k + 1] << 8));
    return true;
}

bool ReadExr(const std::string& path, uint32_t maxSide, Samples& out, std::string& reason)
{
    const uint64_t limit = 8 * uint64_t{maxSide} * maxSide + (1 << 20);
    std::vector<uint8_t> bytes;
    if (!FileBytes::Read(path, limit, bytes, &reason)) return false;

    EXRVersion version{};
    if (ParseEXRVersionFromMemory(&version, bytes.data(), bytes.size()) != TINYEXR_SUCCESS)
    {
        reason = "not a readable OpenEXR file";
        return false;
    }
    if (version.multipart || version.non_image || version.tiled)
    {
        reason = "multi-part, deep and tiled OpenEXR files are not read; save it as a single scan-line image";
        return false;
    }
    EXRHeader header;
    InitEXRHeader(&header);
    const char* message = nullptr;
    auto failWith = [&](const std::string& what)
    {
        reason = what + (message != nullptr ? std::string(" (") + message + ")" : std::string());
        if (message != nullptr) FreeEXRErrorMessage(message);
        return false;
    };
    if (ParseEXRHeaderFromMemory(&header, &version, bytes.data(), bytes.size(), &message) != TINYEXR_SUCCESS)
        return failWith("not a readable OpenEXR file");
    std::unique_ptr<EXRHeader, int (*)(EXRHeader*)> headerGuard(&header, &FreeEXRHeader);

    if (header.num_channels != 1)
        return failWith("it has " + std::to_string(header.num_channels) +
                        " channels; a heightmap EXR has one float channel");
    if (header.pixel_types[0] == TINYEXR_PIXELTYPE_UINT)
        return failWith("its channel holds integers; a heightmap EXR holds 16- or 32-bit floats");
    const int64_t width = int64_t{header.data_window.max_x} - header.data_window.min_x + 1;
    const int64_t height = int64_t{header.data_window.max_y} - header.data_window.min_y + 1;
    if (width < 2 || height < 2 || width > maxSide || height > maxSide)
        return failWith("it is " + std::to_string(width) + " x " + std::to_string(height) + "; " +
                        SideRangeText(maxSide));
    header.requested_pixel_types[0] = TINYEXR_PIXELTYPE_FLOAT; // half floats widen exactly

    EXRImage image;
    InitEXRImage(&image);
    // A failed load frees the image itself, but only as many channel planes as num_channels says,
    // which the loader sets last: set beforehand, a damaged file leaks nothing.
    image.num_channels = header.num_channels;
    if (LoadEXRImageFromMemory(&image, &header, bytes.data(), bytes.size(), &message) != TINYEXR_SUCCESS)
        return failWith("the file is truncated or damaged");
    std::unique_ptr<EXRImage, int (*)(EXRImage*)> imageGuard(&image, &FreeEXRImage);
    if (image.images == nullptr || image.width != width || image.height != height)
        return failWith("the file is truncated or damaged");

    const float* values = reinterpret_cast<const float*>(image.images[0]);
    const size_t count = static_cast<size_t>(width * height);
    for (size_t k = 0; k < count; ++k)
        if (!std::isfinite(values[k]))
            return failWith("it holds a value that is not a finite number at pixel " +
                            std::to_string(k % static_cast<size_t>(width)) + ", " +
                            std::to_string(k / static_cast<size_t>(width)));
    out.width = static_cast<uint32_t>(width);
    out.height = static_cast<uint32_t>(height);
    out.maxValue = 0.0;
    out.values.assign(values, values + count);
    return true;
}
} // namespace

bool HeightImage::Read(const std::string& path, const ImportOptions& options, HeightGrid& out,
                       std::string* error, const std::function<bool(float)>& progress)
{
    std::string reason;
    const auto fail = [&](const std::string& why)
    {
        const std::string message = "Cannot import heightmap " + path + ": " + why;
        Log::Error("{}", message);
        if (error != nullptr) *error = message;
        return false;
    };

    Sidecar sidecar;
    const bool withSidecar = options.useSidecar && HasSidecar(path);
    if (withSidecar && !ReadSidecar(SidecarPath(path), sidecar, reason)) return fail(reason);
    if (!withSidecar && !(options.vertexDistance > 0.0f && std::isfinite(options.vertexDistance)))
        return fail("the vertex distance must be above 0");
    if (!withSidecar && !std::isfinite(options.heightScale))
        return fail("the height scale must be a finite number");

    const std::string extension = LowerExtension(path);
    Samples samples;
    bool read = false;
    if (extension == ".png")
        read = ReadPng(path, options.maxSide, samples, reason);
    else if (extension == ".r16")
        read = ReadR16(path, options.maxSide, withSidecar ? &sidecar : nullptr, samples, reason);
    else if (extension == ".exr")
        read = ReadExr(path, options.maxSide, samples, reason);
    else
        reason = "unknown format \"" + extension + "\"; heightmaps are read from .png, .r16 and .exr files";
    if (!read) return fail(reason);
    if (withSidecar && (sidecar.width != samples.width || sidecar.height != samples.height))
        return fail("it is " + std::to_string(samples.width) + " x " + std::to_string(samples.height) +
                    ", but its JSON file gives " + std::to_string(sidecar.width) + " x " +
                    std::to_string(sidecar.height));
    if (progress && !progress(0.5f)) return fail("cancelled");

    // Values to heights, still in image order.
    double offset = 0.0;
    double scale = options.heightScale;
    if (withSidecar)
    {
        const bool integer = samples.maxValue > 0.0;
        offset = integer ? sidecar.minHeight : 0.0;
        scale =
            integer ? (static_cast<double>(sidecar.maxHeight) - sidecar.minHeight) / samples.maxValue : 1.0;
    }
    else if (samples.maxValue > 0.0)
        scale /= samples.maxValue;
    for (float& v : samples.values)
        v = static_cast<float>(offset + static_cast<double>(v) * scale);

    HeightGrid grid;
    grid.vertexDistance = withSidecar ? sidecar.vertexDistance : options.vertexDistance;
    if (options.editorLayout)
    {
        // Vertex (i, j) is column j of row i counted from the bottom.
        grid.width = samples.height;
        grid.height = samples.width;
        grid.heights.resize(samples.values.size());
        for (size_t i = 0; i < grid.width; ++i)
            std::copy_n(samples.values.data() + (grid.width - 1 - i) * grid.height, grid.height,
                        grid.heights.data() + i * grid.height);
    }
    else
    {
        grid.width = samples.width;
        grid.height = samples.height;
        grid.heights.resize(samples.values.size());
        ImageLayout::ImageToGrid(samples.values.data(), grid.width, grid.height, 1, grid.heights.data());
    }
    if (progress && !progress(1.0f)) return fail("cancelled");
    out = std::move(grid);
    return true;
}

bool HeightImage::ReadSquare(const std::string& path, const ImportOptions& options, HeightGrid& out,
                             std::string* error, const std::function<bool(float)>& progress)
{
    HeightGrid read;
    if (!Read(path, options, read, error, progress)) return false;
    if (read.width != read.height)
    {
        const std::string message = "Cannot import heightmap " + path + ": it is " +
                                    std::to_string(read.width) + " x " + std::to_string(read.height) +
                                    "; terrains are square (the program does not support rectangular "
                                    "texturing at the moment)";
        Log::Error("{}", message);
        if (error != nullptr) *error = message;
        return false;
    }
    out = std::move(read);
    return true;
}
