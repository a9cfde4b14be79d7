#include "form/calculation.h"

#include <string>

#include "form/analysis_input.h"
#include "platform/errors.h"
#include "platform/fp_status.h"
#include "steam/steam_fraction.h"
#include "thermo/thermo_storage.h"

namespace geofluid::form {

engine::Sample SampleFromBoxes(const CalculationInput& input) {
  engine::Sample s;
  const auto& box = input.box;
  if (input.option1) s.ph = BoxNumber(box, kPhBox);
  s.steam_h2s = BoxNumber(box, kSteamH2sBox);
  for (int i = 1; i <= 12; ++i) {
    s.component[static_cast<std::size_t>(i - 1)] = BoxNumber(box, i);
    if (i == 8) s.steam_co2 = BoxNumber(box, kSteamCo2Box);
  }
  s.water = BoxNumber(box, kWaterBox);
  return s;
}

double WindowSteamFraction(const thermo::ThermoStorage& storage, bool option1, bool check1) {
  if (option1) return 0.0;
  const double y = steam::FractionOfSteam(storage);
  return check1 ? 0.0 : y;
}

CalculationResult Calculate(const CalculationInput& input,
                            const std::function<void()>& on_non_convergence,
                            engine::Search search) {
  const engine::Dataset& dataset = engine::Dataset::Of(input.dataset);
  const double t = BoxNumber(input.box, kCalculationBox);
  const double ts = BoxNumber(input.box, kSeparationBox);

  // The window interpolates at T and Ts together, before any analysis box is read.
  thermo::ThermoStorage storage;
  storage.calculation_temperature = t;
  storage.separation_temperature = ts;
  platform::ClearFpFaults();
  storage.InterpolateTables();
  platform::CheckFp("the interpolation of the tables to " + input.box[kCalculationBox] + " / " +
                    input.box[kSeparationBox] + " °C");
  auto conditions =
      std::make_shared<const engine::Conditions>(engine::ConditionsFrom(dataset, storage));
  platform::CheckFp("the equilibrium constants at " + input.box[kCalculationBox] + " °C");

  const double y = WindowSteamFraction(storage, input.option1, input.check1 == 1);
  platform::CheckFp("the fraction of steam");

  engine::Sample sample = SampleFromBoxes(input);
  sample.ph_temperature = t;
  sample.separation_temperature = ts;
  engine::Hooks hooks;
  hooks.on_non_convergence = on_non_convergence;
  hooks.search = search;

  CalculationResult r;
  static_cast<engine::Evaluation&>(r) = engine::Evaluate(
      sample, conditions, y,
      input.option1 ? std::nullopt : std::optional<double>(input.stored_toth), hooks);
  r.temperature_text = input.box[kCalculationBox];
  return r;
}

}  // namespace geofluid::form
