#include "io/text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace geofluid::io {

namespace {

// to_chars into a buffer large enough for any double in the layout asked for (%.17f of 1e308
// has 327 characters).
template <typename... Layout>
std::string Chars(double value, Layout... layout) {
  char buffer[400];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, layout...);
  if (error != std::errc()) return "?";
  return std::string(buffer, end);
}

}  // namespace

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<double> ParseNumber(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  // from_chars takes no leading '+', which spreadsheets sometimes write.
  if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

void AppendShortest(std::string& out, double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

std::string Shortest(double value) {
  std::string out;
  AppendShortest(out, value);
  return out;
}

std::string ShortestGeneral(double value) {
  std::string text;
  for (int digits = 15; digits <= 17; ++digits) {
    text = Chars(value, std::chars_format::general, digits);
    double back = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    if (back == value) break;
  }
  return text;
}

std::string Fixed(double value, int decimals) {
  return Chars(value, std::chars_format::fixed, decimals);
}

std::string General(double value, int precision) {
  return Chars(value, std::chars_format::general, precision);
}

std::string Scientific(double value, int decimals) {
  return Chars(value, std::chars_format::scientific, decimals);
}

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t code = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      length = 2;
      code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3;
      code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto d = static_cast<unsigned char>(text[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      code = (code << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((length == 2 && code < 0x80) || (length == 3 && code < 0x800) ||
        (length == 4 && code < 0x10000) || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

namespace {

// The length of the well-formed UTF-8 sequence at text[i], 0 when it is not one.
std::size_t SequenceAt(std::string_view text, std::size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) return 1;
  const std::size_t length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
  if (i + length > text.size() || !IsValidUtf8(text.substr(i, length))) return 0;
  return length;
}

void AppendByte(std::string& out, unsigned char c) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
  out += escaped;
}

}  // namespace

std::string QuoteCell(std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::string out = "\"";
  std::size_t shown = 0;
  std::size_t i = 0;
  for (; i < text.size() && shown < kShown; ++shown) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = SequenceAt(text, i);
    if (length == 0 || c < 0x20 || c == 0x7F) {
      AppendByte(out, c);
      ++i;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  out += i < text.size() ? "...\"" : "\"";
  return out;
}

std::string EscapeLabel(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = SequenceAt(text, i);
    if (length == 0 || c < 0x20 || c == 0x7F) {
      AppendByte(out, c);
      ++i;
    } else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      // U+0080-U+009F: C1 controls (NEL among them ends a line for some readers).
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned char>(text[i + 1]));
      out += escaped;
      i += 2;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace geofluid::io
