// Bad input and faults, one row each, through the command line and the window model: every row
// ends in a report or in one clear error, and never costs the user the hand-over history, a
// half-written report presented as a result, or a NaN in a file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli_process.h"
#include "form/form1.h"
#include "form_fixtures.h"
#include "platform/platform.h"

// A row names only the fields it needs; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace geofluid {
namespace {

namespace fs = std::filesystem;
using platform::MessageKind;
using testing::CliResult;
using testing::ReadFile;
using testing::RecordingPlatform;
using testing::RunCli;
using testing::SplitLines;
using testing::TempDir;
using testing::WriteFile;
using thermo::DatasetId;

constexpr std::string_view kClosingTail = "に出力しました。";
constexpr std::string_view kNonConvergence = "計算が収束しません";
// Two earlier measured runs.
constexpr std::string_view kHistory = " .0211 \r\n .0213601726981 \r\n";
// A report the run before left; a run that starts empties it.
constexpr std::string_view kOldReport = "the report of an earlier run\r\n";

enum class Mode { kNone, kMeasured, kOther };
enum class Expect { kReport, kRunError, kUsageError };

const char* Label(DatasetId d) { return d == DatasetId::kSolveq ? "Solveq" : "Supcrt"; }
std::size_t ReportLines(DatasetId d) { return d == DatasetId::kSolveq ? 137 : 139; }

// --- Data directories the rows start from --------------------------------------------------

using Setup = std::function<fs::path(const fs::path& scratch)>;

fs::path WithHistory(const fs::path& scratch, std::string_view history) {
  const fs::path dir = scratch / "data";
  fs::create_directory(dir);
  WriteFile(dir / platform::kHandOverFileName, history);
  WriteFile(dir / platform::kReportFileName, kOldReport);
  return dir;
}
Setup History(std::string history) {
  return [history](const fs::path& scratch) { return WithHistory(scratch, history); };
}
const Setup kStandard = History(std::string(kHistory));
const Setup kNoHandOverFile = [](const fs::path& scratch) {
  const fs::path dir = scratch / "data";
  fs::create_directory(dir);
  return dir;
};

// A history of exactly `size` bytes of measured runs (the last line padded with blanks).
std::string HistoryOfSize(std::size_t size) {
  const std::string line = " .0211 \r\n";
  std::string history;
  while (history.size() + 2 * line.size() <= size) history += line;
  history += " .0234";
  history += std::string(size - history.size() - 2, ' ') + "\r\n";
  return history;
}

// A file outside the data directory that a planted link points at; no run may touch it.
constexpr std::string_view kVictimText = "a file of someone else\n";
fs::path Victim(const fs::path& scratch) { return scratch / "victim.txt"; }
Setup LinkedToAVictim(std::string_view name, bool victim_exists) {
  return [name, victim_exists](const fs::path& scratch) {
    const fs::path dir = WithHistory(scratch, kHistory);
    if (victim_exists) WriteFile(Victim(scratch), kVictimText);
    fs::remove(dir / name);
    fs::create_symlink(Victim(scratch), dir / name);
    return dir;
  };
}
void ExpectVictimUntouched(const fs::path& scratch, bool victim_exists) {
  if (victim_exists) {
    EXPECT_EQ(ReadFile(Victim(scratch)), kVictimText) << "a run wrote through a link";
  } else {
    EXPECT_FALSE(fs::exists(Victim(scratch))) << "a run created a file where a link pointed";
  }
}

Setup FifoAs(std::string_view name) {
  return [name](const fs::path& scratch) {
    const fs::path dir = WithHistory(scratch, kHistory);
    fs::remove(dir / name);
    if (::mkfifo((dir / name).c_str(), 0666) != 0) ADD_FAILURE() << "mkfifo " << dir / name;
    return dir;
  };
}

// --- What is in a directory, to compare before and after a run --------------------------------

struct FileState {
  bool exists = false;
  std::uintmax_t size = 0;
  std::string content;  // whole file, or its last 64 KiB when large
  bool whole = true;
};

constexpr std::uintmax_t kWholeFileLimit = 16 * 1024 * 1024;

FileState StateOf(const fs::path& path) {
  FileState s;
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(path, ec))) return s;
  s.exists = true;
  s.size = fs::file_size(path, ec);
  if (s.size <= kWholeFileLimit) {
    s.content = ReadFile(path);
  } else {
    std::ifstream in(path, std::ios::binary);
    const std::uintmax_t tail = 64 * 1024;
    in.seekg(static_cast<std::streamoff>(s.size - tail));
    s.content.resize(tail);
    in.read(s.content.data(), static_cast<std::streamsize>(tail));
    s.whole = false;
  }
  return s;
}

bool operator==(const FileState& a, const FileState& b) {
  return a.exists == b.exists && a.size == b.size && a.content == b.content;
}

// "nan" or "inf" in any case where a number could stand: the report's own words never hold
// them outside a longer word.
bool HoldsNonFinite(const std::string& text) {
  const auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
  for (std::size_t i = 0; i + 3 <= text.size(); ++i) {
    std::string three = text.substr(i, 3);
    for (char& c : three) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (three != "nan" && three != "inf") continue;
    if (i > 0 && letter(text[i - 1])) continue;
    const std::size_t end = i + 3;
    if (end < text.size() && letter(text[end]) && text.compare(end, 5, "inity") != 0 &&
        text.compare(end, 5, "INITY") != 0)
      continue;
    return true;
  }
  return false;
}

void ExpectNoNonFiniteInAnyFile(const fs::path& dir) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const FileState s = StateOf(entry.path());
    if (s.exists) {
      EXPECT_FALSE(HoldsNonFinite(s.content)) << entry.path();
    }
  }
}

// --- The rows -------------------------------------------------------------------------------

