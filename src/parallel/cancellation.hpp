#pragma once
// Stopping a call's parallel maps early, from the thread that waits for them.
//
// A thread outside the pool opens a CancellableCall for the duration of one call. While it
// waits for a map it injected, it wakes every `interval` and asks its WaitPoll whether to
// give up (the Python face checks for pending signals there). Once the answer is yes, the
// call is cancelled: every map of the call — those the thread starts, and those nested in
// them on the workers — stops taking elements, lets the blocks in flight finish and throws
// MapCancelled; a map started after that throws at once. The pool itself is left idle and
// usable. Maps opened without a CancellableCall are never cancelled.
//
// Elements are checked one by one, so a cancellation lands within one element's time.

#include <atomic>
#include <chrono>
#include <exception>

namespace vellomir {

// Thrown out of the maps of a cancelled call; the owner of the CancellableCall knows why.
class MapCancelled final : public std::exception {
public:
    const char* what() const noexcept override { return "parallel map cancelled"; }
};

// Asked by a waiting caller whether its call should stop. Runs on the caller's thread only.
class WaitPoll {
public:
    virtual bool cancel_requested() noexcept = 0;

protected:
    WaitPoll() = default;
    ~WaitPoll() = default;
    WaitPoll(const WaitPoll&) = delete;
    WaitPoll& operator=(const WaitPoll&) = delete;
};

// One call's cancellation flag. Read with relaxed order: it only tells workers to stop early;
// what the caller sees is decided by the exceptions that joins carry back.
class Cancellation {
public:
    bool requested() const noexcept { return requested_.load(std::memory_order_relaxed); }
    void request() noexcept { requested_.store(true, std::memory_order_relaxed); }

private:
    std::atomic<bool> requested_{false};
};

// The calling thread's open call; restores the enclosing one (if any) when it ends, so a
// call made from inside a poll (a signal handler that calls the module) nests correctly.
class CancellableCall {
public:
    static constexpr std::chrono::milliseconds default_interval{20};

    explicit CancellableCall(WaitPoll& poll, std::chrono::milliseconds interval = default_interval) noexcept;
    ~CancellableCall();
    CancellableCall(const CancellableCall&) = delete;
    CancellableCall& operator=(const CancellableCall&) = delete;

    bool cancelled() const noexcept { return cancellation_.requested(); }

    // The open call of this thread, or nullptr.
    static CancellableCall* current() noexcept;

    // Called by the waiting thread at each wake-up; polls (once per call at most, after which
    // the call stays cancelled) and returns whether the call is cancelled.
    bool poll() noexcept;

    Cancellation& cancellation() noexcept { return cancellation_; }
    std::chrono::milliseconds interval() const noexcept { return interval_; }

private:
    WaitPoll& poll_;
    std::chrono::milliseconds interval_;
    Cancellation cancellation_;
    CancellableCall* enclosing_;
    Cancellation* enclosing_flag_;
};

namespace detail {

// The cancellation that governs maps started on this thread: on a caller, that of its open
// call; on a worker, that of the map whose element it is computing (so nested maps inherit
// it). Never null: a flag that is never raised stands for "none".
Cancellation& current_cancellation() noexcept;

// Makes `cancellation` the current one of this thread until the end of the scope.
class CancellationInScope {
public:
    explicit CancellationInScope(Cancellation& cancellation) noexcept;
    ~CancellationInScope();
    CancellationInScope(const CancellationInScope&) = delete;
    CancellationInScope& operator=(const CancellationInScope&) = delete;

private:
    Cancellation* outer_;
};

}  // namespace detail

}  // namespace vellomir
