#pragma once
// A strong reference to a Python object, released when it goes out of scope.
// Only a thread attached to the interpreter may create, copy-free move or
// destroy one that holds an object.

#include <Python.h>

#include <utility>

namespace vellomir {

class OwnedRef {
public:
    OwnedRef() noexcept = default;
    // Takes over a new reference (which may be NULL, e.g. a failed C-API call).
    explicit OwnedRef(PyObject* object) noexcept : object_(object) {}
    static OwnedRef borrow(PyObject* object) noexcept { return OwnedRef(Py_XNewRef(object)); }

    OwnedRef(OwnedRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    OwnedRef& operator=(OwnedRef&& other) noexcept {
        if (this != &other) {
            Py_XDECREF(object_);
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    OwnedRef(const OwnedRef&) = delete;
    OwnedRef& operator=(const OwnedRef&) = delete;
    ~OwnedRef() { Py_XDECREF(object_); }

    PyObject* get() const noexcept { return object_; }
    PyObject* release() noexcept { return std::exchange(object_, nullptr); }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    PyObject* object_ = nullptr;
};

}  // namespace vellomir
