#include "sample_file.h"

#include <ini.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

#include "form/analysis_input.h"
#include "form/calculation.h"
#include "form/form1.h"
#include "form/number_text.h"
#include "io/text.h"

namespace geofluid::sample {

namespace {
// A sample is a couple of dozen short lines; anything far larger is not a sample file, and
// refusing it early keeps a wrong file name from hanging the program.
constexpr std::size_t kLargestFile = 1024 * 1024;
// inih reads lines into a buffer of 200 bytes and would split a longer line into two.
constexpr std::size_t kLongestLine = 190;

struct Section {
  std::string_view name;
  int first_box;
  int last_box;
};
constexpr Section kSections[] = {{"hot-water", 1, 14}, {"steam", 15, 16}, {"temperature", 17, 18}};

// Read for the uncertainty of a run, never by the window.
constexpr std::string_view kErrorsSection = "errors";

const Section* FindSection(std::string_view name) {
  for (const Section& s : kSections)
    if (s.name == name) return &s;
  return nullptr;
}

std::string KeyOf(int box) { return std::string(form::BoxKey(box)); }

std::string KnownKeys(const Section& section) {
  std::string keys;
  for (int box = section.first_box; box <= section.last_box; ++box)
    keys += (keys.empty() ? "" : ", ") + KeyOf(box);
  if (section.name == "temperature") keys += ", " + std::string(kPhTemperatureKey);
  return keys;
}

using io::Trim;

// Length of the UTF-8 sequence at `s[i]`, or 0 when it is not well-formed.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  std::size_t n;
  unsigned char low = 0x80, high = 0xBF;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2;
  else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return n;
}

struct Parse {
  std::string where;  // "the sample file X"
  std::vector<std::string_view> lines;
  std::size_t next = 0;
  SampleFile sample;
  std::array<std::size_t, 19> given_on{};
  std::size_t ph_temperature_on = 0;
  std::string error;
  std::size_t error_line = 0;

