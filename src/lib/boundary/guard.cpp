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

// PanicException.__reduce__: (caustica._unpickle_panic_exception, args[, __dict__]), as
// BaseException.__reduce__ gives but for the callable, which pickle can find by its name.
PyObject* reduce_panic(PyObject* self, PyObject* /*unused*/) {
  return guard([self]() -> PyResult<PyRef> {
    PyRef module = PyRef::steal(PyImport_ImportModule("caustica"));
    if (!module) return fetch();
    PyRef rebuild = PyRef::steal(PyObject_GetAttrString(module.get(), UNPICKLE_PANIC_EXCEPTION));
    if (!rebuild) return fetch();
    PyRef args = PyRef::steal(PyObject_GetAttrString(self, "args"));
    if (!args) return fetch();
    PyRef dict = PyRef::steal(PyObject_GetAttrString(self, "__dict__"));
    if (!dict) return fetch();
    PyObject* reduced = PyDict_Check(dict.get()) && PyDict_Size(dict.get()) == 0
                            ? PyTuple_Pack(2, rebuild.get(), args.get())
                            : PyTuple_Pack(3, rebuild.get(), args.get(), dict.get());
    if (reduced == nullptr) return fetch();
    return PyRef::steal(reduced);
  });
}

PyMethodDef reduce_method = {"__reduce__", reduce_panic, METH_NOARGS, nullptr};

}  // namespace

PyResult<PyObject*> panic_exception_type() {
  return panic_exception.get([]() -> PyResult<PyRef> {
    PyRef type = PyRef::steal(PyErr_NewExceptionWithDoc(
        "hostglue_runtime.PanicException", PANIC_EXCEPTION_DOC, PyExc_BaseException, nullptr));
    if (!type) return fetch();
    PyRef reduce = PyRef::steal(
        PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(type.get()), &reduce_method));
    if (!reduce) return fetch();
    if (PyObject_SetAttrString(type.get(), "__reduce__", reduce.get()) != 0) return fetch();
    return type;
  });
}

PyObject* unpickle_panic_exception(PyObject* /*module*/, PyObject* args) {
  return guard([args]() -> PyResult<PyRef> {
    PyResult<PyObject*> type = panic_exception_type();
    if (!type) return std::move(type).error();
    PyRef instance = PyRef::steal(PyObject_Call(*type, args, nullptr));
    if (!instance) return fetch();
    return instance;
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

CAUSTICA_NO_SANITIZE_UNDEFINED void raise_at_boundary(PyErr error) {
  try {
    raise(std::move(error));
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (...) {
    abort_at_boundary();
  }
}

CAUSTICA_NO_SANITIZE_UNDEFINED void raise_caught_at_boundary() {
  try {
    raise_at_boundary(error_of_caught());
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (...) {
    abort_at_boundary();
  }
}

}  // namespace caustica::boundary
