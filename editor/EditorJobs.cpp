// Long work on the job runner (EditorJobs.h): the progress modal, and the jobs behind New Terrain,
// Terrain from heightmap, Load Terrain, Save Terrain, Export, Save Project and Open Project.
#include "editor/EditorJobs.h"

#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "engine/Engine.h"
#include "engine/Log.h"
#include "io/ProjectFile.h"
#include "io/TerrainObjFile.h"
#include "render/Scene.h"
#include "terrain/Project.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainArrival.h"
#include "terrain/TerrainName.h"

#include <GLFW/glfw3.h>
#include <imgui.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace
{
constexpr const char* kModalTitle = "Working###jobprogress";

std::string FileName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}
} // namespace

std::function<bool(float)> JobProgress(JobContext& job, float from, float to)
{
    return [&job, from, to](float done)
    {
        job.Report(from + (to - from) * done);
        return !job.CancelRequested();
    };
}

JobRunner& RunnerOf(Editor& editor)
{
    return editor.session.jobs;
}

void JobStarted(const std::string& title)
{
    Log::Trace("{} started.", title);
}

void JobEnded(Editor& editor, const JobOutcome& outcome, const JobRunner::Finished& finished)
{
    editor.Wake(); // the scenes draw what the job changed
    if (outcome.Failed())
        editor.SetError(outcome.title + " failed: " + outcome.error);
    else if (outcome.Cancelled())
        editor.session.SetNotice(outcome.title + " was cancelled; nothing was changed.");
    if (finished) finished(outcome);
}

bool JobLaunched(Editor& editor, const JobRunner::Started& started, std::chrono::milliseconds wait)
{
    editor.Wake();
    if (!started)
    {
        editor.SetError(started.refusal);
        return false;
    }
    editor.session.FinishSoon(started.id, wait);
    return true;
}

void JobModal::Draw(Editor& editor)
{
    JobRunner& jobs = editor.session.jobs;
    const std::vector<JobView> running = jobs.Running();
    // Work that has run a moment shows; once shown, the modal stays until the work ends.
    bool due = ImGui::IsPopupOpen(kModalTitle);
    for (const JobView& view : running)
        due |= view.seconds >= delaySeconds;
    if (!running.empty() && due)
    {
        const ImVec2 display = ImGui::GetIO().DisplaySize;
        ImGui::SetNextWindowPos(ImVec2(display.x * 0.5f, display.y * 0.5f), ImGuiCond_Always,
                                ImVec2(0.5f, 0.5f));
        ImGui::SetNextWindowSize(ImVec2(460.0f, 0.0f));
        ImGui::OpenPopup(kModalTitle);
    }
    if (!ImGui::BeginPopupModal(kModalTitle, nullptr,
                                ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize |
                                    ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                                    kNoDockingFlag))
        return;
    if (running.empty()) ImGui::CloseCurrentPopup();
    for (const JobView& view : running)
    {
        ImGui::PushID(static_cast<int>(view.id));
        ImGui::TextUnformatted(view.title.c_str());
        char overlay[32];
        std::snprintf(overlay, sizeof overlay, "%.0f %%", 100.0 * static_cast<double>(view.fraction));
        ImGui::ProgressBar(view.fraction, ImVec2(-FLT_MIN, 0.0f), overlay);
        const char* step = view.completing        ? view.text.c_str()
                           : view.workDone        ? "Finishing"
                           : view.cancelRequested ? "Stopping..."
                                                  : view.text.c_str();
        ImGui::TextColored(kHint, "%s (%.1f s)", step, view.seconds);
        if (view.cancellable && !view.cancelRequested && ImGui::Button("Cancel##job", ImVec2(120.0f, 0.0f)))
        {
            jobs.Cancel(view.id);
            editor.Wake();
        }
        ImGui::PopID();
        ImGui::Separator();
    }
    if (editor.project.closeAfterJobs)
        ImGui::TextColored(kHint, "The window closes when the work has stopped.");
    ImGui::EndPopup();
}

// -------------------------------------------------------------------------------------------------
// New Terrain and Terrain from heightmap

namespace
{
// The work's share of a job that makes a terrain; the rest of the bar is its GL step.
constexpr float kWorkShare = 0.85f;

// The completion step of a job that makes a terrain. recordOf gives the record in the work's result
// (null for a refusal, which it reports itself; the job then ends at once); it arrives at GL over
// frames (TerrainArrival), and then place(result, terrain) lists the terrain, once. Returns false
// until then.
template <typename Result> class ArrivingTerrain
{
  public:
    ArrivingTerrain(std::function<TerrainRecord*(Result&)> recordOf,
                    std::function<void(Result&, const std::shared_ptr<Terrain>&)> place)
        : recordOf(std::move(recordOf)), place(std::move(place))
    {
    }
    bool operator()(Result& result, JobContext& job)
    {
        if (!arrival)
        {
            TerrainRecord* record = recordOf(result);
            if (record == nullptr) return true;
            arrival = std::make_unique<TerrainArrival>(std::move(*record));
        }
        const bool done = arrival->Continue(TerrainArrival::kSecondsPerFrame);
        job.Report(kWorkShare + (1.0f - kWorkShare) * arrival->Fraction(),
                   "Handing the terrain to the graphics driver");
        if (!done) return false;
        place(result, arrival->Result());
        arrival.reset();
        return true;
    }

  private:
    std::function<TerrainRecord*(Result&)> recordOf;
    std::function<void(Result&, const std::shared_ptr<Terrain>&)> place;
    std::unique_ptr<TerrainArrival> arrival;
};
} // namespace

