#pragma once
// Runs the real editor frame by frame on the GL test window: the engine's own frame steps, with the
// GUI context of the main window.
#include "editor/Editor.h"
#include "engine/Engine.h"
#include "render/Framebuffer.h"
#include "render/Scene.h"
#include "tests/support/GLTestEnvironment.h"

#include <functional>

namespace testsupport
{
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
    }

    void TearDown() override
    {
        Engine& engine = Engine::Get();
        engine.renderManager.Clear();
        engine.app = nullptr;
        engine.window.framebuffer->clearColor = savedClear;
        ShutdownGui();
    }

    // One frame as the engine runs it; before is called after Engine::Update, like App::Update.
    void Frame(const std::function<void()>& before = {})
    {
        Engine& engine = Engine::Get();
        engine.Update();
        if (before)
            before();
        engine.RenderFrame();
    }

    void Frames(int count)
    {
        for (int i = 0; i < count; ++i)
            Frame();
    }

    // Makes a named flat terrain through the New Terrain form and confirms the scene it creates.
    std::shared_ptr<Terrain> CreateTerrainWithScene(const std::string& name, int side = 33, int generator = 0)
    {
        editor.newTerrainForm.name = name;
        editor.newTerrainForm.width = side;
        editor.newTerrainForm.height = side;
        editor.newTerrainForm.generator = generator;
        std::shared_ptr<Terrain> terrain = editor.CreateTerrainFromForm();
        if (!editor.scenes.empty() && editor.scenes.front()->isNew)
        {
            editor.ManageFillDefaults(*editor.scenes.front());
            editor.ManageCreate(*editor.scenes.front());
        }
        return terrain;
    }

private:
    glm::vec4 savedClear{0.0f};
};
} // namespace testsupport
