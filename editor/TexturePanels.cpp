#include "editor/TexturePanels.h"

#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/WaterPlane.h"

#include <algorithm>
#include <cmath>
#include <cstring>

void TexturePanelState::BeginSaveAs(Texture& texture, const Terrain& terrain, const char* suffix)
{
    chosenTexture = &texture;
    texture.saveName = terrain.name + suffix;
    saveFileName = texture.saveName;
    saveDialogOpen = true;
}

void TexturePanelState::BeginEdit(Texture& texture)
{
    chosenTexture = &texture;
    textureEditorOpen = true;
}

void TexturePanelState::Forget(const Texture& texture)
{
    if (chosenTexture != &texture) return;
    chosenTexture = nullptr;
    textureEditorOpen = false;
    saveDialogOpen = false;
}

void TexturePanelState::FinishDirectoryEdit()
{
    // An empty directory means the working folder and stays empty.
    if (!saveDirectory.empty() && saveDirectory.back() != '/' && saveDirectory.back() != '\\')
        saveDirectory += '/';
}

bool TexturePanelState::CanSave() const
{
    return !saveFileName.empty() && std::strcmp(saveExtension, kNoExtension) != 0;
}

bool TexturePanelState::Save(std::string* error)
{
    const bool written = chosenTexture != nullptr && CanSave() && chosenTexture->Save(SavePath(), error);
    saveDialogOpen = false;
    return written;
}

void DiffuseEditorState::AddGradient(Terrain& terrain)
{
    auto gradient = std::make_unique<Gradient>();
    if (terrain.gradients.empty())
    {
        gradient->heightSpan = 255;
        gradient->slopeSpan = 90.0f;
    }
    else
    {
        Gradient& last = *terrain.gradients.back();
        last.heightSpan = static_cast<int32_t>(static_cast<float>(last.heightSpan) * 0.5f);
        last.slopeSpan *= 0.5f;
        gradient->heightSpan = last.heightSpan;
        gradient->slopeSpan = last.slopeSpan;
    }
    gradient->decay = 0;
    gradient->color = glm::vec4(1.0f, 0.0f, 1.0f, 1.0f);
    gradient->specular = 0.0f;
    terrain.gradients.push_back(std::move(gradient));
    selected = -1;
}

void DiffuseEditorState::HeightSpanChanged(Terrain& terrain, size_t n, int oldSpan)
{
    if (terrain.gradients.size() < 2 || n >= terrain.gradients.size()) return;
    const float d = static_cast<float>(terrain.gradients[n]->heightSpan) - static_cast<float>(oldSpan);
    Gradient& neighbour = *terrain.gradients[n == 0 ? 1 : n - 1];
    neighbour.heightSpan = static_cast<int32_t>(static_cast<float>(neighbour.heightSpan) - d);
}

void DiffuseEditorState::SlopeSpanChanged(Terrain& terrain, size_t n, float oldSpan)
{
    if (terrain.gradients.size() < 2 || n >= terrain.gradients.size()) return;
    const float d = terrain.gradients[n]->slopeSpan - oldSpan;
    terrain.gradients[n == 0 ? 1 : n - 1]->slopeSpan -= d;
}

void DiffuseEditorState::DeleteSelected(Terrain& terrain)
{
    if (selected < 0 || static_cast<size_t>(selected) >= terrain.gradients.size()) return;
    terrain.gradients.erase(terrain.gradients.begin() + selected);
    if (!terrain.gradients.empty())
    {
        float heightSum = 0.0f;
        float slopeSum = 0.0f;
        for (const auto& gradient : terrain.gradients)
        {
            heightSum += static_cast<float>(gradient->heightSpan);
            slopeSum += gradient->slopeSpan;
        }
        Gradient& last = *terrain.gradients.back();
        if (heightSum != 255.0f)
            last.heightSpan =
                static_cast<int32_t>(static_cast<float>(last.heightSpan) - (heightSum - 255.0f));
        if (slopeSum != 90.0f) last.slopeSpan -= slopeSum - 90.0f;
    }
    closeRequested = true;
}

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

void DiffuseEditorState::Generate(Terrain& terrain) const
{
    if (mode == Mode::Height)
        terrain.GenerateDiffuseByHeight();
    else if (mode == Mode::Slope)
        terrain.GenerateDiffuseBySlope();
    else if (const auto entry = MaskSource(terrain))
        terrain.GenerateDiffuseByMask(entry, maskChannel);
}

ImVec2 WaterEditorState::TexelAt(ImVec2 mouse, ImVec2 imageTopLeft, float scale, uint32_t rows)
{
    const float bottom = imageTopLeft.y + static_cast<float>(rows) * scale;
    return ImVec2((mouse.x - imageTopLeft.x) / scale, (bottom - mouse.y) / scale);
}

void WaterEditorState::PourAt(Terrain& terrain, ImVec2 texel)
{
    if (terrain.width == 0 || terrain.height == 0 || !terrain.watermapTexture) return;
    // The hover rectangle includes its far edges, where a coordinate reaches the texel count.
    const auto clampTo = [](float value, uint32_t count)
    {
        if (!(value > 0.0f)) return 0u;
        const uint32_t index = static_cast<uint32_t>(value);
        return index >= count ? count - 1 : index;
    };
    // Texel (x, y) of the terrain's images is vertex (i, j) = (y, x).
    const uint32_t x = clampTo(texel.x, terrain.ImageWidth());
    const uint32_t y = clampTo(texel.y, terrain.ImageHeight());
    strokeActive = true;
    terrain.PourWater(y * terrain.ImageWidth() + x);
}

void WaterEditorState::EndStrokeIfReleased(Terrain& terrain, bool buttonDown)
{
    if (strokeActive && !buttonDown)
    {
        terrain.OutlineWater();
        strokeActive = false;
    }
}

void WaterEditorState::Recalculate(Terrain& terrain, const std::shared_ptr<Shader>& shader)
{
    if (terrain.IsEmpty() || !terrain.watermapTexture) return;
    auto plane = std::make_shared<Terrain::WaterPlane>(&terrain);
    if (shader) plane->SetGeometry(plane->mesh, shader);
    if (!plane->mesh->entries.empty()) plane->mesh->entries.front().texture = terrain.watermapTexture->id;
    terrain.waterPlane = plane;
}
