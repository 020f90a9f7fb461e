// The calling thread's open call and the current cancellation flag of every thread.

#include "parallel/cancellation.hpp"

namespace vellomir {

namespace {

thread_local CancellableCall* open_call = nullptr;
thread_local Cancellation* current_flag = nullptr;
Cancellation never_requested;  // stands for "no cancellation"; never written

}  // namespace

CancellableCall::CancellableCall(WaitPoll& poll, std::chrono::milliseconds interval) noexcept
    : poll_(poll), interval_(interval), enclosing_(open_call), enclosing_flag_(current_flag) {
    open_call = this;
    current_flag = &cancellation_;
}

CancellableCall::~CancellableCall() {
    open_call = enclosing_;
    current_flag = enclosing_flag_;
}

CancellableCall* CancellableCall::current() noexcept { return open_call; }

bool CancellableCall::poll() noexcept {
    if (!cancellation_.requested() && poll_.cancel_requested()) {
        cancellation_.request();
    }
    return cancellation_.requested();
}

namespace detail {

Cancellation& current_cancellation() noexcept { return current_flag != nullptr ? *current_flag : never_requested; }

CancellationInScope::CancellationInScope(Cancellation& cancellation) noexcept : outer_(current_flag) {
    current_flag = &cancellation;
}

CancellationInScope::~CancellationInScope() { current_flag = outer_; }

}  // namespace detail

}  // namespace vellomir
