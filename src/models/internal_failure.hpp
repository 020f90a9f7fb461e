#pragma once
// A broken invariant inside the numerical code (for instance a brightness table
// whose two columns differ in length). It aborts the computation; the module's
// entry trampoline turns it into PanicException with the same message.

#include <stdexcept>
#include <string>

namespace vellomir {

class InternalFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The failure of an equality assertion between two counts.
inline InternalFailure count_mismatch(std::size_t left, std::size_t right) {
    return InternalFailure("assertion `left == right` failed\n  left: " + std::to_string(left) +
                           "\n right: " + std::to_string(right));
}

}  // namespace vellomir