struct Row {
  std::string name;
  Mode mode = Mode::kMeasured;
  std::vector<std::pair<std::string, std::string>> set;  // label, text
  Expect expect = Expect::kReport;
  std::vector<std::string> error;     // the error text holds each of these
  std::vector<std::string> warnings;  // one "warning: " line of the command line for each
  Setup setup = kStandard;
  // When set, the report must equal that of a run whose hand-over file holds just this.
  std::optional<std::string> same_report_as_history;
  std::vector<std::string> window_warnings;
  bool no_steam_correction = false;
  // The command line only: sample files and usage.
  bool cli_only = false;
  std::function<std::string()> sample;  // the sample file's content; empty: the standard one
  bool sample_missing = false;
  std::vector<std::string> extra_args;
  bool as_nobody = false;
  // The run fails after its report is complete and closed (the hand-over line cannot be
  // appended): the report stays, without the closing message.
  bool report_before_error = false;
  // The run is refused before it empties the report: the report stays as it was.
  bool report_untouched = false;
  // The command line only: RLIMIT_FSIZE of the process, in bytes.
  rlim_t file_size_limit = 0;
  // What else must hold after a run of the row, given the scratch directory.
  std::function<void(const fs::path& scratch)> check;
};

std::string StandardSample(std::string_view line_end = "\n") {
  const auto t = testing::NaClWater();
  std::string s;
  const auto line = [&](std::string_view text) { (s += text) += line_end; };
  line("; a Na-Cl water");
  line("[hot-water]");
  for (int box = 1; box <= 14; ++box)
    line(std::string(form::BoxLabel(box)) + " = " + t[static_cast<std::size_t>(box)]);
  line("[steam]");
  line("CO2 = " + t[15]);
  line("H2S = " + t[16]);
  line("[temperature]");
  line("calculation = " + t[17]);
  line("separation = " + t[18]);
  return s;
}

const std::string kTempWarning = "°C is outside 0-300 °C, values are extrapolated";
const std::string kEmptyWarning = "warning: TOTH25.txt is empty, the stored TOTH is taken as 0";

