#include "uncertainty/uncertainty.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "sample_file.h"
#include "typed_sample.h"

namespace geofluid::uncertainty {
namespace {

// The example water of examples/nacl-water.ini.
engine::Sample NaClWater() { return testing::TypedNaClWater(); }

InputErrors NoErrors() {
  InputErrors e;
  for (int i = 0; i < kInputCount; ++i) e[i] = {Distribution::kNormal, 0.0};
  return e;
}

Options Small(int draws, std::vector<double> temperatures) {
  Options o;
  o.draws = draws;
  o.seed = 7;
  o.threads = 2;
  o.temperatures = std::move(temperatures);
  o.datasets = {&engine::Dataset::Of(thermo::DatasetId::kSolveq)};
  return o;
}

double Width(const Interval& i) { return i.q95 - i.q05; }

TEST(UncertaintyErrors, SyntaxOfTheCommandLineAndItsMistakes) {
  InputErrors e = InputErrors::Defaults();
  EXPECT_DOUBLE_EQ(e[static_cast<int>(Input::kPh)].sigma, 0.1);
  EXPECT_DOUBLE_EQ(e[1].sigma, 0.05);
  EXPECT_TRUE(e[static_cast<int>(Input::kSeparationTemperature)].Zero());

  SetError(e, "Na=3%");
  SetError(e, "Al=x2");
  SetError(e, "pH=0.05");
  SetError(e, " separation = 2 ");
  EXPECT_EQ(e[1].distribution, Distribution::kNormal);
  EXPECT_DOUBLE_EQ(e[1].sigma, 0.03);
  EXPECT_EQ(e[6].distribution, Distribution::kLogNormal);
  EXPECT_DOUBLE_EQ(e[6].sigma, 2.0);
  EXPECT_DOUBLE_EQ(e[static_cast<int>(Input::kPh)].sigma, 0.05);
  EXPECT_DOUBLE_EQ(e[static_cast<int>(Input::kSeparationTemperature)].sigma, 2.0);
  EXPECT_EQ(ErrorText(e, 6), "x2");
  EXPECT_EQ(ErrorText(e, 1), "3%");

  SetError(e, "components=2%");
  for (int i = 0; i < engine::kComponentCount; ++i) EXPECT_DOUBLE_EQ(e[i].sigma, 0.02);
  EXPECT_DOUBLE_EQ(e[static_cast<int>(Input::kSteamCo2)].sigma, 0.05);  // gases untouched

  const auto message = [&](const std::string& item) {
    try {
      SetError(e, item);
    } catch (const ErrorSyntax& x) {
      return std::string(x.what());
    }
    return std::string("no error");
  };
  // A bare number for a concentration is ambiguous: the message shows the percentage meant.
  EXPECT_NE(message("Na=0.03").find("3%"), std::string::npos);
  EXPECT_NE(message("pH=5%").find("absolute"), std::string::npos);
  EXPECT_NE(message("pH=x2").find("absolute"), std::string::npos);
  EXPECT_NE(message("Foo=3%").find("unknown input \"Foo\""), std::string::npos);
  EXPECT_NE(message("Na").find("KEY=VALUE"), std::string::npos);
  EXPECT_NE(message("Na=-3%").find("percentage"), std::string::npos);
  EXPECT_NE(message("Al=x0.5").find("factor"), std::string::npos);
  EXPECT_NE(message("Na=").find("no value"), std::string::npos);
  EXPECT_NE(message("pH=abc").find("absolute error"), std::string::npos);
}

TEST(UncertaintyDraws, QuantilesOfSimpleQuantitiesMatchTheirAnalyticValues) {
  const engine::Sample s = NaClWater();
  InputErrors e = NoErrors();
  SetError(e, "Na=3%");
  SetError(e, "Cl=4%");
  SetError(e, "Al=x2");
  SetError(e, "pH=0.1");
  SetError(e, "Fe=150%");  // truncated at zero by drawing again
  constexpr int kDraws = 20000;
  std::vector<double> linear, log_al, ph;
  bool all_positive = true;
  for (int i = 0; i < kDraws; ++i) {
    const engine::Sample d = DrawSample(s, e, 11, static_cast<std::uint64_t>(i), nullptr);
    linear.push_back(2.0 * d.component[1] + 5.0 * d.component[10]);
    log_al.push_back(std::log(d.component[6]));
    ph.push_back(d.ph);
    all_positive = all_positive && d.component[5] > 0.0;
    EXPECT_EQ(d.component[2], s.component[2]);  // no error, no change
  }
  // The 5 % and 95 % quantiles of a normal quantity lie 1.6449 sd from its mean; the sampling
  // error of either is about 0.015 sd at 20,000 draws.
  const double mean = 2.0 * 0.04 + 5.0 * 0.04;
  const double sd = std::hypot(2.0 * 0.04 * 0.03, 5.0 * 0.04 * 0.04);
  const Interval q = Summarize(linear);
  EXPECT_NEAR(q.median, mean, 0.03 * sd);
  EXPECT_NEAR(q.q05, mean - 1.6449 * sd, 0.05 * sd);
  EXPECT_NEAR(q.q95, mean + 1.6449 * sd, 0.05 * sd);
  EXPECT_EQ(q.n, static_cast<std::size_t>(kDraws));

  const Interval a = Summarize(log_al);  // log-normal: median the value, 1 sigma a factor of 2
  EXPECT_NEAR(a.median, std::log(0.00002), 0.03 * std::log(2.0));
  EXPECT_NEAR(a.q95 - a.median, 1.6449 * std::log(2.0), 0.05 * std::log(2.0));

  const Interval p = Summarize(ph);
  EXPECT_NEAR(Width(p), 2 * 1.6449 * 0.1, 0.01);
  EXPECT_TRUE(all_positive);

  // Each input has a stream of its own: switching another error off leaves Na's draws alone.
  InputErrors only_na = NoErrors();
  SetError(only_na, "Na=3%");
  for (std::uint64_t i = 0; i < 20; ++i)
    EXPECT_EQ(DrawSample(s, only_na, 11, i, nullptr).component[1],
              DrawSample(s, e, 11, i, nullptr).component[1]);
}

TEST(UncertaintyRun, ZeroErrorsGiveZeroWidthIntervalsAtTheDeterministicResult) {
  const engine::Sample s = NaClWater();
  const std::vector<double> temperatures = {150.0, 200.0, 250.0};
  Options o = Small(6, temperatures);
  engine::ConditionsCache cache;
  const Result r = uncertainty::Run(s, NoErrors(), o, cache);
  ASSERT_EQ(r.datasets.size(), 1u);
  EXPECT_EQ(r.failed_draws, 0u);

  // The deterministic result straight from the engine.
  const engine::Dataset& ds = engine::Dataset::Of(thermo::DatasetId::kSolveq);
  std::vector<std::shared_ptr<const engine::Conditions>> targets;
  for (double t : temperatures) targets.push_back(cache.Get(ds, t));
  const engine::Carried carried = engine::Carry(s, cache.Get(ds, 25.0), targets, true);

  const DatasetResult& d = r.datasets.front();
  for (std::size_t t = 0; t < temperatures.size(); ++t) {
    const TemperatureResult& tr = d.temperatures[t];
    EXPECT_EQ(tr.ph.n, 6u);
    EXPECT_EQ(tr.ph.median, carried.at[t].ph);
    EXPECT_EQ(tr.ph.q05, carried.at[t].ph);
    EXPECT_EQ(tr.ph.q95, carried.at[t].ph);
    EXPECT_EQ(tr.nominal_ph, carried.at[t].ph);
    for (std::size_t m = 0; m < tr.si.size(); ++m) {
      EXPECT_EQ(tr.si[m].interval.q05, carried.at[t].saturation_index[m + 1]) << tr.si[m].name;
      EXPECT_EQ(tr.si[m].interval.q95, carried.at[t].saturation_index[m + 1]) << tr.si[m].name;
    }
  }
  ASSERT_TRUE(d.estimate);
  for (std::size_t c = 0; c < d.estimate->criteria.size(); ++c) {
    const Interval& i = d.estimate->criteria[c].interval;
    ASSERT_TRUE(d.estimate->nominal[c]);
    EXPECT_EQ(i.q05, *d.estimate->nominal[c]);
    EXPECT_EQ(i.q95, *d.estimate->nominal[c]);
  }
  for (const SoluteResult& g : r.solute)
    if (g.nominal) EXPECT_EQ(g.interval.q95, *g.nominal) << g.key;
  EXPECT_TRUE(d.sensitivity.empty());  // nothing to move
}

TEST(UncertaintyRun, SameSeedSameOutputWhateverTheThreads) {
  const engine::Sample s = NaClWater();
  InputErrors e = InputErrors::Defaults();
  SetError(e, "separation=3");
  SetError(e, "ph_temperature=1");
  Options o = Small(24, {180.0, 240.0});
  engine::ConditionsCache cache;
  o.threads = 1;
  const std::string one = ToJson(uncertainty::Run(s, e, o, cache));
  o.threads = 4;
  const std::string four = ToJson(uncertainty::Run(s, e, o, cache));
  EXPECT_EQ(one, four);
  o.seed = 8;
  EXPECT_NE(ToJson(uncertainty::Run(s, e, o, cache)), one);
}

TEST(UncertaintyRun, IntervalsWidenWithTheInputError) {
  const engine::Sample s = NaClWater();
  Options o = Small(40, {160.0, 200.0, 240.0});
  o.sensitivity = false;
  engine::ConditionsCache cache;
  InputErrors small = NoErrors(), large = NoErrors();
  SetError(small, "pH=0.03");
  SetError(large, "pH=0.15");
  const Result a = uncertainty::Run(s, small, o, cache);
  const Result b = uncertainty::Run(s, large, o, cache);
  for (std::size_t t = 0; t < o.temperatures.size(); ++t) {
    const TemperatureResult& x = a.datasets[0].temperatures[t];
    const TemperatureResult& y = b.datasets[0].temperatures[t];
    EXPECT_GT(Width(x.ph), 0.0);
    EXPECT_GT(Width(y.ph), 2.0 * Width(x.ph));
    EXPECT_GT(Width(y.si[0].interval), Width(x.si[0].interval));
  }
  EXPECT_GT(Width(b.datasets[0].estimate->criteria[0].interval),
            Width(a.datasets[0].estimate->criteria[0].interval));
}

TEST(UncertaintyRun, FailedDrawsAreCountedNotHidden) {
  const engine::Sample s = NaClWater();
  InputErrors e = NoErrors();
  // Temperatures tens of thousands of degrees off: the extrapolated tables overflow there.
  SetError(e, "temperature=20000");
  Options o = Small(16, {200.0});
  o.sensitivity = false;
  engine::ConditionsCache cache;
  const Result r = uncertainty::Run(s, e, o, cache);
  const DatasetResult& d = r.datasets.front();
  EXPECT_FALSE(d.estimate);  // one temperature has no minimum
  EXPECT_GT(d.failed_draws, 0u);
  EXPECT_EQ(r.failed_draws, d.failed_draws);
  EXPECT_FALSE(d.failures.empty());
  EXPECT_EQ(d.temperatures[0].ph.n + d.temperatures[0].failed, 16u);
  EXPECT_EQ(d.temperatures[0].failed, d.failed_draws);
}

TEST(UncertaintyRun, SensitivityRanksThePhFirstForANeutralWater) {
  const engine::Sample s = NaClWater();
  InputErrors e = NoErrors();
  SetError(e, "pH=0.1");
  SetError(e, "Cl=5%");
  SetError(e, "NH3=5%");
  Options o = Small(2, {180.0, 190.0, 200.0});
  engine::ConditionsCache cache;
  const Result r = uncertainty::Run(s, e, o, cache);
  const auto& list = r.datasets[0].sensitivity;
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].input, "pH");
  ASSERT_TRUE(list[0].si_effect);
  ASSERT_TRUE(list[2].si_effect);
  EXPECT_GT(*list[0].si_effect, *list[2].si_effect);
}

