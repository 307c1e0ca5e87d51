// Long work on the job runner (engine/Jobs.h): the progress modal, and the editor's operations that
// run there when their work is large (Editor::BackgroundLimits): New Terrain, Terrain from heightmap,
// Load Terrain, Save Terrain, Export, Save Project and Open Project.
//
// Adding a job (erosion, say) takes three pieces, all handed to Editor::StartJob:
//   1. On the GUI thread, before starting: copy what the work reads that the GUI could change, and
//      hold the terrain by a shared pointer in the work. Name it in request.resources: its generator
//      panels and the shortcuts then stay locked (IsBusy) and a second job on it is refused with the
//      Error popup. Work that adds or replaces terrains also names SessionResource().
//   2. The work, on a worker thread: plain functions over arrays, no GL and no editor state, results
//      in new buffers that it returns. It reports through JobContext::Report; where stopping is safe,
//      set request.cancellable (the modal offers Cancel), pass JobProgress(job) to functions that take
//      a progress callback, and call job.ThrowIfCancelled() where stopping leaves nothing half done.
//   3. The completion, on the GUI thread when the work returned: swaps the results in and does the GL
//      uploads. A cancelled job never gets here, so the session stays exactly as it was; a thrown
//      exception becomes the Error popup "TITLE failed: REASON".
//
//   JobRunner::Request request;
//   request.title = "Eroding terrain " + terrain->name;
//   request.subject = "terrain " + terrain->name;
//   request.resources = {terrain.get()};
//   request.cancellable = true;
//   StartJob(request,
//            [terrain, settings](JobContext& job) { return Erode(*terrain, settings, JobProgress(job)); },
//            [this, terrain](std::vector<float>& heights) { terrain->SwapHeights(heights); });
#include "editor/Editor.h"
#include "editor/GuiUtil.h"

#include "engine/Engine.h"
#include "engine/Log.h"
#include "io/FileBytes.h"
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

uint64_t FileSize(const std::string& path)
{
    uint64_t size = 0;
    return FileBytes::Size(path, size, nullptr) ? size : 0;
}

std::string FileName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}
} // namespace

std::function<bool(float)> Editor::JobProgress(JobContext& job, float from, float to)
{
    return [&job, from, to](float done)
    {
        job.Report(from + (to - from) * done);
        return !job.CancelRequested();
    };
}

void Editor::JobStarted(const std::string& title)
{
    Log::Trace("{} started.", title);
}

void Editor::JobEnded(const JobOutcome& outcome, const JobRunner::Finished& finished)
{
    Wake(); // the scenes draw what the job changed
    if (outcome.Failed())
        SetError(outcome.title + " failed: " + outcome.error);
    else if (outcome.Cancelled())
        SetNotice(outcome.title + " was cancelled; nothing was changed.");
    if (finished) finished(outcome);
}

double Editor::EventWaitSeconds(double idleSeconds)
{
    // While a job runs and nothing else moves, frames come at about this rate: the progress stays
    // live without taking a core from the work.
    constexpr double kJobFrameSeconds = 1.0 / 30.0;
    if (CanWaitForEvents())
        lastEventWait = idleSeconds;
    else if (jobs.Busy() && quietFrames >= 3)
        // What is left of the frame's time after the last frame's own work (the engine's time is
        // that frame's start), so that slow drawing does not slow the rate further.
        lastEventWait = std::max(0.0, kJobFrameSeconds - (glfwGetTime() - Engine::Get().time));
    else
        lastEventWait = 0.0;
    return lastEventWait;
}

void Editor::DrawJobModal()
{
    const std::vector<JobView> running = jobs.Running();
    if (!running.empty())
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
            Wake();
        }
        ImGui::PopID();
        ImGui::Separator();
    }
    if (closeAfterJobs) ImGui::TextColored(kHint, "The window closes when the work has stopped.");
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
    request.resources = {SessionResource()};
    request.cancellable = true;
    return StartJob(
        std::move(request),
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
                                           // As the dialog's synchronous Create.
                                           terrain->name = name;
                                           AddNewTerrain(terrain);
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
    const HeightmapImportForm form = heightmapImportForm;
    JobRunner::Request request;
    request.title = "Creating terrain " + form.name + " from " + FileName(form.path);
    request.subject = "the session";
    request.resources = {SessionResource()};
    request.cancellable = true;
    return StartJob(
        std::move(request),
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
                AddNewTerrain(terrain);
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
    request.resources = {SessionResource()};
    request.cancellable = true;
    return StartJob(
        std::move(request),
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
                // As LoadTerrain: a refused file adds nothing and says why.
                SetError("Cannot load terrain file " + path + ": " +
                         (loaded.error.empty() ? "unknown reason" : loaded.error));
                return nullptr;
            },
            [this](LoadedTerrain&, const std::shared_ptr<Terrain>& terrain)
            {
                terrain->name = TerrainName::MakeUnique(terrain->name, TerrainNames());
                terrains.push_back(terrain);
                ShowLoadedTerrain(terrain);
            }));
}

