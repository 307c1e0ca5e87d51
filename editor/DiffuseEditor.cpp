// The diffuse texture editor: the terrain's colour gradients as a bar of span fields, the selected
// gradient's colour, specular value and decay, and the generation of the diffuse texture by height,
// slope or an erosion mask's channel.
#include "editor/DiffuseEditor.h"

#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"

#include <GLFW/glfw3.h>
#include <imgui.h>

#include <algorithm>
#include <string>

std::shared_ptr<Terrain::Heightmap> DiffuseEditorState::MaskSource(const Terrain& terrain) const
{
    const std::shared_ptr<Terrain::Heightmap> chosen = maskEntry.lock();
    std::shared_ptr<Terrain::Heightmap> first;
    for (const auto& layer : terrain.heightmaps)
    {
        if (!layer || !layer->isErosion) continue;
        if (layer == chosen) return chosen;
        if (!first) first = layer;
    }
    return first;
}

void DiffuseEditorState::AddGradient(Editor& editor, Terrain& terrain)
{
    editor.commands.AddGradient(terrain);
    selected = -1;
}

void DiffuseEditorState::DeleteSelected(Editor& editor, Terrain& terrain)
{
    if (selected < 0 || static_cast<size_t>(selected) >= terrain.gradients.size()) return;
    editor.commands.DeleteGradient(terrain, static_cast<size_t>(selected));
    closeRequested = true;
}

void DiffuseEditorState::Generate(Editor& editor, Terrain& terrain) const
{
    using Bands = Terrain::BandRecord::Mode;
    const Bands bands = mode == Mode::Height  ? Bands::Height
                        : mode == Mode::Slope ? Bands::Slope
                                              : Bands::Mask;
    editor.commands.GenerateDiffuse(terrain, bands, bands == Bands::Mask ? MaskSource(terrain) : nullptr,
                                    maskChannel);
}

void Editor::ShowDiffuseTextureEditor(const std::shared_ptr<Terrain>& terrainPtr)
{
    Terrain& terrain = *terrainPtr;
    DiffuseEditorState& state = diffuseEditor;
    const std::string title = "Diffuse texture editor##" + terrain.name;
    gui::PlaceToolWindow(gui::ToolWindow::DiffuseEditor);
    if (!gui::Begin(title.c_str(), &texturePanel.diffuseEditorOpen, ImGuiWindowFlags_AlwaysAutoResize))
    {
        ImGui::End();
        return;
    }

    using Mode = DiffuseEditorState::Mode;
    if (ImGui::RadioButton("Height focused", state.mode == Mode::Height)) state.mode = Mode::Height;
    ImGui::SameLine();
    if (ImGui::RadioButton("Slope focused", state.mode == Mode::Slope)) state.mode = Mode::Slope;
    ImGui::SameLine();
    if (ImGui::RadioButton("Erosion mask", state.mode == Mode::Mask)) state.mode = Mode::Mask;
    if (state.mode == Mode::Mask)
    {
        // The bands span 0..255 of one channel of an erosion entry's mask, as height bands span heights.
        const std::shared_ptr<Terrain::Heightmap> source = state.MaskSource(terrain);
        if (!source)
            ImGui::TextColored(kHint, "Add erosion to the layer stack and update the mesh first.");
        else
        {
            ImGui::SetNextItemWidth(160.0f);
            if (ImGui::BeginCombo("Mask##bands", source->name.c_str()))
            {
                for (const auto& layer : terrain.heightmaps)
                {
                    if (!layer || !layer->isErosion) continue;
                    ImGui::PushID(layer.get());
                    if (ImGui::Selectable(layer->name.c_str(), layer == source)) state.maskEntry = layer;
                    ImGui::PopID();
                }
                ImGui::EndCombo();
            }
            ImGui::SameLine();
            ImGui::SetNextItemWidth(160.0f);
            const uint32_t channel = std::min(state.maskChannel, 2u);
            if (ImGui::BeginCombo("Channel##bands", DiffuseEditorState::kMaskChannels[channel]))
            {
                for (uint32_t c = 0; c < 3; ++c)
                    if (ImGui::Selectable(DiffuseEditorState::kMaskChannels[c], c == channel))
                        state.maskChannel = c;
                ImGui::EndCombo();
            }
        }
    }

    if (!terrain.gradients.empty() && ImGui::Button("Generate diffuse texture##Edit"))
        state.Generate(*this, terrain);
    if (ImGui::Button("Add gradient")) state.AddGradient(*this, terrain);

    // The fields edit copies; a change goes to the terrain as a command.
    for (size_t n = 0; n < terrain.gradients.size(); ++n)
    {
        const Gradient& gradient = *terrain.gradients[n];
        if (n > 0) ImGui::SameLine(0.0f, 0.0f);
        ImGui::PushStyleColor(ImGuiCol_FrameBg,
                              ImVec4(gradient.color.r, gradient.color.g, gradient.color.b, gradient.color.a));
        const std::string id = std::to_string(n);
        if (state.mode != DiffuseEditorState::Mode::Slope)
        {
            // Spans may drop to zero or below through a neighbour; the field keeps a visible width.
            ImGui::SetNextItemWidth(std::max(1.0f, static_cast<float>(gradient.heightSpan)));
            int span = gradient.heightSpan;
            if (ImGui::DragInt(("##hgrad" + id).c_str(), &span, 0.1f, 1, 255, "%d"))
                commands.SetHeightSpan(terrain, n, span);
        }
        else
        {
            ImGui::SetNextItemWidth(std::max(1.0f, gradient.slopeSpan));
            float span = gradient.slopeSpan;
            if (ImGui::DragFloat(("##sgrad" + id).c_str(), &span, 1.0f, 1.0f, 90.0f, "%.3f"))
                commands.SetSlopeSpan(terrain, n, span);
        }
        if (ImGui::IsItemHovered()) state.selected = static_cast<int>(n);
        ImGui::PopStyleColor();
    }
    ImGui::SameLine();
    ImGui::TextColored(kHint, state.mode == Mode::Height  ? "Lowest - Highest"
                              : state.mode == Mode::Slope ? "Flat - Steep"
                                                          : "None - Most");

    if (state.selected >= 0 && static_cast<size_t>(state.selected) < terrain.gradients.size())
    {
        ImGui::BeginChild("Gradient", ImVec2(0.0f, 100.0f), true);
        const size_t n = static_cast<size_t>(state.selected);
        Gradient gradient = *terrain.gradients[n];
        bool changed = ImGui::ColorEdit3("Color picker", &gradient.color.r);
        changed |= ImGui::DragFloat("Specular value", &gradient.specular, 0.01f, 0.0f, 1.0f, "%.3f");
        if (state.mode != DiffuseEditorState::Mode::Slope && state.selected > 0)
            changed |= ImGui::DragInt("Decay into lower gradient", &gradient.decay, 1.0f, 0,
                                      terrain.gradients[n - 1]->heightSpan, "%d");
        if (changed) commands.SetGradient(terrain, n, gradient);
        if (ImGui::Button("Delete"))
            state.DeleteSelected(*this, terrain); // the gradient is gone: nothing below may use it
        ImGui::TextColored(kHint, "ESC to close");
        if (gui::KeyDown(GLFW_KEY_ESCAPE) || state.closeRequested)
        {
            state.closeRequested = false;
            state.selected = -1;
        }
        ImGui::EndChild();
    }
    ImGui::End();
}
