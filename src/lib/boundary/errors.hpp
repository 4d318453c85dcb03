// The boundary's error value and the two ways it crosses the interpreter's error indicator:
// raise (into it, once per call, at the guard) and fetch (out of it, right after a failing call).
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "boundary/py_ref.hpp"

namespace caustica::boundary {

class PyErr {
 public:
  // A lazy error holds no interpreter object unless it is handed one, so it can be made and
  // dropped without the interpreter lock. Its type must live as long as the process: a
  // built-in exception type, or PanicException.
  static PyErr lazy(PyObject* type, std::string message);
  // For texts that live forever, such as an elliptic-integral message: nothing is copied.
  static PyErr lazy_static_text(PyObject* type, const char* message);
  // Raised as PyErr_SetObject(type, argument) would, a tuple giving the arguments.
  static PyErr lazy(PyObject* type, PyRef argument);
  // "'{}' object is not an instance of '{}'", worded when it is raised.
  static PyErr cast_error(PyRef object, PyObject* target_type);
  // The same, naming the target by a fixed text: nothing is looked up, so it can be worded in
  // every state of the interpreter, finalisation included.
  static PyErr cast_error(PyRef object, const char* target_name);
  static PyErr no_memory();

  PyErr(PyErr&&) noexcept = default;
  PyErr& operator=(PyErr&&) noexcept = default;

  // The exception's class is `type` itself, not a subclass.
  bool is_exactly(PyObject* type) const noexcept;
  bool is_instance_of(PyObject* type);
  // The exception instance (borrowed); a lazy error is raised and fetched back to make it.
  PyObject* value();
  PyRef cause();
  void set_cause(PyRef cause);
  // str() of the exception instance.
  std::string text();
  // "{type}: {text}", for internal failure messages.
  std::string description();
  void write_unraisable(PyObject* context) &&;

  friend void raise(PyErr error);
  friend PyErr fetch();

 private:
  struct CastError {
    PyRef object;
    PyObject* target;
    const char* target_name;  // used instead of the target's own name when not null
  };
  using Argument = std::variant<std::monostate, const char*, std::string, PyRef, CastError>;
  struct Lazy {
    PyObject* type;
    Argument argument;
  };
  struct Fetched {
    PyRef type;
    PyRef value;
    PyRef traceback;
  };

  explicit PyErr(Lazy lazy) : state_(std::move(lazy)) {}
  explicit PyErr(Fetched fetched) : state_(std::move(fetched)) {}
  void normalize();

  std::variant<Lazy, Fetched> state_;
};

// Puts the error into the interpreter's error indicator, which must be clear.
void raise(PyErr error);
// Takes the pending exception out of the indicator, normalised. With nothing pending the result
// is a SystemError; a pending PanicException resumes the panic it carries instead.
PyErr fetch();

// A value or the error that stopped it.
template <class T>
class [[nodiscard]] PyResult {
 public:
  PyResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  PyResult(PyErr error) : state_(std::in_place_index<1>, std::move(error)) {}

  explicit operator bool() const noexcept { return state_.index() == 0; }
  T& operator*() & noexcept { return *std::get_if<0>(&state_); }
  T&& value() && noexcept { return std::move(*std::get_if<0>(&state_)); }
  PyErr&& error() && noexcept { return std::move(*std::get_if<1>(&state_)); }

 private:
  std::variant<T, PyErr> state_;
};

template <>
class [[nodiscard]] PyResult<void> {
 public:
  PyResult() = default;
  PyResult(PyErr error) : error_(std::move(error)) {}

  explicit operator bool() const noexcept { return !error_.has_value(); }
  PyErr&& error() && noexcept { return std::move(*error_); }

 private:
  std::optional<PyErr> error_;
};

// str() of an object for a message. When str() fails, its exception is reported as unraisable
// and the text names the object's type instead.
std::string text_of(PyObject* object);
// The UTF-8 bytes of a str; lone surrogates pass through, so a text taken from a str always
// goes back into one unchanged.
std::optional<std::string> utf8_of(PyObject* str);
PyRef str_from_utf8(std::string_view text);
// Drops the pending exception of a step whose failure does not matter.
void discard_pending();

}  // namespace caustica::boundary
