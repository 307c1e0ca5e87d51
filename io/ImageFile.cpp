#include "io/ImageFile.h"

#include "engine/AtomicFile.h"
#include "engine/Log.h"

#include <stb_image_write.h>

#include <cstdio>

namespace
{
// The image writer's output, collected into a file we opened ourselves so that open and write
// failures can be told apart and reported.
struct FileSink
{
    std::FILE* file = nullptr;
    bool failed = false;
};

void WriteToFile(void* context, void* bytes, int size)
{
    auto* sink = static_cast<FileSink*>(context);
    if (sink->failed || size <= 0) return;
    if (std::fwrite(bytes, 1, static_cast<size_t>(size), sink->file) != static_cast<size_t>(size))
        sink->failed = true;
}

enum class ImageKind
{
    Jpg,
    Png,
    Tga,
    Bmp
};

bool KindForExtension(const std::string& extension, ImageKind& out)
{
    if (extension == ".jpg")
        out = ImageKind::Jpg;
    else if (extension == ".png")
        out = ImageKind::Png;
    else if (extension == ".tga")
        out = ImageKind::Tga;
    else if (extension == ".bmp")
        out = ImageKind::Bmp;
    else
        return false;
    return true;
}

bool RefuseImage(std::string* error, std::string reason)
{
    if (error != nullptr) *error = std::move(reason);
    return false;
}
} // namespace

namespace ImageFile
{
bool Save(const std::string& path, uint32_t width, uint32_t height, uint32_t channels, const uint8_t* pixels,
          std::string* error)
{
    // The file name's last dot: folders ("my.game/terrain/") and names with dots keep their meaning.
    const size_t slash = path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t lastDot = path.find_last_of('.');
    const size_t dot = lastDot != std::string::npos && lastDot >= nameStart ? lastDot : std::string::npos;
    stbi_flip_vertically_on_write(1);
    Log::Trace("Saving texture {}: {} x {}, {} channels", path, width, height, channels);
    if (dot == std::string::npos)
    {
        Log::Error("Cannot save texture {}: no file extension, please use .jpg, .png, .tga or .bmp", path);
        return RefuseImage(error, "no file extension, please use .jpg, .png, .tga or .bmp");
    }
    const std::string extension = path.substr(dot);
    ImageKind kind{};
    if (!KindForExtension(extension, kind))
    {
        Log::Error("Cannot save texture as {}, please use .jpg, .png, .tga or .bmp", extension);
        return RefuseImage(error, "cannot save as " + extension + ", please use .jpg, .png, .tga or .bmp");
    }
    if (pixels == nullptr || channels < 1 || channels > 4 || width == 0 || height == 0)
    {
        Log::Error("Cannot save texture {}: {} x {} with {} channels is not an image", path, width, height,
                   channels);
        return RefuseImage(error, "it is not an image");
    }

    // Written under a temporary name and renamed when complete, so a failed write never leaves a
    // truncated file under the real name (or destroys a good file that was there before).
    AtomicFile file(path);
    if (!file.Open("wb"))
    {
        Log::Error("Cannot save texture {}: {}", path, file.Error());
        return RefuseImage(error, file.Error());
    }
    FileSink sink;
    sink.file = file.File();

    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    const int comp = static_cast<int>(channels);
    int written = 0;
    switch (kind)
    {
    case ImageKind::Jpg:
        written = stbi_write_jpg_to_func(WriteToFile, &sink, w, h, comp, pixels, 100);
        break;
    case ImageKind::Png:
        written = stbi_write_png_to_func(WriteToFile, &sink, w, h, comp, pixels, w * comp);
        break;
    case ImageKind::Tga:
        written = stbi_write_tga_to_func(WriteToFile, &sink, w, h, comp, pixels);
        break;
    case ImageKind::Bmp:
        written = stbi_write_bmp_to_func(WriteToFile, &sink, w, h, comp, pixels);
        break;
    }
    if (written == 0 || sink.failed)
    {
        file.Abandon();
        Log::Error("Cannot save texture {}: writing the file failed", path);
        return RefuseImage(error, "writing the file failed");
    }
    if (!file.Commit())
    {
        Log::Error("Cannot save texture {}: {}", path, file.Error());
        return RefuseImage(error, file.Error());
    }
    return true;
}
} // namespace ImageFile
