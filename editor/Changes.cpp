// The kinds of change the commands keep for undo (Changes.h).
//   - The session's lists and scenes, cameras
//   - Layers: the list, settings, names
//   - Textures: pixels under a stroke, file names, the shown texture, gradients and bands
//   - Water
//   - Heights: an apply of the layers, a sculpt stroke
#include "editor/Changes.h"

#include "editor/Editor.h"
#include "render/Camera.h"
#include "render/Framebuffer.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "terrain/Gradient.h"
#include "terrain/Heightmap.h"
#include "terrain/Tiles.h"
#include "terrain/WaterPlane.h"

#include <algorithm>
#include <cstring>

namespace
{
// A change that exchanges a state (taken by value) with the document's.
template <typename State> class SwapChange : public Change
{
  public:
    using Take = std::function<State()>;
    using Put = std::function<void(State&)>;
    using Count = std::function<size_t(const State&)>;
    SwapChange(Take take, Put put, Count count)
        : take(std::move(take)), put(std::move(put)), count(std::move(count))
    {
        kept = this->take();
    }
    void Swap() override
    {
        State now = take();
        put(kept);
        kept = std::move(now);
    }
    size_t Bytes() const override { return sizeof(State) + (count ? count(kept) : 0); }

  private:
    Take take;
    Put put;
    Count count;
    State kept;
};

template <typename State>
Undoable SwapPart(const void* object, const char* part, std::function<State()> take,
                  std::function<void(State&)> put, std::function<size_t(const State&)> count = {})
{
    Undoable undo;
    undo.object = object;
    undo.part = part;
    undo.keep = [take = std::move(take), put = std::move(put),
                 count = std::move(count)]() -> std::unique_ptr<Change>
    { return std::make_unique<SwapChange<State>>(take, put, count); };
    return undo;
}

std::unique_ptr<uint8_t[]> CopyPixels(const Texture& texture)
{
    if (!texture.data) return nullptr;
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[texture.ByteSize()]);
    std::memcpy(pixels.get(), texture.data.get(), texture.ByteSize());
    return pixels;
}

// A terrain's memory that the history holds once the terrain has left the session (roughly: its
// vertex arrays, triangles and images).
size_t TerrainBytes(const Terrain& terrain)
{
    return size_t{terrain.vertexCount} * 80;
}

template <typename T> bool Holds(const std::vector<std::shared_ptr<T>>& list, const std::shared_ptr<T>& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}
} // namespace

