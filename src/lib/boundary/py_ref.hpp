// The one owner of one strong reference to an interpreter object.
#pragma once

#include <Python.h>

#include <utility>

#include "boundary/release.hpp"

namespace caustica::boundary {

class PyRef {
 public:
  PyRef() noexcept = default;
  // Takes over a new reference, as returned by most interpreter calls (null stays empty).
  static PyRef steal(PyObject* object) noexcept { return PyRef(object); }
  // Takes a strong reference of its own to a borrowed object.
  static PyRef borrow(PyObject* object) noexcept {
    Py_XINCREF(object);
    return PyRef(object);
  }

  PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    PyRef(std::move(other)).swap(*this);
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  // Not always at once: see release.hpp.
  ~PyRef() {
    if (object_ != nullptr) release_reference(object_);
  }

  PyObject* get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  // Hands the reference to the caller, typically the interpreter.
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  void swap(PyRef& other) noexcept { std::swap(object_, other.object_); }

 private:
  explicit PyRef(PyObject* object) noexcept : object_(object) {}
  PyObject* object_ = nullptr;
};

}  // namespace caustica::boundary
