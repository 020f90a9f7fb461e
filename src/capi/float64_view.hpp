#pragma once
// A held buffer of float64 values from any object with the buffer protocol (NumPy arrays,
// array.array('d'), memoryview): the one reader of float64 buffers for both faces. The
// exporter cannot resize or free the memory while it is held, so the values can be read and
// written with the interpreter released. Only the calling thread acquires and releases it.
//
// What each face accepts:
//   vellomir (the shortcut of sequence arguments): one dimension, any stride and alignment, no
//     indirection, format "d" or "@d". A "=d" buffer takes the item-by-item path instead,
//     which refuses it as memoryview's own iteration does.
//   vellomir_numpy._core: C-contiguous, any number of dimensions (read flat), writable where
//     asked, format "d", "@d" or "=d" (the one native byte-order mark, or none).

#include <Python.h>

#include <cstddef>
#include <span>

namespace vellomir {

class Float64View {
public:
    enum class Layout {
        strided,       // PyBUF_RECORDS_RO: strides and format, read-only accepted
        c_contiguous,  // PyBUF_C_CONTIGUOUS | PyBUF_FORMAT
    };
    // The prefixes before "d" that mean native byte order and size.
    enum class NativeMarks {
        none_or_at,         // "d", "@d"
        none_at_or_equals,  // "d", "@d", "=d"
    };

    Float64View() = default;
    Float64View(const Float64View&) = delete;
    Float64View& operator=(const Float64View&) = delete;
    ~Float64View() {
        if (held_) PyBuffer_Release(&view_);
    }

    // Requests the buffer of `object` in `layout`; false, with the exporter's error cleared,
    // where it has none.
    bool request(PyObject* object, Layout layout, bool writable) noexcept;

    // The NumPy face's argument: a C-contiguous float64 buffer (writable if asked). On failure
    // sets TypeError "<name> must be a C-contiguous[ writable] float64 buffer" and returns false.
    bool acquire_contiguous(PyObject* object, const char* name, bool writable);

    // Whether the held items are float64 in native order: 8 bytes, format "d" behind `marks`.
    bool holds_float64(NativeMarks marks) const noexcept;
    // One dimension without indirection (a strided request).
    bool is_vector() const noexcept { return held_ && view_.ndim == 1 && view_.suboffsets == nullptr; }

    const Py_buffer& buffer() const noexcept { return view_; }

    // A C-contiguous float64 buffer's values, read flat.
    std::span<const double> values() const noexcept { return {static_cast<const double*>(view_.buf), size()}; }
    std::span<double> writable_values() noexcept { return {static_cast<double*>(view_.buf), size()}; }
    std::size_t size() const noexcept { return static_cast<std::size_t>(view_.len) / sizeof(double); }

private:
    Py_buffer view_{};
    bool held_ = false;
};

}  // namespace vellomir
