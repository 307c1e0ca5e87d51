// File > Export and File > New > Terrain from heightmap: two modal dialogs on the centre of the main
// window. Their decisions are in ExportForm and HeightmapImportForm.
#include "editor/ExportDialogs.h"

#include "editor/Editor.h"
#include "editor/EditorJobs.h"
#include "editor/GuiUtil.h"

#include "render/Scene.h"
#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/WaterPlane.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <string>

namespace
{
const char* const kFormatLabels[6] = {
    "glTF binary (.glb)##ex",          "OBJ for other tools (.obj, .mtl, base colour .png)##ex",
    "16-bit heights (.png)##ex",       "Raw 16-bit heights, little-endian (.r16)##ex",
    "32-bit float heights (.exr)##ex", "Splat map of four bands (.png)##ex"};

const ImVec2 kExportButtonSize(200.0f, 30.0f);

// Whether the dialog stays open for a question after a press of its button.
bool Asks(ExportForm::Outcome outcome)
{
    return outcome == ExportForm::Outcome::AskOverwrite || outcome == ExportForm::Outcome::AskCreateFolder;
}

void Hint(const std::string& text)
{
    gui::TextColored(kHint, text);
}
} // namespace

ExportForm::Outcome ExportDialog::Export(Editor& editor, bool overwrite)
{
    std::string error;
    ExportForm::Outcome refused = ExportForm::Outcome::Failed;
    if (!form.CanWrite(overwrite, refused, error))
    {
        if (refused == ExportForm::Outcome::Failed) editor.SetError(error);
        if (!Asks(refused)) open = false;
        return refused;
    }
    open = false;
    return Start(editor) ? ExportForm::Outcome::Started : ExportForm::Outcome::Failed;
}

namespace
{
struct ExportResult
{
    bool written = false;
    bool cancelled = false;
    std::string error;
};
} // namespace

bool ExportDialog::Start(Editor& editor)
{
    const std::shared_ptr<Terrain> terrain = form.selected;
    const std::vector<std::string> files = form.Files();
    JobRunner::Request request;
    request.title = "Exporting terrain " + terrain->name;
    request.subject = "terrain " + terrain->name;
    request.resources = {terrain.get()};
    request.cancellable = true;
    // The work holds the terrain, which stays locked, and takes its record there.
    return StartJob(
        editor, std::move(request),
        [terrain, options = form.Options()](JobContext& job)
        {
            ExportResult result;
            const TerrainRecord record = terrain->Record(Terrain::RecordScope::Files);
            result.written = ExportTerrain(
                ExportInputOf(record), options,
                [&job](float done, const std::string& file)
                {
                    job.Report(done, "Writing " + FileName(file));
                    return !job.CancelRequested();
                },
                &result.error);
            result.cancelled = !result.written && job.CancelRequested();
            return result;
        },
        [&editor, files](ExportResult& result)
        {
            if (result.cancelled)
                editor.session.SetNotice(
                    "Export cancelled: the files written before it are complete, the others were "
                    "not written.");
            else if (!result.written)
                editor.SetError(result.error);
            else
                editor.session.SetNotice("Exported " + FilesInFolder(files) + ".");
        });
}

ExportForm::Outcome ExportDialog::CreateFolderAndExport(Editor& editor)
{
    std::string error;
    if (!form.CreateFolder(error))
    {
        editor.SetError(error);
        open = false;
        return ExportForm::Outcome::Failed;
    }
    return Export(editor, false);
}

bool HeightmapImportDialog::Create(Editor& editor)
{
    if (!form.Problem(TerrainNames(editor.terrains)).empty()) return false;
    open = false;
    return Start(editor);
}

namespace
{
struct ImportedHeightmap
{
    std::string error; // the Error popup's text; empty when the record was built
    TerrainRecord record;
};
} // namespace

bool HeightmapImportDialog::Start(Editor& editor)
{
    JobRunner::Request request;
    request.title = "Creating terrain " + form.name + " from " + FileName(form.path);
    request.subject = "the session";
    request.resources = {editor.session.ListsResource()};
    request.cancellable = true;
    return StartJob(
        editor, std::move(request),
        [form = form](JobContext& job)
        {
            ImportedHeightmap out;
            HeightGrid grid;
            job.Report(0.0f, "Reading " + FileName(form.path));
            if (!form.Read(grid, out.error, JobProgress(job, 0.0f, 0.6f)))
            {
                job.ThrowIfCancelled();
                return out;
            }
            job.Report(0.6f, "Laying the grid");
            if (!HeightmapImportForm::BuildRecord(grid, out.record))
            {
                out.error = "Cannot import heightmap " + form.path + ": the terrain could not be built";
                return out;
            }
            grid = HeightGrid();
            job.ThrowIfCancelled();
            job.Report(0.65f, "Normals");
            out.record.Derive(JobProgress(job, 0.65f, kTerrainWorkShare));
            job.ThrowIfCancelled();
            return out;
        },
        ArrivingTerrain<ImportedHeightmap>(
            [&editor](ImportedHeightmap& imported) -> TerrainRecord*
            {
                if (imported.error.empty()) return &imported.record;
                editor.SetError(imported.error);
                return nullptr;
            },
            [&editor, name = form.name](ImportedHeightmap&, const std::shared_ptr<Terrain>& terrain)
            {
                terrain->name = name;
                editor.commands.AddTerrain(terrain);
            }));
}

