#pragma once

#include <array>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "platform/errors.h"

namespace geofluid::form {
class Form1;
}

namespace geofluid::sample {

// A sample file that cannot be used: the message names the file and, where it applies, the line.
class SampleError : public Error {
 public:
  using Error::Error;
};

// The box texts of a sample file, as typed: [1..18] for Text1 .. Text18; a key the file does
// not give is an empty box.
struct SampleFile {
  std::array<std::string, 19> box{};
  // [temperature] ph_temperature: where the pH was measured, for the temperature sweeps; empty
  // when not given (the pH then counts as measured at `calculation`). The window does not use it.
  std::string ph_temperature;
  // [errors]: the errors of the inputs for an uncertainty run, as written (the uncertainty
  // layer reads them), in file order.
  struct Error {
    std::string key;
    std::string value;
    std::size_t line = 0;
  };
  std::vector<Error> errors;
};

inline constexpr std::string_view kPhTemperatureKey = "ph_temperature";

// Reads an INI sample: [hot-water] with the labels of Text1 .. Text14, [steam] with CO2 and
// H2S, [temperature] with calculation, separation and optionally ph_temperature, optionally
// [errors]. Throws SampleError.
SampleFile LoadSample(const std::filesystem::path& path);

// The sample as the calculation takes it, each value read as the window reads its box, checked
// in the window's order. The pH counts as measured at ph_temperature, or at `calculation` when
// the file does not say. An empty separation temperature is 100 °C, not given (so no reservoir
// liquid), where `separation_optional`; otherwise, like any value that is not a number, a
// SampleError naming the file and the sample file's key ("Mg"), never a window's box.
engine::Sample TypedSample(const SampleFile& sample, const std::filesystem::path& path,
                           bool separation_optional = false);
// LoadSample and TypedSample.
engine::Sample LoadTypedSample(const std::filesystem::path& path, bool separation_optional = false);

// Puts the sample's texts into the boxes of the window model, as a user would type them.
void ApplySample(const SampleFile& sample, form::Form1& form);

}  // namespace geofluid::sample
