#include "form/form1.h"

#include <utility>

#include "form/run_sequence.h"

namespace geofluid::form {

namespace {
// Label captions beside Text1 .. Text18; the analysis labels double as the sample-file keys.
constexpr std::array<std::string_view, kBoxCount + 1> kLabels = {
    "",      "SiO2", "Na",  "K",  "Ca",  "Mg",  "Fe",  "Al",       "CO3(2-)",     "SO4(2-)",
    "HS(-)", "Cl",   "NH3", "pH", "H2O", "CO2", "H2S", "計算温度", "蒸気分離温度"};

}  // namespace

std::string_view BoxLabel(int box) {
  if (box < 1 || box > kBoxCount) return {};
  return kLabels[static_cast<std::size_t>(box)];
}

std::string_view BoxKey(int box) {
  if (box == kCalculationBox) return "calculation";
  if (box == kSeparationBox) return "separation";
  return BoxLabel(box);
}

std::optional<int> BoxForKey(std::string_view key) {
  for (int box = 1; box <= kAnalysisBoxes; ++box)
    if (key == kLabels[static_cast<std::size_t>(box)]) return box;
  if (key == "calculation") return kCalculationBox;
  if (key == "separation") return kSeparationBox;
  return std::nullopt;
}

Form1::Form1(platform::Platform& platform, std::filesystem::path data_directory)
    : platform_(platform), data_directory_(std::move(data_directory)) {}

void Form1::LockAnalysisBoxes(bool locked) {
  for (int box = 1; box <= kAnalysisBoxes; ++box) {
    Text(box).enabled = !locked;
    Text(box).back_color = locked ? kLockedColour : kWhite;
  }
}

// R1
void Form1::Option1_Click() {
  option1_ = true;
  option2_ = false;
  LockAnalysisBoxes(false);
  check1_ = 1;
}

// R2
void Form1::Option2_Click() {
  option2_ = true;
  option1_ = false;
  LockAnalysisBoxes(true);
}

// R3: in the measured mode the steam correction stays off whatever the user does.
void Form1::Check1_Click() { check1_ = option1_ ? 1 : 1 - check1_; }

void Form1::Command1_Click() { Run(thermo::DatasetId::kSolveq); }
void Form1::Command2_Click() { Run(thermo::DatasetId::kSupcrt); }

void Form1::SetMousePointer(int pointer) {
  mouse_pointer_ = pointer;
  platform_.SetMousePointer(pointer);
}

void Form1::Run(thermo::DatasetId dataset) { last_run_ = RunCalculation(*this, dataset); }

}  // namespace geofluid::form
