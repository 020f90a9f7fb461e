#pragma once
// How an entry point hands the part of its work that needs the worker pool to its caller. The
// entry decides what runs where; the launcher decides how the pool part runs: the Python
// boundary releases the interpreter around it (cancellable by Ctrl-C) on the process-wide pool,
// a test runs it on a pool of its own.

#include <utility>

#include "parallel/worker_pool.hpp"

namespace vellomir {

// The part of a computation that runs on a worker pool.
class PoolWork {
public:
    virtual void run(WorkerPool& pool) = 0;

protected:
    ~PoolWork() = default;
};

// Calls work.run(pool) once, for a pool of its choice. What that throws (MapCancelled, a
// kernel's failure, std::bad_alloc) either reaches the entry's caller or is kept by the
// launcher for its owner to collect; either way the entry returns without looking at results.
class PoolLauncher {
public:
    virtual void launch(PoolWork& work) = 0;

protected:
    ~PoolLauncher() = default;
};

// A PoolWork over a callable taking the pool.
template <class Run>
class PoolWorkOf final : public PoolWork {
public:
    explicit PoolWorkOf(const Run& run) noexcept : run_(run) {}
    void run(WorkerPool& pool) override { run_(pool); }

private:
    const Run& run_;
};

// A PoolLauncher over a callable taking the PoolWork.
template <class Launch>
class PoolLauncherOf final : public PoolLauncher {
public:
    explicit PoolLauncherOf(Launch launch) : launch_(std::move(launch)) {}
    void launch(PoolWork& work) override { launch_(work); }

private:
    Launch launch_;
};

// Hands `run(pool)` to `launcher`.
template <class Run>
void launch_on_pool(PoolLauncher& launcher, const Run& run) {
    PoolWorkOf<Run> work(run);
    launcher.launch(work);
}

}  // namespace vellomir
