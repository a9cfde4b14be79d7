#pragma once

#include <QFutureWatcher>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "engine/engine.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace geofluid::charts {
class Figure;
}

namespace geofluid::gui {

// From the reservoir to the reinjection well for one sample: the design chart (SI of amorphous
// silica and calcite against the separation and reinjection temperatures), the pH and gases on
// the boiling path, and the answer in words, with both datasets. The path is computed by the
// scaling library off the GUI thread.
class ScalingTab : public QWidget {
  Q_OBJECT

 public:
  explicit ScalingTab(QWidget* parent = nullptr);
  ~ScalingTab() override;

  // The sample whose pH was measured at its ph_temperature; nullopt with the reason when there
  // is none. A new sample clears the pictures.
  void SetSample(std::optional<engine::Sample> sample, const QString& reason);
  // Evaluates the path with the options in the controls; a mistake in them is shown in the
  // status line.
  void Calculate();
  bool Running() const;

  // The answer in words of the last calculation, one line per dataset.
  QString Answer() const;
  QString Status() const;
  QWidget* DesignChart() const { return design_; }
  QWidget* BoilingChart() const { return boiling_; }
  // The design chart and the boiling path, one tab each.
  QTabWidget* Charts() const { return charts_; }

 signals:
  void Finished();

 private:
  struct Outcome;
  void Done();
  void ClearCharts();
  // The design chart to `path` and the boiling path beside it; what went wrong, or empty.
  QString SaveCharts(const QString& path);

  std::optional<engine::Sample> sample_;
  std::shared_ptr<engine::ConditionsCache> cache_;
  QComboBox* reservoir_ = nullptr;
  QLineEdit* separation_ = nullptr;
  QCheckBox* stages_ = nullptr;
  QLineEdit* cooling_ = nullptr;
  QComboBox* degassing_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* save_png_ = nullptr;
  QPushButton* save_svg_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* answer_ = nullptr;
  QTabWidget* charts_ = nullptr;
  QWidget* design_ = nullptr;
  QWidget* boiling_ = nullptr;
  charts::Figure* design_figure_ = nullptr;   // owned by design_
  charts::Figure* boiling_figure_ = nullptr;  // owned by boiling_
  QFutureWatcher<std::shared_ptr<Outcome>> watcher_;
};

}  // namespace geofluid::gui
