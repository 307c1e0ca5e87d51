#include "render/Texture.h"

#include "engine/LargeArrays.h"
#include "engine/Log.h"
#include "engine/GLError.h"
#include "io/ImageFile.h"

#include <GL/glew.h>
#include <stb_image.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace
{
struct PixelFormat
{
    GLenum internalFormat;
    GLenum format;
};

// 1- and 2-channel images use the luminance formats of the compatibility context, so that they
// sample as grey (and grey with alpha) without swizzles.
bool FormatForChannels(uint32_t channels, PixelFormat& out)
{
    switch (channels)
    {
    case 1:
        out = {GL_LUMINANCE8, GL_LUMINANCE};
        return true;
    case 2:
        out = {GL_LUMINANCE8_ALPHA8, GL_LUMINANCE_ALPHA};
        return true;
    case 3:
        out = {GL_RGB8, GL_RGB};
        return true;
    case 4:
        out = {GL_RGBA8, GL_RGBA};
        return true;
    default:
        return false;
    }
}

// Sets every unpack parameter an upload depends on and puts the previous values back afterwards.
// Other code (the GUI back end, other textures) must neither disturb our uploads nor inherit our
// row length: a stale row length of 513 on a 3-channel upload would skew every row.
class UnpackState
{
  public:
    UnpackState(GLint alignment, GLint rowLength)
    {
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &savedAlignment);
        glGetIntegerv(GL_UNPACK_ROW_LENGTH, &savedRowLength);
        glGetIntegerv(GL_UNPACK_SKIP_ROWS, &savedSkipRows);
        glGetIntegerv(GL_UNPACK_SKIP_PIXELS, &savedSkipPixels);
        glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &savedUnpackBuffer);
        glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0); // the data pointer is client memory
    }
    ~UnpackState()
    {
        glPixelStorei(GL_UNPACK_ALIGNMENT, savedAlignment);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, savedRowLength);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, savedSkipRows);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, savedSkipPixels);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(savedUnpackBuffer));
    }
    UnpackState(const UnpackState&) = delete;
    UnpackState& operator=(const UnpackState&) = delete;

  private:
    GLint savedAlignment = 4;
    GLint savedRowLength = 0;
    GLint savedSkipRows = 0;
    GLint savedSkipPixels = 0;
    GLint savedUnpackBuffer = 0;
};

GLint AlignmentForChannels(uint32_t channels)
{
    return channels == 4 ? 4 : 1;
}

} // namespace

Texture::Texture(uint32_t w, uint32_t h, uint32_t c, bool useMipmaps, uint32_t textureFilter)
    : width(w), height(h), channels(c), filter(textureFilter), mipmaps(useMipmaps)
{
    // Zeroed after the huge-page advice, so that a large buffer's pages are cleared in 2 MB steps.
    data.reset(new (std::nothrow) uint8_t[ByteSize()]);
    if (!data)
    {
        Log::Error("Cannot initialize data buffer for texture: {} {} {}", width, height, channels);
        return;
    }
    LargeArrays::AdviseHugePages(data.get(), ByteSize());
    std::memset(data.get(), 0, ByteSize());
    LoadTexture();
    Log::Trace("Empty texture {} created: {} x {}, {} channels", id, width, height, channels);
}

Texture::Texture(uint32_t w, uint32_t h, uint32_t c, std::unique_ptr<uint8_t[]> buffer, bool useMipmaps,
                 uint32_t textureFilter)
    : width(w), height(h), channels(c), filter(textureFilter), mipmaps(useMipmaps), data(std::move(buffer))
{
    if (!data)
    {
        Log::Error("Cannot initialize data buffer for texture: {} {} {} - empty data buffer", width, height,
                   channels);
        return;
    }
    LoadTexture();
    Log::Trace("Texture {} created from data buffer: {} x {}, {} channels", id, width, height, channels);
}

Texture::Texture(const std::string& path) : filter(GL_LINEAR), mipmaps(false), name(path)
{
    stbi_set_flip_vertically_on_load(1);
    int w = 0, h = 0, c = 0;
    stbi_uc* pixels = stbi_load(path.c_str(), &w, &h, &c, 0);
    if (pixels != nullptr)
    {
        width = static_cast<uint32_t>(w);
        height = static_cast<uint32_t>(h);
        channels = static_cast<uint32_t>(c);
        // stb_image allocates with malloc; our buffers are delete[]-owned, so copy once here.
        data.reset(new (std::nothrow) uint8_t[ByteSize()]);
        if (data) std::memcpy(data.get(), pixels, ByteSize());
        stbi_image_free(pixels);
    }
    if (data)
        Log::Trace("Loading texture {}: {} x {}, {} channels", name, width, height, channels);
    else
        Log::Error("Cannot load texture with path: {} (wrong format or doesn't exist?)", path);
    LoadTexture();
}

