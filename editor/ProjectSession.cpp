// The session as a project: capturing the editor's objects into the GL-free model, and rebuilding
// them from it. The project commands and their dialogs are ProjectDialogs.cpp.
//   - Capture: terrains (arrays and texture pixels), cameras, scenes, user shaders
//   - Restore: TerrainBuild's arrays into GL terrains, textures, layers and water planes
#include "editor/Editor.h"

#include "engine/Engine.h"
#include "engine/Log.h"
#include "engine/ProcessMemory.h"
#include "io/ProjectFile.h"
#include "render/Camera.h"
#include "render/Framebuffer.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "terrain/Heightmap.h"
#include "terrain/Project.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainBuild.h"
#include "terrain/Water.h"
#include "terrain/WaterPlane.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace
{
// Editor::Initialize puts these first in the shader list; a project keeps the ones after them.
constexpr size_t kBuiltInShaders = 3;

// ---------------------------------------------------------------------------------------------
// Capture

ProjectImage ImageOf(const Texture* texture)
{
    ProjectImage image;
    if (texture == nullptr || !texture->data) return image;
    image.width = texture->width;
    image.height = texture->height;
    image.channels = texture->channels;
    image.pixels.assign(texture->data.get(), texture->data.get() + texture->ByteSize());
    image.linear = texture->filter != GL_NEAREST;
    image.mipmaps = texture->mipmaps;
    image.source = texture->name;
    image.saveName = texture->saveName;
    return image;
}

// A terrain texture of the grid's size and channels; anything else is left to be made again on opening.
ProjectImage GridImageOf(const Terrain& terrain, const Texture* texture, uint32_t channels, const char* what)
{
    ProjectImage image = ImageOf(texture);
    if (image.Stored() && (image.width != terrain.ImageWidth() || image.height != terrain.ImageHeight() ||
                           image.channels != channels))
    {
        Log::Warn("Terrain {}: its {} texture is {} x {} with {} channels, not the grid's; it is not saved.",
                  terrain.name, what, image.width, image.height, image.channels);
        return {};
    }
    return image;
}

ProjectLayerSettings SettingsOf(const Terrain::Heightmap::Settings& s)
{
    return {s.power,     s.seed,        s.frequency,    s.offsetX,       s.offsetY,
            s.octaves,   s.gain,        s.lacunarity,   s.noiseTypeName, s.fractalTypeName,
            s.noiseType, s.fractalType, s.smoothHeights};
}

Terrain::Heightmap::Settings SettingsOf(const ProjectLayerSettings& s)
{
    Terrain::Heightmap::Settings settings;
    settings.power = s.power;
    settings.seed = s.seed;
    settings.frequency = s.frequency;
    settings.offsetX = s.offsetX;
    settings.offsetY = s.offsetY;
    settings.octaves = s.octaves;
    settings.gain = s.gain;
    settings.lacunarity = s.lacunarity;
    settings.noiseTypeName = s.noiseTypeName;
    settings.fractalTypeName = s.fractalTypeName;
    settings.noiseType = s.noiseType;
    settings.fractalType = s.fractalType;
    settings.smoothHeights = s.smoothHeights;
    return settings;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

const char* GeneratorKind(const Terrain::GeneratorRecord& record)
{
    if (record.fromFile) return ProjectGenerator::kFile;
    switch (record.generator)
    {
    case Terrain::Generator::DiamondSquare:
        return ProjectGenerator::kDiamondSquare;
    case Terrain::Generator::RandomFault:
        return ProjectGenerator::kRandomFault;
    case Terrain::Generator::Flat:
        break;
    }
    return ProjectGenerator::kFlat;
}

ProjectTerrain CaptureTerrain(const Terrain& terrain)
{
    const size_t count = size_t{terrain.width} * terrain.height;
    if (terrain.IsEmpty() || count == 0 || terrain.positions.size() < 3 * count ||
        terrain.basePositions.size() < 3 * count || terrain.texCoords.size() < 2 * count)
    {
        ProjectTerrain t;
        t.name = terrain.name;
        return t; // an empty terrain keeps its name only
    }

    const Terrain::GeneratorRecord& record = terrain.generatorRecord;
    ProjectTerrain t = TerrainBuild::BaseRecord(
        terrain.name, terrain.width, terrain.height, terrain.vertexDistance,
        {GeneratorKind(record), record.parameter1, record.parameter2, record.iterations, record.seed},
        terrain.basePositions.data(), terrain.texCoords.data());

    std::vector<const Terrain::Heightmap*> captured; // the entries of t.layers, for the band record
    for (const auto& layer : terrain.heightmaps)
    {
        if (!layer) continue;
        ProjectLayer entry;
        entry.name = layer->name;
        if (layer->isErosion)
        {
            // Its mask as shown: the last run's, which the heights may no longer follow.
            entry.kind = ProjectLayer::kErosion;
            entry.erosion = layer->settings.erosion;
            entry.image = GridImageOf(terrain, layer.get(), 3, "erosion mask");
            t.layers.push_back(std::move(entry));
            captured.push_back(layer.get());
            continue;
        }
        entry.kind = layer->isTexture ? ProjectLayer::kImage : ProjectLayer::kNoise;
        entry.settings = SettingsOf(layer->settings);
        entry.image = ImageOf(layer.get());
        const bool fitsNoise = entry.image.width == terrain.ImageWidth() &&
                               entry.image.height == terrain.ImageHeight() && entry.image.channels == 1;
        if (!entry.image.Stored() || (!layer->isTexture && !fitsNoise))
        {
            // Such a layer adds nothing to the heights; its image could not be read back.
            Log::Warn("Terrain {}: layer {} has no image of the grid's size and is not saved.", terrain.name,
                      layer->name);
            continue;
        }
        t.layers.push_back(std::move(entry));
        captured.push_back(layer.get());
    }

    // The current heights are stored only when they are not what the layers give (the layers changed
    // after they were last applied). An erosion entry that would have to run again means they changed:
    // saving stores the heights rather than waiting for the run.
    std::vector<float> layered;
    const bool followsLayers = terrain.LayeredPositions(layered, true);
    const std::vector<float> current(terrain.positions.begin(), terrain.positions.begin() + 3 * count);
    if (!followsLayers || !SameBits(layered, current))
    {
        t.heights.resize(count);
        for (size_t k = 0; k < count; ++k)
            t.heights[k] = current[3 * k + 1];
    }

    for (const auto& gradient : terrain.gradients)
        if (gradient) t.gradients.push_back(*gradient);
    switch (terrain.bandRecord.mode)
    {
    case Terrain::BandRecord::Mode::Height:
        t.bands.mode = ProjectBands::kHeight;
        break;
    case Terrain::BandRecord::Mode::Slope:
        t.bands.mode = ProjectBands::kSlope;
        break;
    case Terrain::BandRecord::Mode::Mask:
    {
        // The erosion entry is named by its place in the list; one that is gone leaves no record (the
        // diffuse and specular pixels are kept all the same).
        const auto entry = terrain.bandRecord.maskEntry.lock();
        const auto found = std::find(captured.begin(), captured.end(), entry.get());
        t.bands.mode = entry && found != captured.end() ? ProjectBands::kMask : ProjectBands::kNone;
        t.bands.maskLayer = static_cast<uint32_t>(found - captured.begin());
        t.bands.maskChannel = terrain.bandRecord.maskChannel;
        if (t.bands.mode == ProjectBands::kNone) t.bands.maskLayer = 0;
        break;
    }
    case Terrain::BandRecord::Mode::None:
        t.bands.mode = ProjectBands::kNone;
        break;
    }
    t.bands.seed = terrain.bandRecord.seed;

    t.heightmap = GridImageOf(terrain, terrain.heightmapTexture.get(), 1, "heightmap");
    t.normal = GridImageOf(terrain, terrain.normalTexture.get(), 3, "normal");
    t.diffuse = GridImageOf(terrain, terrain.diffuseTexture.get(), 3, "diffuse");
    t.specular = GridImageOf(terrain, terrain.specularTexture.get(), 1, "specular");
    t.watermap = GridImageOf(terrain, terrain.watermapTexture.get(), 4, "water map");

    const uint32_t shown =
        terrain.mesh && !terrain.mesh->entries.empty() ? terrain.mesh->entries[0].texture : 0u;
    const std::pair<const char*, const Texture*> displays[] = {{"heightmap", terrain.heightmapTexture.get()},
                                                               {"normal", terrain.normalTexture.get()},
                                                               {"diffuse", terrain.diffuseTexture.get()},
                                                               {"specular", terrain.specularTexture.get()}};
    t.display = shown == 0 ? "none" : "heightmap";
    for (const auto& [key, texture] : displays)
        if (texture != nullptr && texture->id == shown && shown != 0) t.display = key;

    // The water plane is a snapshot: its arrays are kept when it no longer follows the map and heights.
    if (const auto& plane = terrain.waterPlane)
    {
        t.waterPlaneBuilt = true;
        Water::PlaneMesh rebuilt;
        if (t.watermap.Stored())
            rebuilt = Water::BuildPlane(t.watermap.pixels.data(), terrain.positions.data(), terrain.width,
                                        terrain.height, terrain.vertexDistance, terrain.minHeight);
        if (!SameBits(rebuilt.positions, plane->positions) ||
            !SameBits(rebuilt.texCoords, plane->texCoords) || rebuilt.indices != plane->indices)
        {
            t.waterPlane.stored = true;
            t.waterPlane.positions = plane->positions;
            t.waterPlane.texCoords = plane->texCoords;
            t.waterPlane.indices = plane->indices;
        }
    }
    return t;
}

ProjectCamera CaptureCamera(const Camera& c, bool listed)
{
    ProjectCamera p;
    p.name = c.name;
    p.viewHeight = c.viewHeight;
    p.aspectRatio = c.aspectRatio;
    p.zNear = c.zNear;
    p.zFar = c.zFar;
    p.fov = c.fov;
    p.speed = c.speed;
    p.yaw = c.yaw;
    p.pitch = c.pitch;
    p.perspective = c.perspective;
    p.rotate = c.rotate;
    p.position = c.position;
    p.up = c.up;
    p.front = c.front;
    p.listed = listed;
    return p;
}

// ---------------------------------------------------------------------------------------------
// Restore

std::unique_ptr<uint8_t[]> PixelsOf(const ProjectImage& image)
{
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[image.pixels.size()]);
    std::memcpy(pixels.get(), image.pixels.data(), image.pixels.size());
    return pixels;
}

std::unique_ptr<Texture> TextureOf(const ProjectImage& image)
{
    if (!image.Stored()) return nullptr;
    auto texture = std::make_unique<Texture>(image.width, image.height, image.channels, PixelsOf(image),
                                             image.mipmaps, image.linear ? GL_LINEAR : GL_NEAREST);
    texture->name = image.source;
    texture->saveName = image.saveName;
    return texture;
}

std::shared_ptr<Terrain> RestoreTerrain(ProjectTerrain& t, BuiltTerrain& built,
                                        const std::shared_ptr<Shader>& waterShader)
{
    auto terrain = std::make_shared<Terrain>(0, 0, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    terrain->name = t.name;
    if (t.Empty()) return terrain;

    terrain->width = built.width;
    terrain->height = built.height;
    terrain->vertexCount = built.width * built.height;
    terrain->vertexDistance = built.vertexDistance;
    terrain->minHeight = built.minHeight;
    terrain->maxHeight = built.maxHeight;
    terrain->positions = std::move(built.positions);
    terrain->basePositions = std::move(built.basePositions);
    terrain->normals = std::move(built.normals);
    terrain->texCoords = std::move(built.texCoords);
    terrain->indices = std::move(built.indices);
    terrain->indexCount = static_cast<uint32_t>(terrain->indices.size());
    terrain->SetMesh(std::make_unique<MeshGeometry>());
    terrain->mesh->entries.assign(1, MeshEntry::Whole(terrain->indexCount));
    terrain->mesh->UploadAll(terrain->vertexCount, terrain->indexCount, terrain->positions.data(),
                             terrain->normals.data(), terrain->texCoords.data(), terrain->indices.data());

    terrain->heightmapTexture = TextureOf(t.heightmap);
    terrain->normalTexture = TextureOf(t.normal);
    terrain->diffuseTexture = TextureOf(t.diffuse);
    terrain->specularTexture = TextureOf(t.specular);
    terrain->watermapTexture = TextureOf(t.watermap);
    const Texture* shown = nullptr;
    if (t.display == "heightmap")
        shown = terrain->heightmapTexture.get();
    else if (t.display == "normal")
        shown = terrain->normalTexture.get();
    else if (t.display == "diffuse")
        shown = terrain->diffuseTexture.get();
    else if (t.display == "specular")
        shown = terrain->specularTexture.get();
    terrain->SetDisplayTexture(shown);

    Terrain::GeneratorRecord& record = terrain->generatorRecord;
    record.fromFile = t.generator.kind == ProjectGenerator::kFile;
    record.generator = t.generator.kind == ProjectGenerator::kDiamondSquare
                           ? Terrain::Generator::DiamondSquare
                       : t.generator.kind == ProjectGenerator::kRandomFault ? Terrain::Generator::RandomFault
                                                                            : Terrain::Generator::Flat;
    record.parameter1 = t.generator.parameter1;
    record.parameter2 = t.generator.parameter2;
    record.iterations = t.generator.iterations;
    record.seed = t.generator.seed;
    terrain->bandRecord.mode = t.bands.mode == ProjectBands::kHeight  ? Terrain::BandRecord::Mode::Height
                               : t.bands.mode == ProjectBands::kSlope ? Terrain::BandRecord::Mode::Slope
                               : t.bands.mode == ProjectBands::kMask  ? Terrain::BandRecord::Mode::Mask
                                                                      : Terrain::BandRecord::Mode::None;
    terrain->bandRecord.seed = t.bands.seed;
    terrain->bandRecord.maskChannel = t.bands.maskChannel;

    for (const Gradient& gradient : t.gradients)
        terrain->gradients.push_back(std::make_unique<Gradient>(gradient));
    for (size_t l = 0; l < t.layers.size(); ++l)
    {
        const ProjectLayer& entry = t.layers[l];
        if (entry.kind == ProjectLayer::kErosion)
        {
            auto layer = Terrain::Heightmap::NewErosion(terrain->width, terrain->height);
            layer->name = entry.name;
            layer->saveName = entry.image.saveName;
            layer->settings.erosion = entry.erosion;
            layer->AppendState(layer->settings);
            // What the build's run made: the next "Update mesh" need not erode again. The stored mask is
            // the one shown; without it the run's.
            if (l < built.erosion.size()) layer->erosionCache = std::move(built.erosion[l]);
            if (entry.image.Stored() && entry.image.pixels.size() == layer->ByteSize())
            {
                layer->Texture::Update(PixelsOf(entry.image));
                layer->shownMaskGeneration = layer->erosionCache.generation;
            }
            layer->ShowErosionMask();
            if (t.bands.mode == ProjectBands::kMask && t.bands.maskLayer == l)
                terrain->bandRecord.maskEntry = layer;
            terrain->heightmaps.push_back(std::move(layer));
            continue;
        }
        const bool isTexture = entry.kind == ProjectLayer::kImage;
        auto layer =
            std::make_shared<Terrain::Heightmap>(entry.image.width, entry.image.height, entry.image.channels,
                                                 PixelsOf(entry.image), entry.image.linear, isTexture);
        layer->name = entry.name;
        layer->Texture::name = entry.image.source;
        layer->saveName = entry.image.saveName;
        layer->settings = SettingsOf(entry.settings);
        if (!isTexture)
        {
            layer->CopySettingsToNoise();
            layer->AppendState(layer->settings); // the history starts again at the saved settings
            if (l < built.smoothLevels.size() && built.smoothLevels[l].size() == layer->ByteSize())
                layer->smoothLevels = std::move(built.smoothLevels[l]);
        }
        terrain->heightmaps.push_back(std::move(layer));
    }

    if (built.hasWaterPlane)
    {
        auto plane = std::make_shared<Terrain::WaterPlane>(nullptr);
        plane->terrain = terrain.get();
        plane->width = terrain->width;
        plane->height = terrain->height;
        plane->vertexDistance = terrain->vertexDistance;
        plane->positions = std::move(built.waterPlane.positions);
        plane->normals = std::move(built.waterPlane.normals);
        plane->texCoords = std::move(built.waterPlane.texCoords);
        plane->indices = std::move(built.waterPlane.indices);
        plane->vertexCount = static_cast<uint32_t>(plane->positions.size() / 3);
        plane->indexCount = static_cast<uint32_t>(plane->indices.size());
        plane->mesh->entries.assign(1, MeshEntry::Whole(plane->indexCount));
        plane->mesh->UploadAll(plane->vertexCount, plane->indexCount, plane->positions.data(),
                               plane->normals.data(), plane->texCoords.data(), plane->indices.data());
        // As "Recalculate" leaves it: drawn with the lighting shader, showing the water map.
        if (waterShader) plane->SetGeometry(plane->mesh, waterShader);
        if (terrain->watermapTexture) plane->mesh->entries.front().texture = terrain->watermapTexture->id;
        terrain->waterPlane = plane;
    }
    return terrain;
}
} // namespace

// -------------------------------------------------------------------------------------------------
// Capture and restore

Project Editor::CaptureProject() const
{
    Project p;
    for (size_t i = kBuiltInShaders; i < shaders.size(); ++i)
        p.shaders.push_back({shaders[i]->vertexPath, shaders[i]->fragmentPath});

    std::vector<const Camera*> cameraOrder;
    for (const auto& camera : cameras)
        if (camera)
        {
            cameraOrder.push_back(camera.get());
            p.cameras.push_back(CaptureCamera(*camera, true));
        }
    std::vector<const Terrain*> terrainOrder;
    for (const auto& terrain : terrains)
        if (terrain)
        {
            terrainOrder.push_back(terrain.get());
            p.terrains.push_back(CaptureTerrain(*terrain));
        }

    for (const auto& scene : scenes)
    {
        ProjectScene s;
        s.sceneId = scene->sceneId;
        s.name = scene->name;
        if (scene->camera)
        {
            auto found = std::find(cameraOrder.begin(), cameraOrder.end(), scene->camera.get());
            if (found == cameraOrder.end())
            {
                // A camera the manage dialog no longer lists stays with its scene.
                cameraOrder.push_back(scene->camera.get());
                p.cameras.push_back(CaptureCamera(*scene->camera, false));
                found = cameraOrder.end() - 1;
            }
            s.camera = static_cast<int32_t>(found - cameraOrder.begin());
        }
        if (scene->terrain)
        {
            auto found = std::find(terrainOrder.begin(), terrainOrder.end(), scene->terrain.get());
            if (found == terrainOrder.end())
            {
                terrainOrder.push_back(scene->terrain.get());
                p.terrains.push_back(CaptureTerrain(*scene->terrain));
                found = terrainOrder.end() - 1;
            }
            s.terrain = static_cast<int32_t>(found - terrainOrder.begin());
        }
        s.hasShader = scene->shader != nullptr;
        if (scene->shader) s.shader = {scene->shader->vertexPath, scene->shader->fragmentPath};
        s.isNew = scene->isNew;
        s.showWindow = scene->showWindow;
        s.showManage = scene->showManage;
        s.showCameraControl = scene->showCameraControl;
        s.showTerrainGenerator = scene->showTerrainGenerator;
        s.ratioWidth = scene->ratioWidth;
        s.ratioHeight = scene->ratioHeight;
        s.useBackground = scene->useBackground;
        if (scene->framebuffer)
        {
            s.wireframe = scene->framebuffer->wireframe;
            s.clearColor = scene->framebuffer->clearColor;
        }
        p.scenes.push_back(std::move(s));
    }
    p.sceneCounter = sceneCounter;
    p.aspectRatioIndex = sceneWindow.aspectRatioIndex;
    return p;
}

bool Editor::BuildProjectTerrains(Project& p, std::vector<BuiltTerrain>& built, std::string* error,
                                  const std::function<bool(float)>& progress)
{
    built.clear();
    built.reserve(p.terrains.size());
    const float count = static_cast<float>(p.terrains.size());
    for (size_t n = 0; n < p.terrains.size(); ++n)
    {
        bool stopped = false;
        const auto within = [&](float done)
        { return !progress || !(stopped = !progress((static_cast<float>(n) + done) / count)); };
        BuiltTerrain terrain;
        std::string reason;
        if (!within(0.0f) || !TerrainBuild::Build(p.terrains[n], terrain, &reason, within))
        {
            if (error != nullptr) *error = stopped ? std::string("opening was cancelled") : reason;
            return false;
        }
        built.push_back(std::move(terrain));
    }
    return true;
}

bool Editor::RestoreProject(Project&& p, std::string* error)
{
    // Everything is built first; the session is replaced only once nothing can fail.
    std::vector<BuiltTerrain> built;
    if (!BuildProjectTerrains(p, built, error)) return false;
    RestoreBuiltProject(std::move(p), std::move(built));
    return true;
}

void Editor::RestoreBuiltProject(Project&& p, std::vector<BuiltTerrain>&& built)
{
    std::vector<std::shared_ptr<Terrain>> newTerrains;
    for (size_t n = 0; n < p.terrains.size() && n < built.size(); ++n)
    {
        newTerrains.push_back(RestoreTerrain(p.terrains[n], built[n], defaultShader));
        // Its pixels now live in the textures: moved out here, so they are freed before the next one.
        const ProjectTerrain spentTerrain = std::move(p.terrains[n]);
        const BuiltTerrain spentArrays = std::move(built[n]);
    }

    std::vector<std::shared_ptr<Camera>> allCameras;
    std::vector<std::shared_ptr<Camera>> listedCameras;
    for (const ProjectCamera& c : p.cameras)
    {
        auto camera = std::make_shared<Camera>();
        camera->name = c.name;
        camera->viewHeight = c.viewHeight;
        camera->aspectRatio = c.aspectRatio;
        camera->zNear = c.zNear;
        camera->zFar = c.zFar;
        camera->fov = c.fov;
        camera->speed = c.speed;
        camera->yaw = c.yaw;
        camera->pitch = c.pitch;
        camera->perspective = c.perspective;
        camera->rotate = c.rotate;
        camera->position = c.position;
        camera->up = c.up;
        camera->front = c.front;
        camera->Update();
        allCameras.push_back(camera);
        if (c.listed) listedCameras.push_back(camera);
    }

    std::vector<std::shared_ptr<Shader>> newShaders(
        shaders.begin(), shaders.begin() + std::min(shaders.size(), kBuiltInShaders));
    for (const ProjectShader& s : p.shaders)
        newShaders.push_back(std::make_shared<Shader>(s.vertexPath, s.fragmentPath));

    std::vector<std::shared_ptr<Scene>> newScenes;
    for (const ProjectScene& s : p.scenes)
    {
        auto scene = std::make_shared<Scene>(s.sceneId);
        scene->name = s.name;
        scene->camera = s.camera >= 0 ? allCameras[static_cast<size_t>(s.camera)] : nullptr;
        scene->terrain = s.terrain >= 0 ? newTerrains[static_cast<size_t>(s.terrain)] : nullptr;
        if (s.hasShader) scene->shader = std::make_shared<Shader>(s.shader.vertexPath, s.shader.fragmentPath);
        scene->isNew = s.isNew;
        scene->showWindow = s.showWindow;
        scene->showManage = s.showManage;
        scene->showCameraControl = s.showCameraControl;
        scene->showTerrainGenerator = s.showTerrainGenerator;
        scene->ratioWidth = s.ratioWidth;
        scene->ratioHeight = s.ratioHeight;
        scene->useBackground = s.useBackground;
        scene->framebuffer->wireframe = s.wireframe;
        scene->framebuffer->clearColor = s.clearColor;
        if (scene->terrain && scene->shader && !scene->terrain->IsEmpty())
            scene->terrain->SetGeometry(scene->terrain->mesh, scene->shader);
        newScenes.push_back(scene);
    }

    ClearSessionState();
    terrains = std::move(newTerrains);
    cameras = std::move(listedCameras);
    scenes = std::move(newScenes);
    shaders = std::move(newShaders);
    sceneCounter = p.sceneCounter;
    sceneWindow.aspectRatioIndex = p.aspectRatioIndex;
    p = Project();
    ProcessMemory::ReleaseFreed(); // the old session, the project's pixels and the build's arrays
}

void Editor::ClearSessionState()
{
    // Panels hold pointers into the terrains that are about to go.
    layerPanel.selectedLayer.reset();
    layerPanel.layerEditorOpen = false;
    layerPanel.loadDialogOpen = false;
    texturePanel.chosenTexture = nullptr;
    texturePanel.textureEditorOpen = false;
    texturePanel.saveDialogOpen = false;
    texturePanel.diffuseEditorOpen = false;
    diffuseEditor.selected = -1;
    waterEditor.strokeActive = false;
    saveTerrain.form.selected.reset();
    exportDialog.form.selected.reset(); // the Export dialog keeps its choice after it closes
    manageDialog.restorePoint = ManageDialog::RestorePoint{};
}
