// The bundled example water as a typed sample, and a typed sample typed into the window's boxes:
// shared by the tests that hold the engine and its layers against the window.
#pragma once

#include <cstdio>
#include <string>

#include "engine/engine.h"
#include "form/calculation.h"

namespace geofluid::testing {

// examples/nacl-water.ini in molalities.
inline engine::Sample TypedNaClWater() {
  engine::Sample s;
  s.id = "nacl-water";
  s.component = {0.01, 0.04, 0.004, 0.0005, 1e-5, 5e-6, 2e-5, 0.002, 0.0004, 0.0002, 0.04, 5e-5};
  s.water = 55.51;
  s.steam_co2 = 0.02;
  s.steam_h2s = 0.002;
  s.ph = 8.5;
  s.ph_temperature = 25;
  s.separation_temperature = 100;
  return s;
}

// The sample's values in the boxes (texts that read back to the same doubles), run at `t`.
inline form::CalculationInput BoxesOf(const engine::Sample& s, thermo::DatasetId d, bool option1,
                                      double t) {
  auto text = [](double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return std::string(buffer);
  };
  form::CalculationInput in;
  in.dataset = d;
  for (int c = 1; c <= 12; ++c) in.box[static_cast<std::size_t>(c)] = text(s.component[c - 1]);
  in.box[13] = text(s.ph);
  in.box[14] = text(s.water);
  in.box[15] = text(s.steam_co2);
  in.box[16] = text(s.steam_h2s);
  in.box[17] = text(t);
  in.box[18] = text(s.separation_temperature);
  in.option1 = option1;
  return in;
}

}  // namespace geofluid::testing
