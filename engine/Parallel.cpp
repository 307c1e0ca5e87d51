#include "engine/Parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <pthread.h>

// The workers live for the whole run: starting threads for every call costs more than the short
// passes the terrain tools split (a realtime drag runs several per frame). One call at a time uses
// the pool; a call made meanwhile (from a worker's body, or from another thread) runs on its own
// thread, which gives the same bits because every index is computed independently.

namespace
{
std::atomic<unsigned> requestedThreads{0};

// Set on pool workers for good, and on a calling thread while its call runs: a call made there
// runs inline instead of waiting for workers that are busy with the call around it.
thread_local bool busyHere = false;

class Pool
{
  public:
    ~Pool()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        for (std::thread& worker : workers)
            worker.join();
    }

    // Runs the chunks of one call with up to helpers workers beside the calling thread; rethrows the
    // first exception a chunk threw, after every started chunk has finished.
    void Run(const std::function<void(size_t, size_t)>& body, size_t count, size_t chunk, size_t chunks,
             size_t helpers)
    {
        if (busyHere)
        {
            RunInline(body, count, chunk, chunks);
            return;
        }
        std::unique_lock<std::mutex> runLock(runMutex, std::try_to_lock);
        if (!runLock.owns_lock())
        {
            RunInline(body, count, chunk, chunks);
            return;
        }
        struct BusyScope
        {
            BusyScope() { busyHere = true; }
            ~BusyScope() { busyHere = false; }
        } busy;
        StartWorkers(helpers);
        {
            std::lock_guard<std::mutex> lock(mutex);
            job = Job{&body, count, chunk, chunks};
            nextChunk = 0;
            finishedChunks = 0;
            failure = nullptr;
            ++generation;
        }
        if (!workers.empty()) wake.notify_all();
        Work(); // the calling thread takes chunks too, and all of them when no worker started
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [&] { return finishedChunks == job.chunks; });
        job.body = nullptr;
        if (failure)
        {
            std::exception_ptr thrown = failure;
            failure = nullptr;
            lock.unlock();
            std::rethrow_exception(thrown);
        }
    }

    // Starts up to helpers workers unless a call runs (it starts those it needs itself).
    void Prepare(size_t helpers)
    {
        std::unique_lock<std::mutex> runLock(runMutex, std::try_to_lock);
        if (runLock.owns_lock()) StartWorkers(helpers);
    }

    // The same chunks, one after the other on the calling thread.
    static void RunInline(const std::function<void(size_t, size_t)>& body, size_t count, size_t chunk,
                          size_t chunks)
    {
        for (size_t c = 0; c < chunks; ++c)
            body(c * chunk, std::min(count, (c + 1) * chunk));
    }

    // After fork() only the forking thread exists in the child: the copied workers are gone, so the
    // child must start a pool of its own. The old one is left as it is (its mutexes may be held).
    static Pool*& Instance()
    {
        static Pool* instance = nullptr;
        return instance;
    }

  private:
    struct Job
    {
        const std::function<void(size_t, size_t)>* body = nullptr;
        size_t count = 0;
        size_t chunk = 0;
        size_t chunks = 0;
    };

    void StartWorkers(size_t wanted)
    {
        while (workers.size() < wanted && !startFailed)
        {
            try
            {
                workers.emplace_back([this] { WorkerLoop(); });
            }
            catch (const std::system_error&)
            {
                startFailed = true; // the system refuses threads: this pool works with what it has
            }
        }
    }

    void WorkerLoop()
    {
        busyHere = true;
        unsigned long long seen = 0;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;)
        {
            wake.wait(lock, [&] { return stopping || generation != seen; });
            if (stopping) return;
            seen = generation;
            lock.unlock();
            Work();
            lock.lock();
        }
    }

    // Takes chunks until none is left. A chunk that throws stops the handing out of further chunks.
    void Work()
    {
        for (;;)
        {
            size_t c = 0;
            Job current;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (job.body == nullptr || nextChunk >= job.chunks) return;
                c = nextChunk++;
                current = job;
            }
            std::exception_ptr thrown;
            try
            {
                (*current.body)(c * current.chunk, std::min(current.count, (c + 1) * current.chunk));
            }
            catch (...)
            {
                thrown = std::current_exception();
            }
            std::lock_guard<std::mutex> lock(mutex);
            if (thrown)
            {
                if (!failure) failure = thrown;
                finishedChunks += job.chunks - nextChunk; // the chunks not handed out count as done
                nextChunk = job.chunks;
            }
            if (++finishedChunks == job.chunks) done.notify_all();
        }
    }

    std::mutex runMutex; // one call at a time owns the workers
    std::mutex mutex;    // guards everything below
    std::condition_variable wake;
    std::condition_variable done;
    std::vector<std::thread> workers;
    Job job;
    size_t nextChunk = 0;
    size_t finishedChunks = 0;
    std::exception_ptr failure;
    unsigned long long generation = 0;
    bool stopping = false;
    bool startFailed = false;
};

// Destroyed at exit, joining the workers; a child process after fork() gets a fresh one.
struct PoolOwner
{
    PoolOwner()
    {
        Pool::Instance() = new Pool();
        pthread_atfork(nullptr, nullptr, [] { Pool::Instance() = new Pool(); });
    }
    ~PoolOwner()
    {
        delete Pool::Instance();
        Pool::Instance() = nullptr;
    }
};

Pool* GetPool()
{
    static PoolOwner owner;
    return Pool::Instance(); // null only during static destruction at exit
}
} // namespace

namespace Parallel
{
void SetThreadCount(unsigned count)
{
    requestedThreads = count;
}

unsigned ThreadCount()
{
    const unsigned requested = requestedThreads.load();
    if (requested != 0) return requested;
    return std::max(1u, std::thread::hardware_concurrency());
}

void StartWorkers()
{
    if (Pool* pool = GetPool()) pool->Prepare(ThreadCount() - 1);
}

void For(size_t count, const std::function<void(size_t, size_t)>& body, size_t minPerThread)
{
    if (count == 0) return;
    size_t threads = ThreadCount();
    threads = std::min(threads, std::max<size_t>(1, count / std::max<size_t>(1, minPerThread)));
    if (threads <= 1)
    {
        body(0, count);
        return;
    }
    // The chunks of the thread-per-chunk days: contiguous, ceil(count / threads) long, the last one
    // shorter (and fewer chunks than threads when the division leaves too little for the last).
    const size_t chunk = (count + threads - 1) / threads;
    const size_t chunks = (count + chunk - 1) / chunk;
    if (Pool* pool = GetPool())
        pool->Run(body, count, chunk, chunks, chunks - 1);
    else
        Pool::RunInline(body, count, chunk, chunks);
}
} // namespace Parallel
