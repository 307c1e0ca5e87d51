#pragma once
// Every change a user makes to the document goes through one of these entries: the terrains with
// their layers, textures, colour bands and water, and the scenes, cameras and shaders a project
// keeps. Each entry makes a Command (a name and an apply step) and hands it to one executor, Run,
// which applies it and counts it in the session's revision: unsaved changes are a revision the file
// does not hold. An entry that would change nothing runs no command; looking around (camera moves,
// windows shown or hidden, selections in the panels) changes nothing of the document either.
//
// Undo is built on this: each command names what it changes (editor/Changes.h), and Run has the
// history keep that before the command applies (editor/History.h); the commands a drag or a stroke
// runs frame by frame are one step. Work that takes long runs on the job runner and applies its result
// as a command when it is done (ApplyLayers; New Terrain, Load Terrain and Terrain from heightmap
// through AddTerrain), so it is undone like any other.
#include "editor/History.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"

#include <glm/vec2.hpp>
#include <glm/vec4.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Camera;
class Editor;
class Scene;
class Shader;
class Texture;
struct Brush;
struct Gradient;

struct Command
{
    const char* name;            // what the user did, as the Edit menu names it ("Pour water")
    std::function<void()> apply; // the change, on the GUI thread
    std::vector<Undoable> undo;  // what it changes, kept before it applies (editor/History.h)
    // It names the step it joins: a stroke whose first dab came after the command that made its entry.
    bool namesStep = false;
};

class Commands
{
  public:
    explicit Commands(Editor& editor) : editor(editor) {}
    Commands(const Commands&) = delete;
    Commands& operator=(const Commands&) = delete;

    // The executor: keeps what the command changes (the undo history), applies it and counts it. A
    // command run from another one's apply step is part of that one.
    void Run(const Command& command);

    // Edit > Undo and Redo: the last step taken back, or brought back. Not while work runs (it would
    // hand its result to a session that moved under it). Afterwards the panels let go of what left
    // the session.
    bool CanUndo() const;
    bool CanRedo() const;
    bool Undo();
    bool Redo();

    // --- Terrains
    // A new terrain (New Terrain, Terrain from heightmap) joins the list. The first one brings the first
    // scene; later ones are not shown at once, so a notice names them and offers to show them in the
    // focused scene.
    void AddTerrain(const std::shared_ptr<Terrain>& terrain);
    // A terrain read from a file (Load Terrain) joins the list under a name no other terrain has, and is
    // shown in the focused scene, or in a new scene whose Create dialog opens.
    void AddLoadedTerrain(const std::shared_ptr<Terrain>& terrain);
    // Update mesh and realtime updates: the layer stack applied to the base heights, on the job runner
    // (an erosion entry may take seconds there; other stacks are done in the frame). The terrain is
    // locked while it runs; the new heights are a command when they are ready.
    void ApplyLayers(const std::shared_ptr<Terrain>& terrain);
    // Per frame, before the GUI: the arrays the last apply replaced are kept for the next one to write
    // into while applies follow each other (a drag), and freed once a whole frame passed without one.
    void NextFrame();

    // --- The layer stack
    // "Add a heightmap": a noise layer of the terrain's size named "Heightmap_" + its index, with its
    // first history entry; "Add erosion": an erosion entry named "Erosion_" + its index.
    std::shared_ptr<Terrain::Heightmap> AddNoiseLayer(Terrain& terrain);
    std::shared_ptr<Terrain::Heightmap> AddErosion(Terrain& terrain);
    // A sculpt entry named "Sculpt_" + its index, its heights all 0.
    std::shared_ptr<Terrain::Heightmap> AddSculptEntry(Terrain& terrain);
    void RenameLayer(Terrain::Heightmap& layer, const std::string& name);
    // Exchanges the layer with its neighbour above (step -1) or below (+1); nothing at the ends.
    void MoveLayer(Terrain& terrain, const std::shared_ptr<Terrain::Heightmap>& layer, int step);
    // The mesh stops showing a deleted erosion entry's mask (it shows the heightmap again).
    void DeleteLayer(Terrain& terrain, const std::shared_ptr<Terrain::Heightmap>& layer);
    // "Load": the layer replaced by an image layer read from path, returned. A file that cannot be read
    // or does not match the terrain's size is refused: null, the reason in error, the old layer kept.
    // An erosion entry is never replaced by an image.
    std::shared_ptr<Terrain::Heightmap>
    ReplaceLayerWithImage(Terrain& terrain, const std::shared_ptr<Terrain::Heightmap>& layer,
                          const std::string& path, std::string& error);
    // A layer's settings as its widgets left them; with regenerate, a noise layer's image follows.
    void SetLayerSettings(Terrain::Heightmap& layer, const Terrain::Heightmap::Settings& settings,
                          bool regenerate);
    // A settings widget was released after a change: the layer's own history gets its settings.
    void KeepLayerSettings(Terrain::Heightmap& layer);
    // "Undo" and "Redo" of a layer's settings history; a noise layer's image follows. False (nothing
    // changed) at the end of the history or for an image layer or sculpt entry, which have none.
    bool StepLayerHistory(Terrain::Heightmap& layer, bool redo);
    static bool CanStepLayerHistory(const Terrain::Heightmap& layer, bool redo);

