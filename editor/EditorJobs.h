#pragma once
// Long work on the job runner (engine/Jobs.h). Every operation that may take long starts its work
// through StartJob whatever its size, from the type that offers it: New Terrain (NewTerrainDialog),
// Terrain from heightmap and Export (ExportDialogs.h), Load Terrain and Save Terrain (FileDialogs.h),
// Save Project and Open Project (ProjectDialogs.h), applying the layer stack (Commands::ApplyLayers).
// There is one path per operation. The frame that starts a job waits a moment for it, so small work
// completes where it was asked for; larger work completes in a later frame, and the progress modal
// shows it once it has run a moment.
//
// Adding a job (say, a new filter) takes three pieces, all handed to StartJob:
//   1. On the GUI thread, before starting: copy what the work reads that the GUI could change, and
//      hold the terrain by a shared pointer in the work. Name it in request.resources: its generator
//      panels and the shortcuts then stay locked (Session::IsBusy) and a second job on it is refused
//      with the Error popup. Work that adds or replaces terrains also names Session::ListsResource().
//   2. The work, on a worker thread: plain functions over arrays, no GL and no editor state, results
//      in new buffers that it returns. It reports through JobContext::Report; where stopping is safe,
//      set request.cancellable (the modal offers Cancel), pass JobProgress(job) to functions that take
//      a progress callback, and call job.ThrowIfCancelled() where stopping leaves nothing half done.
//   3. The completion, on the GUI thread when the work returned: swaps the results in (through a
//      command, editor/Commands.h, when the document changes) and does the GL uploads. A cancelled job
//      never gets here, so the session stays exactly as it was; a thrown exception becomes the Error
//      popup "TITLE failed: REASON".
//
//   JobRunner::Request request;
//   request.title = "Smoothing terrain " + terrain->name;
//   request.subject = "terrain " + terrain->name;
//   request.resources = {terrain.get()};
//   request.cancellable = true;
//   StartJob(editor, request,
//            [terrain, settings](JobContext& job) { return Smooth(*terrain, settings, JobProgress(job)); },
//            [&editor, terrain](std::vector<float>& heights)
//            { editor.commands.Run({"Smooth", [&] { terrain->SwapHeights(heights); }}); });
#include "engine/Jobs.h"
#include "terrain/TerrainArrival.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class Editor;

// How long the frame that starts a job waits for its work before drawing on: a frame or two.
inline constexpr std::chrono::milliseconds kQuickWork{30};
// For work the frame waits for to the end (a realtime update of the mesh, which a drag follows).
inline constexpr std::chrono::milliseconds kWholeWork = std::chrono::hours(24);

// A progress callback for functions that take one: reports the share done, mapped into [from, to]
// of the job, and asks to stop once Cancel was pressed.
std::function<bool(float)> JobProgress(JobContext& job, float from = 0.0f, float to = 1.0f);

// The pieces of StartJob that need the editor.
JobRunner& RunnerOf(Editor& editor);
void JobStarted(const std::string& title); // on the worker: logs "TITLE started."
void JobEnded(Editor& editor, const JobOutcome& outcome, const JobRunner::Finished& finished);
bool JobLaunched(Editor& editor, const JobRunner::Started& started, std::chrono::milliseconds wait);

// Starts work on the editor's runner: the progress modal shows it, a failure opens the Error popup,
// and the resources named in request are locked until it ends. False, with the refusal in the Error
// popup, when one of them is busy. Then waits up to wait for it, ending it in this frame when done.
template <typename WorkFn, typename CompleteFn>
bool StartJob(Editor& editor, JobRunner::Request request, WorkFn work, CompleteFn complete,
              JobRunner::Finished finished = {}, std::chrono::milliseconds wait = kQuickWork)
{
    std::string title = request.title;
    const JobRunner::Started started = RunnerOf(editor).Start(
        std::move(request),
        [work = std::move(work), title = std::move(title)](JobContext& job) mutable
        {
            JobStarted(title);
            return work(job);
        },
        std::move(complete),
        [&editor, finished = std::move(finished)](const JobOutcome& outcome)
        { JobEnded(editor, outcome, finished); });
    return JobLaunched(editor, started, wait);
}

// The work's share of a job that makes a terrain; the rest of the bar is its GL step.
inline constexpr float kTerrainWorkShare = 0.85f;

// The completion step of a job that makes a terrain (New Terrain, Terrain from heightmap, Load
// Terrain). recordOf gives the record in the work's result (null for a refusal, which it reports
// itself; the job then ends at once); it arrives at GL over frames (TerrainArrival), and then
// place(result, terrain) lists the terrain, once. Returns false until then.
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
        job.Report(kTerrainWorkShare + (1.0f - kTerrainWorkShare) * arrival->Fraction(),
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

// The name of the file at path, for progress lines ("Reading hills.obj").
std::string FileName(const std::string& path);

// The modal that shows running work with its progress and Cancel.
struct JobModal
{
    // Work that ends sooner never shows it, so small work does not flash a window.
    double delaySeconds = 0.3;
    void Draw(Editor& editor);
};