namespace Keep
{
// -------------------------------------------------------------------------------------------------
// The session's lists and scenes, cameras

namespace
{
struct SceneFields
{
    std::shared_ptr<Scene> scene;
    std::shared_ptr<Terrain> terrain;
    std::shared_ptr<Shader> shader;
    std::shared_ptr<Camera> camera;
    bool isNew = true;
    bool showManage = false;
    bool showWindow = false;
    float ratioWidth = 0.0f;
    float ratioHeight = 0.0f;
    bool useBackground = false;
    bool wireframe = false;
    glm::vec4 clearColor{0.0f};
};

struct Lists
{
    std::vector<std::shared_ptr<Terrain>> terrains;
    std::vector<std::shared_ptr<Scene>> scenes;
    std::vector<std::shared_ptr<Camera>> cameras;
    std::vector<std::shared_ptr<Shader>> shaders;
    uint32_t sceneCounter = 0;
    int aspectRatioIndex = 0; // the scene window's choice, which projects keep
    std::vector<SceneFields> fields;
};
} // namespace

Undoable SessionLists(Editor& editor)
{
    return SwapPart<Lists>(
        &editor, "lists",
        [&editor]
        {
            Lists lists{editor.terrains,
                        editor.scenes,
                        editor.cameras,
                        editor.shaders,
                        editor.sceneCounter,
                        editor.sceneWindow.aspectRatioIndex,
                        {}};
            for (const auto& scene : editor.scenes)
            {
                SceneFields f;
                f.scene = scene;
                f.terrain = scene->terrain;
                f.shader = scene->shader;
                f.camera = scene->camera;
                f.isNew = scene->isNew;
                f.showManage = scene->showManage;
                f.showWindow = scene->showWindow;
                f.ratioWidth = scene->ratioWidth;
                f.ratioHeight = scene->ratioHeight;
                f.useBackground = scene->useBackground;
                if (scene->framebuffer)
                {
                    f.wireframe = scene->framebuffer->wireframe;
                    f.clearColor = scene->framebuffer->clearColor;
                }
                lists.fields.push_back(std::move(f));
            }
            return lists;
        },
        [&editor](Lists& lists)
        {
            editor.terrains = lists.terrains;
            editor.scenes = lists.scenes;
            editor.cameras = lists.cameras;
            editor.shaders = lists.shaders;
            editor.sceneCounter = lists.sceneCounter;
            editor.sceneWindow.aspectRatioIndex = lists.aspectRatioIndex;
            for (const SceneFields& f : lists.fields)
            {
                Scene& scene = *f.scene;
                scene.terrain = f.terrain;
                scene.shader = f.shader;
                scene.camera = f.camera;
                scene.isNew = f.isNew;
                scene.showManage = f.showManage;
                scene.showWindow = f.showWindow;
                scene.ratioWidth = f.ratioWidth;
                scene.ratioHeight = f.ratioHeight;
                scene.useBackground = f.useBackground;
                if (scene.framebuffer)
                {
                    scene.framebuffer->wireframe = f.wireframe;
                    scene.framebuffer->clearColor = f.clearColor;
                }
                // Attribute locations belong to one program: the mesh is bound to the scene's again.
                if (scene.terrain && scene.shader && !scene.terrain->IsEmpty())
                    scene.terrain->SetGeometry(scene.terrain->mesh, scene.shader);
            }
        },
        [&editor](const Lists& lists)
        {
            // Pointers, and whole terrains the session no longer holds (an undone New Terrain).
            size_t bytes = 16 * (lists.terrains.size() + lists.scenes.size() + lists.cameras.size() +
                                 lists.shaders.size()) +
                           sizeof(SceneFields) * lists.fields.size();
            for (const auto& terrain : lists.terrains)
                if (!Holds(editor.terrains, terrain)) bytes += TerrainBytes(*terrain);
            return bytes;
        });
}

namespace
{
struct CameraState
{
    bool rotate = false;
    float speed = 1.0f;
    float aspectRatio = 1.0f;
};
} // namespace

Undoable CameraSettings(Camera& camera)
{
    return SwapPart<CameraState>(
        &camera, "settings",
        [&camera] {
            return CameraState{camera.rotate, camera.speed, camera.aspectRatio};
        },
        [&camera](CameraState& state)
        {
            camera.rotate = state.rotate;
            camera.speed = state.speed;
            camera.aspectRatio = state.aspectRatio;
            if (!camera.rotate) camera.Update(); // an orbit moves on in every frame's update anyway
        });
}

// -------------------------------------------------------------------------------------------------
// Layers

namespace
{
uint32_t ShownTexture(const Terrain& terrain)
{
    return terrain.mesh->entries.empty() ? 0u : terrain.mesh->entries[0].texture;
}

void Show(Terrain& terrain, uint32_t texture)
{
    if (!terrain.mesh->entries.empty()) terrain.mesh->entries[0].texture = texture;
}

struct LayerListState
{
    std::vector<std::shared_ptr<Terrain::Heightmap>> layers;
    uint32_t shown = 0;
};

size_t LayerBytes(const Terrain::Heightmap& layer)
{
    return layer.ByteSize() + sizeof(float) * (layer.sculpt.size() + layer.smoothLevels.size());
}
} // namespace

Undoable LayerList(Terrain& terrain)
{
    return SwapPart<LayerListState>(
        &terrain, "layers",
        [&terrain] {
            return LayerListState{terrain.heightmaps, ShownTexture(terrain)};
        },
        [&terrain](LayerListState& state)
        {
            terrain.heightmaps = state.layers;
            Show(terrain, state.shown);
        },
        [&terrain](const LayerListState& state)
        {
            // The layers the terrain no longer holds (deleted or replaced ones) live on here.
            size_t bytes = 16 * state.layers.size();
            for (const auto& layer : state.layers)
                if (layer && !Holds(terrain.heightmaps, layer)) bytes += LayerBytes(*layer);
            return bytes;
        });
}

namespace
{
struct LayerSettingsState
{
    Terrain::Heightmap::Settings settings;
    std::deque<std::shared_ptr<const Terrain::Heightmap::Settings>> states;
    uint32_t currentState = 0;
};

// A noise layer's settings make its image: the image goes back and forth with them, exchanged, not
// generated again.
class LayerSettingsChange : public Change
{
  public:
    explicit LayerSettingsChange(Terrain::Heightmap& layer) : layer(layer), kept(Take())
    {
        if (Noise())
        {
            pixels = CopyPixels(layer);
            smoothLevels = layer.smoothLevels;
        }
    }
    void Swap() override
    {
        LayerSettingsState now = Take();
        layer.settings = kept.settings;
        layer.states = kept.states;
        layer.currentState = kept.currentState;
        kept = std::move(now);
        layer.CopySettingsToNoise();
        if (Noise() && pixels)
        {
            std::swap(layer.data, pixels);
            std::swap(layer.smoothLevels, smoothLevels);
            layer.Texture::Update();
        }
    }
    size_t Bytes() const override
    {
        return sizeof(*this) + kept.states.size() * (sizeof(Terrain::Heightmap::Settings) + 32) +
               (pixels ? layer.ByteSize() : 0) + smoothLevels.size() * sizeof(float);
    }

