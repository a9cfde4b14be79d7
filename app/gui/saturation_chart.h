#pragma once

#include <QWidget>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"

class QChartView;
class QStandardItemModel;
class QLabel;

namespace geofluid::gui {

// One evaluation's saturation state: the pH, ionic strength, charge balance and TOTH over the
// SI of every mineral as horizontal bars, highest on top, with the zero line; the minerals'
// numbers go to CSV with the chart's PNG and SVG.
class SaturationPanel : public QWidget {
  Q_OBJECT

 public:
  // `si_range`: the SI axis spans at least this, so that panels side by side share a scale.
  // `rows`: the minerals top to bottom by common name (or any spelling), so that panels side by
  // side put the same mineral on the same line; one this dataset lacks is an empty line. Empty:
  // this evaluation's minerals, highest SI on top.
  SaturationPanel(const engine::Evaluation& evaluation, const QString& caption,
                  std::pair<double, double> si_range = {0.0, 0.0},
                  const std::vector<std::string>& rows = {}, QWidget* parent = nullptr);

  QChartView* View() const { return view_; }
  // Mineral, log K, log IAP, SI, in the order of the bars from the top.
  const QStandardItemModel& Minerals() const { return *minerals_; }
  QLabel* Summary() const { return summary_; }

 private:
  QChartView* view_ = nullptr;
  QStandardItemModel* minerals_ = nullptr;
  QLabel* summary_ = nullptr;
};

}  // namespace geofluid::gui
