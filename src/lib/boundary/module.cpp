// The module caustica: its eight functions, each a wrapper that matches and converts the
// arguments, calls one driver and converts its one result.
#include <Python.h>

#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "boundary/arguments.hpp"
#include "boundary/errors.hpp"
#include "boundary/guard.hpp"
#include "boundary/once.hpp"
#include "core/panic.hpp"
#include "magnification/flux_map.hpp"
#include "magnification/heyrovsky.hpp"
#include "magnification/integrated.hpp"
#include "magnification/multi.hpp"
#include "magnification/source_radius.hpp"
#include "magnification/witt_mao.hpp"

namespace caustica::boundary {

namespace {

using Doubles = std::vector<double>;

// ---- Results -------------------------------------------------------------------------------

// An elliptic-integral failure is the caller's to see, as RuntimeError(message).
PyErr runtime_error(const EllipticError& error) {
  return PyErr::lazy_static_text(PyExc_RuntimeError, error.message);
}

PyResult<PyRef> to_python(BatchResult result) {
  if (!result) return runtime_error(result.error());
  return to_float_list(std::move(result).value());
}

PyResult<PyRef> to_python(EllipticResult result) {
  if (!result) return runtime_error(result.error());
  return to_float(*result);
}

// A table that describes no profile is a bad value of its argument.
PyResult<PyRef> to_python(TableResult result) {
  if (!result) return PyErr::lazy(PyExc_ValueError, result.error().message);
  return to_float_list(std::move(result).value());
}

PyResult<PyRef> to_python(CurvesResult result) {
  if (result) return to_nested_float_list(std::move(result).value());
  PyErr curve = runtime_error(result.error().error);
  // Handed over bare, a RuntimeError instance would be raised as itself; as the one item of the
  // argument tuple it becomes the argument of the new RuntimeError.
  PyRef arguments = PyRef::steal(PyTuple_Pack(1, curve.value()));
  if (!arguments) return fetch();
  return PyErr::lazy(PyExc_RuntimeError, std::move(arguments));
}

// ---- The eight functions ---------------------------------------------------------------------

// Every radius of a table needs its brightness: a caller's mistake, told before anything is
// computed, with both lengths.
PyResult<void> check_table_lengths(const Doubles& bl, const Doubles& bf) {
  if (bl.size() == bf.size()) return {};
  return PyErr::lazy(PyExc_ValueError,
                     "arguments 'bl' and 'bf' must have the same length, but len(bl) = " +
                         std::to_string(bl.size()) + " and len(bf) = " + std::to_string(bf.size()));
}

constexpr std::string_view L_RE_RSTAR[] = {"l", "re", "rstar"};
constexpr std::string_view L_R_RE_RSTAR[] = {"l", "r", "re", "rstar"};
constexpr std::string_view L_RE_RSTAR_BL_BF[] = {"l", "re", "rstar", "bl", "bf"};

PyResult<PyRef> witt_mao(VectorCall call) {
  constexpr FunctionDescription description{"witt_mao_magnification", L_RE_RSTAR};
  auto arguments = extract_arguments<Doubles, double, double>(description, call);
  if (!arguments) return std::move(arguments).error();
  auto [l, re, rstar] = std::move(arguments).value();
  return to_python(witt_mao_magnification(std::move(l), re, rstar));
}

PyResult<PyRef> integrated_witt_mao(VectorCall call) {
  constexpr FunctionDescription description{"integrated_witt_mao_magnification", L_RE_RSTAR};
  auto arguments = extract_arguments<Doubles, double, double>(description, call);
  if (!arguments) return std::move(arguments).error();
  auto [l, re, rstar] = std::move(arguments).value();
  return to_python(_integrated_witt_mao_magnification(std::move(l), limb_darkening_profile, re,
                                                      rstar, LIMB_DARKENING_FLUX));
}

PyResult<PyRef> integrated_flux_map_witt_mao(VectorCall call) {
  constexpr FunctionDescription description{"integrated_flux_map_witt_mao_magnification",
                                            L_RE_RSTAR_BL_BF};
  auto arguments = extract_arguments<Doubles, double, double, Doubles, Doubles>(description, call);
  if (!arguments) return std::move(arguments).error();
  auto [l, re, rstar, bl, bf] = std::move(arguments).value();
  if (PyResult<void> table = check_table_lengths(bl, bf); !table) return std::move(table).error();
  return to_python(integrated_flux_map_witt_mao_magnification(std::move(l), std::move(bl),
                                                              std::move(bf), re, rstar));
}

PyResult<PyRef> multi_witt_mao(VectorCall call) {
  constexpr FunctionDescription description{"multi_witt_mao_magnification", L_RE_RSTAR};
  auto arguments = extract_arguments<Doubles, Doubles, Doubles>(description, call);
  if (!arguments) return std::move(arguments).error();
  auto [l, re, rstar] = std::move(arguments).value();
  return to_python(multi_witt_mao_magnification(std::move(l), std::move(re), std::move(rstar)));
}

PyResult<PyRef> heyrovsky(VectorCall call) {
  constexpr FunctionDescription description{"heyrovsky_magnification", L_R_RE_RSTAR};
  auto arguments = extract_arguments<double, double, double, double>(description, call);
  if (!arguments) return std::move(arguments).error();
  const auto [l, r, re, rstar] = std::move(arguments).value();
  // As for every list-returning function: no plausible number for a radius that is no source's.
  if (!is_valid_rho(rstar / re)) return to_float(std::numeric_limits<double>::quiet_NaN());
  return to_python(heyrovsky_magnification(l, r, re, rstar));
}

PyResult<PyRef> integrated_heyrovsky(VectorCall call) {
  constexpr FunctionDescription description{"integrated_heyrovsky_magnification", L_RE_RSTAR};
  auto arguments = extract_arguments<Doubles, double, double>(description, call);
  if (!arguments) return std::move(arguments).error();
  auto [l, re, rstar] = std::move(arguments).value();
  return to_python(_integrated_heyrovsky_magnification(std::move(l), limb_darkening_profile, re,
                                                       rstar, LIMB_DARKENING_FLUX));
}

PyResult<PyRef> integrated_flux_map_heyrovsky(VectorCall call) {
  constexpr FunctionDescription description{"integrated_flux_map_heyrovsky_magnification",
                                            L_RE_RSTAR_BL_BF};
  auto arguments = extract_arguments<Doubles, double, double, Doubles, Doubles>(description, call);
  if (!arguments) return std::move(arguments).error();
  auto [l, re, rstar, bl, bf] = std::move(arguments).value();
  if (PyResult<void> table = check_table_lengths(bl, bf); !table) return std::move(table).error();
  return to_python(integrated_flux_map_heyrovsky_magnification(std::move(l), std::move(bl),
                                                               std::move(bf), re, rstar));
}

PyResult<PyRef> discrete_flux_map_heyrovsky(VectorCall call) {
  constexpr FunctionDescription description{"discrete_flux_map_heyrovsky_magnification",
                                            L_RE_RSTAR_BL_BF};
  auto arguments = extract_arguments<Doubles, double, double, Doubles, Doubles>(description, call);
  if (!arguments) return std::move(arguments).error();
  auto [l, re, rstar, bl, bf] = std::move(arguments).value();
  if (PyResult<void> table = check_table_lengths(bl, bf); !table) return std::move(table).error();
  return to_python(discrete_flux_map_heyrovsky_magnification(std::move(l), std::move(bl),
                                                             std::move(bf), re, rstar));
}

// The entry the interpreter calls: the wrapper inside the boundary guard.
template <PyResult<PyRef> (*wrapper)(VectorCall)>
PyObject* entry(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) {
  return guard([&] { return wrapper(VectorCall{args, nargs, kwnames}); });
}

template <PyResult<PyRef> (*wrapper)(VectorCall)>
constexpr PyCFunction fastcall_entry() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&entry<wrapper>));
}

