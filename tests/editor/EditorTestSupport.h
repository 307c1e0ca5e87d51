#pragma once
// Runs the real editor frame by frame on the GL test window: the engine's own frame steps, with the
// GUI context of the main window.
#include "editor/Editor.h"
#include "editor/GuiUtil.h"
#include "editor/ProjectSession.h"
#include "engine/Engine.h"
#include "engine/WidgetMap.h"
#include "io/ProjectFile.h"
#include "render/Camera.h"
#include "render/Framebuffer.h"
#include "render/Scene.h"
#include "render/Shader.h"
#include "terrain/WaterPlane.h"
#include "tests/io/ObjTestMesh.h"
#include "tests/terrain/GLReadBack.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/TestCommon.h"
#include "tests/support/WidgetMapFile.h"

#include <GL/glew.h> // before GLFW's GL header
#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include <cfloat>

namespace testsupport
{
// A texture's pixels as the editor holds them.
inline std::vector<uint8_t> PixelsOf(const Texture& texture)
{
    return {texture.data.get(), texture.data.get() + texture.ByteSize()};
}

class EditorFrames : public GLTest
{
  protected:
    Editor editor;

    void SetUp() override
    {
        GLTest::SetUp();
        InitGui();
        Engine& engine = Engine::Get();
        engine.app = &editor;
        engine.renderManager.framebufferStack.clear();
        engine.renderManager.cameraStack.clear();
        savedClear = engine.window.framebuffer->clearColor;
        editor.Initialize();
        editor.session.recent.file = recentDir / "recent_projects.txt"; // not the work folder's list
    }

    void TearDown() override
    {
        // Some tests run commands on terrains of their own, gone by now: the history's open step must not
        // be sealed over them.
        editor.session.history.Clear();
        // Whatever the test drew, it drew without GL errors (those it causes on purpose it drains).
        Frame();
        EXPECT_EQ(DrainGLErrors(), 0);
        for (const LogRecord& record : glErrors.Records())
            EXPECT_NE(record.text.rfind("GL error", 0), 0u) << record.text;
        Engine& engine = Engine::Get();
        engine.renderManager.Clear();
        engine.app = nullptr;
        engine.window.framebuffer->clearColor = savedClear;
        glfwSetWindowSize(engine.window.handle, kGLWindowWidth, kGLWindowHeight); // a test may resize it
        ShutdownGui();
    }

    // One frame as the engine runs it after the test changed something, as input would have; before
    // is called after Engine::Update, like App::Update.
    void Frame(const std::function<void()>& before = {})
    {
        Engine& engine = Engine::Get();
        editor.Wake();
        engine.Update();
        if (before) before();
        engine.RenderFrame();
    }

    void Frames(int count)
    {
        for (int i = 0; i < count; ++i)
            Frame();
    }

    // Whether the window was asked to close; the request is taken back (the tests share the window).
    static bool WindowClosing()
    {
        GLFWwindow* window = Engine::Get().window.handle;
        const bool closing = glfwWindowShouldClose(window);
        glfwSetWindowShouldClose(window, GLFW_FALSE);
        return closing;
    }

    // A key event as the window system reports it.
    static void KeyEvent(int key, int action, int mods = 0)
    {
        ImGui_ImplGlfw_KeyCallback(Engine::Get().window.handle, key, glfwGetKeyScancode(key), action, mods);
    }

    // A key held for some frames, as the dialogs read Enter and Escape.
    void PressKey(int key, int frames = 1)
    {
        gui::ForceKeyDown(key, true);
        Frames(frames);
        gui::ForceKeyDown(key, false);
    }

    // The mouse as a frame's GUI sees it: the back end would read the hidden window's pointer, which
    // never moves, so tests put it where they want.
    struct Mouse
    {
        ImVec2 pos{-FLT_MAX, -FLT_MAX};
        bool left = false;
        bool right = false;
    };

    // One frame as the engine runs it, with the mouse given and extra GUI after the editor's own;
    // nothing else happens (an idle editor's wait for input ends at once on the posted event).
    void GuiFrame(const Mouse& mouse, const std::function<void()>& extra = {})
    {
        Engine& engine = Engine::Get();
        glfwPostEmptyEvent();
        engine.Update();
        engine.window.Render();
        editor.Render();
        engine.renderManager.Submit(std::make_unique<PopFramebuffer>());
        engine.renderManager.Flush();
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplGlfw_NewFrame();
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = mouse.pos;
        io.MouseDown[ImGuiMouseButton_Left] = mouse.left;
        io.MouseDown[ImGuiMouseButton_Right] = mouse.right;
        ImGui::NewFrame();
        editor.OnGUI();
        if (extra) extra();
        MyGUIFrame::End();
        glfwSwapBuffers(engine.window.handle);
        engine.window.keyPresses.clear();
    }

