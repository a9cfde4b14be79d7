#include <csv.h>

#include <istream>
#include <iterator>
#include <map>
#include <sstream>

#include "batch/batch.h"
#include "uncertainty/uncertainty.h"

namespace geofluid::uncertainty {

namespace {

constexpr std::string_view kErrorPrefix = "err_";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

struct Record {
  std::size_t line = 0;
  std::vector<std::string> cells;
};

// Every record of the table with the line it starts on, as the batch reader counts lines.
struct Reader {
  csv_parser parser{};
  std::size_t line = 1;
  std::vector<std::string> cells;
  std::size_t record_line = 0;
  std::vector<Record> records;

  static void OnCell(void* text, std::size_t length, void* data) {
    auto* self = static_cast<Reader*>(data);
    std::string cell(static_cast<const char*>(text), length);
    if (self->cells.empty()) {
      std::size_t newlines = 0;
      for (const char c : cell) newlines += c == '\n';
      self->record_line = self->line - newlines;
    }
    self->cells.push_back(std::move(cell));
  }
  static void OnRecord(int, void* data) {
    auto* self = static_cast<Reader*>(data);
    self->records.push_back(Record{self->record_line, std::move(self->cells)});
    self->cells.clear();
  }
};

std::vector<Record> ReadRecords(std::istream& in, const std::string& name) {
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + name);
  std::string_view rest = text;
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
  Reader r;
  if (csv_init(&r.parser, CSV_STRICT | CSV_STRICT_FINI) != 0)
    throw std::runtime_error("cannot set up the CSV reader (out of memory)");
  struct Free {
    csv_parser* p;
    ~Free() { csv_free(p); }
  } free_parser{&r.parser};
  // A header that cannot be read is a table that cannot be used (a usage error, as an unknown
  // column); a later row that cannot is a fault of the run.
  const auto broken = [&](const std::string& what) {
    const std::string text = name + ", line " + std::to_string(r.line) + ": " + what;
    if (r.records.empty()) throw ErrorSyntax(text + " (the header)");
    throw std::runtime_error(text);
  };
  while (!rest.empty()) {
    const auto newline = rest.find('\n');
    const std::size_t end = newline == std::string_view::npos ? rest.size() : newline + 1;
    if (csv_parse(&r.parser, rest.data(), end, Reader::OnCell, Reader::OnRecord, &r) != end)
      broken(std::string("the CSV is malformed (") + csv_strerror(csv_error(&r.parser)) + ")");
    rest.remove_prefix(end);
    if (newline != std::string_view::npos) ++r.line;
  }
  if (csv_fini(&r.parser, Reader::OnCell, Reader::OnRecord, &r) != 0)
    broken("the table ends inside a quoted cell");
  return r.records;
}

// A cell as CSV writes it: always quoted, quotes doubled (libcsv).
std::string Quoted(const std::string& cell) {
  std::string out(cell.size() * 2 + 2, '\0');
  out.resize(csv_write(out.data(), out.size(), cell.data(), cell.size()));
  return out;
}

}  // namespace

std::vector<TableSample> ReadTable(std::istream& in, const std::string& name,
                                   const InputErrors& base, bool steam_correction,
                                   const std::string& unit_text) {
  batch::InputOptions input;
  if (const auto unit = units::ConcentrationFromText(unit_text))
    input.unit = *unit;
  else
    throw ErrorSyntax("--units " + unit_text + ": the units are mol/kg, mg/kg and mg/L");
  input.steam_correction = steam_correction;

  const std::vector<Record> records = ReadRecords(in, name);
  if (records.empty()) throw ErrorSyntax(name + " is empty: the first line must name the columns");

  // The err_ columns are taken out here; what is left is a table of the batch reader, each
  // record on the line it started on so that its messages name the right line.
  const Record& header = records.front();
  std::map<std::size_t, std::string> error_columns;  // column -> input key
  for (std::size_t i = 0; i < header.cells.size(); ++i) {
    const std::string_view column = Trim(header.cells[i]);
    if (!column.starts_with(kErrorPrefix)) continue;
    InputErrors check;
    try {
      SetError(check, column.substr(kErrorPrefix.size()), "0");
    } catch (const ErrorSyntax& e) {
      throw ErrorSyntax(name + ", line " + std::to_string(header.line) + ": column " +
                        std::string(column) + ": " + e.what());
    }
    error_columns[i] = std::string(column.substr(kErrorPrefix.size()));
  }

  std::string rest;
  std::size_t line = 1;
  std::map<std::size_t, InputErrors> errors_of_line;
  std::map<std::size_t, std::string> fault_of_line;
  for (const Record& record : records) {
    while (line < record.line) {
      rest += '\n';
      ++line;
    }
    InputErrors errors = base;
    std::string written;
    for (std::size_t i = 0; i < record.cells.size(); ++i) {
      const auto e = error_columns.find(i);
      if (e == error_columns.end()) {
        written += (written.empty() ? "" : ",") + Quoted(record.cells[i]);
        continue;
      }
      if (&record == &header || Trim(record.cells[i]).empty()) continue;
      try {
        SetError(errors, e->second, record.cells[i]);
      } catch (const ErrorSyntax& x) {
        if (!fault_of_line.contains(record.line))
          fault_of_line[record.line] = "column err_" + e->second + ": " + x.what();
      }
    }
    errors_of_line[record.line] = errors;
    rest += written + '\n';
    for (char c : written) line += c == '\n';
    ++line;
  }

  std::istringstream table(rest);
  std::optional<batch::CsvInput> reader;
  try {
    reader.emplace(table, input);
  } catch (const batch::UsageError& e) {
    throw ErrorSyntax(name + ": " + e.what());
  }
  std::vector<TableSample> samples;
  batch::Job job;
  while (reader->Next(job)) {
    TableSample s;
    s.line = job.line;
    s.sample = job.sample;
    s.temperatures = job.temperatures;
    s.errors = errors_of_line.count(job.line) ? errors_of_line[job.line] : base;
    // The batch reader's fault already names the line and the id.
    if (!job.fault.empty()) s.fault = name + ", " + job.fault;
    if (const auto f = fault_of_line.find(job.line); f != fault_of_line.end()) {
      if (s.fault.empty()) {
        s.fault = name + ", line " + std::to_string(s.line) +
                  (s.sample.id.empty() ? "" : " (id " + s.sample.id + ")") + ": " + f->second;
      } else {
        s.fault += "; " + f->second;
      }
    }
    samples.push_back(std::move(s));
    job = batch::Job{};
  }
  return samples;
}

}  // namespace geofluid::uncertainty
