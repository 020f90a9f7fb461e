// The worker pool: threads, work finding, and the sleep protocol.
//
// Sleep protocol. `searching` counts workers that are awake and looking for work,
// `sleepers` those blocked on their wake signal. Whoever makes work available
// (a push, an injection) reads both after publishing it and wakes one sleeper only if
// there are sleepers and nobody searches. A searcher that stops searching as the last
// one wakes a sleeper if work is still visible; so does nobody else, which keeps a burst
// of pushes from waking every thread (Go's runtime applies the same rule to its spinning
// threads). A worker about to sleep registers as a sleeper, stops searching, then looks
// once more. All these accesses are seq_cst: of "publish work, then read the counters"
// and "change the counters, then look for work" at least one sees the other, so no
// wake-up is lost.

#include "parallel/worker_pool.hpp"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "parallel/cancellation.hpp"
#include "parallel/work_stealing_deque.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace vellomir {

namespace {

constexpr std::size_t cache_line = 64;

// Rounds of looking for work before a worker goes to sleep: long enough that the
// back-to-back maps of a tight loop find the workers still awake.
constexpr unsigned search_rounds_before_sleep = 64;
constexpr unsigned busy_spin_rounds = 32;
constexpr std::chrono::microseconds max_spin{500};

void cpu_relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

void back_off(unsigned round) noexcept {
    if (round < busy_spin_rounds) {
        // At most 16 pauses between looks: a worker waiting for a thief notices it finish quickly.
        for (unsigned i = 0, n = 1u << std::min(round, 4u); i < n; ++i) {
            cpu_relax();
        }
    } else {
        std::this_thread::yield();
    }
}

// One-shot signal for a thread outside the pool. The waiter always passes through the
// mutex before returning, so the setter is done with the latch when the waiter destroys it.
class BlockingLatch {
public:
    void set() noexcept {
        std::lock_guard lock(mutex_);
        set_.store(true, std::memory_order_release);
        signal_.notify_one();
    }

    // With an open call, wakes every call->interval() to poll it until the call is cancelled
    // (then the task is finishing early and the plain wait is short).
    void wait(CancellableCall* call) noexcept {
        // Yielding rounds can each cost a whole time slice on a busy machine: spin for at most
        // max_spin, so that the first poll is not late.
        std::chrono::steady_clock::time_point spin_until;
        for (unsigned round = 0; round < search_rounds_before_sleep && !set_.load(std::memory_order_acquire); ++round) {
            if (round == busy_spin_rounds) {
                spin_until = std::chrono::steady_clock::now() + max_spin;
            } else if (round > busy_spin_rounds && std::chrono::steady_clock::now() > spin_until) {
                break;
            }
            back_off(round);
        }
        const auto is_set = [this] { return set_.load(std::memory_order_acquire); };
        std::unique_lock lock(mutex_);
        if (call != nullptr) {
            while (!is_set() && !call->cancelled() && !signal_.wait_for(lock, call->interval(), is_set)) {
                lock.unlock();
                call->poll();
                lock.lock();
            }
        }
        signal_.wait(lock, is_set);
    }

private:
    std::atomic<bool> set_{false};
    std::mutex mutex_;
    std::condition_variable signal_;
};

bool threads_unsupported(const std::system_error& error) noexcept {
    return error.code() == std::errc::function_not_supported || error.code() == std::errc::operation_not_supported ||
           error.code() == std::errc::not_supported;
}

}  // namespace

// FIFO of tasks handed in by threads outside the pool, linked through the tasks
// themselves. The mutex is taken only when the count says there is something.
class InjectionQueue {
public:
    void push(Task& task) noexcept {
        std::lock_guard lock(mutex_);
        task.next_injected_ = nullptr;
        (tail_ != nullptr ? tail_->next_injected_ : head_) = &task;
        tail_ = &task;
        count_.fetch_add(1, std::memory_order_seq_cst);
    }

