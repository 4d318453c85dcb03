// The boundary guard: whatever happens inside a call leaves it as exactly one Python exception.
// Internal failures (caustica::Panic, and any other C++ exception) become PanicException;
// nothing unwinds into the interpreter.
#pragma once

#include <Python.h>

#include <cxxabi.h>

#include "boundary/errors.hpp"
#include "boundary/release.hpp"

namespace caustica::boundary {

// "hostglue_runtime.PanicException", made on first need and shared by every module object.
PyResult<PyObject*> panic_exception_type();
// A PanicException pickles as a call of the module's function of this name with its arguments,
// so that it loads wherever caustica can be imported, as itself ("hostglue_runtime" is no
// module that an unpickler could import).
inline constexpr const char* UNPICKLE_PANIC_EXCEPTION = "_unpickle_panic_exception";
// PanicException(*args): the function of that name.
PyObject* unpickle_panic_exception(PyObject* module, PyObject* args);
// Whether `type` is PanicException itself; false while the type does not exist yet.
bool is_panic_exception(PyObject* type) noexcept;
// A PanicException came back from Python code that a call ran: report it and go on unwinding
// as the panic it carries.
[[noreturn]] void resume_panic(PyErr error);

// Raise the error or the caught panic; if that itself fails, the process is ended. Raising
// makes objects, which may run a collection and its finalisers, so these let the thread-ending
// unwind through as well.
void raise_at_boundary(PyErr error);
void raise_caught_at_boundary();

// Only one unwind leaves a guard: the interpreter ends a daemon thread that asks for its
// lock while it finalises by unwinding the thread (pthread_exit). That unwind is no failure of
// ours; it passes through, so the guards are not noexcept, and the thread ends quietly. The
// last references given up in the call are released after its work, by an ordinary call
// (release.hpp), since their finalisers may be where the thread is ended. The unwind
// carries no C++ object, so its handler binds a null reference, which UBSan would report (and
// GCC honours only the whole of no_sanitize_undefined on a template; the bodies keep theirs).

#if defined(__clang__)
#define CAUSTICA_NO_SANITIZE_UNDEFINED [[clang::no_sanitize("undefined")]]
#else
#define CAUSTICA_NO_SANITIZE_UNDEFINED [[gnu::no_sanitize_undefined]]
#endif

// body() -> PyResult<PyRef>; returns the new reference, or null with one exception set.
template <class Body>
CAUSTICA_NO_SANITIZE_UNDEFINED PyObject* guard(Body&& body) {
  DeferredReleases releases;
  PyObject* object = nullptr;
  try {
    PyResult<PyRef> result = body();
    if (result) {
      object = std::move(result).value().release();
    } else {
      raise_at_boundary(std::move(result).error());
    }
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    raise_caught_at_boundary();
  }
  releases.release_all();
  return object;
}

// body() -> PyResult<void>; returns 0, or -1 with one exception set, as a module slot does.
template <class Body>
CAUSTICA_NO_SANITIZE_UNDEFINED int guard_status(Body&& body) {
  DeferredReleases releases;
  int status = -1;
  try {
    PyResult<void> result = body();
    if (result) {
      status = 0;
    } else {
      raise_at_boundary(std::move(result).error());
    }
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    raise_caught_at_boundary();
  }
  releases.release_all();
  return status;
}

}  // namespace caustica::boundary
