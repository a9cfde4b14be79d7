#include <array>
#include <cctype>
#include <deque>
#include <istream>
#include <string>

#include "batch/batch.h"
#include "io/csv.h"
#include "io/text.h"

namespace geofluid::batch {

namespace {

enum class Kind {
  kId,
  kForm,
  kPh,
  kWater,
  kSteamGas,
  kPhTemperature,
  kSeparation,
  kUnits,
  kSteamUnits,
  kTemperatures,
  kDensity,
  kTrace,  // Li, B: carried for the solute geothermometers, not speciated
  kFix,
  kExtra,  // claimed by InputOptions::extra_column; its cells go to Job::extra
};

// fix_<component>: the mineral that fixes the component's total by equilibrium, per row.
constexpr std::array<std::string_view, 4> kFixColumns = {"fix_Al", "fix_Mg", "fix_Fe", "fix_SiO2"};

struct Column {
  Kind kind;
  std::string_view name;
  const units::Form* form = nullptr;
  const units::Gas* gas = nullptr;
};

constexpr std::array<std::string_view, 13> kOtherColumns = {
    "id",          "pH",           "H2O",     "CO2", "H2S", "ph_temperature", "separation", "units",
    "steam_units", "temperatures", "density", "Li",  "B"};

// Li and B: standard atomic weights, g/mol (IUPAC 2021, as units::atomic_weight).
constexpr double kLithium = 6.94;
constexpr double kBoron = 10.81;

std::optional<Column> ColumnOf(std::string_view name) {
  if (const units::Form* form = units::FindForm(name)) return Column{Kind::kForm, form->key, form};
  if (const units::Gas* gas = units::FindGas(name))
    return Column{Kind::kSteamGas, gas->key, nullptr, gas};
  static constexpr std::array<std::pair<std::string_view, Kind>, 11> kNamed = {{
      {"Li", Kind::kTrace},
      {"B", Kind::kTrace},
      {"id", Kind::kId},
      {"pH", Kind::kPh},
      {"H2O", Kind::kWater},
      {"ph_temperature", Kind::kPhTemperature},
      {"separation", Kind::kSeparation},
      {"units", Kind::kUnits},
      {"steam_units", Kind::kSteamUnits},
      {"temperatures", Kind::kTemperatures},
      {"density", Kind::kDensity},
  }};
  for (const auto& [key, kind] : kNamed)
    if (key == name) return Column{kind, key};
  for (const auto key : kFixColumns)
    if (key == name) return Column{Kind::kFix, key};
  return std::nullopt;
}

std::vector<std::string_view> AllColumns() {
  std::vector<std::string_view> all;
  all.push_back("id");
  for (const units::Form& f : units::Forms()) all.push_back(f.key);
  for (std::size_t i = 1; i < kOtherColumns.size(); ++i) all.push_back(kOtherColumns[i]);
  for (const auto key : kFixColumns) all.push_back(key);
  return all;
}

std::string Join(const std::vector<std::string_view>& names) {
  std::string out;
  for (const auto name : names) out += (out.empty() ? "" : ", ") + std::string(name);
  return out;
}

// The column whose name differs from `name` only in case ("ph" for pH), if any.
std::optional<std::string_view> SameButCase(std::string_view name) {
  const auto lower = [](std::string_view t) {
    std::string out(t);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  };
  for (const std::string_view column : AllColumns())
    if (lower(column) == lower(name)) return column;
  return std::nullopt;
}

}  // namespace

std::span<const std::string_view> InputColumns() {
  static const std::vector<std::string_view> columns = AllColumns();
  return columns;
}

struct CsvInput::Impl {
  std::istream& in;
  io::CsvReader reader;
  InputOptions options;
  std::vector<Column> columns;

  Impl(std::istream& stream, InputOptions o) : in(stream), reader(stream), options(std::move(o)) {}

  // The next record with a cell that is not blank, in the columns of the table itself (extra
  // columns not counted): rows of empty cells are what spreadsheets leave below a table.
  bool NextRecord(io::CsvRecord& record) {
    while (reader.Next(record)) {
      for (std::size_t i = 0; i < record.cells.size(); ++i) {
        const bool extra = i < columns.size() && columns[i].kind == Kind::kExtra;
        if (!extra && !io::Trim(record.cells[i]).empty()) return true;
      }
    }
    return false;
  }

