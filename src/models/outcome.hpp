#pragma once
// A model's result: a value, or the static message of the elliptic routine that
// failed. The module raises the message as RuntimeError on the calling thread, so
// producing one never touches the interpreter.

#include <string_view>
#include <utility>

namespace vellomir {

template <class T>
class Outcome {
public:
    static Outcome success(T value) { return Outcome(std::move(value), {}); }
    // `message` must refer to static, read-only text.
    static Outcome failure(std::string_view message) { return Outcome(T{}, message); }

    bool ok() const noexcept { return message_.data() == nullptr; }
    const T& value() const& noexcept { return value_; }
    T&& value() && noexcept { return std::move(value_); }
    std::string_view message() const noexcept { return message_; }

private:
    Outcome(T value, std::string_view message) : value_(std::move(value)), message_(message) {}

    T value_;
    std::string_view message_;
};

}  // namespace vellomir
