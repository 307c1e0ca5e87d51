#pragma once
// The scene window (the rendered image, its menus and the fly control), its camera window and its
// terrain generator window with the "Terrain", "Textures" and "Water" tabs. One copy of the state
// serves every scene for the whole run.
#include "editor/SculptTool.h"

#include <imgui.h>

#include <memory>

class Editor;
class Scene;
class Terrain;

struct SceneWindow
{
    static constexpr const char* kAspectRatios[4] = {"Custom", "16:9", "4:3", "1:1"};
    int aspectRatioIndex = 0;
    bool sceneWindowSized = false;
    ImVec2 sceneWindowFirstSize{0.0f, 0.0f};
    bool generatorWindowSized = false;
    ImVec2 generatorWindowFirstSize{0.0f, 0.0f};
    float barHeight = -1.0f;                 // framed widget height plus spacing, measured once
    std::weak_ptr<Scene> focusedScene;       // the scene whose window last had focus
    std::weak_ptr<Terrain> generatorTerrain; // the terrain the generator's panels last showed
    SculptTool sculpt;
    ImGuiWindowFlags sceneWindowFlags = 0; // unmovable while a stroke may start over the picture

    // Per frame, for a scene whose window is shown.
    void Show(Editor& editor, const std::shared_ptr<Scene>& scene);

    // Selecting entry index of the aspect ratio list for a scene: fixes its camera's aspect ratio.
    void ChooseAspectRatio(Editor& editor, Scene& scene, int index);
    // Whether the scene follows the "Custom" rule: no fixed ratio chosen, or none chosen for this
    // scene yet (a scene made after another scene's choice starts without ratio numbers).
    bool UsesCustomRule(const Scene& scene) const;
    // Size of the scene image in a content region of the given size; Custom also sets the aspect.
    ImVec2 ImageSize(Scene& scene, ImVec2 available) const;
    // The scene new and loaded terrains go to: the one whose window last had focus while it is still
    // listed, else the first; null without scenes.
    std::shared_ptr<Scene> FocusedScene(const Editor& editor) const;
    // The generator's panels show one terrain at a time: when it changes, everything they held of
    // another terrain (selected layer, chosen texture, open editors and dialogs) is let go.
    void FollowGeneratorTerrain(Editor& editor, const std::shared_ptr<Terrain>& terrain);
    // Frame terrain: the scene's camera above and outside its terrain, all of it in view.
    static void FrameTerrain(Editor& editor, Scene& scene);

  private:
    void ShowTerrainGenerator(Editor& editor, Scene& scene);
};
