#pragma once

// CSV (RFC 4180, UTF-8) in and out: the one reader of tables and the one writer of cells.

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace geofluid::io {

// A cell as a CSV line holds it: as it is, or quoted with its quotes doubled when it holds a
// comma, a quote or a line break.
void AppendCsvCell(std::string& line, std::string_view text);
std::string CsvCell(std::string_view text);

struct CsvRecord {
  std::size_t line = 0;  // the line of the input where the record starts (1 for the first)
  std::vector<std::string> cells;
};

// Reads records one by one from a stream (a byte-order mark at the start is skipped), so that a
// table of any length takes bounded memory, each record with the line it starts on.
class CsvReader {
 public:
  explicit CsvReader(std::istream& in);
  ~CsvReader();
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // The next record; false at the end of the input. Throws std::runtime_error naming the line
  // when the CSV is broken (a stray quote, an unclosed quote at the end, a cell past 1 MiB, a
  // row past 4096 cells) or the input cannot be read: nothing after it can be trusted.
  bool Next(CsvRecord& record);

  static constexpr std::size_t kMaxCell = 1 << 20;
  // Far more than the columns a table can have; the rest of such a row cannot be trusted.
  static constexpr std::size_t kMaxCells = 4096;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace geofluid::io
