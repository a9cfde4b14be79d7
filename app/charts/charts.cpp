#include "charts.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QCategoryAxis>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsView>
#include <QImage>
#include <QPainter>
#include <QResizeEvent>
#include <QSvgGenerator>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <string>
#include <system_error>

#include "chart_items.h"

namespace geofluid::charts {
namespace detail {

QFont ChartFont(double point_size, bool bold) {
  QFont font("DejaVu Sans");
  font.setPointSizeF(point_size);
  font.setBold(bold);
  return font;
}

QColor PaletteColor(int n) {
  // Tableau 10: distinguishable, also for the common colour-vision deficiencies in most pairs.
  static constexpr QRgb kColors[] = {0x1f77b4, 0xff7f0e, 0x2ca02c, 0xd62728, 0x9467bd,
                                     0x8c564b, 0xe377c2, 0x7f7f7f, 0xbcbd22, 0x17becf};
  return QColor(kColors[n % 10]);
}

QPen PenFor(int n, double width) {
  QPen pen(PaletteColor(n), width);
  if ((n / 10) % 2 == 1) pen.setStyle(Qt::DashLine);
  pen.setCapStyle(Qt::FlatCap);
  return pen;
}

double NiceStep(double span, int ticks) {
  if (!(span > 0.0) || !std::isfinite(span)) return 1.0;
  const double raw = span / std::max(ticks, 1);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10.0 * power;
}

void SetNiceRange(QValueAxis* axis, double low, double high, int ticks, bool widen) {
  if (!(high > low)) {
    low -= 1.0;
    high += 1.0;
  }
  const double step = NiceStep(high - low, ticks);
  if (widen) {
    low = std::floor(low / step + 1e-9) * step;
    high = std::ceil(high / step - 1e-9) * step;
  }
  axis->setRange(low, high);
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickAnchor(0.0);
  axis->setTickInterval(step);
  // As many decimals as the step has (0.25 needs two).
  int decimals = 0;
  while (decimals < 6 && std::abs(step * std::pow(10.0, decimals) -
                                  std::round(step * std::pow(10.0, decimals))) > 1e-6) {
    ++decimals;
  }
  axis->setLabelFormat(QString("%.%1f").arg(decimals));
  // Qt walks the ticks by adding the step, so a tick meant to be zero can land at -1e-17 and
  // print as "-0.0": an axis that names its ticks gets each label from k * step instead.
  if (auto* named = qobject_cast<QCategoryAxis*>(axis)) {
    for (const QString& label : named->categoriesLabels()) named->remove(label);
    named->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    named->setStartValue(low - step);
    for (double k = std::ceil(low / step - 1e-9); k * step <= high + 1e-9 * step; ++k) {
      const double value = k * step;
      named->append(QString::number(value == 0.0 ? 0.0 : value, 'f', decimals), value);
    }
  }
}

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

QString Celsius(double value) { return QString::number(value, 'f', 1) + QStringLiteral(" °C"); }

QChart* NewChart(const QString& title) {
  auto* chart = new QChart;
  chart->legend()->hide();
  chart->setTitle(title);
  chart->setTitleFont(ChartFont(10.0, true));
  chart->setMargins(QMargins(4, 4, 8, 4));
  chart->setBackgroundRoundness(0.0);
  chart->setDropShadowEnabled(false);
  return chart;
}

BoxedText::BoxedText(const QString& text, const QFont& font, const QColor& color,
                     QGraphicsItem* parent)
    : QGraphicsItem(parent), text_(text), font_(font), color_(color) {
  setZValue(20.0);
}

QSizeF BoxedText::TextSize() const {
  const QFontMetricsF m(font_);
  return QSizeF(m.horizontalAdvance(text_), m.height());
}

QRectF BoxedText::boundingRect() const {
  const QSizeF s = TextSize();
  return QRectF(-3.0, -1.0, s.width() + 6.0, s.height() + 2.0);
}

void BoxedText::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
  painter->setPen(Qt::NoPen);
  painter->setBrush(QColor(255, 255, 255, 215));
  painter->drawRect(boundingRect());
  painter->setPen(color_);
  painter->setFont(font_);
  painter->drawText(QRectF(QPointF(0, 0), TextSize()), Qt::AlignLeft | Qt::AlignVCenter, text_);
}

Legend::Legend(std::vector<Entry> entries, QGraphicsItem* parent)
    : QGraphicsWidget(parent), entries_(std::move(entries)), font_(ChartFont(9.0)) {}

double Legend::ColumnWidth() const {
  const QFontMetricsF m(font_);
  double widest = 0.0;
  for (const Entry& e : entries_) widest = std::max(widest, m.horizontalAdvance(e.label));
  return widest + 28.0 + 18.0;  // swatch, gap, space to the next column
}

double Legend::HeightFor(double width) const {
  if (entries_.empty()) return 0.0;
  const int columns = std::max(1, static_cast<int>((width - 16.0) / ColumnWidth()));
  const int rows = (static_cast<int>(entries_.size()) + columns - 1) / columns;
  return rows * (QFontMetricsF(font_).height() + 4.0) + 10.0;
}

void Legend::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
  if (entries_.empty()) return;
  const double width = size().width();
  const double column = ColumnWidth();
  const int columns = std::max(1, static_cast<int>((width - 16.0) / column));
  const int used = std::min(columns, static_cast<int>(entries_.size()));
  const double line = QFontMetricsF(font_).height() + 4.0;
  const double left = (width - used * column) / 2.0 + 9.0;  // centred under the charts
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setFont(font_);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    const int row = static_cast<int>(i) / columns;
    const int col = static_cast<int>(i) % columns;
    const double x = left + col * column;
    const double y = 5.0 + row * line + line / 2.0;
    if (e.fill.isValid()) {
      painter->setPen(Qt::NoPen);
      painter->setBrush(e.fill);
      painter->drawRect(QRectF(x, y - 5.0, 22.0, 10.0));
    } else {
      painter->setPen(e.pen);
      painter->drawLine(QPointF(x, y), QPointF(x + 22.0, y));
    }
    painter->setPen(Qt::black);
    painter->drawText(QRectF(x + 28.0, y - line / 2.0, column - 28.0, line),
                      Qt::AlignLeft | Qt::AlignVCenter, e.label);
  }
}

