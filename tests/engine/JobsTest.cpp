#include "engine/Jobs.h"
#include "tests/support/TestCommon.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <future>

using namespace std::chrono_literals;

namespace
{
// Polls as the frame loop does until the runner is idle; false after a few seconds.
bool PollUntilIdle(JobRunner& runner)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (runner.Busy())
    {
        runner.Poll();
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// The work's side waits for the test to open the gate (or gives up after a few seconds).
struct Gate
{
    std::promise<void> promise;
    std::shared_future<void> future = promise.get_future().share();
    void Open() { promise.set_value(); }
    void Pass() const { future.wait_for(10s); }
};

// Tells the test the work has started, then waits in the work until Cancel arrives.
void AwaitCancel(const JobContext& job, Gate& started)
{
    started.Open();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!job.CancelRequested() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
}

JobRunner::Request Request(const char* title, std::vector<const void*> resources, bool cancellable = false)
{
    return {title, "terrain hills", std::move(resources), cancellable};
}
} // namespace

// A completion step too large for one frame asks to be called again: the job stays busy, holding its
// resources, and shows the step's own reports until the step says it is done.
TEST(JobsTest, DeliversProgressAndCompletesOnThePollingThreadOverAsManyPollsAsItAsks)
{
    JobRunner runner;
    int terrain = 0, completionCalls = 0;
    Gate reported, proceed;
    std::thread::id workThread, completeThread;
    std::unique_ptr<std::vector<int>> delivered;
    std::vector<JobOutcome> outcomes;
    const JobRunner::Started started = runner.Start(
        Request("Creating terrain", {&terrain}),
        [&](JobContext& job)
        {
            workThread = std::this_thread::get_id();
            job.Report(0.25f, "Diamond-square");
            job.Report(std::numeric_limits<float>::quiet_NaN()); // ignored
            reported.Open();
            proceed.Pass();
            job.Report(1.5f, "Done");                        // past the end: held at 1
            return std::make_unique<std::vector<int>>(3, 7); // a move-only result
        },
        [&](std::unique_ptr<std::vector<int>>& result, JobContext& job)
        {
            completeThread = std::this_thread::get_id();
            job.Report(0.3f * static_cast<float>(++completionCalls), "Uploading");
            if (completionCalls < 3) return false;
            delivered = std::move(result);
            return true;
        },
        [&](const JobOutcome& ended) { outcomes.push_back(ended); });
    ASSERT_TRUE(started) << started.refusal;

    reported.Pass();
    const JobView view = runner.Running().at(0);
    EXPECT_EQ(std::tie(view.id, view.title, view.text, view.fraction, view.cancellable),
              std::make_tuple(started.id, std::string("Creating terrain"), std::string("Diamond-square"),
                              0.25f, false));
    EXPECT_TRUE(runner.IsBusy(&terrain));
    EXPECT_FALSE(runner.Cancel(started.id)); // not cancellable
    EXPECT_EQ(runner.Poll(), 0u);            // the work is not done: nothing to complete yet
    EXPECT_EQ(completionCalls, 0);

    proceed.Open();
    ASSERT_TRUE(runner.Wait(started.id, 10s));
    EXPECT_EQ(std::make_tuple(runner.Running().at(0).workDone, runner.Running().at(0).fraction,
                              runner.IsBusy(&terrain)), // busy until Poll ends it
              std::make_tuple(true, 1.0f, true));
    for (int poll = 1; poll <= 2; ++poll)
    {
        EXPECT_EQ(runner.Poll(), 0u) << "poll " << poll;
        const JobView completing = runner.Running().at(0);
        EXPECT_EQ(std::make_tuple(completing.completing, completing.cancellable, completing.text,
                                  runner.IsBusy(&terrain)),
                  std::make_tuple(true, false, std::string("Uploading"), true));
        EXPECT_FLOAT_EQ(completing.fraction, 0.3f * static_cast<float>(poll));
        EXPECT_FALSE(runner.Start(
            Request("Saving", {&terrain}), [](JobContext&) {}, [] {}))
            << "a second job took the terrain while the first was still arriving";
    }
    EXPECT_TRUE(outcomes.empty());
    EXPECT_EQ(runner.Poll(), 1u);
    ASSERT_NE(delivered, nullptr); // the result the step was given each time
    EXPECT_EQ(*delivered, std::vector<int>(3, 7));
    EXPECT_NE(workThread, std::this_thread::get_id());
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(std::make_tuple(completeThread, outcomes[0].Completed(), outcomes[0].id,
                              runner.IsBusy(&terrain), runner.Running().empty()),
              std::make_tuple(std::this_thread::get_id(), true, started.id, false, true));
}

// Background work yields to the polling thread (a lower priority); work that thread waits for to its
// end runs at the same priority.
TEST(JobsTest, OnlyBackgroundWorkRunsAtALowerPriority)
{
    const auto niceOfThisThread = []
    { return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))); };
    const int here = niceOfThisThread();
    JobRunner runner;
    for (const bool background : {true, false})
    {
        JobRunner::Request request = Request("Applying the layers", {});
        request.background = background;
        int seen = -100;
        const JobRunner::Started started = runner.Start(
            request, [&](JobContext&) { seen = niceOfThisThread(); }, [] {});
        ASSERT_TRUE(started) << started.refusal;
        ASSERT_TRUE(runner.Wait(started.id, 10s));
        EXPECT_EQ(seen, background ? std::min(here + 5, 19) : here) << "background " << background;
        ASSERT_TRUE(PollUntilIdle(runner));
    }
}