bool Editor::StartCreateTerrain(const NewTerrainForm::Arguments& a, const std::string& name)
{
    JobRunner::Request request;
    request.title =
        "Creating terrain " + name + " (" + std::to_string(a.width) + " x " + std::to_string(a.height) + ")";
    request.subject = "the session";
    request.resources = {session.ListsResource()};
    request.cancellable = true;
    return StartJob(
        *this, std::move(request),
        [a](JobContext& job)
        {
            TerrainRecord record;
            TerrainRecord::Generate(a.width, a.height, a.vertexDistance, a.generator, a.parameter1,
                                    a.parameter2, a.iterations, true, record,
                                    [&job](float done, std::string_view step)
                                    {
                                        job.Report(kWorkShare * done, step);
                                        return !job.CancelRequested();
                                    });
            job.ThrowIfCancelled();
            return record;
        },
        ArrivingTerrain<TerrainRecord>([](TerrainRecord& record) { return &record; },
                                       [this, name](TerrainRecord&, const std::shared_ptr<Terrain>& terrain)
                                       {
                                           terrain->name = name;
                                           commands.AddTerrain(terrain);
                                       }));
}

namespace
{
struct ImportedHeightmap
{
    std::string error; // the Error popup's text; empty when the record was built
    TerrainRecord record;
};

} // namespace

bool Editor::StartHeightmapImport()
{
    const HeightmapImportForm form = heightmapImport.form;
    JobRunner::Request request;
    request.title = "Creating terrain " + form.name + " from " + FileName(form.path);
    request.subject = "the session";
    request.resources = {session.ListsResource()};
    request.cancellable = true;
    return StartJob(
        *this, std::move(request),
        [form](JobContext& job)
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
            out.record.Derive(JobProgress(job, 0.65f, kWorkShare));
            job.ThrowIfCancelled();
            return out;
        },
        ArrivingTerrain<ImportedHeightmap>(
            [this](ImportedHeightmap& imported) -> TerrainRecord*
            {
                if (imported.error.empty()) return &imported.record;
                SetError(imported.error);
                return nullptr;
            },
            [this, name = form.name](ImportedHeightmap&, const std::shared_ptr<Terrain>& terrain)
            {
                terrain->name = name;
                commands.AddTerrain(terrain);
            }));
}

// -------------------------------------------------------------------------------------------------
// Load Terrain, Save Terrain and Export

namespace
{
struct LoadedTerrain
{
    bool loaded = false;
    std::string error;
    TerrainRecord record;
};
} // namespace

bool Editor::StartLoadTerrain(const std::string& path)
{
    JobRunner::Request request;
    request.title = "Loading terrain " + FileName(path);
    request.subject = "the session";
    request.resources = {session.ListsResource()};
    request.cancellable = true;
    return StartJob(
        *this, std::move(request),
        [path](JobContext& job)
        {
            LoadedTerrain out;
            job.Report(0.0f, "Reading " + FileName(path));
            out.loaded = TerrainObjFile::Read(path, out.record, &out.error, JobProgress(job, 0.0f, 0.7f));
            job.ThrowIfCancelled();
            if (out.loaded)
            {
                job.Report(0.7f, "Normals");
                out.record.Derive(JobProgress(job, 0.7f, kWorkShare));
                job.ThrowIfCancelled();
            }
            return out;
        },
        ArrivingTerrain<LoadedTerrain>(
            [this, path](LoadedTerrain& loaded) -> TerrainRecord*
            {
                if (loaded.loaded) return &loaded.record;
                // A refused file adds nothing and says why.
                SetError("Cannot load terrain file " + path + ": " +
                         (loaded.error.empty() ? "unknown reason" : loaded.error));
                return nullptr;
            },
            [this](LoadedTerrain&, const std::shared_ptr<Terrain>& terrain)
            { commands.AddLoadedTerrain(terrain); }));
}

