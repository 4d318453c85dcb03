// Process-wide interpreter objects made on first use and never released.
//
// The guard's mutex and the interpreter lock are never waited for in the other order: a thread
// gives up the interpreter lock before it waits for the mutex, and the thread that makes the
// object takes the interpreter lock back only for the interpreter calls of making it. Once the
// object is published it is read with a single atomic load.
#pragma once

#include <Python.h>

#include <atomic>
#include <mutex>

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
  // A failed make publishes nothing, so a later call tries again.
  template <class Make>
  PyResult<PyObject*> get(Make&& make) {
    if (PyObject* value = published()) return value;
    return make_once(make);
  }

 private:
  class ReleasedInterpreter {
   public:
    ReleasedInterpreter() noexcept : state_(PyEval_SaveThread()) {}
    ~ReleasedInterpreter() { PyEval_RestoreThread(state_); }
    ReleasedInterpreter(const ReleasedInterpreter&) = delete;
    ReleasedInterpreter& operator=(const ReleasedInterpreter&) = delete;

    // Runs f with the interpreter lock held, giving it up again afterwards, also when f unwinds.
    template <class F>
    auto holding_interpreter(F& f) {
      PyEval_RestoreThread(state_);
      struct ReleaseAgain {
        PyThreadState*& state;
        ~ReleaseAgain() { state = PyEval_SaveThread(); }
      } release_again{state_};
      return f();
    }

   private:
    PyThreadState* state_;
  };

  template <class Make>
  PyResult<PyObject*> make_once(Make& make) {
    ReleasedInterpreter released;
    std::lock_guard lock(mutex_);
    if (PyObject* value = published()) return value;
    PyResult<PyRef> made = released.holding_interpreter(make);
    if (!made) return std::move(made).error();
    PyObject* value = std::move(made).value().release();
    value_.store(value, std::memory_order_release);
    return value;
  }

  std::atomic<PyObject*> value_{nullptr};
  std::mutex mutex_;
};

}  // namespace caustica::boundary
