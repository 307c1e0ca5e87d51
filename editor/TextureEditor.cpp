// The brush texture editor: one texture shown at the window's width, painted with the shared brush.
#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "render/Texture.h"

#include <imgui.h>

#include <string>

void Editor::ShowTextureEditor(Texture*& texture, bool& open)
{
    if (texture == nullptr)
    {
        open = false;
        return;
    }
    Texture& image = *texture;
    const std::string title = "Texture editor##" + std::to_string(image.id);
    gui::PlaceToolWindow(gui::ToolWindow::TextureEditor);
    if (!gui::Begin(title.c_str(), &open, textureEditorFlags))
    {
        ImGui::End();
        return;
    }

    brush.AdaptToChannels(image.channels);
    const float width = ImGui::GetContentRegionAvail().x;
    const ImVec2 size(width, width * static_cast<float>(image.height) / static_cast<float>(image.width));
    const ImVec2 topLeft = ImGui::GetCursorScreenPos();
    gui::Image(image.id, size);
    // The checkerboard stand-in of an unreadable file has no pixels to paint.
    if (ImGui::IsItemHovered() && image.data)
    {
        textureEditorFlags = ImGuiWindowFlags_NoMove;
        const ImVec2 mouse = ImGui::GetMousePos();
        const glm::vec2 texel = Brush::ImageToTexel(
            glm::vec2(mouse.x, mouse.y), glm::vec2(topLeft.x, topLeft.y), width, image.width, image.height);
        if (ImGui::IsMouseClicked(ImGuiMouseButton_Left) || ImGui::IsMouseDragging(ImGuiMouseButton_Left))
        {
            commands.Paint(image, brush, texel);
        }
        else if (ImGui::IsMouseClicked(ImGuiMouseButton_Right))
        {
            brush.Pick(texel);
            ImGui::OpenPopup("Color");
        }
    }
    else
    {
        textureEditorFlags = 0;
    }

    if (ImGui::RadioButton("Square brush", brush.shape == BrushShape::Square))
        brush.shape = BrushShape::Square;
    ImGui::SameLine();
    if (ImGui::RadioButton("Circle brush", brush.shape == BrushShape::Circle))
        brush.shape = BrushShape::Circle;

    if (image.channels <= 2)
    {
        const bool grey = image.channels == 1;
        ImGui::Checkbox("Raise/Lower", &brush.raiseLower);
        if (!brush.raiseLower)
            ImGui::DragFloat(grey ? "Color" : "Height", &brush.pickColor[0], 0.01f, 0.0f, 1.0f, "%.3f");
        else
            ImGui::DragInt(grey ? "Add to color by" : "Change height by", &brush.amount, 1.0f, -255, 255,
                           "%d");
    }
    else if (image.channels == 3)
    {
        ImGui::ColorEdit3("Pick a color", &brush.pickColor[0]);
    }
    else
    {
        ImGui::ColorEdit4("Pick a color", &brush.pickColor[0]);
    }
    ImGui::DragInt("Brush size", &brush.size, 1.0f, 1, 0, "%d");
    if (brush.size < 1) brush.size = 1;

    if (ImGui::BeginPopup("Color", ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_AlwaysAutoResize |
                                       ImGuiWindowFlags_NoSavedSettings))
    {
        if (ImGui::Button("Copy color"))
        {
            if (image.data) brush.CopyColor(image);
            ImGui::CloseCurrentPopup();
        }
        ImGui::EndPopup();
    }
    ImGui::End();
}
