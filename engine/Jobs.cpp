#include "engine/Jobs.h"

#include "engine/Log.h"
#include "engine/Parallel.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <iterator>
#include <new>
#include <system_error>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// ---------------------------------------------------------------------------------------------
// The worker's side

void JobContext::Report(float fraction, std::string_view text)
{
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!std::isnan(fraction)) state.fraction = std::clamp(fraction, 0.0f, 1.0f);
    state.text.assign(text.data(), text.size());
}

void JobContext::Report(float fraction)
{
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!std::isnan(fraction)) state.fraction = std::clamp(fraction, 0.0f, 1.0f);
}

void JobContext::SetCancellable(bool cancellable)
{
    std::lock_guard<std::mutex> lock(state.mutex);
    state.cancellable = cancellable;
    if (!cancellable) state.cancelRequested = false;
}

bool JobContext::CancelRequested() const
{
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.cancelRequested;
}

void JobContext::ThrowIfCancelled() const
{
    if (CancelRequested()) throw JobCancelled{};
}

// ---------------------------------------------------------------------------------------------
// The runner

JobRunner::Job::~Job() = default;

JobRunner::JobRunner()
{
    Parallel::StartWorkers();
}

JobRunner::~JobRunner()
{
    Abandon();
}

void JobRunner::Abandon()
{
    std::vector<std::unique_ptr<Job>> remaining;
    {
        std::lock_guard<std::mutex> lock(mutex);
        remaining.swap(jobs);
    }
    for (const std::unique_ptr<Job>& job : remaining)
    {
        std::lock_guard<std::mutex> lock(job->state.mutex);
        if (job->state.cancellable) job->state.cancelRequested = true;
    }
    for (const std::unique_ptr<Job>& job : remaining)
        if (job->thread.joinable()) job->thread.join();
}

JobRunner::Started JobRunner::Launch(std::unique_ptr<Job> job, Request request, Finished finished)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (const void* resource : request.resources)
    {
        if (resource == nullptr) continue;
        for (const std::unique_ptr<Job>& running : jobs)
        {
            const std::vector<const void*>& held = running->request.resources;
            if (std::find(held.begin(), held.end(), resource) == held.end()) continue;
            Started refused;
            refused.refusal = "Cannot start \"" + request.title + "\": " +
                              (request.subject.empty() ? std::string("what it works on") : request.subject) +
                              " is busy with \"" + running->request.title + "\".";
            return refused;
        }
    }

    job->id = nextId++;
    job->request = std::move(request);
    job->finished = std::move(finished);
    job->start = std::chrono::steady_clock::now();
    job->state.cancellable = job->request.cancellable;
    Job* raw = job.get();
    try
    {
        raw->thread = std::thread([this, raw] { RunWork(*raw); });
    }
    catch (const std::system_error& e)
    {
        Started refused;
        refused.refusal = "Cannot start \"" + raw->request.title + "\": no thread for it (" + e.what() + ").";
        return refused;
    }
    jobs.push_back(std::move(job));
    Started started;
    started.id = raw->id;
    return started;
}

void JobRunner::RunWork(Job& job)
{
    // Background work yields to the GUI thread when both want a core, so the window keeps drawing its
    // progress on a busy machine; the threads it starts inherit this (not the pool's workers, which the
    // runner started). Best effort: a refusal changes nothing but that.
    if (job.request.background)
    {
        const id_t thread = static_cast<id_t>(syscall(SYS_gettid));
        setpriority(PRIO_PROCESS, thread, std::min(getpriority(PRIO_PROCESS, thread) + 5, 19));
    }
    JobContext context(job.state);
    JobOutcome::Status status = JobOutcome::Status::Completed;
    std::string error;
    try
    {
        job.Run(context);
    }
    catch (const JobCancelled&)
    {
        status = JobOutcome::Status::Cancelled;
    }
    catch (const std::bad_alloc&)
    {
        status = JobOutcome::Status::Failed;
        error = "there is not enough memory";
    }
    catch (const std::exception& e)
    {
        status = JobOutcome::Status::Failed;
        error = e.what();
    }
    catch (...)
    {
        status = JobOutcome::Status::Failed;
        error = "unknown error";
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        job.status = status;
        job.error = std::move(error);
        job.done = true;
        job.finishOrder = ++finishCounter;
    }
    workDone.notify_all();
}