constexpr int FASTCALL_KEYWORDS = METH_FASTCALL | METH_KEYWORDS;

// In the order of __all__. Each docstring is the text signature alone.
PyMethodDef methods[] = {
    {"witt_mao_magnification", fastcall_entry<witt_mao>(), FASTCALL_KEYWORDS,
     "witt_mao_magnification(l, re, rstar)\n--\n\n"},
    {"integrated_witt_mao_magnification", fastcall_entry<integrated_witt_mao>(),
     FASTCALL_KEYWORDS, "integrated_witt_mao_magnification(l, re, rstar)\n--\n\n"},
    {"integrated_flux_map_witt_mao_magnification",
     fastcall_entry<integrated_flux_map_witt_mao>(), FASTCALL_KEYWORDS,
     "integrated_flux_map_witt_mao_magnification(l, re, rstar, bl, bf)\n--\n\n"},
    {"multi_witt_mao_magnification", fastcall_entry<multi_witt_mao>(), FASTCALL_KEYWORDS,
     "multi_witt_mao_magnification(l, re, rstar)\n--\n\n"},
    {"heyrovsky_magnification", fastcall_entry<heyrovsky>(), FASTCALL_KEYWORDS,
     "heyrovsky_magnification(l, r, re, rstar)\n--\n\n"},
    {"integrated_heyrovsky_magnification", fastcall_entry<integrated_heyrovsky>(),
     FASTCALL_KEYWORDS, "integrated_heyrovsky_magnification(l, re, rstar)\n--\n\n"},
    {"integrated_flux_map_heyrovsky_magnification",
     fastcall_entry<integrated_flux_map_heyrovsky>(), FASTCALL_KEYWORDS,
     "integrated_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)\n--\n\n"},
    {"discrete_flux_map_heyrovsky_magnification", fastcall_entry<discrete_flux_map_heyrovsky>(),
     FASTCALL_KEYWORDS, "discrete_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)\n--\n\n"},
};

