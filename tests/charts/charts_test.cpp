#include "charts.h"

#include <gtest/gtest.h>

#include <QAbstractAxis>
#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLineSeries>
#include <QSvgRenderer>
#include <QValueAxis>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <random>

#include "chart_items.h"
#include "geothermometry/giggenbach.h"

namespace geofluid::charts {
namespace {

const char* const kMinerals[] = {"QUARTZ",      "LOW-ALBITE",   "MICROCLINE", "MUSCOVITE",
                                 "CLINOCHLORE", "CLINOZOISITE", "PREHNITE",   "WAIRAKITE",
                                 "LAUMONTITE",  "CALCITE",      "ANHYDRITE"};

// Straight-ish log(Q/K) curves crossing zero near `centre`, one per mineral, and their RMS and
// median.
SiPanel Panel(const std::string& title, double centre, double spread) {
  SiPanel p;
  p.title = title;
  std::vector<double> t;
  for (double x = 100; x <= 300; x += 5) t.push_back(x);
  std::vector<std::vector<double>> ys;
  int i = 0;
  for (const char* name : kMinerals) {
    Curve c{name, t, {}};
    const double zero = centre + spread * std::sin(1.7 * i);
    const double slope = -(0.01 + 0.004 * (i % 4)) * (i % 3 == 0 ? -1 : 1);
    for (double x : t) c.y.push_back(slope * (x - zero) + 0.1 * std::sin(x / 17.0 + i));
    ys.push_back(c.y);
    if (i < 2) {
      Band b{name, t, {}, {}};
      for (double y : c.y) {
        b.low.push_back(y - 0.25);
        b.high.push_back(y + 0.25);
      }
      p.bands.push_back(b);
    }
    p.minerals.push_back(std::move(c));
    ++i;
  }
  Curve rms{"RMS", t, {}}, median{"median", t, {}};
  for (std::size_t k = 0; k < t.size(); ++k) {
    std::vector<double> at;
    double sum = 0;
    for (const auto& y : ys) {
      at.push_back(y[k]);
      sum += y[k] * y[k];
    }
    std::sort(at.begin(), at.end());
    rms.y.push_back(std::sqrt(sum / at.size()));
    median.y.push_back(at[at.size() / 2]);
  }
  const auto best = std::min_element(rms.y.begin(), rms.y.end()) - rms.y.begin();
  p.estimate = t[best];
  p.estimate_label = "RMS";
  // Close to the estimate and to each other: their labels must stack.
  p.markers = {{"median", t[best] + 3.0}, {"mean", t[best] - 4.0}, {"SD", t[best] + 11.0}};
  p.rms = rms;
  p.median = median;
  return p;
}

SiTemperatureData SiData() {
  return {"Synthetic log(Q/K) curves against temperature",
          {Panel("SOLVEQ", 235.0, 25.0), Panel("SUPCRT98", 250.0, 35.0)}};
}

GiggenbachData TriangleData() {
  GiggenbachData d;
  d.title = "Na-K-Mg (Giggenbach 1988)";
  for (const auto& p : geothermometry::FullEquilibriumLine(100.0, 340.0, 5.0)) {
    d.full_equilibrium.push_back({p.celsius, {p.point.na, p.point.k, p.point.mg}});
  }
  for (const auto& p : geothermometry::PartialEquilibriumBoundary()) {
    d.partial_equilibrium.push_back({p.na, p.k, p.mg});
  }
  struct W {
    const char* id;
    double na, k, mg;
  };
  for (const W& w : {W{"W-1", 1000, 150, 0.05}, W{"W-2", 1010, 152, 0.06}, W{"W-3", 800, 60, 2.0},
                     W{"spring", 120, 12, 15.0}, W{"W-5", 5000, 900, 0.01}}) {
    const auto p = geothermometry::TrianglePoint(w.na, w.k, w.mg);
    d.samples.push_back({w.id, {p->na, p->k, p->mg}});
  }
  return d;
}

HistogramData HistogramOf() {
  HistogramData h;
  h.title = "Estimated reservoir temperature, 2000 draws";
  h.x_title = "Temperature (°C)";
  std::mt19937 random(11);
  std::normal_distribution<double> normal(236.0, 9.0);
  for (int i = 0; i < 2000; ++i) h.values.push_back(normal(random));
  h.values.push_back(NAN);  // left out, not drawn at 0
  h.markers = {{"quartz", 232.7},
               {"quartz, steam loss", 210.3},
               {"chalcedony", 221.1},
               {"Na/K Truesdell", 235.8},
               {"Na/K Fournier", 254.4},
               {"Na/K Arnórsson", 240.4},
               {"Na/K Giggenbach", 266.9},
               {"Na-K-Ca", 258.6},
               {"K-Mg", 255.2}};
  return h;
}

// A written PNG is an image of the asked size with a drawing on it; an SVG parses.
void ExpectImages(Figure& figure, const std::string& name) {
  for (const char* ext : {".png", ".svg"}) {
    const std::string path = name + ext;
    ASSERT_EQ(Save(figure, path, 1200, 720), "") << path;
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    EXPECT_GT(file.size(), 2000) << path;
  }
  const QImage png(QString::fromStdString(name + ".png"));
  ASSERT_FALSE(png.isNull());
  EXPECT_EQ(png.size(), QSize(1200, 720));
  int ink = 0;
  for (int y = 0; y < png.height(); y += 3) {
    for (int x = 0; x < png.width(); x += 3) ink += png.pixelColor(x, y) != QColor(Qt::white);
  }
  EXPECT_GT(ink, 2000) << name;
  QSvgRenderer svg(QString::fromStdString(name + ".svg"));
  EXPECT_TRUE(svg.isValid()) << name;
}

// Every line lies inside its axes, and no two boxed labels overlap or leave the figure.
void ExpectReadable(Figure& figure) {
  std::vector<QRectF> labels;
  for (QGraphicsItem* item : figure.Scene().items()) {
    if (auto* chart = dynamic_cast<QChart*>(item)) {
      for (QAbstractSeries* s : chart->series()) {
        auto* line = qobject_cast<QLineSeries*>(s);
        if (line == nullptr) continue;
        const auto x = qobject_cast<QValueAxis*>(line->attachedAxes().at(0));
        const auto y = qobject_cast<QValueAxis*>(line->attachedAxes().at(1));
        for (const QPointF& p : line->points()) {
          EXPECT_GE(p.x(), x->min() - 1e-9);
          EXPECT_LE(p.x(), x->max() + 1e-9);
          EXPECT_GE(p.y(), y->min() - 1e-9) << line->name().toStdString();
          EXPECT_LE(p.y(), y->max() + 1e-9) << line->name().toStdString();
        }
      }
    }
    if (auto* text = dynamic_cast<detail::BoxedText*>(item)) {
      const QRectF r = text->sceneBoundingRect();
      EXPECT_TRUE(figure.Scene().sceneRect().contains(r));
      for (const QRectF& other : labels) EXPECT_FALSE(other.intersects(r));
      labels.push_back(r);
    }
  }
}

TEST(Charts, SiTemperatureChartRendersReadably) {
  auto figure = SiTemperatureChart(SiData());
  ExpectImages(*figure, "si_temperature");
  ExpectReadable(*figure);
  // Each statistics panel shares the temperature scale of the panel above it.
  std::vector<QRectF> plots;
  for (QGraphicsItem* item : figure->Scene().items()) {
    if (auto* chart = dynamic_cast<QChart*>(item)) {
      plots.push_back(chart->mapRectToScene(chart->plotArea()));
    }
  }
  ASSERT_EQ(plots.size(), 4u);
  int pairs = 0;
  for (const QRectF& a : plots) {
    for (const QRectF& b : plots) {
      if (a.top() < b.top() && std::abs(a.center().x() - b.center().x()) < 100) {
        EXPECT_NEAR(a.left(), b.left(), 1.0);
        EXPECT_NEAR(a.right(), b.right(), 1.0);
        ++pairs;
      }
    }
  }
  EXPECT_EQ(pairs, 2);
}

TEST(Charts, GiggenbachTriangleRenders) {
  auto figure = GiggenbachTriangle(TriangleData());
  ExpectImages(*figure, "giggenbach");
}

TEST(Charts, HistogramMarkersStayApart) {
  auto figure = Histogram(HistogramOf());
  ExpectImages(*figure, "histogram");
  ExpectReadable(*figure);
  // The nine markers stack in rows where close together: all nine labels are there.
  int labels = 0;
  for (QGraphicsItem* item : figure->Scene().items())
    labels += dynamic_cast<detail::BoxedText*>(item) != nullptr;
  EXPECT_EQ(labels, 9);
}

// The window shows the same figure in a widget that follows its own size.
TEST(Charts, ViewFollowsItsSize) {
  std::unique_ptr<QWidget> view(MakeView(SiTemperatureChart(SiData())));
  view->resize(900, 560);
  view->show();
  QCoreApplication::processEvents();
  const QImage shot = view->grab().toImage();
  EXPECT_EQ(shot.size(), QSize(900, 560));
  int ink = 0;
  for (int y = 0; y < shot.height(); y += 4) {
    for (int x = 0; x < shot.width(); x += 4) ink += shot.pixelColor(x, y) != QColor(Qt::white);
  }
  EXPECT_GT(ink, 1000);
  shot.save("view.png");
}

TEST(Charts, AxisStepsAndTheirLabels) {
  EXPECT_EQ(detail::NiceStep(200.0, 8), 25.0);
  EXPECT_EQ(detail::NiceStep(2.0, 8), 0.25);
  EXPECT_EQ(detail::NiceStep(7.0, 8), 1.0);
  QValueAxis axis;
  detail::SetNiceRange(&axis, -0.9, 0.95, 8);  // step 0.25: labels need two decimals
  EXPECT_EQ(axis.min(), -1.0);
  EXPECT_EQ(axis.max(), 1.0);
  EXPECT_EQ(axis.labelFormat(), "%.2f");
  detail::SetNiceRange(&axis, 100.0, 300.0, 8, false);
  EXPECT_EQ(axis.labelFormat(), "%.0f");
}

TEST(Charts, ANamedAxisPrintsZeroWithoutASign) {
  // Steps of 0.2 are not exact in binary: walking -0.6 + 0.2 + 0.2 + 0.2 lands below zero, and
  // Qt's own labels printed that tick as "-0.0". The SI charts name their ticks instead.
  QCategoryAxis axis;
  detail::SetNiceRange(&axis, -0.55, 0.95, 8);  // step 0.2
  const QStringList labels = axis.categoriesLabels();
  EXPECT_TRUE(labels.contains("0.0")) << labels.join(" ").toStdString();
  EXPECT_FALSE(labels.contains("-0.0")) << labels.join(" ").toStdString();
  EXPECT_EQ(labels.front(), "-0.6");
  EXPECT_EQ(labels.back(), "1.0");
  EXPECT_EQ(axis.endValue("0.0"), 0.0);
  // Laid out again, the ticks are replaced, not added to.
  detail::SetNiceRange(&axis, 0.0, 2.0, 8);
  EXPECT_EQ(axis.categoriesLabels().front(), "0.00");
  EXPECT_EQ(axis.count(), 9);
}

TEST(Charts, EmptyDataStillDraws) {
  SiPanel empty;
  empty.title = "SOLVEQ";
  auto si = SiTemperatureChart({"", {empty}});
  EXPECT_EQ(Save(*si, "empty_si.png", 400, 300), "");
  auto h = Histogram({"", "T", {}, 0, {}});
  EXPECT_EQ(Save(*h, "empty_histogram.svg", 400, 300), "");
}

TEST(Charts, SaveReportsWhatWentWrongWithWhichFile) {
  auto figure = Histogram(HistogramOf());
  const std::string missing = "/nonexistent-directory/chart.png";
  const std::string e = Save(*figure, missing, 800, 600);
  EXPECT_NE(e.find(missing), std::string::npos) << e;
  EXPECT_NE(Save(*figure, "chart.jpg", 800, 600).find(".png or .svg"), std::string::npos);
  EXPECT_NE(Save(*figure, "chart.png", 0, 600).find("size"), std::string::npos);
  EXPECT_EQ(Save(*figure, "UPPER.SVG", 800, 600), "");
  // A failed save leaves an existing file as it was.
  ASSERT_EQ(Save(*figure, "kept.png", 300, 200), "");
  const QImage before("kept.png");
  EXPECT_NE(Save(*figure, "kept.png", 10, 10), "");
  EXPECT_EQ(QImage("kept.png").size(), before.size());
}

}  // namespace
}  // namespace geofluid::charts

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  geofluid::charts::RenderingApplication app;
  return RUN_ALL_TESTS();
}
