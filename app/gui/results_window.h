#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "form/form1.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QStandardItemModel;
class QSortFilterProxyModel;
class QTabWidget;
class QTableView;
class QHBoxLayout;

namespace geofluid::gui {

// What a run read from Form1: two runs with equal inputs describe the same sample at the same
// temperature, so their results may be shown side by side.
struct RunInput {
  std::array<std::string, form::kBoxCount + 1> box{};  // Text1..Text18 at [1..18]
  bool option1 = false;
  int check1 = 0;
  friend bool operator==(const RunInput&, const RunInput&) = default;
};
RunInput InputOf(const form::Form1& model);

// The answer of the runs of Form1: the report, the saturation state, the species and the
// temperature picture of the sample, from the runs' typed results (never from the report file).
class ResultsWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ResultsWindow(QWidget* parent = nullptr);

  // Shows a run. The last run of the other dataset stays beside it while its input was the
  // same. `problem` is what went wrong after the calculation (the report not written).
  void ShowRun(std::shared_ptr<const form::CalculationResult> result, const RunInput& input,
               const QString& problem = {});

  // The result the Report and Species tabs show.
  const form::CalculationResult* Shown() const;
  QTabWidget* Tabs() const { return tabs_; }
  const QStandardItemModel& SpeciesModel() const { return *species_; }
  class TemperatureTab* Temperature() const {
    return temperature_;
  }
  class ScalingTab* Scaling() const {
    return scaling_;
  }

 private:
  struct Run {
    std::shared_ptr<const form::CalculationResult> result;
    RunInput input;
  };
  void BuildReportTab();
  void BuildSaturationTab();
  void BuildSpeciesTab();
  void FillPicker();
  void ShowDataset();
  void FillSaturation();
  void UpdateTemperature();
  // Runs of the same input as the last one, SOLVEQ first.
  std::vector<const Run*> Matching() const;

  std::array<std::optional<Run>, 2> runs_;  // [thermo::DatasetId]
  int last_ = 0;                            // the dataset of the last run
  std::optional<RunInput> measured_;        // the last run at the pH measurement temperature
  std::optional<RunInput> temperature_of_;  // the input the Temperature tab was given
  QLabel* heading_ = nullptr;
  QComboBox* picker_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QPlainTextEdit* report_ = nullptr;
  QWidget* saturation_ = nullptr;
  QHBoxLayout* saturation_row_ = nullptr;
  QStandardItemModel* species_ = nullptr;
  QSortFilterProxyModel* species_sorted_ = nullptr;
  QTableView* species_view_ = nullptr;
  class TemperatureTab* temperature_ = nullptr;
  class ScalingTab* scaling_ = nullptr;
};

// After a run of `form1`: opens the results window beside it, or updates the open one. Does
// nothing when the run produced no result.
void ShowResultsOf(QWidget& form1, const form::Form1& model);

}  // namespace geofluid::gui
