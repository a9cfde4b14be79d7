#include <istream>
#include <optional>

#include "batch/batch.h"
#include "io/text.h"
#include "uncertainty/uncertainty.h"

namespace geofluid::uncertainty {

namespace {

constexpr std::string_view kErrorPrefix = "err_";

}  // namespace

batch::InputOptions TableInput(const std::string& name, bool steam_correction,
                               const std::string& unit_text) {
  batch::InputOptions input;
  if (const auto unit = units::ConcentrationFromText(unit_text))
    input.unit = *unit;
  else
    throw ErrorSyntax("--units " + unit_text + ": the units are mol/kg, mg/kg and mg/L");
  input.steam_correction = steam_correction;
  // The err_<input> columns are the errors of the row's inputs, read by the table reader beside
  // the analysis.
  input.extra_column = [name](std::string_view column, std::size_t line) {
    if (!column.starts_with(kErrorPrefix)) return false;
    InputErrors check;
    try {
      SetError(check, column.substr(kErrorPrefix.size()), "0");
    } catch (const ErrorSyntax& e) {
      throw ErrorSyntax(name + ", line " + std::to_string(line) + ": column " +
                        std::string(column) + ": " + e.what());
    }
    return true;
  };
  return input;
}

TableSample TableSampleOf(batch::Job&& job, const InputErrors& base, const std::string& name) {
  TableSample s;
  s.line = job.line;
  s.sample = std::move(job.sample);
  s.temperatures = std::move(job.temperatures);
  s.errors = base;
  std::string error_fault;
  for (const auto& [column, cell] : job.extra) {
    if (cell.empty()) continue;
    try {
      SetError(s.errors, std::string_view(column).substr(kErrorPrefix.size()), cell);
    } catch (const ErrorSyntax& x) {
      if (error_fault.empty()) error_fault = "column " + column + ": " + x.what();
    }
  }
  // The batch reader's fault already names the line and the id.
  if (!job.fault.empty()) s.fault = name + ", " + job.fault;
  if (!error_fault.empty()) {
    if (s.fault.empty()) {
      s.fault = name + ", line " + std::to_string(s.line) +
                (s.sample.id.empty() ? "" : " (id " + io::EscapeLabel(s.sample.id) + ")") + ": " +
                error_fault;
    } else {
      s.fault += "; " + error_fault;
    }
  }
  return s;
}

std::vector<TableSample> ReadTable(std::istream& in, const std::string& name,
                                   const InputErrors& base, bool steam_correction,
                                   const std::string& unit_text) {
  const batch::InputOptions input = TableInput(name, steam_correction, unit_text);
  std::optional<batch::CsvInput> reader;
  try {
    reader.emplace(in, input);
  } catch (const batch::UsageError& e) {
    throw ErrorSyntax(name + ": " + e.what());
  } catch (const ErrorSyntax&) {
    throw;
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(name + ", " + e.what());
  }
  std::vector<TableSample> samples;
  batch::Job job;
  while (true) {
    try {
      if (!reader->Next(job)) break;
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(name + ", " + e.what());
    }
    samples.push_back(TableSampleOf(std::move(job), base, name));
    job = batch::Job{};
  }
  return samples;
}

}  // namespace geofluid::uncertainty
