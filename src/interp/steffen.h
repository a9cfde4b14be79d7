#pragma once

// A monotone piecewise cubic through the nodes of the thermodynamic tables (Steffen 1990,
// Astron. Astrophys. 239, 443-450, as gsl_interp_steffen): between two nodes the value stays
// between the nodes' values, where the specified global polynomial through all 13 nodes swings
// (SUPCRT98 quartz log K near 7 °C and 290 °C).

#include <memory>
#include <span>
#include <string_view>

#include "engine/engine.h"

namespace geofluid::interp {

// The Steffen interpolant of one table, prepared once; Value is safe to call from many threads.
// The table's nodes and values must outlive it.
class SteffenTable {
 public:
  // Throws std::invalid_argument for fewer than three nodes, nodes not strictly ascending or
  // sizes that differ.
  SteffenTable(std::span<const double> nodes, std::span<const double> values);
  SteffenTable(SteffenTable&&) noexcept;
  ~SteffenTable();
  // Beyond the first and last node the value continues linearly with the interpolant's slope at
  // that node: it neither clamps nor swings. Throws std::invalid_argument for a t that is not a
  // finite number.
  double Value(double t) const;

 private:
  struct Spline;  // GSL's object, kept out of this header
  std::span<const double> nodes_, values_;
  std::unique_ptr<Spline> spline_;
  double first_slope_ = 0.0, last_slope_ = 0.0;
};

// SteffenTable(nodes, values).Value(t), for a table used once.
double SteffenValue(std::span<const double> nodes, std::span<const double> values, double t);

// Every table of a ThermoStorage through its SteffenTable, prepared once for all tables of the
// program and shared read-only ("steffen"); the same numbers as SteffenValue.
const engine::TableScheme& SteffenScheme();

// "specified" or "steffen"; nullptr for any other name.
const engine::TableScheme* SchemeByName(std::string_view name);

}  // namespace geofluid::interp
