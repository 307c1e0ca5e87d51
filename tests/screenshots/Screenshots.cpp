// Makes the README's pictures from a real session: the editor, run by the engine as the program runs
// it, is given what a user would do (a diamond-square terrain, a noise layer, height bands for the
// diffuse map, a lake and its water plane, Frame terrain, the generator beside the scene) and the
// window's pixels are written as PNG files. Run by scripts/screenshots.sh under a virtual X server.
//
//   velmoran_screenshots OUTPUT_FOLDER
#include "editor/Editor.h"
#include "engine/AtomicFile.h"
#include "engine/Engine.h"
#include "io/Png.h"
#include "render/Scene.h"
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
        if (frame == 3)
            Capture("start.png"); // the previous frame's picture: the empty window and its hint
        else if (frame == 4)
        {
            newTerrain.form.name = "hills";
            newTerrain.form.generator = 1; // diamond-square
            newTerrain.form.width = 257;
            newTerrain.form.range = 24.0f;
            newTerrain.form.roughness = 0.45f;
            newTerrain.Create(*this);
            FinishJobs();
        }
        else if (frame == 6 && !scenes.empty())
            commands.ConfirmScene(*scenes.front());
        else if (frame == 8 && !terrains.empty())
            Dress(terrains.front(), *scenes.front());
        else if (frame == 40)
            Capture("session.png");
        else if (frame == 41)
            glfwSetWindowShouldClose(Engine::Get().window.handle, GLFW_TRUE);
    }

    void OnGUI() override
    {
        Editor::OnGUI();
        if (frame < 8 || frame > 20) return;
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
    std::string folder;
    int frame = 0;

    // Work started by the script ends before the script goes on.
    void FinishJobs()
    {
        while (session.jobs.Busy())
            session.PollJobs();
    }

    void Dress(const std::shared_ptr<Terrain>& shared, Scene& scene)
    {
        Terrain& terrain = *shared;
        // A noise layer over the diamond-square heights.
        auto layer = commands.AddNoiseLayer(terrain);
        Terrain::Heightmap::Settings settings = layer->settings;
        settings.frequency = 0.008f;
        settings.power = 60.0f;
        LayerPanel::SetFractalType(settings, 1);
        commands.SetLayerSettings(*layer, settings, true);
        layer->AppendState(layer->settings);
        commands.ApplyLayers(shared);
        FinishJobs();
        layerPanel.selectedLayer = layer;

        // Height bands, lowest first: sand, grass, rock, snow.
        const glm::vec4 colours[4] = {{0.76f, 0.70f, 0.50f, 1.0f},
                                      {0.30f, 0.52f, 0.22f, 1.0f},
                                      {0.45f, 0.40f, 0.36f, 1.0f},
                                      {0.95f, 0.95f, 0.97f, 1.0f}};
        const int spans[4] = {30, 110, 75, 40};
        for (int n = 0; n < 4; ++n)
            diffuseEditor.AddGradient(*this, terrain);
        for (size_t n = 0; n < 4; ++n)
        {
            Gradient gradient = *terrain.gradients[n];
            gradient.color = colours[n];
            gradient.heightSpan = spans[n];
            gradient.decay = 6;
            commands.SetGradient(terrain, n, gradient);
        }
        diffuseEditor.Generate(*this, terrain);
        if (terrain.diffuseTexture) commands.ShowTexture(terrain, terrain.diffuseTexture.get());

        // A lake: water poured over a patch around the lowest vertex, as a stroke of the water
        // editor's picture pours it.
        size_t lowest = 0;
        for (size_t k = 1; k < terrain.vertexCount; ++k)
            if (terrain.positions[3 * k + 1] < terrain.positions[3 * lowest + 1]) lowest = k;
        const int ci = static_cast<int>(lowest / terrain.height);
        const int cj = static_cast<int>(lowest % terrain.height);
        for (int di = -24; di <= 24; di += 4)
            for (int dj = -24; dj <= 24; dj += 4)
            {
                const int i = std::clamp(ci + di, 0, static_cast<int>(terrain.width) - 1);
                const int j = std::clamp(cj + dj, 0, static_cast<int>(terrain.height) - 1);
                commands.PourWater(terrain, static_cast<uint32_t>(i * static_cast<int>(terrain.height) + j));
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