Texture::Texture(uint32_t w, uint32_t h, uint32_t c, std::unique_ptr<uint8_t[]> buffer,
                 uint32_t textureFilter, Deferred)
    : width(w), height(h), channels(c), filter(textureFilter), mipmaps(false), data(std::move(buffer))
{
    const bool empty = !data;
    if (empty)
    {
        data.reset(new (std::nothrow) uint8_t[ByteSize()]);
        if (!data)
        {
            Log::Error("Cannot initialize data buffer for texture: {} {} {}", width, height, channels);
            return;
        }
        LargeArrays::AdviseHugePages(data.get(), ByteSize());
        std::memset(data.get(), 0, ByteSize());
    }
    PixelFormat format{};
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    if (!FormatForChannels(channels, format))
    {
        Log::Error("{} not loaded: {} is an unsupported number of channels.", "LoadTexture", channels);
    }
    else
    {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        SetTextureFilter(filter);
        Bind();
        UnpackState unpack(AlignmentForChannels(channels), static_cast<GLint>(width));
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format.internalFormat), static_cast<GLsizei>(width),
                     static_cast<GLsizei>(height), 0, format.format, GL_UNSIGNED_BYTE, nullptr);
        CheckGLError("Texture::LoadTexture", __LINE__);
        Log::Trace("Texture {} loaded: {} x {}, {} channels", name, width, height, channels);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    if (empty)
        Log::Trace("Empty texture {} created: {} x {}, {} channels", id, width, height, channels);
    else
        Log::Trace("Texture {} created from data buffer: {} x {}, {} channels", id, width, height, channels);
}

void Texture::UploadRows(uint32_t firstRow, uint32_t rowCount)
{
    PixelFormat format{};
    if (!data || id == 0 || firstRow >= height || !FormatForChannels(channels, format)) return;
    rowCount = std::min(rowCount, height - firstRow);
    Bind();
    {
        UnpackState unpack(AlignmentForChannels(channels), static_cast<GLint>(width));
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, static_cast<GLint>(firstRow), static_cast<GLsizei>(width),
                        static_cast<GLsizei>(rowCount), format.format, GL_UNSIGNED_BYTE,
                        data.get() + size_t{firstRow} * width * channels);
        CheckGLError("Texture::UploadRows", __LINE__);
    }
    Unbind();
}

void Texture::UploadRegion(uint32_t x, uint32_t y, uint32_t regionWidth, uint32_t regionHeight)
{
    PixelFormat format{};
    if (!data || id == 0 || x >= width || y >= height || !FormatForChannels(channels, format)) return;
    regionWidth = std::min(regionWidth, width - x);
    regionHeight = std::min(regionHeight, height - y);
    ++revision;
    Bind();
    {
        UnpackState unpack(AlignmentForChannels(channels), static_cast<GLint>(width));
        glTexSubImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(x), static_cast<GLint>(y),
                        static_cast<GLsizei>(regionWidth), static_cast<GLsizei>(regionHeight), format.format,
                        GL_UNSIGNED_BYTE, data.get() + (size_t{y} * width + x) * channels);
        CheckGLError("Texture::UploadRegion", __LINE__);
    }
    Unbind();
}

Texture::~Texture()
{
    Log::Trace("Deleting texture {}", id);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (id != 0) glDeleteTextures(1, &id);
}

