#pragma once
#include <cstdint>
#include <deque>
#include <memory>

class Camera;
class Framebuffer;
class Object;
class Shader;

// One unit of a frame's 3-D work. Commands hold weak references only: an object destroyed
// between submission and the flush turns its command into a logged no-op.
class RenderCommand
{
  public:
    virtual ~RenderCommand() = default;
    virtual void Execute() = 0;
};

class RenderObject : public RenderCommand
{
  public:
    RenderObject(const std::shared_ptr<Object>& object, const std::shared_ptr<Shader>& shader)
        : object(object), shader(shader)
    {
    }
    void Execute() override;

    std::weak_ptr<Object> object;
    std::weak_ptr<Shader> shader;
};

class PushFramebuffer : public RenderCommand
{
  public:
    explicit PushFramebuffer(const std::shared_ptr<Framebuffer>& framebuffer) : framebuffer(framebuffer) {}
    void Execute() override;

    std::weak_ptr<Framebuffer> framebuffer;
};

class PopFramebuffer : public RenderCommand
{
  public:
    void Execute() override;
};

class PushCamera : public RenderCommand
{
  public:
    explicit PushCamera(const std::shared_ptr<Camera>& camera) : camera(camera) {}
    void Execute() override;

    std::weak_ptr<Camera> camera;
};

class PopCamera : public RenderCommand
{
  public:
    void Execute() override;
};

// The per-frame command queue with its render-target and camera stacks.
class RenderManager
{
  public:
    void Submit(std::unique_ptr<RenderCommand> command);
    void Flush();
    void Clear();

    void PushFramebuffer(const std::shared_ptr<Framebuffer>& framebuffer);
    void PopFramebuffer();
    void PushCamera(const std::shared_ptr<Camera>& camera);
    void PopCamera();
    void SetViewport(int x, int y, int width, int height);
    std::shared_ptr<Camera> CurrentCamera() const;

    std::deque<std::unique_ptr<RenderCommand>> commandQueue;
    std::deque<std::shared_ptr<Framebuffer>> framebufferStack;
    std::deque<std::shared_ptr<Camera>> cameraStack;
    uint32_t clearMask = 0x4500; // colour, depth and stencil buffer bits
};
