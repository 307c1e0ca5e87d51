#include "render/Texture.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <vector>

using testsupport::LogCapture;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace
{
std::unique_ptr<uint8_t[]> Pattern(uint32_t width, uint32_t height, uint32_t channels, uint8_t seed = 0)
{
    const size_t size = static_cast<size_t>(width) * height * channels;
    auto buffer = std::make_unique<uint8_t[]>(size);
    for (size_t i = 0; i < size; ++i)
        buffer[i] = static_cast<uint8_t>((i * 7 + seed) % 251);
    return buffer;
}

std::vector<uint8_t> Bytes(const Texture& texture)
{
    return std::vector<uint8_t>(texture.data.get(), texture.data.get() + texture.ByteSize());
}

// What GL holds for a level, read back tightly packed in the texture's own pixel format.
std::vector<uint8_t> ReadAsStored(const Texture& texture, int level = 0)
{
    const GLenum formats[] = {0, GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA};
    std::vector<uint8_t> pixels(std::max(texture.width >> level, 1u) * std::max(texture.height >> level, 1u) *
                                texture.channels);
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, level, formats[texture.channels], GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

GLint Integer(GLenum name)
{
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

class TextureGLTest : public testsupport::GLTest
{
  protected:
    void TearDown() override { EXPECT_EQ(testsupport::DrainGLErrors(), 0); }
};

TEST_F(TextureGLTest, EveryChannelCountUploadsUpdatesAndSavesAsStored)
{
    TempDir dir;
    // Width 5 makes every row length a non-multiple of 4 for 1 to 3 channels. Reading back in the
    // luminance formats also pins the internal format: from GL_RG8, say, the second byte would be lost.
    const uint32_t cases[][3] = {
        {5, 3, 1}, {1, 1, 1}, {5, 3, 2}, {5, 3, 3}, {5, 3, 4}}; // width, height, channels
    for (const auto& [width, height, channels] : cases)
    {
        SCOPED_TRACE(testing::Message() << width << " x " << height << ", " << channels << " channels");
        Texture texture(width, height, channels, Pattern(width, height, channels), false, GL_NEAREST);
        EXPECT_EQ(ReadAsStored(texture), Bytes(texture));
        for (size_t i = 0; i < texture.ByteSize(); ++i) // edited in place, then pushed again
            texture.data[i] = static_cast<uint8_t>(255 - texture.data[i]);
        texture.Update();
        EXPECT_EQ(ReadAsStored(texture), Bytes(texture));
        texture.Update(Pattern(width, height, channels, 99));
        EXPECT_EQ(ReadAsStored(texture), Bytes(texture));
        ASSERT_TRUE(texture.Save(dir / "image.png"));
        EXPECT_EQ(Bytes(Texture(dir / "image.png")), Bytes(texture));
    }
}

TEST_F(TextureGLTest, OddWidthRgbAfterRgbaHasNoRowSkew)
{
    // Someone else's unpack state (the GUI back end's, for one) must not disturb our uploads...
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 3);
    Texture rgba(7, 3, 4, Pattern(7, 3, 4), false, GL_LINEAR);
    Texture rgb(513, 4, 3, Pattern(513, 4, 3), true, GL_LINEAR);
    rgb.Update(Pattern(513, 4, 3, 5));
    EXPECT_EQ(ReadAsStored(rgba), Bytes(rgba));
    EXPECT_EQ(ReadAsStored(rgb), Bytes(rgb));
    // ...nor inherit ours.
    EXPECT_EQ(std::make_pair(Integer(GL_UNPACK_ALIGNMENT), Integer(GL_UNPACK_ROW_LENGTH)),
              std::make_pair(8, 3));
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);

    rgb.SetTextureFilter(GL_NEAREST_MIPMAP_NEAREST); // not a plain filter: ignored
    GLint minFilter = 0;
    glBindTexture(GL_TEXTURE_2D, rgb.id);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
}

// A texture seen small (a thumbnail, a distant terrain) samples its smaller levels.
TEST_F(TextureGLTest, UpdatesReachTheSmallMipmapLevels)
{
    Texture texture(64, 40, 3, true, GL_LINEAR); // created from zeros, as the slope-mode diffuse map
    auto orange = std::make_unique<uint8_t[]>(64 * 40 * 3);
    for (size_t k = 0; k < 64 * 40; ++k)
        orange[3 * k] = 200, orange[3 * k + 1] = 100, orange[3 * k + 2] = 50;
    const std::vector<uint8_t> level3(orange.get(), orange.get() + 8 * 5 * 3); // 8 x 5 texels
    texture.Update(std::move(orange));
    EXPECT_EQ(ReadAsStored(texture, 3), level3);

    std::fill(texture.data.get(), texture.data.get() + texture.ByteSize(), uint8_t{30}); // painted in place
    texture.Update();
    EXPECT_EQ(ReadAsStored(texture, 3), std::vector<uint8_t>(8 * 5 * 3, 30));
}

TEST_F(TextureGLTest, NullBufferOrFiveChannelsMakeNoImage)
{
    LogCapture log;
    Texture empty(8, 8, 3, nullptr, false, GL_LINEAR);
    EXPECT_EQ(empty.id, 0u);
    EXPECT_EQ(
        log.Count(spdlog::level::err, "Cannot initialize data buffer for texture: 8 8 3 - empty data buffer"),
        1);
    // A buffer given later makes the GL texture instead of uploading into texture 0.
    empty.Update(Pattern(8, 8, 3));
    ASSERT_NE(empty.id, 0u);
    EXPECT_EQ(ReadAsStored(empty), Bytes(empty));

    Texture five(2, 2, 5, Pattern(2, 2, 5), false, GL_LINEAR);
    five.Update();
    GLint width = -1;
    glBindTexture(GL_TEXTURE_2D, five.id);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(
        log.Count(spdlog::level::err, "LoadTexture not loaded: 5 is an unsupported number of channels."), 1);
    EXPECT_EQ(log.Count(spdlog::level::err, "Update not loaded: 5 is an unsupported number of channels."), 1)
        << log.Dump();
}

TEST_F(TextureGLTest, MissingFileGivesTheCheckerboardThatCannotBeSaved)
{
    LogCapture log;
    const std::string path = (testsupport::DataDir() / "no-such-image.png").string();
    Texture texture(path);
    EXPECT_FALSE(texture.data);
    EXPECT_EQ(log.Count(spdlog::level::err,
                        "Cannot load texture with path: " + path + " (wrong format or doesn't exist?)"),
              1);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Texture " + path + " not loaded: switched to default texture"),
              1)
        << log.Dump();
    const uint8_t pink[] = {255, 0, 128};
    std::vector<uint8_t> expected(4 * 4 * 3, 255); // white, and pink where x + y is even
    for (int i = 0; i < 16; ++i)
        if ((i / 4 + i % 4) % 2 == 0) std::copy(pink, pink + 3, &expected[i * 3]);
    EXPECT_EQ(ReadAsStored(texture), expected);

    TempDir dir;
    const std::string saved = dir / "default.png";
    EXPECT_FALSE(texture.Save(saved));
    EXPECT_EQ(log.Count(spdlog::level::err, "Cannot save texture " + saved + ": it has no pixel buffer"), 1);
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST_F(TextureGLTest, RoundTripKeepsTheTopRowOnTopInEveryFormat)
{
    // 3 x 4, top row red and the others blue, green growing along x; written top row first as files are.
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 12; ++i) // texel (i % 3, i / 3)
        pixels.insert(pixels.end(),
                      {uint8_t(i < 3 ? 255 : 0), uint8_t(i % 3 * 40), uint8_t(i < 3 ? 0 : 255)});
    TempDir dir;
    const std::string source = dir / "source.png";
    stbi_flip_vertically_on_write(0);
    ASSERT_NE(stbi_write_png(source.c_str(), 3, 4, 3, pixels.data(), 3 * 3), 0);

    LogCapture log;
    Texture texture(source);
    ASSERT_TRUE(texture.data);
    EXPECT_EQ(log.Count(spdlog::level::trace, "Loading texture " + source + ": 3 x 4, 3 channels"), 1);
    // Row 0 of the buffer and of GL is the bottom row of the file.
    std::vector<uint8_t> bottomUp;
    for (int row = 3; row >= 0; --row)
        bottomUp.insert(bottomUp.end(), pixels.begin() + row * 9, pixels.begin() + row * 9 + 9);
    EXPECT_EQ(Bytes(texture), bottomUp);
    EXPECT_EQ(ReadAsStored(texture), Bytes(texture));

    // Each format by its first bytes (TGA: no colour map, run-length true colour, 3 x 4, 24 bits), then
    // read back through the loader, whose flip the lines above pin down.
    const std::pair<std::string, std::string> formats[] = {
        {".png", "\x89PNG\r\n\x1a\n"},
        {".tga", std::string("\0\0\x0a\0\0\0\0\0\0\0\0\0\x03\0\x04\0\x18", 17)},
        {".bmp", "BM"},
        {".jpg", "\xff\xd8\xff"}};
    for (const auto& [extension, start] : formats)
    {
        ASSERT_TRUE(texture.Save(dir / ("saved" + extension)));
        EXPECT_EQ(testsupport::ReadFile(dir / ("saved" + extension)).substr(0, start.size()), start)
            << extension;
        const Texture back(dir / ("saved" + extension));
        ASSERT_TRUE(back.data && back.ByteSize() == texture.ByteSize()) << extension;
        int worst = 0;
        for (size_t i = 0; i < texture.ByteSize(); ++i)
            worst = std::max(worst, std::abs(back.data[i] - texture.data[i]));
        EXPECT_LE(worst, extension == ".jpg" ? 4 : 0) << extension; // JPEG is lossy
    }
    EXPECT_EQ(
        log.Count(spdlog::level::trace, "Saving texture " + (dir / "saved.png") + ": 3 x 4, 3 channels"), 1)
        << log.Dump();
    // Only the images are left: every temporary file was renamed.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 5);
}