  private:
    bool Noise() const { return !layer.isTexture && !layer.isErosion && !layer.isSculpt; }
    LayerSettingsState Take() const { return {layer.settings, layer.states, layer.currentState}; }

    Terrain::Heightmap& layer;
    LayerSettingsState kept;
    std::unique_ptr<uint8_t[]> pixels;
    std::vector<float> smoothLevels;
};
} // namespace

Undoable LayerSettings(Terrain::Heightmap& layer)
{
    Undoable undo;
    undo.object = &layer;
    undo.part = "settings";
    undo.keep = [&layer]() -> std::unique_ptr<Change>
    { return std::make_unique<LayerSettingsChange>(layer); };
    return undo;
}

Undoable LayerName(Terrain::Heightmap& layer)
{
    return SwapPart<std::string>(
        &layer, "name", [&layer] { return layer.name; }, [&layer](std::string& name) { layer.name = name; },
        [](const std::string& name) { return name.size(); });
}

// -------------------------------------------------------------------------------------------------
// Textures

namespace
{
class TexturePixelsChange : public Change
{
  public:
    explicit TexturePixelsChange(Texture& texture)
        : texture(texture), tiles(texture.height, texture.width, texture.channels, texture.channels)
    {
    }
    void KeepTexels(const TerrainGrid::Region& texels) { tiles.Keep(texture.data.get(), texels); }
    void Swap() override
    {
        if (!texture.data) return;
        tiles.Swap(texture.data.get());
        texture.Update(); // as a dab sends it, with its mipmaps
    }
    size_t Bytes() const override { return sizeof(*this) + tiles.Bytes(); }
    void Finish() override { tiles.DropUnchanged(texture.data.get()); }

  private:
    Texture& texture;
    TileSwap tiles;
};
} // namespace

Undoable TexturePixels(Texture& texture, const TerrainGrid::Region& texels)
{
    Undoable undo;
    undo.object = &texture;
    undo.part = "pixels";
    undo.keep = [&texture, texels]() -> std::unique_ptr<Change>
    {
        auto change = std::make_unique<TexturePixelsChange>(texture);
        change->KeepTexels(texels);
        return change;
    };
    undo.extend = [texels](Change& change) { static_cast<TexturePixelsChange&>(change).KeepTexels(texels); };
    return undo;
}

Undoable TextureFileName(Texture& texture)
{
    return SwapPart<std::string>(
        &texture, "file name", [&texture] { return texture.saveName; },
        [&texture](std::string& name) { texture.saveName = name; },
        [](const std::string& name) { return name.size(); });
}

Undoable Display(Terrain& terrain)
{
    return SwapPart<uint32_t>(
        &terrain, "display", [&terrain] { return ShownTexture(terrain); },
        [&terrain](uint32_t& texture) { Show(terrain, texture); });
}

Undoable Gradients(Terrain& terrain)
{
    return SwapPart<std::vector<Gradient>>(
        &terrain, "gradients",
        [&terrain]
        {
            std::vector<Gradient> gradients;
            for (const auto& gradient : terrain.gradients)
                gradients.push_back(*gradient);
            return gradients;
        },
        [&terrain](std::vector<Gradient>& gradients)
        {
            terrain.gradients.clear();
            for (const Gradient& gradient : gradients)
                terrain.gradients.push_back(std::make_unique<Gradient>(gradient));
        },
        [](const std::vector<Gradient>& gradients) { return gradients.size() * sizeof(Gradient); });
}

namespace
{
// One of a terrain's made textures as a state to put in: whether it exists in it and with which pixels.
// While the document holds the texture only the pixels are kept; while it does not, the texture itself.
struct TextureSlot
{
    bool present = false;
    std::unique_ptr<Texture> detached;
    std::unique_ptr<uint8_t[]> pixels;

