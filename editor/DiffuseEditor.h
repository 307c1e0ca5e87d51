#pragma once
// The diffuse texture editor's state (its window is Editor::ShowDiffuseTextureEditor): the band mode,
// the selected gradient, and the erosion mask channel the mask mode paints from.
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"

#include <cstdint>
#include <memory>

class Editor;

struct DiffuseEditorState
{
    enum class Mode
    {
        Height,
        Slope,
        Mask // height bands over a channel of an erosion entry's mask
    };
    static constexpr const char* kMaskChannels[3] = {"Removed (red)", "Deposited (green)",
                                                     "Water flow (blue)"};
    Mode mode = Mode::Height;
    int selected = -1; // gradient index, -1 for none
    bool closeRequested = false;
    std::weak_ptr<Terrain::Heightmap> maskEntry; // the erosion entry chosen for the mask mode
    uint32_t maskChannel = 0;

    // The erosion entry the mask mode paints from: the chosen one while it is in the terrain's list,
    // else the terrain's first erosion entry; null when it has none.
    std::shared_ptr<Terrain::Heightmap> MaskSource(const Terrain& terrain) const;

    // "Add gradient" (the selection is dropped), "Delete" of the selected gradient (the region
    // closes), "Generate diffuse texture##Edit" in the current mode.
    void AddGradient(Editor& editor, Terrain& terrain);
    void DeleteSelected(Editor& editor, Terrain& terrain);
    void Generate(Editor& editor, Terrain& terrain) const;
};
