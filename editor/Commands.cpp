// The document's changes, one entry each (see Commands.h).
//   - The executor
//   - Terrains and the layer stack
//   - Painting, textures and colour bands
//   - Water
//   - Scenes, cameras and shaders
#include "editor/Commands.h"

#include "editor/Changes.h"
#include "editor/EditorJobs.h"
#include "editor/Editor.h"
#include "engine/Log.h"
#include "render/Camera.h"
#include "render/Framebuffer.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "terrain/Brush.h"
#include "terrain/Gradient.h"
#include "terrain/TerrainName.h"
#include "terrain/WaterPlane.h"

#include <algorithm>
#include <stdexcept>

// -------------------------------------------------------------------------------------------------
// The executor

void Commands::Run(const Command& command)
{
    Session& session = editor.session;
    session.history.Record(command.name, command.undo, session.revision, command.namesStep);
    ++depth;
    command.apply();
    if (--depth == 0) session.history.Applied(session.NewRevision());
    editor.Wake(); // the scenes draw what changed
}

bool Commands::CanUndo() const
{
    // Work that runs would hand its result to a session that moved under it.
    return editor.session.history.CanUndo() && !editor.session.jobs.Busy();
}

bool Commands::CanRedo() const
{
    return editor.session.history.CanRedo() && !editor.session.jobs.Busy();
}

bool Commands::Undo()
{
    if (!CanUndo() || !editor.session.history.Undo(editor.session.revision)) return false;
    editor.ForgetWhatIsGone();
    editor.Wake();
    return true;
}

bool Commands::Redo()
{
    if (!CanRedo() || !editor.session.history.Redo(editor.session.revision)) return false;
    editor.ForgetWhatIsGone();
    editor.Wake();
    return true;
}

// -------------------------------------------------------------------------------------------------
// Terrains and the layer stack

void Commands::AddTerrain(const std::shared_ptr<Terrain>& terrain)
{
    Run({"New terrain",
         [&]
         {
             editor.terrains.push_back(terrain);
             if (editor.scenes.empty())
             {
                 AddScene();
                 return;
             }
             const std::weak_ptr<Terrain> added = terrain;
             editor.session.SetNotice(
                 "Terrain " + terrain->name + " (" + std::to_string(terrain->width) + " x " +
                     std::to_string(terrain->height) + ") is in the terrain list.",
                 "Show in " + editor.sceneWindow.FocusedScene(editor)->name + "##notice",
                 [this, added]
                 {
                     const std::shared_ptr<Terrain> shown = added.lock();
                     if (shown && std::find(editor.terrains.begin(), editor.terrains.end(), shown) !=
                                      editor.terrains.end())
                         ShowTerrain(shown);
                 });
         },
         {Keep::SessionLists(editor)}});
}

void Commands::AddLoadedTerrain(const std::shared_ptr<Terrain>& terrain)
{
    Run({"Load terrain",
         [&]
         {
             // Two terrains of one name would write each other's files.
             terrain->name = TerrainName::MakeUnique(terrain->name, TerrainNames(editor.terrains));
             editor.terrains.push_back(terrain);
             ShowTerrain(terrain);
         },
         {Keep::SessionLists(editor)}});
}

void Commands::ShowTerrain(const std::shared_ptr<Terrain>& terrain)
{
    std::shared_ptr<Scene> scene = editor.sceneWindow.FocusedScene(editor);
    if (!scene)
        Run({"Create scene", [&] { AddScene()->terrain = terrain; }, {Keep::SessionLists(editor)}});
    else
        SetSceneTerrain(*scene, terrain);
}

