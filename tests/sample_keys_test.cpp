// The commands that take a sample file besides tables name the file's keys in their messages,
// never the window's boxes; only `run`, the window's calculation, speaks of boxes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "form_fixtures.h"
#include "sample_file.h"

namespace geofluid {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const std::string kExample = std::string(GEOFLUID_SOURCE_DIR) + "/examples/nacl-water.ini";

// The example with `from` replaced by `to`, written to dir/well.ini.
std::filesystem::path Edited(const TempDir& dir, const std::string& from, const std::string& to) {
  std::string text = ReadFile(kExample);
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  const auto path = dir / "well.ini";
  WriteFile(path, text);
  return path;
}

std::string SampleErrorOf(const std::filesystem::path& path, bool separation_optional = false) {
  try {
    sample::LoadTypedSample(path, separation_optional);
  } catch (const sample::SampleError& e) {
    return e.what();
  }
  return "";
}

TEST(TypedSample, IsTheWindowsReadingOfTheFile) {
  const engine::Sample s = sample::LoadTypedSample(kExample);
  EXPECT_EQ(s.id, "nacl-water");
  EXPECT_EQ(s.Component("Mg"), 0.00001);
  EXPECT_EQ(s.Component("CO3(2-)"), 0.002);
  EXPECT_EQ(s.steam_co2, 0.02);
  EXPECT_EQ(s.water, 55.51);
  EXPECT_EQ(s.ph, 8.5);
  EXPECT_EQ(s.ph_temperature, 25.0);  // calculation, as the file gives no ph_temperature
  EXPECT_EQ(s.separation_temperature, 100.0);
  EXPECT_TRUE(s.separation_given);
}

TEST(TypedSample, MessagesNameTheFileAndItsKey) {
  TempDir dir;
  const struct {
    std::string from, to, expected;
  } rows[] = {
      {"Mg      = 0.00001", "Mg      = abc", ": Mg = \"abc\" is not a number"},
      {"pH      = 8.5", "pH      = 8,5", ": pH = \"8,5\" is not a number"},
      {"CO2 = 0.02", "CO2 =", ": CO2 is not given"},
      {"separation  = 100", "separation  = 1e999",
       ": separation = \"1e999\" is not a number (out of the range of a double)"},
      {"\ncalculation = 25", "\ncalculation = 25\nph_temperature = warm",
       ": ph_temperature = \"warm\" is not a number"},
  };
  for (const auto& row : rows) {
    const std::string message = SampleErrorOf(Edited(dir, row.from, row.to));
    EXPECT_NE(message.find("the sample file " + (dir / "well.ini").string() + row.expected),
              std::string::npos)
        << message;
    EXPECT_EQ(message.find("Text"), std::string::npos) << message;
  }
}

// Where the separation temperature may be left out, 100 °C stands in for the calculation and
// the sample says it was not given, so that no reservoir liquid rests on it.
TEST(TypedSample, AnOptionalSeparationLeftOutIsNotGiven) {
  TempDir dir;
  const auto path = Edited(dir, "separation  = 100", "separation  =");
  EXPECT_NE(SampleErrorOf(path).find(": separation is not given"), std::string::npos);
  const engine::Sample s = sample::LoadTypedSample(path, true);
  EXPECT_EQ(s.separation_temperature, 100.0);
  EXPECT_FALSE(s.separation_given);
}

struct Result {
  int status;
  std::string err;
};

Result Cli(const TempDir& dir, const std::string& args) {
  const auto err = dir / "stderr.txt";
  const std::string command = std::string("'") + GEOFLUID_CLI_PATH + "' " + args + " >'" +
                              (dir / "stdout.txt").string() + "' 2>'" + err.string() + "'";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(err)};
}

TEST(TypedSample, CommandsNameTheKey) {
  TempDir dir;
  const std::string path = Edited(dir, "Mg      = 0.00001", "Mg      = abc").string();
  for (const std::string command : {"geothermometry", "uncertainty --draws 2",
                                    "scaling --reservoir 250 --separation 150 --cooling 100"}) {
    const Result r = Cli(dir, command + " '" + path + "'");
    EXPECT_EQ(r.status, 2) << command << ": " << r.err;
    EXPECT_NE(r.err.find("Mg = \"abc\" is not a number"), std::string::npos) << command << r.err;
    EXPECT_EQ(r.err.find("Text5"), std::string::npos) << command << r.err;
  }
}

TEST(Help, NamesNoWindowControls) {
  TempDir dir;
  const std::regex control("Command[12]|Option[12]|Check1|Text[0-9]");
  for (const char* command :
       {"run", "batch", "geothermometry", "uncertainty", "scaling", "constants"}) {
    ASSERT_EQ(Cli(dir, std::string(command) + " --help").status, 0) << command;
    const std::string help = ReadFile(dir / "stdout.txt");
    EXPECT_FALSE(std::regex_search(help, control)) << command << "\n" << help;
  }
}

}  // namespace
}  // namespace geofluid
