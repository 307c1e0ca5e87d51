#pragma once
#include <cstdint>
#include <memory>
#include <string>

// An 8-bit image of 1 to 4 channels, kept both as a CPU pixel buffer and as a GL texture.
// The buffer is row-major and tightly packed; texel (x, y) starts at byte (y * width + x) * channels,
// and row 0 is the bottom row of an image file (files are flipped on reading and on writing).
class Texture
{
  public:
    // Empty texture: a zero-filled buffer of width * height * channels bytes, uploaded at once.
    Texture(uint32_t width, uint32_t height, uint32_t channels, bool mipmaps, uint32_t filter);
    // Takes the buffer over without copying it; a null buffer makes no GL texture (id stays 0).
    Texture(uint32_t width, uint32_t height, uint32_t channels, std::unique_ptr<uint8_t[]> data, bool mipmaps,
            uint32_t filter);
    // Reads an image file; a file that cannot be read gives the 4x4 pink and white checkerboard.
    explicit Texture(const std::string& path);
    // As the two constructors above (a null buffer: the zero-filled one, logged as empty), but the
    // GL texture only gets its storage: UploadRows sends the pixels a band of rows at a time, so that
    // a large image reaches GL over several frames. Without mipmaps; not drawn until every row is sent.
    struct Deferred
    {
    };
    Texture(uint32_t width, uint32_t height, uint32_t channels, std::unique_ptr<uint8_t[]> data,
            uint32_t filter, Deferred);
    void UploadRows(uint32_t firstRow, uint32_t rowCount);
    // Sends a rectangle of the buffer again after it changed in place (no mipmaps are made again).
    void UploadRegion(uint32_t x, uint32_t y, uint32_t regionWidth, uint32_t regionHeight);
    virtual ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    void LoadTexture();
    // Takes over a new buffer of the same size and uploads it in full (and its mipmaps, if it has them).
    void Update(std::unique_ptr<uint8_t[]> newData);
    // Uploads the current buffer in full after it was changed in place (and its mipmaps).
    void Update();
    // Accepts GL_NEAREST and GL_LINEAR; any other value is ignored.
    void SetTextureFilter(uint32_t filter);
    // Writes the buffer as .jpg, .png, .tga or .bmp by the extension after the file name's last '.'.
    // Returns false, after logging why, when nothing was written; error, when given, gets the reason.
    bool Save(const std::string& path, std::string* error = nullptr) const;
    void Bind() const;
    void Unbind() const;

    size_t ByteSize() const { return static_cast<size_t>(width) * height * channels; }

    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;
    uint32_t filter = 0;
    bool mipmaps = false;
    std::unique_ptr<uint8_t[]> data; // null for the default checkerboard
    std::string name;                // source path of a texture read from a file
    std::string saveName;            // file name the texture panel offers when saving
    uint32_t id = 0;
    uint32_t revision = 0; // counts the uploads of changed pixels, so the editor notices edits
};
