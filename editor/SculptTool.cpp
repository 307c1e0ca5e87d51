// Sculpting in the scene window (SculptTool.h): the brush under the cursor, strokes as commands, the
// settings row and the brush circle.
#include "editor/SculptTool.h"

#include "editor/Editor.h"
#include "render/Camera.h"
#include "render/Mesh.h"
#include "render/Scene.h"
#include "terrain/Terrain.h"

#include <glm/geometric.hpp>
#include <glm/matrix.hpp>
#include <imgui.h>

#include <algorithm>
#include <cmath>

bool SculptTool::RayThrough(const Camera& camera, glm::vec2 topLeft, glm::vec2 size, glm::vec2 mouse,
                            glm::vec3& origin, glm::vec3& direction)
{
    if (!(size.x > 0.0f && size.y > 0.0f)) return false;
    // The picture shows the framebuffer with its top row at the top: y grows downwards on the screen.
    const float x = 2.0f * (mouse.x - topLeft.x) / size.x - 1.0f;
    const float y = 1.0f - 2.0f * (mouse.y - topLeft.y) / size.y;
    const glm::mat4 unproject = glm::inverse(camera.projection * camera.view);
    glm::vec4 nearPoint = unproject * glm::vec4(x, y, -1.0f, 1.0f);
    glm::vec4 farPoint = unproject * glm::vec4(x, y, 1.0f, 1.0f);
    if (nearPoint.w == 0.0f || farPoint.w == 0.0f) return false;
    nearPoint /= nearPoint.w;
    farPoint /= farPoint.w;
    const glm::vec3 along = glm::vec3(farPoint) - glm::vec3(nearPoint);
    const float length = glm::length(along);
    if (!(length > 0.0f) || !std::isfinite(length)) return false;
    origin = glm::vec3(nearPoint);
    direction = along / length;
    return true;
}

std::shared_ptr<Terrain::Heightmap> SculptTool::StrokeEntry(Editor& editor, Terrain& terrain)
{
    const std::vector<std::shared_ptr<Terrain::Heightmap>>& layers = terrain.heightmaps;
    std::shared_ptr<Terrain::Heightmap> target = editor.layerPanel.selectedLayer;
    if (!target || !target->isSculpt || std::find(layers.begin(), layers.end(), target) == layers.end())
    {
        const auto last = std::find_if(layers.rbegin(), layers.rend(),
                                       [](const std::shared_ptr<Terrain::Heightmap>& layer)
                                       { return layer && layer->isSculpt; });
        target = last != layers.rend() ? *last : editor.commands.AddSculptEntry(terrain);
    }
    // The panel shows the entry the strokes go into (the selection is no change of the document).
    if (editor.layerPanel.selectedLayer != target)
    {
        editor.layerPanel.selectedLayer = target;
        editor.layerPanel.layerEditorOpen = false;
        editor.layerPanel.loadDialogOpen = false;
    }
    return target;
}

void SculptTool::Update(Editor& editor, Scene& scene, glm::vec2 topLeft, glm::vec2 size, bool hovered)
{
    circleScene = nullptr;
    if (!on || !scene.camera || !scene.terrain || scene.terrain->IsEmpty())
    {
        if (stroking && strokeTerrain.lock() == scene.terrain) EndStroke();
        return;
    }
    Terrain& terrain = *scene.terrain;
    const bool flying = ImGui::IsMouseDown(ImGuiMouseButton_Right);
    const bool busy = editor.session.IsBusy(&terrain); // a job reads or changes it
    glm::vec3 hit(0.0f);
    bool hits = false;
    glm::vec3 origin, direction;
    if (hovered && !flying)
    {
        const ImVec2 mouse = ImGui::GetMousePos();
        hits = RayThrough(*scene.camera, topLeft, size, glm::vec2(mouse.x, mouse.y), origin, direction) &&
               Sculpt::Pick(terrain.positions.data(), terrain.width, terrain.height, terrain.Frame(),
                            terrain.minHeight, terrain.maxHeight, origin, direction, hit);
    }
    if (hits)
    {
        PlaceCircle(terrain, hit);
        circleScene = &scene;
    }

    const std::shared_ptr<Terrain> stroked = strokeTerrain.lock();
    if (stroking && (!ImGui::IsMouseDown(ImGuiMouseButton_Left) || flying || busy ||
                     stroked.get() != &terrain || !entry.lock()))
        EndStroke();
    if (!stroking)
    {
        if (!hits || busy || !ImGui::IsMouseClicked(ImGuiMouseButton_Left)) return;
        if (terrain.place.world)
        {
            // A tile's heights come from the world's layers, which every tile shares.
            editor.session.SetNotice("A world's tile cannot be sculpted: shape the world with its layers.");
            return;
        }
        const std::shared_ptr<Terrain::Heightmap> target = StrokeEntry(editor, terrain);
        if (!target) return;
        entry = target;
        strokeTerrain = scene.terrain;
        stroking = true;
        flattenHeight = hit.y; // Flatten pulls toward the height under the first dab
        ++strokeSeed;
        last = hit;
        StrokeTo(editor, terrain, hit);
        return;
    }
    if (hits) StrokeTo(editor, terrain, hit);
}