std::vector<Row> Rows() {
  std::vector<Row> rows;
  const auto add = [&](Row r) { rows.push_back(std::move(r)); };
  using P = std::pair<std::string, std::string>;

  // A sound run of each mode, so that every check below is known to pass on good input.
  add({.name = "MeasuredRun"});
  add({.name = "OtherRun", .mode = Mode::kOther, .set = {P{"calculation", "250"}}});
  add({.name = "OtherModeDoesNotReadThePhBox",
       .mode = Mode::kOther,
       .set = {P{"calculation", "250"}, P{"pH", "abc"}}});

  // A handful of bad box texts through the command line too (all of them: BadBoxText below).
  add({.name = "EmptySodium",
       .set = {P{"Na", ""}},
       .expect = Expect::kRunError,
       .error = {"Text2 (Na)", "the box is empty"}});
  add({.name = "DecimalCommaInH2S",
       .set = {P{"H2S", "1,5"}},
       .expect = Expect::kRunError,
       .error = {"Text16 (H2S)", "\"1,5\""}});
  add({.name = "InfinitePh",
       .set = {P{"pH", "inf"}},
       .expect = Expect::kRunError,
       .error = {"Text13 (pH)"}});
  add({.name = "HexadecimalSeparation",
       .mode = Mode::kOther,
       .set = {P{"separation", "0x10"}},
       .expect = Expect::kRunError,
       .error = {"Text18 (蒸気分離温度)"}});
  add({.name = "OverflowingCalculationTemperature",
       .set = {P{"calculation", "1e999"}},
       .expect = Expect::kRunError,
       .error = {"Text17 (計算温度)"}});

  // Numbers no water has.
  add({.name = "NegativeSodiumGivesAFiniteReport", .set = {P{"Na", "-0.04"}}});
  add({.name = "NegativeChlorideGivesAFiniteReport",
       .mode = Mode::kOther,
       .set = {P{"calculation", "200"}, P{"Cl", "-0.04"}}});
  add({.name = "NegativeCarbonate",
       .set = {P{"CO3(2-)", "-1"}},
       .expect = Expect::kRunError,
       .error = {"arithmetic error (invalid operation)", "pass 1", "speciation"}});
  add({.name = "NegativeSteamCo2",
       .mode = Mode::kOther,
       .set = {P{"calculation", "200"}, P{"CO2", "-1"}},
       .expect = Expect::kRunError,
       .error = {"arithmetic error (invalid operation)", "speciation"}});
  add({.name = "Ph400",
       .set = {P{"pH", "400"}},
       .expect = Expect::kRunError,
       .error = {"10^(-pH) is out of range for pH 400"}});
  add({.name = "PhMinus400",
       .set = {P{"pH", "-400"}},
       .expect = Expect::kRunError,
       .error = {"10^(-pH) is out of range for pH -400"}});
  add({.name = "NoWater",
       .set = {P{"H2O", "0"}},
       .expect = Expect::kRunError,
       .error = {"division by zero", "water (H2O) is 0"}});
  add({.name = "NoWaterInTheOtherMode",
       .mode = Mode::kOther,
       .set = {P{"calculation", "250"}, P{"H2O", "0"}},
       .expect = Expect::kRunError,
       .error = {"water (H2O) is 0"}});

  // Temperatures outside the tables: extrapolated with a warning, and stopped where the
  // extrapolation breaks down.
  for (const char* t : {"-100", "400", "1000"}) {
    for (const Mode mode : {Mode::kMeasured, Mode::kOther}) {
      add({.name = std::string("CalculationTemperature") + (t[0] == '-' ? "Minus" : "") +
                   (t[0] == '-' ? t + 1 : t) + (mode == Mode::kMeasured ? "Measured" : "Other"),
           .mode = mode,
           .set = {P{"calculation", t}},
           .expect = Expect::kRunError,
           .error = {"arithmetic error (overflow) in the equilibrium constants at " +
                     std::string(t) + " °C"},
           .warnings = {"calculation temperature " + std::string(t) + " " + kTempWarning}});
    }
    add({.name = std::string("SeparationTemperature") + (t[0] == '-' ? "Minus" : "") +
                 (t[0] == '-' ? t + 1 : t),
         .mode = Mode::kOther,
         .set = {P{"calculation", "250"}, P{"separation", t}},
         .expect = Expect::kRunError,
         .error = {"the separation temperature " + std::string(t) +
                   " °C is outside the steam table"},
         .warnings = {"separation temperature " + std::string(t) + " " + kTempWarning}});
  }
  add({.name = "SlightlyOutsideTheTablesIsExtrapolated",
       .mode = Mode::kOther,
       .set = {P{"calculation", "310"}},
       .warnings = {"calculation temperature 310 " + kTempWarning}});
  add({.name = "MeasuredModeNeverUsesTheSeparationTemperature",
       .set = {P{"separation", "1000"}},
       .warnings = {"separation temperature 1000 " + kTempWarning}});

  // The hand-over file in the other mode.
  add({.name = "HandOverFileMissing",
       .mode = Mode::kOther,
       .set = {P{"calculation", "250"}},
       .expect = Expect::kRunError,
       .error = {"TOTH25.txt does not exist"},
       .setup = kNoHandOverFile});
  add({.name = "HandOverFileEmpty",
       .mode = Mode::kOther,
       .set = {P{"calculation", "250"}},
       .warnings = {kEmptyWarning.substr(9)},
       .setup = History(""),
       .window_warnings = {"TOTH25.txt is empty, the stored TOTH is taken as 0"}});
  add({.name = "HandOverFileOfBlankLines",
       .mode = Mode::kOther,
       .set = {P{"calculation", "250"}},
       .warnings = {kEmptyWarning.substr(9)},
       .setup = History("\r\n  \r\n\r\n"),
       .window_warnings = {"TOTH25.txt is empty"}});
  add({.name = "HandOverFileEndingInABlankLine",
       .mode = Mode::kOther,
       .set = {P{"calculation", "250"}},
       .setup = History(" .0211 \r\n .0234 \r\n\r\n"),
       .same_report_as_history = " .0234 \r\n"});
  add({.name = "HandOverLastLineWithoutLineEnd",
       .mode = Mode::kOther,
       .set = {P{"calculation", "250"}},
       .setup = History(" .0211 \r\n .0234"),
       .same_report_as_history = " .0234 \r\n"});
  add({.name = "HandOverFileWithUnixLineEnds",
       .mode = Mode::kOther,
       .set = {P{"calculation", "250"}},
       .setup = History(" .0211 \n .0234 \n"),
       .same_report_as_history = " .0234 \r\n"});
  add({.name = "HandOverFileEndingInGarbage",
       .mode = Mode::kOther,
       .set = {P{"calculation", "250"}},
       .expect = Expect::kRunError,
       .error = {"TOTH25.txt, line 3", "\"garbage\" is not a number"},
       .setup = History(std::string(kHistory) + "garbage\r\n")});
  add({.name = "HandOverFileEndingInBinaryBytes",
       .mode = Mode::kOther,
       .set = {P{"calculation", "250"}},
       .expect = Expect::kRunError,
       .error = {"TOTH25.txt, line 3", "is not a number"},
       .setup = History(std::string(kHistory) + std::string("\0\x01\xff", 3))});
  add({.name = "HandOverFileIsADirectory",
       .mode = Mode::kOther,
       .set = {P{"calculation", "250"}},
       .expect = Expect::kRunError,
       .error = {"TOTH25.txt is a directory"},
       .setup = [](const fs::path& scratch) {
         const fs::path dir = kNoHandOverFile(scratch);
         fs::create_directory(dir / platform::kHandOverFileName);
         return dir;
       }});
  // A measured run that fails where no hand-over file existed must not create an empty one
  // (a later run would read it as a stored TOTH of 0); the generic check sees that it is still
  // missing.
  add({.name = "FailedMeasuredRunLeavesNoHandOverFile",
       .set = {P{"Na", ""}},
       .expect = Expect::kRunError,
       .error = {"Text2 (Na)"},
       .setup = kNoHandOverFile});
  add({.name = "MeasuredRunCreatesTheHandOverFile", .setup = kNoHandOverFile});

  // The directory and the report file.
  add({.name = "DirectoryMissing",
       .expect = Expect::kRunError,
       .error = {"does not exist"},
       .setup = [](const fs::path& scratch) { return scratch / "no-such-directory"; }});
  add({.name = "DirectoryIsAPlainFile",
       .expect = Expect::kRunError,
       .error = {"is not a directory"},
       .setup = [](const fs::path& scratch) {
         WriteFile(scratch / "plain", "not a directory\n");
         return scratch / "plain";
       }});
  add({.name = "ReportFileIsADirectory",
       .expect = Expect::kRunError,
       .error = {"the report file", "HVQ98OUT.txt"},
       .setup = [](const fs::path& scratch) {
         const fs::path dir = kNoHandOverFile(scratch);
         WriteFile(dir / platform::kHandOverFileName, kHistory);
         fs::create_directory(dir / platform::kReportFileName);
         return dir;
       }});
  // A link in the data directory is never followed, whether it points at a device, at
  // someone's file or at nothing yet.
  for (const Mode mode : {Mode::kMeasured, Mode::kOther}) {
    add({.name = std::string("ReportLinkedToADevice") +
                 (mode == Mode::kMeasured ? "Measured" : "Other"),
         .mode = mode,
         .set = {P{"calculation", mode == Mode::kMeasured ? "25" : "250"}},
         .expect = Expect::kRunError,
         .error = {"the report file", "HVQ98OUT.txt is a symbolic link"},
         .setup = [](const fs::path& scratch) {
           const fs::path dir = kNoHandOverFile(scratch);
           WriteFile(dir / platform::kHandOverFileName, kHistory);
           fs::create_symlink("/dev/full", dir / platform::kReportFileName);
           return dir;
         }});
  }
  for (const bool victim_exists : {true, false}) {
    const std::string target = victim_exists ? "ToAFile" : "ToNothing";
    add({.name = "ReportLinked" + target,
         .set = {P{"Na", ""}},  // refused before the box is read
         .expect = Expect::kRunError,
         .error = {"the report file", "HVQ98OUT.txt is a symbolic link"},
         .setup = LinkedToAVictim(platform::kReportFileName, victim_exists),
         .check = [victim_exists](const fs::path& s) { ExpectVictimUntouched(s, victim_exists); }});
    add({.name = "HandOverFileLinked" + target + "Measured",
         .expect = Expect::kRunError,
         .error = {"the hand-over file", "TOTH25.txt is a symbolic link"},
         .setup = LinkedToAVictim(platform::kHandOverFileName, victim_exists),
         .report_before_error = true,
         .check = [victim_exists](const fs::path& s) { ExpectVictimUntouched(s, victim_exists); }});
    add({.name = "HandOverFileLinked" + target + "Other",
         .mode = Mode::kOther,
         .set = {P{"calculation", "250"}},
         .expect = Expect::kRunError,
         .error = {"the hand-over file", "TOTH25.txt is a symbolic link"},
         .setup = LinkedToAVictim(platform::kHandOverFileName, victim_exists),
         .check = [victim_exists](const fs::path& s) { ExpectVictimUntouched(s, victim_exists); }});
  }
  // A directory anyone may write to without the sticky bit lets anyone swap the files between
  // two runs: refused before anything is touched. With the sticky bit (as /tmp) it is used.
  add({.name = "DirectoryWritableByAnyone",
       .expect = Expect::kRunError,
       .error = {"the data directory", "is writable by every user", "chmod o-w"},
       .setup =
           [](const fs::path& scratch) {
             const fs::path dir = WithHistory(scratch, kHistory);
             fs::permissions(dir, fs::perms::all);
             return dir;
           },
       .report_untouched = true});
  add({.name = "StickyDirectoryWritableByAnyone", .setup = [](const fs::path& scratch) {
         const fs::path dir = WithHistory(scratch, kHistory);
         fs::permissions(dir, fs::perms::all | fs::perms::sticky_bit);
         return dir;
       }});

  // Files that are not regular files: refused at once, never waited on.
  for (const Mode mode : {Mode::kMeasured, Mode::kOther}) {
    const std::string m = mode == Mode::kMeasured ? "Measured" : "Other";
    add({.name = "ReportFileIsAFifo" + m,
         .mode = mode,
         .set = {P{"calculation", mode == Mode::kMeasured ? "25" : "250"}},
         .expect = Expect::kRunError,
         .error = {"the report file", "HVQ98OUT.txt is not a regular file"},
         .setup = FifoAs(platform::kReportFileName)});
    add({.name = "HandOverFileIsAFifo" + m,
         .mode = mode,
         .set = {P{"calculation", mode == Mode::kMeasured ? "25" : "250"}},
         .expect = Expect::kRunError,
         .error = {"the hand-over file", "TOTH25.txt is not a regular file"},
         .setup = FifoAs(platform::kHandOverFileName),
         // The measured mode writes its report before it hands the TOTH over.
         .report_before_error = mode == Mode::kMeasured});
  }

  // The file-size limit (ulimit -f) stands for a full disk: a report cut short is emptied, a
  // hand-over line cut short is taken back, and the process is not killed by SIGXFSZ.
  for (const Mode mode : {Mode::kMeasured, Mode::kOther}) {
    add({.name = std::string("ReportBeyondTheFileSizeLimit") +
                 (mode == Mode::kMeasured ? "Measured" : "Other"),
         .mode = mode,
         .set = {P{"calculation", mode == Mode::kMeasured ? "25" : "250"}},
         .expect = Expect::kRunError,
         .error = {"cannot write the report file", "File too large"},
         .cli_only = true,
         .file_size_limit = 4096});
  }
  add({.name = "HandOverLineCutAtTheFileSizeLimit",
       .expect = Expect::kRunError,
       .error = {"cannot append to the hand-over file", "File too large"},
       .setup = History(HistoryOfSize(8192 - 7)),
       .cli_only = true,
       .report_before_error = true,
       .file_size_limit = 8192});
  add({.name = "HandOverFileAtTheFileSizeLimit",
       .expect = Expect::kRunError,
       .error = {"cannot append to the hand-over file", "File too large"},
       .setup = History(HistoryOfSize(8192)),
       .cli_only = true,
       .report_before_error = true,
       .file_size_limit = 8192});

  // Root is not stopped by permission bits, so the command line runs as another account there;
  // the window model shares the run and is not run under another account.
  add({.name = "DirectoryReadOnly",
       .expect = Expect::kRunError,
       .error = {"cannot open the report file", "Permission denied"},
       .setup =
           [](const fs::path& scratch) {
             fs::permissions(scratch, fs::perms::owner_all | fs::perms::group_read |
                                          fs::perms::group_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
             const fs::path dir = kNoHandOverFile(scratch);
             WriteFile(dir / platform::kHandOverFileName, kHistory);
             fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec |
                                      fs::perms::group_read | fs::perms::group_exec |
                                      fs::perms::others_read | fs::perms::others_exec);
             return dir;
           },
       .cli_only = true,
       .as_nobody = true});

  add({.name = "HandOverFileReadOnly",
       .expect = Expect::kRunError,
       .error = {"cannot open the hand-over file", "for append: Permission denied"},
       .setup =
           [](const fs::path& scratch) {
             const fs::path dir = kNoHandOverFile(scratch);
             WriteFile(dir / platform::kHandOverFileName, kHistory);
             fs::permissions(dir / platform::kHandOverFileName, fs::perms::owner_read |
                                                                    fs::perms::group_read |
                                                                    fs::perms::others_read);
             if (::geteuid() == 0 && ::chown(dir.c_str(), testing::kNobody, testing::kNobody) != 0)
               ADD_FAILURE() << "cannot hand " << dir << " to the unprivileged account";
             return dir;
           },
       .cli_only = true,
       .as_nobody = true,
       .report_before_error = true});

  // The speciation that runs away: OH(-) is not mass-balanced, the ionic strength grows until
  // an activity coefficient underflows.
  add({.name = "RunawaySpeciation",
       .set = {P{"pH", "11.7"}, P{"calculation", "200"}},
       .expect = Expect::kRunError,
       .error = {"speciation diverged at pass"}});
  add({.name = "RunawaySpeciationOfOneKgOfWater",
       .set = {P{"pH", "11.7"}, P{"calculation", "200"}, P{"H2O", "1"}},
       .expect = Expect::kRunError,
       .error = {"speciation diverged at pass"}});

  // Sample files.
  const auto sample_row = [&](std::string name, std::function<std::string()> content, Expect expect,
                              std::vector<std::string> error) {
    add({.name = std::move(name),
         .expect = expect,
         .error = std::move(error),
         .cli_only = true,
         .sample = std::move(content)});
  };
  sample_row("SampleWithoutEquals", [] { return "[hot-water]\nSiO2 = 0.01\nNa 0.04\n"; },
             Expect::kUsageError, {"sample.ini, line 3"});
  sample_row("SampleWithUnclosedSection", [] { return "[hot-water\nNa = 0.04\n"; },
             Expect::kUsageError, {"sample.ini, line 1"});
  sample_row("SampleWithUnknownSection", [] { return "[rock]\nquartz = 1\n"; }, Expect::kUsageError,
             {"sample.ini, line 1", "[rock]"});
  sample_row("SampleWithUnknownKey", [] { return "[hot-water]\nLi = 0.001\n"; },
             Expect::kUsageError, {"sample.ini, line 2", "\"Li\""});
  sample_row("SampleWithBinaryBytes",
             [] { return StandardSample() + std::string("\x01\x02\x00\x7f", 4); },
             Expect::kUsageError, {"sample.ini, line 23", "0x01"});
  sample_row("SampleWithByteOrderMark", [] { return "\xEF\xBB\xBF" + StandardSample(); },
             Expect::kReport, {});
  sample_row("SampleWithCrlf", [] { return StandardSample("\r\n"); }, Expect::kReport, {});
  // サンプル in Shift_JIS.
  sample_row("SampleInShiftJis",
             [] { return "; \x83\x54\x83\x93\x83\x76\x83\x8B\n" + StandardSample(); },
             Expect::kUsageError, {"sample.ini, line 1", "not UTF-8"});
  sample_row("SampleOf10MB",
             [] {
               std::string s = StandardSample();
               const std::string comment = "; " + std::string(97, 'x') + "\n";
               while (s.size() < 10 * 1000 * 1000) s += comment;
               return s;
             },
             Expect::kUsageError, {"sample.ini is larger than"});
  sample_row("SampleWithARepeatedKey", [] { return StandardSample() + "[hot-water]\nNa = 0.05\n"; },
             Expect::kUsageError,
             {"sample.ini, line 24", "\"Na\" is given twice (first on line 4)"});
  // Text that is no key line: a colon for the equals sign, words after a section name, a
  // line of its own.
  const auto replaced = [](std::string from, std::string to) {
    return [from, to] {
      std::string s = StandardSample();
      s.replace(s.find(from), from.size(), to);
      return s;
    };
  };
  sample_row("SampleWithAColonForTheEqualsSign", replaced("pH = ", "pH : "), Expect::kUsageError,
             {"sample.ini, line 15", "key = value"});
  sample_row("SampleWithWordsAfterASectionName", replaced("[steam]", "[steam] junk"),
             Expect::kUsageError, {"sample.ini, line 17", "after [steam]"});
  sample_row("SampleWithABareWordUnderSteam", replaced("[steam]\n", "[steam]\njunk\n"),
             Expect::kUsageError, {"sample.ini, line 18"});
  sample_row("SampleWithAComment", replaced("[steam]\n", "[steam] ; the steam\n# more\n"),
             Expect::kReport, {});
  // C1 controls (NEL, CSI) are as much control characters as the C0 ones.
  sample_row("SampleWithC1Controls",
             [] {
               return StandardSample() +
                      "; \xC2\x9B"
                      "31m\n";
             },
             Expect::kUsageError, {"sample.ini, line 23", "U+009B"});
  sample_row("SampleWithC1InAValue", replaced("Na = ", "Na = \xC2\x85"), Expect::kUsageError,
             {"sample.ini, line 4", "U+0085"});

  // Options given empty are empty boxes, not options left out.
  add({.name = "EmptyTemperatureOption",
       .expect = Expect::kRunError,
       .error = {"Text17 (計算温度)", "the box is empty"},
       .cli_only = true,
       .extra_args = {"--temperature", ""}});
  add({.name = "EmptySeparationOption",
       .mode = Mode::kOther,
       .set = {P{"calculation", "250"}},
       .expect = Expect::kRunError,
       .error = {"Text18 (蒸気分離温度)", "the box is empty"},
       .cli_only = true,
       .extra_args = {"--separation", ""}});
  add({.name = "SampleMissing",
       .expect = Expect::kUsageError,
       .error = {"sample.ini"},
       .cli_only = true,
       .sample_missing = true});
  add({.name = "SetOfAnUnknownLabel",
       .expect = Expect::kUsageError,
       .error = {"unknown label \"Li\""},
       .cli_only = true,
       .extra_args = {"--set", "Li=0.001"}});
  add({.name = "UnknownMode",
       .mode = Mode::kNone,
       .expect = Expect::kUsageError,
       .error = {"--mode"},
       .cli_only = true,
       .extra_args = {"--mode", "sideways"}});
  return rows;
}

