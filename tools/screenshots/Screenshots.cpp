// Makes the README's pictures from a real session: the editor, run by the engine as the program runs
// it, is given what a user would do (a 1025 x 1025 diamond-square terrain made on the job runner, a
// noise layer with smooth heights, hydraulic erosion, height bands for the diffuse map, a lake and its
// water plane, Frame terrain, the generator beside the scene) and the window's pixels are written as
// PNG files. Run by scripts/screenshots.sh under a virtual X server.
//
//   velmoran_screenshots OUTPUT_FOLDER
#include "editor/Editor.h"
#include "engine/AtomicFile.h"
#include "engine/Engine.h"
#include "io/Png.h"
#include "render/Scene.h"
#include "terrain/Erosion.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{
constexpr int kWidth = 1280;
constexpr int kHeight = 720;

class ScreenshotEditor : public Editor
{
  public:
    explicit ScreenshotEditor(std::string folder) : folder(std::move(folder)) {}

    std::vector<std::string> written;
    bool failed = false;

    void GetWindowProperties(WindowProperties& out) override
    {
        Editor::GetWindowProperties(out);
        out.width = kWidth;
        out.height = kHeight;
    }

    void Initialize() override
    {
        Editor::Initialize();
        ImGui::GetIO().IniFilename = nullptr; // the layout below, not one kept from an earlier run
        session.recent.paths.clear();         // nothing of this machine's own projects in the picture
    }

    void Update() override
    {
        Editor::Update();
        ++frame;
        Wake(); // the script is the input: every frame draws what it changed
        switch (step)
        {
        case Step::Start:
            if (frame < 3) break;
            Capture("start.png"); // the previous frame's picture: the empty window and its hint
            newTerrain.form.name = "valley";
            newTerrain.form.generator = 1; // diamond-square
            newTerrain.form.width = 1025;
            newTerrain.form.range = 110.0f;
            newTerrain.form.roughness = 1.1f;
            newTerrain.Create(*this); // made on the job runner while the window draws
            step = Step::Creating;
            break;
        case Step::Creating:
            if (session.jobs.Busy() || terrains.empty() || scenes.empty()) break;
            step = Step::SceneDialog;
            createAt = frame + 2; // the Create Scene 0 dialog fills in its choices when it is drawn
            break;
        case Step::SceneDialog:
            if (frame < createAt) break;
            commands.ConfirmScene(*scenes.front());
            Dress(terrains.front(), *scenes.front());
            step = Step::Dressed;
            captureAt = frame + 30;
            break;
        case Step::Dressed:
            if (frame == captureAt - 5) // in the scene window's final shape
                SceneWindow::FrameTerrain(*this, *scenes.front());
            if (frame < captureAt || session.jobs.Busy()) break;
            Capture("session.png");
            glfwSetWindowShouldClose(Engine::Get().window.handle, GLFW_TRUE);
            step = Step::Done;
            break;
        case Step::Done:
            break;
        }
        if (frame > 20000) glfwSetWindowShouldClose(Engine::Get().window.handle, GLFW_TRUE);
    }

    void OnGUI() override
    {
        Editor::OnGUI();
        if (step != Step::Dressed || frame > captureAt - 10) return;
        // The scene on the left, the generator beside it (as a user would drag them).
        const float top = ImGui::GetFrameHeight() + 4.0f;
        const float bottom = static_cast<float>(kHeight) - ImGui::GetFrameHeight() - 4.0f;
        ImGui::SetWindowPos("Scene 0", ImVec2(4.0f, top));
        ImGui::SetWindowSize("Scene 0", ImVec2(820.0f, bottom - top));
        ImGui::SetWindowPos("Scene 0 terrain generator", ImVec2(830.0f, top));
        ImGui::SetWindowSize("Scene 0 terrain generator", ImVec2(446.0f, bottom - top));
        ImGui::SetWindowFocus("Scene 0");
    }

  private:
    enum class Step
    {
        Start,
        Creating,
        SceneDialog,
        Dressed,
        Done
    };
    std::string folder;
    int frame = 0;
    int createAt = 0;
    int captureAt = 0;
    Step step = Step::Start;

    // Work started by the script ends before the script goes on.
    void FinishJobs()
    {
        while (session.jobs.Busy())
            session.PollJobs();
    }