    // --- Sculpting
    // One dab of a stroke on a sculpt entry of the terrain, centred at world (dab.x, dab.z); a dab
    // that reaches no vertex changes nothing. The step keeps the tiles the stroke reaches.
    void SculptDab(Terrain& terrain, Terrain::Heightmap& entry, const Sculpt::Brush& brush,
                   const Sculpt::Dab& dab);

    // --- Painting, textures and colour bands
    // One dab of the brush at a texel of the texture (a stroke is one per frame).
    void Paint(Texture& texture, Brush& brush, glm::vec2 texel);
    // "Preview on terrain": the mesh is drawn with the texture (null: none).
    void ShowTexture(Terrain& terrain, const Texture* texture);
    // The file name "Save as" suggests for a texture, which projects keep.
    void NameTextureFile(Texture& texture, const std::string& saveName);
    // "Add gradient": the first takes the whole range, later ones halve the last gradient's spans.
    void AddGradient(Terrain& terrain);
    // "Delete": removes gradient n and repairs the last span so the sums are 255 and 90.
    void DeleteGradient(Terrain& terrain, size_t n);
    // A span of gradient n set: its neighbour (the previous one, or the next one for the first) gives up
    // the difference so the spans keep their sum.
    void SetHeightSpan(Terrain& terrain, size_t n, int32_t span);
    void SetSlopeSpan(Terrain& terrain, size_t n, float span);
    // Gradient n's colour, specular value and decay.
    void SetGradient(Terrain& terrain, size_t n, const Gradient& gradient);
    // The diffuse and specular textures from the gradients: by height, slope, or a channel of an erosion
    // entry's mask (nothing when the entry is null).
    void GenerateDiffuse(Terrain& terrain, Terrain::BandRecord::Mode mode,
                         const std::shared_ptr<Terrain::Heightmap>& maskEntry, uint32_t maskChannel);

    // --- Water
    void PourWater(Terrain& terrain, uint32_t vertex);
    // The end of a stroke: the edge fringe.
    void OutlineWater(Terrain& terrain);
    // "Recalculate##watermap": a new water plane drawn with the water map and the lighting shader.
    void RecalculateWater(Terrain& terrain);
    void ResetWater(Terrain& terrain);

    // --- Scenes, cameras and shaders
    // "Create new scene": refuses with the Error popup without a terrain or while a scene exists;
    // otherwise a scene whose Create dialog opens.
    std::shared_ptr<Scene> NewScene();
    // The manage dialog's choices. A chosen shader is built afresh from the listed one's files; the
    // terrain's mesh is bound again to the scene's shader.
    void SetSceneTerrain(Scene& scene, const std::shared_ptr<Terrain>& terrain);
    void SetSceneShader(Scene& scene, const std::shared_ptr<Shader>& listed);
    void SetSceneCamera(Scene& scene, const std::shared_ptr<Camera>& camera);
    // What a scene without a terrain, shader or camera gets when its dialog opens.
    void FillSceneDefaults(Scene& scene);
    // "Create##ms2": the scene is made and its window shown.
    void ConfirmScene(Scene& scene);
    // "Cancel##ms2" (or the Create dialog's close button): the scene and its camera go.
    void CancelScene(const Scene& scene);
    // "YES" of "Destroy##ms": the scene goes, its camera stays.
    void DestroyScene(const Scene& scene);
    // "Cancel##ms": the scene's camera, shader and terrain as they were.
    void RestoreScene(Scene& scene, const std::shared_ptr<Camera>& camera,
                      const std::shared_ptr<Shader>& shader, const std::shared_ptr<Terrain>& terrain);
    // The scene window's menus: wireframe, clear colour and background.
    void SetSceneLook(Scene& scene, bool wireframe, const glm::vec4& clearColor, bool useBackground);
    // A fixed aspect ratio a:b for the scene and its camera.
    void SetAspectRatio(Scene& scene, int a, int b);
    void SetCameraRotation(Camera& camera, bool rotate);
    void SetCameraSpeed(Camera& camera, float speed);
    // "Create##nsfw": a shader from baseName + ".vert" and ".frag", appended to the list; null for a
    // name the dialog refuses.
    std::shared_ptr<Shader> CreateShader(const std::string& baseName);

  private:
    std::shared_ptr<Scene> AddScene();
    // A scene's missing terrain, shader and camera, as its Create dialog gives them; false when none
    // was missing.
    bool FillDefaults(Scene& scene);
    // The terrain in the focused scene, or in a new scene whose Create dialog opens.
    void ShowTerrain(const std::shared_ptr<Terrain>& terrain);
    void BindSceneTerrain(const Scene& scene);

    Editor& editor;
    int depth = 0;
    Terrain::LayeredHeights spareHeights; // see NextFrame
    bool appliedSinceLastFrame = false;
};
