#pragma once

// A monotone piecewise cubic through the nodes of the thermodynamic tables (Steffen 1990,
// Astron. Astrophys. 239, 443-450, as gsl_interp_steffen): between two nodes the value stays
// between the nodes' values, where the specified global polynomial through all 13 nodes swings
// (SUPCRT98 quartz log K near 7 °C and 290 °C).

#include <span>
#include <string_view>

#include "engine/engine.h"

namespace geofluid::interp {

// The Steffen interpolant of (nodes, values) at t. Beyond the first and last node the value
// continues linearly with the interpolant's slope at that node: it neither clamps nor swings.
// Throws std::invalid_argument for fewer than three nodes, nodes not strictly ascending, sizes
// that differ, or a t that is not a finite number.
double SteffenValue(std::span<const double> nodes, std::span<const double> values, double t);

// Every table of a ThermoStorage through SteffenValue ("steffen").
const engine::TableScheme& SteffenScheme();

// "specified" or "steffen"; nullptr for any other name.
const engine::TableScheme* SchemeByName(std::string_view name);

}  // namespace geofluid::interp