// --- Running a row --------------------------------------------------------------------------

struct Param {
  Row row;
  DatasetId dataset;
};

void PrintTo(const Param& p, std::ostream* os) { *os << p.row.name << " " << Label(p.dataset); }

std::string ParamName(const ::testing::TestParamInfo<Param>& info) {
  return info.param.row.name + Label(info.param.dataset);
}

std::vector<Param> Params(bool window) {
  std::vector<Param> params;
  for (const Row& row : Rows())
    if (!window || !row.cli_only)
      for (const DatasetId d : {DatasetId::kSolveq, DatasetId::kSupcrt}) params.push_back({row, d});
  return params;
}

std::vector<std::string> CliArgs(const Row& row, DatasetId dataset, const fs::path& sample,
                                 const fs::path& dir) {
  std::vector<std::string> args = {
      "run",        sample.string(), "--dir",
      dir.string(), "--dataset",     dataset == DatasetId::kSolveq ? "solveq" : "supcrt"};
  if (row.mode == Mode::kMeasured) args.insert(args.end(), {"--mode", "measured"});
  if (row.mode == Mode::kOther) args.insert(args.end(), {"--mode", "other"});
  if (row.no_steam_correction) args.push_back("--no-steam-correction");
  for (const auto& [label, text] : row.set) args.insert(args.end(), {"--set", label + "=" + text});
  args.insert(args.end(), row.extra_args.begin(), row.extra_args.end());
  return args;
}