    static TextureSlot Of(const std::unique_ptr<Texture>& live)
    {
        TextureSlot slot;
        slot.present = live != nullptr;
        if (live) slot.pixels = CopyPixels(*live);
        return slot;
    }
    void Swap(std::unique_ptr<Texture>& live)
    {
        if (present && live)
        {
            std::swap(live->data, pixels);
            live->Update();
        }
        else if (present)
        {
            live = std::move(detached); // it comes back as it was
            present = false;
        }
        else if (live)
        {
            detached = std::move(live);
            present = true;
        }
    }
    size_t Bytes() const { return detached ? detached->ByteSize() : 0; }
};

class BandsChange : public Change
{
  public:
    explicit BandsChange(Terrain& terrain)
        : terrain(terrain), diffuse(TextureSlot::Of(terrain.diffuseTexture)),
          specular(TextureSlot::Of(terrain.specularTexture)), band(terrain.bandRecord),
          shown(ShownTexture(terrain)),
          pixelBytes((terrain.diffuseTexture ? terrain.diffuseTexture->ByteSize() : 0) +
                     (terrain.specularTexture ? terrain.specularTexture->ByteSize() : 0))
    {
    }
    void Swap() override
    {
        diffuse.Swap(terrain.diffuseTexture);
        specular.Swap(terrain.specularTexture);
        std::swap(band, terrain.bandRecord);
        const uint32_t now = ShownTexture(terrain);
        Show(terrain, shown);
        shown = now;
    }
    size_t Bytes() const override { return sizeof(*this) + pixelBytes + diffuse.Bytes() + specular.Bytes(); }

  private:
    Terrain& terrain;
    TextureSlot diffuse;
    TextureSlot specular;
    Terrain::BandRecord band;
    uint32_t shown = 0;
    size_t pixelBytes = 0; // the kept pixels of textures that existed before
};
} // namespace

Undoable Bands(Terrain& terrain)
{
    Undoable undo;
    undo.object = &terrain;
    undo.part = "bands";
    undo.keep = [&terrain]() -> std::unique_ptr<Change> { return std::make_unique<BandsChange>(terrain); };
    return undo;
}

// -------------------------------------------------------------------------------------------------
// Water

namespace
{
// A pour may reach any part of the map: the whole map is kept at the stroke's start, and once the stroke
// ends only the tiles it changed.
class WaterMapChange : public Change
{
  public:
    explicit WaterMapChange(Texture& map) : map(map), tiles(map.height, map.width, map.channels, map.channels)
    {
        tiles.KeepAll(map.data.get());
    }
    void Swap() override
    {
        if (!map.data) return;
        tiles.Swap(map.data.get());
        map.Update();
    }
    size_t Bytes() const override { return sizeof(*this) + tiles.Bytes(); }
    void Finish() override { tiles.DropUnchanged(map.data.get()); }

