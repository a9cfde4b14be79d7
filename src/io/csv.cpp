#include "io/csv.h"

#include <csv.h>

#include <deque>
#include <istream>
#include <stdexcept>

namespace geofluid::io {

void AppendCsvCell(std::string& line, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    line += text;
    return;
  }
  // csv_write quotes and doubles the quotes; it needs at most 2 n + 2 bytes.
  std::string quoted(2 * text.size() + 2, '\0');
  quoted.resize(csv_write(quoted.data(), quoted.size(), text.data(), text.size()));
  line += quoted;
}

std::string CsvCell(std::string_view text) {
  std::string out;
  AppendCsvCell(out, text);
  return out;
}

struct CsvReader::Impl {
  std::istream& in;
  csv_parser parser{};
  std::size_t cells_dropped = 0;
  std::size_t too_many_cells = 0;  // the line of a row past kMaxCells, 0 while none
  bool started = false;            // first bytes seen (the byte-order mark is only taken there)
  bool finished = false;
  std::size_t line = 1;  // the line being fed
  std::string block;
  std::size_t block_pos = 0;
  // The record being parsed.
  std::vector<std::string> cells;
  std::size_t record_line = 0;
  std::deque<CsvRecord> ready;

  explicit Impl(std::istream& stream) : in(stream) {
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0)
      throw std::runtime_error("cannot set up the CSV reader (out of memory)");
  }
  ~Impl() { csv_free(&parser); }

  static void OnCell(void* text, std::size_t length, void* data) {
    auto* self = static_cast<Impl*>(data);
    // Past the limit the cells are only counted: a row of millions of empty cells would
    // otherwise take gigabytes before it could be refused.
    if (self->cells.size() >= kMaxCells) {
      ++self->cells_dropped;
      return;
    }
    std::string cell(static_cast<const char*>(text), length);
    if (self->cells.empty()) {
      std::size_t newlines = 0;
      for (const char c : cell) newlines += c == '\n';
      self->record_line = self->line - newlines;
    }
    self->cells.push_back(std::move(cell));
  }
  static void OnRecord(int, void* data) {
    auto* self = static_cast<Impl*>(data);
    if (self->cells_dropped > 0) {
      if (self->too_many_cells == 0) self->too_many_cells = self->record_line;
      self->cells_dropped = 0;
    }
    self->ready.push_back(CsvRecord{self->record_line, std::move(self->cells)});
    self->cells.clear();
  }

  void Feed(std::string_view bytes) {
    if (csv_parse(&parser, bytes.data(), bytes.size(), OnCell, OnRecord, this) != bytes.size())
      throw std::runtime_error(
          "line " + std::to_string(line) + ": the CSV is malformed (" +
          csv_strerror(csv_error(&parser)) +
          ": a quote inside an unquoted cell, or text after a closing quote); the table is not "
          "read past this line");
    if (too_many_cells != 0 || cells_dropped > 0)
      throw std::runtime_error("line " +
                               std::to_string(too_many_cells != 0 ? too_many_cells : line) +
                               ": a row has more than " + std::to_string(kMaxCells) +
                               " cells (the limit of a row); the table is not read past this line");
    // An unclosed quote would otherwise take the rest of the table, however long, into one cell.
    if (csv_get_buffer_size(&parser) > kMaxCell)
      throw std::runtime_error("line " + std::to_string(line) +
                               ": a cell runs past 1 MiB (a quote that is not closed?); the "
                               "table is not read past this line");
  }

  // Feeds the parser until a record is ready or the input ends.
  bool Fill() {
    while (ready.empty() && !finished) {
      if (block_pos == block.size()) {
        block.resize(1 << 16);
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        block.resize(static_cast<std::size_t>(in.gcount()));
        block_pos = 0;
        if (in.bad()) throw std::runtime_error("the table cannot be read (input error)");
        if (!started && !block.empty()) {
          started = true;
          if (block.starts_with("\xEF\xBB\xBF")) block_pos = 3;
        }
        if (block.empty()) {
          if (csv_fini(&parser, OnCell, OnRecord, this) != 0)
            throw std::runtime_error("line " + std::to_string(line) +
                                     ": the table ends inside a quoted cell; a quote is not "
                                     "closed");
          finished = true;
          break;
        }
      }
      // Line by line, so that every record knows the line it starts on.
      const std::size_t newline = block.find('\n', block_pos);
      const std::size_t end = newline == std::string::npos ? block.size() : newline + 1;
      Feed(std::string_view(block).substr(block_pos, end - block_pos));
      block_pos = end;
      if (newline != std::string::npos) ++line;
    }
    return !ready.empty();
  }
};

CsvReader::CsvReader(std::istream& in) : impl_(std::make_unique<Impl>(in)) {}

CsvReader::~CsvReader() = default;

bool CsvReader::Next(CsvRecord& record) {
  if (!impl_->Fill()) return false;
  record = std::move(impl_->ready.front());
  impl_->ready.pop_front();
  return true;
}

}  // namespace geofluid::io
