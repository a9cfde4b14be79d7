#include <QAreaSeries>
#include <QCategoryAxis>
#include <QLineSeries>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "chart_items.h"
#include "charts.h"

namespace geofluid::charts {
namespace {

using namespace detail;

struct Range {
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  void Add(double v) {
    if (!std::isfinite(v)) return;
    low = std::min(low, v);
    high = std::max(high, v);
  }
  bool Valid() const { return low <= high; }
};

QLineSeries* LineOf(const std::vector<double>& x, const std::vector<double>& y) {
  auto* s = new QLineSeries;
  const std::size_t n = std::min(x.size(), y.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (std::isfinite(x[i]) && std::isfinite(y[i])) s->append(x[i], y[i]);
  }
  return s;
}

QAreaSeries* BandOf(const Band& band, QColor color) {
  // An area series does not own its boundary lines: they are its children here.
  auto* area = new QAreaSeries;
  auto* upper = new QLineSeries(area);
  auto* lower = new QLineSeries(area);
  const std::size_t n = std::min({band.x.size(), band.low.size(), band.high.size()});
  for (std::size_t i = 0; i < n; ++i) {
    if (std::isfinite(band.x[i]) && std::isfinite(band.low[i]) && std::isfinite(band.high[i])) {
      upper->append(band.x[i], band.high[i]);
      lower->append(band.x[i], band.low[i]);
    }
  }
  area->setUpperSeries(upper);
  area->setLowerSeries(lower);
  color.setAlpha(55);
  area->setBrush(color);
  area->setPen(Qt::NoPen);
  return area;
}

// A panel: its charts and where the estimate's label goes.
struct PanelCharts {
  QChart* main = nullptr;
  QChart* statistics = nullptr;
  QValueAxis* main_y = nullptr;
  std::vector<Mark> marks;  // the estimate first, so that it takes the top row
};

class SiFigure : public Figure {
 public:
  explicit SiFigure(const SiTemperatureData& data) {
    title_ = new Title(Text(data.title));
    scene_.addItem(title_);

    // One colour per mineral label across the panels, so that QUARTZ is the same line in both.
    std::map<std::string, int> colour;
    std::vector<Legend::Entry> entries;
    Range x, y;
    bool any_statistics = false;
    for (const SiPanel& p : data.panels) {
      for (const Curve& c : p.minerals) {
        if (colour.emplace(c.label, static_cast<int>(colour.size())).second) {
          entries.push_back({Text(c.label), PenFor(colour[c.label]), {}});
        }
        for (double v : c.x) x.Add(v);
        for (double v : c.y) y.Add(v);
      }
      for (const Band& b : p.bands) {
        for (double v : b.x) x.Add(v);
        for (double v : b.low) y.Add(v);
        for (double v : b.high) y.Add(v);
      }
      if (p.estimate) x.Add(*p.estimate);
      for (const Marker& m : p.markers) x.Add(m.x);
      any_statistics = any_statistics || p.rms || p.median || !p.statistic_bands.empty();
    }
    y.Add(0.0);
    if (!x.Valid()) x.Add(0.0), x.Add(300.0);
    // Bands without a curve of their own name get an entry of their own.
    for (const SiPanel& p : data.panels) {
      for (const Band& b : p.bands) {
        if (colour.count(b.label) == 0) {
          colour.emplace(b.label, static_cast<int>(colour.size()));
          QColor fill = PaletteColor(colour[b.label]);
          fill.setAlpha(55);
          entries.push_back({Text(b.label), {}, fill});
        }
      }
    }
    bool rms_entry = false, median_entry = false, band_entry = false;
    const QPen rms_pen(Qt::black, 2.0);
    QPen median_pen(QColor(0x55, 0x55, 0x55), 2.0, Qt::DashLine);
    QPen marker_pen(QColor(0xb2, 0x18, 0x2b), 1.5, Qt::DashDotLine);
    QPen other_pen(QColor(0x44, 0x44, 0x44), 1.0, Qt::DotLine);
    QPen zero_pen(QColor(0x33, 0x33, 0x33), 1.0);

    for (const SiPanel& p : data.panels) {
      PanelCharts pc;
      pc.main = NewChart(Text(p.title));
      auto* ax = new QValueAxis;
      QValueAxis* ay = new QCategoryAxis;  // named ticks: no "-0.0"
      // With the statistics underneath, their axis carries the title.
      if (!any_statistics) ax->setTitleText(QStringLiteral("Temperature (°C)"));
      ay->setTitleText(data.y_title.empty() ? QStringLiteral("log(Q/K)") : Text(data.y_title));
      for (QValueAxis* a : {ax, ay}) {
        a->setLabelsFont(ChartFont(8.5));
        a->setTitleFont(ChartFont(9.0));
        a->setMinorTickCount(0);
      }
      SetNiceRange(ax, x.low, x.high, 8, false);
      const double pad = 0.04 * (y.high - y.low);
      SetNiceRange(ay, y.low - pad, y.high + pad, 8);
      pc.main->addAxis(ax, Qt::AlignBottom);
      pc.main->addAxis(ay, Qt::AlignLeft);
      pc.main_y = ay;
      auto attach = [&](QChart* chart, QAbstractSeries* s, QValueAxis* sx, QValueAxis* sy) {
        chart->addSeries(s);
        s->attachAxis(sx);
        s->attachAxis(sy);
      };
      for (const Band& b : p.bands)
        attach(pc.main, BandOf(b, PaletteColor(colour[b.label])), ax, ay);
      auto* zero = LineOf({ax->min(), ax->max()}, {0.0, 0.0});
      zero->setPen(zero_pen);
      attach(pc.main, zero, ax, ay);
      for (const Curve& c : p.minerals) {
        QLineSeries* s = LineOf(c.x, c.y);
        s->setName(Text(c.label));
        s->setPen(PenFor(colour[c.label]));
        attach(pc.main, s, ax, ay);
      }
      if (p.estimate) {
        QLineSeries* line = LineOf({*p.estimate, *p.estimate}, {ay->min(), ay->max()});
        line->setPen(marker_pen);
        attach(pc.main, line, ax, ay);
        const QString text = (p.estimate_label.empty() ? QString() : Text(p.estimate_label) + " ") +
                             Celsius(*p.estimate);
        pc.marks.push_back(
            {*p.estimate, line,
             new BoxedText(text, ChartFont(9.0, true), marker_pen.color(), pc.main)});
      }
      for (const Marker& m : p.markers) {
        if (!std::isfinite(m.x)) continue;
        QLineSeries* line = LineOf({m.x, m.x}, {ay->min(), ay->max()});
        line->setPen(other_pen);
        attach(pc.main, line, ax, ay);
        pc.marks.push_back({m.x, line,
                            new BoxedText(Text(m.label) + " " + Celsius(m.x), ChartFont(8.5),
                                          QColor(0x44, 0x44, 0x44), pc.main)});
      }
      scene_.addItem(pc.main);

      if (any_statistics) {
        pc.statistics = NewChart(QString());
        auto* sx = new QValueAxis;
        QValueAxis* sy = new QCategoryAxis;
        sx->setTitleText(QStringLiteral("Temperature (°C)"));
        // No title on this short axis: it would be cut; the legend names the two lines.
        for (QValueAxis* a : {sx, sy}) {
          a->setLabelsFont(ChartFont(8.5));
          a->setTitleFont(ChartFont(9.0));
          a->setMinorTickCount(0);
          // A short panel leaves the labels less height than Qt asks for, and it would print
          // each as "…"; they fit in what the margins give.
          a->setTruncateLabels(false);
        }
        SetNiceRange(sx, x.low, x.high, 8, false);
        Range sr;
        sr.Add(0.0);
        for (const std::optional<Curve>* c : {&p.rms, &p.median}) {
          if (*c) {
            for (double v : (*c)->y) sr.Add(v);
          }
        }
        for (const Band& b : p.statistic_bands) {
          for (double v : b.low) sr.Add(v);
          for (double v : b.high) sr.Add(v);
        }
        SetNiceRange(sy, sr.low, sr.high, 2);
        pc.statistics->addAxis(sx, Qt::AlignBottom);
        pc.statistics->addAxis(sy, Qt::AlignLeft);
        for (const Band& b : p.statistic_bands) {
          attach(pc.statistics, BandOf(b, QColor(0x55, 0x55, 0x55)), sx, sy);
          band_entry = true;
        }
        auto* szero = LineOf({sx->min(), sx->max()}, {0.0, 0.0});
        szero->setPen(zero_pen);
        attach(pc.statistics, szero, sx, sy);
        if (p.rms) {
          QLineSeries* s = LineOf(p.rms->x, p.rms->y);
          s->setPen(rms_pen);
          attach(pc.statistics, s, sx, sy);
          rms_entry = true;
        }
        if (p.median) {
          QLineSeries* s = LineOf(p.median->x, p.median->y);
          s->setPen(median_pen);
          attach(pc.statistics, s, sx, sy);
          median_entry = true;
        }
        if (p.estimate) {
          QLineSeries* m = LineOf({*p.estimate, *p.estimate}, {sy->min(), sy->max()});
          m->setPen(marker_pen);
          attach(pc.statistics, m, sx, sy);
        }
        scene_.addItem(pc.statistics);
      }
      panels_.push_back(pc);
    }
    if (rms_entry) entries.push_back({QStringLiteral("RMS of log(Q/K)"), rms_pen, {}});
    if (median_entry) entries.push_back({QStringLiteral("median of log(Q/K)"), median_pen, {}});
    if (band_entry) {
      entries.push_back(
          {QStringLiteral("5-95 % of the statistics"), {}, QColor(0x55, 0x55, 0x55, 55)});
    }
    if (std::any_of(data.panels.begin(), data.panels.end(),
                    [](const SiPanel& p) { return p.estimate.has_value(); })) {
      entries.push_back(
          {data.estimate_legend.empty() ? QStringLiteral("estimate") : Text(data.estimate_legend),
           marker_pen,
           {}});
    }
    if (std::any_of(data.panels.begin(), data.panels.end(),
                    [](const SiPanel& p) { return !p.markers.empty(); })) {
      entries.push_back({QStringLiteral("marked temperatures"), other_pen, {}});
    }
    legend_ = new Legend(std::move(entries));
    scene_.addItem(legend_);
  }

