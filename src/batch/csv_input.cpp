#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
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

// UTF-16 (a spreadsheet's "Unicode text") starts with its byte-order mark and puts a NUL
// beside every ASCII letter: its column names would be listed as unknown, one by one.
bool LooksLikeUtf16(std::span<const std::string> names) {
  bool utf16 =
      !names.empty() && (names[0].starts_with("\xFF\xFE") || names[0].starts_with("\xFE\xFF"));
  for (const std::string& name : names) utf16 = utf16 || name.find('\0') != std::string::npos;
  return utf16;
}

std::string Line(std::size_t line) { return "line " + std::to_string(line); }

// One row being read: its cells (trimmed, numbers kept exact), the job filled column by
// column and the faults found on the way.
class RowRead {
 public:
  RowRead(const std::vector<Column>& columns, const InputOptions& options,
          std::span<const Cell> cells)
      : columns_(columns), options_(options), cells_(cells), text_(columns.size()) {
    // The texts of the numbers stay where they are made: text_ points into them.
    shortest_.reserve(static_cast<std::size_t>(
        std::count_if(cells.begin(), cells.end(), [](const Cell& c) { return c.IsNumber(); })));
    for (std::size_t i = 0; i < columns.size() && i < cells.size(); ++i) {
      if (cells[i].IsNumber())
        text_[i] = shortest_.emplace_back(io::Shortest(cells[i].number()));
      else
        text_[i] = io::Trim(cells[i].text());
    }
  }

  Job Read(std::size_t line, std::string_view where) && {
    job_.line = line;
    ReadId();
    if (cells_.size() != columns_.size())
      faults_.push_back(std::to_string(cells_.size()) + " cells where the header has " +
                        std::to_string(columns_.size()));
    ReadUnits();
    ReadFixes();
    ReadTemperatures();
    const bool amounts_ok = ReadAnalysis();
    ReadTraces(amounts_ok);
    ReadGases();
    ReadConditions();
    ReadExtra();
    if (!faults_.empty()) {
      std::string message(where);
      if (!job_.sample.id.empty()) message += " (id " + io::EscapeLabel(job_.sample.id) + ")";
      message += ": ";
      for (std::size_t k = 0; k < faults_.size(); ++k) message += (k ? "; " : "") + faults_[k];
      job_.fault = std::move(message);
    }
    return std::move(job_);
  }

 private:
  void Fault(std::string_view column, const std::string& cause) {
    faults_.push_back("column " + std::string(column) + ": " + cause);
  }

  std::optional<std::size_t> Find(Kind kind) const {
    for (std::size_t i = 0; i < columns_.size(); ++i)
      if (columns_[i].kind == kind) return i;
    return std::nullopt;
  }
  // The cell's text; a number's is its shortest text. Absent columns read as empty.
  std::string_view Text(Kind kind) const {
    const auto i = Find(kind);
    return i ? text_[*i] : std::string_view{};
  }

  // A number from the cell of column i: a held number as it is, a text read exactly.
  std::optional<double> Number(std::string_view column, std::size_t i) {
    std::optional<double> value;
    if (i < cells_.size() && cells_[i].IsNumber()) {
      if (std::isfinite(cells_[i].number())) value = cells_[i].number();
    } else {
      value = io::ParseNumber(text_[i]);
    }
    if (!value) Fault(column, io::QuoteCell(text_[i]) + " is not a number");
    return value;
  }

