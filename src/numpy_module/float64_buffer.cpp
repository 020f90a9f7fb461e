#include "numpy_module/float64_buffer.hpp"

#include <cstring>

namespace vellomir::numpy_face {

bool Float64Buffer::acquire(PyObject* object, const char* name, bool writable) {
    const int flags = PyBUF_C_CONTIGUOUS | PyBUF_FORMAT | (writable ? PyBUF_WRITABLE : 0);
    if (PyObject_GetBuffer(object, &view_, flags) < 0) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s must be a C-contiguous%s float64 buffer", name, writable ? " writable" : "");
        return false;
    }
    held_ = true;
    // "d" with an optional native byte-order mark: anything else would be misread.
    const char* format = view_.format;
    if (format != nullptr && (format[0] == '@' || format[0] == '=')) ++format;
    if (view_.itemsize != sizeof(double) || format == nullptr || std::strcmp(format, "d") != 0) {
        PyErr_Format(PyExc_TypeError, "%s must be a C-contiguous float64 buffer", name);
        return false;
    }
    return true;
}

}  // namespace vellomir::numpy_face
