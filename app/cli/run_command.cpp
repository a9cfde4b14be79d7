#include <chrono>
#include <cmath>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "form/form1.h"
#include "form/number_text.h"
#include "io/text.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "sample_file.h"

namespace geofluid::cli {

namespace {
// The command line's stand-in for the window's message boxes: the closing message is the
// result and goes to stdout; everything else is a remark on stderr.
class ConsolePlatform : public platform::Platform {
 public:
  ConsolePlatform(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  void MessageBox(platform::MessageKind kind, std::string_view text) override {
    switch (kind) {
      case platform::MessageKind::kClosing:
        out_ << text << '\n' << std::flush;
        break;
      case platform::MessageKind::kNonConvergence:
        err_ << text << '\n';
        break;
      case platform::MessageKind::kError:
        err_ << "error: " << OneLine(text) << '\n';
        break;
    }
  }
  void SetMousePointer(int) override {}
  void Warning(std::string_view text) override { err_ << "warning: " << OneLine(text) << '\n'; }
  void Waiting(platform::WaitState state, std::string_view text) override {
    if (state == platform::WaitState::kStarted) err_ << "waiting: " << OneLine(text) << '\n';
  }
  std::chrono::milliseconds WaitLimit() const override { return wait_limit_; }
  void SetWaitLimit(std::chrono::milliseconds limit) { wait_limit_ = limit; }

 private:
  static std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line)
      if (c == '\n' || c == '\r') c = ' ';
    return line;
  }
  std::ostream& out_;
  std::ostream& err_;
  std::chrono::milliseconds wait_limit_ = platform::kDefaultWait;
};

struct BoxText {
  int box;
  std::string text;
};

std::string AllKeys() {
  std::string keys;
  for (int box = 1; box <= form::kBoxCount; ++box) {
    keys += (keys.empty() ? "" : ", ") + std::string(form::BoxKey(box));
  }
  return keys;
}

// --set LABEL=TEXT; nullopt with a message on `err` for a usage error.
std::optional<BoxText> ParseSet(const std::string& item, std::ostream& err) {
  const auto equals = item.find('=');
  if (equals == std::string::npos) {
    err << "error: --set " << item << ": expected LABEL=TEXT, e.g. --set pH=8.2\n";
    return std::nullopt;
  }
  const std::string label = item.substr(0, equals);
  const auto box = form::BoxForKey(label);
  if (!box) {
    err << "error: --set " << item << ": unknown label \"" << label << "\" (the labels are "
        << AllKeys() << ")\n";
    return std::nullopt;
  }
  return BoxText{*box, item.substr(equals + 1)};
}

// The tables run from 0 to 300 °C; outside them every value is an extrapolation.
void WarnOutsideTables(const form::Form1& form, std::ostream& err) {
  const auto check = [&](int box, const char* what) {
    const auto value = form::ParseNumber(form.Text(box).text);
    if (value && (*value < 0.0 || *value > 300.0))
      err << "warning: " << what << " temperature " << form.Text(box).text
          << " °C is outside 0-300 °C, values are extrapolated\n";
  };
  check(form::kCalculationBox, "calculation");
  check(form::kSeparationBox, "separation");
}

}  // namespace