TEST(UncertaintyInput, TableErrorColumnsAndSampleFileSection) {
  std::istringstream table(
      "id,Na,Cl,pH,ph_temperature,separation,err_Na,err_pH\n"
      "a,0.04,0.04,8.5,25,100,3%,0.05\n"
      "b,0.04,0.04,8.5,25,100,,\n"
      "c,0.04,0.04,8.5,25,100,0.03,\n");
  const auto rows = ReadTable(table, "t.csv", InputErrors::Defaults(), true, "mol/kg");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_DOUBLE_EQ(rows[0].errors[1].sigma, 0.03);
  EXPECT_DOUBLE_EQ(rows[0].errors[static_cast<int>(Input::kPh)].sigma, 0.05);
  EXPECT_DOUBLE_EQ(rows[1].errors[1].sigma, 0.05);
  EXPECT_EQ(rows[1].sample.component[1], 0.04);
  EXPECT_TRUE(rows[1].fault.empty()) << rows[1].fault;
  EXPECT_NE(rows[2].fault.find("line 4"), std::string::npos) << rows[2].fault;
  EXPECT_NE(rows[2].fault.find("err_Na"), std::string::npos) << rows[2].fault;

  std::istringstream unknown("id,Na,pH,ph_temperature,separation,err_Xy\n");
  EXPECT_THROW(ReadTable(unknown, "u.csv", InputErrors::Defaults(), true, "mol/kg"), ErrorSyntax);

  const auto path = std::filesystem::temp_directory_path() / "geofluid-uncertainty-errors.ini";
  {
    std::ofstream f(path);
    f << "[hot-water]\nNa = 0.04\n[errors]\nNa = 3%\nAl = x2\n";
  }
  const sample::SampleFile loaded = sample::LoadSample(path);
  ASSERT_EQ(loaded.errors.size(), 2u);
  EXPECT_EQ(loaded.errors[1].key, "Al");
  EXPECT_EQ(loaded.errors[1].value, "x2");
  EXPECT_EQ(loaded.errors[1].line, 5u);
  {
    std::ofstream f(path);
    f << "[errors]\nNa = 3%\nNa = 4%\n";
  }
  EXPECT_THROW(sample::LoadSample(path), sample::SampleError);
  std::filesystem::remove(path);
}

