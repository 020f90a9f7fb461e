#pragma once
// A held buffer of C-contiguous float64 values from any object with the buffer protocol
// (NumPy arrays, array.array('d'), memoryview). The exporter cannot resize or free the
// memory while it is held, so the values can be read and written with the interpreter
// released. Only the calling thread acquires and releases the buffer.

#include <Python.h>

#include <cstddef>
#include <span>

namespace vellomir::numpy_face {

class Float64Buffer {
public:
    Float64Buffer() = default;
    Float64Buffer(const Float64Buffer&) = delete;
    Float64Buffer& operator=(const Float64Buffer&) = delete;
    ~Float64Buffer() {
        if (held_) PyBuffer_Release(&view_);
    }

    // Acquires the buffer of `object`; on failure sets a TypeError naming `name` and returns false.
    bool acquire(PyObject* object, const char* name, bool writable);

    std::span<const double> values() const noexcept {
        return {static_cast<const double*>(view_.buf), size()};
    }
    std::span<double> writable_values() noexcept { return {static_cast<double*>(view_.buf), size()}; }
    std::size_t size() const noexcept { return static_cast<std::size_t>(view_.len) / sizeof(double); }

private:
    Py_buffer view_{};
    bool held_ = false;
};

}  // namespace vellomir::numpy_face