    void Dress(const std::shared_ptr<Terrain>& shared, Scene& scene)
    {
        Terrain& terrain = *shared;
        // Rolling hills of noise over the diamond-square relief, without the 1/255 terraces a large
        // power would give an 8-bit layer.
        auto layer = commands.AddNoiseLayer(terrain);
        commands.RenameLayer(*layer, "hills");
        Terrain::Heightmap::Settings settings = layer->settings;
        settings.frequency = 0.003f;
        settings.power = 160.0f;
        settings.smoothHeights = true;
        LayerPanel::SetFractalType(settings, 1);
        settings.octaves = 6;
        commands.SetLayerSettings(*layer, settings, true);
        layer->AppendState(layer->settings);
        // Rain wears gullies into the slopes and leaves fans of sediment below them.
        auto erosion = commands.AddErosion(terrain);
        Terrain::Heightmap::Settings rain = erosion->settings;
        rain.erosion.hydraulic.droplets = 400000;
        commands.SetLayerSettings(*erosion, rain, false);
        erosion->AppendState(erosion->settings);
        commands.ApplyLayers(shared); // "Update mesh"
        FinishJobs();
        layerPanel.selectedLayer = layer;

        // Height bands, lowest first: sand, meadow, forest, rock, snow.
        const glm::vec4 colours[5] = {{0.93f, 0.86f, 0.62f, 1.0f},
                                      {0.58f, 0.78f, 0.36f, 1.0f},
                                      {0.33f, 0.56f, 0.27f, 1.0f},
                                      {0.66f, 0.61f, 0.55f, 1.0f},
                                      {1.00f, 1.00f, 1.00f, 1.0f}};
        const int spans[5] = {16, 84, 62, 58, 35};
        for (int n = 0; n < 5; ++n)
            diffuseEditor.AddGradient(*this, terrain);
        for (size_t n = 0; n < 5; ++n)
        {
            Gradient gradient = *terrain.gradients[n];
            gradient.color = colours[n];
            gradient.heightSpan = spans[n];
            gradient.decay = 10;
            commands.SetGradient(terrain, n, gradient);
        }
        diffuseEditor.Generate(*this, terrain);
        if (terrain.diffuseTexture) commands.ShowTexture(terrain, terrain.diffuseTexture.get());

        // A lake: water poured around the lowest point of the middle, as a stroke over the water
        // editor's picture pours it.
        const uint32_t margin = terrain.width / 4;
        uint32_t lowI = margin;
        uint32_t lowJ = margin;
        for (uint32_t i = margin; i + margin < terrain.width; ++i)
            for (uint32_t j = margin; j + margin < terrain.height; ++j)
                if (terrain.positions[3 * (size_t{i} * terrain.height + j) + 1] <
                    terrain.positions[3 * (size_t{lowI} * terrain.height + lowJ) + 1])
                {
                    lowI = i;
                    lowJ = j;
                }
        for (int di = -48; di <= 48; di += 6)
            for (int dj = -48; dj <= 48; dj += 6)
            {
                const auto i = static_cast<uint32_t>(static_cast<int>(lowI) + di);
                const auto j = static_cast<uint32_t>(static_cast<int>(lowJ) + dj);
                commands.PourWater(terrain, i * terrain.height + j);
            }
        commands.OutlineWater(terrain);
        commands.RecalculateWater(terrain);

        SceneWindow::FrameTerrain(*this, scene);
        scene.showTerrainGenerator = true;
        sceneWindow.generatorTerrain = scene.terrain;
    }

    // The back buffer still holds the last frame shown (the next frame has not begun drawing).
    void Capture(const std::string& name)
    {
        int width = 0;
        int height = 0;
        glfwGetFramebufferSize(Engine::Get().window.handle, &width, &height);
        std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        glReadBuffer(GL_BACK);
        // GL's rows run bottom up, a PNG's top down.
        const size_t row = static_cast<size_t>(width) * 3;
        for (int y = 0; y < height / 2; ++y)
            std::swap_ranges(pixels.begin() + y * row, pixels.begin() + (y + 1) * row,
                             pixels.begin() + (height - 1 - y) * row);
        std::vector<uint8_t> png;
        std::string error;
        const std::string path = folder + "/" + name;
        if (!Png::Encode(pixels.data(), width, height, 3, 8, png, &error, 9) ||
            !WriteFileAtomically(
                path,
                [&png](std::FILE* file)
                { return std::fwrite(png.data(), 1, png.size(), file) == png.size(); },
                &error))
        {
            std::fprintf(stderr, "Cannot write %s: %s\n", path.c_str(), error.c_str());
            failed = true;
            return;
        }
        written.push_back(path);
    }
};
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    ScreenshotEditor editor(argv[1]);
    Engine::Get().Run(&editor);
    for (const std::string& path : editor.written)
        std::printf("%s\n", path.c_str());
    return editor.failed || editor.written.size() != 2 ? 1 : 0;
}
