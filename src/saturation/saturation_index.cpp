#include "saturation/saturation_index.h"

#include <cfenv>
#include <cmath>
#include <string>

#include "platform/errors.h"
#include "platform/fp_status.h"

namespace geofluid::saturation {

double SaturationDivisor(thermo::DatasetId dataset) {
  return thermo::CatalogueOf(dataset).si_divisor;
}

namespace {

// The product of the activities as the table has it, over the constant.
double IapRatio(const thermo::IapDefinition& iap_def,
                const std::array<double, thermo::kMaxSpecies + 1>& activity, double k) {
  double iap = 1.0;
  for (int t = 0; t < iap_def.count; ++t) {
    const thermo::Term& term = iap_def.terms[t];
    iap *= term.coefficient == 1.0 ? activity[term.species]
                                   : std::pow(activity[term.species], term.coefficient);
  }
  return iap / k;
}

}  // namespace

std::array<double, thermo::kMineralSlots> SaturationIndices(
    const std::array<double, thermo::kMaxSpecies + 1>& activity,
    const thermo::EquilibriumConstants& constants) {
  const thermo::Catalogue& catalogue = thermo::CatalogueOf(constants.dataset);
  const double divisor = catalogue.si_divisor;
  std::array<double, thermo::kMineralSlots> si{};
  // Clearing and reading the status for every mineral cost more than the indices of a
  // carried point. Every index is computed unchecked first; where one raised a fault or left
  // the range of a double, the minerals are computed again one by one with the checks, which
  // give the same values and name the mineral.
  platform::ClearFpFaults();
  bool clean = true;
  for (int m = 1; m <= catalogue.mineral_count && clean; ++m) {
    const double ratio = IapRatio(catalogue.iap[m - 1], activity, constants.mineral_k[m]);
    clean = ratio > 0.0 && std::isnormal(ratio);
    si[m] = std::log(ratio) / divisor;
  }
  if (clean && !platform::FpFaultRaised()) return si;

  for (int m = 1; m <= catalogue.mineral_count; ++m) {
    const thermo::IapDefinition& iap_def = catalogue.iap[m - 1];
    platform::ClearFpFaults();
    const double ratio = IapRatio(iap_def, activity, constants.mineral_k[m]);
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
