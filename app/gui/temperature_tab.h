#pragma once

#include <QFutureWatcher>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QHBoxLayout;
class QLabel;
class QListWidget;
class QPushButton;
class QStandardItemModel;
class QSpinBox;
class QTableView;
class QVBoxLayout;

namespace geofluid::charts {
class Figure;
}

namespace geofluid::gui {

// The temperature picture of one sample: log(Q/K) of the chosen minerals against temperature
// with both datasets side by side, the multicomponent estimate marked, and the solute
// geothermometers. Computed off the GUI thread when asked for.
class TemperatureTab : public QWidget {
  Q_OBJECT

 public:
  explicit TemperatureTab(QWidget* parent = nullptr);
  ~TemperatureTab() override;

  // The sample whose pH was measured at its ph_temperature; nullopt with the reason when the
  // runs so far give none. A new sample clears the picture.
  void SetSample(std::optional<engine::Sample> sample, const QString& reason);
  // Sweeps and estimates with the minerals checked in the picker.
  void Calculate();
  bool Running() const;

  const QStandardItemModel& Estimates() const { return *estimates_; }
  // The checked minerals by common name ("albite_low"); SetChecked takes any spelling.
  QStringList CheckedMinerals() const;
  void SetChecked(const QString& mineral, bool checked);
  // The mineral whose equilibrium fixes a component ("Al", "Mg", "Fe") at each temperature, by
  // any spelling; empty: the analysis as it stands.
  void SetFix(const QString& component, const QString& mineral);
  // The 5-95 % band of each mineral's log(Q/K) from Monte Carlo draws of the default errors.
  void SetBand(bool on, int draws);
  // "DATASET:MINERAL" of every curve drawn with a band by the last calculation.
  const std::vector<std::string>& BandedMinerals() const { return banded_; }
  QWidget* Chart() const { return chart_; }

 signals:
  void Finished();

 private:
  struct Outcome;
  void Done();
  void ShowChart(const Outcome& outcome);
  void FillTable(const Outcome& outcome);
  void ShowStatus(const Outcome& outcome);
  void FillPicker();
  void FillFixPickers();
  // The widgets of the constructor, each part with its layout.
  QHBoxLayout* MakeControls();
  QHBoxLayout* MakeFixPickers();
  QWidget* MakeChartPage();
  QWidget* MakeTablePage();

  std::optional<engine::Sample> sample_;
  std::shared_ptr<engine::ConditionsCache> cache_;
  QLabel* status_ = nullptr;
  QDoubleSpinBox* from_ = nullptr;
  QDoubleSpinBox* to_ = nullptr;
  QDoubleSpinBox* step_ = nullptr;
  QCheckBox* steam_correction_ = nullptr;
  QCheckBox* band_ = nullptr;
  QSpinBox* draws_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* save_png_ = nullptr;
  QPushButton* save_svg_ = nullptr;
  QListWidget* minerals_ = nullptr;
  std::array<QComboBox*, 3> fix_{};  // Al, Mg, Fe
  QStringList default_checks_;       // sorted
  QVBoxLayout* chart_box_ = nullptr;
  QWidget* chart_ = nullptr;
  charts::Figure* figure_ = nullptr;  // owned by chart_
  QStandardItemModel* estimates_ = nullptr;
  QTableView* table_ = nullptr;
  QFutureWatcher<std::shared_ptr<Outcome>> watcher_;
  std::vector<std::string> banded_;
};

}  // namespace geofluid::gui
