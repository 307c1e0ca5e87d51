// The status line at the bottom of the main window, the hint the empty window shows, the keyboard
// shortcuts of the menus, and Frame terrain.
#include "editor/StatusLine.h"

#include "editor/Editor.h"
#include "editor/GuiUtil.h"
#include "engine/Engine.h"
#include "engine/ProcessMemory.h"
#include "render/Camera.h"
#include "render/Scene.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainRecord.h"

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

void StatusLineState::AddFrame(double seconds)
{
    const double milliseconds = 1000.0 * seconds;
    // A few frames' memory: steady enough to read, quick to follow a change.
    frameMilliseconds =
        frameMilliseconds <= 0.0 ? milliseconds : 0.9 * frameMilliseconds + 0.1 * milliseconds;
}

void StatusLineState::SampleMemory(double now)
{
    if (memorySampledAt >= 0.0 && now - memorySampledAt < kMemorySeconds) return;
    memorySampledAt = now;
    residentBytes = ProcessMemory::ResidentBytes();
}

Shortcut ShortcutFor(int glfwKey, bool ctrl, bool textFieldActive, bool modalOpen)
{
    if (!ctrl || modalOpen) return Shortcut::None;
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
        return textFieldActive ? Shortcut::None : Shortcut::Undo;
    case GLFW_KEY_Y:
        return textFieldActive ? Shortcut::None : Shortcut::Redo;
    default:
        return Shortcut::None;
    }
}

// -------------------------------------------------------------------------------------------------
// The editor's side

void Editor::DrawStatusLine()
{
    statusLine.SampleMemory(glfwGetTime());
    StatusLineFacts facts;
    std::shared_ptr<Scene> scene = focusedScene.lock();
    if (!scene && !scenes.empty()) scene = scenes.front();
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
    facts.frameMilliseconds = statusLine.frameMilliseconds;
    facts.residentBytes = statusLine.residentBytes;

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

void Editor::DrawStartHint()
{
    if (!terrains.empty() || jobs.Busy()) return;
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
        if (!project.recent.paths.empty())
        {
            ImGui::Spacing();
            ImGui::TextUnformatted("Recent projects:");
            const std::vector<std::string> recent = project.recent.paths; // opening reorders the list
            const size_t shown = std::min<size_t>(recent.size(), 5);
            for (size_t n = 0; n < shown; ++n)
            {
                ImGui::PushID(static_cast<int>(n));
                if (ImGui::Selectable(recent[n].c_str()))
                    RequestSessionAction(SessionAction::OpenProject, recent[n]);
                ImGui::PopID();
            }
        }
    }
    ImGui::End();
}

void Editor::HandleShortcuts()
{
    // Presses, not held keys: a tap shorter than a slow frame still counts, and a held key's repeats
    // do not undo again. A press that opened a dialog stops the ones after it in the same frame.
    const bool typing = ImGui::GetIO().WantTextInput;
    for (const KeyPress& press : Engine::Get().window.keyPresses)
    {
        switch (ShortcutFor(press.key, (press.mods & GLFW_MOD_CONTROL) != 0, typing, DialogOpen()))
        {
        case Shortcut::NewTerrain:
            showNewTerrain = true;
            break;
        case Shortcut::OpenProject:
            project.showOpen = true;
            break;
        case Shortcut::SaveProject:
            SaveProjectCommand();
            break;
        case Shortcut::Undo:
            UndoLayerSettings(false);
            break;
        case Shortcut::Redo:
            UndoLayerSettings(true);
            break;
        case Shortcut::Quit:
            RequestSessionAction(SessionAction::Quit);
            break;
        case Shortcut::None:
            break;
        }
    }
}

bool Editor::DialogOpen() const
{
    return ImGui::GetTopMostPopupModal() != nullptr || showError || showNewTerrain || showLoadTerrain ||
           showSaveTerrain || showNewShader || showExport || showHeightmapImport || project.showOpen ||
           project.showSaveAs || SessionQuestionShowing();
}

bool Editor::CanUndoLayerSettings(bool redo) const
{
    const std::shared_ptr<Terrain> terrain = generatorTerrain.lock();
    const std::shared_ptr<Terrain::Heightmap>& layer = layerPanel.selectedLayer;
    if (!terrain || !layer || layer->isTexture || IsBusy(terrain.get()) ||
        std::find(terrain->heightmaps.begin(), terrain->heightmaps.end(), layer) == terrain->heightmaps.end())
        return false;
    const size_t states = layer->states.size();
    const size_t current = layer->currentState;
    return redo ? current + 1 < states : current > 0 && current < states;
}

bool Editor::UndoLayerSettings(bool redo)
{
    if (!CanUndoLayerSettings(redo)) return false;
    const std::shared_ptr<Terrain> terrain = generatorTerrain.lock();
    const std::shared_ptr<Terrain::Heightmap> layer = layerPanel.selectedLayer;
    // As the panel's buttons do: step through the history, then the regeneration rule.
    if (redo)
        layer->Redo();
    else
        layer->Undo();
    layerPanel.Regenerate(*terrain, *layer);
    return true;
}

void Editor::FrameTerrain(Scene& scene)
{
    if (!scene.camera || !scene.terrain || scene.terrain->IsEmpty()) return;
    const Terrain& terrain = *scene.terrain;
    glm::vec3 low;
    glm::vec3 high;
    TerrainBounds(terrain.positions.data(), terrain.vertexCount, low, high);
    scene.camera->Frame(low, high);
    Wake();
}