  void ReadHeader() {
    // A header that cannot be read (an unclosed quote takes the whole table into it) is a
    // table that cannot be used at all, as an unknown column is: nothing has been written yet.
    io::CsvRecord header;
    bool filled = false;
    try {
      filled = NextRecord(header);
    } catch (const std::runtime_error& e) {
      if (in.bad()) throw;  // the input failed (or was interrupted), not its text
      throw UsageError(std::string(e.what()) + " (the header)");
    }
    if (!filled) throw UsageError("the table is empty: the first line must name the columns");
    // UTF-16 (a spreadsheet's "Unicode text") starts with its byte-order mark and puts a NUL
    // beside every ASCII letter: its column names would be listed as unknown, one by one.
    bool utf16 = !header.cells.empty() && (header.cells[0].starts_with("\xFF\xFE") ||
                                           header.cells[0].starts_with("\xFE\xFF"));
    for (const std::string& cell : header.cells)
      utf16 = utf16 || cell.find('\0') != std::string::npos;
    if (utf16)
      throw UsageError("line " + std::to_string(header.line) +
                       ": the table is in UTF-16 (or holds NUL bytes), not UTF-8: save it as CSV "
                       "in UTF-8");
    std::vector<std::string> unknown;
    std::vector<std::string_view> seen;
    for (std::size_t i = 0; i < header.cells.size(); ++i) {
      const std::string_view name = io::Trim(header.cells[i]);
      if (options.extra_column && options.extra_column(name, header.line)) {
        columns.push_back(Column{Kind::kExtra, name_of_extra.emplace_back(name)});
        continue;
      }
      const auto column = ColumnOf(name);
      if (!column) {
        std::string entry = io::QuoteCell(name) + " (column " + std::to_string(i + 1);
        if (const auto near = SameButCase(name))
          entry += ", did you mean " + std::string(*near) + "?";
        unknown.push_back(entry + ")");
        columns.push_back(Column{Kind::kId, ""});
        continue;
      }
      for (const auto s : seen)
        if (s == column->name)
          throw UsageError("line " + std::to_string(header.line) + ": the column " +
                           std::string(s) + " is given twice");
      seen.push_back(column->name);
      columns.push_back(*column);
    }
    if (!unknown.empty()) {
      std::string names;
      for (const auto& u : unknown) names += (names.empty() ? "" : ", ") + u;
      // A spreadsheet saved with semicolons or tabs reads as one long column name.
      const bool other_separator =
          header.cells.size() == 1 && header.cells[0].find_first_of(";\t") != std::string::npos;
      throw UsageError("line " + std::to_string(header.line) + ": unknown column" +
                       (unknown.size() > 1 ? "s " : " ") + names +
                       (other_separator ? "; the cells are separated by semicolons or tabs: "
                                          "save the table as CSV with commas"
                                        : "; the columns are " + Join(AllColumns())));
    }
    const auto has = [&](Kind kind) {
      for (const Column& c : columns)
        if (c.kind == kind) return true;
      return false;
    };
    if (!has(Kind::kPh)) throw UsageError("the table has no pH column");
    if (!has(Kind::kPhTemperature))
      throw UsageError(
          "the table has no ph_temperature column (the °C at which the pH was "
          "measured)");
    if (options.steam_correction && !has(Kind::kSeparation) &&
        (!options.temperatures.empty() || has(Kind::kTemperatures)))
      throw UsageError(
          "the table has no separation column: the steam correction needs the "
          "separation temperature (or give --no-steam-correction)");
  }

  Job ToJob(io::CsvRecord& record) const;

  std::deque<std::string> name_of_extra;  // the extra columns' names, which columns point to
};

Job CsvInput::Impl::ToJob(io::CsvRecord& record) const {
  Job job;
  job.line = record.line;
  std::vector<std::string> faults;
  const auto fault = [&](std::string_view column, const std::string& cause) {
    faults.push_back("column " + std::string(column) + ": " + cause);
  };

  // The cells by column; absent columns read as empty.
  std::vector<std::string_view> cell(columns.size());
  for (std::size_t i = 0; i < columns.size() && i < record.cells.size(); ++i)
    cell[i] = io::Trim(record.cells[i]);
  const auto find = [&](Kind kind) -> std::optional<std::size_t> {
    for (std::size_t i = 0; i < columns.size(); ++i)
      if (columns[i].kind == kind) return i;
    return std::nullopt;
  };
  const auto text = [&](Kind kind) -> std::string_view {
    const auto i = find(kind);
    return i ? cell[*i] : std::string_view{};
  };
  const auto number = [&](std::string_view column, std::string_view t) -> std::optional<double> {
    const auto value = io::ParseNumber(t);
    if (!value) fault(column, io::QuoteCell(t) + " is not a number");
    return value;
  };
  // A concentration: a number, "<x" (below the detection limit x) or "n.d." (not detected).
  // Sets *limit to x (0 for n.d.) for the two latter.
  const auto concentration = [&](std::string_view column, std::string_view t,
                                 std::optional<double>* limit) -> std::optional<double> {
    std::string lower(t);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "n.d." || lower == "n.d" || lower == "nd") {
      *limit = 0.0;
      job.below_detection.push_back(std::string(column) + " n.d. (0 used)");
      return 0.0;
    }
    if (t.starts_with('<')) {
      const auto x = io::ParseNumber(t.substr(1));
      if (!x || !(*x > 0.0)) {
        fault(column, io::QuoteCell(t) + ": a detection limit must be a positive number after <");
        return std::nullopt;
      }
      *limit = *x;
      const double used = *x * options.detection_fraction;
      job.below_detection.push_back(std::string(column) + " " + std::string(t) + " (" +
                                    io::General(used) + " used)");
      return used;
    }
    return number(column, t);
  };