Title::Title(const QString& text, QGraphicsItem* parent) : QGraphicsWidget(parent), text_(text) {}

void Title::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
  painter->setFont(ChartFont(12.0, true));
  painter->setPen(Qt::black);
  painter->drawText(QRectF(QPointF(0, 0), size()), Qt::AlignCenter, text_);
}

void PlaceMarkLabels(QChart* chart, double top, const std::vector<Mark>& marks) {
  const QRectF plot = chart->plotArea();
  std::vector<QRectF> placed;
  for (const Mark& m : marks) {
    const QPointF at = chart->mapToPosition(QPointF(m.x, top), m.line);
    const QSizeF text = m.label->TextSize();
    double left = at.x() + 5.0;
    if (left + text.width() > plot.right() - 2.0) left = at.x() - 5.0 - text.width();
    left = std::max(left, plot.left() + 2.0);
    double y = plot.top() + 3.0;
    for (;;) {
      const QRectF box(left - 3.0, y - 1.0, text.width() + 6.0, text.height() + 2.0);
      const bool clash = std::any_of(placed.begin(), placed.end(),
                                     [&](const QRectF& r) { return r.intersects(box); });
      if (!clash || y > plot.bottom() - text.height()) {
        placed.push_back(box);
        break;
      }
      y += text.height() + 3.0;
    }
    m.label->setPos(left, y);
  }
}

void LayOutNow(QChart* chart) {
  if (QGraphicsLayout* layout = chart->layout()) layout->activate();
}

}  // namespace detail

Figure::~Figure() = default;

void Figure::Resize(QSizeF size) {
  size_ = size;
  scene_.setSceneRect(QRectF(QPointF(0, 0), size));
  Layout(size);
}

namespace {

QImage Rendered(Figure& figure, int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  figure.Scene().render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
  return image;
}

QByteArray RenderedSvg(Figure& figure, int width, int height, const QString& title) {
  QBuffer buffer;
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(QSize(width, height));
  svg.setViewBox(QRect(0, 0, width, height));
  svg.setResolution(96);  // the pixels of the PNG, so that both open at the same size
  svg.setTitle(title);
  QPainter painter(&svg);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(QRectF(0, 0, width, height), Qt::white);
  figure.Scene().render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
  painter.end();
  return buffer.data();
}

class FigureView : public QGraphicsView {
 public:
  FigureView(std::unique_ptr<Figure> figure, QWidget* parent)
      : QGraphicsView(parent), figure_(std::move(figure)) {
    setScene(&figure_->Scene());
    setRenderHint(QPainter::Antialiasing);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setMinimumSize(320, 240);
  }
  // The scene dies with the figure, before QGraphicsView's own destructor runs.
  ~FigureView() override { setScene(nullptr); }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QGraphicsView::resizeEvent(event);
    figure_->Resize(viewport()->size());
    setSceneRect(QRectF(QPointF(0, 0), QSizeF(viewport()->size())));
  }

 private:
  std::unique_ptr<Figure> figure_;
};

// Writes `bytes` to a new file beside `path` and renames it over `path`: a reader never finds
// half an image. Returns 0 or the errno of the step that failed (QSaveFile reports a full disk
// as "Unknown error").
int WriteWhole(const std::string& path, const QByteArray& bytes) {
  static std::atomic<unsigned> serial{0};
  const std::string temporary =
      path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  int error = 0;
  const char* data = bytes.constData();
  auto left = static_cast<std::size_t>(bytes.size());
  while (left > 0 && error == 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      break;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  if (error == 0 && ::fsync(fd) != 0 && errno != EINVAL) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temporary.c_str());
  return error;
}

}  // namespace

std::string Save(Figure& figure, const std::string& path, int width, int height) {
  const QString file_name = QString::fromStdString(path);
  const QString suffix = QFileInfo(file_name).suffix().toLower();
  if (suffix != "png" && suffix != "svg") {
    return "cannot write the chart to " + path + ": the file name must end in .png or .svg";
  }
  if (width < 100 || height < 100 || width > 20000 || height > 20000) {
    return "cannot write the chart to " + path + ": the size " + std::to_string(width) + "x" +
           std::to_string(height) + " must lie between 100 and 20000 pixels each way";
  }
  figure.Resize(QSizeF(width, height));
  QByteArray bytes;
  if (suffix == "png") {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!Rendered(figure, width, height).save(&buffer, "PNG")) {
      return "cannot write the chart to " + path + ": the PNG encoder failed";
    }
  } else {
    bytes = RenderedSvg(figure, width, height, QFileInfo(file_name).completeBaseName());
  }
  if (const int error = WriteWhole(path, bytes); error != 0) {
    return "cannot write the chart to " + path + ": " +
           std::error_code(error, std::generic_category()).message() + "; no chart was written";
  }
  return {};
}

QWidget* MakeView(std::unique_ptr<Figure> figure, QWidget* parent) {
  return new FigureView(std::move(figure), parent);
}

RenderingApplication::RenderingApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  app_ = std::make_unique<QApplication>(argc_, argv_);
}

RenderingApplication::~RenderingApplication() = default;

}  // namespace geofluid::charts
