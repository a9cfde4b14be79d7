#pragma once

#include <array>
#include <string>

#include "speciation/dataset_model.h"
#include "speciation/solver.h"

namespace geofluid::speciation {

// The fixed-point iteration of one dataset, pass by pass. It keeps only the rows that the next
// pass reads (n and n + 1), in fixed arrays: nothing is allocated per pass.
class Iteration {
 public:
  enum class State { kContinue, kConverged, kPassLimit };
  using SpeciesVector = std::array<double, thermo::kMaxSpecies + 1>;
  using ComponentVector = std::array<double, thermo::kBasisCount + 1>;

  // `tolerance`: the largest relative change of a molality in a converged pass. A looser one
  // than the speciation's serves only where an estimate is enough; such a run also takes its
  // powers to a few ulp (RaiseTo::Near, TenToNear) instead of std::pow's bits.
  Iteration(const thermo::EquilibriumConstants& constants, const ActivityModel& model,
            double tolerance = kTolerance);

  // Row 1 from the totals and the pH.
  void Start(const Totals& totals, double ph);
  // Row n as another run left it (m the basis species, mp all): the passes that follow are those
  // this iteration would have made after its own first n - 1.
  void Resume(const Totals& totals, const SpeciesVector& m, const SpeciesVector& mp, int n);
  // Pass n: fills row n + 1 and tells whether the iteration goes on.
  State Pass();

  int PassCounter() const { return n_; }
  int SpeciesCount() const { return count_; }
  // m(n + 1, k) of the last pass before scaling (complexes only).
  const SpeciesVector& UnscaledComplexes() const { return m_next_; }
  // m'(n + 1, i) of the last pass: the new iterate.
  const SpeciesVector& Scaled() const { return mp_next_; }
  const ComponentVector& RecomputedTotals() const { return tnew_; }

 private:
  template <bool kChecked, bool kNear>
  State Compute();
  template <bool kChecked>
  void Check(const char* step) const;
  void Fail(const char* step) const;

  const thermo::EquilibriumConstants& constants_;
  ActivityModel model_;
  thermo::DatasetId dataset_;
  int count_;
  double tolerance_;
  bool near_;  // powers to a few ulp
  Totals t_{};
  int n_ = 1;
  SpeciesVector m_{};        // m(n, i) of the basis species entering the pass
  SpeciesVector mp_{};       // m'(n, i)
  SpeciesVector m_next_{};   // m(n + 1, k) of the complexes
  SpeciesVector mp_next_{};  // m'(n + 1, i)
  SpeciesVector gamma_{};
  // The activities, then the powers of them the complexes' activity products take.
  std::array<double, DatasetModel::kSlots> a_{};
  ComponentVector tcalc_next_{};
  ComponentVector tnew_{};
};

}  // namespace geofluid::speciation
