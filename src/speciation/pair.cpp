#include "speciation/pair.h"

#include <cmath>
#include <cstddef>
#include <vector>

#include "platform/errors.h"
#include "platform/fp_status.h"
#include "speciation/dataset_model.h"
#include "speciation/iteration.h"

namespace geofluid::speciation {

namespace {

// Two doubles, one per speciation; arithmetic on it is lane by lane, a scalar operand taken in
// both lanes.
using Two = double __attribute__((vector_size(16)));
using Row = std::array<Two, thermo::kMaxSpecies + 1>;

inline Two Both(double x) { return Two{x, x}; }

// One lane of a row.
template <std::size_t N>
std::array<double, N> LaneOf(const std::array<Two, N>& row, int lane) {
  std::array<double, N> r;
  for (std::size_t i = 0; i < N; ++i) r[i] = row[i][lane];
  return r;
}

// The passes of Iteration::Compute, unchecked, on two rows of the same totals, each lane at its
// own pass. Iteration's comments say why each step is as it is; this is its arithmetic, lane by
// lane.
class PairIteration {
 public:
  PairIteration(const thermo::EquilibriumConstants& constants, const ActivityModel& model,
                const Totals& totals)
      : d_(ModelOf(constants.dataset)), constants_(constants), model_(model), t_(totals) {}

  // Row 1 of a lane, as Iteration::Start; false where 10^-pH is 0.
  bool Start(int lane, double ph) {
    for (auto* row : {&m_, &mp_}) {
      for (Two& x : *row) x[lane] = 0.0;
    }
    for (int c = 1; c <= 12; ++c) m_[c][lane] = t_[c];
    m_[thermo::kHydrogen][lane] = std::pow(10.0, -ph);
    m_[thermo::kWater][lane] = t_[thermo::kWater];
    n_[lane] = 1;
    return m_[thermo::kHydrogen][lane] != 0.0;
  }

  // One pass; per lane whether it ended (converged or at the pass limit).
  std::array<Iteration::State, 2> Pass();
  void Commit() {
    for (int i = 1; i <= thermo::kHydrogen; ++i) m_[i] = mp_next_[i];
    mp_ = mp_next_;
    ++n_[0];
    ++n_[1];
  }
  int PassCounter(int lane) const { return n_[lane]; }
  // The rows of one lane, for an Iteration to go on from.
  Iteration::SpeciesVector Basis(int lane) const { return LaneOf(m_, lane); }
  Iteration::SpeciesVector Scaled(int lane) const { return LaneOf(mp_, lane); }
  // The new row of a lane that ended; at the pass limit, as the pass left it before the floor.
  Iteration::SpeciesVector ScaledNext(int lane) const {
    return LaneOf(n_[lane] > kPassLimit ? unfloored_ : mp_next_, lane);
  }
  Totals RecomputedTotals(int lane) const { return LaneOf(tnew_, lane); }

 private:
  Two Complexed(const thermo::BalanceDefinition& balance, const Row& molality) const {
    Two sum = Both(0.0);
    for (int t = 0; t < balance.count; ++t)
      sum += balance.terms[t].coefficient * molality[balance.terms[t].species];
    return sum;
  }

