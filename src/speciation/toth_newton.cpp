#include "speciation/toth_newton.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "speciation/dataset_model.h"
#include "speciation/iteration.h"

namespace geofluid::speciation {

namespace {

constexpr int kH = thermo::kHydrogen;
constexpr int kW = thermo::kWater;
constexpr double kLn10 = std::numbers::ln10;
constexpr int kMostSteps = 40;
// Newton's steps converge quadratically: the error after a step this short is about its square,
// far within the last decimal step of the pH (1e-9). (Over the 100 x 41 table of bench/, 1e-6
// left as many estimates within a last step as 1e-11.)
constexpr double kSettled = 1e-7;
// Or the step after next would be this short: a step s after a step p leaves an error of about
// (s / p^2) s^2, and once that is well within the last decimal step the step that would only
// confirm it is not taken (only once the steps are short: far from the root s / p^2 means
// nothing). Over the 100 x 41 table of bench/, it saves a Newton step in about one estimate in
// two, for a speciation more in about one in ninety.
constexpr double kPredicted = 1e-10;
constexpr double kQuadratic = 1e-3;
// A step of a logarithm longer than this is cut to it: far from the root the linear model
// overshoots.
constexpr double kLongest = 2.0;

// The unknowns and equations, 1-based: ln m of the twelve components with their balances, ln m
// of H+ with TOTH = target, and ln I with I = 1/2 sum m z^2.
constexpr int kIonic = 14;
constexpr int kUnknowns = 14;

using Vector = std::array<double, kUnknowns + 1>;
using Matrix = std::array<Vector, kUnknowns + 1>;

// Solves a x = b over rows and columns 1..n by Gaussian elimination with partial pivoting (the
// core links the standard library alone); false where a pivot vanishes.
bool Solve(Matrix a, Vector& b, int n) {
  std::array<int, kUnknowns + 1> nonzero;
  for (int col = 1; col <= n; ++col) {
    int pivot = col;
    for (int r = col + 1; r <= n; ++r) {
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    }
    if (!(std::fabs(a[pivot][col]) > 0.0)) return false;
    if (pivot != col) {
      std::swap(a[pivot], a[col]);
      std::swap(b[pivot], b[col]);
    }
    // The Jacobian is sparse: a balance row holds its own component, H+, I and the components
    // it shares complexes with.
    int count = 0;
    for (int c = col + 1; c <= n; ++c) {
      if (a[col][c] != 0.0) nonzero[count++] = c;
    }
    const double inverse = 1.0 / a[col][col];
    for (int r = col + 1; r <= n; ++r) {
      if (a[r][col] == 0.0) continue;
      const double f = a[r][col] * inverse;
      for (int i = 0; i < count; ++i) a[r][nonzero[i]] -= f * a[col][nonzero[i]];
      b[r] -= f * b[col];
    }
  }
  for (int r = n; r >= 1; --r) {
    double s = b[r];
    for (int c = r + 1; c <= n; ++c) s -= a[r][c] * b[c];
    b[r] = s / a[r][r];
  }
  return true;
}

class TothNewton {
 public:
  TothNewton(const Totals& totals, double target, const thermo::EquilibriumConstants& constants,
             const ActivityModel& model)
      : d_(ModelOf(constants.dataset)), t_(totals), target_(target), model_(model) {
    for (int k = thermo::kFirstComplex; k <= d_.species_count; ++k) {
      ln_k_[k] = std::log(constants.aqueous_k[k]);
    }
    // Water's activity as the passes form it.
    ln_water_ = std::log(1.0 / t_[kW] * t_[kW]);
  }

  // The hydrogen molality pass 1 fixes at pH p: 10^-p over its coefficient in the start row.
  double HydrogenOf(double p) const {
    const double h = std::pow(10.0, -p);
    double basis = 0.0;
    for (int i = 1; i <= kW; ++i) basis += (i == kH ? h : t_[i]) * d_.z2[i];
    const int g = d_.group[kH];
    double log_gamma = 0.0;
    LogActivityCoefficients(model_, &d_.group_charge[g], &d_.group_size[g], 1, 0.5 * basis,
                            &log_gamma);
    return h / std::pow(10.0, log_gamma);
  }