struct WindowRun {
  RecordingPlatform platform;
  std::optional<form::Form1> form;
  int descriptors_before = 0;
  int descriptors_after = 0;
};

void RunWindow(const Row& row, DatasetId dataset, const fs::path& dir, WindowRun& run) {
  run.form.emplace(run.platform, dir);
  form::Form1& form = *run.form;
  const auto texts = testing::NaClWater();
  for (int box = 1; box <= form::kBoxCount; ++box)
    form.Text(box).text = texts[static_cast<std::size_t>(box)];
  if (row.mode == Mode::kMeasured) form.Option1_Click();
  if (row.mode == Mode::kOther) form.Option2_Click();
  if (row.no_steam_correction && form.Check1Value() == 0) form.Check1_Click();
  for (const auto& [label, text] : row.set) form.Text(*form::BoxForKey(label)).text = text;
  run.descriptors_before = testing::OpenDescriptors();
  if (dataset == DatasetId::kSolveq)
    form.Command1_Click();
  else
    form.Command2_Click();
  run.descriptors_after = testing::OpenDescriptors();
}

void ExpectContainsAll(const std::string& text, const std::vector<std::string>& parts) {
  for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << text;
}

// What must hold of the data directory after any run of the row.
void ExpectFilesAfter(const Row& row, DatasetId dataset, const fs::path& dir, bool reported,
                      const FileState& toth_before, const FileState& report_before) {
  const FileState toth = StateOf(dir / platform::kHandOverFileName);
  if (reported && row.mode == Mode::kMeasured) {
    // Exactly one well-formed line appended, nothing else touched.
    ASSERT_TRUE(toth.exists);
    ASSERT_EQ(toth.content.substr(0, toth_before.content.size()), toth_before.content);
    const std::string added = toth.content.substr(toth_before.content.size());
    ASSERT_GE(added.size(), 2u);
    EXPECT_EQ(added.substr(added.size() - 2), "\r\n");
    EXPECT_TRUE(testing::WellFormedNumberItem(added.substr(0, added.size() - 2))) << added;
  } else {
    EXPECT_TRUE(toth == toth_before) << "the hand-over file changed";
  }

  const FileState report = StateOf(dir / platform::kReportFileName);
  if (reported || row.report_before_error) {
    ASSERT_TRUE(report.exists);
    const auto lines = SplitLines(report.content);
    EXPECT_EQ(lines.size(), ReportLines(dataset));
    EXPECT_EQ(report.content.substr(report.content.size() - 2), "\r\n");
    EXPECT_EQ(std::count(report.content.begin(), report.content.end(), '\n'),
              std::count(report.content.begin(), report.content.end(), '\r'));
  } else if (row.expect == Expect::kUsageError || row.report_untouched) {
    EXPECT_TRUE(report == report_before) << "the report was touched";
  } else if (report.exists) {
    // The run emptied it first and then failed: nothing half-written is left as a result.
    EXPECT_EQ(report.size, 0u) << report.content;
  }
  ExpectNoNonFiniteInAnyFile(dir);
}

