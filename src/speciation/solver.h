#pragma once

#include <array>
#include <functional>

#include "thermo/catalogue.h"
#include "thermo/equilibrium_constants.h"

namespace geofluid::speciation {

inline constexpr int kPassLimit = 290;
inline constexpr double kFloor = 1e-33;
inline constexpr double kTolerance = 1e-10;

// Debye-Hückel constants at the calculation temperature.
struct ActivityModel {
  double a = 0.0;
  double b = 0.0;
  double bdot = 0.0;
};

// Component totals T(1..14) of the total fluid: 1..12 the analysed components, 13 the H slot,
// 14 water.
using Totals = std::array<double, thermo::kBasisCount + 1>;

// The final row N of a speciation and the final evaluation of the activity model on it.
struct Speciation {
  int passes = 0;          // passes made
  bool converged = false;  // false: stopped at the pass limit, the last row stands
  std::array<double, thermo::kMaxSpecies + 1> molality{};  // m'(N, i)
  std::array<double, thermo::kBasisCount + 1> tnew{};      // Tnew(N, 1..12); 13 is TOTH
  double ionic_strength = 0.0;                             // I_fin
  std::array<double, thermo::kMaxSpecies + 1> gamma{};     // final activity coefficients
  std::array<double, thermo::kMaxSpecies + 1> activity{};  // final activities, water 1
};

// The Speciation of a last row: its ionic strength, activity coefficients, activities and
// TOTH. Throws ArithmeticError on a floating-point fault.
Speciation FinishSpeciation(const thermo::EquilibriumConstants& constants,
                            const ActivityModel& model, int passes, bool converged,
                            const std::array<double, thermo::kMaxSpecies + 1>& molality,
                            const std::array<double, thermo::kBasisCount + 1>& tnew);

// I = 1/2 sum m_i z_i^2 and the extended Debye-Hückel coefficient with the B-dot term.
double IonicStrength(const thermo::Catalogue& catalogue, const double* molality, int first,
                     int last);
double ActivityCoefficient(const ActivityModel& model, int charge, double ion_size,
                           double ionic_strength);
// The same for `count` ions at once: gamma[i] of charge[i] and ion_size[i]; `near`: to a few
// ulp only (TenToNear), for runs that need no bits of std::pow.
void ActivityCoefficients(const ActivityModel& model, const int* charge, const double* ion_size,
                          int count, double ionic_strength, double* gamma, bool near = false);
// Their decimal logarithms.
void LogActivityCoefficients(const ActivityModel& model, const int* charge, const double* ion_size,
                             int count, double ionic_strength, double* log_gamma);
// d log10 gamma / d ln I of each, for Newton's steps (SolveForToth).
void LogActivityCoefficientSlopes(const ActivityModel& model, const int* charge,
                                  const double* ion_size, int count, double ionic_strength,
                                  double* slope);

// One speciation of the dataset of `constants` from the totals and pH, followed by the final
// ionic strength, activity coefficients, activities and TOTH. `on_pass_limit` is called when
// the pass counter exceeds the limit; the iteration then ends with the last row.
// Throws ArithmeticError naming the step on a floating-point fault.
Speciation Speciate(const Totals& totals, double ph, const thermo::EquilibriumConstants& constants,
                    const ActivityModel& model, const std::function<void()>& on_pass_limit);

// TOTH = m'(N,13) + sum nu_k m'(N,k) with the hydrogen coefficients of the dataset.
double TotalHydrogen(thermo::DatasetId dataset, const Speciation& result);
// The same of a row of molalities m'(i).
double TotalHydrogen(thermo::DatasetId dataset,
                     const std::array<double, thermo::kMaxSpecies + 1>& molality);

// TOTH the second-mode search aims at.
double TothTarget(thermo::DatasetId dataset, double stored_toth, double steam_fraction,
                  double vapour_co2, double vapour_h2s);

// The decimal search for the pH whose TOTH meets the target, one step per trial.
class FindPhForToth {
 public:
  static constexpr int kTrialLimit = 10000;
  double Ph() const { return ph_; }
  int Stage() const { return stage_; }
  int Trials() const { return trials_; }
  // Takes the mismatch D = target - TOTH of the trial at Ph(); returns true when the search
  // goes on (Ph() is then the next trial pH), false when it has ended. Throws SearchError past
  // the trial limit.
  bool Next(double mismatch);

 private:
  double ph_ = 10.0;
  int stage_ = 0;
  int trials_ = 0;
};

}  // namespace geofluid::speciation
