#pragma once
// A world of tiles in the editor (terrain/World.h): File > New > World, and the World window (View >
// World) with the world's settings and a tile picker. The session holds at most one world; its
// terrain is the tile shown, at its place in the world (its noise layers sample there, its image
// layers show their window of the world's images). Showing another tile rebuilds the terrain as that
// tile on the job runner, keeping the layers and gradients; what was painted on the textures or
// poured as water belongs to the tile and is not carried over. Save Project keeps the world.
#include "terrain/World.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Editor;
class Terrain;
struct Project;

// New World's values.
struct NewWorldForm
{
    static constexpr uint32_t kTileSizes[] = {129, 257, 513, 1025, 2049, 4097};
    std::string name;
    int tileSizeIndex = 1; // into kTileSizes
    int tilesX = 4;
    int tilesY = 4;
    float vertexDistance = 1.0f;
    int overlap = 32;
    int originX = 0;
    int originY = 0;

    WorldSettings Settings() const;
    // Why the values make no world (a name error as New Terrain gives it, or World::Check's), or empty.
    std::string Error(const std::vector<std::string>& existingNames) const;
};

struct WorldWindow
{
    std::optional<WorldSettings> settings; // the session's world
    std::weak_ptr<Terrain> terrain;        // its terrain, the tile shown
    bool open = false;                     // the World window
    bool newWorldOpen = false;             // the New World dialog
    NewWorldForm form;

    bool Holds(const Terrain* t) const;

    // New World's "Create": tile (0, 0) of a flat world is made on the job runner and joins the terrain
    // list (with a first scene when there is none); the World window opens. False with the reason
    // (the values, or a session that holds a world already) and nothing started.
    bool Create(Editor& editor, std::string* error = nullptr);
    // Shows tile (x, y) in place of the one shown, on the job runner, as a command. False with the
    // reason when there is no world or no such tile, or (with the Error popup) the session is busy.
    bool ShowTile(Editor& editor, uint32_t x, uint32_t y, std::string* error = nullptr);

    // The project's side (editor/ProjectSession.cpp): the world of a captured session, the index of its
    // terrain among the captured ones; and the world of a restored session.
    void Capture(Project& project, const std::vector<const Terrain*>& terrainOrder) const;
    void Restore(const Project& project, const std::vector<std::shared_ptr<Terrain>>& terrains);
    void Clear();

    void Draw(Editor& editor);
    void DrawNewWorld(Editor& editor);
};
