#include "geothermometry/solute.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geothermometry/giggenbach.h"
#include "steam/steam_fraction.h"

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
  // log(Na/K) = log(1000/150) = 0.823909; the constants as Fournier (1989, Table 1) prints them:
  // Truesdell:   856 / (0.857 + 0.823909) = 856 / 1.680909 = 509.248 K -> 236.098 °C
  // Fournier:    1217 / (1.483 + 0.823909) = 1217 / 2.306909 = 527.546 K -> 254.396 °C
  // Arnórsson:   933 / (0.993 + 0.823909) = 933 / 1.816909 = 513.510 K -> 240.360 °C
  // Giggenbach:  1390 / (1.75 + 0.823909) = 1390 / 2.573909 = 540.035 K -> 266.885 °C
  EXPECT_NEAR(Celsius(r, "na_k_truesdell1976"), 236.098, 0.001);
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

namespace geofluid::geothermometry {
namespace {

double Value(const SoluteTemperature& t) {
  if (!t.celsius) {
    ADD_FAILURE() << t.key << ": " << t.reason;
    return NAN;
  }
  return *t.celsius;
}

constexpr SoluteAnalysis kWellWithLi{400.0, 1000.0, 150.0, 5.0, 0.05, 5.0};

TEST(SoluteForms, SilicaAgainstThePublishedEquations) {
  // S = 400, log S = 2.602060:
  // Fournier & Potter (1982): -42.198 + 115.324 - 58.698 + 20.266 + 200.447 = 235.141 °C
  // Arnórsson (2000):         -55.3 + 146.36 - 86.326 + 35.284 + 193.489 = 233.507 °C
  // Arnórsson et al. (1983) chalcedony: 1112 / 2.307940 = 481.815 K -> 208.665 °C
  // Fournier (1977): amorphous 731 / 1.917940 = 381.138 K -> 107.988 °C (731 and 4.52 as
  //   Fournier, Lectures on geochemical interpretation of hydrothermal waters, UNU-GTP 1989,
  //   p. 33, eq. (18) prints them: log S = -731/T + 4.52, S in mg/kg, T in K, 0-250 °C);
  //   alpha-cristobalite 1000 / 2.177940 = 459.150 K -> 185.999 °C;
  //   beta-cristobalite 781 / 1.907940 = 409.342 K -> 136.192 °C
  EXPECT_NEAR(Value(SoluteByKey("quartz_fournier_potter1982", kWell)), 235.141, 0.001);
  EXPECT_NEAR(Value(SoluteByKey("quartz_arnorsson2000", kWell)), 233.507, 0.001);
  EXPECT_NEAR(Value(SoluteByKey("chalcedony_arnorsson1983", kWell)), 208.665, 0.001);
  EXPECT_NEAR(Value(SoluteByKey("amorphous_silica_fournier1977", kWell)), 107.988, 0.001);
  EXPECT_NEAR(Value(SoluteByKey("cristobalite_alpha_fournier1977", kWell)), 185.999, 0.001);
  EXPECT_NEAR(Value(SoluteByKey("cristobalite_beta_fournier1977", kWell)), 136.192, 0.001);
  EXPECT_EQ(SoluteByKey("amorphous_silica_fournier1977", kWell).bound, "lower");
  // Fournier & Potter (1982) made their polynomial because Fournier (1977) falls low above
  // 250 °C: silica 726.8 mg/kg is 289.0 °C by Fournier (1977) but 315.6 °C by theirs.
  const SoluteAnalysis hot{726.8, 1000.0, 150.0, 5.0, 0.05};
  EXPECT_NEAR(Value(SoluteByKey("quartz_fournier1977", hot)), 289.0, 0.05);
  EXPECT_NEAR(Value(SoluteByKey("quartz_fournier_potter1982", hot)), 315.55, 0.01);
  EXPECT_TRUE(SoluteByKey("quartz_fournier_potter1982", hot).warning.empty());
  // Beyond the cubic's calibration: a reason, not a number.
  EXPECT_FALSE(SoluteByKey("quartz_arnorsson2000", {5000.0, 1.0, 1.0, 1.0, 1.0}).celsius);
}

TEST(SoluteForms, NaKAndLithiumAgainstThePublishedEquations) {
  // log(Na/K) = 0.823909, the constants as Fournier (1989, Table 1) prints them:
  //   Arnórsson et al. (1983), 250-350 °C: 1319 / 2.522909 = 522.809 K -> 249.659 °C
  //   Nieva & Nieva (1987): 1178 / 2.293909 = 513.534 K -> 240.384 °C
  //   Tonani (1980): 883 / 1.603909 = 550.530 K -> 277.380 °C
  EXPECT_NEAR(Value(SoluteByKey("na_k_arnorsson1983_high", kWell)), 249.659, 0.001);
  EXPECT_NEAR(Value(SoluteByKey("na_k_nieva1987", kWell)), 240.384, 0.001);
  EXPECT_NEAR(Value(SoluteByKey("na_k_tonani1980", kWell)), 277.380, 0.001);
  // Truesdell (1976) as tabulated by Arnórsson (Náttúrufræðingurinn 51, 1981, Table II) and by
  // Fournier (1989, Table 1), 856 / (log(Na/K) + 0.857), gives 236.098 °C here; the 855.6 and
  // 0.8573 often quoted give 235.770 °C: the two differ by 0.33 °C, not more.
  EXPECT_NEAR(Value(SoluteByKey("na_k_truesdell1976", kWell)), 236.098, 0.35);

  // Na 1000, Li 5 mg/kg: molar log(Na/Li) = log(43.4976 / 0.720357) = 1.780917.
  //   Fouillac & Michard (1981), abstract, (a) log Na/Li = 1000/T - 0.38 and
  //   (b) log Na/Li = 1195/T + 0.13:
  //     Cl < 0.3 M: 1000 / 2.160917 = 462.766 K -> 189.616 °C
  //     Cl > 0.3 M: 1195 / 1.650917 = 723.840 K -> 450.690 °C
  //   Kharaka et al. (1982): 1590 / 2.559917 = 621.114 K -> 347.964 °C
  //   Kharaka & Mariner (1989), Mg 0.05: log(sqrt(0.05)/5) = -1.349485;
  //     2200 / 4.120515 = 533.914 K -> 260.914 °C with the 273 of their equation
  EXPECT_NEAR(Value(SoluteByKey("na_li_fouillac_michard1981", kWellWithLi)), 189.616, 0.001);
  SoluteAnalysis brine = kWellWithLi;
  brine.cl = 20000.0;  // 0.56 M
  EXPECT_NEAR(Value(SoluteByKey("na_li_fouillac_michard1981", brine)), 450.690, 0.001);
  EXPECT_NE(SoluteByKey("na_li_fouillac_michard1981", brine).note.find("Cl > 0.3 M"),
            std::string::npos);
  EXPECT_NEAR(Value(SoluteByKey("na_li_kharaka1982", kWellWithLi)), 347.964, 0.001);
  EXPECT_NEAR(Value(SoluteByKey("mg_li_kharaka_mariner1989", kWellWithLi)), 260.914, 0.001);
  // Without Li the lithium geothermometers say so.
  const SoluteTemperature no_li = SoluteByKey("na_li_kharaka1982", kWell);
  EXPECT_FALSE(no_li.celsius);
  EXPECT_NE(no_li.reason.find("Li was not given"), std::string::npos);
  EXPECT_THROW(SoluteByKey("quartz", kWell), std::invalid_argument);
}

TEST(SoluteForms, MagnesiumCorrectionOfFournierAndPotter) {
  // A Mg-rich bicarbonate water, Na 193, K 21, Ca 19, Mg 4.5 mg/kg:
  // R = 450 / (4.5 + 11.59 + 6.51) = 19.912; Na-K-Ca (beta 1/3) = 188.029 °C, T = 461.179 K;
  // log R = 1.299102: delta t = 10.66 - 94.412 + 549.954 - 377.531 - 156.143 + 165.319
  //       = 97.843 °C -> 90.187 °C.
  const SoluteAnalysis bc{84.0, 193.0, 21.0, 19.0, 4.5};
  EXPECT_NEAR(MagnesiumR(bc), 19.912, 0.001);
  EXPECT_NEAR(Value(SoluteByKey("na_k_ca_fournier_truesdell1973", bc)), 188.029, 0.001);
  EXPECT_NEAR(Value(SoluteByKey("na_k_ca_mg_fournier_potter1979", bc)), 90.187, 0.001);
  // R < 5 takes the other polynomial: Mg 0.5, R = 2.688, delta t = 3.075 °C.
  SoluteAnalysis low = bc;
  low.mg = 0.5;
  EXPECT_NEAR(MagnesiumCorrection(MagnesiumR(low), 188.029463), 3.075, 0.001);
  // Their rules: R > 50 is a cool water, not corrected into a number.
  SoluteAnalysis cool = bc;
  cool.mg = 40.0;
  const SoluteTemperature r50 = SoluteByKey("na_k_ca_mg_fournier_potter1979", cool);
  EXPECT_FALSE(r50.celsius);
  EXPECT_NE(r50.reason.find("> 50"), std::string::npos);
  // A Mg-poor well water (NA-01, Mg 0.013 mg/kg, R = 0.02): nothing to correct, where the
  // polynomial taken below R = 1.5 would subtract some 200 °C.
  const SoluteAnalysis na01{525.0, 962.0, 179.0, 2.6, 0.013};
  EXPECT_EQ(Value(SoluteByKey("na_k_ca_mg_fournier_potter1979", na01)),
            Value(SoluteByKey("na_k_ca_fournier_truesdell1973", na01)));
  EXPECT_GT(MagnesiumCorrection(MagnesiumR(na01), 282.9), 150.0);
  // Below 70 °C nothing is subtracted: the cold calcium water of the Na-K-Ca test.
  const SoluteAnalysis cold{20.0, 20.0, 2.0, 60.0, 5.0};
  EXPECT_NEAR(Value(SoluteByKey("na_k_ca_mg_fournier_potter1979", cold)), 17.460, 0.001);
}

TEST(SoluteForms, RangesAndConditionsAsPrinted) {
  // The ranges of validity as the tables print them: Arnórsson, Náttúrufræðingurinn 51 (1981)
  // Table II (chalcedony 25-180 °C, his Na/K 25-250 °C, Truesdell's Na/K 100-275 °C); Fournier
  // (1989) Table 1 (Arnórsson's Na/K above 250, 250-350 °C); Fournier & Truesdell (1973),
  // abstract (4-340 °C); Kharaka & Mariner (1989), abstract (Mg-Li to 350 °C).
  const struct {
    const char* key;
    double from, to;
  } printed[] = {
      {"chalcedony_arnorsson1983", 25.0, 180.0},      {"na_k_arnorsson1983", 25.0, 250.0},
      {"na_k_truesdell1976", 100.0, 275.0},           {"na_k_arnorsson1983_high", 250.0, 350.0},
      {"na_k_ca_fournier_truesdell1973", 4.0, 340.0}, {"mg_li_kharaka_mariner1989", 0.0, 350.0}};
  for (const auto& p : printed) {
    const SoluteTemperature t = SoluteByKey(p.key, kWellWithLi);
    EXPECT_EQ(t.valid_from, p.from) << p.key;
    EXPECT_EQ(t.valid_to, p.to) << p.key;
  }
  // Fouillac & Michard (1981), abstract: equation (a) for Cl < 0.3 M, (b) for Cl > 0.3 M.
  // 10,600 mg/kg of Cl is 0.2990 M, 10,700 mg/kg 0.3018 M.
  SoluteAnalysis fresh = kWellWithLi;
  fresh.cl = 10600.0;
  SoluteAnalysis saline = kWellWithLi;
  saline.cl = 10700.0;
  EXPECT_NEAR(Value(SoluteByKey("na_li_fouillac_michard1981", fresh)), 189.616, 0.001);
  EXPECT_NEAR(Value(SoluteByKey("na_li_fouillac_michard1981", saline)), 450.690, 0.001);
}

TEST(SoluteReservoirLiquid, SolvesTheEnthalpyBalance) {
  // The Na-Cl well NA-01: SiO2 525 mg/kg separated at 140 °C. As sampled, Fournier (1977)
  // quartz is 256.8 °C; the reservoir liquid at t held 525 (1 - y(t, 140)).
  const SoluteAnalysis na01{525.0, 962.0, 179.0, 2.6, 0.013};
  const SoluteTemperature sampled = SoluteByKey("quartz_fournier1977", na01);
  const SoluteTemperature liquid = ReservoirSoluteByKey("quartz_fournier1977", na01, 140.0);
  EXPECT_NEAR(Value(sampled), 256.8, 0.05);
  const double t = Value(liquid);
  const double y = steam::SteamFractionBetween(t, 140.0);
  EXPECT_GT(y, 0.15);
  EXPECT_LT(y, 0.25);
  EXPECT_NEAR(Value(SoluteByKey("quartz_fournier1977", {525.0 * (1.0 - y), 0, 0, 0, 0})), t, 1e-6);
  EXPECT_LT(t, 240.0);
  EXPECT_GT(t, 233.0);

  // Fournier's (1977) maximum-steam-loss form is the same balance done once for boiling to
  // 100 °C with his steam table and fitted by a line in 1/T: our solve with Ts = 100 °C lands
  // 1.8-2.5 °C above his fit between 150 and 210 °C, and must stay within 3 °C of it.
  for (double silica : {150.0, 250.0, 400.0, 550.0}) {
    const SoluteAnalysis w{silica, 1000.0, 150.0, 5.0, 0.05};
    EXPECT_NEAR(Value(ReservoirSoluteByKey("quartz_fournier1977", w, 100.0)),
                Value(SoluteByKey("quartz_steam_loss_fournier1977", w)), 3.0)
        << silica;
  }

  // Ratios of monovalent cations do not move; the concentration-dependent ones fall.
  EXPECT_EQ(Value(ReservoirSoluteByKey("na_k_giggenbach1988", na01, 140.0)),
            Value(SoluteByKey("na_k_giggenbach1988", na01)));
  EXPECT_FALSE(DependsOnConcentration("na_li_fouillac_michard1981"));
  for (const char* key : {"k_mg_giggenbach1988", "na_k_ca_fournier_truesdell1973",
                          "chalcedony_arnorsson1983", "quartz_fournier_potter1982"}) {
    EXPECT_LT(Value(ReservoirSoluteByKey(key, na01, 140.0)), Value(SoluteByKey(key, na01))) << key;
  }
  // The steam-loss form has no reservoir value; a water colder than its separator lost none.
  const SoluteTemperature loss =
      ReservoirSoluteByKey("quartz_steam_loss_fournier1977", na01, 140.0);
  EXPECT_FALSE(loss.celsius);
  EXPECT_NE(loss.reason.find("100 °C"), std::string::npos);
  EXPECT_EQ(Value(ReservoirSoluteByKey("quartz_fournier1977", na01, 270.0)), Value(sampled));
  // A liquid above the steam table's 300 °C is not extrapolated.
  const SoluteTemperature beyond =
      ReservoirSoluteByKey("quartz_fournier_potter1982", {900.0, 1, 1, 1, 1}, 250.0);
  EXPECT_FALSE(beyond.celsius);
  EXPECT_NE(beyond.reason.find("steam table"), std::string::npos);
}

TEST(SoluteFlags, MaturityRangeAndDetection) {
  // An immature water (MI 1.79, Mg 20): its cation geothermometers are not applicable.
  SoluteAnalysis immature{300.0, 1000.0, 150.0, 5.0, 20.0};
  auto all = EverySoluteGeothermometer(immature);
  FlagSolutes(all, immature, ClassifyGiggenbach(immature));
  EXPECT_TRUE(FindSolute(all, "na_k_fournier1979")->HasFlag("immature"));
  EXPECT_TRUE(FindSolute(all, "na_k_fournier1979")->HasFlag("not_applicable"));
  EXPECT_TRUE(FindSolute(all, "k_mg_giggenbach1988")->HasFlag("not_applicable"));
  EXPECT_TRUE(FindSolute(all, "quartz_fournier1977")->flags.empty());
  // Two reasons for one code make one flag: Mg 60 gives R = 54.8 > 50 as well.
  immature.mg = 60.0;
  all = EverySoluteGeothermometer(immature);
  FlagSolutes(all, immature, ClassifyGiggenbach(immature));
  const auto& mg_flags = FindSolute(all, "na_k_ca_mg_fournier_potter1979")->flags;
  ASSERT_EQ(mg_flags.size(), 2u);
  EXPECT_EQ(mg_flags[1].code, "not_applicable");
  EXPECT_NE(mg_flags[1].reason.find("R = 54.8 > 50"), std::string::npos) << mg_flags[1].reason;
  // Partial equilibrium (the well, MI 2.60): Na/K uncertain, Na-K-Ca not flagged for it.
  auto well = EverySoluteGeothermometer(kWell);
  FlagSolutes(well, kWell, ClassifyGiggenbach(kWell));
  EXPECT_TRUE(FindSolute(well, "na_k_giggenbach1988")->HasFlag("partial_equilibrium"));
  EXPECT_FALSE(FindSolute(well, "na_k_ca_fournier_truesdell1973")->HasFlag("partial_equilibrium"));
  // Chalcedony at 221 °C: quartz controls there. Arnórsson's 25-250 °C Na/K at 254 °C is
  // out of range.
  EXPECT_TRUE(FindSolute(well, "chalcedony_fournier1977")->HasFlag("not_applicable"));
  const SoluteAnalysis hot{400.0, 1000.0, 180.0, 5.0, 0.05};
  auto hot_all = EverySoluteGeothermometer(hot);
  FlagSolutes(hot_all, hot, ClassifyGiggenbach(hot));
  EXPECT_TRUE(FindSolute(hot_all, "na_k_arnorsson1983")->HasFlag("out_of_range"));
  // Fournier & Truesdell's condition on Na/K.
  const SoluteAnalysis calcic{20.0, 20.0, 2.0, 60.0, 5.0};
  auto c = EverySoluteGeothermometer(calcic);
  FlagSolutes(c, calcic, ClassifyGiggenbach(calcic));
  EXPECT_TRUE(FindSolute(c, "na_k_fournier1979")->HasFlag("condition"));

  // Mg below a detection limit of 0.01 mg/kg (0.005 used): the water sits on the Na-K edge,
  // K-Mg is a lower bound computed at the limit, and both say so.
  SoluteAnalysis nd{400.0, 1000.0, 150.0, 5.0, 0.005};
  nd.below_detection = kSoluteMg;
  nd.mg_limit = 0.01;
  const GiggenbachClassification g = ClassifyGiggenbach(nd);
  ASSERT_TRUE(g.point);
  EXPECT_EQ(g.point->mg, 0.0);
  // MI at the limit: 0.315 log(22500/0.01) + 0.823909 = 2.8248 -> full equilibrium at least.
  EXPECT_NEAR(*g.maturity_index, 2.8248, 1e-4);
  EXPECT_NE(g.reason.find("Na-K edge"), std::string::npos);
  auto d = EverySoluteGeothermometer(nd);
  FlagSolutes(d, nd, g);
  const SoluteTemperature* kmg = FindSolute(d, "k_mg_giggenbach1988");
  EXPECT_EQ(kmg->bound, "lower");
  EXPECT_TRUE(kmg->HasFlag("below_detection"));
  // 4410 / (14 - log(22500/0.01)) = 4410 / 7.647817 = 576.635 K -> 303.485 °C
  EXPECT_NEAR(Value(*kmg), 303.485, 0.001);
  EXPECT_FALSE(FindSolute(d, "quartz_fournier1977")->HasFlag("below_detection"));
}

}  // namespace
}  // namespace geofluid::geothermometry
