#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The window as a fuzz input: byte 0 the options (bit 0 Option1, bit 1 Option2, bit 2 a click
// on Check1), byte 1 the dataset (bit 0: SUPCRT98), then the texts of Text1 .. Text18 and the
// last line of the hand-over file, one per line. Missing lines are empty boxes.
struct BoxInput {
  bool option1 = false;
  bool option2 = false;
  bool check1_click = false;
  bool supcrt = false;
  std::array<std::string, 19> box{};  // [1..18]
  std::string stored_line;
};

inline BoxInput SplitBoxInput(const std::uint8_t* data, std::size_t size) {
  BoxInput in;
  if (size < 2) return in;
  in.option1 = (data[0] & 1) != 0;
  in.option2 = (data[0] & 2) != 0;
  in.check1_click = (data[0] & 4) != 0;
  in.supcrt = (data[1] & 1) != 0;
  std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  for (int field = 1; field <= 19 && !rest.empty(); ++field) {
    const std::size_t end = rest.find('\n');
    const std::string_view text = rest.substr(0, end);
    if (field <= 18)
      in.box[static_cast<std::size_t>(field)] = std::string(text);
    else
      in.stored_line = std::string(text);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  return in;
}
