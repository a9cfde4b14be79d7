// Temperature sweeps and multicomponent estimates against the window's runs, a water built to
// be in equilibrium with quartz, and statistics on curves whose minimum is known.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "engine/engine.h"
#include "form/calculation.h"
#include "geothermometry/estimate.h"
#include "geothermometry/sweep.h"
#include "interp/steffen.h"
#include "typed_sample.h"

namespace geofluid::geothermometry {
namespace {

using engine::Dataset;
using engine::Sample;

Sample NaClWater() { return testing::TypedNaClWater(); }

// The sample typed into the window's boxes, run at `t`.
form::CalculationInput Boxes(const Sample& s, thermo::DatasetId d, bool option1, double t) {
  return testing::BoxesOf(s, d, option1, t);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class SweepTest : public ::testing::TestWithParam<thermo::DatasetId> {};

// A user who measures the pH at 25 °C and then runs the window's second mode at 150 or 250 °C
// sees the sweep's pH and indices at those temperatures, bit for bit, serial or parallel.
TEST_P(SweepTest, GridPointEqualsTheWindowsSecondMode) {
  const Sample s = NaClWater();
  const Dataset& d = Dataset::Of(GetParam());
  engine::ConditionsCache cache;
  SweepOptions options;
  options.search = engine::Search::kDecimal;
  const Sweep serial = RunSweep(s, d, options, cache);
  options.parallel = true;
  options.search = engine::Search::kFast;  // the default: the same pH in fewer speciations
  const Sweep parallel = RunSweep(s, d, options, cache);
  ASSERT_TRUE(serial.ok()) << serial.error;
  ASSERT_EQ(serial.points.size(), 41u);

  const form::CalculationResult measured =
      form::Calculate(Boxes(s, GetParam(), true, 25.0), nullptr, engine::Search::kDecimal);
  EXPECT_TRUE(SameBits(serial.measured_toth, measured.toth));
  for (const std::size_t i : {std::size_t{10}, std::size_t{30}}) {
    const SweepPoint& p = serial.points[i];
    form::CalculationInput other = Boxes(s, GetParam(), false, p.temperature);
    other.stored_toth = measured.toth;
    const form::CalculationResult window =
        form::Calculate(other, nullptr, engine::Search::kDecimal);
    ASSERT_TRUE(p.ok()) << p.error;
    EXPECT_TRUE(SameBits(p.ph, window.ph)) << p.temperature << ": " << p.ph << " " << window.ph;
    EXPECT_TRUE(SameBits(p.steam_fraction, window.steam_fraction));
    ASSERT_EQ(static_cast<int>(p.si.size()), d.MineralCount());
    for (int m = 1; m <= d.MineralCount(); ++m) {
      EXPECT_TRUE(SameBits(serial.Si(i, m), window.saturation_index[m])) << d.MineralName(m);
    }
  }
  for (std::size_t i = 0; i < serial.points.size(); ++i) {
    EXPECT_TRUE(SameBits(serial.points[i].ph, parallel.points[i].ph));
    EXPECT_EQ(serial.points[i].si, parallel.points[i].si);
  }
  // Off the grid, a point is evaluated the same way.
  const SweepPoint off = EvaluatePoint(s, serial, 150.0, options, cache);
  EXPECT_TRUE(SameBits(off.ph, serial.points[10].ph));
}

// A serial sweep starts each search from the pH found at the temperature before: on varied
// waters (the pH from acid to alkaline, every total up or down tenfold) every point, its
// indices and its stops at the pass limit are those of the decimal search.
TEST_P(SweepTest, WarmStartsEqualTheDecimalSearch) {
  const Dataset& d = Dataset::Of(GetParam());
  engine::ConditionsCache cache;
  std::mt19937_64 random(21);
  std::uniform_real_distribution<double> factor(-1.0, 1.0), ph(3.0, 10.0);
  int stops = 0;
  // The previous water's pH through the temperatures guides the next one's searches, as the
  // nominal sample's guides a Monte Carlo draw's, but from a water much further away.
  std::vector<double> guide;
  for (int n = 0; n < 12; ++n) {
    Sample s = NaClWater();
    for (double& c : s.component) c *= std::pow(10.0, factor(random));
    s.ph = ph(random);
    SCOPED_TRACE("water " + std::to_string(n) + ", pH " + std::to_string(s.ph));
    SweepOptions options;
    options.search = engine::Search::kDecimal;
    const Sweep decimal = RunSweep(s, d, options, cache);
    options.search = engine::Search::kFast;
    const Sweep warm = RunSweep(s, d, options, cache);
    options.parallel = true;  // runs of temperatures each starting cold
    const Sweep parallel = RunSweep(s, d, options, cache);
    options.parallel = n % 2 == 0;
    options.ph_guide = guide;
    const Sweep guided = RunSweep(s, d, options, cache);
    for (const Sweep* fast : {&warm, &parallel, &guided}) {
      ASSERT_EQ(fast->ok(), decimal.ok());
      ASSERT_EQ(fast->points.size(), decimal.points.size());
      for (std::size_t i = 0; i < fast->points.size(); ++i) {
        const SweepPoint &w = fast->points[i], &r = decimal.points[i];
        EXPECT_EQ(w.error, r.error) << r.temperature;
        EXPECT_TRUE(SameBits(w.ph, r.ph)) << r.temperature << " °C: " << w.ph << " " << r.ph;
        EXPECT_EQ(w.si, r.si) << r.temperature;
        EXPECT_EQ(w.non_convergences, r.non_convergences) << r.temperature;
      }
    }
    for (const SweepPoint& r : decimal.points) stops += r.non_convergences;
    guide.clear();
    for (const SweepPoint& w : warm.points) guide.push_back(w.ok() ? w.ph : std::nan(""));
  }
  std::printf("speciations stopped at the pass limit: %d\n", stops);
}

// The set's names are those the dataset prints (or the common names, in any case), and a
// wrong name lists them.
// A flag raised by another thread (Python's Ctrl-C) stops a sweep, serial or on threads, as a
// failed sweep rather than an exception (it may run inside a GSL minimiser); the same sweep
// without the flag is whole.
TEST_P(SweepTest, ARaisedCancelFlagEndsTheSweepAsInterrupted) {
  const Sample s = NaClWater();
  const Dataset& d = Dataset::Of(GetParam());
  engine::ConditionsCache cache;
  std::atomic<bool> cancel{false};
  SweepOptions options;
  options.cancel = &cancel;
  for (const bool parallel : {false, true}) {
    options.parallel = parallel;
    cancel = false;
    const Sweep whole = RunSweep(s, d, options, cache);
    EXPECT_TRUE(whole.ok()) << whole.error;
    cancel = true;
    const Sweep stopped = RunSweep(s, d, options, cache);
    EXPECT_EQ(stopped.error, "interrupted") << "parallel " << parallel;
    for (const SweepPoint& p : stopped.points) EXPECT_TRUE(p.si.empty());  // none evaluated
  }
}

TEST_P(SweepTest, MineralSetsAreCheckedByName) {
  const Dataset& d = Dataset::Of(GetParam());
  EXPECT_EQ(MineralIndices(d, DefaultMinerals(d)).size(), 11u);
  try {
    MineralIndices(d, {"QUARTZ", "Quarz"});
    FAIL() << "no error for a misspelt mineral";
  } catch (const UnknownMineral& e) {
    EXPECT_NE(std::string(e.what()).find("\"Quarz\""), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("WAIRAKITE"), std::string::npos);
  }
  EXPECT_THROW(MineralIndices(d, {"QUARTZ", "QUARTZ"}), std::invalid_argument);
}

// Silica of a water in equilibrium with quartz at 220 °C after the pH is carried there:
// bisection on log SiO2 (the quartz index rises with silica at fixed temperature).
TEST_P(SweepTest, WaterSaturatedWithQuartzAt220CrossesThere) {
  const Dataset& d = Dataset::Of(GetParam());
  engine::ConditionsCache cache;
  Sample s = NaClWater();
  s.ph = 7.0;
  SweepOptions at220;
  at220.temperatures = {220.0};
  const int quartz = d.HeldMineralIndex("QUARTZ");
  auto si = [&](double log_silica) {
    s.Component("SiO2") = std::pow(10.0, log_silica);
    const Sweep sweep = RunSweep(s, d, at220, cache);
    EXPECT_TRUE(sweep.ok() && sweep.points[0].ok());
    return sweep.Si(0, quartz);
  };
  double low = -4.0;
  double high = -1.0;
  ASSERT_LT(si(low), 0.0);
  ASSERT_GT(si(high), 0.0);
  for (int i = 0; i < 50; ++i) {
    const double mid = 0.5 * (low + high);
    (si(mid) < 0.0 ? low : high) = mid;
  }
  si(0.5 * (low + high));

  // A grid that does not hold 220 °C: the crossing is interpolated between 217 and 222.
  SweepOptions options;
  options.temperatures = TemperatureGrid(102.0, 297.0, 5.0);
  const Estimate e = EstimateTemperature(s, d, {"QUARTZ"}, options, cache);
  std::vector<double> below_280;
  for (double t : e.crossings.at("QUARTZ")) {
    if (t < 280.0) below_280.push_back(t);
  }
  // (The specified interpolation of the SUPCRT98 tables swings above 280 °C and adds false
  // crossings there; the interpolation tests look at them.)
  ASSERT_EQ(below_280.size(), 1u);
  EXPECT_NEAR(below_280[0], 220.0, 0.5);
  // With one mineral the RMS is |SI|: its minimum is the crossing, refined between grid points.
  ASSERT_TRUE(e.rms.celsius);
  EXPECT_FALSE(e.rms.on_edge);
  EXPECT_NEAR(*e.rms.celsius, 220.0, 0.1);
  EXPECT_NEAR(*e.mean.celsius, 220.0, 0.1);
}

// Many callers (the uncertainty draws, the rows of a table) share one cache from several
// threads: each gets what it would get alone, bit for bit.
TEST_P(SweepTest, EstimatesOnThreadsEqualTheSerialOne) {
  const Dataset& d = Dataset::Of(GetParam());
  engine::ConditionsCache cache;
  SweepOptions options;
  options.temperatures = TemperatureGrid(150.0, 300.0, 10.0);
  std::vector<Sample> samples;
  for (int i = 0; i < 4; ++i) {
    samples.push_back(NaClWater());
    samples.back().ph = 6.5 + 0.5 * i;
  }
  std::vector<Estimate> serial;
  for (const Sample& s : samples) {
    engine::ConditionsCache own;
    serial.push_back(EstimateTemperature(s, d, {}, options, own));
  }
  std::vector<Estimate> threaded(samples.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    threads.emplace_back(
        [&, i] { threaded[i] = EstimateTemperature(samples[i], d, {}, options, cache); });
  }
  for (auto& t : threads) t.join();
  for (std::size_t i = 0; i < samples.size(); ++i) {
    for (Criterion c : kCriteria) {
      ASSERT_EQ(serial[i].Get(c).celsius.has_value(), threaded[i].Get(c).celsius.has_value());
      if (serial[i].Get(c).celsius) {
        EXPECT_TRUE(SameBits(*serial[i].Get(c).celsius, *threaded[i].Get(c).celsius));
      }
    }
    EXPECT_EQ(serial[i].crossings, threaded[i].crossings);
    EXPECT_EQ(serial[i].warnings, threaded[i].warnings);
  }
}

INSTANTIATE_TEST_SUITE_P(BothDatasets, SweepTest,
                         ::testing::Values(thermo::DatasetId::kSolveq, thermo::DatasetId::kSupcrt),
                         [](const auto& info) {
                           return info.param == thermo::DatasetId::kSolveq ? "Solveq" : "Supcrt";
                         });

// Linear synthetic curves SI_k = a_k (T - 200) + b_k, whose minima are known in closed form:
// mean = 0 at 200 - mean(b)/mean(a); RMS at 200 - mean(ab)/mean(a^2); sd at
// 200 - cov(a,b)/var(a). None lies on the 5 °C grid; each must be found to 0.1 °C.
TEST(EstimateStatistics, MinimaOfSyntheticCurvesAreFoundBetweenGridPoints) {
  const std::vector<double> a = {-0.020, -0.012, -0.030, -0.008};
  const std::vector<double> b = {0.15, -0.10, 0.25, 0.06};
  auto si_at = [&](double t) {
    std::vector<double> si;
    for (std::size_t k = 0; k < a.size(); ++k) si.push_back(a[k] * (t - 200.0) + b[k]);
    return si;
  };
  const std::vector<double> grid = TemperatureGrid(100.0, 300.0, 5.0);
  std::vector<SetStatistics> curves;
  for (double t : grid) curves.push_back(*Statistics(t, si_at(t)));
  int extra = 0;
  const SetSi between = [&](double t) -> std::optional<std::vector<double>> {
    ++extra;
    return si_at(t);
  };
  double ma = 0, mb = 0, maa = 0, mab = 0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    ma += a[k] / 4;
    mb += b[k] / 4;
    maa += a[k] * a[k] / 4;
    mab += a[k] * b[k] / 4;
  }
  const double mean_zero = 200.0 - mb / ma;                         // 205.14
  const double rms_min = 200.0 - mab / maa;                         // 206.49
  const double sd_min = 200.0 - (mab - ma * mb) / (maa - ma * ma);  // 211.5
  // The median of four is the mean of the middle two: its zero by a fine scan.
  double median_zero = 100.0;
  for (double t = 100.0, best = 1e9; t <= 300.0; t += 0.001) {
    const double m = std::abs(Statistics(t, si_at(t))->median);
    if (m < best) best = m, median_zero = t;
  }
  const double expected[] = {rms_min, median_zero, mean_zero, sd_min};
  int i = 0;
  for (Criterion c : kCriteria) {
    const TemperatureEstimate e = Minimise(curves, c, between);
    ASSERT_TRUE(e.celsius) << CriterionKey(c);
    EXPECT_FALSE(e.on_edge);
    EXPECT_NEAR(*e.celsius, expected[i], 0.1) << CriterionKey(c);
    EXPECT_NE(std::fmod(*e.celsius, 5.0), 0.0) << CriterionKey(c) << " read off the grid";
    ++i;
  }
  EXPECT_GT(extra, 0);
  EXPECT_LT(extra, 80) << "refinement evaluations";

  // Statistics of one set: median of an even count, population standard deviation.
  const SetStatistics s = *Statistics(0.0, {1.0, -3.0, 2.0, 4.0});
  EXPECT_DOUBLE_EQ(s.median, 1.5);
  EXPECT_DOUBLE_EQ(s.mean, 1.0);
  EXPECT_DOUBLE_EQ(s.sd, std::sqrt(6.5));
  EXPECT_DOUBLE_EQ(s.rms, std::sqrt(7.5));
  EXPECT_FALSE(Statistics(0.0, {}));

  // Curves that only rise: the minimum is the first temperature and says so; a failing
  // evaluation between grid points leaves the grid's value.
  std::vector<SetStatistics> rising;
  for (double t : grid) rising.push_back(*Statistics(t, {0.01 * t, 0.02 * t}));
  const TemperatureEstimate edge = Minimise(rising, Criterion::kRms, between);
  EXPECT_TRUE(edge.on_edge);
  EXPECT_EQ(*edge.celsius, 100.0);
  const TemperatureEstimate failing = Minimise(
      curves, Criterion::kRms, [](double) { return std::optional<std::vector<double>>(); });
  EXPECT_EQ(std::fmod(*failing.celsius, 5.0), 0.0);
}

TEST(EstimateStatistics, CrossingsAreInterpolatedAndNotAcrossGaps) {
  const double nan = std::nan("");
  EXPECT_EQ(ZeroCrossings({100, 105, 110, 115, 120}, {1, -1, nan, -1, 1}),
            (std::vector<double>{102.5, 117.5}));
  // A point exactly at zero is one crossing, not two.
  EXPECT_EQ(ZeroCrossings({100, 105, 110}, {0.5, 0.0, -0.5}), (std::vector<double>{105.0}));
  EXPECT_EQ(ZeroCrossings({100, 105}, {-0.25, 0.75}), (std::vector<double>{101.25}));
  EXPECT_TRUE(ZeroCrossings({100, 105}, {0.2, 0.1}).empty());
}

// The specified polynomial of the SUPCRT98 tables swings near 290 °C: quartz log K there is
// far from the monotone interpolation, and a sweep over that range says so; over 150-250 °C
// the two agree within 0.1 and nothing is said.
TEST(EstimateInterpolation, SwingOfTheSpecifiedPolynomialIsReported) {
  const Dataset& supcrt = Dataset::Of(thermo::DatasetId::kSupcrt);
  const auto& specified = engine::SpecifiedScheme();
  const auto& steffen = interp::SteffenScheme();
  const auto warnings =
      CompareInterpolations(supcrt, {"QUARTZ", "CALCITE"}, 100, 300, specified, steffen);
  ASSERT_FALSE(warnings.empty());
  EXPECT_EQ(warnings[0].rfind("QUARTZ: ", 0), 0u) << warnings[0];
  EXPECT_TRUE(CompareInterpolations(supcrt, {"QUARTZ"}, 150, 250, specified, steffen).empty());

  // With the monotone interpolation the quartz-saturated water of the test above crosses once.
  engine::ConditionsCache cache;
  Sample s = NaClWater();
  s.ph = 7.0;
  SweepOptions options;
  options.scheme = &steffen;
  const Estimate e = EstimateTemperature(s, supcrt, {"QUARTZ"}, options, cache);
  EXPECT_EQ(e.scheme, &steffen);
  EXPECT_EQ(e.crossings.at("QUARTZ").size(), 1u);
  bool extrapolated = false;
  for (const auto& w : e.warnings) extrapolated |= w.find("extrapolated") != std::string::npos;
  EXPECT_FALSE(extrapolated);

  // Past the last node (300 °C) the indices are extrapolations, and the estimate says so.
  options.temperatures = TemperatureGrid(280.0, 320.0, 10.0);
  const Estimate beyond = EstimateTemperature(s, supcrt, {"QUARTZ"}, options, cache);
  for (const auto& w : beyond.warnings) extrapolated |= w.find("extrapolated") != std::string::npos;
  EXPECT_TRUE(extrapolated);
}

// What a script reads from `geofluid-cli geothermometry --format json`, and a user's mistakes.
TEST(GeothermometryCli, JsonKeysAndUsageErrors) {
  testing::TempDir dir;
  const std::string sample = std::string(GEOFLUID_SOURCE_DIR) + "/examples/nacl-water.ini";
  const auto run = testing::RunCli({"geothermometry", sample, "--format", "json", "--from", "200",
                                    "--to", "250", "--step", "10"},
                                   dir.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  const auto j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j.at("interpolation"), "specified");
  const char* solute[] = {"quartz_fournier1977",     "quartz_steam_loss_fournier1977",
                          "chalcedony_fournier1977", "na_k_truesdell1976",
                          "na_k_fournier1979",       "na_k_arnorsson1983",
                          "na_k_giggenbach1988",     "na_k_ca_fournier_truesdell1973",
                          "k_mg_giggenbach1988"};
  // The nine of the first releases keep their keys; the later ones follow.
  EXPECT_EQ(j.at("solute").size(), SoluteKeys().size());
  for (const char* key : solute) EXPECT_TRUE(j.at("solute").at(key).is_number()) << key;
  // The reservoir liquid carries the same keys; silica falls, Na/K does not move.
  EXPECT_EQ(j.at("solute_reservoir").size(), SoluteKeys().size());
  EXPECT_LT(j.at("solute_reservoir").at("quartz_fournier1977").get<double>(),
            j.at("solute").at("quartz_fournier1977").get<double>());
  EXPECT_EQ(j.at("solute_reservoir").at("na_k_fournier1979"),
            j.at("solute").at("na_k_fournier1979"));
  EXPECT_TRUE(j.at("solute_flags").at("chalcedony_fournier1977").is_array());
  EXPECT_EQ(j.at("solute_inputs").at("separation_temperature"), 100.0);
  EXPECT_TRUE(j.at("giggenbach").contains("class"));
  for (const char* d : {"solveq", "supcrt"}) {
    const auto& ds = j.at("datasets").at(d);
    for (const char* k : {"rms", "median", "mean", "sd"}) {
      EXPECT_TRUE(ds.at("estimate").at(k).is_number()) << d << " " << k;
    }
    EXPECT_TRUE(ds.at("crossings").contains("QUARTZ"));
    EXPECT_TRUE(ds.at("warnings").is_array());
    ASSERT_EQ(ds.at("sweep").size(), 6u);
    const auto& p = ds.at("sweep")[1];
    EXPECT_EQ(p.at("temperature"), 210.0);
    EXPECT_TRUE(p.at("pH").is_number());
    EXPECT_TRUE(p.at("si").at("QUARTZ").is_number());
  }

  // A misspelt mineral lists the dataset's names; a sample's own ph_temperature is used.
  const auto wrong = testing::RunCli(
      {"geothermometry", sample, "--dataset", "supcrt", "--minerals", "QUARTZ,ALBITE"}, dir.Path());
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("\"ALBITE\""), std::string::npos) << wrong.err;
  EXPECT_NE(wrong.err.find("ALBITE_LOW"), std::string::npos) << wrong.err;
  const auto range =
      testing::RunCli({"geothermometry", sample, "--from", "300", "--to", "100"}, dir.Path());
  EXPECT_EQ(range.status, 2);
  EXPECT_NE(range.err.find("--from"), std::string::npos) << range.err;

