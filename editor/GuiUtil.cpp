#include "editor/GuiUtil.h"

#include "engine/Engine.h"

#include <GLFW/glfw3.h>

namespace gui
{
ImVec2 MainFramebufferSize()
{
    int width = 0;
    int height = 0;
    if (GLFWwindow* window = Engine::Get().window.handle)
        glfwGetFramebufferSize(window, &width, &height);
    return ImVec2(static_cast<float>(width), static_cast<float>(height));
}

bool KeyDown(int glfwKey)
{
    GLFWwindow* window = Engine::Get().window.handle;
    return window != nullptr && glfwGetKey(window, glfwKey) == GLFW_PRESS;
}

void TextColored(const ImVec4& color, const std::string& text)
{
    ImGui::TextColored(color, "%s", text.c_str());
}
} // namespace gui
