// The fast way in for arrays of doubles (numpy float64 arrays, array('d'), their memoryviews).
#pragma once

#include <Python.h>

#include <optional>
#include <vector>

namespace caustica::boundary {

// The items of a sequence implemented in C whose buffer is one C-contiguous row of native
// doubles, copied straight from the buffer: the values that iterating it would give, without a
// float object per item. nullopt for every other object, which then takes the sequence rule.
std::optional<std::vector<double>> read_native_doubles(PyObject* sequence);

}  // namespace caustica::boundary
