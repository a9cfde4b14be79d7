#pragma once

#include <QWidget>
#include <utility>

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
  SaturationPanel(const engine::Evaluation& evaluation, const QString& caption,
                  std::pair<double, double> si_range = {0.0, 0.0}, QWidget* parent = nullptr);

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
