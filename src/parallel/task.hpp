#pragma once
// A unit of work for the worker pool. Tasks live on the stack of the thread that
// waits for them (a join, or a caller outside the pool); queues hold only pointers,
// so scheduling allocates nothing.

#include <cstddef>

namespace vellomir {

class WorkerThread;

class Task {
public:
    // Runs the task on `executor`, the pool thread that picked it up. Never throws:
    // a task captures its own exceptions for the thread that waits for it.
    virtual void execute(WorkerThread& executor) noexcept = 0;

protected:
    Task() = default;
    ~Task() = default;
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;

private:
    friend class InjectionQueue;
    Task* next_injected_ = nullptr;  // link in the injection queue
};

}  // namespace vellomir