bool Editor::StartSaveTerrain()
{
    const SaveTerrainForm form = saveTerrain.form;
    JobRunner::Request request;
    request.title = "Saving terrain " + form.selected->name;
    request.subject = "terrain " + form.selected->name;
    request.resources = {form.selected.get()};
    request.cancellable = true;
    return StartJob(
        *this, std::move(request),
        [form](JobContext& job)
        {
            return form.Save(
                [&job](float done, const std::string& file)
                {
                    job.Report(done, "Writing " + FileName(file));
                    return !job.CancelRequested();
                });
        },
        [this](SaveTerrainForm::Outcome& outcome)
        {
            if (outcome.cancelled)
                session.SetNotice(CancelledSaveNotice(outcome));
            else if (outcome.failed.empty())
                session.SetNotice(SavedNotice(outcome));
            else
                SetError(SaveFailureText(outcome));
        });
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

bool Editor::StartExport()
{
    const std::shared_ptr<Terrain> terrain = exportDialog.form.selected;
    const std::vector<std::string> files = exportDialog.form.Files();
    JobRunner::Request request;
    request.title = "Exporting terrain " + terrain->name;
    request.subject = "terrain " + terrain->name;
    request.resources = {terrain.get()};
    request.cancellable = true;
    // The work holds the terrain, which stays locked, and takes its record there.
    return StartJob(
        *this, std::move(request),
        [terrain, options = exportDialog.form.Options()](JobContext& job)
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
        [this, files](ExportResult& result)
        {
            if (result.cancelled)
                session.SetNotice(
                    "Export cancelled: the files written before it are complete, the others were "
                    "not written.");
            else if (!result.written)
                SetError(result.error);
            else
                session.SetNotice("Exported " + FilesInFolder(files) + ".");
        });
}

// -------------------------------------------------------------------------------------------------
// Save Project and Open Project

namespace
{
struct SavedProject
{
    bool saved = false;
    bool cancelled = false;
    std::string reason;
};

struct OpenedProject
{
    bool opened = false;
    std::string reason;
    Project project;
};
} // namespace

void Editor::StartSaveProject(const std::string& path, std::function<void(bool saved)> then)
{
    // The capture copies the session on the GUI thread; the file is written by the job.
    Log::Trace("Saving project {}", path);
    const uint64_t revision = session.revision;
    JobRunner::Request request;
    request.title = "Saving project " + ProjectFile::DisplayName(path);
    request.subject = "the session";
    request.resources = {session.ListsResource()};
    for (const auto& terrain : terrains) // captured below: none may be changing under a job
        request.resources.push_back(terrain.get());
    request.cancellable = true;
    for (const void* resource : request.resources)
        if (session.IsBusy(resource))
        {
            // Refused before capturing: a busy terrain may be changing on its worker. The runner
            // gives the refusal its usual words.
            StartJob(
                *this, std::move(request), [](JobContext&) {}, [] {});
            if (then) then(false);
            return;
        }
    auto saved = std::make_shared<bool>(false); // then hears it once the job has ended, however it ended
    const bool started = StartJob(
        *this, std::move(request),
        [captured = CaptureProject(), path](JobContext& job)
        {
            SavedProject result;
            result.saved = ProjectFile::Save(captured, path, &result.reason, JobProgress(job));
            result.cancelled = !result.saved && job.CancelRequested();
            return result;
        },
        [this, path, revision, saved](SavedProject& result)
        {
            *saved = result.saved;
            if (result.saved)
            {
                session.path = path;
                session.recent.Add(path);
                session.MarkSaved(revision); // the session as it was captured
                session.SetNotice("Saved " + FilesInFolder({path}) + ".");
            }
            else if (result.cancelled)
            {
                session.SetNotice("Saving " + path + " was cancelled; the file is as it was.");
            }
            else
            {
                const std::string message = ProjectFile::SaveMessage(path, result.reason);
                Log::Error("{}", message);
                SetError(message);
            }
        },
        [then, saved](const JobOutcome&)
        {
            if (then) then(*saved);
        });
    if (!started && then) then(false);
}

void Editor::StartOpenProject(const std::string& path)
{
    JobRunner::Request request;
    request.title = "Opening project " + ProjectFile::DisplayName(path);
    request.subject = "the session";
    request.resources = {session.ListsResource()};
    for (const auto& terrain : terrains) // replaced at the end: none may be busy
        request.resources.push_back(terrain.get());
    request.cancellable = true;
    StartJob(
        *this, std::move(request),
        [path](JobContext& job)
        {
            Log::Trace("Opening project {}", path);
            OpenedProject out;
            job.Report(0.0f, "Reading " + FileName(path));
            if (!ProjectFile::Open(path, out.project, &out.reason, JobProgress(job, 0.0f, 0.6f)))
            {
                job.ThrowIfCancelled();
                return out;
            }
            job.Report(0.6f, "Building the terrains");
            out.opened = BuildProjectTerrains(out.project, &out.reason, JobProgress(job, 0.6f, 1.0f));
            job.ThrowIfCancelled();
            return out;
        },
        [this, path](OpenedProject& opened)
        {
            if (!opened.opened)
            {
                project.ReportOpenFailure(*this, path, opened.reason);
                return;
            }
            RestoreBuiltProject(std::move(opened.project));
            session.path = path;
            session.recent.Add(path);
            session.MarkSaved();
        });
}