TEST(UncertaintyCommand, JsonCarriesTheNamedIntervalsAndMistakesAreUsageErrors) {
  const std::string cli = GEOFLUID_CLI_PATH;
  const std::string example = std::string(GEOFLUID_SOURCE_DIR) + "/examples/nacl-water.ini";
  // Standard output only: the warnings of the estimate go to standard error.
  const auto run = [](const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    *status = WEXITSTATUS(pclose(pipe));
    return output;
  };
  int status = 0;
  const std::string out =
      run(cli + " uncertainty " + example +
              " --draws 8 --temperatures 200,225,250 --dataset both --format json"
              " --error Al=x2 --error separation=2 2>/dev/null",
          &status);
  ASSERT_EQ(status, 0) << out;
  const auto j = nlohmann::json::parse(out);
  EXPECT_EQ(j["draws"], 8);
  EXPECT_EQ(j["seed"], 1);
  EXPECT_EQ(j["failed_draws"], 0);
  EXPECT_EQ(j["errors"]["Al"], "x2");
  for (const char* ds : {"solveq", "supcrt"}) {
    const auto& d = j["datasets"][ds];
    ASSERT_EQ(d["temperatures"].size(), 3u);
    EXPECT_EQ(d["temperatures"][2]["temperature"], 250.0);
    const auto& ph = d["temperatures"][2]["pH"];
    EXPECT_LE(ph["q05"].get<double>(), ph["median"].get<double>());
    EXPECT_LE(ph["median"].get<double>(), ph["q95"].get<double>());
    EXPECT_TRUE(d["temperatures"][0]["si"].contains("QUARTZ"));
    for (const char* c : {"rms", "median", "mean", "sd"}) EXPECT_TRUE(d["estimate"].contains(c));
    EXPECT_FALSE(d["sensitivity"]["ranked"].empty());
  }
  EXPECT_TRUE(j["solute"].contains("quartz_fournier1977"));

  const std::string bad = run(cli + " uncertainty " + example + " --error Na=0.03 2>&1", &status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(bad.find("3%"), std::string::npos) << bad;
}

}  // namespace
}  // namespace geofluid::uncertainty
