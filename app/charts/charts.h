#pragma once

// Charts of the reservoir-temperature work, drawn with Qt Charts and QPainter into a
// QGraphicsScene: saved off screen as PNG or SVG by the command line, shown in the window.
// Plain data in; a QApplication must exist (RenderingApplication makes one where none does).

#include <QGraphicsScene>
#include <QSizeF>
#include <QWidget>
#include <memory>
#include <string>

#include "chart_data.h"

class QApplication;

namespace geofluid::charts {

// A chart laid out in a scene of a given size.
class Figure {
 public:
  virtual ~Figure();
  QGraphicsScene& Scene() { return scene_; }
  // Lays the chart out for `size` (pixels at 96 dpi; an SVG keeps the same proportions).
  void Resize(QSizeF size);
  QSizeF Size() const { return size_; }

 protected:
  virtual void Layout(QSizeF size) = 0;
  QGraphicsScene scene_;

 private:
  QSizeF size_;
};

std::unique_ptr<Figure> SiTemperatureChart(const SiTemperatureData& data);
std::unique_ptr<Figure> GiggenbachTriangle(const GiggenbachData& data);
std::unique_ptr<Figure> Histogram(const HistogramData& data);

// Writes the figure laid out at width x height to `path`: PNG or SVG by the extension (.png,
// .svg, any case). Returns an empty string on success, else what went wrong with which file.
std::string Save(Figure& figure, const std::string& path, int width, int height);

// A widget showing the figure, which it owns and lays out to its own size.
QWidget* MakeView(std::unique_ptr<Figure> figure, QWidget* parent = nullptr);

// For programs without a window: makes a QApplication on the offscreen platform (unless
// QT_QPA_PLATFORM says otherwise) when none exists yet. Create one in main() before charting.
class RenderingApplication {
 public:
  RenderingApplication();
  ~RenderingApplication();
  RenderingApplication(const RenderingApplication&) = delete;
  RenderingApplication& operator=(const RenderingApplication&) = delete;

 private:
  int argc_ = 1;
  char name_[16] = "geofluid";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

}  // namespace geofluid::charts
