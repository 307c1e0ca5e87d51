// The world of tiles in the editor: New World, the World window and its tile picker, and the world's
// part of capturing and restoring the session.
#include "editor/WorldWindow.h"

#include "editor/Editor.h"
#include "editor/GuiUtil.h"
#include "editor/NewTerrainForm.h"
#include "editor/ProjectSession.h"
#include "terrain/Project.h"
#include "terrain/Terrain.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <memory>

WorldSettings NewWorldForm::Settings() const
{
    WorldSettings w;
    w.tileSize = kTileSizes[std::clamp(tileSizeIndex, 0, 5)];
    w.tilesX = static_cast<uint32_t>(std::max(tilesX, 0));
    w.tilesY = static_cast<uint32_t>(std::max(tilesY, 0));
    w.overlap = static_cast<uint32_t>(std::max(overlap, 0));
    w.originX = originX;
    w.originY = originY;
    return w;
}

std::string NewWorldForm::Error(const std::vector<std::string>& existingNames) const
{
    NewTerrainForm terrain;
    terrain.name = name;
    if (std::string problem = terrain.NameError(existingNames); !problem.empty()) return problem;
    if (!(vertexDistance > 0.0f)) return "The vertex distance has to be above 0.";
    if (tilesX < 1 || tilesY < 1 || overlap < 0) return "A world has at least one tile across and down.";
    TerrainRecord flat;
    flat.name = name;
    std::string reason;
    if (!World::Check(Settings(), flat, &reason)) return "The world cannot be made: " + reason + ".";
    return {};
}

bool WorldWindow::Holds(const Terrain* t) const
{
    return settings && t != nullptr && terrain.lock().get() == t;
}

bool WorldWindow::Create(Editor& editor, std::string* error)
{
    const auto refuse = [error](std::string reason)
    {
        if (error != nullptr) *error = std::move(reason);
        return false;
    };
    if (settings && terrain.lock())
        return refuse("The session holds world " + terrain.lock()->name +
                      " already: a project holds one world.");
    if (std::string problem = form.Error(TerrainNames(editor.terrains)); !problem.empty())
        return refuse(problem);
    const WorldSettings world = form.Settings();
    const std::string name = form.name;
    const float distance = form.vertexDistance;
    JobRunner::Request request;
    request.title = "Creating world " + name + " (" + std::to_string(world.tilesX) + " x " +
                    std::to_string(world.tilesY) + " tiles of " + std::to_string(world.tileSize) + ")";
    request.subject = "the session";
    request.resources = {editor.session.ListsResource()};
    request.cancellable = true;
    return StartJob(
        editor, std::move(request),
        [world, distance](JobContext& job)
        {
            TerrainRecord record;
            TerrainRecord::Generate(world.tileSize, world.tileSize, distance, TerrainGenerator::Flat, 0.0f,
                                    0.0f, 0, true, record,
                                    [&job](float done, std::string_view step)
                                    {
                                        job.Report(done, step);
                                        return !job.CancelRequested();
                                    });
            job.ThrowIfCancelled();
            record.place = World::PlaceOf(world, World::TileWindow(world, 0, 0));
            return record;
        },
        [this, &editor, world, name](TerrainRecord& record)
        {
            auto made = std::make_shared<Terrain>(std::move(record));
            made->name = name;
            editor.commands.Run({"New world", [&]
                                 {
                                     settings = world;
                                     terrain = made;
                                 }});
            editor.commands.AddTerrain(made);
            open = true;
        });
}

