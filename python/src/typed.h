#pragma once

// The library's own types in Python: a Sample in molalities, the two Datasets, and the
// Evaluation of one sample with its species and minerals by name.

#include <pybind11/pybind11.h>

namespace geofluid::python {

void AddTypes(pybind11::module_& m);

}  // namespace geofluid::python
