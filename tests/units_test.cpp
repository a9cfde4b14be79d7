// Laboratory units: mg/kg and mg/L of solution back to molalities with the dissolved solids
// taken out, the alternative forms of carbonate, sulphide and ammonia, and the steam's gases.
#include "units/units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace geofluid::units {
namespace {

std::vector<Amount> AllForms(std::mt19937_64& random) {
  // Molalities over the span a geothermal water has: 1e-8 (Al, Fe) to about 2 mol/kg (brines).
  std::uniform_real_distribution<double> exponent(-8.0, 0.3);
  std::vector<Amount> amounts;
  for (const Form& f : Forms()) amounts.push_back({&f, std::pow(10.0, exponent(random))});
  return amounts;
}

TEST(Units, MolalityToLaboratoryUnitsAndBackWithin1e12) {
  std::mt19937_64 random(20261208);
  for (const Concentration unit : {Concentration::kMgPerKgSolution, Concentration::kMgPerLitre}) {
    for (int trial = 0; trial < 200; ++trial) {
      // Every form at once (a brine), and each alone (a dilute water).
      const std::vector<Amount> all = AllForms(random);
      std::vector<std::vector<Amount>> cases = {all};
      for (const Amount& a : all) cases.push_back({a});
      const double density = 0.95 + 0.1 * (trial % 7) / 6.0;
      for (const auto& molality : cases) {
        const std::vector<double> lab = FromMolality(molality, unit, density);
        std::vector<Amount> given = molality;
        for (std::size_t k = 0; k < given.size(); ++k) given[k].value = lab[k];
        const std::vector<double> back = ToMolality(given, unit, density);
        for (std::size_t k = 0; k < back.size(); ++k)
          EXPECT_NEAR(back[k] / molality[k].value, 1.0, 1e-12)
              << Text(unit) << " " << molality[k].form->key << " trial " << trial;
      }
    }
  }
}

TEST(Units, ASamplesComponentsForTheGeothermometers) {
  // The example water: 0.01 mol/kg SiO2 is 600.83 mg in 1 kg of water plus 3.6 g of solids.
  const std::vector<double> m = {0.01, 0.04,  0.004,  0.0005, 1e-5, 5e-6,
                                 2e-5, 0.002, 0.0004, 0.0002, 0.04, 5e-5};
  const auto mg = ComponentsFromMolality(m);
  ASSERT_EQ(mg.size(), 12u);
  double solids = 0.0;
  for (std::size_t i = 0; i < m.size(); ++i) solids += m[i] * Forms()[i].molar_mass;
  EXPECT_NEAR(mg[0], 600.83 / (1.0 + solids / 1000.0), 1e-9);
  EXPECT_NEAR(mg[1], 919.59 / (1.0 + solids / 1000.0), 1e-3);
  std::vector<Amount> back;
  for (std::size_t i = 0; i < m.size(); ++i) back.push_back({&Forms()[i], mg[i]});
  const auto again = ToMolality(back, Concentration::kMgPerKgSolution);
  for (std::size_t i = 0; i < m.size(); ++i) EXPECT_NEAR(again[i] / m[i], 1.0, 1e-12);
  EXPECT_THROW(ComponentsFromMolality(std::vector<double>(11, 0.0)), UnitError);
}

TEST(Units, DissolvedSolidsAreTakenOutOfTheSolution) {
  // One mole of NaCl in 1 kg of water: 1058.44 g of solution, so Na is 22989.77 mg in
  // 1.05844 kg. Read as mg/kg without the correction it would come out 5.5 % low.
  const double kg_solution = 1.0 + (22.98976928 + 35.45) / 1000.0;
  const Amount na{FindForm("Na"), 22989.76928 / kg_solution};
  const Amount cl{FindForm("Cl"), 35450.0 / kg_solution};
  const std::vector<Amount> brine = {na, cl};
  EXPECT_NEAR(DissolvedSolids(brine, Concentration::kMgPerKgSolution), 58439.76928 / kg_solution,
              1e-9);
  const auto m = ToMolality(brine, Concentration::kMgPerKgSolution);
  EXPECT_NEAR(m[0], 1.0, 1e-12);
  EXPECT_NEAR(m[1], 1.0, 1e-12);
  // mg/L is mg/kg times the density: the same water at 1.04 kg/L.
  const std::vector<Amount> per_litre = {{na.form, na.value * 1.04}, {cl.form, cl.value * 1.04}};
  const auto l = ToMolality(per_litre, Concentration::kMgPerLitre, 1.04);
  EXPECT_NEAR(l[0], 1.0, 1e-12);
}

TEST(Units, FormulaWeightsOfTheFormsAsNamed) {
  // Textbook formula weights to 0.01 g/mol: a wrong atom count or element shows at once.
  const std::vector<std::pair<std::string_view, double>> expected = {
      {"SiO2", 60.08},    {"Na", 22.99},        {"K", 39.10},         {"Ca", 40.08},
      {"Mg", 24.31},      {"Fe", 55.85},        {"Al", 26.98},        {"CO3(2-)", 60.01},
      {"SO4(2-)", 96.06}, {"HS(-)", 33.07},     {"Cl", 35.45},        {"NH3", 17.03},
      {"HCO3", 61.02},    {"total_CO2", 44.01}, {"total_H2S", 34.08}, {"NH4", 18.04}};
  ASSERT_EQ(Forms().size(), expected.size());
  for (const auto& [key, weight] : expected) {
    const Form* f = FindForm(key);
    ASSERT_NE(f, nullptr) << key;
    EXPECT_NEAR(f->molar_mass, weight, 0.006) << key;
  }
  EXPECT_NEAR(FindGas("CO2")->molar_mass, 44.01, 0.006);
  EXPECT_NEAR(FindGas("H2S")->molar_mass, 34.08, 0.006);
}

TEST(Units, AlternativeFormsCountAsTheirComponent) {
  EXPECT_EQ(FindForm("HCO3")->component, "CO3(2-)");
  EXPECT_EQ(FindForm("total_CO2")->component, "CO3(2-)");
  EXPECT_EQ(FindForm("total_H2S")->component, "HS(-)");
  EXPECT_EQ(FindForm("NH4")->component, "NH3");
  EXPECT_EQ(StandardForm("CO3(2-)")->key, "CO3(2-)");
  EXPECT_EQ(StandardForm("HCO3"), nullptr);
  // A millimole of carbonate as HCO3 or as CO2 is a millimole of CO3(2-), bar the 44-61 mg/kg
  // of solids taken out of the kilogram (a few parts in 10^5).
  const auto a =
      ToMolality(std::vector<Amount>{{FindForm("HCO3"), 61.016}}, Concentration::kMgPerKgSolution);
  const auto b = ToMolality(std::vector<Amount>{{FindForm("total_CO2"), 44.009}},
                            Concentration::kMgPerKgSolution);
  EXPECT_NEAR(a[0], 1e-3, 1e-7);
  EXPECT_NEAR(b[0], 1e-3, 1e-7);
  EXPECT_GT(a[0], b[0]);
}

TEST(Units, ValuesTheConversionRefuses) {
  const Form* na = FindForm("Na");
  for (const Concentration unit : {Concentration::kMolPerKgWater, Concentration::kMgPerKgSolution,
                                   Concentration::kMgPerLitre}) {
    EXPECT_THROW(ToMolality(std::vector<Amount>{{na, -1.0}}, unit), UnitError) << Text(unit);
    EXPECT_THROW(ToMolality(std::vector<Amount>{{na, std::nan("")}}, unit), UnitError);
    EXPECT_THROW(FromMolality(std::vector<Amount>{{na, -1e-9}}, unit), UnitError);
  }
  EXPECT_THROW(ToMolality(std::vector<Amount>{{na, 1.0}}, Concentration::kMgPerLitre, 0.0),
               UnitError);
  // More solids than solution: mol/kg typed into a mg/kg table would not do this, but 10^6
  // mg/kg is no water at all.
  try {
    ToMolality(std::vector<Amount>{{na, 6e5}, {FindForm("Cl"), 4e5}},
               Concentration::kMgPerKgSolution);
    ADD_FAILURE() << "no error";
  } catch (const UnitError& e) {
    EXPECT_NE(std::string(e.what()).find("no water"), std::string::npos) << e.what();
  }
  try {
    ToMolality(std::vector<Amount>{{FindForm("SO4(2-)"), -3.0}}, Concentration::kMgPerKgSolution);
    ADD_FAILURE() << "no error";
  } catch (const UnitError& e) {
    EXPECT_NE(std::string(e.what()).find("SO4(2-)"), std::string::npos) << e.what();
  }
}

TEST(Units, SteamGasesPerKgOfSteam) {
  const Gas& co2 = *FindGas("CO2");
  EXPECT_DOUBLE_EQ(GasToMolPerKg(co2, 20.0, GasUnit::kMmolPerKg), 0.02);
  EXPECT_NEAR(GasToMolPerKg(co2, 880.18, GasUnit::kMgPerKg), 0.02, 1e-12);
  for (const GasUnit unit : {GasUnit::kMolPerKg, GasUnit::kMmolPerKg, GasUnit::kMgPerKg}) {
    const double v = GasFromMolPerKg(*FindGas("H2S"), 0.00123, unit);
    EXPECT_NEAR(GasToMolPerKg(*FindGas("H2S"), v, unit) / 0.00123, 1.0, 1e-15);
  }
  EXPECT_THROW(GasToMolPerKg(co2, -1.0, GasUnit::kMgPerKg), UnitError);
  EXPECT_EQ(DefaultGasUnit(Concentration::kMolPerKgWater), GasUnit::kMolPerKg);
  EXPECT_EQ(DefaultGasUnit(Concentration::kMgPerLitre), GasUnit::kMgPerKg);
}

TEST(Units, UnitTextsReadBack) {
  for (const Concentration unit :
       {Concentration::kMolPerKgWater, Concentration::kMgPerKgSolution, Concentration::kMgPerLitre})
    EXPECT_EQ(ConcentrationFromText(Text(unit)), unit);
  for (const GasUnit unit : {GasUnit::kMolPerKg, GasUnit::kMmolPerKg, GasUnit::kMgPerKg})
    EXPECT_EQ(GasUnitFromText(Text(unit)), unit);
  EXPECT_FALSE(ConcentrationFromText("ppm"));
  EXPECT_FALSE(ConcentrationFromText("mmol/kg"));
}

}  // namespace
}  // namespace geofluid::units