// Cancelling drops the work's result: the completion step, which would swap it in, never runs. A job
// that turns cancelling off past its point of no return completes even when a cancel was already asked.
TEST(JobsTest, ACancelledJobSkipsItsCompletionUnlessPastItsPointOfNoReturn)
{
    JobRunner runner;
    int terrain = 0, completed = 0;
    bool sawRequestDropped = false;
    Gate started, lateStarted;
    JobOutcome outcome, lateOutcome;
    const JobRunner::Started job = runner.Start(
        Request("Erosion", {&terrain}, true),
        [&](JobContext& context)
        {
            AwaitCancel(context, started);
            context.ThrowIfCancelled();
            return 1;
        },
        [&](int& value) { completed += value; }, [&](const JobOutcome& ended) { outcome = ended; });
    const JobRunner::Started late = runner.Start(
        Request("Save Terrain", {}, true),
        [&](JobContext& context)
        {
            AwaitCancel(context, lateStarted);
            context.SetCancellable(false); // renaming the finished file into place
            sawRequestDropped = !context.CancelRequested();
            context.ThrowIfCancelled();
            return 5;
        },
        [&](int& value) { completed += value; }, [&](const JobOutcome& ended) { lateOutcome = ended; });
    ASSERT_TRUE(job && late);
    started.Pass();
    lateStarted.Pass();
    EXPECT_TRUE(runner.Cancel(job.id));
    EXPECT_TRUE(runner.Cancel(late.id));
    ASSERT_TRUE(runner.Wait(job.id, 10s));
    EXPECT_FALSE(runner.Running().at(0).cancellable); // its work has ended
    EXPECT_FALSE(runner.Cancel(job.id));
    ASSERT_TRUE(PollUntilIdle(runner));
    EXPECT_EQ(std::make_tuple(outcome.Cancelled(), lateOutcome.Completed(), sawRequestDropped, completed,
                              runner.IsBusy(&terrain)),
              std::make_tuple(true, true, true, 5, false));
}

TEST(JobsTest, RefusesASecondJobOnABusyResource)
{
    JobRunner runner;
    int hills = 0, valley = 0;
    Gate proceed;
    const auto blocked = [&](JobContext&) { proceed.Pass(); };
    const JobRunner::Started quick = runner.Start(
        Request("Erosion", {}), [](JobContext&) {}, [] {});
    const JobRunner::Started saving = runner.Start(Request("Save Terrain", {&hills}), blocked, [] {});
    ASSERT_TRUE(saving);

    EXPECT_FALSE(runner.Start(Request("Erosion", {&hills}), blocked, [] {})); // the editor checks its message
    // One busy resource among several is enough to refuse; other resources are free.
    EXPECT_FALSE(runner.Start(Request("Save Project", {&valley, &hills}), blocked, [] {}));
    const JobRunner::Started other = runner.Start(Request("Erosion", {&valley}), blocked, [] {});
    EXPECT_EQ(std::make_tuple(bool(other), runner.IsBusy(&valley), runner.IsBusy(nullptr)),
              std::make_tuple(true, true, false));
    // The first job ends; the others keep the order they started in.
    ASSERT_TRUE(runner.Wait(quick.id, 10s));
    EXPECT_EQ(runner.Poll(), 1u);
    const std::vector<JobView> left = runner.Running();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(std::make_pair(left[0].id, left[1].id), std::make_pair(saving.id, other.id));

    proceed.Open();
    ASSERT_TRUE(PollUntilIdle(runner));
    EXPECT_FALSE(runner.IsBusy(&hills));
    EXPECT_TRUE(runner.Start(
        Request("Erosion", {&hills}), [](JobContext&) {}, [] {}));
    ASSERT_TRUE(PollUntilIdle(runner));
}

TEST(JobsTest, CarriesFailuresToThePollingThreadAsMessages)
{
    using Step = void (*)();
    const std::tuple<Step, Step, std::string> cases[] = {
        {[] { throw std::runtime_error("disk full"); }, [] {}, "disk full"},
        {[] { throw std::bad_alloc(); }, [] {}, "there is not enough memory"},
        {[] { throw 42; }, [] {}, "unknown error"},
        {[] {}, [] { throw std::runtime_error("upload failed"); }, "upload failed"}}; // the completion step
    for (const auto& [work, complete, error] : cases)
    {
        SCOPED_TRACE(error);
        testsupport::LogCapture log;
        JobRunner runner;
        int terrain = 0;
        JobOutcome outcome;
        ASSERT_TRUE(runner.Start(
            Request("Save Terrain", {&terrain}), [w = work](JobContext&) { w(); }, complete,
            [&](const JobOutcome& ended) { outcome = ended; }));
        ASSERT_TRUE(PollUntilIdle(runner));
        EXPECT_EQ(std::make_tuple(outcome.Failed(), outcome.error, outcome.title, runner.IsBusy(&terrain)),
                  std::make_tuple(true, error, std::string("Save Terrain"), false));
        EXPECT_TRUE(log.Has(spdlog::level::err, "Save Terrain failed: " + error)) << log.Dump();
    }
}

// Closing the program with a job running: the runner asks it to stop and waits for it, without
// running its completion step.
TEST(JobsTest, DestroyingTheRunnerCancelsAndWaits)
{
    bool completed = false, finished = false, workEnded = false;
    Gate started;
    auto runner = std::make_unique<JobRunner>();
    runner->Start(
        Request("Erosion", {}, true),
        [&](JobContext& job)
        {
            AwaitCancel(job, started);
            workEnded = job.CancelRequested();
            job.ThrowIfCancelled();
        },
        [&] { completed = true; }, [&](const JobOutcome&) { finished = true; });
    started.Pass();
    runner.reset();
    EXPECT_EQ(std::make_tuple(workEnded, completed, finished), std::make_tuple(true, false, false));
}
