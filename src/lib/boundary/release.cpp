#include "boundary/release.hpp"

#include "core/static_tls.hpp"

namespace caustica::boundary {

namespace {

CAUSTICA_STATIC_TLS thread_local DeferredReleases* innermost = nullptr;

// Exact floats, ints and strs free nothing but themselves: no finaliser can run.
bool frees_only_itself(PyObject* object) noexcept {
  return PyFloat_CheckExact(object) || PyLong_CheckExact(object) || PyUnicode_CheckExact(object);
}

}  // namespace

bool holds_interpreter_lock() noexcept {
#if PY_VERSION_HEX >= 0x030D0000
  // The thread state attached to this thread; a thread waiting for the lock has none.
  return PyThreadState_GetUnchecked() != nullptr;
#else
  // Before 3.13 only the private _PyThreadState_UncheckedGet reads the current thread state
  // without a fatal error when there is none; up to 3.11 it is the lock holder's, whichever
  // thread that is, so its thread is compared with ours.
  const PyThreadState* current = _PyThreadState_UncheckedGet();
  return current != nullptr && current->thread_id == PyThread_get_thread_ident();
#endif
}

void release_reference(PyObject* object) noexcept {
  if (!holds_interpreter_lock()) return;  // the interpreter is ending this thread: leave it
  if (Py_REFCNT(object) > 1 || frees_only_itself(object)) {
    Py_DECREF(object);
    return;
  }
  if (innermost != nullptr && innermost->defer(object)) return;
  Py_DECREF(object);  // outside any call, or a call that gave up more than it has room for
}

void release_now(PyObject* object) { Py_XDECREF(object); }

DeferredReleases::DeferredReleases() noexcept : outer_(innermost) { innermost = this; }

DeferredReleases::~DeferredReleases() { innermost = outer_; }

bool DeferredReleases::defer(PyObject* object) noexcept {
  if (count_ == kCapacity) return false;
  pending_[count_++] = object;
  return true;
}

void DeferredReleases::release_all() {
  for (std::size_t i = 0; i < count_; ++i) {
    PyObject* object = pending_[i];
    pending_[i] = nullptr;
    Py_DECREF(object);
  }
  count_ = 0;
}

}  // namespace caustica::boundary