bool WorldWindow::ShowTile(Editor& editor, uint32_t x, uint32_t y, std::string* error)
{
    const std::shared_ptr<Terrain> shown = terrain.lock();
    if (!settings || !shown)
    {
        if (error != nullptr) *error = "The session holds no world.";
        return false;
    }
    if (!World::CheckTile(*settings, x, y, error)) return false;
    auto project = std::make_shared<Project>(CaptureProject(editor));
    if (!project->world) return false;
    WorldSettings& world = *project->world;
    TerrainRecord& record = project->terrains[world.terrain];
    // The window shown (painted, maybe) goes back into the world's images; the new tile starts from the
    // world's inputs.
    World::ToWorldForm(record, world);
    world.tileX = x;
    world.tileY = y;
    record = World::TileViewRecord(record, world);

    struct Built
    {
        bool built = false;
        std::string reason;
    };
    JobRunner::Request request;
    request.title =
        "Showing tile " + std::to_string(x) + "," + std::to_string(y) + " of world " + shown->name;
    request.subject = "the session";
    request.resources = {editor.session.ListsResource()};
    for (const auto& t : editor.terrains) // replaced at the end: none may be busy
        request.resources.push_back(t.get());
    request.cancellable = true;
    return StartJob(
        editor, std::move(request),
        [project](JobContext& job)
        {
            Built out;
            out.built = BuildProjectTerrains(*project, &out.reason, JobProgress(job));
            job.ThrowIfCancelled();
            return out;
        },
        [&editor, project, x, y](Built& built)
        {
            if (!built.built)
            {
                editor.SetError("Cannot show tile " + std::to_string(x) + "," + std::to_string(y) + ": " +
                                built.reason);
                return;
            }
            editor.commands.Run({"Show tile", [&] { RestoreBuiltProject(editor, std::move(*project)); }});
        });
}

void WorldWindow::Capture(Project& project, const std::vector<const Terrain*>& terrainOrder) const
{
    const std::shared_ptr<Terrain> shown = terrain.lock();
    if (!settings || !shown) return;
    const auto found = std::find(terrainOrder.begin(), terrainOrder.end(), shown.get());
    if (found == terrainOrder.end()) return;
    project.world = *settings;
    project.world->terrain = static_cast<uint32_t>(found - terrainOrder.begin());
}

void WorldWindow::Restore(const Project& project, const std::vector<std::shared_ptr<Terrain>>& terrains)
{
    Clear();
    if (!project.world || project.world->terrain >= terrains.size()) return;
    settings = project.world;
    terrain = terrains[project.world->terrain];
    open = true;
}

void WorldWindow::Clear()
{
    settings.reset();
    terrain.reset();
    open = false;
}

void WorldWindow::DrawNewWorld(Editor& editor)
{
    gui::PlaceDialog(ImVec2(560.0f, gui::DialogHeight(8, 3, 12.0f)));
    ImGui::OpenPopup("New World");
    if (!ImGui::BeginPopupModal("New World", &newWorldOpen,
                                ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoCollapse | kNoDockingFlag))
        return;
    ImGui::SetNextItemWidth(300.0f);
    ImGui::InputTextWithHint("Name##world", "Input world name", &form.name);
    const char* sizes[] = {"129", "257", "513", "1025", "2049", "4097"};
    ImGui::SetNextItemWidth(200.0f);
    ImGui::Combo("Tile size (vertices a side)", &form.tileSizeIndex, sizes, 6);
    ImGui::SetNextItemWidth(200.0f);
    ImGui::InputInt("Tiles across (x)", &form.tilesX);
    ImGui::SetNextItemWidth(200.0f);
    ImGui::InputInt("Tiles down (z)", &form.tilesY);
    ImGui::SetNextItemWidth(200.0f);
    ImGui::DragFloat("Vertex distance##world", &form.vertexDistance, 0.005f, 0.0001f, 0.0f, "%.3f");
    ImGui::SetNextItemWidth(200.0f);
    ImGui::InputInt("Erosion overlap (vertices)", &form.overlap);
    ImGui::SetNextItemWidth(200.0f);
    ImGui::InputInt2("Origin (world vertex)", &form.originX);
    const std::string problem = form.Error(TerrainNames(editor.terrains));
    if (!problem.empty())
        gui::TextColored(kRed, problem);
    else
    {
        const WorldSettings w = form.Settings();
        gui::TextColored(kGreen, "The world: " + std::to_string(w.Width()) + " x " +
                                     std::to_string(w.Height()) +
                                     " vertices; the editor shows one tile at a time.");
    }
    const ImVec2 buttonSize(200.0f, 30.0f);
    gui::BottomRow(buttonSize.y);
    if (ImGui::Button("Close##world", buttonSize))
    {
        newWorldOpen = false;
        ImGui::CloseCurrentPopup();
    }
    if (problem.empty())
    {
        ImGui::SameLine(ImGui::GetWindowContentRegionMax().x - buttonSize.x);
        std::string error;
        if (ImGui::Button("Create##world", buttonSize))
        {
            if (Create(editor, &error))
            {
                newWorldOpen = false;
                ImGui::CloseCurrentPopup();
            }
            else if (!error.empty())
                editor.SetError(error);
        }
    }
    ImGui::EndPopup();
}

