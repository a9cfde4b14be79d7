#include "steam/steam_fraction.h"

#include <cstdio>
#include <string>

#include "platform/errors.h"
#include "thermo/interpolation.h"
#include "thermo/tables.h"

namespace geofluid::steam {

namespace {

[[noreturn]] void NoLatentHeat(double separation_celsius) {
  char ts[32];
  std::snprintf(ts, sizeof ts, "%g", separation_celsius);
  throw ArithmeticError(std::string("the separation temperature ") + ts +
                        " °C is outside the steam table (its latent heat is not positive)");
}

double Fraction(double liquid_t, double liquid_ts, double vapour_ts) {
  double y = (liquid_t - liquid_ts) / (vapour_ts - liquid_ts);
  if (!(y >= 0.0)) y = 0.0;
  return y;
}

}  // namespace

double FractionOfSteam(const thermo::ThermoStorage& storage) {
  const double latent = storage.vapour_enthalpy_ts - storage.liquid_enthalpy_ts;
  // The extrapolated steam table has no latent heat there: the quotient would be meaningless.
  if (!(latent > 0.0)) NoLatentHeat(storage.separation_temperature);
  return Fraction(storage.liquid_enthalpy_t, storage.liquid_enthalpy_ts,
                  storage.vapour_enthalpy_ts);
}

Separation SeparationAt(double separation_celsius) {
  const auto at_ts = thermo::LagrangeWeights(thermo::kStandardGrid, separation_celsius);
  Separation s;
  s.celsius = separation_celsius;
  s.liquid_enthalpy = thermo::Interpolate(at_ts, thermo::data::kSteamLiquidEnthalpy);
  s.vapour_enthalpy = thermo::Interpolate(at_ts, thermo::data::kSteamVapourEnthalpy);
  if (!(s.vapour_enthalpy - s.liquid_enthalpy > 0.0)) NoLatentHeat(separation_celsius);
  return s;
}

double SteamFractionFrom(double celsius, const Separation& separation) {
  const auto at_t = thermo::LagrangeWeights(thermo::kStandardGrid, celsius);
  return Fraction(thermo::Interpolate(at_t, thermo::data::kSteamLiquidEnthalpy),
                  separation.liquid_enthalpy, separation.vapour_enthalpy);
}

double SteamFractionBetween(double celsius, double separation_celsius) {
  return SteamFractionFrom(celsius, SeparationAt(separation_celsius));
}

}  // namespace geofluid::steam
