// Resident memory of the real editor (run by the engine as the program runs it) at start, after a
// session with a large terrain (made on the job runner, a noise layer, the diffuse map, water, shown in
// a scene, chosen in the Export dialog), and after New Project: what an empty session keeps of the
// old one. Needs a display (run
// it under xvfb-run -a) and the shaders of the working folder (run it from build/.../work).
//
//   SessionMemoryBench [side]      (default 2049)
#include "editor/Editor.h"
#include "engine/Engine.h"
#include "engine/ProcessMemory.h"
#include "render/Scene.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"

#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstdlib>

namespace
{
double ResidentMB()
{
    return static_cast<double>(ProcessMemory::ResidentBytes()) / (1024.0 * 1024.0);
}

class MemoryEditor : public Editor
{
  public:
    explicit MemoryEditor(int side) : side(side) {}

    double atStart = 0.0;
    double withSession = 0.0;
    double afterNewProject = 0.0;
    bool done = false;

    void Update() override
    {
        Editor::Update();
        Wake(); // the script is the input
        ++frame;
        switch (step)
        {
        case 0:
            if (frame < 5) break;
            atStart = ResidentMB();
            newTerrain.form.name = "big";
            newTerrain.form.generator = 1; // diamond-square
            newTerrain.form.width = side;
            newTerrain.Create(*this); // on the runner
            step = 1;
            break;
        case 1:
            if (session.jobs.Busy() || terrains.empty() || scenes.empty()) break;
            commands.ConfirmScene(*scenes.front());
            Dress(terrains.front());
            step = 2;
            waitUntil = frame + 5; // a few frames that draw the scene
            break;
        case 2:
            if (frame < waitUntil || session.jobs.Busy()) break;
            withSession = ResidentMB();
            project.NewProject(*this);
            step = 3;
            waitUntil = frame + 5;
            break;
        case 3:
            if (frame < waitUntil) break;
            afterNewProject = ResidentMB();
            done = true;
            glfwSetWindowShouldClose(Engine::Get().window.handle, GLFW_TRUE);
            step = 4;
            break;
        default:
            break;
        }
        if (frame > 100000) glfwSetWindowShouldClose(Engine::Get().window.handle, GLFW_TRUE);
    }

  private:
    void Dress(const std::shared_ptr<Terrain>& shared)
    {
        Terrain& terrain = *shared;
        auto layer = commands.AddNoiseLayer(terrain);
        Terrain::Heightmap::Settings settings = layer->settings;
        settings.power = 40.0f;
        settings.smoothHeights = true;
        commands.SetLayerSettings(*layer, settings, true);
        layer->AppendState(layer->settings);
        layerPanel.selectedLayer = layer;
        commands.ApplyLayers(shared);
        for (int n = 0; n < 3; ++n)
            diffuseEditor.AddGradient(*this, terrain);
        diffuseEditor.Generate(*this, terrain);
        commands.ShowTexture(terrain, terrain.diffuseTexture.get());
        commands.PourWater(terrain, terrain.vertexCount / 2);
        commands.OutlineWater(terrain);
        commands.RecalculateWater(terrain);
        SceneWindow::FrameTerrain(*this, *scenes.front());
        exportDialog.form.selected = terrains.front(); // as opening the Export dialog chooses it
    }

    int side;
    int frame = 0;
    int step = 0;
    int waitUntil = 0;
};
} // namespace

int main(int argc, char** argv)
{
    const int side = argc >= 2 ? std::atoi(argv[1]) : 2049;
    MemoryEditor editor(side);
    Engine::Get().Run(&editor);
    if (!editor.done)
    {
        std::fprintf(stderr, "SessionMemoryBench did not finish its session\n");
        return 1;
    }
    std::printf("Resident memory, %d x %d session: at start %.0f MB, with the session %.0f MB, after New "
                "Project %.0f MB\n",
                side, side, editor.atStart, editor.withSession, editor.afterNewProject);
    return 0;
}
