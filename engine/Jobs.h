#pragma once
// Long computations off the GUI thread: creating a large terrain, saving and loading files, erosion,
// exports. The GUI thread starts a job, keeps drawing frames, shows the job's progress from Running()
// and calls Poll() once per frame; Poll() runs the job's completion step on the GUI thread once the
// work is done.
//
// The design every job follows:
// - The work (on a worker thread) reads its inputs and computes into new buffers; it never changes
//   what the GUI thread may draw or edit, and it makes no GL calls.
// - The completion step (on the GUI thread, from Poll) swaps the new buffers in and does the GL
//   uploads. It runs only when the work returned normally.
// - So a failed or cancelled job leaves everything exactly as it was: its new buffers are dropped.
// - While a job runs, the resources it names (a terrain's address, say) are busy: the editor asks
//   IsBusy() to lock their panels, and a second job on a busy resource is refused with a reason.
//
// Example (a terrain's OBJ export; the terrain is only read, so nothing needs swapping in):
//
//   JobRunner::Request request;
//   request.title = "Save Terrain";
//   request.subject = "terrain " + terrain->name;
//   request.resources = {terrain.get()};
//   request.cancellable = true;
//   const JobRunner::Started started = runner.Start(
//       request,
//       [terrain, path](JobContext& job) { return WriteObj(*terrain, path, job); }, // worker thread
//       [](bool& written) { ... },                                                 // GUI thread
//       [this](const JobOutcome& outcome) { if (outcome.Failed()) SetError(outcome.error); });
//   if (!started) SetError(started.refusal);
//
// A completion step with GL work too large for one frame (a big terrain's uploads) may take a
// JobContext& after the result, report through it, and return false to be called again at the next
// Poll: the job stays busy (and its view shows the step's reports) until the step returns true.
//
// Threads: Start, Poll, Cancel, Wait, IsBusy, Running and the destructor belong to the GUI thread
// (the thread that owns the runner); JobContext belongs to the job's worker thread. Each job runs on
// a thread of its own, so jobs on different resources run side by side.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

// Thrown by JobContext::ThrowIfCancelled; the runner catches it and ends the job as cancelled. It is
// not a std::exception, so a job's catch (const std::exception&) lets it pass; a catch (...) must
// rethrow it.
struct JobCancelled
{
};

// What the work sees of its job: progress reports and the cancel request.
class JobContext
{
  public:
    // fraction: how much of the whole job is done, 0 to 1 (clamped; a NaN is ignored). text: a
    // short line of what runs now ("Writing vertices"); the other form keeps the last text. Cheap
    // enough to call every few thousand elements.
    void Report(float fraction, std::string_view text);
    void Report(float fraction);

    // Whether stopping is safe from here on: the GUI offers Cancel only while it is. A job that
    // reaches a step it must finish (renaming a complete file into place, say) turns it off first;
    // that also drops a request it has not acted on, so the job then completes.
    void SetCancellable(bool cancellable);
    // True once Cancel was asked while the job was cancellable.
    bool CancelRequested() const;
    // Throws JobCancelled when Cancel was asked; call it where stopping leaves nothing half done.
    void ThrowIfCancelled() const;

    // The runner's side; jobs do not construct these.
    struct State;
    explicit JobContext(State& state) : state(state) {}

  private:
    State& state;
};

// How a job ended, given to its finished callback on the GUI thread.
struct JobOutcome
{
    enum class Status
    {
        Completed, // the work returned and the completion step ran
        Cancelled, // stopped on the user's request; nothing was changed
        Failed     // the work or the completion step threw; error says why
    };
    uint64_t id = 0;
    std::string title;
    Status status = Status::Completed;
    std::string error;    // for Failed: the exception's message
    double seconds = 0.0; // from Start to the end of the completion step

    bool Completed() const { return status == Status::Completed; }
    bool Cancelled() const { return status == Status::Cancelled; }
    bool Failed() const { return status == Status::Failed; }
};

// A running job as the progress modal shows it.
struct JobView
{
    uint64_t id = 0;
    std::string title;  // the request's title ("Creating terrain")
    std::string text;   // the last reported step ("Diamond-square")
    float fraction = 0; // 0 to 1
    bool cancellable = false;
    bool cancelRequested = false;
    bool workDone = false;   // the work has returned; the completion step waits for Poll
    bool completing = false; // the completion step runs over several frames; text and fraction are its
    double seconds = 0.0;    // since Start
};

class JobRunner
{
  public:
    struct Request
    {
        std::string title;                  // what runs, as the modal's heading
        std::string subject;                // what it works on, for refusals ("terrain hills")
        std::vector<const void*> resources; // busy from Start until Poll ends the job (null: none)
        bool cancellable = false;           // whether Cancel is offered from the start
        // The work yields to the GUI thread when both want a core (it runs at a lower priority). Work
        // the GUI thread waits for to its end (a realtime update) turns this off: it then takes as
        // long as it would in the frame itself, also on a machine busy with other programs.
        bool background = true;
    };

    struct Started
    {
        uint64_t id = 0;     // 0 when refused
        std::string refusal; // why the job was not started
        explicit operator bool() const { return id != 0; }
    };

    using Finished = std::function<void(const JobOutcome&)>;