 protected:
  static constexpr double kTitledStatisticsHeight = 140.0;

  void Layout(QSizeF size) override {
    const double margin = 6.0;
    const double title_height = title_->Height();
    title_->setGeometry(QRectF(0, 0, size.width(), title_height));
    const double legend_height = legend_->HeightFor(size.width());
    legend_->setGeometry(
        QRectF(0, size.height() - legend_height - margin, size.width(), legend_height));
    const double top = title_height + margin;
    const double body = std::max(50.0, size.height() - legend_height - top - 2 * margin);
    const int n = std::max<int>(1, static_cast<int>(panels_.size()));
    const double width = (size.width() - 2 * margin) / n;
    for (int i = 0; i < static_cast<int>(panels_.size()); ++i) {
      PanelCharts& pc = panels_[i];
      const double left = margin + i * width;
      const double main_height =
          pc.statistics ? body - std::clamp(body * 0.3, std::min(110.0, body / 2), 200.0) : body;
      pc.main->setGeometry(QRectF(left, top, width, main_height));
      LayOutNow(pc.main);
      if (pc.statistics) {
        const double height = body - main_height;
        // A short lower panel cannot hold the temperature title under its labels (Qt would print
        // "…"): the title then goes under the panel above.
        const bool room = height >= kTitledStatisticsHeight;
        for (QAbstractAxis* a : pc.statistics->axes(Qt::Horizontal)) a->setTitleVisible(room);
        for (QAbstractAxis* a : pc.main->axes(Qt::Horizontal)) {
          a->setTitleText(QStringLiteral("Temperature (°C)"));
          a->setTitleVisible(!room);
        }
        LayOutNow(pc.main);
        const QMargins house(4, 4, 8, 4);
        pc.statistics->setMargins(house);
        pc.statistics->setGeometry(QRectF(left, top + main_height, width, height));
        LayOutNow(pc.statistics);
        // The same temperature scale as the panel above: widen the margins by what the plot
        // areas differ (both charts start at `left`; their axis labels differ in width).
        const QRectF above = pc.main->plotArea();
        const QRectF own = pc.statistics->plotArea();
        const int extra_left =
            std::max(0, static_cast<int>(std::lround(above.left() - own.left())));
        const int extra_right =
            std::max(0, static_cast<int>(std::lround(own.right() - above.right())));
        pc.statistics->setMargins(house + QMargins(extra_left, 0, extra_right, 0));
        LayOutNow(pc.statistics);
      }
      PlaceMarkLabels(pc.main, pc.main_y->max(), pc.marks);
    }
  }

 private:
  Title* title_ = nullptr;
  Legend* legend_ = nullptr;
  std::vector<PanelCharts> panels_;
};

}  // namespace

std::unique_ptr<Figure> SiTemperatureChart(const SiTemperatureData& data) {
  return std::make_unique<SiFigure>(data);
}

}  // namespace geofluid::charts
