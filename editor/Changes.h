#pragma once
// What the commands keep for undo (editor/History.h), one kind per part of the document. Each
// Keep:: function names the part a command is about to change; the history keeps it before the command
// applies, once per step. They hold only what changes: pointers for lists, copies of small records,
// the tiles a stroke reaches, and the arrays a long operation replaced (moved, not copied).
#include "editor/History.h"
#include "terrain/Terrain.h"

#include <memory>

class Camera;
class Editor;
class Texture;

namespace Keep
{
// The session's lists (terrains, scenes, cameras, shaders, the scene counter) and what each scene
// shows: its terrain, shader and camera, its Create dialog, window, aspect ratio and look.
Undoable SessionLists(Editor& editor);
// A camera's rotation switch, speed and aspect ratio (not where it is: that is the view).
Undoable CameraSettings(Camera& camera);
// A terrain's layer list and the texture its mesh shows (a deleted mask stops being shown).
Undoable LayerList(Terrain& terrain);
// A layer's settings with its own settings history and, for a noise layer, the image they made.
Undoable LayerSettings(Terrain::Heightmap& layer);
Undoable LayerName(Terrain::Heightmap& layer);
// A texture's pixels a stroke reaches: each dab keeps the tiles of its texels first (x, y: the dab's
// first texel, sizes in texels).
Undoable TexturePixels(Texture& texture, const TerrainGrid::Region& texels);
Undoable TextureFileName(Texture& texture);
// The mesh's shown texture.
Undoable Display(Terrain& terrain);
Undoable Gradients(Terrain& terrain);
// The diffuse and specular textures (made or not, and their pixels), how they were made, and the
// shown texture.
Undoable Bands(Terrain& terrain);
// The water map (the whole map at the stroke's start; only the changed tiles once it ends) and the
// water plane.
Undoable WaterMap(Terrain& terrain);
Undoable WaterPlane(Terrain& terrain);

// The heights, normals, their images and the erosion masks an apply of the layers replaces: the
// change holds the new ones and its first swap is the apply itself (Apply), so nothing is copied.
class HeightsChange : public Change
{
  public:
    HeightsChange(Terrain& terrain, Terrain::LayeredHeights&& heights);
    void Swap() override;
    size_t Bytes() const override;
    // The arrays it holds, for an apply to write over (the change is spent).
    Terrain::LayeredHeights TakeHeights() { return std::move(heights); }

  private:
    Terrain& terrain;
    Terrain::LayeredHeights heights;
};
// Keeps change, which the command's apply swaps in; a second apply in the same step leaves change
// where it is (the step kept the heights before the first) and the caller drops it.
Undoable Heights(Terrain& terrain, std::unique_ptr<HeightsChange>& change);

// A sculpt stroke on one entry: each dab keeps the tiles of the entry's heights and of the terrain's
// heights it reaches first; the stroke's end settles the height range and the entry's preview.
Undoable SculptStroke(Terrain& terrain, Terrain::Heightmap& entry, const TerrainGrid::Region& region);
} // namespace Keep
