#pragma once

// Pieces shared by the charts: colours, axis steps, a text item with a backing box, a legend.

#include <QChart>
#include <QColor>
#include <QFont>
#include <QGraphicsWidget>
#include <QLineSeries>
#include <QPen>
#include <QString>
#include <QValueAxis>
#include <string>
#include <vector>

namespace geofluid::charts::detail {

QFont ChartFont(double point_size = 9.0, bool bold = false);

// The n-th colour of a palette of ten well-separated hues; from the eleventh on the same hues
// again with dashed lines (see PenFor).
QColor PaletteColor(int n);
QPen PenFor(int n, double width = 2.0);

// A step of 1, 2 or 5 times a power of ten giving about `ticks` intervals over `span`.
double NiceStep(double span, int ticks);

// An axis from `low` to `high` widened to whole steps, with ticks at every step.
void SetNiceRange(QValueAxis* axis, double low, double high, int ticks, bool widen = true);

QString Text(const std::string& utf8);
QString Celsius(double value);  // "231.4 °C"

// A chart with the house style: no Qt legend, small margins, the chart font.
QChart* NewChart(const QString& title);

// A text with a white, slightly transparent box behind it, so that it stays readable over
// curves.
class BoxedText : public QGraphicsItem {
 public:
  BoxedText(const QString& text, const QFont& font, const QColor& color,
            QGraphicsItem* parent = nullptr);
  QRectF boundingRect() const override;
  void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override;
  QSizeF TextSize() const;

 private:
  QString text_;
  QFont font_;
  QColor color_;
};

// A legend laid out in as many columns as the width allows.
class Legend : public QGraphicsWidget {
 public:
  struct Entry {
    QString label;
    QPen pen;     // a line swatch
    QColor fill;  // a filled swatch instead when valid
  };
  explicit Legend(std::vector<Entry> entries, QGraphicsItem* parent = nullptr);
  // The height the entries need at `width`.
  double HeightFor(double width) const;
  void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override;

 private:
  double ColumnWidth() const;
  std::vector<Entry> entries_;
  QFont font_;
};

// A title across the top of a figure.
class Title : public QGraphicsWidget {
 public:
  explicit Title(const QString& text, QGraphicsItem* parent = nullptr);
  void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override;
  double Height() const { return text_.isEmpty() ? 0.0 : 30.0; }

 private:
  QString text_;
};

// A vertical marker line with its label.
struct Mark {
  double x;
  QLineSeries* line;
  BoxedText* label;
};

// Places each label beside its line at the top of the plot area (the side with room), in the
// highest row where it overlaps no label placed before it; `top` is the y axis maximum.
void PlaceMarkLabels(QChart* chart, double top, const std::vector<Mark>& marks);

// Lays the chart's plot area out now rather than on the next turn of the event loop, so that
// mapToPosition gives the positions of the size just set.
void LayOutNow(QChart* chart);

}  // namespace geofluid::charts::detail
