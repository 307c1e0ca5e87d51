// The real editor started by the engine as the program does, driven for a number of frames with
// its windows and dialogs open.
#include "editor/Editor.h"
#include "engine/Engine.h"
#include "render/Scene.h"
#include "terrain/Terrain.h"
#include "tests/support/LogCapture.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

namespace
{
class ScriptedEditor : public Editor
{
  public:
    int frame = 0;
    int windowWidth = 0;
    int windowHeight = 0;
    size_t terrainCount = 0; // at the last frame: Shutdown lets the terrains go
    bool terrainEmpty = true;

    void Update() override
    {
        Editor::Update();
        ++frame;
        GLFWwindow* window = Engine::Get().window.handle;
        Wake(); // the script is the input: no frame waits for any, and each draws what it changed
        if (frame == 1)
        {
            glfwGetWindowSize(window, &windowWidth, &windowHeight);
            showNewTerrain = true;
            newTerrain.form.name = "valley";
            newTerrain.form.generator = 2;
        }
        else if (frame == 3)
        {
            newTerrain.Create(*this);   // "Create": the terrain and its scene's Create dialog
            while (session.jobs.Busy()) // the script goes on with the terrain made
                session.PollJobs();
        }
        else if (frame == 5)
        {
            commands.ConfirmScene(*scenes.front());
        }
        else if (frame == 6)
        {
            scenes.front()->showCameraControl = true;
            scenes.front()->showTerrainGenerator = true;
            showOptions = true;
            showHelp = true;
            layerPanel.AddLayer(*this, terrains.front());
            layerPanel.realtimeUpdate = true;
        }
        else if (frame == 10)
        {
            showSaveTerrain = true;
        }
        else if (frame == 12)
        {
            showSaveTerrain = false;
            commands.NewScene(); // refused: one scene at a time
        }
        else if (frame == 20)
        {
            terrainCount = terrains.size();
            terrainEmpty = terrains.empty() || terrains.front()->IsEmpty();
            glfwSetWindowShouldClose(window, GLFW_TRUE);
        }
    }
};

TEST(EditorRunTest, TheEditorRunsItsWindowsForFramesWithoutErrors)
{
    testsupport::LogCapture log;
    ScriptedEditor editor;
    Engine::Get().Run(&editor);

    EXPECT_EQ(editor.frame, 20);
    EXPECT_GE(editor.windowWidth, 200);
    EXPECT_GE(editor.windowHeight, 200);
    EXPECT_EQ(editor.terrainCount, 1u);
    EXPECT_FALSE(editor.terrainEmpty);
    EXPECT_TRUE(editor.terrains.empty()); // released in Shutdown, while the GL context existed
    EXPECT_EQ(editor.errorMessage, "Multiple scenes in development.");
    EXPECT_TRUE(log.Has(spdlog::level::trace, "Initializing app."));
    EXPECT_TRUE(log.Has(spdlog::level::warn, "Shutting down app."));
    EXPECT_EQ(log.CountLevel(spdlog::level::err), 0) << log.Dump();
}
} // namespace