  const DatasetModel& d_;
  const thermo::EquilibriumConstants& constants_;
  ActivityModel model_;
  Totals t_;
  std::array<int, 2> n_{1, 1};
  Row m_{}, mp_{}, m_next_{}, mp_next_{}, gamma_{}, unfloored_{};
  std::array<Two, DatasetModel::kSlots> a_{};
  std::array<Two, thermo::kBasisCount + 1> tcalc_next_{}, tnew_{};
};

std::array<Iteration::State, 2> PairIteration::Pass() {
  const DatasetModel& d = d_;
  const int last = d.species_count;
  constexpr int kH = thermo::kHydrogen;
  constexpr int kW = thermo::kWater;
  constexpr int kC = thermo::kFirstComplex;

  m_[kW] = Both(t_[kW]);
  Two basis = Both(0.0);
  for (int i = 1; i <= kW; ++i) basis += m_[i] * d.z2[i];
  Two complexes = Both(0.0);
  for (int k = kC; k <= last; ++k) complexes += mp_[k] * d.z2[k];
  const Two ionic_strength = 0.5 * basis + 0.5 * complexes;

  std::array<std::array<double, thermo::kMaxSpecies + 1>, 2> group_gamma;
  for (int lane = 0; lane < 2; ++lane) {
    ActivityCoefficients(model_, d.group_charge.data(), d.group_size.data(), d.group_count,
                         ionic_strength[lane], group_gamma[lane].data());
  }
  for (int i = 1; i <= last; ++i)
    gamma_[i] = Two{group_gamma[0][d.group[i]], group_gamma[1][d.group[i]]};
  gamma_[kW] = Both(1.0 / t_[kW]);

  for (int c = 1; c <= 12; ++c) a_[c] = m_[c] * gamma_[c];
  const Two bound_h = m_[kH] * gamma_[kH];
  a_[kH] = Two{n_[0] == 1 ? m_[kH][0] : bound_h[0], n_[1] == 1 ? m_[kH][1] : bound_h[1]};
  a_[kW] = gamma_[kW] * t_[kW];
  for (int k = kC; k <= last; ++k) a_[k] = mp_[k] * gamma_[k];

  constexpr int kPower = DatasetModel::kFirstPower;
  for (int j = 0; j < d.power_count; ++j) {
    const Two x = a_[d.powers[j].species];
    a_[kPower + j] = Two{d.powers[j].raise(x[0]), d.powers[j].raise(x[1])};
  }
  for (int r = 0; r < d.reciprocal_count; ++r)
    a_[kPower + DatasetModel::kMaxPowers + r] = 1.0 / a_[d.reciprocal_of[r]];
  for (int k = kC; k <= last; ++k) {
    const std::array<int, 5>& slot = d.factor_slot[k - kC];
    const int factors = d.complexes[k - kC].factor_count;
    Two product = Both(1.0);
    for (int f = 0; f < factors; ++f) product *= a_[slot[f]];
    m_next_[k] = product / (constants_.aqueous_k[k] * gamma_[k]);
  }

  for (int c = 1; c <= 12; ++c) tcalc_next_[c] = Complexed(d.balances[c - 1], m_next_) + m_[c];
  tcalc_next_[kW] = Both(t_[kW]);

  for (int c = 1; c <= 12; ++c) mp_next_[c] = m_[c] * t_[c] / tcalc_next_[c];
  mp_next_[kH] = a_[kH] / gamma_[kH];
  mp_next_[kW] = m_[kW];
  for (int k = kC; k <= last; ++k) {
    const int c = d.complexes[k - kC].scaling_component;
    mp_next_[k] = c == 0 ? m_next_[k] : m_next_[k] * t_[c] / tcalc_next_[c];
  }

  for (int c = 1; c <= 12; ++c) tnew_[c] = mp_next_[c] + Complexed(d.balances[c - 1], mp_next_);

  std::array<Iteration::State, 2> state{};
  if (n_[0] > kPassLimit || n_[1] > kPassLimit) unfloored_ = mp_next_;

  // max(floor, x) is x where x is not below the floor, and a NaN stays one.
  for (int i = 1; i <= last; ++i) mp_next_[i] = __builtin_ia32_maxpd(Both(kFloor), mp_next_[i]);

  for (int lane = 0; lane < 2; ++lane) {
    if (n_[lane] > kPassLimit) {
      state[lane] = Iteration::State::kPassLimit;
      continue;
    }
    bool converged = true;
    for (int i = 1; i <= last && converged; ++i) {
      converged = !(std::fabs((mp_next_[i][lane] - mp_[i][lane]) / mp_next_[i][lane]) > kTolerance);
    }
    state[lane] = converged ? Iteration::State::kConverged : Iteration::State::kContinue;
  }
  return state;
}

}  // namespace

std::optional<std::vector<Speciation>> SpeciateSideBySide(
    const Totals& totals, std::span<const double> ph, const thermo::EquilibriumConstants& constants,
    const ActivityModel& model) {
  const std::size_t count = ph.size();
  if (count < 2) return std::nullopt;
  platform::ClearFpFaults();
  PairIteration pair(constants, model, totals);
  // The speciation each lane holds, the next to start.
  std::array<std::size_t, 2> job{0, 1};
  std::size_t next = 2;
  if (!pair.Start(0, ph[0]) || !pair.Start(1, ph[1]) || platform::FpFaultRaised()) {
    platform::ClearFpFaults();
    return std::nullopt;
  }
  struct Ended {
    int passes = 0;
    bool converged = false;
    std::array<double, thermo::kMaxSpecies + 1> molality;
    Totals tnew;
  };
  std::vector<std::optional<Ended>> ended(count);
  for (;;) {
    const std::array<Iteration::State, 2> state = pair.Pass();
    if (platform::FpFaultRaised()) {
      platform::ClearFpFaults();
      return std::nullopt;
    }
    std::array<bool, 2> free{};
    for (int lane = 0; lane < 2; ++lane) {
      if (state[lane] == Iteration::State::kContinue) continue;
      ended[job[lane]] = Ended{pair.PassCounter(lane), state[lane] == Iteration::State::kConverged,
                               pair.ScaledNext(lane), pair.RecomputedTotals(lane)};
      free[lane] = true;
    }
    if (free[0] && free[1] && next == count) break;
    pair.Commit();
    // A lane that ended takes the next speciation, from its first row.
    for (int lane = 0; lane < 2; ++lane) {
      if (!free[lane] || next == count) continue;
      job[lane] = next;
      free[lane] = false;
      if (!pair.Start(lane, ph[next++]) || platform::FpFaultRaised()) {
        platform::ClearFpFaults();
        return std::nullopt;
      }
    }
    if (!free[0] && !free[1]) continue;
    // One lane ended with none left to start: the other goes on alone, as Speciate's passes.
    const int lane = free[0] ? 1 : 0;
    Iteration alone(constants, model);
    alone.Resume(totals, pair.Basis(lane), pair.Scaled(lane), pair.PassCounter(lane));
    try {
      Iteration::State s;
      while ((s = alone.Pass()) == Iteration::State::kContinue) {
      }
      ended[job[lane]] = Ended{alone.PassCounter(), s == Iteration::State::kConverged,
                               alone.Scaled(), alone.RecomputedTotals()};
    } catch (const ArithmeticError&) {
      platform::ClearFpFaults();
      return std::nullopt;
    }
    break;
  }
  std::vector<Speciation> r(count);
  try {
    for (std::size_t i = 0; i < count; ++i) {
      const Ended& e = *ended[i];
      r[i] = FinishSpeciation(constants, model, e.passes, e.converged, e.molality, e.tnew);
    }
  } catch (const ArithmeticError&) {
    platform::ClearFpFaults();
    return std::nullopt;
  }
  return r;
}

}  // namespace geofluid::speciation
