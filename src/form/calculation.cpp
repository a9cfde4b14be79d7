#include "form/calculation.h"

#include <string>

#include "form/analysis_input.h"
#include "platform/errors.h"
#include "platform/fp_status.h"
#include "saturation/saturation_index.h"
#include "steam/steam_fraction.h"
#include "thermo/thermo_storage.h"

namespace geofluid::form {

CalculationResult Calculate(const CalculationInput& input,
                            const std::function<void()>& on_non_convergence) {
  CalculationResult r;
  r.dataset = input.dataset;
  r.temperature_text = input.box[17];
  r.calculation_temperature = BoxNumber(input.box, 17);
  r.separation_temperature = BoxNumber(input.box, 18);

  thermo::ThermoStorage storage;
  storage.calculation_temperature = r.calculation_temperature;
  storage.separation_temperature = r.separation_temperature;
  platform::ClearFpFaults();
  storage.LoadSupcrtAqueousGibbs();
  storage.LoadSupcrtMineralGibbs();
  storage.LoadSolveqAqueousLogK();
  storage.SolveqMineralLogK();
  storage.LoadWaterTables();
  storage.InterpolateTables();
  platform::CheckFp("the interpolation of the tables to " + input.box[17] + " / " + input.box[18] +
                    " °C");
  r.constants = thermo::ConstantsFor(input.dataset, storage);
  platform::CheckFp("the equilibrium constants at " + input.box[17] + " °C");

  r.fraction_of_steam = steam::FractionOfSteam(storage, input.option1, input.check1 == 1);
  platform::CheckFp("the fraction of steam");

  const speciation::ActivityModel model{storage.debye_huckel_a, storage.debye_huckel_b,
                                        storage.bdot};
  auto pass_limit = [&] {
    ++r.non_convergences;
    if (on_non_convergence) on_non_convergence();
  };

  speciation::FindPhForToth search;
  r.ph = input.option1 ? BoxNumber(input.box, 13) : search.Ph();
  for (;;) {
    const Analysis analysis = ReadAnalysis(input.box, r.fraction_of_steam);
    r.totals = analysis.totals;
    r.speciation = speciation::Speciate(r.totals, r.ph, r.constants, model, pass_limit);
    ++r.trials;
    if (input.option1) {
      r.toth = r.speciation.tnew[thermo::kHydrogen];
      break;
    }
    platform::ClearFpFaults();
    r.toth = speciation::TothTarget(input.dataset, input.stored_toth, r.fraction_of_steam,
                                    analysis.vapour_co2, analysis.vapour_h2s);
    const double mismatch = r.toth - r.speciation.tnew[thermo::kHydrogen];
    platform::CheckFp("the TOTH of the pH search");
    if (!search.Next(mismatch)) break;
    r.ph = search.Ph();
  }

  r.saturation_index = saturation::SaturationIndices(r.speciation.activity, r.constants);
  return r;
}

}  // namespace geofluid::form
