#include "editor/GuiUtil.h"

#include "engine/Engine.h"

#include <GLFW/glfw3.h>
#include <imgui_internal.h>

#include <set>

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

namespace
{
std::set<int>& ForcedKeys()
{
    static std::set<int> keys;
    return keys;
}
} // namespace

void ForceKeyDown(int glfwKey, bool down)
{
    if (down)
        ForcedKeys().insert(glfwKey);
    else
        ForcedKeys().erase(glfwKey);
}

bool KeyDown(int glfwKey)
{
    if (ForcedKeys().count(glfwKey) != 0)
        return true;
    GLFWwindow* window = Engine::Get().window.handle;
    return window != nullptr && glfwGetKey(window, glfwKey) == GLFW_PRESS;
}

void Image(uint32_t glTexture, ImVec2 size)
{
    ImGui::Image(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(glTexture)), size, ImVec2(0.0f, 1.0f),
                 ImVec2(1.0f, 0.0f));
}

void TextColored(const ImVec4& color, const std::string& text)
{
    ImGui::TextColored(color, "%s", text.c_str());
}
} // namespace gui

namespace gui
{
bool Begin(const char* name, bool* open, ImGuiWindowFlags flags)
{
    if (ImGui::GetTopMostPopupModal() != nullptr)
        flags |= ImGuiWindowFlags_NoFocusOnAppearing;
    return ImGui::Begin(name, open, flags);
}
} // namespace gui
