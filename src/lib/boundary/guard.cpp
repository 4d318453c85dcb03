#include "boundary/guard.hpp"

#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "boundary/once.hpp"
#include "core/panic.hpp"

namespace caustica::boundary {

namespace {

constexpr const char* PANIC_EXCEPTION_DOC =
    "\n"
    "The exception raised when native code called from Python panics.\n"
    "\n"
    "Like SystemExit, it derives from BaseException and not from Exception, so that it\n"
    "typically propagates all the way up the stack and makes the Python interpreter exit.\n";

constexpr const char* GENERIC_PANIC_MESSAGE = "native code panicked";

LazyObject panic_exception;

void write_to_stderr(std::string_view text) noexcept {
  // Straight to the descriptor: sys.stderr may be redirected, replaced or broken by now.
  (void)!::write(STDERR_FILENO, text.data(), text.size());
}

[[noreturn]] void abort_at_boundary() noexcept {
  write_to_stderr("uncaught panic at ffi boundary\n");
  std::abort();
}

PyErr panic_error(std::string message) {
  PyResult<PyObject*> type = panic_exception_type();
  if (!type) return std::move(type).error();
  return PyErr::lazy(*type, std::move(message));
}

// A C++ exception that is not a caustica::Panic is a panic all the same, reported as one.
std::string reported_panic(std::string message) {
  try {
    caustica::panic(std::move(message));
  } catch (const Panic& reported) {
    return reported.message();
  }
}

PyErr error_of_caught() {
  try {
    throw;
  } catch (const Panic& panic) {
    return panic_error(panic.message());
  } catch (const std::bad_alloc&) {
    return PyErr::no_memory();
  } catch (const std::exception& exception) {
    return panic_error(reported_panic(exception.what()));
  } catch (...) {
    return panic_error(reported_panic(GENERIC_PANIC_MESSAGE));
  }
}

}  // namespace

PyResult<PyObject*> panic_exception_type() {
  return panic_exception.get([]() -> PyResult<PyRef> {
    PyRef type = PyRef::steal(PyErr_NewExceptionWithDoc(
        "hostglue_runtime.PanicException", PANIC_EXCEPTION_DOC, PyExc_BaseException, nullptr));
    if (!type) return fetch();
    return type;
  });
}

bool is_panic_exception(PyObject* type) noexcept {
  PyObject* panic_type = panic_exception.published();
  return panic_type != nullptr && type == panic_type;
}

void resume_panic(PyErr error) {
  PyRef str = PyRef::steal(PyObject_Str(error.value()));
  std::optional<std::string> message = str ? utf8_of(str.get()) : std::nullopt;
  if (!message) {
    // Its own failure must not resume another panic: that would never end.
    PyErr_Clear();
    message = "Unwrapped panic from Python code";
  }
  write_to_stderr(
      "--- HostGlue is resuming a panic after fetching a PanicException from Python. ---\n"
      "Python stack trace below:\n");
  raise(std::move(error));
  PyErr_PrintEx(0);
  caustica::panic(std::move(*message));
}

void raise_at_boundary(PyErr error) noexcept {
  try {
    raise(std::move(error));
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (...) {
    abort_at_boundary();
  }
}

void raise_caught_at_boundary() noexcept {
  try {
    raise_at_boundary(error_of_caught());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (...) {
    abort_at_boundary();
  }
}

}  // namespace caustica::boundary