void Texture::LoadTexture()
{
    if (id != 0) // loading again replaces the GL texture instead of leaking it
        glDeleteTextures(1, &id);
    glGenTextures(1, &id);
    CheckGLError("Texture::LoadTexture", __LINE__);
    glBindTexture(GL_TEXTURE_2D, id);
    CheckGLError("Texture::LoadTexture", __LINE__);

    if (data)
    {
        PixelFormat format{};
        if (!FormatForChannels(channels, format))
        {
            Log::Error("{} not loaded: {} is an unsupported number of channels.", "LoadTexture", channels);
        }
        else
        {
            UnpackState unpack(AlignmentForChannels(channels), static_cast<GLint>(width));
            CheckGLError("Texture::LoadTexture", __LINE__);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            SetTextureFilter(filter);
            Bind();
            glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format.internalFormat),
                         static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, format.format,
                         GL_UNSIGNED_BYTE, data.get());
            CheckGLError("Texture::LoadTexture", __LINE__);
            if (mipmaps)
            {
                glGenerateMipmap(GL_TEXTURE_2D);
                CheckGLError("Texture::LoadTexture", __LINE__);
            }
            Log::Trace("Texture {} loaded: {} x {}, {} channels", name, width, height, channels);
        }
    }
    else
    {
        width = 4;
        height = 4;
        channels = 3;
        mipmaps = false;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        UnpackState unpack(1, 4);
        SetTextureFilter(GL_NEAREST);
        Bind();
        float checkerboard[4 * 4 * 3];
        for (int texel = 0; texel < 16; ++texel)
        {
            const bool pink = ((texel / 4) + (texel % 4)) % 2 == 0;
            checkerboard[texel * 3 + 0] = 1.0f;
            checkerboard[texel * 3 + 1] = pink ? 0.0f : 1.0f;
            checkerboard[texel * 3 + 2] = pink ? 0.5f : 1.0f;
        }
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 4, 4, 0, GL_RGB, GL_FLOAT, checkerboard);
        Log::Warn("Texture {} not loaded: switched to default texture", name);
    }

    glBindTexture(GL_TEXTURE_2D, 0);
    CheckGLError("Texture::LoadTexture", __LINE__);
}

void Texture::Update(std::unique_ptr<uint8_t[]> newData)
{
    if (!newData)
    {
        Log::Error("Texture {} not updated: empty data buffer", id);
        return;
    }
    data = std::move(newData);
    Update();
}

void Texture::Update()
{
    if (!data)
    {
        Log::Error("Texture {} not updated: it has no pixel buffer", id);
        return;
    }
    ++revision;
    if (id == 0) // made from a null buffer: there is no GL texture to update yet
    {
        LoadTexture();
        return;
    }

    Bind();
    PixelFormat format{};
    if (!FormatForChannels(channels, format))
    {
        Log::Error("{} not loaded: {} is an unsupported number of channels.", "Update", channels);
    }
    else
    {
        UnpackState unpack(AlignmentForChannels(channels), static_cast<GLint>(width));
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height),
                        format.format, GL_UNSIGNED_BYTE, data.get());
        CheckGLError("Texture::Update", __LINE__);
        // The smaller levels still hold the old image (zeros for a texture created empty), and they
        // are what a thumbnail or a distant terrain samples.
        if (mipmaps)
        {
            glGenerateMipmap(GL_TEXTURE_2D);
            CheckGLError("Texture::Update", __LINE__);
        }
    }
    Unbind();
}

void Texture::SetTextureFilter(uint32_t newFilter)
{
    if (newFilter != GL_NEAREST && newFilter != GL_LINEAR) return;
    filter = newFilter;
    if (id == 0) return; // no GL texture yet; the filter applies when one is made
    glBindTexture(GL_TEXTURE_2D, id);
    CheckGLError("Texture::SetTextureFilter", __LINE__);
    GLint minFilter = static_cast<GLint>(filter);
    if (mipmaps) minFilter = filter == GL_LINEAR ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
    CheckGLError("Texture::SetTextureFilter", __LINE__);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(filter));
    CheckGLError("Texture::SetTextureFilter", __LINE__);
    glBindTexture(GL_TEXTURE_2D, 0);
    CheckGLError("Texture::SetTextureFilter", __LINE__);
}

bool Texture::Save(const std::string& path, std::string* error) const
{
    const auto fail = [error](std::string reason)
    {
        if (error != nullptr) *error = std::move(reason);
        return false;
    };
    if (!data)
    {
        Log::Error("Cannot save texture {}: it has no pixel buffer", path);
        return fail("the texture has no pixels");
    }
    return ImageFile::Save(path, width, height, channels, data.get(), error);
}

void Texture::Bind() const
{
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, id);
    CheckGLError("Texture::Bind", __LINE__);
}

void Texture::Unbind() const
{
    glBindTexture(GL_TEXTURE_2D, 0);
    CheckGLError("Texture::Unbind", __LINE__);
}
