#pragma once
// The former name of the models' value-with-status type, Result<T> (base/status.hpp), kept for
// the Python boundary until it names Result itself; no kernel uses it.

#include "base/status.hpp"

namespace vellomir {

template <class T>
using Outcome = Result<T>;

}  // namespace vellomir