  std::string At(std::size_t line) const { return where + ", line " + std::to_string(line); }
  void Fail(std::size_t line, std::string message) {
    if (!error.empty()) return;
    error = std::move(message);
    error_line = line;
  }
};

// Hands inih one line at a time. Leading blanks are dropped so that an indented line is read as
// a line of its own, never as the continuation of the value above it. Section headers are
// checked here because inih tells the handler only of sections that hold a key.
char* NextLine(char* buffer, int size, void* user) {
  auto& parse = *static_cast<Parse*>(user);
  if (!parse.error.empty() || parse.next >= parse.lines.size()) return nullptr;
  const std::size_t number = parse.next + 1;
  std::string_view line = parse.lines[parse.next++];
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  if (!line.empty() && line.front() == '[') {
    const auto close = line.find(']');
    if (close == std::string_view::npos) {
      parse.Fail(number, parse.At(number) + ": the section name has no closing ]");
      return nullptr;
    }
    const std::string_view name = Trim(line.substr(1, close - 1));
    if (FindSection(name) == nullptr && name != kErrorsSection) {
      parse.Fail(number, parse.At(number) + ": unknown section [" + std::string(name) +
                             "] (the sections are [hot-water], [steam], [temperature] and "
                             "[errors])");
      return nullptr;
    }
    // inih drops whatever follows the ]; only a comment may.
    const std::string_view rest = Trim(line.substr(close + 1));
    if (!rest.empty() && rest.front() != ';' && rest.front() != '#') {
      std::size_t shown = std::min<std::size_t>(rest.size(), 40);
      while (shown < rest.size() && (static_cast<unsigned char>(rest[shown]) & 0xC0) == 0x80)
        --shown;  // not inside a character
      parse.Fail(number, parse.At(number) + ": \"" + std::string(rest.substr(0, shown)) +
                             "\" after [" + std::string(name) +
                             "]; put keys on lines of their own");
      return nullptr;
    }
  } else if (!line.empty() && line.front() != ';' && line.front() != '#') {
    // inih would also split a key line at a colon: only key = value is a key line here.
    const auto delimiter = line.find_first_of("=:");
    if (delimiter != std::string_view::npos && line[delimiter] == ':') {
      parse.Fail(number, parse.At(number) + ": a colon where the = belongs; write key = value");
      return nullptr;
    }
  }
  const std::size_t n = std::min(line.size(), static_cast<std::size_t>(size - 2));
  std::memcpy(buffer, line.data(), n);
  buffer[n] = '\n';
  buffer[n + 1] = '\0';
  return buffer;
}

int OnKey(void* user, const char* section_text, const char* name_text, const char* value) {
  auto& parse = *static_cast<Parse*>(user);
  const std::size_t number = parse.next;
  const std::string_view section_name = Trim(section_text);
  const std::string name(Trim(name_text));
  if (section_name.empty()) {
    parse.Fail(
        number,
        parse.At(number) + ": \"" + name +
            "\" comes before any section; put it under [hot-water], [steam] or [temperature]");
    return 0;
  }
  if (section_name == kErrorsSection) {
    // Keys and values are checked by the layer that uses them; a repeated key is still a fault.
    for (const SampleFile::Error& e : parse.sample.errors)
      if (e.key == name) {
        parse.Fail(number, parse.At(number) + ": \"" + name +
                               "\" is given twice in [errors] "
                               "(first on line " +
                               std::to_string(e.line) + ")");
        return 0;
      }
    parse.sample.errors.push_back({name, std::string(Trim(value != nullptr ? value : "")), number});
    return 1;
  }
  const Section* section = FindSection(section_name);
  if (section == nullptr) {
    parse.Fail(number, parse.At(number) + ": unknown section [" + std::string(section_name) + "]");
    return 0;
  }
  if (section->name == "temperature" && name == kPhTemperatureKey) {
    if (parse.ph_temperature_on != 0) {
      parse.Fail(number, parse.At(number) + ": \"" + name + "\" is given twice (first on line " +
                             std::to_string(parse.ph_temperature_on) + ")");
      return 0;
    }
    parse.ph_temperature_on = number;
    parse.sample.ph_temperature = std::string(Trim(value != nullptr ? value : ""));
    return 1;
  }
  std::optional<int> box = form::BoxForKey(name);
  if (!box || *box < section->first_box || *box > section->last_box) {
    parse.Fail(number, parse.At(number) + ": unknown key \"" + name + "\" in [" +
                           std::string(section->name) + "] (the keys are " + KnownKeys(*section) +
                           ")");
    return 0;
  }
  const auto slot = static_cast<std::size_t>(*box);
  if (parse.given_on[slot] != 0) {
    parse.Fail(number, parse.At(number) + ": \"" + name + "\" is given twice (first on line " +
                           std::to_string(parse.given_on[slot]) + ")");
    return 0;
  }
  parse.given_on[slot] = number;
  parse.sample.box[slot] = std::string(Trim(value != nullptr ? value : ""));
  return 1;
}

std::string ReadLimited(const std::filesystem::path& path, const std::string& where) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    throw SampleError(where + " is a directory, not a sample file");
  // A FIFO or a socket would hold every command until something writes to it.
  if (const auto kind = std::filesystem::status(path, ec).type();
      kind == std::filesystem::file_type::fifo || kind == std::filesystem::file_type::socket)
    throw SampleError(where + " is a " +
                      (kind == std::filesystem::file_type::fifo ? "FIFO" : "socket") +
                      ", not a sample file: save the sample to a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int error = errno;
    throw SampleError("cannot read " + where + ": " +
                      std::generic_category().message(error != 0 ? error : ENOENT));
  }
  // Read in chunks: a sample file is small, and zero-filling the largest size cost more than
  // the whole calculation.
  std::string content;
  char chunk[16 * 1024];
  while (content.size() <= kLargestFile && (in.read(chunk, sizeof chunk), in.gcount() > 0)) {
    content.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) throw SampleError("cannot read " + where);
  if (content.size() > kLargestFile)
    throw SampleError(where + " is larger than 1 MiB; a sample file holds a few short lines");
  return content;
}

