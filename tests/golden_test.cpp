// Reports kept byte for byte: every change that speeds up the calculation or the report writer
// must leave every printed digit as it was. Each water is run as a user would, through
// geofluid-cli: first at its pH measurement temperature (which appends TOTH to the hand-over
// file), then at other temperatures from that TOTH, with and without the steam correction.
//
// GEOFLUID_UPDATE_GOLDEN=1 rewrites the stored reports instead of comparing (only for a
// deliberate change of the report; say why in the commit).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_process.h"
#include "form_fixtures.h"

namespace geofluid::testing {
namespace {

struct GoldenRun {
  std::string name;  // file name suffix
  std::vector<std::string> args;
};

struct GoldenWater {
  std::string name;  // the sample file is <name>.ini
  std::string path;
  std::string separation;
};

const std::filesystem::path kGoldenDir =
    std::filesystem::path(GEOFLUID_SOURCE_DIR) / "tests" / "data" / "golden";

std::vector<GoldenWater> Waters() {
  const std::string data = std::string(GEOFLUID_SOURCE_DIR) + "/tests/data/";
  return {
      {"nacl-water", std::string(GEOFLUID_SOURCE_DIR) + "/examples/nacl-water.ini", "100"},
      {"acid-sulfate-water", data + "acid-sulfate-water.ini", "100"},
      {"bicarbonate-water", data + "bicarbonate-water.ini", "120"},
      {"brine-water", data + "brine-water.ini", "180"},
  };
}

// In this order: the measured run first, the others read the TOTH it handed over.
std::vector<GoldenRun> Runs(const GoldenWater& water) {
  const auto other = [&](const std::string& t, bool steam) {
    std::vector<std::string> args = {"--mode", "other",        "--temperature",
                                     t,        "--separation", water.separation};
    if (!steam) args.push_back("--no-steam-correction");
    return GoldenRun{"other" + t + (steam ? "" : "-nosteam"), args};
  };
  std::vector<GoldenRun> runs = {
      {"measured25",
       {"--mode", "measured", "--temperature", "25", "--separation", water.separation}},
      other("150", true),
      other("250", true),
      other("300", false),
      other("250", false),
  };
  if (water.name == "nacl-water") {
    // At 200 °C this water's SOLVEQ speciation needs 275 passes at pH 11.186 and stops at the
    // pass limit at 11.187 (a remark); the SUPCRT98 one diverges (an error).
    for (const char* ph : {"11.186", "11.187"}) {
      runs.push_back({std::string("measured200-ph") + ph,
                      {"--mode", "measured", "--temperature", "200", "--separation", "100", "--set",
                       std::string("pH=") + ph}});
    }
    // The second mode's search from a TOTH of pH 11.0 near where the iteration diverges: at
    // 200 °C it finds the pH, at 250 °C a trial diverges (an error).
    for (const char* t : {"200", "250"}) {
      runs.push_back(
          {std::string("measured") + t + "-ph11.0",
           {"--mode", "measured", "--temperature", t, "--separation", "100", "--set", "pH=11.0"}});
      runs.push_back({std::string("other") + t + "-nosteam-from-ph11.0",
                      {"--mode", "other", "--temperature", t, "--separation", "100",
                       "--no-steam-correction"}});
    }
  }
  return runs;
}

class GoldenReports : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenReports, RunsReproduceTheStoredReportsByteForByte) {
  const std::string dataset = GetParam();
  const bool update = std::getenv("GEOFLUID_UPDATE_GOLDEN") != nullptr;
  for (const GoldenWater& water : Waters()) {
    TempDir dir;
    for (const GoldenRun& run : Runs(water)) {
      SCOPED_TRACE(water.name + " " + dataset + " " + run.name);
      std::vector<std::string> args = {"run",       water.path, "--dir", dir.Path().string(),
                                       "--dataset", dataset};
      args.insert(args.end(), run.args.begin(), run.args.end());
      const CliResult result = RunCli(args, dir.Path());
      const std::string report = ReadFile(dir / "HVQ98OUT.txt");
      // Remarks (a speciation stopped at its pass limit) and errors belong to the output too.
      const std::string remarks = result.status == 0 && result.err.empty()
                                      ? ""
                                      : "exit " + std::to_string(result.status) + "\n" + result.err;
      const std::string stem = water.name + "-" + dataset + "-" + run.name;
      const std::filesystem::path golden = kGoldenDir / (stem + ".txt");
      const std::filesystem::path golden_remarks = kGoldenDir / (stem + ".err");
      if (update) {
        std::filesystem::create_directories(kGoldenDir);
        WriteFile(golden, report);
        if (!remarks.empty()) WriteFile(golden_remarks, remarks);
        continue;
      }
      ASSERT_TRUE(std::filesystem::exists(golden)) << golden;
      EXPECT_TRUE(ReadFile(golden) == report) << "report differs from " << golden;
      EXPECT_EQ(std::filesystem::exists(golden_remarks) ? ReadFile(golden_remarks) : "", remarks);
    }
    const std::filesystem::path handover =
        kGoldenDir / (water.name + "-" + dataset + "-TOTH25.txt");
    if (update) {
      WriteFile(handover, ReadFile(dir / "TOTH25.txt"));
    } else {
      EXPECT_EQ(ReadFile(handover), ReadFile(dir / "TOTH25.txt")) << handover;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothDatasets, GoldenReports, ::testing::Values("solveq", "supcrt"));

}  // namespace
}  // namespace geofluid::testing