void SculptTool::StrokeTo(Editor& editor, Terrain& terrain, glm::vec3 point)
{
    const std::shared_ptr<Terrain::Heightmap> target = entry.lock();
    if (!target) return;
    // Dabs a quarter radius apart along a fast drag, so the stroke has no gaps; held still, one dab
    // a frame.
    const float spacing = std::max(0.25f * brush.radius, 1e-6f);
    const float distance = glm::length(glm::vec2(point.x - last.x, point.z - last.z));
    const int dabs = std::clamp(static_cast<int>(std::ceil(distance / spacing)), 1, kDabsPerFrame);
    const glm::vec3 from = distance < spacing ? point : last;
    for (int n = 1; n <= dabs; ++n)
    {
        const glm::vec3 at = from + (point - from) * (static_cast<float>(n) / static_cast<float>(dabs));
        Sculpt::Dab dab;
        dab.x = at.x;
        dab.z = at.z;
        dab.invert = ImGui::GetIO().KeyShift;
        dab.flattenHeight = flattenHeight;
        dab.seed = strokeSeed;
        editor.commands.SculptDab(terrain, *target, brush, dab);
    }
    last = point;
}

void SculptTool::EndStroke()
{
    stroking = false;
}

void SculptTool::DrawSettings()
{
    const float width = 7.0f * ImGui::GetFontSize();
    int tool = static_cast<int>(brush.tool);
    ImGui::SetNextItemWidth(width);
    if (ImGui::Combo("##sculpttool", &tool, kTools, 4)) brush.tool = static_cast<Sculpt::Tool>(tool);
    ImGui::SameLine();
    ImGui::SetNextItemWidth(width);
    ImGui::DragFloat("Radius", &brush.radius, 0.05f, 0.01f, 1.0e6f, "%.2f", ImGuiSliderFlags_AlwaysClamp);
    if (ImGui::IsItemHovered()) ImGui::SetTooltip("In world units, as the vertex distance");
    ImGui::SameLine();
    ImGui::SetNextItemWidth(width);
    ImGui::SliderFloat("Strength", &brush.strength, 0.0f, 1.0f, "%.2f", ImGuiSliderFlags_AlwaysClamp);
    ImGui::SameLine();
    ImGui::SetNextItemWidth(width);
    ImGui::SliderFloat("Falloff", &brush.falloff, 0.0f, 1.0f, "%.2f", ImGuiSliderFlags_AlwaysClamp);
    if (ImGui::IsItemHovered())
        ImGui::SetTooltip("Left button: sculpt (Shift inverts Raise/Lower and Noise); right button: fly");
}

void SculptTool::Forget()
{
    stroking = false;
    entry.reset();
    strokeTerrain.reset();
    circleScene = nullptr;
}

bool SculptTool::CircleShownIn(const Scene& scene) const
{
    return on && circle && circleScene == &scene;
}

std::shared_ptr<Object> SculptTool::Circle(const std::shared_ptr<Shader>& shader)
{
    // Attribute locations belong to one program: bound again when the program is another.
    if (circle && shader && circleShader != shader.get())
    {
        circle->SetGeometry(circle->mesh, shader);
        circleShader = shader.get();
    }
    return circle;
}

void SculptTool::PlaceCircle(const Terrain& terrain, glm::vec3 centre)
{
    constexpr uint32_t kPoints = 64;
    // Lifted a little off the surface, so the depth test keeps it in front of the triangles it follows.
    const float lift = 0.02f * brush.radius + 0.05f * terrain.vertexDistance;
    const std::vector<glm::vec3> points =
        Sculpt::Circle(terrain.positions.data(), terrain.width, terrain.height, terrain.Frame(), centre.x,
                       centre.z, brush.radius, kPoints, lift);
    if (points.empty()) return;
    const bool made = circle != nullptr;
    if (!made) circle = std::make_shared<Object>();
    const uint32_t count = static_cast<uint32_t>(points.size());
    std::vector<float> positions;
    for (const glm::vec3& p : points)
        positions.insert(positions.end(), {p.x, p.y, p.z});
    // No normals to light (drawn fully lit) and no texture: a plain line in the material's colour.
    const std::vector<float> normals(3 * size_t{count}, 0.0f);
    const std::vector<float> texCoords(2 * size_t{count}, 0.0f);
    std::vector<uint32_t> indices(count);
    for (uint32_t n = 0; n < count; ++n)
        indices[n] = n;
    MeshGeometry& mesh = *circle->mesh;
    mesh.UploadAll(count, count, positions.data(), normals.data(), texCoords.data(), indices.data());
    if (!made)
    {
        MeshEntry line = MeshEntry::Whole(count);
        line.ambient = line.diffuse = glm::vec3(1.0f, 0.85f, 0.1f);
        line.specular = glm::vec3(0.0f);
        line.lineStrip = true;
        mesh.entries.assign(1, line);
        circleShader = nullptr; // bound on first drawing
    }
}
