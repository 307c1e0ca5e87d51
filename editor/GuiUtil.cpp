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
ImVec2 PlaceInside(ImVec2 pos, ImVec2 size, ImVec2 areaMin, ImVec2 areaMax)
{
    return ImVec2(std::max(std::min(pos.x, areaMax.x - size.x), areaMin.x),
                  std::max(std::min(pos.y, areaMax.y - size.y), areaMin.y));
}

bool Begin(const char* name, bool* open, ImGuiWindowFlags flags)
{
    // The window's place of the last frame (none before its first Begin of the run); a window the user
    // cannot move is placed by its own code.
    const ImGuiWindow* window = ImGui::FindWindowByName(name);
    if (window != nullptr && (window->Flags & ImGuiWindowFlags_NoMove) == 0)
    {
        const ImGuiViewport* viewport = ImGui::GetMainViewport();
        const ImVec2 areaMin = viewport->WorkPos;
        const ImVec2 area = viewport->WorkSize;
        const ImVec2 areaMax(areaMin.x + area.x, areaMin.y + area.y);
        if (area.x > 0.0f && area.y > 0.0f)
        {
            const ImVec2 inside = PlaceInside(window->Pos, window->Size, areaMin, areaMax);
            if (inside.x != window->Pos.x || inside.y != window->Pos.y) ImGui::SetNextWindowPos(inside);
            const bool sized =
                (window->Flags & (ImGuiWindowFlags_NoResize | ImGuiWindowFlags_AlwaysAutoResize)) == 0;
            if (sized && (window->Size.x > area.x || window->Size.y > area.y))
                ImGui::SetNextWindowSize(
                    ImVec2(std::min(window->Size.x, area.x), std::min(window->Size.y, area.y)));
        }
    }
    ImGuiWindow* modal = ImGui::GetTopMostPopupModal();
    if (modal != nullptr) flags |= ImGuiWindowFlags_NoFocusOnAppearing;
    const bool shown = ImGui::Begin(name, open, flags);
    if (modal != nullptr && ImGui::IsWindowAppearing())
        ImGui::BringWindowToDisplayBehind(ImGui::GetCurrentWindow(), modal);
    return shown;
}

void PlaceDialog(ImVec2 size)
{
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(viewport->GetCenter(), ImGuiCond_Appearing, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSize(size, ImGuiCond_Appearing);
}

float DialogHeight(int frameRows, int textRows, float extra, bool titleBar)
{
    const ImGuiStyle& style = ImGui::GetStyle();
    return (titleBar ? ImGui::GetFrameHeight() : 0.0f) + 2.0f * style.WindowPadding.y +
           static_cast<float>(frameRows) * ImGui::GetFrameHeightWithSpacing() +
           static_cast<float>(textRows) * ImGui::GetTextLineHeightWithSpacing() + extra;
}

void BottomRow(float height)
{
    const float bottom = ImGui::GetWindowContentRegionMax().y - height;
    if (ImGui::GetCursorPosY() < bottom) ImGui::SetCursorPosY(bottom);
}
} // namespace gui

namespace gui
{
ToolWindowPlace ToolWindowLayout(ToolWindow which, const ToolWindowArea& area)
{
    constexpr float kMargin = 10.0f;
    const ImVec2 display = area.display;
    const float top = 0.17f * display.y; // level with the scene window's and the generator's first place
    const float right = display.x - kMargin;
    const float bottom = area.workBottom - kMargin;
    const float optionsHeight = area.chrome + 5.0f * area.rowHeight; // its colour, frame time and undo memory
    // Under the generator's first place (0.17 .. 0.5 of the height), left of the column of the camera
    // window and the others; a square terrain's picture is as high as the window's content is wide.
    const auto underGenerator = [&](float rowsBelowPicture)
    {
        const float left = 0.17f * display.x;
        const float y = 0.5f * display.y + kMargin;
        const float width =
            std::min(std::max(260.0f, 0.2f * display.x), right - kCameraWindowSize.x - kMargin - left);
        const float wanted = area.chrome + (width - 2.0f * area.padding) + rowsBelowPicture * area.rowHeight;
        const float height = std::max(std::min(wanted, bottom - y), area.chrome + area.rowHeight);
        return ToolWindowPlace{ImVec2(left, y), ImVec2(0.0f, 0.0f), ImVec2(width, height)};
    };
    switch (which)
    {
    case ToolWindow::Camera:
        return {ImVec2(right, top), ImVec2(1.0f, 0.0f), kCameraWindowSize};
    case ToolWindow::Options:
        return {ImVec2(right, top + kCameraWindowSize.y + kMargin), ImVec2(1.0f, 0.0f), ImVec2(0.0f, 0.0f)};
    case ToolWindow::DiffuseEditor:
        return {ImVec2(right, top + kCameraWindowSize.y + optionsHeight + 2.0f * kMargin), ImVec2(1.0f, 0.0f),
                ImVec2(0.0f, 0.0f)};
    case ToolWindow::WaterEditor:
        return underGenerator(3.0f); // two buttons and a line
    case ToolWindow::TextureEditor:
        return underGenerator(4.0f); // brush shape, raise or colour, its value, size
    case ToolWindow::Help:
        return {ImVec2(kMargin, area.workTop + kMargin), ImVec2(0.0f, 0.0f), ImVec2(0.0f, 0.0f)};
    }
    return {};
}

void PlaceToolWindow(ToolWindow which)
{
    const ImGuiStyle& style = ImGui::GetStyle();
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ToolWindowArea area;
    area.display = MainFramebufferSize();
    area.workTop = viewport->WorkPos.y;
    area.workBottom = viewport->WorkPos.y + viewport->WorkSize.y;
    area.rowHeight = ImGui::GetFrameHeightWithSpacing();
    area.chrome = ImGui::GetFrameHeight() + 2.0f * style.WindowPadding.y;
    area.padding = style.WindowPadding.x;
    const ToolWindowPlace place = ToolWindowLayout(which, area);
    ImGui::SetNextWindowPos(place.pos, ImGuiCond_FirstUseEver, place.pivot);
    if (place.size.x > 0.0f) ImGui::SetNextWindowSize(place.size, ImGuiCond_FirstUseEver);
}
} // namespace gui