void Commands::ApplyLayers(const std::shared_ptr<Terrain>& terrain)
{
    if (!terrain) return;
    std::vector<std::string> names; // per list entry, for the progress text
    for (const auto& layer : terrain->heightmaps)
        names.push_back(layer ? layer->name : std::string());
    JobRunner::Request request;
    request.title = "Applying the layers of " + terrain->name;
    request.subject = "terrain " + terrain->name;
    request.resources = {terrain.get()};
    request.cancellable = true;
    // The work reads the terrain and its layers and keeps the erosion entries' results in them: the
    // terrain is locked (its panels show it busy, and no other job may take it) until the job ends. A
    // stack without erosion is done within the frame, so that the mesh follows a realtime drag; the
    // frame waits for it, so it runs at the frame's own priority.
    const bool withinFrame = !terrain->HasErosion();
    request.background = !withinFrame;
    StartJob(
        editor, std::move(request),
        // The work writes over what the last apply left (spareHeights is empty from here on).
        [terrain, names, out = std::move(spareHeights)](JobContext& job) mutable
        {
            const bool applied = terrain->LayerHeights(
                out,
                [&job, &names](size_t entry, float fraction)
                {
                    job.Report(0.95f * fraction,
                               "Eroding (" + (entry < names.size() ? names[entry] : "") + ")");
                    return !job.CancelRequested();
                });
            job.ThrowIfCancelled();
            if (!applied) throw std::runtime_error("the layers could not be applied");
            return std::move(out);
        },
        [this, terrain](Terrain::LayeredHeights& out)
        {
            // The heights it replaces stay with the change, for undo; a second apply in the same
            // gesture (a realtime drag) drops them, as the step keeps those before the first.
            auto change = std::make_unique<Keep::HeightsChange>(*terrain, std::move(out));
            Keep::HeightsChange* swap = change.get();
            Run({"Apply layers", [swap] { swap->Swap(); }, {Keep::Heights(*terrain, change)}});
            // A later apply of the same gesture: the step kept the heights before the first, and the
            // arrays this one replaced are written over by the next (a realtime drag's).
            if (change) spareHeights = change->TakeHeights();
            appliedSinceLastFrame = true;
        },
        {}, withinFrame ? kWholeWork : kQuickWork);
}

void Commands::NextFrame()
{
    if (!appliedSinceLastFrame) spareHeights = Terrain::LayeredHeights();
    appliedSinceLastFrame = false;
}

std::shared_ptr<Terrain::Heightmap> Commands::AddNoiseLayer(Terrain& terrain)
{
    std::shared_ptr<Terrain::Heightmap> layer;
    Run({"Add heightmap",
         [&]
         {
             layer = std::make_shared<Terrain::Heightmap>(terrain.width, terrain.height, terrain.place);
             terrain.heightmaps.push_back(layer);
             layer->name = "Heightmap_" + std::to_string(terrain.heightmaps.size() - 1);
             layer->AppendState(layer->settings);
         },
         {Keep::LayerList(terrain)}});
    return layer;
}

std::shared_ptr<Terrain::Heightmap> Commands::AddErosion(Terrain& terrain)
{
    std::shared_ptr<Terrain::Heightmap> entry;
    Run({"Add erosion",
         [&]
         {
             entry = Terrain::Heightmap::NewErosion(terrain.width, terrain.height);
             terrain.heightmaps.push_back(entry);
             entry->name = "Erosion_" + std::to_string(terrain.heightmaps.size() - 1);
             entry->AppendState(entry->settings);
         },
         {Keep::LayerList(terrain)}});
    return entry;
}

std::shared_ptr<Terrain::Heightmap> Commands::AddSculptEntry(Terrain& terrain)
{
    std::shared_ptr<Terrain::Heightmap> entry;
    Run({"Add sculpt entry",
         [&]
         {
             entry = Terrain::Heightmap::NewSculpt(terrain.width, terrain.height);
             terrain.heightmaps.push_back(entry);
             entry->name = "Sculpt_" + std::to_string(terrain.heightmaps.size() - 1);
         },
         {Keep::LayerList(terrain)}});
    return entry;
}

void Commands::RenameLayer(Terrain::Heightmap& layer, const std::string& name)
{
    if (layer.name == name) return;
    Run({"Rename layer", [&] { layer.name = name; }, {Keep::LayerName(layer)}});
}

