#include "boundary/errors.hpp"

#include <cstring>

#include "boundary/guard.hpp"

namespace caustica::boundary {

namespace {

// The type's qualified name, or a placeholder; runs while an error is being raised, so it must
// neither fail nor resume a panic.
std::string qualified_name(PyObject* type) {
#if PY_VERSION_HEX >= 0x030B0000
  PyRef name = PyRef::steal(PyType_GetQualName(reinterpret_cast<PyTypeObject*>(type)));
#else
  PyRef name = PyRef::steal(PyObject_GetAttrString(type, "__qualname__"));
#endif
  std::optional<std::string> text = name && PyUnicode_Check(name.get()) ? utf8_of(name.get())
                                                                        : std::nullopt;
  if (!text) {
    PyErr_Clear();
    return "<failed to extract type name>";
  }
  return std::move(*text);
}

PyRef cast_error_text(PyObject* object, PyObject* target, const char* target_name) {
  std::string text = "'";
  if (object == Py_None) {
    text += "None' is not";
  } else {
    text += qualified_name(reinterpret_cast<PyObject*>(Py_TYPE(object)));
    text += "' object is not";
  }
  text += " an instance of '";
  text += target_name != nullptr ? std::string(target_name) : qualified_name(target);
  text += "'";
  return str_from_utf8(text);
}

// The exception's single constructor argument; null with the indicator set if it cannot be made.
struct ArgumentMaker {
  PyRef operator()(std::monostate) const { return PyRef::borrow(Py_None); }
  PyRef operator()(const char* text) const {
    return PyRef::steal(PyUnicode_FromStringAndSize(text, static_cast<Py_ssize_t>(strlen(text))));
  }
  PyRef operator()(const std::string& text) const { return str_from_utf8(text); }
  PyRef operator()(PyRef& argument) const { return std::move(argument); }
  PyRef operator()(const auto& cast) const {
    return cast_error_text(cast.object.get(), cast.target, cast.target_name);
  }
};

struct Triple {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
};

Triple fetch_normalized() {
  Triple pending;
  PyErr_Fetch(&pending.type, &pending.value, &pending.traceback);
  if (pending.type) PyErr_NormalizeException(&pending.type, &pending.value, &pending.traceback);
  return pending;
}

}  // namespace

PyErr PyErr::lazy(PyObject* type, std::string message) {
  return PyErr(Lazy{type, std::move(message)});
}

PyErr PyErr::lazy_static_text(PyObject* type, const char* message) {
  return PyErr(Lazy{type, message});
}

PyErr PyErr::lazy(PyObject* type, PyRef argument) { return PyErr(Lazy{type, std::move(argument)}); }

PyErr PyErr::cast_error(PyRef object, PyObject* target_type) {
  return PyErr(Lazy{PyExc_TypeError, CastError{std::move(object), target_type, nullptr}});
}

PyErr PyErr::cast_error(PyRef object, const char* target_name) {
  return PyErr(Lazy{PyExc_TypeError, CastError{std::move(object), nullptr, target_name}});
}

PyErr PyErr::no_memory() { return PyErr(Lazy{PyExc_MemoryError, std::monostate{}}); }

bool PyErr::is_exactly(PyObject* type) const noexcept {
  if (const auto* lazy = std::get_if<Lazy>(&state_)) return lazy->type == type;
  return std::get<Fetched>(state_).type.get() == type;
}

bool PyErr::is_instance_of(PyObject* type) {
  normalize();
  return PyErr_GivenExceptionMatches(std::get<Fetched>(state_).type.get(), type) != 0;
}

void PyErr::normalize() {
  if (std::holds_alternative<Fetched>(state_)) return;
  raise(std::move(*this));
  const Triple pending = fetch_normalized();
  state_ = Fetched{PyRef::steal(pending.type), PyRef::steal(pending.value),
                   PyRef::steal(pending.traceback)};
}

PyObject* PyErr::value() {
  normalize();
  return std::get<Fetched>(state_).value.get();
}

PyRef PyErr::cause() { return PyRef::steal(PyException_GetCause(value())); }

void PyErr::set_cause(PyRef cause) { PyException_SetCause(value(), cause.release()); }

std::string PyErr::text() { return text_of(value()); }

std::string PyErr::description() {
  const std::string text_part = text();
  return qualified_name(std::get<Fetched>(state_).type.get()) + ": " + text_part;
}

void PyErr::write_unraisable(PyObject* context) && {
  raise(std::move(*this));
  PyErr_WriteUnraisable(context);
}

void raise(PyErr error) {
  if (auto* fetched = std::get_if<PyErr::Fetched>(&error.state_)) {
    PyErr_Restore(fetched->type.release(), fetched->value.release(), fetched->traceback.release());
    return;
  }
  auto& lazy = std::get<PyErr::Lazy>(error.state_);
  if (lazy.type == PyExc_MemoryError && std::holds_alternative<std::monostate>(lazy.argument)) {
    // The interpreter keeps MemoryError instances ready for when there is no memory to make one.
    PyErr_NoMemory();
    return;
  }
  PyRef argument = std::visit(ArgumentMaker{}, lazy.argument);
  if (!argument) return;  // the failure to build it is what gets raised
  if (PyExceptionClass_Check(lazy.type)) {
    PyErr_SetObject(lazy.type, argument.get());
  } else {
    PyErr_SetString(PyExc_TypeError, "exceptions must derive from BaseException");
  }
  const Triple pending = fetch_normalized();
  PyErr_Restore(pending.type, pending.value, pending.traceback);
}

PyErr fetch() {
  const Triple pending = fetch_normalized();
  if (!pending.type) {
    return PyErr::lazy_static_text(PyExc_SystemError,
                                   "attempted to fetch exception but none was set");
  }
  PyErr error(PyErr::Fetched{PyRef::steal(pending.type), PyRef::steal(pending.value),
                             PyRef::steal(pending.traceback)});
  if (is_panic_exception(pending.type)) resume_panic(std::move(error));
  return error;
}

void discard_pending() { PyErr ignored = fetch(); }

std::optional<std::string> utf8_of(PyObject* str) {
  PyRef bytes = PyRef::steal(PyUnicode_AsEncodedString(str, "utf-8", "surrogatepass"));
  if (!bytes) return std::nullopt;
  return std::string(PyBytes_AS_STRING(bytes.get()),
                     static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
}

PyRef str_from_utf8(std::string_view text) {
  return PyRef::steal(
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogatepass"));
}

namespace {

std::string unprintable_text(PyObject* object) {
  PyTypeObject* type = Py_TYPE(object);
#if PY_VERSION_HEX >= 0x030B0000
  PyRef name = PyRef::steal(PyType_GetName(type));
#else
  PyRef name = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__name__"));
#endif
  std::optional<std::string> text;
  if (name && PyUnicode_Check(name.get())) text = utf8_of(name.get());
  if (!text) {
    if (PyErr_Occurred()) discard_pending();
    return "<unprintable object>";
  }
  return "<unprintable " + *text + " object>";
}

}  // namespace

std::string text_of(PyObject* object) {
  PyRef str = PyRef::steal(PyObject_Str(object));
  if (str) {
    if (std::optional<std::string> text = utf8_of(str.get())) return std::move(*text);
  }
  fetch().write_unraisable(object);
  return unprintable_text(object);
}

}  // namespace caustica::boundary
