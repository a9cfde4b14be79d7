#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "form/calculation.h"
#include "platform/errors.h"
#include "steam/steam_fraction.h"
#include "thermo/catalogue.h"
#include "thermo/equilibrium_constants.h"
#include "thermo/interpolation.h"
#include "thermo/tables.h"
#include "thermo/thermo_storage.h"

namespace geofluid::thermo {
namespace {

ThermoStorage At(double t, double ts = 25.0) {
  ThermoStorage s;
  s.calculation_temperature = t;
  s.separation_temperature = ts;
  s.InterpolateTables();
  return s;
}

TEST(Interpolation, NodeValuesComeBackBitForBit) {
  for (int node = 0; node <= 12; ++node) {
    const ThermoStorage s = At(25.0 * node, 25.0 * node);
    for (int k = 15; k <= 61; ++k)
      EXPECT_EQ(s.solveq_logk[k], data::kSolveqAqueousLogK[k - 15][node]);
    for (int i = 1; i <= 54; ++i)
      EXPECT_EQ(s.supcrt_aqueous_gibbs[i], data::kSupcrtAqueousGibbs[i - 1][node]);
    for (int m = 1; m <= 47; ++m)
      EXPECT_EQ(s.supcrt_mineral_gibbs[m], data::kSupcrtMineralGibbs[m - 1][node]);
    EXPECT_EQ(s.liquid_enthalpy_t, data::kSteamLiquidEnthalpy[node]);
    EXPECT_EQ(s.liquid_enthalpy_ts, data::kSteamLiquidEnthalpy[node]);
    EXPECT_EQ(s.vapour_enthalpy_ts, data::kSteamVapourEnthalpy[node]);
  }
  for (int node = 0; node < 16; ++node) {
    const ThermoStorage s = At(20.0 * node);
    EXPECT_EQ(s.debye_huckel_a, data::kDebyeHuckelA[node]);
    EXPECT_EQ(s.debye_huckel_b, data::kDebyeHuckelB[node]);
  }
  for (int node = 0; node < 9; ++node)
    EXPECT_EQ(At(data::kBdotNodes[node]).bdot, data::kBdot[node]);
}

TEST(Interpolation, WeightsSumToOneAndExtrapolateWithoutClamping) {
  for (double t : {-40.0, 3.3, 37.5, 180.0, 287.1, 310.0}) {
    const auto w = LagrangeWeights(kStandardGrid, t);
    EXPECT_NEAR(std::accumulate(w.begin(), w.end(), 0.0), 1.0, 1e-9) << t;
  }
  const auto w = LagrangeWeights(kStandardGrid, 310.0);
  EXPECT_NEAR(w[0], 0.1, 0.01);
  EXPECT_NEAR(w[7], -182.8, 0.1);
  EXPECT_NEAR(w[12], 3.115, 0.001);
  const ThermoStorage s = At(310.0);
  EXPECT_TRUE(std::isfinite(s.solveq_logk[54]));
}

TEST(Interpolation, GlobalPolynomialOscillatesAtTheEnds) {
  const ThermoStorage at5 = At(5.0);
  EXPECT_GT(at5.debye_huckel_b, 0.3247);
  EXPECT_GT(at5.debye_huckel_b, 0.3276);
  EXPECT_LT(at5.debye_huckel_a, 0.4913);
  EXPECT_LT(At(25.0).debye_huckel_b, 0.3276);
  EXPECT_EQ(At(25.0).bdot, 0.041);
  EXPECT_NEAR(At(180.0).solveq_logk[54], -10.481757, 5e-7);
}

TEST(SolveqConstants, MarkersAndMineralPolynomials) {
  for (double t : {0.0, 25.0, 180.0, 333.0}) {
    const EquilibriumConstants k = SolveqConstants(At(t));
    for (int i : kSolveqSwitchedOff) {
      EXPECT_EQ(k.aqueous_logk[i], 100.0);
      EXPECT_EQ(k.aqueous_k[i], 1e100);
    }
  }
  const EquilibriumConstants k0 = SolveqConstants(At(0.0));
  EXPECT_DOUBLE_EQ(k0.mineral_logk[8], 2.0722 + (-10.682));           // CALCITE
  EXPECT_DOUBLE_EQ(k0.mineral_logk[29], -26.468 + 1.75 * (-18.471));  // PYRITE
  EXPECT_NEAR(CarbonateTerm(25.0), -10.325, 5e-4);
  EXPECT_NEAR(SulfideTerm(25.0), -17.15, 5e-4);
  for (int node = 0; node <= 12; ++node) {
    EXPECT_NEAR(CarbonateTerm(25.0 * node), data::kSolveqAqueousLogK[54 - 15][node], 2e-3);
    EXPECT_NEAR(SulfideTerm(25.0 * node), data::kSolveqAqueousLogK[57 - 15][node], 2e-3);
  }
  const EquilibriumConstants k25 = SolveqConstants(At(25.0));
  EXPECT_EQ(k25.aqueous_logk[54], -10.325);
  EXPECT_EQ(k25.aqueous_k[54], std::pow(10.0, -10.325));
}

TEST(SupcrtConstants, GibbsEnergiesOfReaction) {
  const ThermoStorage s = At(25.0);
  const EquilibriumConstants k = SupcrtConstants(s);
  EXPECT_EQ(k.rt_ln10, 0.0083145 * 298.15 * std::log(10.0));
  EXPECT_DOUBLE_EQ(SupcrtComplexReactionGibbs(s, 44), -527.921 + 0 - (-586.916));
  EXPECT_DOUBLE_EQ(SupcrtMineralReactionGibbs(s, 41), -833.409 - (-856.223));
  EXPECT_DOUBLE_EQ(SupcrtMineralReactionGibbs(s, 11), -552.7672 - 527.921 - (-1124.5));
  EXPECT_DOUBLE_EQ(k.aqueous_logk[44], -(-527.921 + 586.916) / k.rt_ln10);
  for (double t : {0.0, 137.0, 300.0}) {
    const ThermoStorage st = At(t);
    const EquilibriumConstants kt = SupcrtConstants(st);
    EXPECT_EQ(kt.aqueous_k[51], 1e100);
    // Minerals that share a reaction differ only by their own energies.
    auto shared = [&](int a, int b) {
      return (kt.mineral_logk[a] - kt.mineral_logk[b]) * kt.rt_ln10;
    };
    EXPECT_NEAR(shared(41, 12), st.supcrt_mineral_gibbs[41] - st.supcrt_mineral_gibbs[12], 1e-9);
    EXPECT_NEAR(shared(11, 8), st.supcrt_mineral_gibbs[11] - st.supcrt_mineral_gibbs[8], 1e-9);
    EXPECT_NEAR(shared(14, 15), st.supcrt_mineral_gibbs[14] - st.supcrt_mineral_gibbs[15], 1e-8);
  }
}

TEST(SteamFraction, EnthalpyBalance) {
  EXPECT_NEAR(steam::FractionOfSteam(At(200, 100)), (852.4 - 419.0) / (2676 - 419.0), 1e-12);
  EXPECT_NEAR(steam::FractionOfSteam(At(200, 100)), 0.192, 5e-4);
  EXPECT_NEAR(steam::FractionOfSteam(At(250, 150)), 0.214, 5e-4);
  EXPECT_EQ(steam::FractionOfSteam(At(180, 180)), 0.0);
  EXPECT_EQ(steam::FractionOfSteam(At(100, 150)), 0.0);
  // The window's controls: no steam correction (Check1), the pH measurement mode (Option1).
  EXPECT_EQ(form::WindowSteamFraction(At(250, 150), false, true), 0.0);
  EXPECT_EQ(form::WindowSteamFraction(At(250, 150), true, false), 0.0);
  EXPECT_EQ(form::WindowSteamFraction(At(250, 150), false, false),
            steam::FractionOfSteam(At(250, 150)));
  // Without the correction the separation temperature is still checked against the table.
  EXPECT_THROW(form::WindowSteamFraction(At(250, 900), false, true), ArithmeticError);
  EXPECT_EQ(form::WindowSteamFraction(At(250, 900), true, false), 0.0);
}

TEST(Catalogues, InvariantsOfNamesChargesAndSizes) {
  for (DatasetId d : {DatasetId::kSolveq, DatasetId::kSupcrt}) {
    const Catalogue& c = CatalogueOf(d);
    for (int i = 1; i <= c.species_count; ++i) {
      const std::string_view name = c.Name(i);
      const int z = c.Charge(i);
      if (i != kWater) {
        const auto open = name.rfind('(');
        ASSERT_NE(open, std::string_view::npos) << name;
        const std::string_view shown = name.substr(open);
        const char* expected = z == 0    ? "(aq)"
                               : z == 1  ? "(+)"
                               : z == -1 ? "(-)"
                               : z == 2  ? "(2+)"
                               : z == -2 ? "(2-)"
                                         : "(3+)";
        EXPECT_EQ(shown, expected) << name;
      }
      EXPECT_EQ(c.IonSize(i) > 0.0, z != 0) << name;
    }
    for (int m = 1; m <= c.mineral_count; ++m) EXPECT_EQ(c.MineralLabel(m).size(), 17u);
    EXPECT_TRUE(c.MineralLabel(c.mineral_count + 1).empty());
  }
  EXPECT_EQ(CatalogueOf(DatasetId::kSolveq).Name(14), "H2O");
  EXPECT_EQ(CatalogueOf(DatasetId::kSupcrt).Name(14), "H2O       ");
  EXPECT_EQ(CatalogueOf(DatasetId::kSolveq).Name(10), "S       (2-)");
  EXPECT_EQ(CatalogueOf(DatasetId::kSupcrt).Name(1), "HSiO3  (-)");
  EXPECT_EQ(TrimmedName("LOW-ALBITE     = "), "LOW-ALBITE");
  EXPECT_EQ(TrimmedName("Fe(OH)2  (+)"), "Fe(OH)2  (+)");
}

// Guards against a slip in the compiled tables: counts and values from several rows and columns.
TEST(Tables, TranscriptionGuard) {
  EXPECT_EQ(data::kSolveqAqueousLogK.size(), 47u);
  EXPECT_EQ(data::kSolveqAqueousLogK[0][0], -22.397);
  EXPECT_EQ(data::kSolveqAqueousLogK[46][12], 11.28);
  EXPECT_EQ(data::kSolveqAqueousLogK[37 - 15][6], 9.411);
  EXPECT_EQ(data::kSolveqMineralPolynomials.size(), 38u);
  EXPECT_EQ(data::kSolveqMineralPolynomials[0].a[2], 0.50725e-4);
  EXPECT_EQ(data::kSolveqMineralPolynomials[4].a[5], 0.42325E-12);
  EXPECT_EQ(data::kSolveqMineralPolynomials[37].a[4], -1.9399e-10);
  EXPECT_EQ(data::kSolveqMineralPolynomials[15].multiplier, -0.125);
  EXPECT_EQ(data::kSupcrtAqueousGibbs.size(), 54u);
  EXPECT_EQ(data::kSupcrtAqueousGibbs[2][1], -282.4583);
  EXPECT_EQ(data::kSupcrtAqueousGibbs[3][1], -552.7672);
  EXPECT_EQ(data::kSupcrtAqueousGibbs[9][1], 11.99287);
  EXPECT_EQ(data::kSupcrtAqueousGibbs[13][1], -237.139);
  EXPECT_EQ(data::kSupcrtAqueousGibbs[53][12], -202.286);
  EXPECT_EQ(data::kSupcrtMineralGibbs.size(), 47u);
  EXPECT_EQ(data::kSupcrtMineralGibbs[40][7], -864.414);   // QUARTZ 175 °C
  EXPECT_EQ(data::kSupcrtMineralGibbs[41][4], -689.272);   // SIDERITE 100 °C
  EXPECT_EQ(data::kSupcrtMineralGibbs[45][5], -1552.876);  // WOLLASTONITE 125 °C
  EXPECT_EQ(data::kSupcrtMineralGibbs[0][0], -3703.284);
  EXPECT_EQ(data::kSupcrtMineralGibbs[46][12], -6601.661);
  EXPECT_EQ(data::kSteamLiquidEnthalpy[12], 1344.0);
  EXPECT_EQ(data::kSteamVapourEnthalpy[9], 2803.0);
  EXPECT_EQ(data::kDebyeHuckelA[15], 1.2555);
  EXPECT_EQ(data::kDebyeHuckelB[13], 0.3822);
  EXPECT_EQ(data::kBdotNodes[7], 270.0);
  EXPECT_EQ(data::kBdot[6], 0.034);
  EXPECT_EQ(data::kSupcrtComplexReactions[37 - 15].product_count, 3);
  EXPECT_EQ(data::kSupcrtMineralReactions[22].reactants[1].coefficient, 11.875);  // EPIDOTE H(+)
  EXPECT_EQ(data::kSolveqIap[28].terms[3].coefficient, 2.0);                      // PYRITE H(+)
  EXPECT_EQ(data::kSupcrtIap[37].terms[3].coefficient, 0.25);
}

}  // namespace
}  // namespace geofluid::thermo
