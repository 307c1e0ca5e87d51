#pragma once
// Splits index ranges over the machine's cores. Every caller computes each index independently of
// the others (and combines reductions exactly, such as min and max), so the results are the same
// bits whatever the thread count.
#include <cstddef>
#include <functional>
#include <future>
#include <type_traits>
#include <utility>

namespace Parallel
{
// 0 selects the number of hardware threads (the default).
void SetThreadCount(unsigned count);
unsigned ThreadCount();

// Starts the pool's workers for the thread count now. They start otherwise at the first call of For
// that needs them, and a thread inherits its starter's priority: the job runner starts them from
// the GUI thread, so that they never keep a job's lowered one.
void StartWorkers();

// Calls body(begin, end) on contiguous chunks covering [0, count), one chunk per thread, and returns
// when all are done. Ranges shorter than minPerThread per thread run on the calling thread alone.
// The chunks run on a pool of workers started once (and on the calling thread); when no worker can
// be started, or a call is made from inside another call's body, they run one after the other on
// the calling thread. An exception thrown by body reaches the caller once the chunks already
// started have finished; the chunks not started yet are skipped.
void For(size_t count, const std::function<void(size_t begin, size_t end)>& body,
         size_t minPerThread = 16384);

// Runs work beside the caller: on a thread of its own when there is a second core, otherwise when
// the future is waited for (get() or its destructor). get() passes the work's exception on. Throws
// std::system_error when no thread can be started. The pool above is for splitting one pass; this
// is for one piece of work that overlaps the caller's own (a producer, a writer, the grid's
// triangles while the generator runs).
template <typename Work> std::future<std::invoke_result_t<std::decay_t<Work>>> RunBeside(Work&& work)
{
    return std::async(ThreadCount() > 1 ? std::launch::async : std::launch::deferred,
                      std::forward<Work>(work));
}
} // namespace Parallel