    // Starts the thread pool's workers (engine/Parallel.h) from this thread: started later from a
    // job's worker, they would keep its lower priority for good.
    JobRunner();
    // Asks every running job to cancel and waits for all of them; completion steps and finished
    // callbacks of jobs that had not ended are not run (the GUI is going away).
    ~JobRunner();
    // What the destructor does, earlier: for an owner that must drop the jobs (and what their work
    // holds) while something they hold on to still exists, such as a GL context.
    void Abandon();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Starts work(JobContext&) on a new thread, unless one of the request's resources is busy (then
    // nothing runs, and refusal names the busy subject and the job that holds it). When the work
    // returns a value r, Poll later calls complete(r) (r as a non-const reference, so it can be moved
    // from; a work returning void gives complete()), or complete(r, context) when it takes one; a
    // complete returning bool is called again at each Poll until it returns true. finished, if
    // given, is called last in every case. work and complete may be move-only.
    template <typename WorkFn, typename CompleteFn>
    Started Start(Request request, WorkFn work, CompleteFn complete, Finished finished = {});

    // On the GUI thread, once per frame: ends every job whose work is done, in the order their work
    // finished: frees its resources (so a completion step may start the next job on them), runs its
    // completion step (not when the work failed or was cancelled; a completion step that throws
    // makes the job Failed), then calls its finished callback. A completion step that asks to go on
    // keeps the job and its resources until a later Poll. Failures are logged. Returns the number of
    // jobs ended. Not to be called from a completion step or finished callback.
    size_t Poll();

    // Asks job id to stop. False (and nothing asked) when there is no such job, its work is done, or
    // it is not cancellable right now.
    bool Cancel(uint64_t id);
    // Blocks until job id's work is done (its completion step still waits for Poll), at most timeout.
    // True when done or unknown.
    bool Wait(uint64_t id, std::chrono::milliseconds timeout);

    bool IsBusy(const void* resource) const;
    bool Busy() const; // any job not yet ended
    std::vector<JobView> Running() const;

  private:
    struct Job;
    template <typename WorkFn, typename CompleteFn> struct TypedJob;

    Started Launch(std::unique_ptr<Job> job, Request request, Finished finished);
    void RunWork(Job& job);

    mutable std::mutex mutex; // guards jobs, and each job's done and finishOrder
    std::condition_variable workDone;
    std::vector<std::unique_ptr<Job>> jobs;
    uint64_t nextId = 1;
    uint64_t finishCounter = 0;
};

// -------------------------------------------------------------------------------------------------
// Implementation details

struct JobContext::State
{
    mutable std::mutex mutex;
    std::string text;
    float fraction = 0.0f;
    bool cancellable = false;
    bool cancelRequested = false;
};

struct JobRunner::Job
{
    virtual ~Job();
    // Worker thread: runs the work and keeps its result.
    virtual void Run(JobContext& context) = 0;
    // GUI thread: hands the result to the completion step; false when it is to be called again.
    virtual bool RunCompletion(JobContext& context) = 0;

    JobContext::State state;
    // Filled by the runner.
    uint64_t id = 0;
    Request request;
    Finished finished;
    std::chrono::steady_clock::time_point start;
    std::thread thread;
    bool done = false;        // the work has returned or thrown
    bool completing = false;  // the completion step has asked to go on
    uint64_t finishOrder = 0; // when done became true
    JobOutcome::Status status = JobOutcome::Status::Completed;
    std::string error;
};

template <typename WorkFn, typename CompleteFn> struct JobRunner::TypedJob final : JobRunner::Job
{
    using Result = std::invoke_result_t<WorkFn&, JobContext&>;
    using Stored = std::conditional_t<std::is_void_v<Result>, bool, Result>;

    TypedJob(WorkFn workFn, CompleteFn completeFn) : work(std::move(workFn)), complete(std::move(completeFn))
    {
    }

    void Run(JobContext& context) override
    {
        if constexpr (std::is_void_v<Result>)
        {
            work(context);
            result.emplace(true);
        }
        else
        {
            result.emplace(work(context));
        }
    }

    bool RunCompletion(JobContext& context) override
    {
        if constexpr (std::is_void_v<Result>)
        {
            if constexpr (std::is_invocable_v<CompleteFn&, JobContext&>)
                return Finished([&] { return complete(context); });
            else
                return Finished([&] { return complete(); });
        }
        else
        {
            if constexpr (std::is_invocable_v<CompleteFn&, Stored&, JobContext&>)
                return Finished([&] { return complete(*result, context); });
            else
                return Finished([&] { return complete(*result); });
        }
    }

    // A completion step that returns bool says whether it is done; any other is done at once.
    template <typename Call> static bool Finished(Call call)
    {
        if constexpr (std::is_same_v<std::invoke_result_t<Call&>, bool>)
            return call();
        else
        {
            call();
            return true;
        }
    }

    WorkFn work;
    CompleteFn complete;
    std::optional<Stored> result;
};

template <typename WorkFn, typename CompleteFn>
JobRunner::Started JobRunner::Start(Request request, WorkFn work, CompleteFn complete, Finished finished)
{
    return Launch(std::make_unique<TypedJob<WorkFn, CompleteFn>>(std::move(work), std::move(complete)),
                  std::move(request), std::move(finished));
}
