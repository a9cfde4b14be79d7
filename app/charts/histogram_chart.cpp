#include <QAreaSeries>
#include <QLineSeries>
#include <algorithm>
#include <cmath>

#include "chart_items.h"
#include "charts.h"

namespace geofluid::charts {
namespace {

using namespace detail;

double Quantile(const std::vector<double>& sorted, double q) {
  const double at = q * static_cast<double>(sorted.size() - 1);
  const auto i = static_cast<std::size_t>(std::floor(at));
  const std::size_t j = std::min(i + 1, sorted.size() - 1);
  return sorted[i] + (at - static_cast<double>(i)) * (sorted[j] - sorted[i]);
}

class HistogramFigure : public Figure {
 public:
  explicit HistogramFigure(const HistogramData& data) {
    title_ = new Title(Text(data.title));
    scene_.addItem(title_);
    chart_ = NewChart(QString());

    std::vector<double> values;
    for (double v : data.values) {
      if (std::isfinite(v)) values.push_back(v);
    }
    std::sort(values.begin(), values.end());
    double low = values.empty() ? 0.0 : values.front();
    double high = values.empty() ? 1.0 : values.back();
    int bins = data.bins;
    if (bins <= 0) {
      // Freedman & Diaconis (1981): width 2 IQR n^(-1/3); Sturges where the IQR is zero.
      const double iqr = values.size() > 1 ? Quantile(values, 0.75) - Quantile(values, 0.25) : 0;
      const double n = static_cast<double>(values.size());
      bins = iqr > 0 ? static_cast<int>(std::ceil((high - low) / (2.0 * iqr * std::cbrt(1.0 / n))))
                     : static_cast<int>(std::ceil(std::log2(std::max(n, 1.0)) + 1.0));
      bins = std::clamp(bins, 5, 80);
    }
    if (!(high > low)) {
      low -= 0.5;
      high += 0.5;
    }
    const double width = (high - low) / bins;
    std::vector<int> counts(bins, 0);
    for (double v : values) {
      counts[std::min(bins - 1, static_cast<int>((v - low) / width))] += 1;
    }

    auto* ax = new QValueAxis;
    auto* ay = new QValueAxis;
    ax->setTitleText(Text(data.x_title));
    ay->setTitleText(QStringLiteral("count"));
    for (QValueAxis* a : {ax, ay}) {
      a->setLabelsFont(ChartFont(8.5));
      a->setTitleFont(ChartFont(9.0));
      a->setMinorTickCount(0);
    }
    double x_low = low, x_high = high;
    for (const Marker& m : data.markers) {
      if (std::isfinite(m.x)) {
        x_low = std::min(x_low, m.x);
        x_high = std::max(x_high, m.x);
      }
    }
    const double pad = 0.03 * (x_high - x_low);
    SetNiceRange(ax, x_low - pad, x_high + pad, 8);
    const int top = counts.empty() ? 1 : *std::max_element(counts.begin(), counts.end());
    // Head room for the markers' labels above the bars.
    const int rows = static_cast<int>(data.markers.size());
    SetNiceRange(ay, 0.0, std::max(1.0, top * (1.0 + 0.09 * std::min(rows, 8))), 5);
    chart_->addAxis(ax, Qt::AlignBottom);
    chart_->addAxis(ay, Qt::AlignLeft);
    y_axis_ = ay;

    // An area series does not own its boundary lines: they are its children here.
    auto* area = new QAreaSeries;
    auto* outline = new QLineSeries(area);
    auto* base = new QLineSeries(area);
    for (int i = 0; i < bins; ++i) {
      const double a = low + i * width, b = low + (i + 1) * width;
      outline->append(a, 0.0);
      outline->append(a, counts[i]);
      outline->append(b, counts[i]);
      outline->append(b, 0.0);
      base->append(a, 0.0);
      base->append(a, 0.0);
      base->append(b, 0.0);
      base->append(b, 0.0);
    }
    area->setUpperSeries(outline);
    area->setLowerSeries(base);
    area->setBrush(QColor(0x9e, 0xc5, 0xe8));
    area->setPen(QPen(QColor(0x1f, 0x4e, 0x79), 1.0));
    chart_->addSeries(area);
    area->attachAxis(ax);
    area->attachAxis(ay);

    std::vector<Marker> markers;
    for (const Marker& m : data.markers) {
      if (std::isfinite(m.x)) markers.push_back(m);
    }
    std::sort(markers.begin(), markers.end(),
              [](const Marker& a, const Marker& b) { return a.x < b.x; });
    for (std::size_t i = 0; i < markers.size(); ++i) {
      auto* line = new QLineSeries;
      line->append(markers[i].x, 0.0);
      line->append(markers[i].x, ay->max());
      QPen pen = PenFor(static_cast<int>(i) + 1, 1.8);  // the bars take the first colour's hue
      line->setPen(pen);
      chart_->addSeries(line);
      line->attachAxis(ax);
      line->attachAxis(ay);
      auto* label = new BoxedText(Text(markers[i].label) + "  " + Celsius(markers[i].x),
                                  ChartFont(8.5), pen.color().darker(130), chart_);
      marks_.push_back({markers[i].x, line, label});
    }
    scene_.addItem(chart_);
  }

 protected:
  void Layout(QSizeF size) override {
    const double title_height = title_->Height();
    title_->setGeometry(QRectF(0, 0, size.width(), title_height));
    chart_->setGeometry(QRectF(0, title_height, size.width(), size.height() - title_height));
    LayOutNow(chart_);
    PlaceMarkLabels(chart_, y_axis_->max(), marks_);
  }

 private:
  Title* title_ = nullptr;
  QChart* chart_ = nullptr;
  QValueAxis* y_axis_ = nullptr;
  std::vector<Mark> marks_;
};

}  // namespace

std::unique_ptr<Figure> Histogram(const HistogramData& data) {
  return std::make_unique<HistogramFigure>(data);
}

}  // namespace geofluid::charts
