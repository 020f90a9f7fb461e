#pragma once
// The outcome of a complete elliptic integral: a value, or one of the routine's
// fixed error messages. The message refers to static storage: nothing is
// allocated for an error and the receiver never frees it.

#include <string_view>

namespace vellomir {

class EllipResult {
public:
    static constexpr EllipResult success(double value) noexcept { return EllipResult(value, {}); }
    // `message` must refer to static, read-only text.
    static constexpr EllipResult failure(std::string_view message) noexcept { return EllipResult(0.0, message); }

    constexpr bool ok() const noexcept { return message_.data() == nullptr; }
    constexpr double value() const noexcept { return value_; }
    constexpr std::string_view message() const noexcept { return message_; }

private:
    constexpr EllipResult(double value, std::string_view message) noexcept : value_(value), message_(message) {}

    double value_;
    std::string_view message_;
};

}  // namespace vellomir