void Commands::MoveLayer(Terrain& terrain, const std::shared_ptr<Terrain::Heightmap>& layer, int step)
{
    const std::ptrdiff_t i = terrain.LayerIndex(layer);
    const std::ptrdiff_t j = i + step;
    if (i < 0 || j < 0 || j >= static_cast<std::ptrdiff_t>(terrain.heightmaps.size()) || step == 0) return;
    Run({"Move layer",
         [&] { std::swap(terrain.heightmaps[i], terrain.heightmaps[j]); },
         {Keep::LayerList(terrain)}});
}

void Commands::DeleteLayer(Terrain& terrain, const std::shared_ptr<Terrain::Heightmap>& layer)
{
    const std::ptrdiff_t i = terrain.LayerIndex(layer);
    if (i < 0) return;
    Run({"Delete layer",
         [&]
         {
             const bool shown = layer->isErosion && !terrain.mesh->entries.empty() &&
                                terrain.mesh->entries[0].texture == layer->id && layer->id != 0;
             if (shown) terrain.SetDisplayTexture(terrain.heightmapTexture.get());
             terrain.heightmaps.erase(terrain.heightmaps.begin() + i);
         },
         {Keep::LayerList(terrain)}});
}

std::shared_ptr<Terrain::Heightmap>
Commands::ReplaceLayerWithImage(Terrain& terrain, const std::shared_ptr<Terrain::Heightmap>& layer,
                                const std::string& path, std::string& error)
{
    const std::ptrdiff_t i = terrain.LayerIndex(layer);
    if (i < 0 || layer->isErosion || layer->isSculpt) return nullptr;
    std::shared_ptr<Terrain::Heightmap> image =
        Terrain::Heightmap::LoadTextureLayer(path, terrain.width, terrain.height, &error);
    if (!image) return nullptr;
    Run({"Load layer image", [&] { terrain.heightmaps[i] = image; }, {Keep::LayerList(terrain)}});
    return image;
}

void Commands::SetLayerSettings(Terrain::Heightmap& layer, const Terrain::Heightmap::Settings& settings,
                                bool regenerate)
{
    Run({"Change layer settings",
         [&]
         {
             layer.settings = settings;
             if (regenerate) layer.Update(); // an image or erosion entry keeps its image
         },
         {Keep::LayerSettings(layer)}});
}

void Commands::KeepLayerSettings(Terrain::Heightmap& layer)
{
    Run({"Change layer settings", [&] { layer.AppendState(layer.settings); }, {Keep::LayerSettings(layer)}});
}

bool Commands::StepLayerHistory(Terrain::Heightmap& layer, bool redo)
{
    if (!CanStepLayerHistory(layer, redo)) return false;
    Run({redo ? "Layer settings redo" : "Layer settings undo",
         [&]
         {
             if (redo)
                 layer.Redo(); // the settings, and a noise layer's image
             else
                 layer.Undo();
         },
         {Keep::LayerSettings(layer)}});
    return true;
}

bool Commands::CanStepLayerHistory(const Terrain::Heightmap& layer, bool redo)
{
    if (layer.isTexture || layer.isSculpt) return false;
    const size_t states = layer.states.size();
    const size_t current = layer.currentState;
    return redo ? current + 1 < states : current > 0 && current < states;
}

void Commands::SculptDab(Terrain& terrain, Terrain::Heightmap& entry, const Sculpt::Brush& brush,
                         const Sculpt::Dab& dab)
{
    const TerrainGrid::Region region =
        Sculpt::DabRegion(terrain.width, terrain.height, terrain.Frame(), dab.x, dab.z, brush.radius);
    if (region.Empty() || !entry.isSculpt) return;
    Run({"Sculpt stroke",
         [&] { terrain.SculptDab(entry, brush, dab); },
         {Keep::SculptStroke(terrain, entry, region)},
         true});
}

// -------------------------------------------------------------------------------------------------
// Painting, textures and colour bands

