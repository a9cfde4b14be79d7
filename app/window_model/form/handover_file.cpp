#include "form/handover_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "form/number_text.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "report/report.h"

namespace geofluid::form {

namespace {
constexpr std::size_t kBlock = 64 * 1024;
// A TOTH line is some 25 characters; anything longer is garbage and only its head is shown.
constexpr std::size_t kLongestLine = 4096;
constexpr std::size_t kShownText = 40;

bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Name(const std::filesystem::path& file) {
  return "the hand-over file " + file.string();
}

class Reader {
 public:
  explicit Reader(const std::filesystem::path& file) : in_(file, "the hand-over file") {}

  std::uint64_t Size() const { return in_.Size(); }

  // Reads [offset, offset + length) into `out`.
  void Read(std::uint64_t offset, std::size_t length, std::vector<char>& out) {
    out.resize(length);
    in_.ReadAt(offset, out.data(), length);
  }

 private:
  platform::InputFile in_;
};

// 1-based number of the line that starts at `offset`.
std::uint64_t LineNumberAt(Reader& reader, std::uint64_t offset) {
  std::uint64_t line = 1;
  std::vector<char> block;
  for (std::uint64_t pos = 0; pos < offset;) {
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, offset - pos));
    reader.Read(pos, length, block);
    line += static_cast<std::uint64_t>(std::count(block.begin(), block.end(), '\n'));
    pos += length;
  }
  return line;
}

// The text of a bad line as a message can show it: one line, printable, not too long.
std::string Shown(std::string text) {
  const auto first = text.find_first_not_of(" \t\r\v\f");
  text.erase(0, first == std::string::npos ? text.size() : first);
  while (!text.empty() && Blank(text.back())) text.pop_back();
  bool cut = false;
  if (text.size() > kShownText) {
    std::size_t end = kShownText;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    cut = true;
  }
  // Control characters, C0 and C1 (U+0080..U+009F, C2 80..C2 9F in UTF-8), never reach a
  // message: a terminal would act on them.
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                    (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
    if (c1) ++i;
    shown += c < 0x20 || c == 0x7F || c1 ? '?' : text[i];
  }
  return "\"" + shown + (cut ? "...\"" : "\"");
}
}  // namespace

StoredToth ReadStoredToth(const std::filesystem::path& file) {
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(file, ec);
  if (status.type() == std::filesystem::file_type::not_found)
    throw FileError(Name(file) +
                    " does not exist: a run in the mode at the pH measurement temperature "
                    "writes it first");
  if (status.type() == std::filesystem::file_type::directory)
    throw FileError(Name(file) + " is a directory, not a file");

  Reader reader(file);
  // Scan back over trailing blanks to the end of the last line that holds something, then on
  // to the line feed before it.
  std::uint64_t line_end = 0;
  std::uint64_t line_start = 0;
  bool found_end = false;
  std::vector<char> block;
  for (std::uint64_t pos = reader.Size(); pos > 0;) {
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, pos));
    pos -= length;
    reader.Read(pos, length, block);
    bool found_start = false;
    for (std::size_t i = length; i-- > 0;) {
      if (!found_end) {
        if (!Blank(block[i])) {
          line_end = pos + i + 1;
          found_end = true;
        }
      } else if (block[i] == '\n') {
        line_start = pos + i + 1;
        found_start = true;
        break;
      }
    }
    if (found_start) break;
  }
  if (!found_end) return StoredToth{0.0, true};

  const std::size_t length =
      static_cast<std::size_t>(std::min<std::uint64_t>(kLongestLine, line_end - line_start));
  reader.Read(line_start, length, block);
  std::string text(block.begin(), block.end());
  if (line_end - line_start <= kLongestLine) {
    if (const auto value = ParseNumber(text)) return StoredToth{*value, false};
  }
  throw ConversionError(Name(file) + ", line " + std::to_string(LineNumberAt(reader, line_start)) +
                        ": " + Shown(std::move(text)) + " is not a number");
}

std::string TothLine(double toth) {
  return report::NumberItem(toth, "the TOTH handed over") + "\r\n";
}

void AppendToth(const std::filesystem::path& file, double toth, const platform::TurnTaking& turn) {
  platform::AppendLineInOneWrite(file, TothLine(toth), "the hand-over file", turn);
}

}  // namespace geofluid::form
