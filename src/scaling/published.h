#pragma once

// Published equations the forward processes rest on.

namespace geofluid::scaling {

// Solubility of amorphous silica in pure water, mg SiO2 per kg of water, at temperature `celsius`:
// log S = -731 / T + 4.52, T in kelvin (Fournier & Rowe 1977, Am. Mineral. 62, 1052-1056),
// valid 0-250 °C at the vapour pressure of the solution.
double AmorphousSilicaSolubility(double celsius);
inline constexpr double kAmorphousSilicaFrom = 0.0;
inline constexpr double kAmorphousSilicaTo = 250.0;
inline constexpr double kSio2MolarMass = 60.0843;  // g/mol

enum class Gas { kCO2, kH2S };
const char* GasName(Gas gas);

// Vapour-liquid distribution constant K_D = y / x (mole fraction in the steam over mole fraction
// in the liquid) of a dissolved gas in water along the saturation curve, from Fernández-Prini,
// Alvarez & Harvey (2003, J. Phys. Chem. Ref. Data 32, 903-916) as adopted by IAPWS (Guideline
// G7-04, 2004): ln K_D = q F + E / T f(tau) + (F + G tau^(2/3) + H tau) exp((273.15 - T) / 100),
// f(tau) = rho_l / rho_c - 1 of saturated liquid water (Wagner & Pruss 1993). T in kelvin; fitted
// from 273 K to near the critical point (CO2 to 642.7 K, H2S to 633.1 K). In a dilute solution
// both phases are almost pure water, so K_D is also the ratio of the gas's mol/kg of steam to
// the molality of its neutral species in the liquid.
double DistributionConstant(Gas gas, double celsius);

}  // namespace geofluid::scaling
