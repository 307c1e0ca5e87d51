#include "render/Texture.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <ostream>
#include <stb_image.h>
#include <stb_image_write.h>

#include <filesystem>
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

GLenum PixelFormatFor(uint32_t channels)
{
    const GLenum formats[] = {0, GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA};
    return formats[channels];
}

// What GL holds for level 0, read back tightly packed in the texture's own pixel format.
std::vector<uint8_t> ReadTexture(const Texture& texture, GLenum format, size_t bytesPerTexel)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(texture.width) * texture.height * bytesPerTexel);
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
}

std::vector<uint8_t> ReadTexture(const Texture& texture)
{
    return ReadTexture(texture, PixelFormatFor(texture.channels), texture.channels);
}

std::vector<uint8_t> Bytes(const Texture& texture)
{
    return std::vector<uint8_t>(texture.data.get(), texture.data.get() + texture.ByteSize());
}

GLint LevelParameter(const Texture& texture, GLenum parameter)
{
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, parameter, &value);
    glBindTexture(GL_TEXTURE_2D, 0);
    return value;
}

GLint TextureParameter(const Texture& texture, GLenum parameter)
{
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
    glBindTexture(GL_TEXTURE_2D, 0);
    return value;
}

class TextureGLTest : public testsupport::GLTest
{
  protected:
    void TearDown() override { EXPECT_EQ(testsupport::DrainGLErrors(), 0); }
};

struct ChannelCase
{
    uint32_t channels;
    GLenum internalFormat;
};

void PrintTo(const ChannelCase& p, std::ostream* out)
{
    *out << p.channels << " channels";
}

class TextureChannelsGLTest : public TextureGLTest, public ::testing::WithParamInterface<ChannelCase>
{
};

