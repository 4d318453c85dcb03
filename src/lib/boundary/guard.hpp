// The boundary guard: whatever happens inside a call leaves it as exactly one Python exception.
// Internal failures (caustica::Panic, and any other C++ exception) become PanicException;
// nothing unwinds into the interpreter.
#pragma once

#include <Python.h>

#include <cxxabi.h>

#include "boundary/errors.hpp"

namespace caustica::boundary {

// "hostglue_runtime.PanicException", made on first need and shared by every module object.
PyResult<PyObject*> panic_exception_type();
// Whether `type` is PanicException itself; false while the type does not exist yet.
bool is_panic_exception(PyObject* type) noexcept;
// A PanicException came back from Python code that a call ran: report it and go on unwinding
// as the panic it carries.
[[noreturn]] void resume_panic(PyErr error);

// Raise the error or the caught panic; if that itself fails, the process is ended.
void raise_at_boundary(PyErr error) noexcept;
void raise_caught_at_boundary() noexcept;

// Only one unwind leaves a guard: the interpreter ends a daemon thread that asks for its
// lock while it finalises by unwinding the thread (pthread_exit). That unwind is no failure of
// ours; it passes through, so the guards are not noexcept, and the thread ends quietly. It
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
  try {
    PyResult<PyRef> result = body();
    if (result) return std::move(result).value().release();
    raise_at_boundary(std::move(result).error());
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    raise_caught_at_boundary();
  }
  return nullptr;
}

// body() -> PyResult<void>; returns 0, or -1 with one exception set, as a module slot does.
template <class Body>
CAUSTICA_NO_SANITIZE_UNDEFINED int guard_status(Body&& body) {
  try {
    PyResult<void> result = body();
    if (result) return 0;
    raise_at_boundary(std::move(result).error());
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    raise_caught_at_boundary();
  }
  return -1;
}

}  // namespace caustica::boundary
