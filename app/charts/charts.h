#pragma once

// Charts of the reservoir-temperature work, drawn with Qt Charts and QPainter into a
// QGraphicsScene: saved off screen as PNG or SVG by the command line, shown in the window.
// Plain data in; a QApplication must exist (RenderingApplication makes one where none does).

#include <QGraphicsScene>
#include <QSizeF>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QApplication;

namespace geofluid::charts {

struct Curve {
  std::string label;
  std::vector<double> x, y;  // points with a non-finite coordinate are left out
};

// A shaded range, e.g. the 5-95 % band of a mineral's log(Q/K) from the uncertainty work.
// A band whose label is that of a curve takes the curve's colour.
struct Band {
  std::string label;
  std::vector<double> x, low, high;
};

struct Marker {
  std::string label;
  double x = 0.0;
};

// One dataset's panel of log(Q/K) against temperature.
struct SiPanel {
  std::string title;               // "SOLVEQ", "SUPCRT98"
  std::vector<Curve> minerals;     // log(Q/K) per mineral
  std::vector<Band> bands;         // optional
  std::optional<double> estimate;  // °C, marked with a vertical line and its value
  std::string estimate_label;      // e.g. "RMS"; the value is appended
  // Further temperatures marked more lightly with their values, e.g. the other estimates or
  // the solute geothermometers.
  std::vector<Marker> markers;
  // The statistics over the mineral set, drawn in a small panel under the main one when given.
  std::optional<Curve> rms;
  std::optional<Curve> median;
  std::vector<Band> statistic_bands;
};

struct SiTemperatureData {
  std::string title;
  std::vector<SiPanel> panels;  // side by side, sharing the log(Q/K) axis
};

// A point of the Na/1000 - K/100 - sqrt(Mg) triangle, percent of the sum.
struct TernaryPoint {
  double na = 0.0, k = 0.0, mg = 0.0;
};

struct TernaryTemperaturePoint {
  double celsius = 0.0;
  TernaryPoint point;
};

struct TernarySample {
  std::string label;
  TernaryPoint point;
};

struct GiggenbachData {
  std::string title;
  // The full-equilibrium line, ascending in temperature; points whose temperature is a
  // multiple of `label_step` get a tick and their temperature.
  std::vector<TernaryTemperaturePoint> full_equilibrium;
  double label_step = 20.0;
  std::vector<TernaryPoint> partial_equilibrium;  // the MI = 2.0 boundary
  std::vector<TernarySample> samples;
};

struct HistogramData {
  std::string title;
  std::string x_title;         // "Temperature (°C)"
  std::vector<double> values;  // non-finite values are left out
  int bins = 0;                // 0: the Freedman-Diaconis rule
  std::vector<Marker> markers;
};

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