void WorldWindow::Draw(Editor& editor)
{
    const std::shared_ptr<Terrain> shown = terrain.lock();
    if (!settings || !shown)
    {
        open = false;
        return;
    }
    ImGui::SetNextWindowSize(ImVec2(420.0f, 0.0f), ImGuiCond_FirstUseEver);
    if (gui::Begin("World", &open, ImGuiWindowFlags_AlwaysAutoResize))
    {
        const WorldSettings& w = *settings;
        ImGui::Text("World %s: %u x %u tiles of %u x %u vertices", shown->name.c_str(), w.tilesX, w.tilesY,
                    w.tileSize, w.tileSize);
        ImGui::Text("Erosion overlap %u vertices; origin %d, %d", w.overlap, w.originX, w.originY);
        TerrainRecord layers;
        for (const auto& layer : shown->heightmaps)
            if (layer)
            {
                LayerRecord& l = layers.layers.emplace_back();
                l.kind = layer->isErosion   ? LayerKind::Erosion
                         : layer->isTexture ? LayerKind::Image
                                            : LayerKind::Noise;
                l.settings = layer->settings;
                l.worldImage = layer->worldImage;
            }
        float low = 0.0f, high = 0.0f;
        World::HeightRange(layers, w, low, high);
        ImGui::Text("16-bit outputs span %.2f to %.2f", static_cast<double>(low), static_cast<double>(high));
        ImGui::Separator();
        ImGui::Text("Tile shown: %u,%u (x across, y down). Show another:", w.tileX, w.tileY);
        const bool busy = editor.session.IsBusy(editor.session.ListsResource());
        uint32_t pickX = w.tileX, pickY = w.tileY;
        bool picked = false;
        if (w.tilesX <= 16 && w.tilesY <= 16)
        {
            // A button per tile, the world seen from above: x to the right, y (along +z) downwards.
            for (uint32_t y = 0; y < w.tilesY; ++y)
                for (uint32_t x = 0; x < w.tilesX; ++x)
                {
                    if (x > 0) ImGui::SameLine();
                    const std::string label = std::to_string(x) + "," + std::to_string(y) + "##tile";
                    const bool current = x == w.tileX && y == w.tileY;
                    if (current) ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.2f, 0.6f, 0.2f, 1.0f));
                    if (ImGui::Button(label.c_str(), ImVec2(44.0f, 30.0f)) && !current && !busy)
                    {
                        pickX = x;
                        pickY = y;
                        picked = true;
                    }
                    if (current) ImGui::PopStyleColor();
                }
        }
        else
        {
            static int chosen[2] = {0, 0};
            ImGui::SetNextItemWidth(160.0f);
            ImGui::InputInt2("Tile x, y", chosen);
            ImGui::SameLine();
            if (ImGui::Button("Show##tile") && !busy && chosen[0] >= 0 && chosen[1] >= 0)
            {
                pickX = static_cast<uint32_t>(chosen[0]);
                pickY = static_cast<uint32_t>(chosen[1]);
                picked = true;
            }
        }
        gui::TextColored(kHint, "Showing another tile keeps the layers; the textures painted and the water "
                                "poured stay with the tile left.");
        gui::TextColored(kHint, "Build every tile: velmoran-build PROJECT --tiles all --out DIR");
        std::string error;
        if (picked && !ShowTile(editor, pickX, pickY, &error) && !error.empty()) editor.SetError(error);
    }
    ImGui::End();
}
