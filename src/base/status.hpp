#pragma once
// How a kernel ended: one enumerator per failure a caller can be told about, and `ok`. The
// kernels return a Status (or a value with one, Result<T>) and never build text; the boundary
// turns a Status into its message through status_message, the one table of those texts.
//
// The messages are part of the module's behaviour (RuntimeError and ValueError carry them) and
// must not change.

#include <cstdint>
#include <string_view>
#include <utility>

namespace vellomir {

enum class Status : std::uint8_t {
    ok,
    // The complete elliptic integrals (legendre.hpp), each under its own name.
    ellipk_nan,
    ellipk_m_above_one,
    ellipk_unexpected,
    ellipe_nan,
    ellipe_m_above_one,
    ellippi_n_one,
    ellippi_nan,
    ellippi_m_above_one,
    ellippi_unexpected,
    // A brightness profile whose total flux is not positive (radial_profile.hpp).
    law_flux_not_positive,
    table_flux_not_positive,
};

// The text a caller is shown for `status` (empty for ok): static storage, never freed.
constexpr std::string_view status_message(Status status) noexcept {
    switch (status) {
        case Status::ok: return {};
        case Status::ellipk_nan: return "ellipk: Arguments cannot be NAN.";
        case Status::ellipk_m_above_one: return "ellipk: m must not be greater than 1.";
        case Status::ellipk_unexpected: return "ellipk: Unexpected error.";
        case Status::ellipe_nan: return "ellipe: Arguments cannot be NAN.";
        case Status::ellipe_m_above_one: return "ellipe: m must not be greater than 1.";
        case Status::ellippi_n_one: return "ellippi: n cannot be 1.";
        case Status::ellippi_nan: return "ellippi: Arguments cannot be NAN.";
        case Status::ellippi_m_above_one: return "ellippi: m must not be greater than 1.";
        case Status::ellippi_unexpected: return "ellippi: Unexpected error.";
        case Status::law_flux_not_positive: return "coefficients give a profile whose total flux is not positive";
        case Status::table_flux_not_positive: return "intensity gives a profile whose total flux is not positive";
    }
    return "unknown status";
}

// A value and the Status of the kernel that computed it; the value means something only when
// ok(). Nothing is allocated for a failure.
template <class T>
class Result {
public:
    static constexpr Result success(T value) { return Result(std::move(value), Status::ok); }
    static constexpr Result failure(Status status) { return Result(T{}, status); }

    constexpr bool ok() const noexcept { return status_ == Status::ok; }
    constexpr Status status() const noexcept { return status_; }
    constexpr const T& value() const& noexcept { return value_; }
    T&& value() && noexcept { return std::move(value_); }
    // The caller's text of a failure (status_message).
    constexpr std::string_view message() const noexcept { return status_message(status_); }

private:
    constexpr Result(T value, Status status) : value_(std::move(value)), status_(status) {}

    T value_;
    Status status_;
};

}  // namespace vellomir
