#include "form/analysis_input.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "form/calculation.h"
#include "form/form1.h"
#include "form/number_text.h"
#include "platform/errors.h"
#include "platform/fp_status.h"

namespace geofluid::form {

double BoxNumber(const std::array<std::string, 19>& box, int index) {
  const std::string& text = box[static_cast<std::size_t>(index)];
  if (const auto value = ParseNumber(text)) return *value;
  throw ConversionError("Text" + std::to_string(index) + " (" + std::string(BoxLabel(index)) +
                        "): " + NumberProblem(text));
}

std::string NumberProblem(const std::string& text) {
  std::string problem;
  if (text.empty()) {
    problem = "the box is empty, not a number";
  } else {
    // A pasted page of text is not repeated whole in the message.
    constexpr std::size_t kShown = 40;
    std::size_t cut = std::min(text.size(), kShown);
    while (cut > 0 && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
      --cut;  // not inside a UTF-8 character
    }
    const std::string shown = cut < text.size() ? text.substr(0, cut) + "..." : text;
    problem = "\"" + shown + "\" is not a number";
    if (OutOfRange(text)) problem += " (out of the range of a double)";
  }
  return problem;
}

Analysis ReadAnalysis(const std::array<std::string, 19>& box, double steam_fraction) {
  CalculationInput input;
  input.box = box;
  const engine::Sample sample = SampleFromBoxes(input);
  Analysis a;
  a.totals = engine::TotalFluid(sample, steam_fraction);
  a.vapour_co2 = sample.steam_co2;
  a.vapour_h2s = sample.steam_h2s;
  return a;
}

}  // namespace geofluid::form