TEST_P(TextureChannelsGLTest, UploadsTheBufferAsStored)
{
    const ChannelCase param = GetParam();
    LogCapture log;
    // Width 5 makes every row length a non-multiple of 4 for 1 to 3 channels.
    Texture texture(5, 3, param.channels, Pattern(5, 3, param.channels), false, GL_NEAREST);
    ASSERT_NE(texture.id, 0u);
    EXPECT_EQ(ReadTexture(texture), Bytes(texture));
    EXPECT_EQ(LevelParameter(texture, GL_TEXTURE_INTERNAL_FORMAT), static_cast<GLint>(param.internalFormat));
    EXPECT_EQ(TextureParameter(texture, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(TextureParameter(texture, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(
        log.Count(spdlog::level::trace, fmt::format("Texture {} created from data buffer: 5 x 3, {} channels",
                                                    texture.id, param.channels)),
        1)
        << log.Dump();
    EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();

    // Edited in place, then pushed again.
    for (size_t i = 0; i < texture.ByteSize(); ++i)
        texture.data[i] = static_cast<uint8_t>(255 - texture.data[i]);
    texture.Update();
    EXPECT_EQ(ReadTexture(texture), Bytes(texture));

    // Replaced by a new buffer.
    texture.Update(Pattern(5, 3, param.channels, 99));
    EXPECT_EQ(ReadTexture(texture), Bytes(texture));
}

INSTANTIATE_TEST_SUITE_P(AllChannelCounts, TextureChannelsGLTest,
                         ::testing::Values(ChannelCase{1, GL_LUMINANCE8},
                                           ChannelCase{2, GL_LUMINANCE8_ALPHA8}, ChannelCase{3, GL_RGB8},
                                           ChannelCase{4, GL_RGBA8}));

// Sampling it as grey is checked where it is drawn (MeshGLTest).
TEST_F(TextureGLTest, SingleGreyTexelUploads)
{
    auto buffer = std::make_unique<uint8_t[]>(1);
    buffer[0] = 77;
    Texture texture(1, 1, 1, std::move(buffer), false, GL_LINEAR);
    EXPECT_EQ(ReadTexture(texture), (std::vector<uint8_t>{77}));
    EXPECT_EQ(LevelParameter(texture, GL_TEXTURE_LUMINANCE_SIZE), 8);
}

TEST_F(TextureGLTest, OddWidthRgbAfterRgbaHasNoRowSkew)
{
    GLint alignmentBefore = 0;
    GLint rowLengthBefore = -1;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignmentBefore);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLengthBefore);

    Texture rgba(7, 3, 4, Pattern(7, 3, 4), false, GL_LINEAR);
    Texture rgb(513, 4, 3, Pattern(513, 4, 3), true, GL_LINEAR);
    EXPECT_EQ(ReadTexture(rgba), Bytes(rgba));
    EXPECT_EQ(ReadTexture(rgb), Bytes(rgb));
    EXPECT_EQ(TextureParameter(rgb, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);

    rgba.Update(Pattern(7, 3, 4, 3));
    rgb.Update(Pattern(513, 4, 3, 5));
    EXPECT_EQ(ReadTexture(rgb), Bytes(rgb));

    // Nothing of our unpack state leaks to other uploads (the GUI back end's, for one).
    GLint alignment = 0;
    GLint rowLength = -1;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
    EXPECT_EQ(alignment, alignmentBefore);
    EXPECT_EQ(rowLength, rowLengthBefore);
}

TEST_F(TextureGLTest, NullBufferMakesNoGLTexture)
{
    LogCapture log;
    Texture texture(8, 8, 3, nullptr, false, GL_LINEAR);
    EXPECT_EQ(texture.id, 0u);
    EXPECT_EQ(
        log.Count(spdlog::level::err, "Cannot initialize data buffer for texture: 8 8 3 - empty data buffer"),
        1)
        << log.Dump();

    // A buffer given later makes the GL texture instead of uploading into texture 0.
    texture.Update(Pattern(8, 8, 3));
    ASSERT_NE(texture.id, 0u);
    EXPECT_EQ(ReadTexture(texture), Bytes(texture));
}

TEST_F(TextureGLTest, UnsupportedChannelCountKeepsTheBufferWithoutStorage)
{
    LogCapture log;
    Texture texture(2, 2, 5, Pattern(2, 2, 5), false, GL_LINEAR);
    EXPECT_NE(texture.id, 0u);
    EXPECT_TRUE(texture.data);
    EXPECT_EQ(LevelParameter(texture, GL_TEXTURE_WIDTH), 0);
    texture.Update();
    EXPECT_EQ(
        log.Count(spdlog::level::err, "LoadTexture not loaded: 5 is an unsupported number of channels."), 1);
    EXPECT_EQ(log.Count(spdlog::level::err, "Update not loaded: 5 is an unsupported number of channels."), 1)
        << log.Dump();
}

TEST_F(TextureGLTest, MissingFileGivesTheCheckerboard)
{
    LogCapture log;
    const std::string path = (testsupport::DataDir() / "no-such-image.png").string();
    Texture texture(path);
    EXPECT_EQ(texture.width, 4u);
    EXPECT_EQ(texture.height, 4u);
    EXPECT_EQ(texture.channels, 3u);
    EXPECT_FALSE(texture.data);
    EXPECT_EQ(texture.filter, static_cast<uint32_t>(GL_NEAREST));
    EXPECT_EQ(texture.name, path);
    EXPECT_EQ(log.Count(spdlog::level::err,
                        "Cannot load texture with path: " + path + " (wrong format or doesn't exist?)"),
              1);
    EXPECT_EQ(log.Count(spdlog::level::warn, "Texture " + path + " not loaded: switched to default texture"),
              1)
        << log.Dump();

    EXPECT_EQ(LevelParameter(texture, GL_TEXTURE_INTERNAL_FORMAT), GL_RGB8);
    const std::vector<uint8_t> pixels = ReadTexture(texture, GL_RGB, 3);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
        {
            const bool pink = (x + y) % 2 == 0;
            const uint8_t* texel = &pixels[(y * 4 + x) * 3];
            EXPECT_EQ(texel[0], 255) << x << "," << y;
            EXPECT_EQ(texel[1], pink ? 0 : 255) << x << "," << y;
            EXPECT_EQ(texel[2], pink ? 128 : 255) << x << "," << y;
        }

    // Nothing to save: refused, naming the path, and no file appears.
    TempDir dir;
    log.Clear();
    EXPECT_FALSE(texture.Save(dir / "default.png"));
    EXPECT_EQ(log.Count(spdlog::level::err,
                        "Cannot save texture " + (dir / "default.png") + ": it has no pixel buffer"),
              1)
        << log.Dump();
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST_F(TextureGLTest, FilterAcceptsOnlyNearestAndLinear)
{
    Texture texture(2, 2, 4, Pattern(2, 2, 4), false, GL_LINEAR);
    texture.SetTextureFilter(GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(texture.filter, static_cast<uint32_t>(GL_LINEAR));
    EXPECT_EQ(TextureParameter(texture, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    texture.SetTextureFilter(GL_NEAREST);
    EXPECT_EQ(TextureParameter(texture, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(TextureParameter(texture, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
}

// A PNG whose top row is red and whose other rows are blue, written top row first as files are.
std::string WriteRedTopPng(const TempDir& dir, const std::string& fileName)
{
    const int width = 3, height = 4;
    std::vector<uint8_t> pixels(width * height * 3, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            uint8_t* texel = &pixels[(y * width + x) * 3];
            texel[0] = y == 0 ? 255 : 0;
            texel[2] = y == 0 ? 0 : 255;
            texel[1] = static_cast<uint8_t>(x * 40);
        }
    stbi_flip_vertically_on_write(0);
    const std::string path = dir / fileName;
    EXPECT_NE(stbi_write_png(path.c_str(), width, height, 3, pixels.data(), width * 3), 0);
    return path;
}

std::vector<uint8_t> LoadFileTopRowFirst(const std::string& path, int& width, int& height, int& channels)
{
    stbi_set_flip_vertically_on_load(0);
    stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 0);
    EXPECT_NE(pixels, nullptr) << path;
    if (pixels == nullptr) return {};
    std::vector<uint8_t> out(pixels, pixels + static_cast<size_t>(width) * height * channels);
    stbi_image_free(pixels);
    return out;
}

TEST_F(TextureGLTest, PngRoundTripKeepsTheTopRowOnTop)
{
    TempDir dir;
    const std::string source = WriteRedTopPng(dir, "source.png");
    LogCapture log;
    Texture texture(source);
    ASSERT_TRUE(texture.data);
    EXPECT_EQ(log.Count(spdlog::level::trace, "Loading texture " + source + ": 3 x 4, 3 channels"), 1)
        << log.Dump();

    // Row 0 of the buffer and of GL is the bottom row of the file.
    EXPECT_EQ(texture.data[2], 255);
    EXPECT_EQ(texture.data[0], 0);
    const size_t topRow = 3 * 3 * 3;
    EXPECT_EQ(texture.data[topRow + 0], 255);
    EXPECT_EQ(ReadTexture(texture), Bytes(texture));

    const std::string saved = dir / "saved.png";
    ASSERT_TRUE(texture.Save(saved));
    EXPECT_EQ(log.Count(spdlog::level::trace, "Saving texture " + saved + ": 3 x 4, 3 channels"), 1);
    int w = 0, h = 0, c = 0, sw = 0, sh = 0, sc = 0;
    EXPECT_EQ(LoadFileTopRowFirst(saved, w, h, c), LoadFileTopRowFirst(source, sw, sh, sc));
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 4);
    // Only the two images are left: the temporary file was renamed.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

struct FormatCase
{
    const char* extension;
    uint32_t channels;
    int tolerance; // JPEG is lossy
};

void PrintTo(const FormatCase& p, std::ostream* out)
{
    *out << p.extension << " " << p.channels << " channels";
}

class TextureSaveFormatGLTest : public TextureGLTest, public ::testing::WithParamInterface<FormatCase>
{
};

TEST_P(TextureSaveFormatGLTest, WritesAFileThatReadsBackFlipped)
{
    const FormatCase param = GetParam();
    TempDir dir;
    // Smooth content so JPEG stays close.
    const uint32_t width = 16, height = 8, channels = param.channels;
    auto buffer = std::make_unique<uint8_t[]>(width * height * channels);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (uint32_t k = 0; k < channels; ++k)
                buffer[(y * width + x) * channels + k] = static_cast<uint8_t>(60 + y * 16 + k * 10);
    Texture texture(width, height, channels, std::move(buffer), false, GL_LINEAR);
    const std::string path = dir / (std::string("image") + param.extension);
    ASSERT_TRUE(texture.Save(path));

    int w = 0, h = 0, c = 0;
    const std::vector<uint8_t> file = LoadFileTopRowFirst(path, w, h, c);
    ASSERT_EQ(w, 16);
    ASSERT_EQ(h, 8);
    // File row 0 is the buffer's last row; compare the first channel.
    for (uint32_t y = 0; y < height; ++y)
    {
        const int expected = texture.data[((height - 1 - y) * width + 5) * channels];
        EXPECT_NEAR(file[(y * width + 5) * c], expected, param.tolerance) << "row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, TextureSaveFormatGLTest,
                         ::testing::Values(FormatCase{".png", 4, 0}, FormatCase{".png", 1, 0},
                                           FormatCase{".tga", 3, 0}, FormatCase{".bmp", 3, 0},
                                           FormatCase{".jpg", 3, 4}));

struct RefusedCase
{
    const char* relativePath;
    const char* extension;
};

void PrintTo(const RefusedCase& p, std::ostream* out)
{
    *out << p.relativePath;
}

class TextureSaveRefusedGLTest : public TextureGLTest, public ::testing::WithParamInterface<RefusedCase>
{
};

TEST_P(TextureSaveRefusedGLTest, RefusesWithTheMessageAndWritesNothing)
{
    const RefusedCase param = GetParam();
    TempDir dir;
    fs::create_directory(dir.Path() / "maps.v2");
    Texture texture(2, 2, 3, Pattern(2, 2, 3), false, GL_LINEAR);
    // A dotted temp folder would move the extension; use a relative path from inside it.
    const fs::path previous = fs::current_path();
    fs::current_path(dir.Path());
    LogCapture log;
    const bool saved = texture.Save(param.relativePath);
    fs::current_path(previous);

    EXPECT_FALSE(saved);
    EXPECT_EQ(log.Count(spdlog::level::err, std::string("Cannot save texture as ") + param.extension +
                                                ", please use .jpg, .png, .tga or .bmp"),
              1)
        << log.Dump();
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.Path()), fs::recursive_directory_iterator()),
              1);
}

INSTANTIATE_TEST_SUITE_P(Paths, TextureSaveRefusedGLTest,
                         ::testing::Values(RefusedCase{"image.gif", ".gif"}, RefusedCase{"image.PNG", ".PNG"},
                                           RefusedCase{"image.png.bak", ".png.bak"},
                                           RefusedCase{"maps.v2/height.png", ".v2/height.png"}));

TEST_F(TextureGLTest, SaveWithoutExtensionWritesNothing)
{
    TempDir dir;
    Texture texture(2, 2, 3, Pattern(2, 2, 3), false, GL_LINEAR);
    const fs::path previous = fs::current_path();
    fs::current_path(dir.Path());
    LogCapture log;
    const bool saved = texture.Save("heightmap");
    fs::current_path(previous);
    EXPECT_FALSE(saved);
    EXPECT_EQ(
        log.Count(spdlog::level::err,
                  "Cannot save texture heightmap: no file extension, please use .jpg, .png, .tga or .bmp"),
        1)
        << log.Dump();
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST_F(TextureGLTest, SaveThatCannotCreateTheFileSaysSoAndLeavesNothing)
{
    TempDir dir;
    Texture texture(2, 2, 3, Pattern(2, 2, 3), false, GL_LINEAR);
    LogCapture log;

    const std::string missingFolder = (dir.Path() / "missing" / "image.png").string();
    EXPECT_FALSE(texture.Save(missingFolder));
    EXPECT_EQ(
        log.Count(spdlog::level::err, "Cannot save texture " + missingFolder + ": No such file or directory"),
        1)
        << log.Dump();

    // The target name is taken by a folder: the finished file cannot replace it.
    fs::create_directory(dir.Path() / "taken.png");
    const std::string taken = dir / "taken.png";
    EXPECT_FALSE(texture.Save(taken));
    EXPECT_EQ(log.Count(spdlog::level::err, "Cannot save texture " + taken + ": Is a directory"), 1)
        << log.Dump();
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.Path()), fs::recursive_directory_iterator()),
              1);
}

} // namespace
