#pragma once
#include <glm/vec4.hpp>

#include <cstdint>

// An off-screen render target: RGBA8 colour texture plus a 24/8 depth-stencil renderbuffer.
// Its size is fixed for its lifetime.
class Framebuffer
{
  public:
    Framebuffer(uint32_t width, uint32_t height);
    ~Framebuffer();
    Framebuffer(const Framebuffer&) = delete;
    Framebuffer& operator=(const Framebuffer&) = delete;

    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t fbo = 0;
    uint32_t colorTexture = 0;
    uint32_t depthStencilBuffer = 0;
    glm::vec4 clearColor{0.0f, 0.0f, 0.0f, 1.0f};
    bool wireframe = false;
};
