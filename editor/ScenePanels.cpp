#include "editor/ScenePanels.h"

#include "render/Camera.h"
#include "render/Scene.h"

#include <algorithm>
#include <cstdlib>
#include <string>

void SceneWindowState::ChooseAspectRatio(Scene& scene, int index)
{
    if (index < 0 || index >= 4) return;
    aspectRatioIndex = index;
    if (index == 0) return;
    const std::string ratio = kAspectRatios[index];
    const size_t colon = ratio.find(':');
    const int a = std::atoi(ratio.substr(0, colon).c_str());
    const int b = std::atoi(ratio.substr(colon + 1).c_str());
    scene.ratioWidth = static_cast<float>(a);
    scene.ratioHeight = static_cast<float>(b);
    if (scene.camera && b != 0)
    {
        scene.camera->aspectRatio = static_cast<float>(a) / static_cast<float>(b);
        scene.camera->Update();
    }
}

bool SceneWindowState::UsesCustomRule(const Scene& scene) const
{
    return aspectRatioIndex == 0 || scene.ratioWidth <= 0.0f || scene.ratioHeight <= 0.0f;
}

ImVec2 SceneWindowState::ImageSize(Scene& scene, ImVec2 available) const
{
    if (UsesCustomRule(scene))
    {
        if (scene.camera && available.x > 0.0f && available.y > 0.0f)
        {
            scene.camera->aspectRatio = available.x / available.y;
            scene.camera->Update();
        }
        return available;
    }
    return ImVec2(available.x, available.x * scene.ratioHeight / scene.ratioWidth);
}

std::shared_ptr<Terrain::Heightmap> LayerPanelState::AddLayer(Terrain& terrain)
{
    auto layer = std::make_shared<Terrain::Heightmap>(terrain.width, terrain.height);
    terrain.heightmaps.push_back(layer);
    layer->name = "Heightmap_" + std::to_string(terrain.heightmaps.size() - 1);
    layer->AppendState(layer->settings);
    ApplyInRealtime(terrain);
    return layer;
}

std::shared_ptr<Terrain::Heightmap> LayerPanelState::AddErosion(Terrain& terrain)
{
    auto entry = Terrain::Heightmap::NewErosion(terrain.width, terrain.height);
    terrain.heightmaps.push_back(entry);
    entry->name = "Erosion_" + std::to_string(terrain.heightmaps.size() - 1);
    entry->AppendState(entry->settings);
    ApplyInRealtime(terrain);
    return entry;
}

void LayerPanelState::ApplyInRealtime(Terrain& terrain) const
{
    if (realtimeUpdate) Apply(terrain);
}

void LayerPanelState::Apply(Terrain& terrain) const
{
    if (applyLayers)
        applyLayers(terrain);
    else
        terrain.ApplyHeightmaps();
}

namespace
{
std::ptrdiff_t IndexOf(const Terrain& terrain, const std::shared_ptr<Terrain::Heightmap>& layer)
{
    const auto it = std::find(terrain.heightmaps.begin(), terrain.heightmaps.end(), layer);
    return it == terrain.heightmaps.end() ? -1 : it - terrain.heightmaps.begin();
}
} // namespace

bool LayerPanelState::CanMoveUp(const Terrain& terrain) const
{
    return IndexOf(terrain, selectedLayer) > 0;
}

bool LayerPanelState::CanMoveDown(const Terrain& terrain) const
{
    const std::ptrdiff_t i = IndexOf(terrain, selectedLayer);
    return i >= 0 && i + 1 < static_cast<std::ptrdiff_t>(terrain.heightmaps.size());
}

void LayerPanelState::MoveUp(Terrain& terrain)
{
    if (!CanMoveUp(terrain)) return;
    const std::ptrdiff_t i = IndexOf(terrain, selectedLayer);
    std::swap(terrain.heightmaps[i], terrain.heightmaps[i - 1]);
    ApplyInRealtime(terrain);
}

void LayerPanelState::MoveDown(Terrain& terrain)
{
    if (!CanMoveDown(terrain)) return;
    const std::ptrdiff_t i = IndexOf(terrain, selectedLayer);
    std::swap(terrain.heightmaps[i], terrain.heightmaps[i + 1]);
    ApplyInRealtime(terrain);
}

void LayerPanelState::DeleteSelected(Terrain& terrain)
{
    const std::ptrdiff_t i = IndexOf(terrain, selectedLayer);
    if (i >= 0)
    {
        const bool shown = selectedLayer->isErosion && !terrain.mesh->entries.empty() &&
                           terrain.mesh->entries[0].texture == selectedLayer->id && selectedLayer->id != 0;
        if (shown) terrain.SetDisplayTexture(terrain.heightmapTexture.get());
        terrain.heightmaps.erase(terrain.heightmaps.begin() + i);
    }
    selectedLayer.reset();
    layerEditorOpen = false;              // the editor must not keep painting a layer that is gone
    if (i >= 0) ApplyInRealtime(terrain); // or the deleted layer's relief stays on the mesh
}

bool LayerPanelState::ReplaceSelectedWithImage(Terrain& terrain, const std::string& path, std::string& error)
{
    const std::ptrdiff_t i = IndexOf(terrain, selectedLayer);
    if (i < 0 || selectedLayer->isErosion) return false;
    std::shared_ptr<Terrain::Heightmap> layer =
        Terrain::Heightmap::LoadTextureLayer(path, terrain.width, terrain.height, &error);
    if (!layer) return false;
    terrain.heightmaps[i] = layer;
    selectedLayer = layer;
    ApplyInRealtime(terrain);
    return true;
}

bool LayerPanelState::NeedsRegeneration(const Changes& changes) const
{
    return changes.realtimeSwitchedOn || changes.noiseSettingChanged ||
           (changes.powerChanged && realtimeUpdate) || changes.undoOrRedo || changes.erosionChanged;
}

void LayerPanelState::Regenerate(Terrain& terrain, Terrain::Heightmap& layer) const
{
    if (!layer.isTexture) layer.Update();
    ApplyInRealtime(terrain);
}

void LayerPanelState::SetNoiseType(Terrain::Heightmap::Settings& settings, int entry)
{
    if (entry < 0 || entry >= 5) return;
    settings.noiseTypeName = kNoiseTypes[entry];
    settings.noiseType = kNoiseCodes[entry];
}

void LayerPanelState::SetFractalType(Terrain::Heightmap::Settings& settings, int entry)
{
    if (entry < 0 || entry >= 3) return;
    settings.fractalTypeName = kFractalTypes[entry];
    settings.fractalType = entry;
}