    Task* pop() noexcept {
        if (empty()) {
            return nullptr;
        }
        std::lock_guard lock(mutex_);
        Task* task = head_;
        if (task != nullptr) {
            head_ = task->next_injected_;
            if (head_ == nullptr) {
                tail_ = nullptr;
            }
            count_.fetch_sub(1, std::memory_order_seq_cst);
        }
        return task;
    }

    bool empty() const noexcept { return count_.load(std::memory_order_seq_cst) == 0; }

private:
    alignas(cache_line) std::atomic<std::size_t> count_{0};
    std::mutex mutex_;
    Task* head_ = nullptr;
    Task* tail_ = nullptr;
};

class alignas(cache_line) WorkerThread {
public:
    WorkerThread(WorkerPool::State& pool, std::size_t index) : pool(pool), index(index), random_state(index + 1) {}

    WorkerPool::State& pool;
    const std::size_t index;
    WorkStealingDeque deque;
    std::condition_variable wake_signal;  // waited on only by this worker, under State::sleep_mutex
    std::atomic<bool> asleep{false};      // written under State::sleep_mutex
    bool wake_pending = false;            // guarded by State::sleep_mutex
    std::uint64_t random_state;           // this worker's own: where stealing starts

    std::size_t next_random(std::size_t bound) noexcept {
        // xorshift64 (Marsaglia 2003): only spreads thieves over victims.
        random_state ^= random_state << 13;
        random_state ^= random_state >> 7;
        random_state ^= random_state << 17;
        return static_cast<std::size_t>(random_state % bound);
    }
};

struct WorkerPool::State {
    std::size_t size = 1;
    std::vector<std::unique_ptr<WorkerThread>> workers;
    std::vector<std::thread> threads;
    InjectionQueue injected;

    std::mutex sleep_mutex;  // guards each worker's wake_pending and the transitions of asleep
    alignas(cache_line) std::atomic<std::size_t> searching{0};
    alignas(cache_line) std::atomic<std::size_t> sleepers{0};
    std::atomic<bool> stopping{false};
    std::size_t wake_cursor = 0;  // guarded by sleep_mutex: rotates the sleeper woken first
};