TEST_F(TextureGLTest, SaveFailuresSayWhyAndLeaveNothing)
{
    TempDir dir;
    fs::create_directory(dir.Path() / "maps.v2");
    fs::create_directory(dir.Path() / "taken.png"); // the finished file cannot replace a folder
    const std::string formats = ", please use .jpg, .png, .tga or .bmp";
    const std::pair<const char*, std::string> cases[] = {
        {"image.gif", "Cannot save texture as .gif" + formats},
        {"image.PNG", "Cannot save texture as .PNG" + formats},
        {"image.png.bak", "Cannot save texture as .bak" + formats}, // the name's last dot
        {"heightmap", "Cannot save texture heightmap: no file extension" + formats},
        {"maps.v2/heightmap", "Cannot save texture maps.v2/heightmap: no file extension" + formats},
        {"missing/image.png", "Cannot save texture missing/image.png: the folder missing does not exist"},
        {"taken.png", "Cannot save texture taken.png: it is a folder"}};
    Texture texture(2, 2, 3, Pattern(2, 2, 3), false, GL_LINEAR);
    // Relative paths from inside the folder: a dot in the folder's own path would move the extension.
    const fs::path previous = fs::current_path();
    fs::current_path(dir.Path());
    for (const auto& [path, message] : cases)
    {
        LogCapture log;
        EXPECT_FALSE(texture.Save(path)) << path;
        EXPECT_EQ(log.Count(spdlog::level::err, message), 1) << log.Dump();
    }
    // A dot in a folder's name is no extension.
    EXPECT_TRUE(texture.Save("maps.v2/height.png"));
    fs::current_path(previous);
    // The two folders and that image alone: nothing else was written, not even a temporary file.
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.Path()), {}), 3);
}
} // namespace