  // A concentration: a number, "<x" (below the detection limit x) or "n.d." (not detected).
  // Sets *limit to x (0 for n.d.) for the two latter.
  std::optional<double> Concentration(std::string_view column, std::size_t i,
                                      std::optional<double>* limit) {
    const std::string_view t = text_[i];
    if (i < cells_.size() && cells_[i].IsNumber()) return Number(column, i);
    std::string lower(t);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "n.d." || lower == "n.d" || lower == "nd") {
      *limit = 0.0;
      job_.below_detection.push_back(std::string(column) + " n.d. (0 used)");
      return 0.0;
    }
    if (t.starts_with('<')) {
      const auto x = io::ParseNumber(t.substr(1));
      if (!x || !(*x > 0.0)) {
        Fault(column, io::QuoteCell(t) + ": a detection limit must be a positive number after <");
        return std::nullopt;
      }
      *limit = *x;
      const double used = *x * options_.detection_fraction;
      job_.below_detection.push_back(std::string(column) + " " + std::string(t) + " (" +
                                     io::General(used) + " used)");
      return used;
    }
    return Number(column, i);
  }

  void ReadId() {
    const auto id = Find(Kind::kId);
    if (!id) return;
    const std::string_view id_text = text_[*id];
    if (io::IsValidUtf8(id_text)) {
      job_.sample.id = std::string(id_text);
    } else {
      const std::string quoted = io::QuoteCell(id_text);
      job_.sample.id = quoted.substr(1, quoted.size() - 2);
      Fault("id", "the text is not UTF-8 (save the table as UTF-8)");
    }
  }

  // The row's units of the water and the steam, and the density for mg/L.
  void ReadUnits() {
    unit_ = options_.unit;
    if (const auto t = Text(Kind::kUnits); !t.empty()) {
      if (const auto u = units::ConcentrationFromText(t))
        unit_ = *u;
      else
        Fault("units", io::QuoteCell(t) + " is not a unit (mol/kg, mg/kg or mg/L)");
    }
    gas_unit_ = options_.gas_unit.value_or(units::DefaultGasUnit(unit_));
    if (const auto t = Text(Kind::kSteamUnits); !t.empty()) {
      if (const auto u = units::GasUnitFromText(t))
        gas_unit_ = *u;
      else
        Fault("steam_units",
              io::QuoteCell(t) + " is not a unit of the steam (mol/kg, mmol/kg or mg/kg)");
    }
    const auto d = Find(Kind::kDensity);
    if (!d || text_[*d].empty()) return;
    if (const auto v = Number("density", *d)) {
      if (*v > 0.0)
        density_ = *v;
      else
        Fault("density", io::QuoteCell(text_[*d]) + ": the density must be positive (kg/L)");
    }
  }

  void ReadFixes() {
    for (std::size_t i = 0; i < columns_.size() && i < cells_.size(); ++i) {
      if (columns_[i].kind != Kind::kFix) continue;
      const std::string_view mineral = text_[i];
      if (!mineral.empty())
        job_.fix.emplace_back(std::string(columns_[i].name.substr(4)), std::string(mineral));
    }
  }

  void ReadTemperatures() {
    job_.temperatures = options_.temperatures;
    if (const auto t = Text(Kind::kTemperatures); !t.empty()) {
      try {
        job_.temperatures = ParseTemperatures(t);
      } catch (const UsageError& e) {
        Fault("temperatures", e.what());
      }
    }
  }

  // The water's analysis, to molality: negative values are refused before any conversion.
  // False when a value could not be taken (then nothing is converted).
  bool ReadAnalysis() {
    std::vector<std::optional<double>> limits;  // per amount: the detection limit where below
    bool ok = true;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (columns_[i].kind != Kind::kForm || text_[i].empty()) continue;
      const units::Form* form = columns_[i].form;
      std::optional<double> limit;
      const auto value = Concentration(form->key, i, &limit);
      if (!value) {
        ok = false;
        continue;
      }
      if (*value < 0.0) {
        Fault(form->key, io::QuoteCell(text_[i]) + " is negative; a concentration cannot be");
        ok = false;
        continue;
      }
      for (const units::Amount& a : amounts_)
        if (a.form->component == form->component) {
          faults_.push_back("columns " + std::string(a.form->key) + " and " +
                            std::string(form->key) + " both give " + std::string(form->component) +
                            ": give one of them");
          ok = false;
        }
      amounts_.push_back({form, *value});
      limits.push_back(limit);
    }
    if (!ok) return false;
    try {
      const std::vector<double> molality = units::ToMolality(amounts_, unit_, density_);
      for (std::size_t k = 0; k < amounts_.size(); ++k) {
        const std::string_view component = amounts_[k].form->component;
        job_.sample.Component(component) = molality[k];
        if (!limits[k]) continue;
        job_.sample.below_detection |= 1u << *engine::ComponentIndex(component);
        if (component == "Mg" && amounts_[k].value > 0.0)
          job_.sample.mg_detection_limit = molality[k] * *limits[k] / amounts_[k].value;
      }
    } catch (const units::UnitError& e) {
      faults_.push_back(e.what());
    }
    return true;
  }

  // Li and B, in the row's unit, to molality with the same dissolved solids as the components.
  void ReadTraces(bool amounts_ok) {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (columns_[i].kind != Kind::kTrace || text_[i].empty()) continue;
      const bool lithium = columns_[i].name == "Li";
      std::optional<double> limit;
      const auto value = Concentration(columns_[i].name, i, &limit);
      if (!value) continue;
      if (*value < 0.0) {
        Fault(columns_[i].name,
              io::QuoteCell(text_[i]) + " is negative; a concentration cannot be");
        continue;
      }
      double molality = *value;
      if (unit_ != units::Concentration::kMolPerKgWater) {
        const double mg_per_kg =
            unit_ == units::Concentration::kMgPerLitre ? *value / density_ : *value;
        const double tds = amounts_ok ? units::DissolvedSolids(amounts_, unit_, density_) : 0.0;
        molality = mg_per_kg / (1000.0 * (lithium ? kLithium : kBoron)) / (1.0 - tds / 1e6);
      }
      (lithium ? job_.sample.lithium : job_.sample.boron) = molality;
      if (limit)
        job_.sample.below_detection |=
            lithium ? engine::kBelowDetectionLithium : engine::kBelowDetectionBoron;
    }
  }

  void ReadGases() {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (columns_[i].kind != Kind::kSteamGas || text_[i].empty()) continue;
      const auto value = Number(columns_[i].name, i);
      if (!value) continue;
      if (*value < 0.0) {
        Fault(columns_[i].name, io::QuoteCell(text_[i]) + " is negative; a gas content cannot be");
        continue;
      }
      const double mol = units::GasToMolPerKg(*columns_[i].gas, *value, gas_unit_);
      (columns_[i].name == "CO2" ? job_.sample.steam_co2 : job_.sample.steam_h2s) = mol;
    }
  }

  // pH, water, the pH temperature and the separation temperature.
  void ReadConditions() {
    if (const auto i = Find(Kind::kPh); !i || text_[*i].empty()) {
      Fault("pH", "missing; every sample needs its measured pH");
    } else if (const auto v = Number("pH", *i)) {
      job_.sample.ph = *v;
    }
    if (const auto i = Find(Kind::kWater); i && !text_[*i].empty()) {
      if (const auto v = Number("H2O", *i)) {
        if (*v > 0.0)
          job_.sample.water = *v;
        else
          Fault("H2O", io::QuoteCell(text_[*i]) + ": the water must be positive (55.51 for 1 kg)");
      }
    }
    if (const auto i = Find(Kind::kPhTemperature); !i || text_[*i].empty()) {
      Fault("ph_temperature", "missing; the °C at which the pH was measured is needed");
    } else if (const auto v = Number("ph_temperature", *i)) {
      job_.sample.ph_temperature = *v;
    }
    if (const auto i = Find(Kind::kSeparation); i && !text_[*i].empty()) {
      if (const auto v = Number("separation", *i)) job_.sample.separation_temperature = *v;
    } else {
      job_.sample.separation_given = false;
    }
    if (Text(Kind::kSeparation).empty() && options_.steam_correction && !job_.temperatures.empty())
      Fault("separation", "missing; the steam correction needs the separation temperature");
  }

  void ReadExtra() {
    for (std::size_t i = 0; i < columns_.size() && i < cells_.size(); ++i)
      if (columns_[i].kind == Kind::kExtra)
        job_.extra.emplace_back(std::string(columns_[i].name), std::string(text_[i]));
  }

  const std::vector<Column>& columns_;
  const InputOptions& options_;
  std::span<const Cell> cells_;
  std::vector<std::string_view> text_;  // [column]: trimmed
  std::vector<std::string> shortest_;   // the texts of the held numbers
  Job job_;
  std::vector<std::string> faults_;
  units::Concentration unit_ = units::Concentration::kMolPerKgWater;
  units::GasUnit gas_unit_{};
  double density_ = 1.0;
  std::vector<units::Amount> amounts_;
};

}  // namespace

