#include "render/Scene.h"

#include "engine/Engine.h"
#include "render/Camera.h"
#include "render/Framebuffer.h"

#include <GLFW/glfw3.h>

#include <algorithm>

Scene::Scene(uint32_t id) : name("Scene " + std::to_string(id)), sceneId(id)
{
    // The target takes the main window's size at this moment; the scene window scales the image.
    const Window& window = Engine::Get().window;
    int width = 0;
    int height = 0;
    if (window.handle != nullptr) glfwGetFramebufferSize(window.handle, &width, &height);
    if (width <= 0 || height <= 0) // minimised or no window: a GL texture needs at least one texel
    {
        width = std::max(window.width, 1);
        height = std::max(window.height, 1);
    }
    framebuffer = std::make_shared<Framebuffer>(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    framebuffer->clearColor = {0.52f, 0.8f, 0.92f, 1.0f};

    camera = std::make_shared<Camera>();
    camera->Update();
    camera->name = name + " camera";
}