  if (const auto id = find(Kind::kId)) {
    const std::string_view id_text = cell[*id];
    if (io::IsValidUtf8(id_text)) {
      job.sample.id = std::string(id_text);
    } else {
      const std::string quoted = io::QuoteCell(id_text);
      job.sample.id = quoted.substr(1, quoted.size() - 2);
      fault("id", "the text is not UTF-8 (save the table as UTF-8)");
    }
  }
  if (record.cells.size() != columns.size())
    faults.push_back(std::to_string(record.cells.size()) + " cells where the header has " +
                     std::to_string(columns.size()));

  units::Concentration unit = options.unit;
  if (const auto t = text(Kind::kUnits); !t.empty()) {
    if (const auto u = units::ConcentrationFromText(t))
      unit = *u;
    else
      fault("units", io::QuoteCell(t) + " is not a unit (mol/kg, mg/kg or mg/L)");
  }
  units::GasUnit gas_unit = options.gas_unit.value_or(units::DefaultGasUnit(unit));
  if (const auto t = text(Kind::kSteamUnits); !t.empty()) {
    if (const auto u = units::GasUnitFromText(t))
      gas_unit = *u;
    else
      fault("steam_units",
            io::QuoteCell(t) + " is not a unit of the steam (mol/kg, mmol/kg or mg/kg)");
  }
  double density = 1.0;
  if (const auto t = text(Kind::kDensity); !t.empty()) {
    if (const auto d = number("density", t)) {
      if (*d > 0.0)
        density = *d;
      else
        fault("density", io::QuoteCell(t) + ": the density must be positive (kg/L)");
    }
  }
  for (std::size_t i = 0; i < columns.size() && i < cell.size(); ++i) {
    if (columns[i].kind != Kind::kFix) continue;
    const std::string_view mineral = cell[i];
    if (!mineral.empty())
      job.fix.emplace_back(std::string(columns[i].name.substr(4)), std::string(mineral));
  }
  job.temperatures = options.temperatures;
  if (const auto t = text(Kind::kTemperatures); !t.empty()) {
    try {
      job.temperatures = ParseTemperatures(t);
    } catch (const UsageError& e) {
      fault("temperatures", e.what());
    }
  }