  void StartFrom(const Iteration::SpeciesVector& row) {
    for (int b = 1; b <= kH; ++b) x_[b] = std::log(row[b]);
    double sum = 0.0;
    for (int i = 1; i <= d_.species_count; ++i) sum += row[i] * d_.z2[i];
    x_[kIonic] = std::log(0.5 * sum);
  }

  // One Newton step; false where it cannot be taken.
  bool Step(double& longest) {
    Evaluate();
    Vector step;
    for (int r = 1; r <= kUnknowns; ++r) step[r] = -residual_[r];
    if (!Solve(jacobian_, step, kUnknowns)) return false;
    longest = 0.0;
    for (int u = 1; u <= kUnknowns; ++u) longest = std::max(longest, std::fabs(step[u]));
    if (!std::isfinite(longest)) return false;
    const double cut = longest > kLongest ? kLongest / longest : 1.0;
    for (int u = 1; u <= kUnknowns; ++u) x_[u] += cut * step[u];
    return true;
  }

  double HydrogenMolality() const { return std::exp(x_[kH]); }

  // dD/dpH: the other equations kept met as ln m_H moves.
  double Slope() const {
    // The equations at a fixed hydrogen molality, H+'s row and column moved last.
    Matrix a = jacobian_;
    std::swap(a[kH], a[kIonic]);
    for (Vector& row : a) std::swap(row[kH], row[kIonic]);
    Vector column;
    for (int r = 1; r < kUnknowns; ++r) column[r] = -a[r][kUnknowns];
    if (!Solve(a, column, kUnknowns - 1)) return 0.0;
    double dtoth = a[kUnknowns][kUnknowns];
    for (int u = 1; u < kUnknowns; ++u) dtoth += a[kUnknowns][u] * column[u];
    // ln m_H falls by ln 10 a pH unit; D = target - TOTH.
    return kLn10 * dtoth * row_scale_[kH];
  }

 private:
  // The complexes, the residuals and their Jacobian in the unknowns, each row divided by the
  // size of its quantity.
  void Evaluate() {
    const int last = d_.species_count;
    const double ionic_strength = std::exp(x_[kIonic]);
    // ln gamma and d ln gamma / d ln I of each group.
    std::array<double, thermo::kMaxSpecies + 1> ln_gamma, slope;
    LogActivityCoefficients(model_, d_.group_charge.data(), d_.group_size.data(), d_.group_count,
                            ionic_strength, ln_gamma.data());
    LogActivityCoefficientSlopes(model_, d_.group_charge.data(), d_.group_size.data(),
                                 d_.group_count, ionic_strength, slope.data());
    for (int g = 0; g < d_.group_count; ++g) {
      ln_gamma[g] *= kLn10;
      slope[g] *= kLn10;
    }
    // ln a of every species and d ln m / d ln I of the complexes.
    Iteration::SpeciesVector ln_a{}, by_i{}, a_by_i{};
    for (int b = 1; b <= kH; ++b) {
      m_[b] = std::exp(x_[b]);
      ln_a[b] = x_[b] + ln_gamma[d_.group[b]];
      a_by_i[b] = slope[d_.group[b]];
    }
    ln_a[kW] = ln_water_;
    for (int n = 0; n <= last - thermo::kFirstComplex; ++n) {
      const int k = d_.complex_order[n];
      const int g = d_.group[k];
      const thermo::ComplexDefinition& cx = d_.complexes[k - thermo::kFirstComplex];
      double ln_m = -ln_k_[k] - ln_gamma[g];
      double dm = -slope[g];
      const std::array<double, 5>& power = d_.factor_power[k - thermo::kFirstComplex];
      for (int f = 0; f < cx.factor_count; ++f) {
        ln_m += power[f] * ln_a[cx.factors[f].species];
        dm += power[f] * a_by_i[cx.factors[f].species];
      }
      m_[k] = std::exp(ln_m);
      ln_a[k] = ln_m + ln_gamma[g];
      by_i[k] = dm;
      a_by_i[k] = dm + slope[g];
    }

    for (Vector& row : jacobian_) row.fill(0.0);
    // A complex's amount in row `row`: d/d ln m_b through its exponents, d/d ln I.
    auto add = [&](int row, double amount, int k) {
      const int index = k - thermo::kFirstComplex;
      for (int e = 0; e < d_.exponent_count[index]; ++e) {
        const DatasetModel::Exponent& x = d_.exponents[index][e];
        jacobian_[row][x.basis] += amount * x.value;
      }
      jacobian_[row][kIonic] += amount * by_i[k];
    };
    for (int c = 1; c <= 12; ++c) {
      const thermo::BalanceDefinition& balance = d_.balances[c - 1];
      double total = m_[c];
      jacobian_[c][c] = m_[c];
      for (int t = 0; t < balance.count; ++t) {
        const double amount = balance.terms[t].coefficient * m_[balance.terms[t].species];
        total += amount;
        add(c, amount, balance.terms[t].species);
      }
      // ln(total / T) where the total is positive: near linear in the logarithms even where a
      // start is far off, as m(total) - T is not.
      if (total > 0.0) {
        row_scale_[c] = total;
        residual_[c] = std::log(total / t_[c]) * total;
      } else {
        row_scale_[c] = t_[c];
        residual_[c] = total - t_[c];
      }
    }
    double half_sum = 0.0;
    for (int b = 1; b <= kH; ++b) {
      const double amount = 0.5 * d_.z2[b] * m_[b];
      half_sum += amount;
      jacobian_[kIonic][b] -= amount;
    }
    for (int k = thermo::kFirstComplex; k <= last; ++k) {
      const double amount = 0.5 * d_.z2[k] * m_[k];
      half_sum += amount;
      add(kIonic, -amount, k);
    }
    // ln(I / half_sum), as the balances.
    jacobian_[kIonic][kIonic] += half_sum;
    row_scale_[kIonic] = half_sum;
    residual_[kIonic] = std::log(ionic_strength / half_sum) * half_sum;
    double toth = m_[kH], size = m_[kH];
    jacobian_[kH][kH] = m_[kH];
    for (int k = thermo::kFirstComplex; k <= last; ++k) {
      if (d_.hydrogen[k] == 0.0) continue;
      const double amount = d_.hydrogen[k] * m_[k];
      toth += amount;
      size += std::fabs(amount);
      add(kH, amount, k);
    }
    row_scale_[kH] = size;
    residual_[kH] = toth - target_;
    for (int r = 1; r <= kUnknowns; ++r) {
      const double inverse = 1.0 / row_scale_[r];
      residual_[r] *= inverse;
      for (int u = 1; u <= kUnknowns; ++u) jacobian_[r][u] *= inverse;
    }
  }

