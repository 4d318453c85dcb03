// Process-wide interpreter objects made on first use and never released.
//
// No lock of ours guards the making: it runs under the interpreter lock alone. Making an object
// may run Python code (an import, an import hook), which lets other threads run and may call
// back into this module; a lock held across that would hang a forked child that inherits it
// held, or the thread that re-enters. So two threads may both make one object; the first to
// publish wins and the other's copy is dropped. Once published, the object is read with a
// single atomic load.
#pragma once

#include <Python.h>

#include <atomic>

#include "boundary/errors.hpp"

namespace caustica::boundary {

class LazyObject {
 public:
  constexpr LazyObject() = default;
  LazyObject(const LazyObject&) = delete;
  LazyObject& operator=(const LazyObject&) = delete;

  // The object, or null while it has not been made.
  PyObject* published() const noexcept { return value_.load(std::memory_order_acquire); }

  // The object (borrowed), made by `make` -> PyResult<PyRef> on the first call that needs it.
  // Must be called holding the interpreter lock. A failed make publishes nothing, so a later
  // call tries again.
  template <class Make>
  PyResult<PyObject*> get(Make&& make) {
    if (PyObject* value = published()) return value;
    PyResult<PyRef> made = make();
    if (!made) return std::move(made).error();
    PyRef ours = std::move(made).value();
    PyObject* first = nullptr;
    if (value_.compare_exchange_strong(first, ours.get(), std::memory_order_acq_rel)) {
      return ours.release();
    }
    return first;  // another thread, or a call made while ours was being made, published first
  }

 private:
  std::atomic<PyObject*> value_{nullptr};
};

}  // namespace caustica::boundary