  // The water's analysis: negative values are refused before any conversion.
  std::vector<units::Amount> amounts;
  std::vector<std::optional<double>> limits;  // per amount: the detection limit where below
  bool amounts_ok = true;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].kind != Kind::kForm || cell[i].empty()) continue;
    const units::Form* form = columns[i].form;
    std::optional<double> limit;
    const auto value = concentration(form->key, cell[i], &limit);
    if (!value) {
      amounts_ok = false;
      continue;
    }
    if (*value < 0.0) {
      fault(form->key, io::QuoteCell(cell[i]) + " is negative; a concentration cannot be");
      amounts_ok = false;
      continue;
    }
    for (const units::Amount& a : amounts)
      if (a.form->component == form->component) {
        faults.push_back("columns " + std::string(a.form->key) + " and " + std::string(form->key) +
                         " both give " + std::string(form->component) + ": give one of them");
        amounts_ok = false;
      }
    amounts.push_back({form, *value});
    limits.push_back(limit);
  }
  if (amounts_ok) {
    try {
      const std::vector<double> molality = units::ToMolality(amounts, unit, density);
      for (std::size_t k = 0; k < amounts.size(); ++k) {
        const std::string_view component = amounts[k].form->component;
        job.sample.Component(component) = molality[k];
        if (!limits[k]) continue;
        job.sample.below_detection |= 1u << *engine::ComponentIndex(component);
        if (component == "Mg" && amounts[k].value > 0.0)
          job.sample.mg_detection_limit = molality[k] * *limits[k] / amounts[k].value;
      }
    } catch (const units::UnitError& e) {
      faults.push_back(e.what());
    }
  }
  // Li and B, in the row's unit, to molality with the same dissolved solids as the components.
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].kind != Kind::kTrace || cell[i].empty()) continue;
    const bool lithium = columns[i].name == "Li";
    std::optional<double> limit;
    const auto value = concentration(columns[i].name, cell[i], &limit);
    if (!value) continue;
    if (*value < 0.0) {
      fault(columns[i].name, io::QuoteCell(cell[i]) + " is negative; a concentration cannot be");
      continue;
    }
    double molality = *value;
    if (unit != units::Concentration::kMolPerKgWater) {
      const double mg_per_kg =
          unit == units::Concentration::kMgPerLitre ? *value / density : *value;
      const double tds = amounts_ok ? units::DissolvedSolids(amounts, unit, density) : 0.0;
      molality = mg_per_kg / (1000.0 * (lithium ? kLithium : kBoron)) / (1.0 - tds / 1e6);
    }
    (lithium ? job.sample.lithium : job.sample.boron) = molality;
    if (limit)
      job.sample.below_detection |=
          lithium ? engine::kBelowDetectionLithium : engine::kBelowDetectionBoron;
  }

  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].kind != Kind::kSteamGas || cell[i].empty()) continue;
    const auto value = number(columns[i].name, cell[i]);
    if (!value) continue;
    if (*value < 0.0) {
      fault(columns[i].name, io::QuoteCell(cell[i]) + " is negative; a gas content cannot be");
      continue;
    }
    const double mol = units::GasToMolPerKg(*columns[i].gas, *value, gas_unit);
    (columns[i].name == "CO2" ? job.sample.steam_co2 : job.sample.steam_h2s) = mol;
  }

  if (const auto t = text(Kind::kPh); t.empty()) {
    fault("pH", "missing; every sample needs its measured pH");
  } else if (const auto v = number("pH", t)) {
    job.sample.ph = *v;
  }
  if (const auto t = text(Kind::kWater); !t.empty()) {
    if (const auto v = number("H2O", t)) {
      if (*v > 0.0)
        job.sample.water = *v;
      else
        fault("H2O", io::QuoteCell(t) + ": the water must be positive (55.51 for 1 kg)");
    }
  }
  if (const auto t = text(Kind::kPhTemperature); t.empty()) {
    fault("ph_temperature", "missing; the °C at which the pH was measured is needed");
  } else if (const auto v = number("ph_temperature", t)) {
    job.sample.ph_temperature = *v;
  }
  if (const auto t = text(Kind::kSeparation); !t.empty()) {
    if (const auto v = number("separation", t)) job.sample.separation_temperature = *v;
  } else {
    job.sample.separation_given = false;
  }
  if (text(Kind::kSeparation).empty() && options.steam_correction && !job.temperatures.empty()) {
    fault("separation", "missing; the steam correction needs the separation temperature");
  }

  if (!faults.empty()) {
    std::string message = "line " + std::to_string(job.line);
    if (!job.sample.id.empty()) message += " (id " + io::EscapeLabel(job.sample.id) + ")";
    message += ": ";
    for (std::size_t k = 0; k < faults.size(); ++k) message += (k ? "; " : "") + faults[k];
    job.fault = std::move(message);
  }
  return job;
}

CsvInput::CsvInput(std::istream& in, InputOptions options)
    : impl_(std::make_unique<Impl>(in, std::move(options))) {
  impl_->ReadHeader();
}

CsvInput::~CsvInput() = default;

bool CsvInput::Next(Job& job) {
  io::CsvRecord record;
  if (!impl_->NextRecord(record)) return false;
  job = impl_->ToJob(record);
  for (std::size_t i = 0; i < impl_->columns.size() && i < record.cells.size(); ++i)
    if (impl_->columns[i].kind == Kind::kExtra)
      job.extra.emplace_back(std::string(impl_->columns[i].name),
                             std::string(io::Trim(record.cells[i])));
  return true;
}

bool ReadChunk(CsvInput& input, std::size_t count, std::vector<Job>& jobs) {
  jobs.clear();
  while (jobs.size() < count) {
    Job job;
    if (!input.Next(job)) return false;
    jobs.push_back(std::move(job));
  }
  return true;
}

std::vector<std::string> CsvInput::FixColumns() const {
  std::vector<std::string> keys;
  for (const Column& c : impl_->columns)
    if (c.kind == Kind::kFix) keys.emplace_back(c.name.substr(4));
  return keys;
}

}  // namespace geofluid::batch
