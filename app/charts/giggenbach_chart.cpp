#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "chart_items.h"
#include "charts.h"

namespace geofluid::charts {
namespace {

using namespace detail;

// The Na/1000 - K/100 - sqrt(Mg) triangle as Giggenbach (1988) draws it: Na at the lower left,
// K at the lower right, sqrt(Mg) at the top.
class Triangle : public QGraphicsWidget {
 public:
  explicit Triangle(const GiggenbachData& data) : data_(data) {}

  void paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*) override {
    p->setRenderHint(QPainter::Antialiasing);
    const QFont font = ChartFont(9.0);
    const QFont small = ChartFont(8.0);
    const QFont corner = ChartFont(11.0, true);
    const QFontMetricsF fm(font);

    // The largest equilateral triangle leaving room for the corner captions.
    const QRectF area = QRectF(QPointF(0, 0), size()).adjusted(40, 34, -40, -40);
    const double side = std::min(area.width(), area.height() * 2.0 / std::sqrt(3.0));
    const double height = side * std::sqrt(3.0) / 2.0;
    const QPointF a(area.center().x() - side / 2.0, area.center().y() + height / 2.0);
    const QPointF b(a.x() + side, a.y());
    const QPointF c(area.center().x(), a.y() - height);
    auto at = [&](const TernaryPoint& t) {
      const double sum = t.na + t.k + t.mg;
      return (t.na * a + t.k * b + t.mg * c) / (sum > 0 ? sum : 1.0);
    };

    // Grid every 10 %.
    p->setPen(QPen(QColor(0xdd, 0xdd, 0xdd), 0.8));
    for (int i = 1; i < 10; ++i) {
      const double f = i * 10.0, g = 100.0 - f;
      p->drawLine(at({f, g, 0}), at({f, 0, g}));  // constant Na
      p->drawLine(at({g, f, 0}), at({0, f, g}));  // constant K
      p->drawLine(at({g, 0, f}), at({0, g, f}));  // constant sqrt(Mg)
    }
    p->setPen(QPen(Qt::black, 1.5));
    p->setBrush(Qt::NoBrush);
    p->drawPolygon(QPolygonF({a, b, c}));
    p->setFont(corner);
    p->drawText(QRectF(a.x() - 60, a.y() + 6, 120, 24), Qt::AlignCenter, "Na/1000");
    p->drawText(QRectF(b.x() - 60, b.y() + 6, 120, 24), Qt::AlignCenter, "K/100");
    p->drawText(QRectF(c.x() - 60, c.y() - 28, 120, 24), Qt::AlignCenter, QStringLiteral("√Mg"));

    // Region names, where Giggenbach writes them.
    p->setFont(font);
    p->setPen(QColor(0x66, 0x66, 0x66));
    auto centred = [&](const QPointF& where, const QString& text) {
      const double w = fm.horizontalAdvance(text);
      p->drawText(QRectF(where.x() - w / 2 - 2, where.y() - fm.height() / 2, w + 4, fm.height()),
                  Qt::AlignCenter, text);
    };
    centred(at({10, 30, 60}), "immature waters");
    centred(at({30, 45, 25}), "partial equilibration");

    // The MI = 2.0 boundary.
    if (data_.partial_equilibrium.size() > 1) {
      QPainterPath path(at(data_.partial_equilibrium.front()));
      for (const TernaryPoint& t : data_.partial_equilibrium) path.lineTo(at(t));
      p->setPen(QPen(QColor(0x66, 0x66, 0x66), 1.3, Qt::DashLine));
      p->drawPath(path);
      // Its name beside it halfway up, on the side of the immature waters.
      const auto mid =
          std::min_element(data_.partial_equilibrium.begin(), data_.partial_equilibrium.end(),
                           [](const TernaryPoint& u, const TernaryPoint& v) {
                             return std::abs(u.mg - 45.0) < std::abs(v.mg - 45.0);
                           });
      const QPointF where = at(*mid);
      p->setPen(QColor(0x66, 0x66, 0x66));
      p->drawText(QRectF(where.x() + 8.0, where.y() - fm.height() / 2, 80.0, fm.height()),
                  Qt::AlignLeft | Qt::AlignVCenter, "MI = 2.0");
    }

    // The full-equilibrium line with its temperatures on the side away from sqrt(Mg).
    std::vector<QRectF> taken;
    const auto& line = data_.full_equilibrium;
    if (line.size() > 1) {
      QPainterPath path(at(line.front().point));
      for (const auto& t : line) path.lineTo(at(t.point));
      const QColor blue(0x1f, 0x4e, 0x79);
      p->setPen(QPen(blue, 2.0));
      p->drawPath(path);
      p->setFont(small);
      const QFontMetricsF sm(small);
      for (std::size_t i = 0; i < line.size(); ++i) {
        const double step = data_.label_step > 0 ? data_.label_step : 20.0;
        const double r = std::remainder(line[i].celsius, step);
        if (std::abs(r) > 1e-6) continue;
        const QPointF here = at(line[i].point);
        const QPointF prev = at(line[i == 0 ? 0 : i - 1].point);
        const QPointF next = at(line[std::min(i + 1, line.size() - 1)].point);
        QPointF n(-(next - prev).y(), (next - prev).x());
        const double len = std::hypot(n.x(), n.y());
        if (len == 0) continue;
        n /= len;
        if (QPointF::dotProduct(n, here - c) < 0) n = -n;
        p->setPen(QPen(blue, 1.5));
        p->drawLine(here - 4.0 * n, here + 4.0 * n);
        const QString text = QString::number(line[i].celsius, 'f', 0);
        const double w = sm.horizontalAdvance(text);
        const QPointF centre = here + (9.0 + 0.5 * std::hypot(w * n.x(), sm.height() * n.y())) * n;
        const QRectF box(centre.x() - w / 2, centre.y() - sm.height() / 2, w, sm.height());
        p->drawText(box, Qt::AlignCenter, text);
        taken.push_back(box);
      }
      p->setFont(font);
      p->setPen(blue);
      // The caption past the hot end of the line, clear of the temperatures.
      const QPointF hot = at(line.back().point);
      const QString caption = "full equilibrium (°C)";
      const double w = fm.horizontalAdvance(caption);
      const QRectF box(std::min(hot.x() + 8.0, b.x() - w), hot.y() - fm.height() - 14.0, w + 4,
                       fm.height());
      p->drawText(box, Qt::AlignLeft | Qt::AlignVCenter, caption);
      taken.push_back(box);
    }

    // Samples: dots, labels at the first of eight places that covers no other label or dot.
    std::vector<QPointF> dots;
    for (const TernarySample& s : data_.samples) dots.push_back(at(s.point));
    for (std::size_t i = 0; i < data_.samples.size(); ++i) {
      p->setPen(QPen(Qt::black, 0.8));
      p->setBrush(PaletteColor(static_cast<int>(i) + 3));
      p->drawEllipse(dots[i], 4.5, 4.5);
    }
    p->setFont(font);
    for (std::size_t i = 0; i < data_.samples.size(); ++i) {
      const QString text = Text(data_.samples[i].label);
      if (text.isEmpty()) continue;
      const QSizeF s(fm.horizontalAdvance(text) + 4, fm.height());
      const QPointF d = dots[i];
      const QPointF offsets[] = {{7, -s.height() - 2},
                                 {7, 2},
                                 {-s.width() - 7, -s.height() - 2},
                                 {-s.width() - 7, 2},
                                 {-s.width() / 2, -s.height() - 8},
                                 {-s.width() / 2, 8},
                                 {9, -s.height() / 2},
                                 {-s.width() - 9, -s.height() / 2}};
      QRectF chosen(d + offsets[0], s);
      for (const QPointF& o : offsets) {
        const QRectF box(d + o, s);
        const bool clash = std::any_of(taken.begin(), taken.end(),
                                       [&](const QRectF& r) { return r.intersects(box); }) ||
                           std::any_of(dots.begin(), dots.end(), [&](const QPointF& q) {
                             return box.adjusted(-4.5, -4.5, 4.5, 4.5).contains(q);
                           });
        if (!clash) {
          chosen = box;
          break;
        }
      }
      taken.push_back(chosen);
      p->setPen(Qt::NoPen);
      p->setBrush(QColor(255, 255, 255, 200));
      p->drawRect(chosen);
      p->setPen(Qt::black);
      p->drawText(chosen, Qt::AlignCenter, text);
    }
  }

 private:
  GiggenbachData data_;
};

class TriangleFigure : public Figure {
 public:
  explicit TriangleFigure(const GiggenbachData& data) {
    title_ = new Title(Text(data.title));
    triangle_ = new Triangle(data);
    scene_.addItem(title_);
    scene_.addItem(triangle_);
  }

 protected:
  void Layout(QSizeF size) override {
    const double h = title_->Height();
    title_->setGeometry(QRectF(0, 0, size.width(), h));
    triangle_->setGeometry(QRectF(0, h, size.width(), size.height() - h));
  }

 private:
  Title* title_;
  Triangle* triangle_;
};

}  // namespace

std::unique_ptr<Figure> GiggenbachTriangle(const GiggenbachData& data) {
  return std::make_unique<TriangleFigure>(data);
}

}  // namespace geofluid::charts
