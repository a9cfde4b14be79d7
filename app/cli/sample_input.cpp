#include "sample_input.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "form/analysis_input.h"
#include "form/calculation.h"
#include "form/number_text.h"
#include "platform/errors.h"
#include "sample_file.h"

namespace geofluid::cli {

bool IsIni(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return ext == ".ini";
}

engine::Sample SampleFromFile(const std::string& path) {
  const sample::Sample file = sample::LoadSample(path);
  form::CalculationInput in;
  in.box = file.box;
  in.option1 = true;
  engine::Sample s = form::SampleFromBoxes(in);
  s.id = std::filesystem::path(path).stem().string();
  s.separation_temperature = form::BoxNumber(in.box, 18);
  if (file.ph_temperature.empty()) {
    s.ph_temperature = form::BoxNumber(in.box, 17);
  } else {
    const auto t = form::ParseNumber(file.ph_temperature);
    if (!t || !std::isfinite(*t)) {
      throw ConversionError("the sample file " + path + ": ph_temperature \"" +
                            file.ph_temperature.substr(0, 40) + "\" is not a number");
    }
    s.ph_temperature = *t;
  }
  return s;
}

}  // namespace geofluid::cli