  std::ifstream in(sample);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  text += "ph_temperature = 20\n";
  std::ofstream(dir / "at20.ini") << text;
  const auto at20 = testing::RunCli({"geothermometry", (dir / "at20.ini").string(), "--dataset",
                                     "solveq", "--from", "200", "--to", "200"},
                                    dir.Path());
  ASSERT_EQ(at20.status, 0) << at20.err;
  EXPECT_NE(at20.out.find("pH 8.5 at 20.0 °C"), std::string::npos) << at20.out;

  // A table gives one JSON line per row, in order; a bad row is reported in its place and the
  // exit status says that not every sample was evaluated.
  const auto table = testing::RunCli(
      {"geothermometry", std::string(GEOFLUID_SOURCE_DIR) + "/examples/wells.csv", "--format",
       "json", "--from", "200", "--to", "250", "--step", "25", "--interpolation", "steffen"},
      dir.Path());
  EXPECT_EQ(table.status, 1) << table.err;
  const auto lines = testing::SplitLines(table.out, "\n");
  ASSERT_EQ(lines.size(), 20u);
  const auto first = nlohmann::json::parse(lines[0]);
  EXPECT_EQ(first.at("id"), "NA-01");
  EXPECT_EQ(first.at("interpolation"), "steffen");
  EXPECT_FALSE(first.contains("error"));
  const auto bad = nlohmann::json::parse(lines[8]);
  EXPECT_EQ(bad.at("id"), "NA-09");
  EXPECT_NE(bad.at("error").get<std::string>().find("pH"), std::string::npos);
  // NA-01, separated at 140 °C: its reservoir liquid's quartz lies some 20 °C below the water's.
  const double sampled = first.at("solute").at("quartz_fournier1977");
  const double liquid = first.at("solute_reservoir").at("quartz_fournier1977");
  EXPECT_NEAR(sampled, 256.8, 0.05);
  EXPECT_NEAR(sampled - liquid, 20.0, 3.0);
}

// A table without a separation temperature says why there is no reservoir liquid in every
// format; "<x" and "n.d." are read, taken as stated and marked; Li is an optional column.
TEST(GeothermometryCli, MissingSeparationAndBelowDetection) {
  testing::TempDir dir;
  std::ofstream(dir / "w.csv") << "id,units,pH,ph_temperature,separation,SiO2,Na,K,Ca,Mg,Cl,Li\n"
                                  "with,mg/kg,8.4,25,140,525,962,179,2.6,<0.02,1520,2.1\n"
                                  "without,mg/kg,8.4,25,,525,962,179,2.6,n.d.,1520,\n";
  const std::vector<std::string> common = {"--dataset", "solveq", "--from", "200",     "--to",
                                           "220",       "--step", "20",     "--units", "mg/kg"};
  auto args = [&](std::string format) {
    std::vector<std::string> a = {"geothermometry", (dir / "w.csv").string(), "--format", format};
    a.insert(a.end(), common.begin(), common.end());
    return a;
  };
  const auto json = testing::RunCli(args("json"), dir.Path());
  const auto lines = testing::SplitLines(json.out, "\n");
  ASSERT_EQ(lines.size(), 2u) << json.err;
  const auto with = nlohmann::json::parse(lines[0]);
  const auto without = nlohmann::json::parse(lines[1]);
  EXPECT_TRUE(with.at("solute_reservoir").at("quartz_fournier1977").is_number());
  EXPECT_TRUE(with.at("solute").at("na_li_fouillac_michard1981").is_number());
  EXPECT_EQ(with.at("solute_bounds").at("k_mg_giggenbach1988"), "lower");
  EXPECT_NE(with.at("solute_inputs").at("below_detection")[0].get<std::string>().find("Mg <0.02"),
            std::string::npos);
  EXPECT_TRUE(without.at("solute_reservoir").at("quartz_fournier1977").is_null());
  EXPECT_NE(without.at("solute_reservoir_reason").get<std::string>().find("no separation"),
            std::string::npos);
  EXPECT_TRUE(without.at("solute_inputs").at("separation_temperature").is_null());
  EXPECT_TRUE(without.at("solute").at("na_li_fouillac_michard1981").is_null());

  const auto text = testing::RunCli(args("text"), dir.Path());
  EXPECT_NE(text.out.find("no separation temperature given"), std::string::npos);
  EXPECT_NE(text.out.find("Summary, °C, for the reservoir liquid"), std::string::npos);
  EXPECT_NE(text.out.find("Summary, °C, for the water as sampled"), std::string::npos);

  const auto csv = testing::RunCli(args("csv"), dir.Path());
  const auto rows = testing::SplitLines(csv.out, "\n");
  ASSERT_EQ(rows.size(), 3u) << csv.err;
  EXPECT_NE(rows[0].find(",reservoir_quartz_fournier1977,"), std::string::npos);
  EXPECT_NE(rows[0].find(",flags_k_mg_giggenbach1988,"), std::string::npos);
  EXPECT_NE(rows[0].find(",reservoir_flags_quartz_fournier1977,"), std::string::npos);
  EXPECT_NE(rows[1].find("below_detection"), std::string::npos);
  EXPECT_NE(rows[2].find("no separation temperature given"), std::string::npos);
  // A limit that is not a number is the row's fault, named.
  std::ofstream(dir / "bad.csv") << "id,units,pH,ph_temperature,separation,SiO2,Na,K,Ca,Mg\n"
                                    "x,mg/kg,8.4,25,140,525,962,179,2.6,<abc\n";
  auto bad_args = args("csv");
  bad_args[1] = (dir / "bad.csv").string();
  const auto bad = testing::RunCli(bad_args, dir.Path());
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("column Mg"), std::string::npos) << bad.out;
}

}  // namespace
}  // namespace geofluid::geothermometry