    // From now on each frame publishes where it drew its windows and widgets (engine/WidgetMap.h).
    void WatchWidgets()
    {
        widgetMapDir = std::make_unique<TempDir>();
        WidgetMap::Install(*widgetMapDir / "map.txt");
    }

    // The last frame's widget map (WatchWidgets first).
    WidgetMapFile Widgets() const
    {
        return WidgetMapFile::Read(*widgetMapDir / "map.txt").value_or(WidgetMapFile{});
    }

    // Clicks the centre of a labelled widget of the last frame (the hover frame, the press and the
    // release); false when it was not drawn.
    bool ClickWidget(const std::string& label, const std::string& window)
    {
        const WidgetMapFile map = Widgets();
        const MapEntry* item = map.Find("item", label, window);
        if (item == nullptr) return false;
        const ImVec2 centre(item->rect.CenterX(), item->rect.CenterY());
        for (const bool down : {false, true, false})
            GuiFrame({centre, down, false});
        return true;
    }

    bool SaveProject(const std::string& path)
    {
        editor.project.Save(editor, path);
        return FinishJobs() && editor.session.path == path && !editor.showError;
    }

    bool OpenProject(const std::string& path)
    {
        editor.showError = false;
        editor.project.Open(editor, path);
        return FinishJobs() && editor.session.path == path && !editor.showError;
    }

    // Ends the jobs that run, as the frames would: waits for their work, then runs their completions
    // (inFrames: in whole frames, as the program runs them).
    bool FinishJobs(bool inFrames = false)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (editor.session.jobs.Busy() && std::chrono::steady_clock::now() < deadline)
        {
            if (inFrames)
                Frame();
            else
                editor.session.PollJobs();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return !editor.session.jobs.Busy();
    }

    // "Load .obj" with a path, done: the last terrain of the list.
    std::shared_ptr<Terrain> LoadTerrain(const std::string& path)
    {
        editor.loadTerrain.Load(editor, path);
        EXPECT_TRUE(FinishJobs());
        return editor.terrains.empty() ? nullptr : editor.terrains.back();
    }

    // "Create" of the New Terrain dialog with a name, side and generator, done: the terrain made. A
    // refusal throws, which fails the test before anything uses the terrain.
    std::shared_ptr<Terrain> CreateTerrain(const std::string& name, int side = 33, int generator = 0)
    {
        editor.newTerrain.form.name = name;
        editor.newTerrain.form.width = editor.newTerrain.form.height = side;
        editor.newTerrain.form.generator = generator;
        const size_t before = editor.terrains.size();
        if (!editor.newTerrain.Create(editor) || !FinishJobs() || editor.terrains.size() != before + 1)
            throw std::runtime_error("New Terrain refused " + name + ": " + editor.errorMessage);
        return editor.terrains.back();
    }

    // A terrain made through the New Terrain dialog, and the scene it brings confirmed.
    std::shared_ptr<Terrain> CreateTerrainWithScene(const std::string& name, int side = 33, int generator = 0)
    {
        std::shared_ptr<Terrain> terrain = CreateTerrain(name, side, generator);
        if (!editor.scenes.empty() && editor.scenes.front()->isNew)
        {
            editor.commands.FillSceneDefaults(*editor.scenes.front());
            editor.commands.ConfirmScene(*editor.scenes.front());
        }
        return terrain;
    }

    // The Save Terrain dialog's form set afresh for a terrain, a path and an image format, its choices
    // fitted to the terrain.
    SaveTerrainForm& SaveForm(const std::shared_ptr<Terrain>& terrain, const std::string& outputPath,
                              const char* imageFormat = SaveTerrainForm::kNoFormat)
    {
        SaveTerrainForm& form = editor.saveTerrain.form = SaveTerrainForm{};
        form.selected = terrain;
        form.outputPath = outputPath;
        form.imageFormat = imageFormat;
        form.DropMissingChoices();
        return form;
    }

    // A 16-bit heightmap with its JSON file, source.png in the test's folder: vertices 2 apart, heights
    // that change at different rates along the two sides.
    std::string WriteHeights(uint32_t width, uint32_t height)
    {
        HeightGrid grid{width, height, 2.0f, {}};
        for (uint32_t k = 0; k < width * height; ++k)
            grid.heights.push_back(3.0f * std::cos(0.4f * (k / width)) + 0.05f * (k % width));
        const std::string path = dir / "source.png";
        EXPECT_TRUE(HeightImage::Write(path, HeightImage::Format::Png16, HeightImage::ViewOf(grid), nullptr));
        return path;
    }

    // Water poured at the terrain's middle vertex and its plane built, as the water editor's buttons do.
    void AddLake(Terrain& terrain)
    {
        editor.commands.PourWater(terrain, terrain.height / 2 * terrain.width + terrain.width / 2);
        editor.commands.RecalculateWater(terrain);
    }