std::span<const std::string_view> InputColumns() {
  static const std::vector<std::string_view> columns = AllColumns();
  return columns;
}

struct RowReader::Impl {
  InputOptions options;
  std::vector<Column> columns;
  std::deque<std::string> name_of_extra;  // the extra columns' names, which columns point to

  void ReadHeader(std::span<const std::string> names, std::size_t line);
  void CheckRequired() const;
};

void RowReader::Impl::ReadHeader(std::span<const std::string> names, std::size_t line) {
  if (LooksLikeUtf16(names))
    throw UsageError(Line(line) +
                     ": the table is in UTF-16 (or holds NUL bytes), not UTF-8: save it as CSV "
                     "in UTF-8");
  std::vector<std::string> unknown;
  std::vector<std::string_view> seen;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string_view name = io::Trim(names[i]);
    if (options.extra_column && options.extra_column(name, line)) {
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
        throw UsageError(Line(line) + ": the column " + std::string(s) + " is given twice");
    seen.push_back(column->name);
    columns.push_back(*column);
  }
  if (!unknown.empty()) {
    std::string list;
    for (const auto& u : unknown) list += (list.empty() ? "" : ", ") + u;
    // A spreadsheet saved with semicolons or tabs reads as one long column name.
    const bool other_separator =
        names.size() == 1 && names[0].find_first_of(";\t") != std::string::npos;
    throw UsageError(Line(line) + ": unknown column" + (unknown.size() > 1 ? "s " : " ") + list +
                     (other_separator ? "; the cells are separated by semicolons or tabs: "
                                        "save the table as CSV with commas"
                                      : "; the columns are " + Join(AllColumns())));
  }
}

