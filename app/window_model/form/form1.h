#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "form/calculation.h"
#include "platform/platform.h"
#include "thermo/catalogue.h"

namespace geofluid::form {

inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kLockedColour = 0x8000000F;  // the system's button-face colour

inline constexpr int kBoxCount = 18;

struct TextBox {
  std::string text;
  bool enabled = true;
  std::uint32_t back_color = kWhite;
};

// Caption of the label beside each box: "SiO2" for Text1 ... "蒸気分離温度" for Text18.
std::string_view BoxLabel(int box);
// The sample files' key of a box: its label, "calculation" for Text17 and "separation" for
// Text18.
std::string_view BoxKey(int box);
// 1..18 for a label text of the sample files ("SiO2", ..., "H2S", "calculation",
// "separation"); nullopt for anything else.
std::optional<int> BoxForKey(std::string_view key);

// What the last run did, for the front ends and tests.
struct RunOutcome {
  bool completed = false;  // the report was written and the closing message shown
  std::string error;       // the message of a run that stopped, empty otherwise
  int non_convergences = 0;
  std::filesystem::path report_path;
  // The typed result once the calculation has succeeded (also when writing the report failed
  // afterwards), for a view of the results; never read back from the report file.
  std::shared_ptr<const CalculationResult> result;
};

// The window's model: the controls' own state and the events of the window. It draws nothing;
// the command line and the desktop window both drive it.
class Form1 {
 public:
  Form1(platform::Platform& platform, std::filesystem::path data_directory);

  // Text1 .. Text18.
  TextBox& Text(int box) { return boxes_.at(static_cast<std::size_t>(box - 1)); }
  const TextBox& Text(int box) const { return boxes_.at(static_cast<std::size_t>(box - 1)); }

  bool Option1Value() const { return option1_; }
  bool Option2Value() const { return option2_; }
  int Check1Value() const { return check1_; }
  int MousePointer() const { return mouse_pointer_; }

  // A click selects the option button (and clears the other) and runs its rule.
  void Option1_Click();
  void Option2_Click();
  // A click toggles the check box and runs rule R3.
  void Check1_Click();
  // One calculation run with the SOLVEQ and the SUPCRT98 dataset.
  void Command1_Click();
  void Command2_Click();

  const std::filesystem::path& DataDirectory() const { return data_directory_; }
  const RunOutcome& LastRun() const { return last_run_; }

  // Used by the run: the pointer goes through the platform.
  void SetMousePointer(int pointer);
  platform::Platform& Platform() { return platform_; }

 private:
  void Run(thermo::DatasetId dataset);
  // Text1 .. Text16: disabled and button-face when locked, enabled and white otherwise.
  void LockAnalysisBoxes(bool locked);

  platform::Platform& platform_;
  std::filesystem::path data_directory_;
  std::array<TextBox, kBoxCount> boxes_;
  bool option1_ = false;
  bool option2_ = false;
  int check1_ = 0;
  int mouse_pointer_ = platform::kDefaultPointer;
  RunOutcome last_run_;
};

}  // namespace geofluid::form
