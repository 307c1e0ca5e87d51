// The New Terrain dialog: name, start generator, grid size and generator parameters.
#include "editor/NewTerrainDialog.h"

#include "editor/Editor.h"
#include "editor/EditorJobs.h"
#include "editor/GuiUtil.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <string>

namespace
{
// "-", "+" and the typed field of one side.
void SideRow(const char* minusId, const char* plusId, const char* fieldId, const char* label, int& side)
{
    const float button = ImGui::GetFrameHeight();
    if (ImGui::Button(minusId, ImVec2(button, button))) side = NewTerrainForm::Decrease(side);
    ImGui::SameLine();
    if (ImGui::Button(plusId, ImVec2(button, button))) side = NewTerrainForm::Increase(side);
    ImGui::SameLine();
    ImGui::SetNextItemWidth(200.0f - 3.0f * button);
    ImGui::InputInt(fieldId, &side, 0, 0);
    ImGui::SameLine();
    ImGui::TextUnformatted(label);
}

void RoughnessHint(float roughness)
{
    ImGui::SameLine();
    ImGui::TextColored(ImVec4(1.0f - roughness, 0.0f, 0.0f, 1.0f), "Rough");
    ImGui::SameLine();
    ImGui::TextColored(ImVec4(0.0f, roughness, 0.0f, 1.0f), "Smooth");
}
} // namespace

bool NewTerrainDialog::Create(Editor& editor)
{
    if (!form.CanCreate(TerrainNames(editor.terrains))) return false;
    const NewTerrainForm::Arguments a = form.BuildArguments();
    JobRunner::Request request;
    request.title = "Creating terrain " + form.name + " (" + std::to_string(a.width) + " x " +
                    std::to_string(a.height) + ")";
    request.subject = "the session";
    request.resources = {editor.session.ListsResource()};
    request.cancellable = true;
    const bool started = StartJob(
        editor, std::move(request),
        [a](JobContext& job)
        {
            TerrainRecord record;
            TerrainRecord::Generate(a.width, a.height, a.vertexDistance, a.generator, a.parameter1,
                                    a.parameter2, a.iterations, true, record,
                                    [&job](float done, std::string_view step)
                                    {
                                        job.Report(kTerrainWorkShare * done, step);
                                        return !job.CancelRequested();
                                    });
            job.ThrowIfCancelled();
            return record;
        },
        ArrivingTerrain<TerrainRecord>(
            [](TerrainRecord& record) { return &record; },
            [&editor, name = form.name](TerrainRecord&, const std::shared_ptr<Terrain>& terrain)
            {
                terrain->name = name;
                editor.commands.AddTerrain(terrain);
            }));
    if (!started) return false;
    editor.showNewTerrain = false;
    return true;
}

void Editor::ShowNewTerrainDialog()
{
    NewTerrainForm& form = newTerrain.form;
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowPos(ImVec2((display.x - 600.0f) * 0.5f, (display.y - 180.0f) * 0.5f));
    // The rows of random fault's parameters and two messages do not fit 180 pixels. The dialog is as
    // high as that longest form from the start, and its buttons stay at the bottom, so that nothing
    // moves when the generator or a message changes.
    ImGui::SetNextWindowSize(ImVec2(600.0f, std::max(180.0f, gui::DialogHeight(9, 2, 12.0f, false))));
    ImGui::OpenPopup("New Terrain");
    if (!ImGui::BeginPopupModal("New Terrain", &showNewTerrain,
                                ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                    ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                                    ImGuiWindowFlags_NoNavFocus | kNoDockingFlag))
        return;

    const std::vector<std::string> names = TerrainNames(terrains);
    ImGui::SetNextItemWidth(300.0f);
    ImGui::InputTextWithHint("##newterName", "Input terrain name (no extension)", &form.name);
    if (const std::string error = form.NameError(names); !error.empty())
    {
        ImGui::SameLine();
        gui::TextColored(kRed, error);
    }

    ImGui::SetNextItemWidth(200.0f);
    if (ImGui::BeginCombo("Terrain", NewTerrainForm::kGeneratorLabels[form.generator]))
    {
        for (int i = 0; i < 3; ++i)
        {
            const bool selected = i == form.generator;
            if (ImGui::Selectable(NewTerrainForm::kGeneratorLabels[i], selected)) form.generator = i;
            if (selected) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }

    SideRow("-##w", "+##w", "##nfwidth", "Enter width", form.width);
    if (form.IsDiamondSquare())
    {
        if (const std::string error = form.SideError(); !error.empty()) gui::TextColored(kRed, error);
        form.height = form.width;
    }
    else
    {
        SideRow("-##h", "+##h", "##nfheight", "Enter height", form.height);
    }
    if (const std::string error = form.SizeError(); !error.empty()) gui::TextColored(kRed, error);

    ImGui::SetNextItemWidth(200.0f);
    ImGui::DragFloat("Vertex distance", &form.vertexDistance, 0.005f, 0.0001f, 0.0f, "%.3f");
    gui::TextColored(kGreen, form.SizeLine());
    if (form.IsDiamondSquare() || form.IsRandomFault())
    {
        const bool diamond = form.IsDiamondSquare();
        ImGui::SetNextItemWidth(200.0f);
        ImGui::DragFloat(diamond ? "Diamond-square difference range" : "Random Fault iteration range",
                         &form.range, form.vertexDistance * 0.1f, 0.0001f, 0.0f, "%.3f");
        ImGui::SetNextItemWidth(200.0f);
        ImGui::DragFloat(diamond ? "Diamond-square roughness" : "Random Fault roughness", &form.roughness,
                         0.001f, 0.0f, 1.0f, "%.3f");
        RoughnessHint(form.roughness);
        if (!diamond)
        {
            ImGui::SetNextItemWidth(200.0f);
            ImGui::DragInt("Iterations", &form.iterations, 1.0f, 0, 0, "%d");
        }
    }

    const ImVec2 buttonSize(200.0f, 30.0f);
    gui::BottomRow(buttonSize.y);
    if (ImGui::Button("Close", buttonSize))
    {
        showNewTerrain = false;
        ImGui::CloseCurrentPopup();
    }
    if (!form.IsRectangular())
    {
        if (form.CanCreate(names))
        {
            ImGui::SameLine(ImGui::GetWindowContentRegionMax().x - buttonSize.x);
            if (ImGui::Button("Create", buttonSize) && newTerrain.Create(*this)) ImGui::CloseCurrentPopup();
        }
    }
    else
    {
        ImGui::SameLine();
        gui::TextColored(kRed, "The program does not support rectangular texturing at the moment.");
    }
    ImGui::EndPopup();
}
