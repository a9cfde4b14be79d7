// The options the commands share: one spelling, one check and one default wherever a command
// takes them, and a mistake in any of them refused before anything is read or written.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "cli_process.h"

namespace geofluid {
namespace {

using testing::Has;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

const std::string kSource = GEOFLUID_SOURCE_DIR;
const std::string kSample = kSource + "/examples/nacl-water.ini";
const std::string kWells = kSource + "/examples/wells.csv";

// Each command with the arguments that make it runnable, and the shared options it takes.
struct Command {
  std::vector<std::string> args;
  std::vector<std::string> options;
};
std::vector<Command> Commands() {
  const std::vector<std::string> scaling = {"scaling",   kSample, "--reservoir",  "250",
                                            "--cooling", "90",    "--separation", "150"};
  return {
      {{"batch", kWells},
       {"--dataset", "--temperatures", "--units", "--steam-units", "--interpolation", "--format",
        "--out", "--jobs"}},
      {{"geothermometry", kSample},
       {"--dataset", "--temperatures", "--units", "--steam-units", "--interpolation", "--format",
        "--out", "--jobs"}},
      {{"uncertainty", kSample},
       {"--dataset", "--temperatures", "--units", "--format", "--out", "--jobs", "--draws",
        "--seed"}},
      {scaling,
       {"--dataset", "--units", "--steam-units", "--interpolation", "--format", "--jobs", "--draws",
        "--seed"}},
      {{"constants", "--temperature", "150"}, {"--dataset", "--out"}},
      {{"run", kSample, "--mode", "measured"}, {"--dataset"}},
  };
}

TEST(SharedOptions, AMistakeInAnyOfThemIsRefusedNamingTheOptionAndItsWay) {
  TempDir dir;
  // The wrong values every shared option meets, and the part of the message that says what
  // the option takes; the values are parsed once, so that no command accepts what another
  // refuses.
  const std::vector<std::tuple<std::string, std::vector<std::string>, std::string>> wrong = {
      {"--dataset", {"", "phreeqc", "Both"}, "solveq,supcrt"},
      {"--temperatures", {"", "150,,200", "hot", "300:100:10"}, "temperatures"},
      {"--units", {"", "ppm", "MG/KG"}, "{mol/kg,mg/kg,mg/L}"},
      {"--steam-units", {"", "ppm"}, "{mol/kg,mmol/kg,mg/kg}"},
      {"--interpolation", {"", "linear"}, "{specified,steffen}"},
      {"--format", {"", "xml"}, "--format"},
      {"--out", {""}, "--out"},
      {"--jobs", {"", "-1", "1025", "2.5", "1e3", "99999999999999999999"}, "0 (all cores) to 1024"},
      {"--draws", {"", "-1", "1000001", "x"}, "--draws"},
      {"--seed", {"", "-1", "18446744073709551616", "1e3", "+1"}, "--seed"},
  };
  for (const Command& command : Commands()) {
    for (const auto& [option, values, said] : wrong) {
      if (std::find(command.options.begin(), command.options.end(), option) ==
          command.options.end())
        continue;
      for (const std::string& value : values) {
        for (const bool joined : {false, true}) {
          std::vector<std::string> args = command.args;
          if (joined) {
            args.push_back(option + "=" + value);
          } else {
            args.push_back(option);
            args.push_back(value);
          }
          const std::string what = command.args[0] + " " + option + " \"" + value + "\"";
          const auto r = RunCli(args, dir.Path());
          EXPECT_EQ(r.status, 2) << what << ": " << r.err;
          EXPECT_TRUE(Has(r.err, option.substr(2))) << what << ": " << r.err;
          if (!value.empty()) {
            EXPECT_TRUE(Has(r.err, said)) << what << ": " << r.err;
          }
          // A bound is printed as written, never as the 309 digits of the largest double.
          EXPECT_LT(r.err.size(), 400u) << what << ": " << r.err;
          EXPECT_TRUE(r.out.empty()) << what << ": " << r.out.substr(0, 200);
        }
      }
    }
  }
}

TEST(SharedOptions, EveryValueGivenEmptyIsRefusedAndNeverTakesTheNextArgument) {
  TempDir dir;
  const std::vector<std::string> scaling = {"scaling", kSample, "--reservoir", "250"};
  const auto with = [](std::vector<std::string> args, std::initializer_list<std::string> more) {
    args.insert(args.end(), more);
    return args;
  };
  const std::vector<std::vector<std::string>> cases = {
      {"batch", kWells, "--species", ""},
      {"geothermometry", kSample, "--from", ""},
      {"geothermometry", kSample, "--minerals", ""},
      {"geothermometry", kSample, "--plot", ""},
      {"geothermometry", kSample, "--from=", "--to", "250"},
      {"uncertainty", kSample, "--error", ""},
      {"uncertainty", kSample, "--plot", ""},
      with(scaling, {"--cooling", "90", "--separation", ""}),
      with(scaling, {"--cooling", "90", "--stages", ""}),
      with(scaling, {"--separation", "150", "--cooling", ""}),
      with(scaling, {"--separation", "150", "--cooling=", "--jobs", "2"}),
      with(scaling, {"--separation", "150", "--cooling", "90", "--minerals", ""}),
      with(scaling, {"--separation", "150", "--cooling", "90", "--step", ""}),
      {"constants", "--temperature", ""},
  };
  for (const auto& args : cases) {
    const auto r = RunCli(args, dir.Path());
    std::string what;
    for (const auto& a : args) what += a + ' ';
    EXPECT_EQ(r.status, 2) << what << ": " << r.err;
    EXPECT_TRUE(Has(r.err, "an empty value")) << what << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << what;
  }
  // run's --temperature is the sample's calculation temperature: given empty it is that box
  // left empty, as in the window, and the option after it is still an option.
  const auto run = RunCli({"run", kSample, "--dir", dir.Path().string(),
                           "--temperature=", "--mode=measured", "--dataset", "supcrt"},
                          dir.Path());
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(Has(run.err, "the box is empty")) << run.err;
  EXPECT_FALSE(Has(run.err, "--mode")) << run.err;
}

TEST(SharedOptions, HelpSaysEachInTheUsersTermsAndAlikeInEveryCommand) {
  TempDir dir;
  // The help line of each shared option, as the first command that has it prints it.
  std::map<std::string, std::string> first;
  const std::regex window_names(R"((Command|Option|Check|Text)\d)");
  for (const Command& command : Commands()) {
    const auto r = RunCli({command.args[0], "--help"}, dir.Path());
    ASSERT_EQ(r.status, 0) << command.args[0];
    EXPECT_FALSE(std::regex_search(r.out, window_names)) << r.out;
    for (const std::string& option : command.options) {
      if (option == "--dataset" && (command.args[0] == "run" || command.args[0] == "constants"))
        continue;  // one dataset at a time
      const auto at = r.out.find("  " + option);
      ASSERT_NE(at, std::string::npos) << command.args[0] << " " << option;
      // The option's line and the description below it, alike wherever the option has the
      // same values and default; the values of --format, the defaults of the temperatures and
      // the least count of draws differ by command.
      if (option == "--draws" || option == "--format" || option == "--temperatures") continue;
      std::string line = r.out.substr(at, r.out.find('\n', at) - at);
      if (const auto next = r.out.find('\n', at) + 1; r.out.compare(next, 4, "    ") == 0)
        line += r.out.substr(next, r.out.find('\n', next) - next);
      if (first.emplace(option, line).second) continue;
      EXPECT_EQ(line, first[option]) << command.args[0];
    }
  }
}

// Every command that can evaluate both datasets does so unless told otherwise.
TEST(SharedOptions, BothDatasetsByDefault) {
  TempDir dir;
  const auto datasets = [&](std::vector<std::string> args) {
    const auto r = RunCli(args, dir.Path());
    EXPECT_EQ(r.status, 0) << r.err;
    std::set<std::string> keys;
    const std::regex key(R"(\b(solveq|supcrt)\b)");
    for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), key);
         it != std::sregex_iterator(); ++it)
      keys.insert((*it)[1]);
    return keys;
  };
  const std::set<std::string> both = {"solveq", "supcrt"};
  WriteFile(dir / "one.csv", "id,pH,ph_temperature,Na,Cl,SiO2\na,8,25,0.01,0.01,0.005\n");
  EXPECT_EQ(datasets({"batch", (dir / "one.csv").string()}), both);
  EXPECT_EQ(
      datasets({"geothermometry", kSample, "--format", "json", "--temperatures", "150:250:50"}),
      both);
  EXPECT_EQ(datasets({"uncertainty", kSample, "--draws", "2", "--format", "csv", "--temperatures",
                      "150:250:50"}),
            both);
  EXPECT_EQ(datasets({"batch", (dir / "one.csv").string(), "--dataset", "supcrt"}),
            std::set<std::string>{"supcrt"});
}