namespace {

thread_local WorkerThread* current_worker_thread = nullptr;

bool work_available(WorkerPool::State& pool) noexcept {
    if (!pool.injected.empty()) {
        return true;
    }
    return std::any_of(pool.workers.begin(), pool.workers.end(), [](const auto& w) { return !w->deque.empty(); });
}

// Under sleep_mutex: hands a sleeping worker the wake signal; it wakes up searching.
void wake_locked(WorkerPool::State& pool, WorkerThread& worker) noexcept {
    worker.asleep.store(false, std::memory_order_seq_cst);
    pool.sleepers.fetch_sub(1, std::memory_order_seq_cst);
    pool.searching.fetch_add(1, std::memory_order_seq_cst);
    worker.wake_pending = true;
    worker.wake_signal.notify_one();
}

void wake_one_sleeper(WorkerPool::State& pool) noexcept {
    std::lock_guard lock(pool.sleep_mutex);
    const std::size_t n = pool.workers.size();
    for (std::size_t k = 0; k < n; ++k) {
        WorkerThread& worker = *pool.workers[(pool.wake_cursor + k) % n];
        if (worker.asleep.load(std::memory_order_relaxed)) {
            pool.wake_cursor = (pool.wake_cursor + k + 1) % n;
            wake_locked(pool, worker);
            return;
        }
    }
}

void notify_new_work(WorkerPool::State& pool) noexcept {
    if (pool.sleepers.load(std::memory_order_seq_cst) > 0 && pool.searching.load(std::memory_order_seq_cst) == 0) {
        wake_one_sleeper(pool);
    }
}

void stop_searching(WorkerPool::State& pool) noexcept {
    if (pool.searching.fetch_sub(1, std::memory_order_seq_cst) == 1 &&
        pool.sleepers.load(std::memory_order_seq_cst) > 0 && work_available(pool)) {
        wake_one_sleeper(pool);
    }
}

Task* find_work(WorkerThread& self) noexcept {
    if (Task* task = self.deque.pop()) {
        return task;
    }
    auto& workers = self.pool.workers;
    const std::size_t n = workers.size();
    if (n > 1) {
        const std::size_t start = self.next_random(n);
        for (std::size_t k = 0; k < n; ++k) {
            WorkerThread& victim = *workers[(start + k) % n];
            if (&victim != &self) {
                if (Task* task = victim.deque.steal()) {
                    return task;
                }
            }
        }
    }
    return self.pool.injected.pop();
}

// Called while searching; returns still searching (woken for work, or the last look
// found some) or, if the wait is over, with the reason visible to the caller.
void sleep(WorkerThread& self, const std::atomic<bool>* done) noexcept {
    WorkerPool::State& pool = self.pool;
    std::unique_lock lock(pool.sleep_mutex);
    self.asleep.store(true, std::memory_order_seq_cst);
    pool.sleepers.fetch_add(1, std::memory_order_seq_cst);
    pool.searching.fetch_sub(1, std::memory_order_seq_cst);
    const bool stay_awake = pool.stopping.load(std::memory_order_seq_cst) ||
                            (done != nullptr && done->load(std::memory_order_seq_cst)) || work_available(pool);
    if (stay_awake) {
        self.asleep.store(false, std::memory_order_seq_cst);
        pool.sleepers.fetch_sub(1, std::memory_order_seq_cst);
        pool.searching.fetch_add(1, std::memory_order_seq_cst);
        return;
    }
    self.wake_signal.wait(lock, [&self] { return self.wake_pending; });
    self.wake_pending = false;  // the waker moved us back to searching
}

// Entered searching. Returns a task (no longer searching), or nullptr once `done` is set
// (or, for the main loop, once the pool stops).
Task* search(WorkerThread& self, const std::atomic<bool>* done) noexcept {
    WorkerPool::State& pool = self.pool;
    for (unsigned round = 0;; ++round) {
        const bool finished = done != nullptr ? done->load(std::memory_order_acquire)
                                              : pool.stopping.load(std::memory_order_acquire);
        if (finished) {
            stop_searching(pool);
            return nullptr;
        }
        if (Task* task = find_work(self)) {
            stop_searching(pool);
            return task;
        }
        if (round < search_rounds_before_sleep) {
            back_off(round);
        } else {
            sleep(self, done);
            round = 0;
        }
    }
}

void worker_main(WorkerThread& self) noexcept {
    current_worker_thread = &self;
    // Counted as searching from the start (see the constructor).
    while (Task* task = search(self, nullptr)) {
        task->execute(self);
        self.pool.searching.fetch_add(1, std::memory_order_seq_cst);
    }
    current_worker_thread = nullptr;
}

void stop_workers(WorkerPool::State& pool) noexcept {
    pool.stopping.store(true, std::memory_order_seq_cst);
    {
        std::lock_guard lock(pool.sleep_mutex);
        for (auto& worker : pool.workers) {
            if (worker->asleep.load(std::memory_order_relaxed)) {
                wake_locked(pool, *worker);
            }
        }
    }
    for (auto& thread : pool.threads) {
        thread.join();
    }
    pool.threads.clear();
}

}  // namespace

WorkerPool::WorkerPool(std::size_t threads) : state_(std::make_unique<State>()) {
    State& pool = *state_;
    pool.size = std::max<std::size_t>(threads, 1);
    pool.workers.reserve(pool.size);
    for (std::size_t i = 0; i < pool.size; ++i) {
        pool.workers.push_back(std::make_unique<WorkerThread>(pool, i));
    }
    pool.threads.reserve(pool.size);
    pool.searching.store(pool.size);
    for (std::size_t i = 0; i < pool.size; ++i) {
        try {
            pool.threads.emplace_back(worker_main, std::ref(*pool.workers[i]));
        } catch (const std::system_error& error) {
            if (i == 0 && threads_unsupported(error)) {
                // No threads on this platform: the pool is the calling thread alone.
                pool.workers.clear();
                pool.searching.store(0);
                pool.size = 1;
                return;
            }
            pool.searching.fetch_sub(pool.size - i);  // never started
            stop_workers(pool);
            throw;
        }
    }
}

WorkerPool::~WorkerPool() { stop_workers(*state_); }

