#pragma once
// The water editor: the heightmap with the water map over it; a click or drag pours water, the release
// adds the fringe, "Recalculate" builds the water plane and "Reset" clears everything. One copy serves
// every terrain for the whole run.
#include <imgui.h>

#include <cstdint>
#include <memory>

class Editor;
class Terrain;

struct WaterEditor
{
    ImGuiWindowFlags windowFlags = 0;
    ImVec2 lastImagePosition{0.0f, 0.0f};
    bool strokeActive = false;

    // Per frame, while the "Water" tab is selected.
    void Show(Editor& editor, const std::shared_ptr<Terrain>& terrain);

    // Texel of a mouse position over the picture (top-left corner, scale in pixels per texel), with
    // row 0 at the bottom.
    static ImVec2 TexelAt(ImVec2 mouse, ImVec2 imageTopLeft, float scale, uint32_t rows);
    // One stroke point at a texel position: pours at the vertex under it (clamped into the grid).
    void PourAt(Editor& editor, Terrain& terrain, ImVec2 texel);
    // The first frame after the stroke with the button up adds the edge fringe.
    void EndStrokeIfReleased(Editor& editor, Terrain& terrain, bool buttonDown);
};
