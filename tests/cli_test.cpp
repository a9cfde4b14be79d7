#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "form_fixtures.h"

namespace geofluid {
namespace {

using testing::ReadFile;
using testing::SplitLines;
using testing::TempDir;

const std::string kExample = std::string(GEOFLUID_SOURCE_DIR) + "/examples/nacl-water.ini";

struct Result {
  int status;
  std::string out;
  std::vector<std::string> err;  // lines
};

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// geofluid-cli with `args`, as a shell would start it.
Result Cli(const TempDir& dir, const std::vector<std::string>& args) {
  std::string command = Quoted(GEOFLUID_CLI_PATH);
  for (const auto& a : args) command += " " + Quoted(a);
  const auto out = dir / "stdout.txt";
  const auto err = dir / "stderr.txt";
  command += " >" + Quoted(out.string()) + " 2>" + Quoted(err.string());
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), SplitLines(ReadFile(err), "\n")};
}

TEST(Cli, RunsTheSampleAndSaysWhereTheReportIs) {
  TempDir dir;
  const auto data = dir / "data";
  std::filesystem::create_directory(data);
  const Result r = Cli(dir, {"run", kExample, "--mode", "measured", "--dir", data.string()});
  EXPECT_EQ(r.status, 0) << (r.err.empty() ? "" : r.err[0]);
  EXPECT_EQ(r.out, "結果を\n" + (data / "HVQ98OUT.txt").string() + "\nに出力しました。\n");
  EXPECT_TRUE(r.err.empty());
  EXPECT_EQ(SplitLines(ReadFile(data / "HVQ98OUT.txt")).size(), 137u);
  EXPECT_EQ(SplitLines(ReadFile(data / "TOTH25.txt")).size(), 1u);

  // The hand-over to a reservoir temperature, with and without the steam correction.
  const std::vector<std::string> other = {"run",           kExample, "--mode", "other",
                                          "--temperature", "250",    "--dir",  data.string(),
                                          "--dataset",     "supcrt"};
  ASSERT_EQ(Cli(dir, other).status, 0);
  const std::string corrected = ReadFile(data / "HVQ98OUT.txt");
  EXPECT_EQ(SplitLines(corrected).size(), 139u);
  EXPECT_EQ(corrected.find("Fraction of steam= 0 \r\n"), std::string::npos);
  auto uncorrected = other;
  uncorrected.push_back("--no-steam-correction");
  ASSERT_EQ(Cli(dir, uncorrected).status, 0);
  EXPECT_NE(ReadFile(data / "HVQ98OUT.txt").find("Fraction of steam= 0 \r\n"), std::string::npos);
  EXPECT_NE(ReadFile(data / "HVQ98OUT.txt").find("Temperature=250℃"), std::string::npos);
  EXPECT_EQ(SplitLines(ReadFile(data / "TOTH25.txt")).size(), 1u);
}

TEST(Cli, SetReplacesBoxTextsAfterTheSample) {
  TempDir dir;
  const Result r = Cli(dir, {"run", kExample, "--mode", "measured", "--dir", dir.Path().string(),
                             "--set", "calculation=25.0", "--set", "Mg=0"});
  ASSERT_EQ(r.status, 0);
  const std::string report = ReadFile(dir / "HVQ98OUT.txt");
  EXPECT_NE(report.find("Temperature=25.0℃"), std::string::npos);
  EXPECT_NE(report.find("Mg       (2+) 1E-21 \r\n"), std::string::npos);
}

// --temperature and --set calculation=... (and --separation, --set separation=...) fill the same
// box: the later on the command line wins, as --help says.
TEST(Cli, TheLaterOfTwoOptionsForOneBoxWins) {
  TempDir dir;
  const std::string d = dir.Path().string();
  struct Row {
    std::vector<std::string> options;
    std::string temperature;
  };
  const std::vector<Row> rows = {
      {{"--set", "calculation=40", "--temperature", "30"}, "30"},
      {{"--temperature", "30", "--set", "calculation=40"}, "40"},
      {{"--set", "calculation=40", "--temperature", "30", "--set", "calculation=35"}, "35"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"run", kExample, "--mode", "measured", "--dir", d};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const Result r = Cli(dir, args);
    ASSERT_EQ(r.status, 0) << row.temperature;
    EXPECT_NE(ReadFile(dir / "HVQ98OUT.txt").find("Temperature=" + row.temperature + "℃"),
              std::string::npos)
        << row.temperature;
  }
  const Result separation =
      Cli(dir, {"run", kExample, "--mode", "other", "--dir", d, "--temperature", "250",
                "--separation", "1000", "--set", "separation=120"});
  EXPECT_EQ(separation.status, 0);
  const Result help = Cli(dir, {"run", "--help"});
  EXPECT_NE(help.out.find("the later"), std::string::npos) << help.out;
}

