#pragma once
// Read-backs shared by the terrain GL tests: what the GPU holds, not what the CPU buffers say.
#include "render/Texture.h"

#include <GL/glew.h>

#include "tests/support/TestCommon.h"

namespace terraintest
{
// All texels of the texture in its own channel count, rows bottom first.
inline std::vector<uint8_t> ReadTexture(const Texture& texture)
{
    const GLenum formats[] = {GL_RED, GL_RED, GL_RG, GL_RGB, GL_RGBA};
    std::vector<uint8_t> pixels(texture.ByteSize());
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, formats[texture.channels], GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
}

template <typename T> std::vector<T> ReadBuffer(GLuint buffer, size_t count)
{
    std::vector<T> values(count);
    glBindBuffer(GL_COPY_READ_BUFFER, buffer);
    glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(count * sizeof(T)), values.data());
    glBindBuffer(GL_COPY_READ_BUFFER, 0);
    return values;
}
} // namespace terraintest
