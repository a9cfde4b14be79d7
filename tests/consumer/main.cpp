// Evaluates a sodium chloride water through the installed headers only, and checks what a
// user relies on: names lead to the results, every failure is a geofluid::Error.
#include <geofluid/geofluid.h>

#include <cmath>
#include <iostream>
#include <vector>

int main() {
  geofluid::Sample water;
  water.Component("SiO2") = 0.01;
  water.Component("Na") = 0.04;
  water.Component("K") = 0.004;
  water.Component("Cl") = 0.04;
  water.Component("CO3(2-)") = 0.002;
  water.ph = 8.5;

  const geofluid::Dataset& supcrt = *geofluid::Dataset::FromKey("supcrt");
  geofluid::ConditionsCache cache;
  const geofluid::MineralHandle quartz = supcrt.Mineral("QUARTZ");
  const geofluid::Evaluation at25 = geofluid::EvaluateMeasured(water, cache.Get(supcrt, 25.0));
  const double si = at25.Mineral(quartz).si;
  const double na = at25.Species("Na(+)").molality;
  std::cout << "geofluid " << geofluid::kVersion << ": QUARTZ SI " << si << ", Na(+) " << na
            << " mol/kg\n";
  if (!std::isfinite(si) || !(na > 0.0 && na <= 0.04)) return 1;

  // The other layers link too: a table's temperatures, an estimate's default minerals, the
  // default input errors, a unit.
  const std::vector<double> grid = geofluid::batch::ParseTemperatures("100:300:100");
  const auto minerals = geofluid::geothermometry::DefaultMinerals(supcrt);
  const auto errors = geofluid::uncertainty::InputErrors::Defaults();
  const auto unit = geofluid::units::ConcentrationFromText("mg/kg");
  if (grid.size() != 3 || minerals.empty() || errors.AllZero() || !unit) return 1;

  try {
    at25.Mineral("UNOBTAINIUM");
  } catch (const geofluid::Error& e) {
    std::cout << "caught: " << e.what() << '\n';
    return 0;
  }
  return 1;
}
