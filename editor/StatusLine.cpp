// The status line at the bottom of the main window, the hint the empty window shows, and the keyboard
// shortcuts of the menus.
#include "editor/StatusLine.h"

#include "editor/Editor.h"
#include "editor/GuiUtil.h"
#include "engine/Engine.h"
#include "engine/ProcessMemory.h"
#include "render/Scene.h"
#include "terrain/Terrain.h"

#include <GLFW/glfw3.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cstdio>

// -------------------------------------------------------------------------------------------------
// Texts and decisions

std::string GroupedThousands(uint64_t value)
{
    std::string digits = std::to_string(value);
    for (size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return digits;
}

std::string StatusLineText(const StatusLineFacts& facts)
{
    std::string text;
    char number[96];
    if (!facts.hasTerrain)
        text = "No terrain";
    else if (facts.width == 0 || facts.height == 0)
        text = facts.terrainName + " (empty)";
    else
    {
        text = facts.terrainName + " " + std::to_string(facts.width) + " x " + std::to_string(facts.height) +
               " | " + GroupedThousands(uint64_t{facts.width} * facts.height) + " vertices";
        std::snprintf(number, sizeof number, " | heights %.2f to %.2f", static_cast<double>(facts.minHeight),
                      static_cast<double>(facts.maxHeight));
        text += number;
    }
    std::snprintf(number, sizeof number, " | %.1f ms a frame", facts.frameMilliseconds);
    text += number;
    if (facts.residentBytes > 0)
        text += " | " + GroupedThousands((facts.residentBytes + (1u << 19)) >> 20) + " MB in memory";
    return text;
}

void StatusLine::AddFrame(double seconds)
{
    const double milliseconds = 1000.0 * seconds;
    // A few frames' memory: steady enough to read, quick to follow a change.
    frameMilliseconds =
        frameMilliseconds <= 0.0 ? milliseconds : 0.9 * frameMilliseconds + 0.1 * milliseconds;
}

void StatusLine::SampleMemory(double now)
{
    if (memorySampledAt >= 0.0 && now - memorySampledAt < kMemorySeconds) return;
    memorySampledAt = now;
    residentBytes = ProcessMemory::ResidentBytes();
}

Shortcut ShortcutFor(int glfwKey, int mods, bool textFieldActive, bool modalOpen)
{
    if ((mods & GLFW_MOD_CONTROL) == 0 || modalOpen) return Shortcut::None;
    const bool shift = (mods & GLFW_MOD_SHIFT) != 0;
    switch (glfwKey)
    {
    case GLFW_KEY_N:
        return Shortcut::NewTerrain;
    case GLFW_KEY_O:
        return Shortcut::OpenProject;
    case GLFW_KEY_S:
        return Shortcut::SaveProject;
    case GLFW_KEY_Q:
        return Shortcut::Quit;
    case GLFW_KEY_Z:
        return textFieldActive ? Shortcut::None : shift ? Shortcut::Redo : Shortcut::Undo;
    case GLFW_KEY_Y:
        return textFieldActive ? Shortcut::None : Shortcut::Redo;
    default:
        return Shortcut::None;
    }
}

// -------------------------------------------------------------------------------------------------
// The editor's side

void StatusLine::Draw(const Editor& editor)
{
    SampleMemory(glfwGetTime());
    StatusLineFacts facts;
    const std::shared_ptr<Scene> scene = editor.sceneWindow.FocusedScene(editor);
    if (scene && scene->terrain)
    {
        const Terrain& terrain = *scene->terrain;
        facts.hasTerrain = true;
        facts.terrainName = terrain.name;
        if (!terrain.IsEmpty())
        {
            facts.width = terrain.width;
            facts.height = terrain.height;
            facts.minHeight = terrain.minHeight;
            facts.maxHeight = terrain.maxHeight;
        }
    }
    facts.frameMilliseconds = frameMilliseconds;
    facts.residentBytes = residentBytes;

    ImGuiViewport* viewport = ImGui::GetMainViewport();
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoSavedSettings |
                                   ImGuiWindowFlags_MenuBar | kNoDockingFlag;
    if (ImGui::BeginViewportSideBar("##StatusLine", viewport, ImGuiDir_Down, ImGui::GetFrameHeight(), flags))
    {
        if (ImGui::BeginMenuBar())
        {
            ImGui::TextUnformatted(StatusLineText(facts).c_str());
            ImGui::EndMenuBar();
        }
    }
    ImGui::End();
}

void DrawStartHint(Editor& editor)
{
    if (!editor.terrains.empty() || editor.session.jobs.Busy()) return;
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(ImVec2(viewport->WorkPos.x + 0.5f * viewport->WorkSize.x,
                                   viewport->WorkPos.y + 0.4f * viewport->WorkSize.y),
                            ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowBgAlpha(0.35f);
    const ImGuiWindowFlags flags =
        ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
        ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoFocusOnAppearing |
        ImGuiWindowFlags_NoBringToFrontOnFocus | ImGuiWindowFlags_NoNav | kNoDockingFlag;
    if (ImGui::Begin("##StartHint", nullptr, flags))
    {
        ImGui::TextUnformatted("File > New > Terrain to begin (Ctrl+N)");
        ImGui::TextColored(kHint, "or File > New > Terrain from heightmap, File > Open > Terrain, "
                                  "File > Open Project... (Ctrl+O)");
        if (!editor.session.recent.paths.empty())
        {
            ImGui::Spacing();
            ImGui::TextUnformatted("Recent projects:");
            const std::vector<std::string> recent = editor.session.recent.paths; // opening reorders the list
            const size_t shown = std::min<size_t>(recent.size(), 5);
            for (size_t n = 0; n < shown; ++n)
            {
                ImGui::PushID(static_cast<int>(n));
                if (ImGui::Selectable(recent[n].c_str()))
                    editor.project.Request(editor, SessionAction::OpenProject, recent[n]);
                ImGui::PopID();
            }
        }
    }
    ImGui::End();
}

void HandleShortcuts(Editor& editor)
{
    // Presses, not held keys: a tap shorter than a slow frame still counts, and a held key's repeats
    // do not undo again. A press that opened a dialog stops the ones after it in the same frame.
    const bool typing = ImGui::GetIO().WantTextInput;
    for (const KeyPress& press : Engine::Get().window.keyPresses)
    {
        switch (ShortcutFor(press.key, press.mods, typing, DialogOpen(editor)))
        {
        case Shortcut::NewTerrain:
            editor.showNewTerrain = true;
            break;
        case Shortcut::OpenProject:
            editor.project.showOpen = true;
            break;
        case Shortcut::SaveProject:
            editor.project.SaveCommand(editor);
            break;
        case Shortcut::Undo:
            editor.commands.Undo();
            break;
        case Shortcut::Redo:
            editor.commands.Redo();
            break;
        case Shortcut::Quit:
            editor.project.Request(editor, SessionAction::Quit);
            break;
        case Shortcut::None:
            break;
        }
    }
}

bool DialogOpen(const Editor& editor)
{
    return ImGui::GetTopMostPopupModal() != nullptr || editor.showError || editor.showNewTerrain ||
           editor.showLoadTerrain || editor.showSaveTerrain || editor.showNewShader ||
           editor.exportDialog.open || editor.heightmapImport.open || editor.project.showOpen ||
           editor.project.showSaveAs || editor.project.QuestionShowing();
}
