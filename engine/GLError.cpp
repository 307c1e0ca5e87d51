#include "engine/GLError.h"

#include "engine/Log.h"

#include <GL/glew.h>

#include <cstdio>

const char* GLErrorName(unsigned code)
{
    switch (code)
    {
    case 0x0500:
        return "GL_INVALID_ENUM";
    case 0x0501:
        return "GL_INVALID_VALUE";
    case 0x0502:
        return "GL_INVALID_OPERATION";
    case 0x0505:
        return "GL_OUT_OF_MEMORY";
    case 0x0506:
        return "GL_INVALID_FRAMEBUFFER_OPERATION";
    default:
        return "<unknown>";
    }
}

void CheckGLError(const char* function, unsigned line)
{
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) return;
    const char* name = GLErrorName(error);
    if (function != nullptr && function[0] != '\0')
        Log::Error("GL error occurred in {} : {} : {}", function, line, name);
    else
        Log::Error("GL error occurred: {}", name);
}

void GLFWErrorCallback(int /*error*/, const char* description)
{
    std::fprintf(stderr, "Error: %s\n", description);
}
