// Multicomponent geothermometry on incomplete analyses: one mineral under one name in both
// datasets, components fixed by equilibrium with a mineral, and normalised indices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "cli_process.h"
#include "engine/engine.h"
#include "geothermometry/estimate.h"
#include "geothermometry/sweep.h"
#include "typed_sample.h"

namespace geofluid::geothermometry {
namespace {

using engine::Dataset;
using engine::Sample;

// Element counts of a formula such as "Ca2Al3Si3O12(OH)" or "NaAlSi2O6·H2O" (water of
// crystallisation ignored: the reactions do not write it).
std::map<std::string, double> Elements(const std::string& formula) {
  std::map<std::string, double> count;
  std::vector<std::map<std::string, double>> stack(1);
  const std::string f = formula.substr(0, formula.find("·"));
  std::size_t i = 0;
  auto number = [&] {
    double n = 0;
    bool any = false;
    while (i < f.size() && std::isdigit(static_cast<unsigned char>(f[i]))) {
      n = 10 * n + (f[i++] - '0');
      any = true;
    }
    return any ? n : 1.0;
  };
  while (i < f.size()) {
    if (f[i] == '(') {
      stack.emplace_back();
      ++i;
    } else if (f[i] == ')') {
      ++i;
      const double n = number();
      auto group = stack.back();
      stack.pop_back();
      for (auto& [e, c] : group) stack.back()[e] += n * c;
    } else {
      std::string e(1, f[i++]);
      while (i < f.size() && std::islower(static_cast<unsigned char>(f[i]))) e += f[i++];
      stack.back()[e] += number();
    }
  }
  return stack.back();
}

class IdentityTest : public ::testing::TestWithParam<thermo::DatasetId> {};

// Every mineral of the dataset has a common name and a formula, the names lead back to it, and
// the formula holds as many of each metal and of Si as the dataset's reaction: a wrong row of
// the table (a name on the wrong formula) shows up here.
TEST_P(IdentityTest, EveryMineralHasOneNameAndItsReactionsFormula) {
  const Dataset& d = Dataset::Of(GetParam());
  std::set<std::string> common;
  const std::map<std::string, std::string> component = {{"Si", "SiO2"}, {"Na", "Na"}, {"K", "K"},
                                                        {"Ca", "Ca"},   {"Mg", "Mg"}, {"Fe", "Fe"},
                                                        {"Al", "Al"}};
  for (int m = 1; m <= d.MineralCount(); ++m) {
    const std::string name(d.MineralName(m));
    SCOPED_TRACE(name);
    ASSERT_FALSE(d.Formula(m).empty());
    EXPECT_TRUE(common.insert(std::string(d.CommonName(m))).second);
    EXPECT_EQ(d.MineralIndexOf(d.CommonName(m)), m);
    EXPECT_EQ(d.MineralIndexOf(name), m);
    const auto elements = Elements(std::string(d.Formula(m)));
    for (const auto& [element, key] : component) {
      const double in_formula = elements.count(element) ? elements.at(element) : 0.0;
      EXPECT_DOUBLE_EQ(d.ComponentMoles(m, *engine::ComponentIndex(key)), in_formula) << element;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothDatasets, IdentityTest,
                         ::testing::Values(thermo::DatasetId::kSolveq, thermo::DatasetId::kSupcrt));

// A set written with one dataset's spellings works on the other; what the other lacks leaves
// the set with a warning, a name neither knows is still an error.
TEST(MineralSets, OneSetServesBothDatasets) {
  const Dataset& solveq = Dataset::Of(thermo::DatasetId::kSolveq);
  const Dataset& supcrt = Dataset::Of(thermo::DatasetId::kSupcrt);
  const MineralSet a = ResolveMinerals(solveq, {"ALBITE_LOW", "PREHNITE", "clinochlore_14a"});
  EXPECT_EQ(a.names, (std::vector<std::string>{"LOW-ALBITE", "PRHENITE"}));
  EXPECT_EQ(a.absent, (std::vector<std::string>{"clinochlore_14a"}));
  const MineralSet b = ResolveMinerals(supcrt, {"LOW-ALBITE", "PRHENITE", "CLINOCHLORE 7A"});
  EXPECT_EQ(b.names, (std::vector<std::string>{"ALBITE_LOW", "PREHNITE", "CLINOCHLORE_7A"}));
  EXPECT_TRUE(supcrt.MineralIndexOf("andalusite"));
  EXPECT_EQ(supcrt.MineralIndexOf("andalusite"), supcrt.MineralIndexOf("ANDALUCITE"));
  EXPECT_THROW(ResolveMinerals(solveq, {"QUARZ"}), UnknownMineral);
  EXPECT_THROW(ResolveMinerals(solveq, {"albite_low", "LOW-ALBITE"}), std::invalid_argument);
  EXPECT_THROW(ResolveMinerals(solveq, {"clinochlore_14a"}), std::invalid_argument);

  engine::ConditionsCache cache;
  SweepOptions options;
  options.temperatures = TemperatureGrid(200.0, 220.0, 10.0);
  const Estimate e = EstimateTemperature(testing::TypedNaClWater(), solveq,
                                         {"quartz", "clinochlore_14a"}, options, cache);
  EXPECT_EQ(e.minerals, (std::vector<std::string>{"QUARTZ"}));
  ASSERT_FALSE(e.warnings.empty());
  EXPECT_NE(e.warnings[0].find("clinochlore_14a"), std::string::npos);
}

Sample WithoutAl() {
  Sample s = testing::TypedNaClWater();
  s.Component("Al") = 0.0;
  return s;
}

class FixTest : public ::testing::TestWithParam<thermo::DatasetId> {};

// Al fixed by microcline: at every temperature the total found, typed back into the analysis
// and run the ordinary way, saturates microcline; microcline leaves the statistics and the
// aluminosilicates return to them.
TEST_P(FixTest, FixedTotalSaturatesTheMineralWhenTypedBackIn) {
  const Dataset& d = Dataset::Of(GetParam());
  engine::ConditionsCache cache;
  SweepOptions options;
  options.temperatures = TemperatureGrid(150.0, 300.0, 50.0);
  options.fix = {{"Al", "microcline"}};
  const Sample s = WithoutAl();
  const Estimate e = EstimateTemperature(s, d, {}, options, cache);
  ASSERT_TRUE(e.sweep.ok()) << e.sweep.error;
  const int microcline = d.Mineral("MICROCLINE").index;
  double previous = 0.0;
  for (const SweepPoint& p : e.sweep.points) {
    SCOPED_TRACE(p.temperature);
    ASSERT_TRUE(p.ok()) << p.error;
    ASSERT_EQ(p.fixed.count("Al"), 1u);
    const double al = p.fixed.at("Al");
    EXPECT_GT(al, kFixLowest);
    EXPECT_LT(al, kFixHighest);
    EXPECT_NEAR(p.si[static_cast<std::size_t>(microcline - 1)], 0.0, 1e-3);
    // Feldspar solubility rises with temperature.
    EXPECT_GT(al, previous);
    previous = al;

    Sample typed = s;
    typed.Component("Al") = al;
    SweepOptions plain;
    plain.temperatures = {p.temperature};
    const Sweep check = RunSweep(typed, d, plain, cache);
    ASSERT_TRUE(check.ok() && check.points[0].ok());
    EXPECT_NEAR(check.Si(0, microcline), 0.0, 1e-3);
    EXPECT_NEAR(check.points[0].ph, p.ph, 1e-9);
  }
  EXPECT_EQ(std::count(e.used.begin(), e.used.end(), "MICROCLINE"), 0);
  EXPECT_GE(std::count(e.used.begin(), e.used.end(), "MUSCOVITE"), 1);
  bool said = false;
  for (const auto& w : e.warnings)
    said = said || w.find("MICROCLINE left out") != std::string::npos;
  EXPECT_TRUE(said);
}

INSTANTIATE_TEST_SUITE_P(BothDatasets, FixTest,
                         ::testing::Values(thermo::DatasetId::kSolveq, thermo::DatasetId::kSupcrt));

// Without a fix the aluminosilicates leave with a warning naming the option; with Al and Mg
// both fixed, each fixing mineral is saturated at once.
TEST(Fix, MissingAlNamesTheOptionAndTwoFixesSettleTogether) {
  const Dataset& d = Dataset::Of(thermo::DatasetId::kSupcrt);
  engine::ConditionsCache cache;
  SweepOptions options;
  options.temperatures = {250.0};
  Sample s = WithoutAl();
  const Estimate plain = EstimateTemperature(s, d, {}, options, cache);
  bool named = false;
  for (const auto& w : plain.warnings) named = named || w.find("--fix Al=") != std::string::npos;
  EXPECT_TRUE(named);

  s.Component("Mg") = 0.0;
  options.fix = {{"Al", "ALBITE_LOW"}, {"Mg", "CLINOCHLORE_14A"}};
  const Sweep sweep = RunSweep(s, d, options, cache);
  ASSERT_TRUE(sweep.ok() && sweep.points[0].ok()) << sweep.points[0].error;
  EXPECT_NEAR(sweep.Si(0, d.Mineral("ALBITE_LOW").index), 0.0, 1e-3);
  EXPECT_NEAR(sweep.Si(0, d.Mineral("CLINOCHLORE_14A").index), 0.0, 1e-3);
  EXPECT_EQ(sweep.points[0].fixed.size(), 2u);
}

// A total no bracket can find is an error of that temperature naming the bracket, and the
// options a user gets wrong are refused before any calculation, naming the fix.
TEST(Fix, UnsolvableAndWrongFixesAreReported) {
  const Dataset& d = Dataset::Of(thermo::DatasetId::kSolveq);
  engine::ConditionsCache cache;
  SweepOptions options;
  options.temperatures = {200.0};
  // No Al at all: no K total saturates microcline.
  options.fix = {{"K", "MICROCLINE"}};
  const Sweep sweep = RunSweep(WithoutAl(), d, options, cache);
  ASSERT_TRUE(sweep.ok());
  ASSERT_FALSE(sweep.points[0].ok());
  EXPECT_NE(sweep.points[0].error.find("1e-16 and 1e-01 mol/kg"), std::string::npos)
      << sweep.points[0].error;
  EXPECT_NE(sweep.points[0].error.find("200"), std::string::npos);

  EXPECT_THROW(ResolveFixes(d, {{"Al", "QUARTZ"}}), std::invalid_argument);
  EXPECT_THROW(ResolveFixes(d, {{"Xx", "QUARTZ"}}), std::invalid_argument);
  EXPECT_THROW(ResolveFixes(d, {{"Al", "NOSUCH"}}), std::invalid_argument);
  EXPECT_THROW(ResolveFixes(d, {{"Al", "MICROCLINE"}, {"Al", "LOW-ALBITE"}}),
               std::invalid_argument);
  EXPECT_THROW(ResolveFixes(d, {{"Al", "MICROCLINE"}, {"K", "MICROCLINE"}}), std::invalid_argument);
  EXPECT_EQ(ParseFix(" Al = microcline ").mineral, "microcline");
  EXPECT_THROW(ParseFix("Al"), std::invalid_argument);
  EXPECT_THROW(ParseFix("=QUARTZ"), std::invalid_argument);
}

// Normalised, each index is divided by the moles of its reaction as the dataset writes it:
// microcline KAlSi3O8 + 4 H(+) = K(+) + Al(3+) + 3 H4SiO4 counts 1 + 4 + 1 + 1 + 3 = 9 (water is
// not written), quartz SiO2 = H4SiO4 counts 1.
TEST(Normalize, RmsWeighsEachIndexByItsReaction) {
  const Dataset& d = Dataset::Of(thermo::DatasetId::kSolveq);
  engine::ConditionsCache cache;
  SweepOptions options;
  options.temperatures = TemperatureGrid(150.0, 250.0, 50.0);
  const Sample s = testing::TypedNaClWater();
  options.normalize = true;
  const Estimate e = EstimateTemperature(s, d, {"QUARTZ", "MICROCLINE"}, options, cache);
  EXPECT_TRUE(e.normalized);
  const int q = d.Mineral("QUARTZ").index;
  const int k = d.Mineral("MICROCLINE").index;
  ASSERT_EQ(e.curves.size(), 3u);
  for (std::size_t p = 0; p < 3; ++p) {
    const double a = e.sweep.Si(p, q) / 1.0;
    const double b = e.sweep.Si(p, k) / 9.0;
    EXPECT_NEAR(e.curves[p].rms, std::sqrt((a * a + b * b) / 2.0), 1e-12);
  }
  // The crossings are those of the indices as printed.
  options.normalize = false;
  const Estimate raw = EstimateTemperature(s, d, {"QUARTZ", "MICROCLINE"}, options, cache);
  EXPECT_EQ(raw.crossings, e.crossings);
  EXPECT_FALSE(raw.normalized);
}

// The auto set keeps only minerals whose curve comes within 1 of zero somewhere in the range;
// every mineral of the default set it leaves out is named in a warning.
TEST(AutoSet, DropsWhatCannotInformTheEstimateAndSaysWhy) {
  const Dataset& d = Dataset::Of(thermo::DatasetId::kSupcrt);
  engine::ConditionsCache cache;
  SweepOptions options;
  options.temperatures = TemperatureGrid(150.0, 300.0, 10.0);
  const Estimate e = EstimateTemperature(testing::TypedNaClWater(), d, {"auto"}, options, cache);
  EXPECT_EQ(e.minerals, DefaultMinerals(d));
  ASSERT_FALSE(e.used.empty());
  EXPECT_LT(e.used.size(), e.minerals.size());
  for (const std::string& name : e.minerals) {
    const int m = d.Mineral(name).index;
    double closest = 1e9;
    for (std::size_t p = 0; p < e.sweep.points.size(); ++p) {
      closest = std::min(closest, std::abs(e.sweep.Si(p, m)));
    }
    const bool used = std::count(e.used.begin(), e.used.end(), name) == 1;
    EXPECT_EQ(used, closest <= kAutoFarFromZero) << name;
    if (!used) {
      bool named = false;
      for (const auto& w : e.warnings) named = named || w.find("auto set: " + name) == 0;
      EXPECT_TRUE(named) << name;
    }
  }
}

// What a script reads with --fix, --normalize and --optimize, the option placed before the
// input (it takes one value), and a user's mistakes refused before any calculation.
TEST(MulticomponentCli, FixedTotalsOptimisedUnknownsAndMistakes) {
  testing::TempDir dir;
  const std::string sample = std::string(GEOFLUID_SOURCE_DIR) + "/examples/nacl-water.ini";
  const auto run =
      testing::RunCli({"geothermometry", "--fix", "Al=microcline", "--normalize", "--optimize",
                       "steam_loss", sample, "--format", "json", "--dataset", "supcrt", "--from",
                       "200", "--to", "260", "--step", "20"},
                      dir.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  const auto d = nlohmann::json::parse(run.out).at("datasets").at("supcrt");
  EXPECT_EQ(d.at("normalized"), true);
  EXPECT_EQ(d.at("fixed").at("Al"), "MICROCLINE");
  ASSERT_EQ(d.at("sweep").size(), 4u);
  for (const auto& p : d.at("sweep")) {
    EXPECT_GT(p.at("fixed").at("Al").get<double>(), 0.0);
    EXPECT_NEAR(p.at("si").at("MICROCLINE").get<double>(), 0.0, 1e-3);
  }
  const auto& loss = d.at("optimized").at("steam_loss");
  EXPECT_GE(loss.at("value").get<double>(), kSteamLossBounds[0]);
  EXPECT_LE(loss.at("value").get<double>(), kSteamLossBounds[1]);
  EXPECT_TRUE(loss.contains("sd") && loss.contains("on_bound"));

  for (const auto& [fix, says] :
       std::vector<std::pair<std::string, std::string>>{{"Al=QUARTZ", "QUARTZ holds no Al"},
                                                        {"Al", "COMPONENT=MINERAL"},
                                                        {"Xy=QUARTZ", "not a component"}}) {
    const auto wrong = testing::RunCli({"geothermometry", sample, "--fix", fix}, dir.Path());
    EXPECT_EQ(wrong.status, 2) << fix;
    EXPECT_NE(wrong.err.find(says), std::string::npos) << wrong.err;
  }
  const auto optimize =
      testing::RunCli({"geothermometry", sample, "--optimize", "steam"}, dir.Path());
  EXPECT_EQ(optimize.status, 2);
}

// uncertainty with --optimize reports the unknown as each draw found it, beside the draw-free
// sample's value, which is the one geothermometry finds; in the JSON, the CSV and the text alike.
TEST(MulticomponentCli, UncertaintyReportsTheOptimisedSteamLoss) {
  testing::TempDir dir;
  const std::string sample = std::string(GEOFLUID_SOURCE_DIR) + "/examples/nacl-water.ini";
  const std::vector<std::string> common = {"--optimize", "steam_loss",     "--dataset",
                                           "supcrt",     "--temperatures", "200:300:20"};
  auto args = [&](std::vector<std::string> head, std::vector<std::string> tail) {
    head.insert(head.end(), common.begin(), common.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const auto json = testing::RunCli(
      args({"uncertainty", sample}, {"--draws", "6", "--format", "json"}), dir.Path());
  ASSERT_EQ(json.status, 0) << json.err;
  const auto estimate = nlohmann::json::parse(json.out).at("datasets").at("supcrt").at("estimate");
  const auto& loss = estimate.at("optimized").at("steam_loss");
  EXPECT_GT(loss.at("n").get<int>(), 0);
  EXPECT_GE(loss.at("q05").get<double>(), kSteamLossBounds[0]);
  EXPECT_LE(loss.at("q95").get<double>(), kSteamLossBounds[1]);
  EXPECT_TRUE(loss.contains("nominal_sd") && loss.contains("nominal_on_bound"));

  const auto alone =
      testing::RunCli({"geothermometry", sample, "--optimize", "steam_loss", "--dataset", "supcrt",
                       "--from", "200", "--to", "300", "--step", "20", "--format", "json"},
                      dir.Path());
  ASSERT_EQ(alone.status, 0) << alone.err;
  const auto found =
      nlohmann::json::parse(alone.out).at("datasets").at("supcrt").at("optimized").at("steam_loss");
  EXPECT_DOUBLE_EQ(loss.at("nominal").get<double>(), found.at("value").get<double>());

  const auto csv = testing::RunCli(
      args({"uncertainty", sample}, {"--draws", "6", "--format", "csv"}), dir.Path());
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_NE(csv.out.find(",supcrt,,optimized_steam_loss,"), std::string::npos) << csv.out;
  const auto text = testing::RunCli(args({"uncertainty", sample}, {"--draws", "6"}), dir.Path());
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("steam_loss (optimised, fraction)"), std::string::npos) << text.out;
}

}  // namespace
}  // namespace geofluid::geothermometry