void Commands::Paint(Texture& texture, Brush& brush, glm::vec2 texel)
{
    const TerrainGrid::Region texels = brush.DabTexels(texel, texture.width, texture.height);
    Run({"Paint stroke", [&] { brush.Paint(texture, texel); }, {Keep::TexturePixels(texture, texels)}});
}

void Commands::ShowTexture(Terrain& terrain, const Texture* texture)
{
    const uint32_t id = texture != nullptr ? texture->id : 0u;
    if (terrain.mesh->entries.empty() || terrain.mesh->entries[0].texture == id) return;
    Run({"Preview on terrain", [&] { terrain.SetDisplayTexture(texture); }, {Keep::Display(terrain)}});
}

void Commands::NameTextureFile(Texture& texture, const std::string& saveName)
{
    if (texture.saveName == saveName) return;
    Run({"Name texture file", [&] { texture.saveName = saveName; }, {Keep::TextureFileName(texture)}});
}

void Commands::AddGradient(Terrain& terrain)
{
    Run({"Add gradient",
         [&]
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
         },
         {Keep::Gradients(terrain)}});
}

void Commands::DeleteGradient(Terrain& terrain, size_t n)
{
    if (n >= terrain.gradients.size()) return;
    Run({"Delete gradient",
         [&]
         {
             terrain.gradients.erase(terrain.gradients.begin() + static_cast<std::ptrdiff_t>(n));
             if (terrain.gradients.empty()) return;
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
         },
         {Keep::Gradients(terrain)}});
}

void Commands::SetHeightSpan(Terrain& terrain, size_t n, int32_t span)
{
    if (n >= terrain.gradients.size()) return;
    Run({"Change gradient span",
         [&]
         {
             Gradient& gradient = *terrain.gradients[n];
             const float d = static_cast<float>(span) - static_cast<float>(gradient.heightSpan);
             gradient.heightSpan = span;
             if (terrain.gradients.size() < 2) return;
             Gradient& neighbour = *terrain.gradients[n == 0 ? 1 : n - 1];
             neighbour.heightSpan = static_cast<int32_t>(static_cast<float>(neighbour.heightSpan) - d);
         },
         {Keep::Gradients(terrain)}});
}

void Commands::SetSlopeSpan(Terrain& terrain, size_t n, float span)
{
    if (n >= terrain.gradients.size()) return;
    Run({"Change gradient span",
         [&]
         {
             Gradient& gradient = *terrain.gradients[n];
             const float d = span - gradient.slopeSpan;
             gradient.slopeSpan = span;
             if (terrain.gradients.size() >= 2) terrain.gradients[n == 0 ? 1 : n - 1]->slopeSpan -= d;
         },
         {Keep::Gradients(terrain)}});
}

void Commands::SetGradient(Terrain& terrain, size_t n, const Gradient& gradient)
{
    if (n >= terrain.gradients.size()) return;
    Run({"Change gradient", [&] { *terrain.gradients[n] = gradient; }, {Keep::Gradients(terrain)}});
}

void Commands::GenerateDiffuse(Terrain& terrain, Terrain::BandRecord::Mode mode,
                               const std::shared_ptr<Terrain::Heightmap>& maskEntry, uint32_t maskChannel)
{
    using Mode = Terrain::BandRecord::Mode;
    if (mode == Mode::None || (mode == Mode::Mask && !maskEntry)) return;
    Run({"Generate diffuse texture",
         [&]
         {
             if (mode == Mode::Height)
                 terrain.GenerateDiffuseByHeight();
             else if (mode == Mode::Slope)
                 terrain.GenerateDiffuseBySlope();
             else
                 terrain.GenerateDiffuseByMask(maskEntry, maskChannel);
         },
         {Keep::Bands(terrain)}});
}

// -------------------------------------------------------------------------------------------------
// Water

void Commands::PourWater(Terrain& terrain, uint32_t vertex)
{
    Run({"Pour water", [&] { terrain.PourWater(vertex); }, {Keep::WaterMap(terrain)}});
}

