#include "form/analysis_input.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "form/form1.h"
#include "form/number_text.h"
#include "platform/errors.h"
#include "platform/fp_status.h"

namespace geofluid::form {

double BoxNumber(const std::array<std::string, 19>& box, int index) {
  const std::string& text = box[static_cast<std::size_t>(index)];
  if (const auto value = ParseNumber(text)) return *value;
  const std::string label(BoxLabel(index));
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
  throw ConversionError("Text" + std::to_string(index) + " (" + label + "): " + problem);
}

Analysis ReadAnalysis(const std::array<std::string, 19>& box, double steam_fraction) {
  const double f = steam_fraction;
  Analysis a;
  // The vapour CO2 is converted where it is used, with the carbonate.
  a.vapour_h2s = BoxNumber(box, 16);
  auto& t = a.totals;
  platform::ClearFpFaults();
  for (int i = 1; i <= 12; ++i) {
    const double x = BoxNumber(box, i);
    if (i == 8) {
      a.vapour_co2 = BoxNumber(box, 15);
      t[i] = x * (1.0 - f) + a.vapour_co2 * f;
    } else if (i == 10) {
      t[i] = x * (1.0 - f) + f * a.vapour_h2s;
    } else {
      t[i] = x * (1.0 - f);
    }
    if (platform::FpFaultRaised()) {
      platform::CheckFp("the total of Text" + std::to_string(i) + " (" + std::string(BoxLabel(i)) +
                        ")");
    }
  }
  t[13] = std::pow(10.0, -9.05);
  t[14] = BoxNumber(box, 14);
  for (int i = 1; i <= 12; ++i) {
    if (t[i] == 0.0) t[i] = kZeroTotal;
  }
  return a;
}

}  // namespace geofluid::form
