#include "geothermometry/solute.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geothermometry/giggenbach.h"

namespace geofluid::geothermometry {
namespace {

double Celsius(const std::vector<SoluteTemperature>& r, std::string_view key) {
  const SoluteTemperature* t = FindSolute(r, key);
  if (t == nullptr || !t->celsius) {
    ADD_FAILURE() << key << " missing";
    return NAN;
  }
  return *t->celsius;
}

// SiO2 400, Na 1000, K 150, Ca 5, Mg 0.05 mg/kg: a well water near 250 °C.
constexpr SoluteAnalysis kWell{400.0, 1000.0, 150.0, 5.0, 0.05};

TEST(SoluteGeothermometers, SilicaAgainstThePublishedEquations) {
  const auto r = SoluteGeothermometers(kWell);
  // log 400 = 2.602060
  // quartz:          1309 / (5.19 - 2.602060) = 1309 / 2.587940 = 505.808 K -> 232.658 °C
  // maximum loss:    1522 / (5.75 - 2.602060) = 1522 / 3.147940 = 483.491 K -> 210.341 °C
  // chalcedony:      1032 / (4.69 - 2.602060) = 1032 / 2.087940 = 494.267 K -> 221.117 °C
  EXPECT_NEAR(Celsius(r, "quartz_fournier1977"), 232.658, 0.001);
  EXPECT_NEAR(Celsius(r, "quartz_steam_loss_fournier1977"), 210.341, 0.001);
  EXPECT_NEAR(Celsius(r, "chalcedony_fournier1977"), 221.117, 0.001);
  EXPECT_TRUE(FindSolute(r, "quartz_fournier1977")->warning.empty());
}

TEST(SoluteGeothermometers, NaKAgainstThePublishedEquations) {
  const auto r = SoluteGeothermometers(kWell);
  // log(Na/K) = log(1000/150) = 0.823909
  // Truesdell:   855.6 / (0.8573 + 0.823909) = 855.6 / 1.681209 = 508.920 K -> 235.770 °C
  // Fournier:    1217 / (1.483 + 0.823909) = 1217 / 2.306909 = 527.546 K -> 254.396 °C
  // Arnórsson:   933 / (0.993 + 0.823909) = 933 / 1.816909 = 513.510 K -> 240.360 °C
  // Giggenbach:  1390 / (1.75 + 0.823909) = 1390 / 2.573909 = 540.035 K -> 266.885 °C
  EXPECT_NEAR(Celsius(r, "na_k_truesdell1976"), 235.770, 0.001);
  EXPECT_NEAR(Celsius(r, "na_k_fournier1979"), 254.396, 0.001);
  EXPECT_NEAR(Celsius(r, "na_k_arnorsson1983"), 240.360, 0.001);
  EXPECT_NEAR(Celsius(r, "na_k_giggenbach1988"), 266.885, 0.001);
  // 240.4 °C is inside Arnórsson's 25-250 °C; a water 10 °C hotter is not.
  EXPECT_TRUE(FindSolute(r, "na_k_arnorsson1983")->warning.empty());
  const auto hot = SoluteGeothermometers({400.0, 1000.0, 180.0, 5.0, 0.05});
  EXPECT_NE(FindSolute(hot, "na_k_arnorsson1983")->warning.find("25-250"), std::string::npos);
}

TEST(SoluteGeothermometers, NaKCaTakesBetaByTheRuleOfFournierAndTruesdell) {
  // The well: log(sqrt(Ca)/Na) = log(2.236068/1000) = -2.650515; + 2.06 = -0.590515 (molal).
  // beta 4/3: 1647 / (0.823909 + 4/3 (-0.590515) + 2.47) = 1647 / 2.506555 = 657.077 K
  //           -> 383.927 °C, above 100 °C, so beta = 1/3:
  // beta 1/3: 1647 / (0.823909 + 1/3 (-0.590515) + 2.47) = 1647 / 3.097070 = 531.793 K
  //           -> 258.643 °C
  const auto r = SoluteGeothermometers(kWell);
  EXPECT_NEAR(Celsius(r, "na_k_ca_fournier_truesdell1973"), 258.643, 0.001);
  EXPECT_EQ(FindSolute(r, "na_k_ca_fournier_truesdell1973")->note, "beta = 1/3");

  // A cold calcium water, Na 20, K 2, Ca 60: log(Na/K) = 1, log(sqrt(60)/20) + 2.06 = 1.648046
  // (positive). beta 4/3: 1647 / (1 + 4/3 * 1.648046 + 2.47) = 1647 / 5.667394 = 290.610 K
  // -> 17.460 °C, below 100 °C with a positive logarithm: kept.
  const auto cold = SoluteGeothermometers({20.0, 20.0, 2.0, 60.0, 5.0});
  EXPECT_NEAR(Celsius(cold, "na_k_ca_fournier_truesdell1973"), 17.460, 0.001);
  EXPECT_EQ(FindSolute(cold, "na_k_ca_fournier_truesdell1973")->note, "beta = 4/3");
  // Such water makes Na/K meaningless, and the Na/K results say so.
  EXPECT_NE(FindSolute(cold, "na_k_fournier1979")->warning.find("Na-K-Ca"), std::string::npos);
  EXPECT_EQ(FindSolute(r, "na_k_fournier1979")->warning.find("Na-K-Ca"), std::string::npos);

  // Below 100 °C with beta 4/3 but a negative molal logarithm: beta 1/3 all the same.
  // Na 1000, K 2, Ca 1: log(Na/K) = 2.698970; log(1/1000) + 2.06 = -0.94;
  // beta 4/3: 1647 / (2.698970 - 1.253333 + 2.47) = 1647 / 3.915637 = 420.621 K -> 147.5 °C,
  // so 1/3: 1647 / (2.698970 - 0.313333 + 2.47) = 1647 / 4.855637 = 339.193 K -> 66.043 °C.
  const auto salty = SoluteGeothermometers({20.0, 1000.0, 2.0, 1.0, 0.1});
  EXPECT_NEAR(Celsius(salty, "na_k_ca_fournier_truesdell1973"), 66.043, 0.001);
  EXPECT_NEAR(*NaKCaTemperature({0, 1000.0, 2.0, 1.0, 0}, 4.0 / 3.0), 147.471, 0.001);
}

TEST(SoluteGeothermometers, KMgAgainstThePublishedEquation) {
  // log(K^2/Mg) = log(22500/0.05) = 5.653213
  // 4410 / (14.0 - 5.653213) = 4410 / 8.346787 = 528.347 K -> 255.197 °C
  EXPECT_NEAR(Celsius(SoluteGeothermometers(kWell), "k_mg_giggenbach1988"), 255.197, 0.001);
}

TEST(SoluteGeothermometers, MissingOrBadConcentrationsGiveReasonsNotNumbers) {
  const auto r = SoluteGeothermometers({400.0, 1000.0, 150.0, 0.0, 0.0});
  const SoluteTemperature* kmg = FindSolute(r, "k_mg_giggenbach1988");
  EXPECT_FALSE(kmg->celsius);
  EXPECT_NE(kmg->reason.find("Mg is 0"), std::string::npos);
  EXPECT_FALSE(FindSolute(r, "na_k_ca_fournier_truesdell1973")->celsius);
  EXPECT_TRUE(FindSolute(r, "quartz_fournier1977")->celsius);

  const auto bad = SoluteGeothermometers({NAN, -3.0, 150.0, 5.0, 0.05});
  EXPECT_EQ(bad.size(), 9u);
  for (const SoluteTemperature& t : bad) {
    if (t.key == "k_mg_giggenbach1988") continue;  // K and Mg are fine
    EXPECT_FALSE(t.celsius) << t.key;
    EXPECT_FALSE(t.reason.empty()) << t.key;
  }
  EXPECT_NE(FindSolute(bad, "na_k_fournier1979")->reason.find("Na is negative"), std::string::npos);
  // Silica beyond the equation's pole (10^5.19 mg/kg) has no temperature rather than a negative
  // absolute one.
  const auto pole = SoluteGeothermometers({200000.0, 1000.0, 150.0, 5.0, 0.05});
  EXPECT_FALSE(FindSolute(pole, "quartz_fournier1977")->celsius);
  EXPECT_NE(FindSolute(pole, "quartz_fournier1977")->reason.find("domain"), std::string::npos);
}

TEST(Giggenbach, TrianglePointAndMaturity) {
  // Na/1000 = 1, K/100 = 1.5, sqrt(0.05) = 0.223607; sum 2.723607
  // -> 36.716 % Na, 55.074 % K, 8.210 % Mg
  const GiggenbachClassification c = ClassifyGiggenbach(kWell);
  ASSERT_TRUE(c.point);
  EXPECT_NEAR(c.point->na, 36.716, 0.001);
  EXPECT_NEAR(c.point->k, 55.074, 0.001);
  EXPECT_NEAR(c.point->mg, 8.210, 0.001);
  // MI = 0.315 * 5.653213 - log(150/1000) = 1.780762 + 0.823909 = 2.604671: partial.
  EXPECT_NEAR(*c.maturity_index, 2.604671, 1e-6);
  EXPECT_EQ(c.maturity, Maturity::kPartialEquilibration);

  // Mg 20: MI = 0.315 log(22500/20) + 0.823909 = 0.315 * 3.051153 + 0.823909 = 1.785022.
  EXPECT_EQ(ClassifyGiggenbach({0, 1000.0, 150.0, 5.0, 20.0}).maturity, Maturity::kImmature);
  const GiggenbachClassification no_mg = ClassifyGiggenbach({0, 1000.0, 150.0, 5.0, 0.0});
  EXPECT_EQ(no_mg.maturity, Maturity::kUnclassified);
  EXPECT_TRUE(no_mg.point);
  EXPECT_NEAR(no_mg.point->mg, 0.0, 0.0);
  EXPECT_FALSE(ClassifyGiggenbach({0, 0.0, 0.0, 5.0, 0.0}).point);
}

TEST(Giggenbach, FullEquilibriumLineGivesItsTemperatureBack) {
  const auto line = FullEquilibriumLine();
  ASSERT_EQ(line.size(), 13u);
  EXPECT_EQ(line.front().celsius, 100.0);
  EXPECT_EQ(line.back().celsius, 340.0);
  for (const LabelledPoint& p : line) {
    EXPECT_NEAR(p.point.na + p.point.k + p.point.mg, 100.0, 1e-9);
    // A water on the line, scaled to K = 100 mg/kg: both of Giggenbach's geothermometers return
    // the line's temperature and the water counts as fully equilibrated.
    const double k = 100.0;
    const double na = 1000.0 * p.point.na / p.point.k;
    const double mg = std::pow(p.point.mg / p.point.k, 2.0);
    const auto r = SoluteGeothermometers({0.0, na, k, 1.0, mg});
    EXPECT_NEAR(Celsius(r, "na_k_giggenbach1988"), p.celsius, 1e-9);
    EXPECT_NEAR(Celsius(r, "k_mg_giggenbach1988"), p.celsius, 1e-9);
    EXPECT_EQ(ClassifyGiggenbach({0.0, na, k, 1.0, mg}).maturity, Maturity::kFullEquilibrium)
        << p.celsius;
  }
  for (const TernaryPoint& b : PartialEquilibriumBoundary()) {
    const double na = 1000.0 * b.na / b.k;
    const double mg = std::pow(b.mg / b.k, 2.0);
    EXPECT_NEAR(*ClassifyGiggenbach({0.0, na, 100.0, 1.0, mg}).maturity_index, 2.0, 1e-9);
  }
}

}  // namespace
}  // namespace geofluid::geothermometry
