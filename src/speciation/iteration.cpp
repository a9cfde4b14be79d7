#include "speciation/iteration.h"

#include <cfenv>
#include <cmath>
#include <string>

#include "platform/errors.h"
#include "platform/fp_status.h"
#include "speciation/dataset_model.h"

namespace geofluid::speciation {

namespace {

std::string DatasetTitle(thermo::DatasetId d) { return std::string(thermo::CatalogueOf(d).title); }

// The amount of a component held in complexes, in the order of its balance.
inline double Complexed(const thermo::BalanceDefinition& balance,
                        const Iteration::SpeciesVector& molality) {
  double sum = 0.0;
  for (int t = 0; t < balance.count; ++t) {
    sum += balance.terms[t].coefficient * molality[balance.terms[t].species];
  }
  return sum;
}

}  // namespace

Iteration::Iteration(const thermo::EquilibriumConstants& constants, const ActivityModel& model,
                     double tolerance)
    : constants_(constants),
      model_(model),
      dataset_(constants.dataset),
      count_(ModelOf(constants.dataset).species_count),
      tolerance_(tolerance),
      near_(tolerance > kTolerance) {}

void Iteration::Fail(const char* step) const {
  const char* fault = platform::RaisedFpFault();
  std::feclearexcept(FE_ALL_EXCEPT);
  std::string where = std::string(step) + " of pass " + std::to_string(n_) + " of the " +
                      DatasetTitle(dataset_) + " speciation";
  if (n_ > 1) {
    throw ArithmeticError("the " + DatasetTitle(dataset_) + " speciation diverged at pass " +
                          std::to_string(n_) + ": arithmetic error (" + fault + ") in " + step);
  }
  throw ArithmeticError(std::string("arithmetic error (") + fault + ") in " + where);
}

void Iteration::Start(const Totals& totals, double ph) {
  t_ = totals;
  n_ = 1;
  m_.fill(0.0);
  mp_.fill(0.0);  // row 1 holds no scaled values: no complexes yet
  platform::ClearFpFaults();
  for (int c = 1; c <= 12; ++c) m_[c] = t_[c];
  m_[thermo::kHydrogen] = std::pow(10.0, -ph);
  m_[thermo::kWater] = t_[thermo::kWater];
  if (platform::FpFaultRaised() || m_[thermo::kHydrogen] == 0.0) {
    std::feclearexcept(FE_ALL_EXCEPT);
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", ph);
    throw ArithmeticError(std::string("arithmetic error in the start values of the ") +
                          DatasetTitle(dataset_) + " speciation: 10^(-pH) is out of range for pH " +
                          text);
  }
}

void Iteration::Resume(const Totals& totals, const SpeciesVector& m, const SpeciesVector& mp,
                       int n) {
  t_ = totals;
  n_ = n;
  m_ = m;
  mp_ = mp;
}

Iteration::State Iteration::Pass() {
  // Reading the status after every step, and clearing it for every pass, cost about a fifth
  // of a sweep. The pass runs unchecked, and only a pass that raised a fault runs again with
  // the checks, which name the step: both runs compute the same from the same rows, so the
  // fault and the message are those of the checked run. Start leaves the status clear and a
  // fault never passes a pass, so a pass begins with none raised.
  State state = near_ ? Compute<false, true>() : Compute<false, false>();
  if (platform::FpFaultRaised()) {
    platform::ClearFpFaults();
    state = near_ ? Compute<true, true>() : Compute<true, false>();
    platform::ClearFpFaults();
  }
  if (state != State::kContinue) return state;
  for (int i = 1; i <= thermo::kHydrogen; ++i) m_[i] = mp_next_[i];
  mp_ = mp_next_;
  ++n_;
  return state;
}

template <bool kChecked>
void Iteration::Check(const char* step) const {
  if constexpr (kChecked) {
    if (platform::FpFaultRaised()) Fail(step);
  }
}

// One pass from rows n and n + 1 as they stand; it changes nothing the next run of the same
// pass reads.
template <bool kChecked, bool kNear>
Iteration::State Iteration::Compute() {
  const DatasetModel& d = ModelOf(dataset_);
  const int last = count_;
  constexpr int kH = thermo::kHydrogen;
  constexpr int kW = thermo::kWater;

  m_[kW] = t_[kW];

  double basis = 0.0;
  for (int i = 1; i <= kW; ++i) basis += m_[i] * d.z2[i];
  double complexes = 0.0;
  for (int k = thermo::kFirstComplex; k <= last; ++k) complexes += mp_[k] * d.z2[k];
  const double ionic_strength = 0.5 * basis + 0.5 * complexes;
  Check<kChecked>("the ionic strength");

  std::array<double, thermo::kMaxSpecies + 1> group_gamma;
  ActivityCoefficients(model_, d.group_charge.data(), d.group_size.data(), d.group_count,
                       ionic_strength, group_gamma.data(), kNear);
  for (int i = 1; i <= last; ++i) gamma_[i] = group_gamma[d.group[i]];
  Check<kChecked>("the activity coefficients");
  // Water is not given the formula inside the passes: its activity gamma * T14 is 1.
  gamma_[kW] = 1.0 / t_[kW];
  if (kChecked && platform::FpFaultRaised()) {
    std::feclearexcept(FE_ALL_EXCEPT);
    throw ArithmeticError(std::string("arithmetic error (division by zero) in the activity "
                                      "coefficient of water of the ") +
                          DatasetTitle(dataset_) + " speciation: water (H2O) is 0");
  }

  for (int c = 1; c <= 12; ++c) a_[c] = m_[c] * gamma_[c];
  // Only the first pass sees the hydrogen activity 10^-pH itself.
  a_[kH] = n_ == 1 ? m_[kH] : m_[kH] * gamma_[kH];
  a_[kW] = gamma_[kW] * t_[kW];
  for (int k = thermo::kFirstComplex; k <= last; ++k) a_[k] = mp_[k] * gamma_[k];
  Check<kChecked>("the activities");

  constexpr int kPower = DatasetModel::kFirstPower;
  for (int j = 0; j < d.power_count; ++j) {
    const double x = a_[d.powers[j].species];
    a_[kPower + j] = kNear ? d.powers[j].raise.Near(x) : d.powers[j].raise(x);
  }
  for (int r = 0; r < d.reciprocal_count; ++r)
    a_[kPower + DatasetModel::kMaxPowers + r] = 1.0 / a_[d.reciprocal_of[r]];
  for (int k = thermo::kFirstComplex; k <= last; ++k) {
    const std::array<int, 5>& slot = d.factor_slot[k - thermo::kFirstComplex];
    const int factors = d.complexes[k - thermo::kFirstComplex].factor_count;
    double product = 1.0;
    for (int f = 0; f < factors; ++f) product *= a_[slot[f]];
    m_next_[k] = product / (constants_.aqueous_k[k] * gamma_[k]);
  }
  Check<kChecked>("the complex molalities");

  for (int c = 1; c <= 12; ++c) tcalc_next_[c] = Complexed(d.balances[c - 1], m_next_) + m_[c];
  tcalc_next_[kW] = t_[kW];
  Check<kChecked>("the calculated totals");

  for (int c = 1; c <= 12; ++c) mp_next_[c] = m_[c] * t_[c] / tcalc_next_[c];
  mp_next_[kH] = a_[kH] / gamma_[kH];
  mp_next_[kW] = m_[kW];
  for (int k = thermo::kFirstComplex; k <= last; ++k) {
    const int c = d.complexes[k - thermo::kFirstComplex].scaling_component;
    mp_next_[k] = c == 0 ? m_next_[k] : m_next_[k] * t_[c] / tcalc_next_[c];
  }
  Check<kChecked>("the ratio update");

  for (int c = 1; c <= 12; ++c) tnew_[c] = mp_next_[c] + Complexed(d.balances[c - 1], mp_next_);
  Check<kChecked>("the recomputed totals");

  if (n_ > kPassLimit) return State::kPassLimit;

  for (int i = 1; i <= last; ++i) {
    if (mp_next_[i] < kFloor) mp_next_[i] = kFloor;
  }

  bool converged = true;
  for (int i = 1; i <= last && converged; ++i) {
    converged = !(std::fabs((mp_next_[i] - mp_[i]) / mp_next_[i]) > tolerance_);
  }
  Check<kChecked>("the convergence test");
  return converged ? State::kConverged : State::kContinue;
}

}  // namespace geofluid::speciation
