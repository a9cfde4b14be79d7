#include <cmath>

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

double ActivityCoefficient(const ActivityModel& model, int charge, double ion_size,
                           double ionic_strength) {
  const double z2 = static_cast<double>(charge) * charge;
  const double root = std::sqrt(ionic_strength);
  const double numerator = model.a * z2 * root;
  const double denominator = 1.0 + model.b * ion_size * root;
  // The B-dot term is subtracted.
  const double log_gamma = -(numerator / denominator) - model.bdot * ionic_strength;
  return std::pow(10.0, log_gamma);
}

}  // namespace geofluid::speciation
