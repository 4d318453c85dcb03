// From the arguments of a vector call to native values, and from native results to Python.
#pragma once

#include <Python.h>

#include <array>
#include <optional>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "boundary/errors.hpp"
#include "boundary/py_ref.hpp"

namespace caustica::boundary {

// Every parameter may be given by position or keyword, and every one is required.
struct FunctionDescription {
  std::string_view function_name;
  std::span<const std::string_view> parameter_names;
};

// The arguments as the interpreter hands them to a METH_FASTCALL | METH_KEYWORDS function:
// the keyword values follow the positional ones in `args`.
struct VectorCall {
  PyObject* const* args;
  Py_ssize_t nargs;
  PyObject* kwnames;
};

// Fills one borrowed reference per parameter, or fails with the TypeError a Python function
// would raise for the same mistake.
PyResult<void> parse_arguments(const FunctionDescription& description, VectorCall call,
                               std::span<PyObject*> slots);

// Any sequence but str, item by item through float().
PyResult<std::vector<double>> to_double_vector(PyObject* object);
// float(): floats, ints and objects with __float__ or __index__.
PyResult<double> to_double(PyObject* object);
// A TypeError of a conversion is told again with the parameter's name in front.
PyErr name_argument_failure(std::string_view parameter_name, PyErr failure);

// New floats and lists; the interpreter's MemoryError when there is no memory for them.
PyResult<PyRef> to_float(double value);
PyResult<PyRef> to_float_list(std::vector<double> values);
PyResult<PyRef> to_nested_float_list(std::vector<std::vector<double>> lists);

namespace detail {

inline PyResult<std::vector<double>> convert(PyObject* object,
                                             std::type_identity<std::vector<double>>) {
  return to_double_vector(object);
}
inline PyResult<double> convert(PyObject* object, std::type_identity<double>) {
  return to_double(object);
}

template <class T>
bool convert_into(T& value, PyObject* object, std::string_view name,
                  std::optional<PyErr>& failure) {
  PyResult<T> converted = convert(object, std::type_identity<T>{});
  if (!converted) {
    failure = name_argument_failure(name, std::move(converted).error());
    return false;
  }
  value = std::move(converted).value();
  return true;
}

void check_parameter_count(const FunctionDescription& description, std::size_t count);

}  // namespace detail

// Matches the call to the parameters, then converts each parameter, in parameter order, to its
// type in Ts (std::vector<double> for a sequence, double for a scalar); the first failure
// stops, and the vectors converted before it are released.
template <class... Ts>
PyResult<std::tuple<Ts...>> extract_arguments(const FunctionDescription& description,
                                              VectorCall call) {
  detail::check_parameter_count(description, sizeof...(Ts));
  std::array<PyObject*, sizeof...(Ts)> slots{};
  if (PyResult<void> parsed = parse_arguments(description, call, slots); !parsed) {
    return std::move(parsed).error();
  }
  std::tuple<Ts...> values;
  std::optional<PyErr> failure;
  const bool converted = [&]<std::size_t... I>(std::index_sequence<I...>) {
    return (detail::convert_into(std::get<I>(values), slots[I],
                                 description.parameter_names[I], failure) &&
            ...);
  }(std::index_sequence_for<Ts...>{});
  if (!converted) return std::move(*failure);
  return values;
}

}  // namespace caustica::boundary