class BadInput : public ::testing::TestWithParam<Param> {};
class BadInputWindow : public ::testing::TestWithParam<Param> {};

TEST_P(BadInput, CommandLine) {
  const Row& row = GetParam().row;
  const DatasetId dataset = GetParam().dataset;
  TempDir scratch;
  const fs::path dir = row.setup(scratch.Path());
  const fs::path sample = scratch / "sample.ini";
  if (!row.sample_missing) WriteFile(sample, row.sample ? row.sample() : StandardSample());
  const FileState toth_before = StateOf(dir / platform::kHandOverFileName);
  const FileState report_before = StateOf(dir / platform::kReportFileName);

  bool as_nobody = false;
  if (row.as_nobody && ::geteuid() == 0) {
    as_nobody = true;
    // The unprivileged account must reach the sample.
    fs::permissions(sample, fs::perms::others_read, fs::perm_options::add);
  }
  const CliResult cli = RunCli(CliArgs(row, dataset, sample, dir), scratch.Path(),
                               {.as_nobody = as_nobody,
                                .file_size_limit = row.file_size_limit,
                                .kill_after = std::chrono::seconds(60)});
  EXPECT_FALSE(cli.killed) << "the run hung";

  const int expected_status = row.expect == Expect::kReport     ? 0
                              : row.expect == Expect::kRunError ? 1
                                                                : 2;
  EXPECT_EQ(cli.status, expected_status) << cli.err;
  int errors = 0;
  int warnings = 0;
  for (const std::string& line : cli.ErrLines()) {
    if (line.rfind("error: ", 0) == 0) {
      ++errors;
      ExpectContainsAll(line, row.error);
    } else if (line.rfind("warning: ", 0) == 0) {
      ++warnings;
    } else {
      EXPECT_EQ(line, kNonConvergence) << "unexpected line on stderr";
    }
  }
  EXPECT_EQ(errors, row.expect == Expect::kReport ? 0 : 1) << cli.err;
  EXPECT_EQ(warnings, static_cast<int>(row.warnings.size())) << cli.err;
  for (const std::string& w : row.warnings)
    EXPECT_NE(cli.err.find("warning: " + w + "\n"), std::string::npos) << cli.err;

  const bool reported = row.expect == Expect::kReport;
  if (reported) {
    EXPECT_EQ(cli.out, "結果を\n" + (fs::absolute(dir) / platform::kReportFileName).string() +
                           "\n" + std::string(kClosingTail) + "\n");
  } else {
    EXPECT_EQ(cli.out, "") << "a failed run printed something as its result";
  }
  ExpectFilesAfter(row, dataset, dir, reported && cli.status == 0, toth_before, report_before);
  if (row.check) row.check(scratch.Path());

  if (row.same_report_as_history && cli.status == 0) {
    TempDir other;
    const fs::path reference_dir = WithHistory(other.Path(), *row.same_report_as_history);
    const fs::path reference_sample = other / "sample.ini";
    WriteFile(reference_sample, StandardSample());
    const CliResult reference =
        RunCli(CliArgs(row, dataset, reference_sample, reference_dir), other.Path());
    ASSERT_EQ(reference.status, 0) << reference.err;
    EXPECT_EQ(ReadFile(dir / platform::kReportFileName),
              ReadFile(reference_dir / platform::kReportFileName));
  }
}