CLI::App* AddRunCommand(CLI::App& app, RunOptions& options) {
  CLI::App* run = app.add_subcommand("run", "Calculate a sample and write the report");
  run->add_option("sample", options.sample, "Sample file (INI)")->required();
  AddDatasetOption(*run, options.datasets, DatasetUse::kOne);
  run->add_option("--mode", options.mode,
                  "measured (at the pH's measurement temperature: the TOTH is stored for later "
                  "runs) or other (default: the pH at the calculation temperature that gives "
                  "the stored TOTH)")
      ->check(CLI::IsMember({"measured", "other"}));
  run->add_flag("--no-steam-correction", options.no_steam_correction,
                "carry the pH without the steam correction");
  // These are collected in the order given (below), so they bind no variable.
  const auto keep = [](const CLI::results_t&) { return true; };
  const auto box_option = [run, keep](const char* name, const char* type, const char* help) {
    run->add_option(name, keep, help)
        ->type_name(type)
        ->type_size(1)
        ->expected(1, 1 << 20)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  };
  box_option("--temperature", "T", "calculation temperature, °C (the sample file's calculation)");
  box_option("--separation", "TS",
             "steam-separation temperature, °C (the sample file's separation)");
  box_option("--set", "LABEL=TEXT",
             "replace a value of the sample file by its key, e.g. pH=8.2 (repeatable). Where "
             "--temperature, --separation and --set name one value, the later on the command "
             "line wins");
  run->add_option("--dir", keep, "data directory (default $GEOFLUID_DIR or ~/HVQ98)")
      ->type_name("DIR")
      ->type_size(1);
  run->add_option("--wait", keep,
                  "seconds a run waits for another run on the same data directory before it "
                  "gives up (default $GEOFLUID_WAIT or 30)")
      ->type_name("SECONDS")
      ->type_size(1);
  run->callback([run, &options] {
    std::map<const CLI::Option*, std::size_t> seen;
    for (const CLI::Option* option : run->parse_order()) {
      const std::size_t i = seen[option]++;
      if (i >= option->results().size()) continue;
      const std::string& value = option->results()[i];
      const std::string name = option->get_name();
      if (name == "--temperature") options.sets.push_back("calculation=" + value);
      if (name == "--separation") options.sets.push_back("separation=" + value);
      if (name == "--set") options.sets.push_back(value);
      if (name == "--dir") options.dir = value;
      if (name == "--wait") options.wait = value;
    }
  });
  return run;
}

int RunRun(const RunOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<BoxText> replacements;
  for (const std::string& item : options.sets) {
    auto replacement = ParseSet(item, err);
    if (!replacement) return kUsageError;
    replacements.push_back(std::move(*replacement));
  }
  if (options.dir && options.dir->empty()) {
    err << "error: --dir: the directory name is empty\n";
    return kUsageError;
  }
  std::chrono::milliseconds wait_limit;
  try {
    if (!options.wait) {
      wait_limit = platform::DefaultWaitLimit();
    } else if (const auto limit = platform::ParseWaitLimit(*options.wait)) {
      wait_limit = *limit;
    } else {
      err << "error: --wait: \"" << *options.wait
          << "\" is not a number of seconds from 0 to 86400\n";
      return kUsageError;
    }
  } catch (const std::exception& e) {
    err << "error: " << e.what() << '\n';
    return kUsageError;
  }

  sample::SampleFile sample;
  try {
    sample = sample::LoadSample(options.sample);
  } catch (const sample::SampleError& e) {
    err << "error: " << e.what() << '\n';
    return kUsageError;
  }

  std::filesystem::path directory;
  try {
    directory =
        options.dir ? std::filesystem::path(*options.dir) : platform::DefaultDataDirectory();
  } catch (const std::exception& e) {
    err << "error: " << e.what() << '\n';
    return kRunError;
  }

  ConsolePlatform console(out, err);
  console.SetWaitLimit(wait_limit);
  form::Form1 form(console, directory);
  sample::ApplySample(sample, form);
  if (options.mode == "measured") form.Option1_Click();
  if (options.mode == "other") form.Option2_Click();
  // Set, never cleared: under Option1 it is already set and a click would leave it so anyway.
  if (options.no_steam_correction && form.Check1Value() == 0) form.Check1_Click();
  for (const BoxText& r : replacements) form.Text(r.box).text = io::Trim(r.text);
  WarnOutsideTables(form, err);

  if (options.datasets.front()->id == thermo::DatasetId::kSupcrt)
    form.Command2_Click();
  else
    form.Command1_Click();
  return form.LastRun().completed ? kOk : kRunError;
}

}  // namespace geofluid::cli