  private:
    Texture& map;
    TileSwap tiles;
};
} // namespace

Undoable WaterMap(Terrain& terrain)
{
    Undoable undo;
    undo.object = &terrain;
    undo.part = "water map";
    undo.keep = [&terrain]() -> std::unique_ptr<Change>
    {
        if (!terrain.watermapTexture || !terrain.watermapTexture->data) return nullptr;
        return std::make_unique<WaterMapChange>(*terrain.watermapTexture);
    };
    return undo;
}

Undoable WaterPlane(Terrain& terrain)
{
    return SwapPart<std::shared_ptr<Terrain::WaterPlane>>(
        &terrain, "water plane", [&terrain] { return terrain.waterPlane; },
        [&terrain](std::shared_ptr<Terrain::WaterPlane>& plane) { terrain.waterPlane = plane; },
        [&terrain](const std::shared_ptr<Terrain::WaterPlane>& plane) -> size_t
        {
            if (!plane || plane == terrain.waterPlane) return 0;
            return sizeof(float) *
                       (plane->positions.size() + plane->normals.size() + plane->texCoords.size()) +
                   sizeof(uint32_t) * plane->indices.size();
        });
}

// -------------------------------------------------------------------------------------------------
// Heights

HeightsChange::HeightsChange(Terrain& terrain, Terrain::LayeredHeights&& heights)
    : terrain(terrain), heights(std::move(heights))
{
}

void HeightsChange::Swap()
{
    terrain.SwapLayerHeights(heights);
}

size_t HeightsChange::Bytes() const
{
    const size_t count = size_t{terrain.width} * terrain.height;
    size_t bytes = sizeof(*this) + sizeof(float) * (heights.positions.size() + heights.normals.size());
    if (heights.heightmapPixels) bytes += count;
    if (heights.normalPixels) bytes += 3 * count;
    for (const auto& mask : heights.masks)
        if (mask.pixels) bytes += mask.entry->ByteSize();
    return bytes;
}

Undoable Heights(Terrain& terrain, std::unique_ptr<HeightsChange>& change)
{
    Undoable undo;
    undo.object = &terrain;
    undo.part = "heights";
    undo.keep = [&change]() -> std::unique_ptr<Change> { return std::move(change); };
    return undo;
}

namespace
{
class SculptStrokeChange : public Change
{
  public:
    SculptStrokeChange(Terrain& terrain, Terrain::Heightmap& entry)
        : terrain(terrain), entry(entry), sculpt(terrain.width, terrain.height, 4, 4),
          heights(terrain.width, terrain.height, 4, 12, 4), range{terrain.minHeight, terrain.maxHeight}
    {
    }
    // Before a dab writes them.
    void KeepRegion(const TerrainGrid::Region& region)
    {
        sculpt.Keep(reinterpret_cast<const uint8_t*>(entry.sculpt.data()), region);
        heights.Keep(reinterpret_cast<const uint8_t*>(terrain.positions.data()), region);
    }
    void Finish() override
    {
        terrain.SettleHeights();
        entry.UpdateSculptPreview();
    }
    void Swap() override
    {
        if (entry.sculpt.size() != size_t{terrain.width} * terrain.height) return;
        sculpt.Swap(reinterpret_cast<uint8_t*>(entry.sculpt.data()));
        heights.Swap(reinterpret_cast<uint8_t*>(terrain.positions.data()));
        // The range the stroke started (or ended) with, exact: no pass over the whole grid.
        const TerrainGrid::HeightRange now{terrain.minHeight, terrain.maxHeight};
        terrain.RefreshHeights(heights.Runs(), &range);
        range = now;
        entry.UpdateSculptPreview();
    }
    size_t Bytes() const override { return sizeof(*this) + sculpt.Bytes() + heights.Bytes(); }

  private:
    Terrain& terrain;
    Terrain::Heightmap& entry;
    TileSwap sculpt;
    TileSwap heights;
    TerrainGrid::HeightRange range;
};
} // namespace

Undoable SculptStroke(Terrain& terrain, Terrain::Heightmap& entry, const TerrainGrid::Region& region)
{
    Undoable undo;
    undo.object = &entry;
    undo.part = "sculpt";
    undo.keep = [&terrain, &entry, region]() -> std::unique_ptr<Change>
    {
        auto change = std::make_unique<SculptStrokeChange>(terrain, entry);
        change->KeepRegion(region);
        return change;
    };
    undo.extend = [region](Change& change) { static_cast<SculptStrokeChange&>(change).KeepRegion(region); };
    return undo;
}
} // namespace Keep
