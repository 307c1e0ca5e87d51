#include "io/Png.h"

#include <spng.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{
struct ContextDeleter
{
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using Context = std::unique_ptr<spng_ctx, ContextDeleter>;

bool PngFail(std::string* error, const std::string& reason)
{
    if (error != nullptr) *error = reason;
    return false;
}

const char* ColourTypeName(uint8_t colourType)
{
    switch (colourType)
    {
    case SPNG_COLOR_TYPE_TRUECOLOR:
        return "3 channels (RGB)";
    case SPNG_COLOR_TYPE_INDEXED:
        return "a colour palette";
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA:
        return "2 channels (grey and alpha)";
    case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA:
        return "4 channels (RGBA)";
    default:
        return "an unknown colour type";
    }
}
} // namespace

bool Png::Encode(const void* pixels, uint32_t width, uint32_t height, uint32_t channels, uint32_t bitDepth,
                 std::vector<uint8_t>& out, std::string* error, int level)
{
    static const uint8_t kColourTypes[5] = {0, SPNG_COLOR_TYPE_GRAYSCALE, SPNG_COLOR_TYPE_GRAYSCALE_ALPHA,
                                            SPNG_COLOR_TYPE_TRUECOLOR, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA};
    if (width == 0 || height == 0 || channels < 1 || channels > 4 || (bitDepth != 8 && bitDepth != 16) ||
        (bitDepth == 16 && channels != 1))
        return PngFail(error, "the image has no pixels or an unsupported layout");
    Context context(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!context) return PngFail(error, "out of memory");
    spng_ihdr header{};
    header.width = width;
    header.height = height;
    header.bit_depth = static_cast<uint8_t>(bitDepth);
    header.color_type = kColourTypes[channels];
    spng_set_option(context.get(), SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(context.get(), SPNG_IMG_COMPRESSION_LEVEL, level);
    // Neighbouring rows of a terrain image are alike: Up alone does nearly as well as trying every
    // filter per row, at a fraction of the time.
    spng_set_option(context.get(), SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_UP);
    int code = spng_set_ihdr(context.get(), &header);
    const size_t bytes = static_cast<size_t>(width) * height * channels * (bitDepth / 8);
    if (code == 0) code = spng_encode_image(context.get(), pixels, bytes, SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    if (code != 0) return PngFail(error, std::string("PNG encoding failed: ") + spng_strerror(code));
    size_t length = 0;
    void* buffer = spng_get_png_buffer(context.get(), &length, &code);
    if (buffer == nullptr) return PngFail(error, std::string("PNG encoding failed: ") + spng_strerror(code));
    const uint8_t* begin = static_cast<const uint8_t*>(buffer);
    out.assign(begin, begin + length);
    std::free(buffer);
    return true;
}

bool Png::DecodeGrey(const uint8_t* data, size_t size, uint32_t maxSide, GreyImage& out, std::string* error)
{
    Context context(spng_ctx_new(0));
    if (!context) return PngFail(error, "out of memory");
    spng_set_png_buffer(context.get(), data, size);
    spng_ihdr header{};
    if (const int code = spng_get_ihdr(context.get(), &header); code != 0)
        return PngFail(error, std::string("not a readable PNG file (") + spng_strerror(code) + ")");
    if (header.color_type != SPNG_COLOR_TYPE_GRAYSCALE)
        return PngFail(error, std::string("it has ") + ColourTypeName(header.color_type) +
                                  "; a heightmap has one greyscale channel");
    if (header.bit_depth != 8 && header.bit_depth != 16)
        return PngFail(error, "it has " + std::to_string(header.bit_depth) +
                                  "-bit samples; a heightmap PNG has 8 or 16 bits");
    if (header.width < 2 || header.height < 2 || header.width > maxSide || header.height > maxSide)
        return PngFail(error, "it is " + std::to_string(header.width) + " x " +
                                  std::to_string(header.height) + "; sides from 2 to " +
                                  std::to_string(maxSide) + " are accepted");

    size_t length = 0;
    if (const int code = spng_decoded_image_size(context.get(), SPNG_FMT_PNG, &length); code != 0)
        return PngFail(error, std::string("not a readable PNG file (") + spng_strerror(code) + ")");
    const size_t count = static_cast<size_t>(header.width) * header.height;
    std::vector<uint8_t> raw(length);
    if (const int code = spng_decode_image(context.get(), raw.data(), raw.size(), SPNG_FMT_PNG, 0); code != 0)
        return PngFail(error, std::string("the file is truncated or damaged (") + spng_strerror(code) + ")");

    out.width = header.width;
    out.height = header.height;
    out.bitDepth = header.bit_depth;
    out.samples.resize(count);
    if (header.bit_depth == 8)
        for (size_t k = 0; k < count; ++k)
            out.samples[k] = raw[k];
    else
        for (size_t k = 0; k < count; ++k)
        {
            uint16_t v;
            std::memcpy(&v, raw.data() + 2 * k, 2); // host-endian, as SPNG_FMT_PNG gives it
            out.samples[k] = v;
        }
    return true;
}