// Splits into lines and refuses what is not short lines of UTF-8 text.
std::vector<std::string_view> TextLines(std::string_view text, const std::string& where) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string at = where + ", line " + std::to_string(lines.size() + 1);
    for (std::size_t i = 0; i < line.size();) {
      const auto c = static_cast<unsigned char>(line[i]);
      if ((c < 0x20 && c != '\t') || c == 0x7F)
        throw SampleError(at + ": control or binary byte 0x" + "0123456789ABCDEF"[c >> 4] +
                          "0123456789ABCDEF"[c & 15] + "; a sample file is plain text");
      const std::size_t n = Utf8Length(line, i);
      if (n == 0) throw SampleError(at + ": the text is not UTF-8 (save the file as UTF-8)");
      // The C1 controls U+0080..U+009F are control characters as much as the C0 ones.
      const auto next = n == 2 ? static_cast<unsigned char>(line[i + 1]) : 0;
      if (c == 0xC2 && next <= 0x9F)
        throw SampleError(at + ": control character U+00" + "0123456789ABCDEF"[next >> 4] +
                          "0123456789ABCDEF"[next & 15] + "; a sample file is plain text");
      i += n;
    }
    if (line.size() > kLongestLine)
      throw SampleError(at + ": the line is longer than " + std::to_string(kLongestLine) +
                        " characters");
    lines.push_back(line);
  }
  return lines;
}
}  // namespace

SampleFile LoadSample(const std::filesystem::path& path) {
  Parse parse;
  parse.where = "the sample file " + path.string();
  const std::string content = ReadLimited(path, parse.where);
  parse.lines = TextLines(content, parse.where);
  const int result = ini_parse_stream(NextLine, &parse, OnKey, &parse);
  // inih goes on after a line it cannot parse: whichever fault comes first is reported.
  if (!parse.error.empty() && (result <= 0 || static_cast<std::size_t>(result) >= parse.error_line))
    throw SampleError(parse.error);
  if (result > 0)
    throw SampleError(parse.At(static_cast<std::size_t>(result)) +
                      ": not a [section], a key = value line or a comment");
  if (result < 0) throw SampleError("cannot parse " + parse.where);
  return std::move(parse.sample);
}

void ApplySample(const SampleFile& sample, form::Form1& form) {
  for (int box = 1; box <= form::kBoxCount; ++box)
    form.Text(box).text = sample.box[static_cast<std::size_t>(box)];
}

engine::Sample TypedSample(const SampleFile& sample, const std::filesystem::path& path,
                           bool separation_optional) {
  const std::string where = "the sample file " + path.string();
  const auto number = [&](int box) {
    const std::string& text = sample.box[static_cast<std::size_t>(box)];
    if (const auto value = form::ParseNumber(text)) return *value;
    const std::string key(form::BoxKey(box));
    throw SampleError(
        where + ": " +
        (text.empty() ? key + " is not given" : key + " = " + form::NumberProblem(text)));
  };
  // The order in which the window reads its boxes, so that the first bad value is named.
  number(form::kPhBox);
  number(form::kSteamH2sBox);
  for (int box = 1; box <= engine::kComponentCount; ++box) {
    number(box);
    if (box == engine::ComponentIndex("CO3(2-)").value() + 1) number(form::kSteamCo2Box);
  }
  number(form::kWaterBox);
  form::CalculationInput boxes;
  boxes.box = sample.box;
  boxes.option1 = true;
  engine::Sample s = form::SampleFromBoxes(boxes);
  s.id = path.stem().string();
  if (separation_optional && sample.box[form::kSeparationBox].empty()) {
    s.separation_temperature = 100.0;
    s.separation_given = false;
  } else {
    s.separation_temperature = number(form::kSeparationBox);
  }
  if (sample.ph_temperature.empty()) {
    s.ph_temperature = number(form::kCalculationBox);
  } else {
    const auto t = form::ParseNumber(sample.ph_temperature);
    if (!t || !std::isfinite(*t)) {
      throw SampleError(where + ": ph_temperature = " + form::NumberProblem(sample.ph_temperature));
    }
    s.ph_temperature = *t;
  }
  return s;
}

engine::Sample LoadTypedSample(const std::filesystem::path& path, bool separation_optional) {
  return TypedSample(LoadSample(path), path, separation_optional);
}

}  // namespace geofluid::sample
