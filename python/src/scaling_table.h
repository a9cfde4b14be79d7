#pragma once

// The forward path of every row of a DataFrame: reservoir, separators, reinjection cooling.

#include <pybind11/pybind11.h>

namespace geofluid::python {

// Defines _geofluid.scaling.
void AddScaling(pybind11::module_& m);

}  // namespace geofluid::python
