#include "boundary/arguments.hpp"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <new>
#include <string>

#include "boundary/native_buffer.hpp"
#include "core/panic.hpp"

namespace caustica::boundary {

namespace {

// Above this many doubles the byte size of a vector no longer fits an allocation's limit.
constexpr std::size_t MAX_DOUBLES =
    (static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()) - 7) / sizeof(double);

// Messages are put together piece by piece; the pieces outlive the call.
std::string concat(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (const std::string_view piece : pieces) text += piece;
  return text;
}

std::string full_name(const FunctionDescription& description) {
  return concat({description.function_name, "()"});
}

PyErr too_many_positional(const FunctionDescription& description, Py_ssize_t nargs) {
  return PyErr::lazy(PyExc_TypeError,
                     concat({full_name(description), " takes ",
                             std::to_string(description.parameter_names.size()),
                             " positional arguments but ", std::to_string(nargs),
                             nargs == 1 ? " was" : " were", " given"}));
}

PyErr unexpected_keyword(const FunctionDescription& description, PyObject* keyword) {
  return PyErr::lazy(PyExc_TypeError, concat({full_name(description),
                                              " got an unexpected keyword argument '",
                                              text_of(keyword), "'"}));
}

PyErr multiple_values(const FunctionDescription& description, std::string_view parameter) {
  return PyErr::lazy(PyExc_TypeError, concat({full_name(description),
                                              " got multiple values for argument '", parameter,
                                              "'"}));
}

// 'l' — 'l' and 're' — 'l', 're', and 'rstar'
std::string quoted_list(const std::vector<std::string_view>& names) {
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() >= 3) list += ",";
      list += i + 1 == names.size() ? " and " : " ";
    }
    list += concat({"'", names[i], "'"});
  }
  return list;
}

PyErr missing_arguments(const FunctionDescription& description,
                        std::span<PyObject* const> slots) {
  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (slots[i] == nullptr) missing.push_back(description.parameter_names[i]);
  }
  return PyErr::lazy(PyExc_TypeError,
                     concat({full_name(description), " missing ", std::to_string(missing.size()),
                             " required positional ",
                             missing.size() == 1 ? "argument" : "arguments", ": ",
                             quoted_list(missing)}));
}

// The parameter named by a keyword, compared byte for byte; nullopt when there is none, or
// when the keyword cannot be read as UTF-8 (then no parameter could have that name).
std::optional<std::size_t> keyword_parameter(const FunctionDescription& description,
                                             PyObject* keyword) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(keyword, &size);
  if (utf8 == nullptr) {
    discard_pending();
    return std::nullopt;
  }
  const std::string_view name(utf8, static_cast<std::size_t>(size));
  for (std::size_t i = 0; i < description.parameter_names.size(); ++i) {
    if (description.parameter_names[i] == name) return i;
  }
  return std::nullopt;
}

PyResult<void> reserve_for_length(std::vector<double>& values, PyObject* sequence) {
  const Py_ssize_t length = PyObject_Size(sequence);
  if (length < 0) {
    // A Ctrl-C, an exit or a want of memory that lands in __len__ must not be lost.
    if (PyErr_ExceptionMatches(PyExc_KeyboardInterrupt) ||
        PyErr_ExceptionMatches(PyExc_SystemExit) || PyErr_ExceptionMatches(PyExc_MemoryError)) {
      return fetch();
    }
    discard_pending();  // any other failure: the length is a hint, and iteration decides
    return {};
  }
  if (static_cast<std::size_t>(length) > MAX_DOUBLES) caustica::panic("capacity overflow");
  try {
    values.reserve(static_cast<std::size_t>(length));
  } catch (const std::bad_alloc&) {
    return PyErr::no_memory();
  }
  return {};
}

// A null from the interpreter where it cannot fail but for want of memory: the MemoryError it
// left pending is the caller's to see.
PyResult<PyRef> made(PyObject* object) {
  if (object == nullptr) return fetch();
  return PyRef::steal(object);
}

// An exact list or tuple, read by index as its iterator reads it: the length looked at again
// before every item, since an item's __float__ may change the list. An exact float runs no code
// and is read where it lies; any other item is held while it converts.
PyResult<std::vector<double>> read_exact_sequence(PyObject* sequence) {
  const bool list = PyList_CheckExact(sequence);
  const auto size = [list, sequence] {
    return list ? PyList_GET_SIZE(sequence) : PyTuple_GET_SIZE(sequence);
  };
  const auto item_at = [list, sequence](Py_ssize_t i) {
    return list ? PyList_GET_ITEM(sequence, i) : PyTuple_GET_ITEM(sequence, i);
  };
  std::vector<double> values;
  if (static_cast<std::size_t>(size()) > MAX_DOUBLES) caustica::panic("capacity overflow");
  try {
    values.reserve(static_cast<std::size_t>(size()));
  } catch (const std::bad_alloc&) {
    return PyErr::no_memory();
  }
  for (Py_ssize_t i = 0; i < size(); ++i) {
    PyObject* item = item_at(i);
    if (PyFloat_CheckExact(item)) {
      values.push_back(PyFloat_AS_DOUBLE(item));
      continue;
    }
    PyRef held = PyRef::borrow(item);
    PyResult<double> value = to_double(held.get());
    release_now(held.release());
    if (!value) return std::move(value).error();
    values.push_back(*value);
  }
  return values;
}

}  // namespace