void Commands::OutlineWater(Terrain& terrain)
{
    Run({"Pour water", [&] { terrain.OutlineWater(); }, {Keep::WaterMap(terrain)}});
}

void Commands::RecalculateWater(Terrain& terrain)
{
    if (terrain.IsEmpty() || !terrain.watermapTexture) return;
    Run({"Recalculate water",
         [&]
         {
             auto plane = std::make_shared<Terrain::WaterPlane>(&terrain);
             if (editor.defaultShader) plane->SetGeometry(plane->mesh, editor.defaultShader);
             if (!plane->mesh->entries.empty())
                 plane->mesh->entries.front().texture = terrain.watermapTexture->id;
             terrain.waterPlane = plane;
         },
         {Keep::WaterPlane(terrain)}});
}

void Commands::ResetWater(Terrain& terrain)
{
    Run({"Reset water", [&] { terrain.ClearWater(); }, {Keep::WaterMap(terrain), Keep::WaterPlane(terrain)}});
}

// -------------------------------------------------------------------------------------------------
// Scenes, cameras and shaders

std::shared_ptr<Scene> Commands::AddScene()
{
    auto scene = std::make_shared<Scene>(editor.sceneCounter++);
    scene->showManage = true;
    editor.scenes.push_back(scene);
    editor.cameras.push_back(scene->camera);
    // What its Create dialog would give it when it opens, given here, in the command that makes it:
    // undoing the scene then takes it all back at once.
    FillDefaults(*scene);
    return scene;
}

bool Commands::FillDefaults(Scene& scene)
{
    const bool terrain = !editor.terrains.empty() && !scene.terrain;
    const bool shader = !editor.shaders.empty() && (!scene.shader || scene.shader->name.empty());
    const bool camera = !editor.cameras.empty() && !scene.camera;
    if (terrain) scene.terrain = editor.terrains.front();
    if (shader)
    {
        const Shader& first = *editor.shaders.front();
        scene.shader = std::make_shared<Shader>(first.vertexPath, first.fragmentPath);
    }
    if (camera) scene.camera = editor.cameras.back();
    return terrain || shader || camera;
}

void Commands::BindSceneTerrain(const Scene& scene)
{
    // Attribute locations belong to one program, so the mesh is bound again for every new shader.
    if (scene.terrain && scene.shader) scene.terrain->SetGeometry(scene.terrain->mesh, scene.shader);
}

std::shared_ptr<Scene> Commands::NewScene()
{
    if (editor.terrains.empty())
    {
        editor.SetError("Please create a new terrain first.");
        return nullptr;
    }
    if (!editor.scenes.empty())
    {
        editor.SetError("Multiple scenes in development.");
        return nullptr;
    }
    std::shared_ptr<Scene> scene;
    Run({"Create scene",
         [&]
         {
             Log::Trace("Pushing new scene");
             scene = AddScene();
         },
         {Keep::SessionLists(editor)}});
    return scene;
}

void Commands::SetSceneTerrain(Scene& scene, const std::shared_ptr<Terrain>& terrain)
{
    if (scene.terrain == terrain) return;
    Run({"Choose terrain",
         [&]
         {
             scene.terrain = terrain;
             BindSceneTerrain(scene);
         },
         {Keep::SessionLists(editor)}});
}

void Commands::SetSceneShader(Scene& scene, const std::shared_ptr<Shader>& listed)
{
    Run({"Choose shader",
         [&]
         {
             scene.shader = std::make_shared<Shader>(listed->vertexPath, listed->fragmentPath);
             BindSceneTerrain(scene);
         },
         {Keep::SessionLists(editor)}});
}

void Commands::SetSceneCamera(Scene& scene, const std::shared_ptr<Camera>& camera)
{
    if (scene.camera == camera) return;
    Run({"Choose camera", [&] { scene.camera = camera; }, {Keep::SessionLists(editor)}});
}