TEST_P(BadInputWindow, Window) {
  const Row& row = GetParam().row;
  const DatasetId dataset = GetParam().dataset;
  TempDir scratch;
  const fs::path dir = row.setup(scratch.Path());
  const FileState toth_before = StateOf(dir / platform::kHandOverFileName);
  const FileState report_before = StateOf(dir / platform::kReportFileName);

  WindowRun run;
  RunWindow(row, dataset, dir, run);
  const form::Form1& form = *run.form;
  const RecordingPlatform& platform = run.platform;

  const bool reported = row.expect == Expect::kReport;
  EXPECT_EQ(form.LastRun().completed, reported) << form.LastRun().error;
  EXPECT_EQ(form.MousePointer(), platform::kDefaultPointer);
  if (!platform.pointers.empty()) {
    EXPECT_EQ(platform.pointers.back(), platform::kDefaultPointer);
  }
  EXPECT_EQ(run.descriptors_after, run.descriptors_before) << "a file was left open";
  EXPECT_EQ(platform.Count(MessageKind::kClosing), reported ? 1 : 0);
  EXPECT_EQ(platform.Count(MessageKind::kError), reported ? 0 : 1);
  if (!reported) {
    EXPECT_FALSE(form.LastRun().error.empty());
    for (const auto& m : platform.messages)
      if (m.kind == MessageKind::kError) {
        EXPECT_EQ(m.text, form.LastRun().error);
        ExpectContainsAll(m.text, row.error);
      }
  }
  // The closing message, when there is one, is the last thing the run shows.
  if (reported) {
    ASSERT_FALSE(platform.messages.empty());
    EXPECT_EQ(platform.messages.back().kind, MessageKind::kClosing);
  }
  ASSERT_EQ(platform.warnings.size(), row.window_warnings.size());
  for (std::size_t i = 0; i < row.window_warnings.size(); ++i)
    EXPECT_NE(platform.warnings[i].find(row.window_warnings[i]), std::string::npos);
  ExpectFilesAfter(row, dataset, dir, reported, toth_before, report_before);
  if (row.check) row.check(scratch.Path());

  if (row.same_report_as_history && reported) {
    TempDir other;
    const fs::path reference_dir = WithHistory(other.Path(), *row.same_report_as_history);
    WindowRun reference;
    RunWindow(row, dataset, reference_dir, reference);
    ASSERT_TRUE(reference.form->LastRun().completed) << reference.form->LastRun().error;
    EXPECT_EQ(ReadFile(dir / platform::kReportFileName),
              ReadFile(reference_dir / platform::kReportFileName));
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, BadInput, ::testing::ValuesIn(Params(false)), ParamName);
INSTANTIATE_TEST_SUITE_P(Rows, BadInputWindow, ::testing::ValuesIn(Params(true)), ParamName);

// --- Every box with every text that is not a number, on the window model --------------------

TEST(BadBoxText, EveryBoxEveryBadTextNamesTheBoxAndLeavesTheFilesAlone) {
  const char* const kBad[] = {"", "abc", "1,5", "0x10", "inf", "nan", "1e999", "  "};
  for (const DatasetId dataset : {DatasetId::kSolveq, DatasetId::kSupcrt}) {
    TempDir scratch;
    const fs::path dir = WithHistory(scratch.Path(), kHistory);
    for (int box = 1; box <= form::kBoxCount; ++box) {
      for (const char* bad : kBad) {
        SCOPED_TRACE(std::string(Label(dataset)) + " Text" + std::to_string(box) + " = \"" + bad +
                     "\"");
        WriteFile(dir / platform::kReportFileName, kOldReport);
        RecordingPlatform platform;
        form::Form1 form(platform, dir);
        const auto texts = testing::NaClWater();
        for (int b = 1; b <= form::kBoxCount; ++b)
          form.Text(b).text = texts[static_cast<std::size_t>(b)];
        // The measured mode reads every box, the pH included.
        form.Option1_Click();
        form.Text(box).text = bad;
        const int descriptors = testing::OpenDescriptors();
        dataset == DatasetId::kSolveq ? form.Command1_Click() : form.Command2_Click();

        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].kind, MessageKind::kError);
        const std::string& text = platform.messages[0].text;
        EXPECT_NE(
            text.find("Text" + std::to_string(box) + " (" + std::string(form::BoxLabel(box)) + ")"),
            std::string::npos)
            << text;
        EXPECT_NE(text.find("not a number"), std::string::npos) << text;
        EXPECT_FALSE(form.LastRun().completed);
        EXPECT_EQ(form.LastRun().error, text);
        EXPECT_EQ(form.MousePointer(), platform::kDefaultPointer);
        EXPECT_EQ(testing::OpenDescriptors(), descriptors);
        EXPECT_EQ(ReadFile(dir / platform::kHandOverFileName), kHistory);
        EXPECT_EQ(ReadFile(dir / platform::kReportFileName), "");
      }
    }
  }
}

// --- Files another user could have placed -------------------------------------------------

std::vector<std::string> MeasuredArgs(const fs::path& sample, const fs::path& dir) {
  return {"run", sample.string(), "--mode", "measured", "--dir", dir.string()};
}

