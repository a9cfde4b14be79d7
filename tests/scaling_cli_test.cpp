// geofluid-cli scaling as a user meets it: the JSON layout, the answer in words, the mistakes.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_process.h"

namespace geofluid {
namespace {

using testing::CliResult;
using testing::TempDir;

const std::string kExample = std::string(GEOFLUID_SOURCE_DIR) + "/examples/nacl-water.ini";
const std::string kWells = std::string(GEOFLUID_SOURCE_DIR) + "/examples/wells.csv";

CliResult Scaling(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), "scaling");
  return testing::RunCli(args, dir.Path(), {});
}

TEST(ScalingCli, JsonHoldsEveryStepUnderItsNames) {
  TempDir dir;
  const CliResult r = Scaling(dir, {kExample, "--reservoir", "250", "--separation", "180,120",
                                    "--cooling", "90,60,40", "--format", "json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  for (const char* ds : {"solveq", "supcrt"}) {
    const auto& d = j["datasets"][ds];
    EXPECT_EQ(d["reservoir"]["temperature"], 250.0);
    ASSERT_EQ(d["separation"].size(), 2u);
    const auto& s = d["separation"][1];
    EXPECT_EQ(s["temperature"], 120.0);
    EXPECT_GT(s["steam_fraction"].get<double>(),
              d["separation"][0]["steam_fraction"].get<double>());
    EXPECT_GT(s["steam"]["CO2"].get<double>(), s["liquid"]["CO2"].get<double>());
    EXPECT_TRUE(s["liquid"].contains("H2S"));
    for (const char* m : {"AMORPHOUS_SILICA", "QUARTZ", "CALCITE", "ANHYDRITE"}) {
      EXPECT_TRUE(s["si"].contains(m)) << m;
    }
    EXPECT_TRUE(s.contains("ssi_amorphous_silica"));
    ASSERT_EQ(s["cooling"].size(), 3u);
    EXPECT_EQ(s["cooling"][2]["temperature"], 40.0);
    EXPECT_TRUE(s["cooling"][2].contains("pH"));
    EXPECT_GT(s["cooling"][2]["ssi_amorphous_silica"].get<double>(),
              s["ssi_amorphous_silica"].get<double>());
    EXPECT_FALSE(d["answer"].get<std::string>().empty());
  }
}

TEST(ScalingCli, TextEndsWithTheAnswerInWords) {
  TempDir dir;
  const CliResult r = Scaling(dir, {kExample, "--reservoir", "quartz_fournier1977", "--stages",
                                    "180,120", "--cooling", "90,60", "--dataset", "solveq"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = testing::SplitLines(r.out, "\n");
  ASSERT_FALSE(lines.empty());
  const std::string& last = lines.back().empty() ? lines[lines.size() - 2] : lines.back();
  EXPECT_EQ(last.rfind("SOLVEQ: amorphous silica", 0), 0u) << last;
  EXPECT_NE(last.find("Calcite"), std::string::npos) << last;
}

TEST(ScalingCli, MistakesAreRefusedWithAMessageAndNoOutput) {
  TempDir dir;
  const std::vector<std::vector<std::string>> mistakes = {
      {kExample, "--reservoir", "quartz", "--separation", "150", "--cooling", "80"},
      {kExample, "--reservoir", "250", "--cooling", "80"},
      {kExample, "--reservoir", "250", "--separation", "150", "--stages", "180", "--cooling", "80"},
      {kExample, "--reservoir", "250", "--stages", "120,180", "--cooling", "80"},
      {kExample, "--reservoir", "250", "--separation", "150,", "--cooling", "80"},
      {kExample, "--reservoir", "250", "--separation", "150", "--cooling", "80", "--minerals",
       "calcite,gypsum"},
      {kExample, "--reservoir", "250", "--separation", "400", "--cooling", "80"},
      {kWells, "--reservoir", "250", "--separation", "150", "--cooling", "80", "--plot",
       (dir.Path() / "x.png").string()},
      {kExample, "--reservoir", "quartz_fournier1977", "--separation", "150", "--cooling", "80",
       "--draws", "10"},
      {kWells, "--reservoir", "250", "--separation", "150", "--cooling", "80", "--draws", "10"},
      {kExample, "--reservoir", "250", "--separation", "150", "--cooling", "80", "--error",
       "pH=0.1"},
      {kExample, "--reservoir", "250", "--separation", "150", "--cooling", "80", "--draws", "10",
       "--error", "Na=0.03"},
      // An empty value is a mistake, not the option left out.
      {kExample, "--reservoir", "250", "--separation", "", "--cooling", "80"},
      {kExample, "--reservoir", "250", "--stages", " ", "--cooling", "80"},
      {kExample, "--reservoir", "", "--separation", "150", "--cooling", "80"},
      {kExample, "--reservoir", "250", "--separation", "150", "--cooling", ""},
      {kExample, "--reservoir", "250", "--separation", "150", "--cooling", "80", "--minerals", ""},
      {kExample, "--reservoir", "250", "--separation", "150", "--cooling", "80", "--plot", ""},
  };
  for (const auto& args : mistakes) {
    const CliResult r = Scaling(dir, args);
    EXPECT_EQ(r.status, 2) << args[2] << " " << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << r.err;
  }
}

TEST(ScalingCli, DrawsGiveTheMarginAtARiskAfterTheAnswer) {
  TempDir dir;
  const CliResult r =
      Scaling(dir, {kExample, "--reservoir", "260", "--separation", "200,120", "--cooling", "60",
                    "--dataset", "supcrt", "--draws", "20", "--format", "json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  const auto& u = j["uncertainty"];
  EXPECT_EQ(u["draws"], 20);
  EXPECT_EQ(u["si"].size(), 2u * 4u * 2u);
  EXPECT_TRUE(u["lowest_separation_at_risk"].contains("supcrt"));
  const CliResult text = Scaling(dir, {kExample, "--reservoir", "260", "--separation", "200,120",
                                       "--cooling", "60", "--dataset", "supcrt", "--draws", "20"});
  ASSERT_EQ(text.status, 0) << text.err;
  const auto lines = testing::SplitLines(text.out, "\n");
  std::string last;
  for (const auto& l : lines) last = l.empty() ? last : l;
  EXPECT_EQ(last.rfind("SUPCRT98: with the input errors, amorphous silica", 0), 0u) << last;
}

TEST(ScalingCli, AChartThatCannotBeWrittenNamesItsFile) {
  TempDir dir;
  // A folder that exists but takes no new file, whoever runs the test.
  const CliResult r = Scaling(dir, {kExample, "--reservoir", "250", "--separation", "150",
                                    "--cooling", "80", "--plot", "/proc/scaling.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("/proc/scaling.png"), std::string::npos) << r.err;
}

// `uncertainty --scaling` draws the path as `scaling --draws` does, and takes the sample file's
// [errors] as the uncertainty of the temperature picture does.
TEST(ScalingCli, UncertaintyTakesTheScalingQuantities) {
  TempDir dir;
  const std::vector<std::string> path = {"--reservoir", "260", "--separation", "200,120",
                                         "--cooling",   "60",  "--dataset",    "supcrt",
                                         "--draws",     "20",  "--format",     "json"};
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.end(), path.begin(), path.end());
    return testing::RunCli(args, dir.Path(), {});
  };
  const CliResult scaling = run({"scaling", kExample});
  const CliResult drawn = run({"uncertainty", kExample, "--scaling"});
  ASSERT_EQ(scaling.status, 0) << scaling.err;
  ASSERT_EQ(drawn.status, 0) << drawn.err;
  EXPECT_EQ(nlohmann::json::parse(drawn.out), nlohmann::json::parse(scaling.out));

  // A wider pH error in the file's [errors] widens the interval of calcite.
  const auto ini = dir.Path() / "sloppy-ph.ini";
  {
    std::ifstream in(kExample);
    std::ofstream out(ini);
    out << in.rdbuf() << "\n[errors]\npH = 0.5\n";
  }
  const CliResult sloppy = run({"uncertainty", ini.string(), "--scaling"});
  ASSERT_EQ(sloppy.status, 0) << sloppy.err;
  // scaling --draws reads the same section.
  const CliResult sloppy_scaling = run({"scaling", ini.string()});
  ASSERT_EQ(sloppy_scaling.status, 0) << sloppy_scaling.err;
  EXPECT_EQ(nlohmann::json::parse(sloppy_scaling.out), nlohmann::json::parse(sloppy.out));
  auto width = [](const std::string& out) {
    const nlohmann::json j = nlohmann::json::parse(out);  // kept: the loop runs over a part of it
    for (const auto& q : j["uncertainty"]["si"])
      if (q["mineral"] == "CALCITE" && q["cooling"].is_null() && q["separation"] == 120.0)
        return q["q95"].get<double>() - q["q05"].get<double>();
    return -1.0;
  };
  EXPECT_GT(width(sloppy.out), 2.0 * width(drawn.out));

  // The text ends with the margin in words.
  const CliResult text =
      testing::RunCli({"uncertainty", kExample, "--scaling", "--reservoir", "260", "--separation",
                       "200,120", "--cooling", "60", "--dataset", "supcrt", "--draws", "20"},
                      dir.Path(), {});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("SUPCRT98: with the input errors, amorphous silica"), std::string::npos)
      << text.out;

  // What does not belong to the path is refused by name.
  const std::vector<std::vector<std::string>> mistakes = {
      {"uncertainty", kExample, "--separation", "150", "--cooling", "80", "--reservoir", "250"},
      {"uncertainty", kExample, "--scaling", "--separation", "150", "--cooling", "80"},
      {"uncertainty", kExample, "--scaling", "--reservoir", "250", "--separation", "150"},
      {"uncertainty", kExample, "--scaling", "--reservoir", "quartz_fournier1977", "--separation",
       "150", "--cooling", "80"},
      {"uncertainty", kExample, "--scaling", "--reservoir", "250", "--separation", "150",
       "--cooling", "80", "--from", "120"},
      {"uncertainty", kWells, "--scaling", "--reservoir", "250", "--separation", "150", "--cooling",
       "80"},
      {"uncertainty", kExample, "--scaling", "--reservoir", "250", "--separation", "", "--cooling",
       "80"},
  };
  for (const auto& args : mistakes) {
    const CliResult r = testing::RunCli(args, dir.Path(), {});
    EXPECT_EQ(r.status, 2) << args[2] << " " << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
}

TEST(ScalingCli, ATableKeepsGoingPastABadRow) {
  TempDir dir;
  const CliResult r = Scaling(dir, {kWells, "--reservoir", "240", "--separation", "150",
                                    "--cooling", "80", "--format", "csv", "--dataset", "supcrt"});
  EXPECT_EQ(r.status, 1);
  const auto lines = testing::SplitLines(r.out, "\n");
  // Header, then 3 rows per readable well and one for the bad one.
  std::size_t rows = 0;
  for (const auto& l : lines) rows += l.empty() ? 0 : 1;
  EXPECT_EQ(rows, 1u + 19u * 3u + 1u);
  EXPECT_NE(r.out.find("NA-09"), std::string::npos);
  EXPECT_NE(r.err.find("1 sample could not be evaluated"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace geofluid