bool Editor::StartSaveTerrain()
{
    const SaveTerrainForm form = saveTerrainForm;
    JobRunner::Request request;
    request.title = "Saving terrain " + form.selected->name;
    request.subject = "terrain " + form.selected->name;
    request.resources = {form.selected.get()};
    request.cancellable = true;
    return StartJob(
        std::move(request),
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
                SetNotice(CancelledSaveNotice(outcome));
            else if (outcome.failed.empty())
                SetNotice(SavedNotice(outcome));
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
    const std::shared_ptr<Terrain> terrain = exportForm.selected;
    const std::vector<std::string> files = exportForm.Files();
    JobRunner::Request request;
    request.title = "Exporting terrain " + terrain->name;
    request.subject = "terrain " + terrain->name;
    request.resources = {terrain.get()};
    request.cancellable = true;
    // The work holds the terrain, which stays locked, and takes its record there.
    return StartJob(
        std::move(request),
        [terrain, options = exportForm.Options()](JobContext& job)
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
                SetNotice("Export cancelled: the files written before it are complete, the others were not "
                          "written.");
            else if (!result.written)
                SetError(result.error);
            else
                SetNotice("Exported " + FilesInFolder(files) + ".");
        });
}

// -------------------------------------------------------------------------------------------------
// Applying the layer stack

void Editor::ApplyLayers(Terrain& terrain)
{
    if (uint64_t{terrain.vertexCount} < background.vertices || !terrain.HasErosion())
    {
        terrain.ApplyHeightmaps();
        return;
    }
    std::shared_ptr<Terrain> held;
    for (const auto& t : terrains)
        if (t.get() == &terrain) held = t;
    if (!held)
    {
        terrain.ApplyHeightmaps();
        return;
    }
    std::vector<std::string> names; // per list entry, for the progress text
    for (const auto& layer : terrain.heightmaps)
        names.push_back(layer ? layer->name : std::string());
    JobRunner::Request request;
    request.title = "Applying the layers of " + terrain.name;
    request.subject = "terrain " + terrain.name;
    request.resources = {held.get()};
    request.cancellable = true;
    // The work reads the terrain and its layers and keeps the erosion entries' results in them: the
    // terrain is locked (its panels show it busy, and no other job may take it) until the job ends.
    StartJob(
        std::move(request),
        [held, names](JobContext& job)
        {
            Terrain::LayeredHeights out;
            const bool applied = held->LayerHeights(
                out,
                [&job, &names](size_t entry, float fraction)
                {
                    job.Report(0.95f * fraction,
                               "Eroding (" + (entry < names.size() ? names[entry] : "") + ")");
                    return !job.CancelRequested();
                });
            job.ThrowIfCancelled();
            if (!applied) throw std::runtime_error("the layers could not be applied");
            return out;
        },
        [held](Terrain::LayeredHeights& out) { held->TakeLayerHeights(std::move(out)); });
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
    uint64_t vertices = 0;
    for (const auto& terrain : terrains)
        vertices += terrain ? terrain->vertexCount : 0u;
    if (vertices < background.vertices)
    {
        const bool saved = SaveProject(path);
        if (then) then(saved);
        return;
    }
    // The capture copies the session on the GUI thread; the file is written by the job.
    Log::Trace("Saving project {}", path);
    const uint64_t fingerprint = SessionFingerprint();
    JobRunner::Request request;
    request.title = "Saving project " + ProjectFile::DisplayName(path);
    request.subject = "the session";
    request.resources = {SessionResource()};
    for (const auto& terrain : terrains) // captured below: none may be changing under a job
        request.resources.push_back(terrain.get());
    request.cancellable = true;
    for (const void* resource : request.resources)
        if (jobs.IsBusy(resource))
        {
            // Refused before capturing: a busy terrain may be changing on its worker. The runner
            // gives the refusal its usual words.
            StartJob(
                std::move(request), [](JobContext&) {}, [] {});
            if (then) then(false);
            return;
        }
    auto saved = std::make_shared<bool>(false); // then hears it once the job has ended, however it ended
    const bool started = StartJob(
        std::move(request),
        [captured = CaptureProject(), path](JobContext& job)
        {
            SavedProject result;
            result.saved = ProjectFile::Save(captured, path, &result.reason, JobProgress(job));
            result.cancelled = !result.saved && job.CancelRequested();
            return result;
        },
        [this, path, fingerprint, saved](SavedProject& result)
        {
            *saved = result.saved;
            if (result.saved)
            {
                project.path = path;
                project.recent.Add(path);
                project.savedFingerprint = fingerprint; // the session as it was captured
                SetNotice("Saved " + FilesInFolder({path}) + ".");
            }
            else if (result.cancelled)
            {
                SetNotice("Saving " + path + " was cancelled; the file is as it was.");
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
    if (FileSize(path) < background.projectBytes)
    {
        OpenProject(path);
        return;
    }
    JobRunner::Request request;
    request.title = "Opening project " + ProjectFile::DisplayName(path);
    request.subject = "the session";
    request.resources = {SessionResource()};
    for (const auto& terrain : terrains) // replaced at the end: none may be busy
        request.resources.push_back(terrain.get());
    request.cancellable = true;
    StartJob(
        std::move(request),
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
                ReportOpenFailure(path, opened.reason);
                return;
            }
            RestoreBuiltProject(std::move(opened.project));
            project.path = path;
            project.recent.Add(path);
            MarkSessionSaved();
        });
}