    // The session as a string of bytes: its project file, and what a project leaves out but the
    // session shows, as the driver holds it (heights, normals, images). With identity, also which
    // objects the lists, scenes and layers hold and the layers' settings histories (undo gives back the
    // same objects); without, a session opened from a file compares equal to the one saved.
    std::string Snapshot(bool identity = true)
    {
        if (!snapshotDir) snapshotDir = std::make_unique<TempDir>();
        const std::string path = *snapshotDir / "snapshot.velmoran";
        EXPECT_TRUE(ProjectFile::Save(CaptureProject(editor), path));
        std::ostringstream out;
        out << ReadFile(path);
        const auto bits = [&out](const auto& values)
        {
            out.write(reinterpret_cast<const char*>(values.data()),
                      static_cast<std::streamsize>(values.size() * sizeof(values[0])));
        };
        const auto texture = [&](const Texture* t)
        {
            out << "|texture " << (t == nullptr ? 0u : identity ? t->id : 1u);
            if (t == nullptr || !t->data) return;
            out << " " << t->width << "x" << t->height << "x" << t->channels << " " << t->filter
                << t->mipmaps;
            bits(PixelsOf(*t));
            bits(terraintest::ReadTexture(*t));
        };
        const auto index = [](const auto& list, const auto& item)
        { return std::find(list.begin(), list.end(), item) - list.begin(); };
        for (const auto& terrain : editor.terrains)
        {
            out << "|terrain " << (identity ? static_cast<const void*>(terrain.get()) : nullptr) << " "
                << terrain->minHeight << " " << terrain->maxHeight;
            bits(terrain->positions);
            bits(terrain->normals);
            bits(terrain->texCoords);
            bits(terrain->indices);
            bits(terraintest::ReadBuffer<float>(terrain->mesh->vertexBuffer, terrain->positions.size()));
            std::vector<const Texture*> shown = {
                terrain->heightmapTexture.get(), terrain->normalTexture.get(), terrain->diffuseTexture.get(),
                terrain->specularTexture.get(), terrain->watermapTexture.get()};
            for (const Texture* t : shown)
                texture(t);
            for (const auto& layer : terrain->heightmaps)
            {
                out << "|layer " << layer->isTexture;
                if (identity)
                    out << " " << layer.get() << " " << layer->currentState << " " << layer->states.size();
                texture(layer.get());
                bits(layer->sculpt);
                shown.push_back(layer.get());
            }
            const GLuint drawn = terrain->mesh->entries.at(0).texture;
            out << "|shown "
                << std::find_if(shown.begin(), shown.end(),
                                [&](const Texture* t) { return t && t->id == drawn; }) -
                       shown.begin();
            if (const auto& plane = terrain->waterPlane)
            {
                out << "|plane " << (identity ? plane.get() : nullptr) << " "
                    << (plane->mesh->entries.front().texture == terrain->watermapTexture->id);
                bits(plane->positions);
                bits(plane->indices);
            }
        }
        for (const auto& scene : editor.scenes)
        {
            if (identity)
                out << "|scene " << scene.get() << " " << scene->terrain.get() << " " << scene->shader.get()
                    << " " << scene->camera.get();
            else
                out << "|scene " << index(editor.terrains, scene->terrain) << " "
                    << (scene->shader ? scene->shader->vertexPath : "") << " "
                    << index(editor.cameras, scene->camera);
        }
        out << "|shaders " << editor.shaders.size() << "|cameras " << editor.cameras.size();
        return out.str();
    }

    // The session's snapshot against one taken before, with the first difference when they differ.
    ::testing::AssertionResult SnapshotIs(const std::string& b, bool identity = true)
    {
        const std::string a = Snapshot(identity);
        if (a == b) return ::testing::AssertionSuccess();
        const size_t at =
            std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first - a.begin();
        const size_t from = at > 40 ? at - 40 : 0;
        return ::testing::AssertionFailure() << "first difference at " << at << " of " << a.size() << " / "
                                             << b.size() << ": " << a.substr(from, 80) << "\n vs \n"
                                             << b.substr(from, 80);
    }

  protected:
    LogCapture glErrors; // a test that causes one on purpose clears it
    TempDir dir;         // the test's own files

  private:
    glm::vec4 savedClear{0.0f};
    TempDir recentDir;
    std::unique_ptr<TempDir> widgetMapDir;
    std::unique_ptr<TempDir> snapshotDir;
};

// A mesh of w x h vertices named scan, written as an OBJ file; stretched along x, its grid is
// irregular (its x and z are its own).
inline std::string WriteScanObj(const std::string& path, uint32_t w, uint32_t h,
                                float (*heightAt)(uint32_t, uint32_t), float stretchX = 1.0f)
{
    GridMesh mesh(w, h, heightAt);
    mesh.name = "scan";
    for (size_t k = 0; k < mesh.positions.size(); k += 3)
        mesh.positions[k] *= stretchX;
    EXPECT_TRUE(ObjWriter::WriteFile(path, mesh.View()));
    return path;
}
} // namespace testsupport
