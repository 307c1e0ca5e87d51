#include "editor/GuiUtil.h"

#include "engine/Engine.h"

#include <GLFW/glfw3.h>
#include <imgui_internal.h>

#include <algorithm>
#include <set>

namespace gui
{
ImVec2 MainFramebufferSize()
{
    int width = 0;
    int height = 0;
    if (GLFWwindow* window = Engine::Get().window.handle) glfwGetFramebufferSize(window, &width, &height);
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
    if (ForcedKeys().count(glfwKey) != 0) return true;
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
    if (ImGui::GetTopMostPopupModal() != nullptr) flags |= ImGuiWindowFlags_NoFocusOnAppearing;
    return ImGui::Begin(name, open, flags);
}
} // namespace gui

namespace gui
{
ToolWindowPlace ToolWindowLayout(ToolWindow which, ImVec2 display, float rowHeight, float chrome)
{
    constexpr float kMargin = 10.0f;
    const float top = 0.17f * display.y; // level with the scene window's first place
    const float right = display.x - kMargin;
    const float cameraHeight = chrome + 3.0f * rowHeight; // rotate, position, speed
    const float optionsHeight = chrome + 3.0f * rowHeight;
    switch (which)
    {
    case ToolWindow::Camera:
        return {ImVec2(right, top), ImVec2(1.0f, 0.0f), ImVec2(420.0f, cameraHeight)};
    case ToolWindow::Options:
        return {ImVec2(right, top + cameraHeight + kMargin), ImVec2(1.0f, 0.0f), ImVec2(0.0f, 0.0f)};
    case ToolWindow::DiffuseEditor:
        return {ImVec2(right, top + cameraHeight + optionsHeight + 2.0f * kMargin), ImVec2(1.0f, 0.0f),
                ImVec2(0.0f, 0.0f)};
    case ToolWindow::WaterEditor:
    {
        // The strip left of the scene, at least wide enough for a useful picture; the picture of a
        // square terrain is as high as the window's content is wide, then two buttons and a line.
        const float width = std::max(260.0f, 0.17f * display.x - 2.0f * kMargin);
        const float height = std::min(chrome + width + 3.0f * rowHeight, display.y - top - kMargin);
        return {ImVec2(kMargin, top), ImVec2(0.0f, 0.0f),
                ImVec2(width, std::max(height, chrome + rowHeight))};
    }
    }
    return {};
}

void PlaceToolWindow(ToolWindow which)
{
    const ImGuiStyle& style = ImGui::GetStyle();
    const float chrome = ImGui::GetFrameHeight() + 2.0f * style.WindowPadding.y;
    const ToolWindowPlace place =
        ToolWindowLayout(which, MainFramebufferSize(), ImGui::GetFrameHeightWithSpacing(), chrome);
    ImGui::SetNextWindowPos(place.pos, ImGuiCond_FirstUseEver, place.pivot);
    if (place.size.x > 0.0f) ImGui::SetNextWindowSize(place.size, ImGuiCond_FirstUseEver);
}
} // namespace gui
