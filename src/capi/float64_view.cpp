#include "capi/float64_view.hpp"

#include <cstring>

namespace vellomir {

bool Float64View::request(PyObject* object, Layout layout, bool writable) noexcept {
    const int flags = (layout == Layout::strided ? PyBUF_RECORDS_RO : PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) |
                      (writable ? PyBUF_WRITABLE : 0);
    held_ = PyObject_GetBuffer(object, &view_, flags) == 0;
    if (!held_) PyErr_Clear();
    return held_;
}

bool Float64View::holds_float64(NativeMarks marks) const noexcept {
    // Anything else ("<d" even where it is native, another size or kind) would be misread.
    const char* format = view_.format;
    if (!held_ || view_.itemsize != sizeof(double) || format == nullptr) return false;
    if (format[0] == '@' || (format[0] == '=' && marks == NativeMarks::none_at_or_equals)) ++format;
    return std::strcmp(format, "d") == 0;
}

bool Float64View::acquire_contiguous(PyObject* object, const char* name, bool writable) {
    if (!request(object, Layout::c_contiguous, writable)) {
        PyErr_Format(PyExc_TypeError, "%s must be a C-contiguous%s float64 buffer", name, writable ? " writable" : "");
        return false;
    }
    if (!holds_float64(NativeMarks::none_at_or_equals)) {
        PyErr_Format(PyExc_TypeError, "%s must be a C-contiguous float64 buffer", name);
        return false;
    }
    return true;
}

}  // namespace vellomir