void ExportDialog::Show(Editor& editor)
{
    const std::vector<std::shared_ptr<Terrain>>& terrains = editor.terrains;
    if (!form.selected && !terrains.empty()) form.selected = terrains.front();

    // As high as its longest form: every format, the water plane, resampling and splat rows, two
    // hints and the problem line; the buttons at the bottom.
    gui::PlaceDialog(
        ImVec2(640.0f, gui::DialogHeight(14, 3, 2.0f * ImGui::GetStyle().ItemSpacing.y + 12.0f)));
    ImGui::OpenPopup("Export Terrain");
    if (!ImGui::BeginPopupModal("Export Terrain", &open,
                                ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                    ImGuiWindowFlags_NoCollapse | kNoDockingFlag))
        return;

    if (!form.folderQuestion.empty())
    {
        gui::TextColored(kRed, "The folder " + form.folderQuestion + " does not exist.");
        ImGui::TextUnformatted("Create it and export?");
        gui::BottomRow(kExportButtonSize.y);
        if (ImGui::Button("Cancel##exfolder", kExportButtonSize)) form.folderQuestion.clear();
        ImGui::SameLine(ImGui::GetWindowContentRegionMax().x - kExportButtonSize.x);
        if (ImGui::Button("Create folder##exfolder", kExportButtonSize)) CreateFolderAndExport(editor);
        if (!open) ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
        return;
    }
    if (!form.overwriteQuestion.empty())
    {
        ImGui::TextUnformatted("These files exist already:");
        const size_t shown = std::min<size_t>(form.overwriteQuestion.size(), 12);
        for (size_t n = 0; n < shown; ++n)
            ImGui::BulletText("%s", form.overwriteQuestion[n].c_str());
        if (shown < form.overwriteQuestion.size())
            ImGui::Text("... and %zu more", form.overwriteQuestion.size() - shown);
        ImGui::TextUnformatted("Overwrite them?");
        gui::BottomRow(kExportButtonSize.y);
        if (ImGui::Button("Cancel##exow", kExportButtonSize)) form.overwriteQuestion.clear();
        ImGui::SameLine(ImGui::GetWindowContentRegionMax().x - kExportButtonSize.x);
        if (ImGui::Button("Overwrite##exow", kExportButtonSize)) Export(editor, true);
        if (!open) ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
        return;
    }

    ImGui::PushItemWidth(300.0f);
    if (ImGui::BeginCombo("Terrain##ex", form.selected ? form.selected->name.c_str() : ""))
    {
        for (const auto& terrain : terrains)
        {
            const bool selected = terrain == form.selected;
            ImGui::PushID(terrain.get());
            if (ImGui::Selectable(terrain->name.c_str(), selected)) form.selected = terrain;
            if (selected) ImGui::SetItemDefaultFocus();
            ImGui::PopID();
        }
        ImGui::EndCombo();
    }
    ImGui::InputTextWithHint("Folder##ex", "working folder", &form.folder);
    const std::string nameHint = form.selected ? form.selected->name : std::string("file name");
    ImGui::InputTextWithHint("File name##ex", nameHint.c_str(), &form.baseName);
    ImGui::PopItemWidth();

    ImGui::Separator();
    for (int n = 0; n < 6; ++n)
        ImGui::Checkbox(kFormatLabels[n], &form.formats[n]);
    ImGui::Separator();

    const bool meshes = form.formats[0] || form.formats[1];
    if (form.selected && meshes)
    {
        if (form.selected->waterPlane && form.selected->waterPlane->vertexCount > 0)
            ImGui::Checkbox("Water plane as a second mesh##ex", &form.water);
        if (!form.selected->diffuseTexture)
            Hint("The terrain has no diffuse texture: the meshes are written without one.");
    }

    std::string keep = "Keep the grid";
    if (form.selected)
        keep +=
            " (" + std::to_string(form.selected->width) + " x " + std::to_string(form.selected->height) + ")";
    const auto sideLabel = [&](int choice)
    {
        return choice == 0
                   ? keep
                   : std::to_string(ExportForm::kResampleSides[choice]) + " vertices on the longer side";
    };
    ImGui::SetNextItemWidth(300.0f);
    if (ImGui::BeginCombo("Resample##ex", sideLabel(form.resampleChoice).c_str()))
    {
        for (int choice = 0; choice < 6; ++choice)
        {
            const bool selected = choice == form.resampleChoice;
            if (ImGui::Selectable(sideLabel(choice).c_str(), selected)) form.resampleChoice = choice;
            if (selected) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    if (form.resampleChoice != 0)
    {
        if (ImGui::RadioButton("Bilinear##ex", !form.bicubic)) form.bicubic = false;
        ImGui::SameLine();
        if (ImGui::RadioButton("Bicubic##ex", form.bicubic)) form.bicubic = true;
    }
    if (form.formats[5])
    {
        if (ImGui::RadioButton("Bands by height##ex", !form.splatBySlope)) form.splatBySlope = false;
        ImGui::SameLine();
        if (ImGui::RadioButton("Bands by slope##ex", form.splatBySlope)) form.splatBySlope = true;
        if (form.selected && form.selected->gradients.empty())
            Hint("The terrain has no colour bands: the splat map will be empty.");
        else if (form.selected && form.selected->gradients.size() > 4)
            Hint("Only the first four bands get a channel.");
    }

    const std::string problem = form.Problem();
    if (!problem.empty()) gui::TextColored(kRed, problem);
    gui::BottomRow(kExportButtonSize.y);
    if (ImGui::Button("Close##ex", kExportButtonSize))
    {
        open = false;
        ImGui::CloseCurrentPopup();
    }
    else if (problem.empty())
    {
        ImGui::SameLine(ImGui::GetWindowContentRegionMax().x - kExportButtonSize.x);
        if (ImGui::Button("Export##ex", kExportButtonSize))
        {
            Export(editor, false);
            if (!open) ImGui::CloseCurrentPopup();
        }
    }
    ImGui::EndPopup();
}

void HeightmapImportDialog::Show(Editor& editor)
{
    // As high as its longest form: both check boxes, the scale and distance fields, the hint and the
    // problem line; the buttons at the bottom.
    gui::PlaceDialog(ImVec2(600.0f, gui::DialogHeight(7, 2, 12.0f)));
    ImGui::OpenPopup("Terrain from Heightmap");
    if (!ImGui::BeginPopupModal("Terrain from Heightmap", &open,
                                ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                    ImGuiWindowFlags_NoCollapse | kNoDockingFlag))
        return;

    ImGui::PushItemWidth(300.0f);
    const std::string proposed = HeightmapImportForm::NameFromPath(form.path);
    if (ImGui::InputTextWithHint("File##hm", "heightmap .png, .r16 or .exr", &form.path) &&
        (form.name.empty() || form.name == proposed))
        form.name = HeightmapImportForm::NameFromPath(form.path);
    ImGui::InputTextWithHint("Name##hm", "Input terrain name (no extension)", &form.name);

    const bool sidecar = !form.path.empty() && HeightImage::HasSidecar(form.path);
    if (sidecar)
    {
        const std::string json = HeightImage::SidecarPath(form.path);
        const std::string label =
            "Heights and vertex distance from " + json.substr(json.find_last_of('/') + 1) + "##hm";
        ImGui::Checkbox(label.c_str(), &form.options.useSidecar);
    }
    ImGui::Checkbox("The editor's own image layout (Save Terrain, layers)##hm", &form.options.editorLayout);
    if (!sidecar || !form.options.useSidecar)
    {
        ImGui::DragFloat("Height scale##hm", &form.options.heightScale, 0.5f, 0.0f, 0.0f, "%.3f");
        ImGui::DragFloat("Vertex distance##hm", &form.options.vertexDistance, 0.005f, 0.0001f, 1000.0f,
                         "%.3f");
        Hint("8- and 16-bit values run from 0 to the height scale; float values are multiplied by it.");
    }
    ImGui::PopItemWidth();

    const std::string problem = form.Problem(TerrainNames(editor.terrains));
    if (!problem.empty()) gui::TextColored(kRed, problem);
    gui::BottomRow(kExportButtonSize.y);
    if (ImGui::Button("Close##hm", kExportButtonSize))
    {
        open = false;
        ImGui::CloseCurrentPopup();
    }
    else if (problem.empty())
    {
        ImGui::SameLine(ImGui::GetWindowContentRegionMax().x - kExportButtonSize.x);
        if (ImGui::Button("Create##hm", kExportButtonSize))
        {
            Create(editor);
            ImGui::CloseCurrentPopup();
        }
    }
    ImGui::EndPopup();
}