size_t JobRunner::Poll()
{
    std::vector<std::unique_ptr<Job>> ended;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto firstDone = std::stable_partition(
            jobs.begin(), jobs.end(), [](const std::unique_ptr<Job>& job) { return !job->done; });
        std::move(firstDone, jobs.end(), std::back_inserter(ended));
        jobs.erase(firstDone, jobs.end());
    }
    std::sort(ended.begin(), ended.end(),
              [](const std::unique_ptr<Job>& a, const std::unique_ptr<Job>& b)
              { return a->finishOrder < b->finishOrder; });

    size_t endedCount = 0;
    for (std::unique_ptr<Job>& job : ended)
    {
        if (job->thread.joinable()) job->thread.join();
        JobOutcome outcome;
        outcome.id = job->id;
        outcome.title = job->request.title;
        outcome.status = job->status;
        outcome.error = job->error;
        if (outcome.Completed())
        {
            try
            {
                JobContext context(job->state);
                if (!job->RunCompletion(context))
                {
                    // More of the step at the next Poll; the job holds its resources meanwhile.
                    job->completing = true;
                    std::lock_guard<std::mutex> lock(mutex);
                    jobs.push_back(std::move(job));
                    continue;
                }
            }
            catch (const std::bad_alloc&)
            {
                outcome.status = JobOutcome::Status::Failed;
                outcome.error = "there is not enough memory";
            }
            catch (const std::exception& e)
            {
                outcome.status = JobOutcome::Status::Failed;
                outcome.error = e.what();
            }
            catch (...)
            {
                outcome.status = JobOutcome::Status::Failed;
                outcome.error = "unknown error";
            }
        }
        outcome.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - job->start).count();
        if (outcome.Failed())
            Log::Error("{} failed: {}", outcome.title, outcome.error);
        else if (outcome.Cancelled())
            Log::Info("{} cancelled.", outcome.title);
        else
            Log::Trace("{} finished in {:.2f} s.", outcome.title, outcome.seconds);
        if (job->finished)
        {
            try
            {
                job->finished(outcome);
            }
            catch (const std::exception& e)
            {
                Log::Error("{}: reporting its end failed: {}", outcome.title, e.what());
            }
            catch (...)
            {
                Log::Error("{}: reporting its end failed.", outcome.title);
            }
        }
        ++endedCount;
    }
    return endedCount;
}

bool JobRunner::Cancel(uint64_t id)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::unique_ptr<Job>& job : jobs)
    {
        if (job->id != id) continue;
        if (job->done) return false;
        std::lock_guard<std::mutex> stateLock(job->state.mutex);
        if (!job->state.cancellable) return false;
        job->state.cancelRequested = true;
        return true;
    }
    return false;
}

bool JobRunner::Wait(uint64_t id, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex);
    return workDone.wait_for(lock, timeout,
                             [&]
                             {
                                 for (const std::unique_ptr<Job>& job : jobs)
                                     if (job->id == id) return job->done;
                                 return true;
                             });
}

bool JobRunner::IsBusy(const void* resource) const
{
    if (resource == nullptr) return false;
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::unique_ptr<Job>& job : jobs)
    {
        const std::vector<const void*>& held = job->request.resources;
        if (std::find(held.begin(), held.end(), resource) != held.end()) return true;
    }
    return false;
}

bool JobRunner::Busy() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return !jobs.empty();
}

std::vector<JobView> JobRunner::Running() const
{
    std::vector<JobView> views;
    std::lock_guard<std::mutex> lock(mutex);
    const auto now = std::chrono::steady_clock::now();
    for (const std::unique_ptr<Job>& job : jobs)
    {
        JobView view;
        view.id = job->id;
        view.title = job->request.title;
        view.workDone = job->done;
        view.completing = job->completing;
        view.seconds = std::chrono::duration<double>(now - job->start).count();
        {
            std::lock_guard<std::mutex> stateLock(job->state.mutex);
            view.text = job->state.text;
            view.fraction = job->state.fraction;
            view.cancellable = job->state.cancellable && !job->done;
            view.cancelRequested = job->state.cancelRequested;
        }
        views.push_back(std::move(view));
    }
    return views;
}