std::size_t WorkerPool::size() const noexcept { return state_->size; }

namespace {

// The process-wide pool. Set once per process by compare-and-swap, so no lock is ever held
// across a fork: a forked child, which has none of the parent's worker threads, forgets
// the parent's pool (and leaks it, untouched) and creates its own on first use.
constinit std::atomic<WorkerPool*> global_pool{nullptr};

void forget_pool_in_child() noexcept { global_pool.store(nullptr, std::memory_order_relaxed); }

// Registered while the library loads, before any pool thread can exist.
[[maybe_unused]] const int fork_handler_registered = pthread_atfork(nullptr, nullptr, forget_pool_in_child);

}  // namespace

WorkerPool& WorkerPool::global() {
    if (WorkerPool* pool = global_pool.load(std::memory_order_acquire)) {
        return *pool;
    }
    // Leaked on purpose: threads blocked in the pool must never see it destroyed at exit.
    std::unique_ptr<WorkerPool> created;
    try {
        created = std::make_unique<WorkerPool>(pool_size_from_environment());
    } catch (const std::exception& error) {
        throw std::runtime_error(std::string("The global thread pool has not been initialized.: ") + error.what());
    }
    WorkerPool* expected = nullptr;
    if (global_pool.compare_exchange_strong(expected, created.get(), std::memory_order_acq_rel)) {
        return *created.release();
    }
    return *expected;  // another thread's pool won the race; ours is stopped and destroyed
}

WorkerThread* WorkerPool::current_worker() const noexcept {
    WorkerThread* worker = current_worker_thread;
    return worker != nullptr && &worker->pool == state_.get() ? worker : nullptr;
}

void WorkerPool::run_injected(Task& task) {
    State& pool = *state_;
    if (pool.workers.empty()) {
        // Thread-less pool: the caller is its only worker, with a deque of its own.
        auto caller = std::make_unique<WorkerThread>(pool, 0);
        WorkerThread* outer = std::exchange(current_worker_thread, caller.get());
        task.execute(*caller);
        current_worker_thread = outer;
        return;
    }

    class Signalling final : public Task {
    public:
        explicit Signalling(Task& inner) : inner_(inner) {}
        void execute(WorkerThread& executor) noexcept override {
            inner_.execute(executor);
            done.set();
        }
        BlockingLatch done;

    private:
        Task& inner_;
    };

    Signalling wrapper(task);
    pool.injected.push(wrapper);
    notify_new_work(pool);
    wrapper.done.wait(CancellableCall::current());
}

std::size_t current_num_threads() { return WorkerPool::global().size(); }

bool push_local(WorkerThread& self, Task& task) noexcept {
    if (!self.deque.push(&task)) {
        return false;
    }
    notify_new_work(self.pool);
    return true;
}

void run_until(WorkerThread& self, const std::atomic<bool>& done) noexcept {
    // Normally the task just pushed comes straight back; older tasks of our own are
    // pending work too and are run the same way.
    while (!done.load(std::memory_order_acquire)) {
        Task* task = self.deque.pop();
        if (task == nullptr) {
            break;
        }
        task->execute(self);
    }
    if (done.load(std::memory_order_acquire)) {
        return;
    }
    // Stolen: keep working until the thief is done (never block a worker).
    WorkerPool::State& pool = self.pool;
    pool.searching.fetch_add(1, std::memory_order_seq_cst);
    while (Task* task = search(self, &done)) {
        task->execute(self);
        pool.searching.fetch_add(1, std::memory_order_seq_cst);
    }
}

void set_done_and_wake(std::atomic<bool>& done, WorkerThread& owner) noexcept {
    done.store(true, std::memory_order_seq_cst);
    // From here on `done` may be gone; `owner` lives as long as its pool.
    if (owner.asleep.load(std::memory_order_seq_cst)) {
        WorkerPool::State& pool = owner.pool;
        std::lock_guard lock(pool.sleep_mutex);
        if (owner.asleep.load(std::memory_order_relaxed)) {
            wake_locked(pool, owner);
        }
    }
}

}  // namespace vellomir