TEST(SharedOptions, TemperaturesAreOneListHoweverWritten) {
  TempDir dir;
  const auto sweep = [&](std::vector<std::string> more) {
    std::vector<std::string> args = {"geothermometry", kSample, "--format", "csv",
                                     "--dataset",      "solveq"};
    args.insert(args.end(), more.begin(), more.end());
    return RunCli(args, dir.Path());
  };
  const auto list = sweep({"--temperatures", "150:250:50"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(sweep({"--from", "150", "--to", "250", "--step", "50"}).out, list.out);
  EXPECT_EQ(sweep({"--temperature", "150,200,250"}).out, list.out);
  const auto shuffled = sweep({"--temperatures", "250,150,200,150"});
  EXPECT_EQ(shuffled.out, list.out);
  EXPECT_TRUE(Has(shuffled.err, "taken sorted")) << shuffled.err;
  // The list and its other way of writing exclude each other.
  const auto both = sweep({"--temperatures", "150,200", "--step", "10"});
  EXPECT_EQ(both.status, 2);
  EXPECT_TRUE(Has(both.err, "excludes")) << both.err;
  // batch takes the same three ways.
  const auto rows = [&](std::vector<std::string> more) {
    std::vector<std::string> args = {"batch", kWells, "--units", "mg/kg", "--dataset", "solveq"};
    args.insert(args.end(), more.begin(), more.end());
    return RunCli(args, dir.Path());
  };
  const auto batch_list = rows({"--temperatures", "150:250:50"});
  EXPECT_EQ(rows({"--from", "150", "--to", "250", "--step", "50"}).out, batch_list.out);
}

// --out of the commands that write one output: the same bytes as stdout; a refused command
// leaves the file as it was, and the input is never the output.
TEST(SharedOptions, OutWritesWhatStdoutWouldAndNeverTheInput) {
  TempDir dir;
  const auto out = dir / "out.txt";
  const std::vector<std::vector<std::string>> commands = {
      {"constants", "--temperature", "150"},
      {"geothermometry", kSample, "--temperatures", "150:250:50", "--format", "csv"},
      {"uncertainty", kSample, "--draws", "3", "--temperatures", "150:250:50"},
      {"scaling", kSample, "--reservoir", "250", "--separation", "150", "--cooling", "90"},
  };
  for (const auto& args : commands) {
    const auto plain = RunCli(args, dir.Path());
    ASSERT_EQ(plain.status, 0) << args[0] << ": " << plain.err;
    auto to_file = args;
    to_file.insert(to_file.end(), {"--out", out.string()});
    const auto r = RunCli(to_file, dir.Path());
    EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << args[0];
    EXPECT_EQ(ReadFile(out), plain.out) << args[0];

    WriteFile(out, "keep");
    auto refused = to_file;
    refused.insert(refused.end(), {"--dataset", "phreeqc"});
    EXPECT_EQ(RunCli(refused, dir.Path()).status, 2) << args[0];
    EXPECT_EQ(ReadFile(out), "keep") << args[0];
  }
  const auto sample = dir / "sample.ini";
  WriteFile(sample, ReadFile(kSample));
  const auto same =
      RunCli({"geothermometry", sample.string(), "--out", sample.string()}, dir.Path());
  EXPECT_EQ(same.status, 2);
  EXPECT_TRUE(Has(same.err, "would overwrite the input")) << same.err;
  EXPECT_EQ(ReadFile(sample), ReadFile(kSample));
  const auto full = RunCli({"constants", "--temperature", "150", "--out", "/dev/full"}, dir.Path());
  EXPECT_EQ(full.status, 1);
  EXPECT_TRUE(Has(full.err, "/dev/full")) << full.err;
  EXPECT_TRUE(Has(full.err, "the output is incomplete")) << full.err;
}

}  // namespace
}  // namespace geofluid