// Not one of the functions: what a pickled PanicException is rebuilt by, wherever it is loaded.
PyMethodDef unpickle_method = {UNPICKLE_PANIC_EXCEPTION, unpickle_panic_exception, METH_VARARGS,
                               nullptr};

// ---- Registration ----------------------------------------------------------------------------

LazyObject name_attribute;
LazyObject all_attribute;

PyResult<PyObject*> interned(LazyObject& holder, const char* text) {
  return holder.get([text]() -> PyResult<PyRef> {
    PyRef name = PyRef::steal(PyUnicode_InternFromString(text));
    if (!name) return fetch();
    return name;
  });
}

// The module's __all__, made an empty list if it has none.
PyResult<PyRef> all_list(PyObject* module) {
  PyResult<PyObject*> key = interned(all_attribute, "__all__");
  if (!key) return std::move(key).error();
  PyRef all = PyRef::steal(PyObject_GetAttr(module, *key));
  if (!all) {
    PyErr failure = fetch();
    if (!failure.is_instance_of(PyExc_AttributeError)) return failure;
    all = PyRef::steal(PyList_New(0));
    if (!all) return fetch();
    if (PyObject_SetAttr(module, *key, all.get()) != 0) return fetch();
  }
  if (!PyList_Check(all.get())) {
    return PyErr::cast_error(std::move(all), reinterpret_cast<PyObject*>(&PyList_Type));
  }
  return all;
}

PyResult<PyRef> new_function(PyObject* module, PyMethodDef& method) {
  PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
  if (!module_name) return fetch();
  PyRef function = PyRef::steal(PyCFunction_NewEx(&method, module, module_name.get()));
  if (!function) return fetch();
  return function;
}

PyResult<void> add_function(PyObject* module, PyMethodDef& method) {
  PyResult<PyRef> made_function = new_function(module, method);
  if (!made_function) return std::move(made_function).error();
  PyRef function = std::move(made_function).value();
  PyResult<PyObject*> name_key = interned(name_attribute, "__name__");
  if (!name_key) return std::move(name_key).error();
  PyRef name = PyRef::steal(PyObject_GetAttr(function.get(), *name_key));
  if (!name) return fetch();
  if (!PyUnicode_Check(name.get())) {
    return PyErr::cast_error(std::move(name), reinterpret_cast<PyObject*>(&PyUnicode_Type));
  }
  PyResult<PyRef> all = all_list(module);
  if (!all) return std::move(all).error();
  if (PyList_Append((*all).get(), name.get()) != 0) {
    caustica::panic("could not append __name__ to __all__: " + fetch().description());
  }
  if (PyObject_SetAttr(module, name.get(), function.get()) != 0) return fetch();
  return {};
}

int module_exec(PyObject* module) {
  return guard_status([module]() -> PyResult<void> {
    if (!PyModule_Check(module)) {
      return PyErr::cast_error(PyRef::borrow(module), reinterpret_cast<PyObject*>(&PyModule_Type));
    }
    for (PyMethodDef& method : methods) {
      if (PyResult<void> added = add_function(module, method); !added) return added;
    }
    PyResult<PyRef> unpickle = new_function(module, unpickle_method);
    if (!unpickle) return std::move(unpickle).error();
    if (PyObject_SetAttrString(module, UNPICKLE_PANIC_EXCEPTION, (*unpickle).get()) != 0) {
      return fetch();
    }
    // CAUSTICA_VERSION comes from pyproject.toml, the one place where the version is written.
    if (PyModule_AddStringConstant(module, "__version__", CAUSTICA_VERSION) != 0) return fetch();
    return {};
  });
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&module_exec)},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "caustica",
    "Finite-source microlensing magnifications, implemented in native code.",
    0,
    nullptr,
    slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace caustica::boundary

PyMODINIT_FUNC PyInit_caustica(void) {
  return PyModuleDef_Init(&caustica::boundary::module_definition);
}
