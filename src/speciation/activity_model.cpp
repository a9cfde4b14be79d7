#include <cmath>

#include "speciation/power.h"
#include "speciation/solver.h"

namespace geofluid::speciation {

double IonicStrength(const thermo::Catalogue& catalogue, const double* molality, int first,
                     int last) {
  double sum = 0.0;
  for (int i = first; i <= last; ++i) {
    const double z = catalogue.Charge(i);
    sum += molality[i] * (z * z);
  }
  return 0.5 * sum;
}

namespace {

inline double LogGamma(const ActivityModel& model, int charge, double ion_size,
                       double ionic_strength, double root) {
  const double z2 = static_cast<double>(charge) * charge;
  const double numerator = model.a * z2 * root;
  const double denominator = 1.0 + model.b * ion_size * root;
  // The B-dot term is subtracted.
  return -(numerator / denominator) - model.bdot * ionic_strength;
}

}  // namespace

double ActivityCoefficient(const ActivityModel& model, int charge, double ion_size,
                           double ionic_strength) {
  return std::pow(10.0,
                  LogGamma(model, charge, ion_size, ionic_strength, std::sqrt(ionic_strength)));
}

void LogActivityCoefficients(const ActivityModel& model, const int* charge, const double* ion_size,
                             int count, double ionic_strength, double* log_gamma) {
  const double root = std::sqrt(ionic_strength);
  for (int i = 0; i < count; ++i)
    log_gamma[i] = LogGamma(model, charge[i], ion_size[i], ionic_strength, root);
}

void LogActivityCoefficientSlopes(const ActivityModel& model, const int* charge,
                                  const double* ion_size, int count, double ionic_strength,
                                  double* slope) {
  const double root = std::sqrt(ionic_strength);
  for (int i = 0; i < count; ++i) {
    // LogGamma's derivative in I, times I.
    const double z2 = static_cast<double>(charge[i]) * charge[i];
    const double denominator = 1.0 + model.b * ion_size[i] * root;
    slope[i] =
        -(model.a * z2 * root / (2.0 * denominator * denominator)) - model.bdot * ionic_strength;
  }
}

void ActivityCoefficients(const ActivityModel& model, const int* charge, const double* ion_size,
                          int count, double ionic_strength, double* gamma, bool near) {
  LogActivityCoefficients(model, charge, ion_size, count, ionic_strength, gamma);
  if (near) {
    TenToNear(gamma, count, gamma);
  } else {
    TenTo(gamma, count, gamma);
  }
}

}  // namespace geofluid::speciation
