#pragma once

// The reservoir assessment of a sample as text, JSON and CSV, for the command line and any
// other caller that writes results.

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "geothermometry/estimate.h"

namespace geofluid::geothermometry {

// Where a row of a table came from, for the JSON of a table's row.
struct TableRow {
  std::size_t line = 0;
  std::string error;  // empty: none
};

// The assessment as one JSON object: id, interpolation, the solute geothermometers (sampled and
// reservoir liquid, flags, bounds and inputs), the Giggenbach triangle and per dataset the
// estimate and its sweep. `reservoir` null (a row that could not be read): the id alone.
// `row` adds line and error; indent -1 writes one line.
std::string ReservoirJson(const engine::Sample& sample, const Reservoir* reservoir,
                          std::string_view interpolation,
                          const std::vector<std::string>& below_detection,
                          const TableRow* row = nullptr, int indent = -1);

// The report for a reader: the estimates per dataset, the crossings, the solute table, the
// Giggenbach triangle and a closing summary.
void WriteReservoirText(std::ostream& out, const engine::Sample& sample, const Reservoir& reservoir,
                        std::string_view interpolation, const SweepOptions& options);

// One CSV row per sample: the header, then the rows; a row without `reservoir` (it could not be
// read or evaluated) has its id, line and error only.
void WriteReservoirCsvHeader(std::ostream& out,
                             const std::vector<const engine::Dataset*>& datasets);
void WriteReservoirCsvRow(std::ostream& out, const Reservoir* reservoir, const std::string& id,
                          std::size_t line, std::string_view interpolation,
                          const std::string& error,
                          const std::vector<const engine::Dataset*>& datasets,
                          const engine::Sample* sample,
                          const std::vector<std::string>& below_detection);

}  // namespace geofluid::geothermometry