  const DatasetModel& d_;
  const Totals& t_;
  double target_;
  const ActivityModel& model_;
  std::array<double, thermo::kMaxSpecies + 1> ln_k_{};
  double ln_water_ = 0.0;
  Vector x_{};
  Iteration::SpeciesVector m_{};
  Vector residual_{}, row_scale_{};
  Matrix jacobian_{};
};

}  // namespace

std::optional<TothRoot> SolveForToth(const Totals& totals, double target,
                                     const thermo::EquilibriumConstants& constants,
                                     const ActivityModel& model, double start_ph) {
  TothNewton newton(totals, target, constants, model);
  // The steps start from pass 2. Pass 1 forms its complexes without OH- (its row holds none
  // yet), and from a start so far off the SOLVEQ hydroxo complexes swamp the balances and TOTH
  // alike, and the Jacobian is near singular.
  Iteration passes(constants, model, 1e-2);
  passes.Start(totals, start_ph);
  if (passes.Pass() == Iteration::State::kContinue) passes.Pass();
  newton.StartFrom(passes.Scaled());
  double previous = 0.0;
  for (int step = 1; step <= kMostSteps; ++step) {
    double longest = 0.0;
    if (!newton.Step(longest)) return std::nullopt;
    const bool settled =
        longest <= kSettled || (longest < kQuadratic && previous > 0.0 &&
                                longest * longest * longest <= kPredicted * previous * previous);
    previous = longest;
    if (!settled) continue;
    // The pH whose pass 1 gives this hydrogen molality; its coefficient moves with the pH only
    // through 10^-pH in the start row's ionic strength, so a few steps settle it.
    const double h = newton.HydrogenMolality();
    double ph = start_ph;
    for (int i = 0; i < 6; ++i) {
      const double move = std::log10(newton.HydrogenOf(ph) / h);
      ph += move;
      if (!std::isfinite(ph)) return std::nullopt;
      if (std::fabs(move) < 1e-14) break;
    }
    return TothRoot{ph, newton.Slope(), step};
  }
  return std::nullopt;
}

}  // namespace geofluid::speciation
