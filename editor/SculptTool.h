#pragma once
// Sculpting in the scene window: the Sculpt switch (and its key, B), the brush settings row, and the
// strokes the left button paints on the terrain under the cursor, found by a ray against the height
// field (terrain/Sculpt.h). The right button still flies. Strokes go into a sculpt entry of the layer
// stack: the selected one, else the terrain's last one, else a new one made by the stroke's first dab.
// One copy serves every scene for the whole run.
#include "terrain/Heightmap.h"
#include "terrain/Sculpt.h"

#include <glm/vec2.hpp>
#include <glm/vec3.hpp>
#include <imgui.h>

#include <cstdint>
#include <memory>

class Camera;
class Editor;
class Object;
class Scene;
class Shader;
class Terrain;

struct SculptTool
{
    static constexpr const char* kTools[4] = {"Raise/Lower", "Smooth", "Flatten", "Noise"};
    static constexpr int kDabsPerFrame = 16; // at most, along a fast drag

    bool on = false; // the Sculpt switch
    Sculpt::Brush brush;

    // The ray from the camera through a point of the scene's picture (its top-left corner and size on
    // the screen); false for a picture without area.
    static bool RayThrough(const Camera& camera, glm::vec2 topLeft, glm::vec2 size, glm::vec2 mouse,
                           glm::vec3& origin, glm::vec3& direction);
    // The entry a stroke on the terrain goes into: the selected sculpt entry when it is the terrain's,
    // else the terrain's last sculpt entry, else a new one (a command); it becomes the selection.
    std::shared_ptr<Terrain::Heightmap> StrokeEntry(Editor& editor, Terrain& terrain);

    // Per frame, for the scene whose picture was just drawn (its place on the screen, whether it is
    // hovered): the brush under the cursor, and a dab while the left button is held.
    void Update(Editor& editor, Scene& scene, glm::vec2 topLeft, glm::vec2 size, bool hovered);
    // A stroke from one point to the next: dabs a quarter radius apart, at most kDabsPerFrame.
    void StrokeTo(Editor& editor, Terrain& terrain, glm::vec3 point);
    void EndStroke();
    // The settings row under the scene window's menu bar, while the switch is on.
    void DrawSettings();
    // What the tool held of the session goes (undo, a new project, another terrain).
    void Forget();

    // The brush circle, drawn with the scene it is over (Editor::Render).
    bool CircleShownIn(const Scene& scene) const;
    std::shared_ptr<Object> Circle(const std::shared_ptr<Shader>& shader);

  private:
    void PlaceCircle(const Terrain& terrain, glm::vec3 centre);

    bool stroking = false;
    std::weak_ptr<Terrain::Heightmap> entry;
    std::weak_ptr<Terrain> strokeTerrain;
    glm::vec3 last{0.0f}; // the last dab
    float flattenHeight = 0.0f;
    int32_t strokeSeed = 0;

    std::shared_ptr<Object> circle;
    const Scene* circleScene = nullptr; // the scene the cursor is over, for this frame's drawing
    const Shader* circleShader = nullptr;
};
