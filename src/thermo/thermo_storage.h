#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace geofluid::thermo {

// The temperature-dependent tables of one run and their values at the calculation temperature
// T and (for the enthalpies) the separation temperature Ts. Every run owns one and fills it
// completely before use, so runs on different threads never share one.
class ThermoStorage {
 public:
  using Row = std::array<double, 13>;
  // The value at `t` of the table with `values` at the ascending `nodes` (°C).
  using TableInterpolation = std::function<double(std::span<const double> nodes,
                                                  std::span<const double> values, double t)>;

  double calculation_temperature = 0.0;  // T, °C
  double separation_temperature = 0.0;   // Ts, °C

  // The loaders attach the constant tables and set the counts; calling them again changes
  // nothing.
  void LoadSupcrtAqueousGibbs();
  void LoadSupcrtMineralGibbs();
  void LoadSolveqAqueousLogK();
  void SolveqMineralLogK();  // evaluates the SOLVEQ mineral polynomials at T
  void LoadWaterTables();
  // Calls the five loaders, then evaluates every table at T (enthalpies also at Ts).
  void InterpolateTables();
  // The same with another interpolation through the same nodes; the SOLVEQ mineral polynomials
  // stay polynomials.
  void InterpolateTables(const TableInterpolation& interpolate);

  // Results, indexed as the catalogues.
  std::array<double, 62> solveq_logk{};           // complexes 15..61
  std::array<double, 55> supcrt_aqueous_gibbs{};  // species 1..54, kJ/mol
  std::array<double, 48> supcrt_mineral_gibbs{};  // minerals 1..47, kJ/mol
  std::array<double, 39> solveq_mineral_logk{};   // minerals 1..38
  double liquid_enthalpy_t = 0.0;                 // h_l(T), kJ/kg
  double liquid_enthalpy_ts = 0.0;                // h_l(Ts)
  double vapour_enthalpy_ts = 0.0;                // h_v(Ts)
  double debye_huckel_a = 0.0;
  double debye_huckel_b = 0.0;
  double bdot = 0.0;
  std::int16_t supcrt_species_count = 0;
  std::int16_t supcrt_mineral_count = 0;

 private:
  const std::array<Row, 54>* supcrt_aqueous_ = nullptr;
  const std::array<Row, 47>* supcrt_minerals_ = nullptr;
  const std::array<Row, 47>* solveq_aqueous_ = nullptr;
  const Row* liquid_enthalpy_ = nullptr;
  const Row* vapour_enthalpy_ = nullptr;
  const std::array<double, 16>* a_table_ = nullptr;
  const std::array<double, 16>* b_table_ = nullptr;
  const std::array<double, 9>* bdot_nodes_ = nullptr;
  const std::array<double, 9>* bdot_table_ = nullptr;
};

// log K of HCO3(-) = CO3(2-) + H(+) and of HS(-) = S(2-) + H(+) as polynomials in T (°C), the
// terms that carry the SOLVEQ mineral reactions over to the CO3(2-) and S(2-) basis.
double CarbonateTerm(double t);
double SulfideTerm(double t);

}  // namespace geofluid::thermo
