#include "saturation/saturation_index.h"

#include <cfenv>
#include <cmath>
#include <string>

#include "platform/errors.h"
#include "platform/fp_status.h"

namespace geofluid::saturation {

double SaturationDivisor(thermo::Dataset dataset) {
  return thermo::CatalogueOf(dataset).si_divisor;
}

std::array<double, thermo::kMineralSlots> SaturationIndices(
    const std::array<double, thermo::kMaxSpecies + 1>& activity,
    const thermo::EquilibriumConstants& constants) {
  const thermo::Catalogue& catalogue = thermo::CatalogueOf(constants.dataset);
  const double divisor = catalogue.si_divisor;
  std::array<double, thermo::kMineralSlots> si{};
  for (int m = 1; m <= catalogue.mineral_count; ++m) {
    const thermo::IapDefinition& iap_def = catalogue.iap[m - 1];
    platform::ClearFpFaults();
    double iap = 1.0;
    for (int t = 0; t < iap_def.count; ++t) {
      const thermo::Term& term = iap_def.terms[t];
      iap *= term.coefficient == 1.0 ? activity[term.species]
                                     : std::pow(activity[term.species], term.coefficient);
    }
    const double ratio = iap / constants.mineral_k[m];
    if (ratio > 0.0 && std::isnormal(ratio)) {
      si[m] = std::log(ratio) / divisor;
    } else {
      // The product left the range of a double although every activity is positive: the same
      // index from the logarithms of the factors.
      std::feclearexcept(FE_ALL_EXCEPT);
      double log_ratio = -std::log(constants.mineral_k[m]);
      for (int t = 0; t < iap_def.count; ++t) {
        const thermo::Term& term = iap_def.terms[t];
        log_ratio += term.coefficient * std::log(activity[term.species]);
      }
      si[m] = log_ratio / divisor;
    }
    if (platform::FpFaultRaised() || !std::isfinite(si[m])) {
      std::feclearexcept(FE_ALL_EXCEPT);
      throw ArithmeticError("arithmetic error in the saturation index of " +
                            std::string(thermo::TrimmedName(catalogue.MineralLabel(m))) +
                            ": its ion activity product is not positive and finite");
    }
  }
  return si;
}

}  // namespace geofluid::saturation