void Commands::FillSceneDefaults(Scene& scene)
{
    const bool terrain = !editor.terrains.empty() && !scene.terrain;
    const bool shader = !editor.shaders.empty() && (!scene.shader || scene.shader->name.empty());
    const bool camera = !editor.cameras.empty() && !scene.camera;
    if (!terrain && !shader && !camera) return;
    Run({"Create scene", [&] { FillDefaults(scene); }, {Keep::SessionLists(editor)}});
}

void Commands::ConfirmScene(Scene& scene)
{
    Run({"Create scene",
         [&]
         {
             BindSceneTerrain(scene);
             scene.showManage = false;
             scene.isNew = false;
             scene.showWindow = true;
         },
         {Keep::SessionLists(editor)}});
}

void Commands::CancelScene(const Scene& scene)
{
    Run({"Cancel scene",
         [&]
         {
             const std::string cameraName = scene.name + " camera";
             auto& cameras = editor.cameras;
             cameras.erase(std::remove_if(cameras.begin(), cameras.end(),
                                          [&](const std::shared_ptr<Camera>& c)
                                          { return c->name == cameraName; }),
                           cameras.end());
             DestroyScene(scene);
         },
         {Keep::SessionLists(editor)}});
}

void Commands::DestroyScene(const Scene& scene)
{
    const uint32_t id = scene.sceneId;
    Run({"Destroy scene",
         [&]
         {
             auto& scenes = editor.scenes;
             scenes.erase(std::remove_if(scenes.begin(), scenes.end(),
                                         [id](const std::shared_ptr<Scene>& s) { return s->sceneId == id; }),
                          scenes.end());
         },
         {Keep::SessionLists(editor)}});
}

void Commands::RestoreScene(Scene& scene, const std::shared_ptr<Camera>& camera,
                            const std::shared_ptr<Shader>& shader, const std::shared_ptr<Terrain>& terrain)
{
    if (scene.camera == camera && scene.shader == shader && scene.terrain == terrain) return;
    Run({"Cancel scene changes",
         [&]
         {
             scene.shader = shader;
             scene.camera = camera;
             scene.terrain = terrain;
             BindSceneTerrain(scene);
         },
         {Keep::SessionLists(editor)}});
}

void Commands::SetSceneLook(Scene& scene, bool wireframe, const glm::vec4& clearColor, bool useBackground)
{
    Run({"Change scene",
         [&]
         {
             if (scene.framebuffer)
             {
                 scene.framebuffer->wireframe = wireframe;
                 scene.framebuffer->clearColor = clearColor;
             }
             scene.useBackground = useBackground;
         },
         {Keep::SessionLists(editor)}});
}

void Commands::SetAspectRatio(Scene& scene, int a, int b)
{
    std::vector<Undoable> undo{Keep::SessionLists(editor)};
    if (scene.camera) undo.push_back(Keep::CameraSettings(*scene.camera));
    Run({"Set aspect ratio",
         [&]
         {
             scene.ratioWidth = static_cast<float>(a);
             scene.ratioHeight = static_cast<float>(b);
             if (scene.camera && b != 0)
             {
                 scene.camera->aspectRatio = static_cast<float>(a) / static_cast<float>(b);
                 scene.camera->Update();
             }
         },
         undo});
}

void Commands::SetCameraRotation(Camera& camera, bool rotate)
{
    Run({"Change camera", [&] { camera.rotate = rotate; }, {Keep::CameraSettings(camera)}});
}

void Commands::SetCameraSpeed(Camera& camera, float speed)
{
    Run({"Change camera", [&] { camera.speed = speed; }, {Keep::CameraSettings(camera)}});
}

std::shared_ptr<Shader> Commands::CreateShader(const std::string& baseName)
{
    if (baseName.empty() || !ShaderNameError(baseName).empty()) return nullptr;
    std::shared_ptr<Shader> shader;
    Run({"New shader",
         [&]
         {
             shader = std::make_shared<Shader>(baseName + ".vert", baseName + ".frag");
             editor.shaders.push_back(shader);
         },
         {Keep::SessionLists(editor)}});
    return shader;
}
