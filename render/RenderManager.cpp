#include "render/RenderManager.h"

#include "engine/Engine.h"
#include "engine/Log.h"
#include "engine/GLError.h"
#include "render/Framebuffer.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

namespace
{
void ApplyTargetState(const Framebuffer& target)
{
    glClearColor(target.clearColor.r, target.clearColor.g, target.clearColor.b, target.clearColor.a);
    glPolygonMode(GL_FRONT_AND_BACK, target.wireframe ? GL_LINE : GL_FILL);
}
} // namespace

void RenderManager::Submit(std::unique_ptr<RenderCommand> command)
{
    commandQueue.push_back(std::move(command));
}

void RenderManager::Flush()
{
    while (!commandQueue.empty())
    {
        std::unique_ptr<RenderCommand> command = std::move(commandQueue.front());
        commandQueue.pop_front();
        command->Execute();
    }
}

void RenderManager::Clear()
{
    commandQueue.clear();
}

void RenderManager::PushFramebuffer(const std::shared_ptr<Framebuffer>& framebuffer)
{
    if (!framebuffer)
    {
        Log::Warn("{} is nullptr.", "PushFramebuffer");
        return;
    }
    framebufferStack.push_back(framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer->fbo);
    CheckGLError("RenderManager::PushFramebuffer", __LINE__);
    SetViewport(0, 0, static_cast<int>(framebuffer->width), static_cast<int>(framebuffer->height));
    ApplyTargetState(*framebuffer);
    glClear(clearMask);
}

void RenderManager::PopFramebuffer()
{
    if (framebufferStack.empty())
    {
        Log::Warn("Function {} Popping an empty stack.", "PopFramebuffer");
        return;
    }
    framebufferStack.pop_back();

    if (!framebufferStack.empty())
    {
        const Framebuffer& top = *framebufferStack.back();
        glBindFramebuffer(GL_FRAMEBUFFER, top.fbo);
        CheckGLError("RenderManager::PopFramebuffer", __LINE__);
        SetViewport(0, 0, static_cast<int>(top.width), static_cast<int>(top.height));
        CheckGLError("RenderManager::PopFramebuffer", __LINE__);
        ApplyTargetState(top); // the target keeps what was drawn into it: no clear here
        return;
    }

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    CheckGLError("RenderManager::PopFramebuffer", __LINE__);
    int width = 0;
    int height = 0;
    Window& window = Engine::Get().window;
    if (window.handle != nullptr) glfwGetFramebufferSize(window.handle, &width, &height);
    SetViewport(0, 0, width, height);
    CheckGLError("RenderManager::PopFramebuffer", __LINE__);
    if (window.framebuffer) ApplyTargetState(*window.framebuffer);
}

void RenderManager::PushCamera(const std::shared_ptr<Camera>& camera)
{
    if (!camera)
    {
        Log::Warn("{} is nullptr.", "PushCamera");
        return;
    }
    cameraStack.push_back(camera);
}

void RenderManager::PopCamera()
{
    if (cameraStack.empty())
    {
        Log::Warn("Function {} popping an empty stack.", "PopCamera");
        return;
    }
    cameraStack.pop_back();
}

void RenderManager::SetViewport(int x, int y, int width, int height)
{
    glViewport(x, y, width, height);
    CheckGLError("RenderManager::SetViewport", __LINE__);
}

std::shared_ptr<Camera> RenderManager::CurrentCamera() const
{
    return cameraStack.empty() ? nullptr : cameraStack.back();
}

void PushFramebuffer::Execute()
{
    if (auto target = framebuffer.lock())
        Engine::Get().renderManager.PushFramebuffer(target);
    else
        Log::Warn("Invalid PushFramebuffer {} command.", "Execute");
}

void PopFramebuffer::Execute()
{
    Engine::Get().renderManager.PopFramebuffer();
}

void PushCamera::Execute()
{
    if (auto target = camera.lock())
        Engine::Get().renderManager.PushCamera(target);
    else
        Log::Warn("Invalid PushCamera {} command.", "Execute");
}

void PopCamera::Execute()
{
    Engine::Get().renderManager.PopCamera();
}