namespace detail {

void check_parameter_count(const FunctionDescription& description, std::size_t count) {
  if (description.parameter_names.size() != count) {
    caustica::panic(concat({description.function_name,
                            ": parameter names and converted types do not match"}));
  }
}

}  // namespace detail

PyResult<void> parse_arguments(const FunctionDescription& description, VectorCall call,
                               std::span<PyObject*> slots) {
  const std::size_t n = slots.size();
  std::fill(slots.begin(), slots.end(), nullptr);
  const std::size_t positional = static_cast<std::size_t>(call.nargs);
  if (call.args != nullptr) std::copy_n(call.args, std::min(positional, n), slots.begin());
  if (positional > n) return too_many_positional(description, call.nargs);

  if (call.kwnames != nullptr) {
    const Py_ssize_t keywords = PyTuple_GET_SIZE(call.kwnames);
    for (Py_ssize_t j = 0; j < keywords; ++j) {
      PyObject* keyword = PyTuple_GET_ITEM(call.kwnames, j);
      const std::optional<std::size_t> index = keyword_parameter(description, keyword);
      if (!index) return unexpected_keyword(description, keyword);
      if (slots[*index] != nullptr) {
        return multiple_values(description, description.parameter_names[*index]);
      }
      slots[*index] = call.args[call.nargs + j];
    }
  }

  if (positional < n && std::find(slots.begin() + static_cast<std::ptrdiff_t>(positional),
                                  slots.end(), nullptr) != slots.end()) {
    return missing_arguments(description, slots);
  }
  return {};
}

PyResult<std::vector<double>> to_double_vector(PyObject* object) {
  // A str is a sequence of str, which float() would read digit by digit: refused outright.
  if (PyUnicode_Check(object)) return PyErr::lazy(PyExc_TypeError, "Can't extract `str` to `Vec`");
  if (!PySequence_Check(object)) {
    // Named, not looked up: the name of collections.abc.Sequence is all the message needs, and
    // an import can fail where a call can still come, as from a finaliser at exit.
    return PyErr::cast_error(PyRef::borrow(object), "Sequence");
  }
  if (std::optional<std::vector<double>> doubles = read_native_doubles(object)) {
    return std::move(*doubles);
  }

  if (PyList_CheckExact(object) || PyTuple_CheckExact(object)) return read_exact_sequence(object);

  std::vector<double> values;
  if (PyResult<void> reserved = reserve_for_length(values, object); !reserved) {
    return std::move(reserved).error();
  }
  PyRef iterator = PyRef::steal(PyObject_GetIter(object));
  if (!iterator) return fetch();
  while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
    PyResult<double> value = to_double(item.get());
    // Each item as it is read, not left for the end of the call: there may be millions.
    release_now(item.release());
    if (!value) return std::move(value).error();
    values.push_back(*value);
  }
  if (PyErr_Occurred()) return fetch();
  return values;
}

PyResult<double> to_double(PyObject* object) {
  if (PyFloat_CheckExact(object)) return PyFloat_AS_DOUBLE(object);
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) return fetch();
  return value;
}

PyErr name_argument_failure(std::string_view parameter_name, PyErr failure) {
  if (!failure.is_exactly(PyExc_TypeError)) return failure;
  PyErr renamed = PyErr::lazy(PyExc_TypeError,
                              concat({"argument '", parameter_name, "': ", failure.text()}));
  // The caught TypeError itself is dropped, not chained: its message is already in ours.
  renamed.set_cause(failure.cause());
  return renamed;
}

PyResult<PyRef> to_float(double value) { return made(PyFloat_FromDouble(value)); }

// A list that fails half-way is released with the items stored so far; its empty slots are null.
PyResult<PyRef> to_float_list(std::vector<double> values) {
  PyResult<PyRef> list = made(PyList_New(static_cast<Py_ssize_t>(values.size())));
  if (!list) return list;
  PyObject* items = (*list).get();
  for (std::size_t i = 0; i < values.size(); ++i) {
    // The new float goes straight into the list, which owns it from there on.
    PyObject* item = PyFloat_FromDouble(values[i]);
    if (item == nullptr) return fetch();
    PyList_SET_ITEM(items, static_cast<Py_ssize_t>(i), item);
  }
  return list;
}

PyResult<PyRef> to_nested_float_list(std::vector<std::vector<double>> lists) {
  PyResult<PyRef> outer = made(PyList_New(static_cast<Py_ssize_t>(lists.size())));
  if (!outer) return outer;
  for (std::size_t i = 0; i < lists.size(); ++i) {
    PyResult<PyRef> inner = to_float_list(std::move(lists[i]));
    if (!inner) return std::move(inner).error();
    PyList_SET_ITEM((*outer).get(), static_cast<Py_ssize_t>(i),
                    std::move(inner).value().release());
  }
  return outer;
}

}  // namespace caustica::boundary
