#include "speciation/solver.h"

#include <cfenv>
#include <cmath>
#include <string>

#include "platform/errors.h"
#include "platform/fp_status.h"
#include "speciation/dataset_model.h"
#include "speciation/iteration.h"

namespace geofluid::speciation {

Speciation Speciate(const Totals& totals, double ph, const thermo::EquilibriumConstants& constants,
                    const ActivityModel& model, const std::function<void()>& on_pass_limit) {
  Iteration iteration(constants, model);
  iteration.Start(totals, ph);
  Iteration::State state;
  while ((state = iteration.Pass()) == Iteration::State::kContinue) {
  }
  // The passes leave the status clear of faults; only the caller's code may raise one.
  if (state == Iteration::State::kPassLimit && on_pass_limit) {
    on_pass_limit();
    platform::ClearFpFaults();
  }

  return FinishSpeciation(constants, model, iteration.PassCounter(),
                          state == Iteration::State::kConverged, iteration.Scaled(),
                          iteration.RecomputedTotals());
}

Speciation FinishSpeciation(const thermo::EquilibriumConstants& constants,
                            const ActivityModel& model, int passes, bool converged,
                            const std::array<double, thermo::kMaxSpecies + 1>& molality,
                            const std::array<double, thermo::kBasisCount + 1>& tnew) {
  const DatasetModel& d = ModelOf(constants.dataset);
  const int last = d.species_count;
  Speciation r;
  r.passes = passes;
  r.converged = converged;
  r.molality = molality;
  r.tnew = tnew;

  r.ionic_strength = IonicStrength(*d.catalogue, r.molality.data(), 1, last);
  std::array<double, thermo::kMaxSpecies + 1> group_gamma;
  ActivityCoefficients(model, d.group_charge.data(), d.group_size.data(), d.group_count,
                       r.ionic_strength, group_gamma.data());
  for (int i = 1; i <= last; ++i) r.gamma[i] = group_gamma[d.group[i]];
  r.gamma[thermo::kWater] =
      ActivityCoefficient(model, d.catalogue->Charge(thermo::kWater),
                          d.catalogue->IonSize(thermo::kWater), r.ionic_strength);
  // FinalActivities: water's activity is exactly 1 whatever its coefficient.
  for (int i = 1; i <= last; ++i) r.activity[i] = r.molality[i] * r.gamma[i];
  r.activity[thermo::kWater] = 1.0;
  r.tnew[thermo::kHydrogen] = TotalHydrogen(constants.dataset, r);
  platform::CheckFp("the final activities and TOTH of the speciation");
  return r;
}

double TotalHydrogen(thermo::DatasetId dataset, const Speciation& result) {
  return TotalHydrogen(dataset, result.molality);
}

double TotalHydrogen(thermo::DatasetId dataset,
                     const std::array<double, thermo::kMaxSpecies + 1>& molality) {
  const DatasetModel& d = ModelOf(dataset);
  double sum = 0.0;
  for (int k = thermo::kFirstComplex; k <= d.species_count; ++k) {
    if (d.hydrogen[k] != 0.0) sum += d.hydrogen[k] * molality[k];
  }
  return molality[thermo::kHydrogen] + sum;
}

double TothTarget(thermo::DatasetId dataset, double stored_toth, double steam_fraction,
                  double vapour_co2, double vapour_h2s) {
  const double y = steam_fraction;
  // Two hydrogens per CO2 and the dataset's count per H2S. With two per H2S this is
  // 2 y (CO2 + H2S) bit for bit: doubling is exact.
  const double h2s_hydrogens = thermo::CatalogueOf(dataset).sulfide_hydrogens;
  return (1.0 - y) * stored_toth + y * (2.0 * vapour_co2 + h2s_hydrogens * vapour_h2s);
}

bool FindPhForToth::Next(double mismatch) {
  ++trials_;
  if (mismatch == 0.0) return false;
  const bool above = mismatch > 0.0;
  const bool even = stage_ % 2 == 0;
  // Even stages step down while D > 0, odd stages step up while D < 0; a change of sign moves
  // to the next stage with a ten times smaller step.
  if (even == above) {
    static constexpr double kStep[10] = {1, 0.1, 0.01, 0.001, 0.0001, 1e-5, 1e-6, 1e-7, 1e-8, 1e-9};
    ph_ = even ? ph_ - kStep[stage_] : ph_ + kStep[stage_];
  } else {
    if (stage_ == 9) return false;
    ++stage_;
  }
  if (trials_ >= kTrialLimit) {
    throw SearchError("the pH search found no pH matching the stored TOTH within " +
                      std::to_string(kTrialLimit) + " trials");
  }
  return true;
}

}  // namespace geofluid::speciation
