#include "boundary/native_buffer.hpp"

#include <array>
#include <bit>
#include <cstring>
#include <string_view>

#include "boundary/errors.hpp"
#include "boundary/once.hpp"

namespace caustica::boundary {

namespace {

// Releases the exporter's buffer on every path.
class BufferView {
 public:
  explicit BufferView(PyObject* exporter) noexcept
      : acquired_(PyObject_GetBuffer(exporter, &view_, PyBUF_ND | PyBUF_FORMAT) == 0) {}
  ~BufferView() {
    if (acquired_) PyBuffer_Release(&view_);
  }
  BufferView(const BufferView&) = delete;
  BufferView& operator=(const BufferView&) = delete;

  bool acquired() const noexcept { return acquired_; }
  const Py_buffer& view() const noexcept { return view_; }

 private:
  Py_buffer view_{};
  bool acquired_;
};

bool is_native_double(const char* format) {
  const std::string_view code = format != nullptr ? format : "B";
  if (code == "d" || code == "@d" || code == "=d") return true;
  if constexpr (std::endian::native == std::endian::little) return code == "<d";
  return code == ">d" || code == "!d";
}

// The names through which Python code could make iteration give something other than the
// buffer's contents, or run when the buffer is given back (which happens in a destructor, where
// Python code must not run: release.hpp).
constexpr std::array<const char*, 5> ITERATION_NAMES = {"__iter__", "__getitem__", "__len__",
                                                       "__buffer__", "__release_buffer__"};
std::array<LazyObject, ITERATION_NAMES.size()> iteration_names;

// A slot that the type itself implements in C (a Python override appears as a function, and a
// borrowed slot of another type as a descriptor of that type).
bool is_own_slot(PyObject* attribute, PyObject* type) {
  return Py_IS_TYPE(attribute, &PyWrapperDescr_Type) && PyDescr_TYPE(attribute) == reinterpret_cast<PyTypeObject*>(type);
}

// Static types are written in C throughout; a heap type may be a Python class, whose overrides
// sit in its dictionary. A type that fails this only loses the fast way.
bool iterates_in_c(PyTypeObject* type) {
  PyObject* mro = type->tp_mro;
  if (mro == nullptr) return false;
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(mro); ++i) {
    PyObject* base = PyTuple_GET_ITEM(mro, i);
    if (!(PyType_GetFlags(reinterpret_cast<PyTypeObject*>(base)) & Py_TPFLAGS_HEAPTYPE)) continue;
    PyObject* dict = reinterpret_cast<PyTypeObject*>(base)->tp_dict;
    for (std::size_t k = 0; k < ITERATION_NAMES.size(); ++k) {
      const char* text = ITERATION_NAMES[k];
      PyResult<PyObject*> name = iteration_names[k].get([text]() -> PyResult<PyRef> {
        PyRef interned = PyRef::steal(PyUnicode_InternFromString(text));
        if (!interned) return fetch();
        return interned;
      });
      if (!name) return false;
      PyObject* attribute = PyDict_GetItemWithError(dict, *name);
      if (attribute == nullptr && PyErr_Occurred()) {
        discard_pending();
        return false;
      }
      if (attribute != nullptr && !is_own_slot(attribute, base)) return false;
    }
  }
  return true;
}

}  // namespace

std::optional<std::vector<double>> read_native_doubles(PyObject* sequence) {
  if (!PyObject_CheckBuffer(sequence) || !iterates_in_c(Py_TYPE(sequence))) return std::nullopt;
  const BufferView buffer(sequence);
  if (!buffer.acquired()) {
    discard_pending();  // not C-contiguous, or not exportable now: iteration will tell
    return std::nullopt;
  }
  const Py_buffer& view = buffer.view();
  if (view.ndim != 1 || view.itemsize != sizeof(double) || !is_native_double(view.format)) {
    return std::nullopt;
  }
  std::vector<double> values(static_cast<std::size_t>(view.shape[0]));
  if (!values.empty()) std::memcpy(values.data(), view.buf, values.size() * sizeof(double));
  return values;
}

}  // namespace caustica::boundary
