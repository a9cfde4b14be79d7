#include "scaling/published.h"

#include <cmath>

namespace geofluid::scaling {

double AmorphousSilicaSolubility(double celsius) {
  return std::pow(10.0, -731.0 / (celsius + 273.15) + 4.52);
}

const char* GasName(Gas gas) { return gas == Gas::kCO2 ? "CO2" : "H2S"; }

double DistributionConstant(Gas gas, double celsius) {
  // IAPWS G7-04 Table 3 (E, F, G, H) and the solvent constant q of H2O.
  struct Efgh {
    double e, f, g, h;
  };
  static constexpr Efgh kCo2{1672.9376, 28.1751, -112.4619, 85.3807};
  static constexpr Efgh kH2s{1319.1205, 14.1571, -46.8361, 33.2266};
  constexpr double kQ = -0.023767;
  constexpr double kTc = 647.096;  // K, IAPWS R2-83
  const Efgh& c = gas == Gas::kCO2 ? kCo2 : kH2s;
  const double t = celsius + 273.15;
  const double tau = 1.0 - t / kTc;
  // Saturated liquid density over the critical density, minus one (Wagner & Pruss 1993, the
  // auxiliary equation of IAPWS SR1-86).
  static constexpr double kB[6] = {1.99274064,  1.09965342,  -0.510839303,
                                   -1.75493479, -45.5170352, -6.74694450e5};
  static constexpr double kExponent[6] = {1.0 / 3, 2.0 / 3, 5.0 / 3, 16.0 / 3, 43.0 / 3, 110.0 / 3};
  double f = 0.0;
  for (int i = 0; i < 6; ++i) f += kB[i] * std::pow(tau, kExponent[i]);
  const double ln_kd =
      kQ * c.f + c.e / t * f +
      (c.f + c.g * std::pow(tau, 2.0 / 3.0) + c.h * tau) * std::exp((273.15 - t) / 100.0);
  return std::exp(ln_kd);
}

}  // namespace geofluid::scaling