// A second name of a file elsewhere (a hard link) is never written through: the report and
// the hand-over file must be files of their own.
TEST(SharedDirectory, AFileWithAnotherNameIsNotWritten) {
  for (const std::string_view name : {platform::kReportFileName, platform::kHandOverFileName}) {
    SCOPED_TRACE(name);
    TempDir scratch;
    const fs::path dir = WithHistory(scratch.Path(), kHistory);
    WriteFile(Victim(scratch.Path()), kVictimText);
    fs::remove(dir / name);
    fs::create_hard_link(Victim(scratch.Path()), dir / name);
    const fs::path sample = scratch / "sample.ini";
    WriteFile(sample, StandardSample());
    const CliResult r = RunCli(MeasuredArgs(sample, dir), scratch.Path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(std::string(name) + " has other names"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(Victim(scratch.Path())), kVictimText);
  }
}

// In a directory everyone may write to, with the sticky bit (as /tmp), a report or hand-over
// file of a third user is refused, as the kernel's protected_regular does; the directory's
// owner and the running user are trusted.
TEST(SharedDirectory, InAStickyDirectoryAnotherUsersFileIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another account";
  for (const std::string_view name : {platform::kReportFileName, platform::kHandOverFileName}) {
    SCOPED_TRACE(name);
    TempDir scratch;
    const fs::path dir = WithHistory(scratch.Path(), kHistory);
    fs::permissions(dir, fs::perms::all | fs::perms::sticky_bit);
    ASSERT_EQ(::chown((dir / name).c_str(), testing::kNobody, testing::kNobody), 0);
    const std::string before = ReadFile(dir / name);
    const fs::path sample = scratch / "sample.ini";
    WriteFile(sample, StandardSample());
    const CliResult r = RunCli(MeasuredArgs(sample, dir), scratch.Path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(std::string(name) + " belongs to another user"), std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFile(dir / name), before);
    // Given to the directory's owner, it is used.
    ASSERT_EQ(::chown((dir / name).c_str(), 0, 0), 0);
    const CliResult own = RunCli(MeasuredArgs(sample, dir), scratch.Path());
    EXPECT_EQ(own.status, 0) << own.err;
  }
}

// --- A long history ------------------------------------------------------------------------

// 200 MB of earlier measured runs: the last line is found without reading the file into
// memory, and a measured run appends to it as to a short one.
TEST(LongHistory, LastLineOf200MBIsFoundQuicklyAndInLittleMemory) {
  TempDir scratch;
  const fs::path dir = scratch / "data";
  fs::create_directory(dir);
  const fs::path toth = dir / platform::kHandOverFileName;
  const std::string last = " .0234 \r\n";
  {
    std::string block;
    while (block.size() < (1 << 20)) block += " .0211 \r\n .0198765432101 \r\n";
    std::ofstream out(toth, std::ios::binary);
    for (int i = 0; i < 200; ++i)
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    out << last;
  }
  const FileState before = StateOf(toth);
  ASSERT_GT(before.size, 200u * 1000 * 1000);

  TempDir other;
  const fs::path reference_dir = WithHistory(other.Path(), last);
  const fs::path sample = scratch / "sample.ini";
  WriteFile(sample, StandardSample());
  for (const char* dataset : {"solveq", "supcrt"}) {
    SCOPED_TRACE(dataset);
    const std::vector<std::string> args = {"run",   sample.string(),  "--mode",
                                           "other", "--dataset",      dataset,
                                           "--set", "calculation=250"};
    auto with_dir = [&](const fs::path& d) {
      auto a = args;
      a.insert(a.end(), {"--dir", d.string()});
      return a;
    };
    const CliResult run = RunCli(with_dir(dir), scratch.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // Far less than the file: the reader goes back from its end.
    EXPECT_LT(run.max_rss_kb, 120 * 1024);
    const CliResult reference = RunCli(with_dir(reference_dir), other.Path());
    ASSERT_EQ(reference.status, 0) << reference.err;
    EXPECT_EQ(ReadFile(dir / platform::kReportFileName),
              ReadFile(reference_dir / platform::kReportFileName));
    EXPECT_TRUE(StateOf(toth) == before);
  }

  const CliResult measured =
      RunCli({"run", sample.string(), "--mode", "measured", "--dir", dir.string()}, scratch.Path());
  ASSERT_EQ(measured.status, 0) << measured.err;
  EXPECT_LT(measured.max_rss_kb, 120 * 1024);
  // One well-formed line appended after the old last line.
  const FileState after = StateOf(toth);
  const std::size_t added = after.size - before.size;
  ASSERT_GT(added, 2u);
  const std::string tail = after.content.substr(after.content.size() - added);
  EXPECT_EQ(tail.substr(tail.size() - 2), "\r\n");
  EXPECT_TRUE(testing::WellFormedNumberItem(tail.substr(0, tail.size() - 2))) << tail;
  const std::string kept = after.content.substr(0, after.content.size() - added);
  EXPECT_EQ(kept.substr(kept.size() - last.size()), last);
  fs::remove(toth);
}

// --- The hand-over workflow after a failure ----------------------------------------------

TEST(HandOver, AFailedMeasuredRunLeavesNothingForTheOtherModeToMisread) {
  for (const char* dataset : {"solveq", "supcrt"}) {
    SCOPED_TRACE(dataset);
    TempDir scratch;
    const fs::path dir = kNoHandOverFile(scratch.Path());
    const fs::path sample = scratch / "sample.ini";
    WriteFile(sample, StandardSample());
    const CliResult failed = RunCli({"run", sample.string(), "--dir", dir.string(), "--dataset",
                                     dataset, "--mode", "measured", "--set", "Na="},
                                    scratch.Path());
    EXPECT_EQ(failed.status, 1);
    EXPECT_FALSE(fs::exists(dir / platform::kHandOverFileName));
    // The other mode then says the measured run is missing instead of searching for TOTH 0.
    const CliResult other = RunCli({"run", sample.string(), "--dir", dir.string(), "--dataset",
                                    dataset, "--mode", "other", "--set", "calculation=250"},
                                   scratch.Path());
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("error: the hand-over file"), std::string::npos) << other.err;
    EXPECT_NE(other.err.find("does not exist"), std::string::npos) << other.err;
    EXPECT_EQ(other.err.find("warning"), std::string::npos) << other.err;
  }
}

}  // namespace
}  // namespace geofluid