void RowReader::Impl::CheckRequired() const {
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

RowReader::RowReader(std::span<const std::string> names, std::size_t line, InputOptions options)
    : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->ReadHeader(names, line);
  impl_->CheckRequired();
}

RowReader::~RowReader() = default;

bool RowReader::Blank(std::span<const Cell> cells) const {
  const auto& columns = impl_->columns;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const bool extra = i < columns.size() && columns[i].kind == Kind::kExtra;
    if (!extra && (cells[i].IsNumber() || !io::Trim(cells[i].text()).empty())) return false;
  }
  return true;
}

Job RowReader::Read(std::span<const Cell> cells, std::size_t line, std::string_view where) const {
  return RowRead(impl_->columns, impl_->options, cells).Read(line, where);
}

std::vector<std::string> RowReader::FixColumns() const {
  std::vector<std::string> keys;
  for (const Column& c : impl_->columns)
    if (c.kind == Kind::kFix) keys.emplace_back(c.name.substr(4));
  return keys;
}

struct CsvInput::Impl {
  std::istream& in;
  io::CsvReader reader;
  InputOptions options;
  std::unique_ptr<RowReader> rows;
  std::vector<Cell> cells;  // the current record's, kept between rows for their memory

  Impl(std::istream& stream, InputOptions o) : in(stream), reader(stream), options(std::move(o)) {}

  // The next record with a cell that is not blank (extra columns not counted, once the header
  // is known): rows of empty cells are what spreadsheets leave below a table.
  bool NextRecord(io::CsvRecord& record, std::vector<Cell>& cells) {
    while (reader.Next(record)) {
      cells.clear();
      for (const std::string& text : record.cells) cells.push_back(Cell::Text(text));
      if (rows ? !rows->Blank(cells) : !Blank(record)) return true;
    }
    return false;
  }
  static bool Blank(const io::CsvRecord& record) {
    for (const std::string& cell : record.cells)
      if (!io::Trim(cell).empty()) return false;
    return true;
  }

  void ReadHeader() {
    // A header that cannot be read (an unclosed quote takes the whole table into it) is a
    // table that cannot be used at all, as an unknown column is: nothing has been written yet.
    io::CsvRecord header;
    std::vector<Cell> cells;
    bool filled = false;
    try {
      filled = NextRecord(header, cells);
    } catch (const std::runtime_error& e) {
      if (in.bad()) throw;  // the input failed (or was interrupted), not its text
      throw UsageError(std::string(e.what()) + " (the header)");
    }
    if (!filled) throw UsageError("the table is empty: the first line must name the columns");
    rows = std::make_unique<RowReader>(header.cells, header.line, std::move(options));
  }
};

CsvInput::CsvInput(std::istream& in, InputOptions options)
    : impl_(std::make_unique<Impl>(in, std::move(options))) {
  impl_->ReadHeader();
}

CsvInput::~CsvInput() = default;

bool CsvInput::Next(Job& job) {
  io::CsvRecord record;
  if (!impl_->NextRecord(record, impl_->cells)) return false;
  job = impl_->rows->Read(impl_->cells, record.line, Line(record.line));
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

std::vector<std::string> CsvInput::FixColumns() const { return impl_->rows->FixColumns(); }

}  // namespace geofluid::batch
