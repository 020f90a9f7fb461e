#pragma once
// A fixed set of worker threads that run fork-join tasks by work stealing.
//
// Each worker owns a Chase–Lev deque (work_stealing_deque.hpp): it pushes and pops its
// own tasks at the bottom, idle workers steal from the top of the others' deques.
// Threads outside the pool hand work in through one injection queue and block until
// it is done. An idle worker spins briefly, then sleeps; it is woken when work appears
// and no other worker is already searching (the "spinning thread" rule of Go's
// scheduler), so a burst of work wakes sleepers one at a time, never all at once.
// A worker that waits for a stolen task keeps running other tasks meanwhile: nested
// fork-join from inside the pool never blocks a worker, even with a single one.

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>

#include "parallel/pool_size.hpp"
#include "parallel/task.hpp"

namespace vellomir {

class WorkerPool {
public:
    // Starts `threads` workers (at least 1). If the platform does not support threads
    // at all the pool has none and runs everything on the calling thread; any other
    // failure to start a thread stops those already started and throws std::system_error.
    explicit WorkerPool(std::size_t threads);
    // Stops and joins the workers. No call into the pool may be in progress.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Number of workers; the split budget of a parallel map starts here.
    std::size_t size() const noexcept;

    // The process-wide pool, created on first use with the size that
    // pool_size_from_environment() gives, and never torn down: its threads live until
    // the process ends (the pool is leaked on purpose, so exit neither waits for nor
    // destroys a sleeping worker). Creation failure throws std::runtime_error whose
    // message begins "The global thread pool has not been initialized."; the next call
    // tries again. A child made by fork() does not inherit the pool (its threads stay in
    // the parent): its first call creates a new one by the same rule, never touching the
    // parent's. Do not cache the reference across a fork.
    static WorkerPool& global();

    // The calling thread's worker state if it is one of this pool's workers, else nullptr.
    WorkerThread* current_worker() const noexcept;

    // Runs `task` on a worker and returns when it has finished. For threads that are not
    // workers of this pool; the caller blocks (spinning briefly first). With a
    // CancellableCall open on this thread it wakes at the call's interval to poll it.
    void run_injected(Task& task);

    struct State;

private:
    std::unique_ptr<State> state_;
};

// Size of the global pool (creates it).
std::size_t current_num_threads();

// Operations of a worker on its own deque, for join (join.hpp).

// Pushes `task` on the worker's own deque and wakes an idle worker if none is searching.
// False when the deque is full: the caller must then run the task itself.
bool push_local(WorkerThread& self, Task& task) noexcept;

// Runs tasks until `done` is set: first whatever the worker pops from its own deque
// (normally the task pushed last, taken back unstolen), then, once that is empty,
// tasks stolen from others or injected, sleeping when there are none.
void run_until(WorkerThread& self, const std::atomic<bool>& done) noexcept;

// Sets `done` (release) and wakes `owner` if it sleeps in run_until on it. `done` may be
// destroyed by the owner the moment it is set, so this touches it only once.
void set_done_and_wake(std::atomic<bool>& done, WorkerThread& owner) noexcept;

}  // namespace vellomir