TEST(Cli, UsageErrorsExitTwo) {
  TempDir dir;
  const std::string d = dir.Path().string();
  testing::WriteFile(dir / "twice.ini", "[hot-water]\nNa = 1\nNa = 2\n");
  const std::vector<std::vector<std::string>> rows = {
      {"run"},
      {"run", kExample, "--dir", d, "--bogus"},
      {"run", kExample, "--dir", d, "--dataset", "phreeqc"},
      {"run", kExample, "--dir", d, "--mode", "measure"},
      {"run", kExample, "--dir", d, "--set", "Li=0.001"},
      {"run", kExample, "--dir", d, "--set", "Na"},
      {"run", (dir / "absent.ini").string(), "--dir", d},
      {"run", (dir / "twice.ini").string(), "--dir", d},
      {"run", kExample, "--dir", ""},  // not the default directory
      {"run", kExample, "--dir", d, "--wait", "soon"},
      {"run", kExample, "--dir", d, "--wait", "-1"},
  };
  for (const auto& args : rows) {
    const Result r = Cli(dir, args);
    EXPECT_EQ(r.status, 2) << args.back();
    ASSERT_EQ(r.err.size(), 1u) << args.back();
    EXPECT_EQ(r.err[0].rfind("error: ", 0), 0u) << r.err[0];
    EXPECT_FALSE(std::filesystem::exists(dir / "HVQ98OUT.txt")) << args.back();
  }
}

TEST(Cli, AWaitLimitThatIsNoNumberIsAUsageError) {
  TempDir dir;
  ASSERT_EQ(::setenv("GEOFLUID_WAIT", "soon", 1), 0);
  const Result r = Cli(dir, {"run", kExample, "--dir", dir.Path().string()});
  ::unsetenv("GEOFLUID_WAIT");
  EXPECT_EQ(r.status, 2);
  ASSERT_EQ(r.err.size(), 1u);
  EXPECT_EQ(r.err[0], "error: GEOFLUID_WAIT: \"soon\" is not a number of seconds from 0 to 86400");
  // The option is asked first and overrides the variable.
  ASSERT_EQ(::setenv("GEOFLUID_WAIT", "soon", 1), 0);
  const Result given = Cli(
      dir, {"run", kExample, "--dir", dir.Path().string(), "--mode", "measured", "--wait", "5"});
  ::unsetenv("GEOFLUID_WAIT");
  EXPECT_EQ(given.status, 0);
}

TEST(Cli, RunErrorsExitOneWithOneErrorLine) {
  TempDir dir;
  const std::string d = dir.Path().string();
  struct Row {
    std::vector<std::string> args;
    std::string cause;
  };
  const std::vector<Row> rows = {
      {{"--dir", (dir / "absent").string(), "--mode", "measured"}, "does not exist"},
      {{"--dir", d, "--mode", "measured", "--set", "Mg="}, "Text5 (Mg)"},
      {{"--dir", d, "--mode", "other"}, "TOTH25.txt"},
      {{"--dir", d}, "TOTH25.txt"},  // neither mode: the second mode's path
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"run", kExample};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Result r = Cli(dir, args);
    EXPECT_EQ(r.status, 1) << row.cause;
    EXPECT_EQ(r.out, "") << row.cause;
    ASSERT_EQ(r.err.size(), 1u) << row.cause;
    EXPECT_EQ(r.err[0].rfind("error: ", 0), 0u) << r.err[0];
    EXPECT_NE(r.err[0].find(row.cause), std::string::npos) << r.err[0];
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "TOTH25.txt"));
}

TEST(Cli, RemarksGoToStandardError) {
  TempDir dir;
  const std::string d = dir.Path().string();
  testing::WriteFile(dir / "TOTH25.txt", "");
  Result r = Cli(dir, {"run", kExample, "--dir", d, "--mode", "other", "--temperature", "250"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(
      r.err,
      (std::vector<std::string>{"warning: TOTH25.txt is empty, the stored TOTH is taken as 0"}));

  r = Cli(dir, {"run", kExample, "--dir", d, "--mode", "measured", "--temperature", "-10",
                "--separation", "301"});
  ASSERT_GE(r.err.size(), 2u);
  EXPECT_EQ(r.err[0],
            "warning: calculation temperature -10 °C is outside 0-300 °C, values are extrapolated");
  EXPECT_EQ(r.err[1],
            "warning: separation temperature 301 °C is outside 0-300 °C, values are extrapolated");
}

}  // namespace
}  // namespace geofluid
