#include "saturation_chart.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QHorizontalStackedBarSeries>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QStandardItemModel>
#include <QToolTip>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <optional>

#include "export.h"
#include "number_format.h"

namespace geofluid::gui {

namespace {
const QColor kOversaturated(192, 57, 43);
const QColor kUndersaturated(46, 110, 170);
// A category label is cut to "..." unless its whole height fits between two bars.
constexpr int kPixelsPerBar = 22;
constexpr int kLabelPointSize = 8;
constexpr int kChartMargin = 180;  // title, legend, axis labels and the frame

QStandardItem* NumberItem(double v, int decimals) {
  auto* item = new QStandardItem(Fixed(v, decimals));
  item->setData(v, Qt::UserRole);
  item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

// A line per mineral, bottom first as a horizontal bar chart draws them; nullopt for a line
// this dataset lacks, with `absent` its label: the name it was asked for.
struct BarLines {
  std::vector<std::optional<engine::MineralResult>> lines;
  std::vector<QString> absent;
};

BarLines LinesOf(const engine::Evaluation& e, const std::vector<std::string>& rows) {
  BarLines bars;
  if (rows.empty()) {
    std::vector<engine::MineralResult> all = e.Minerals();
    // Highest SI on top.
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return a.si < b.si; });
    bars.lines.assign(all.begin(), all.end());
    bars.absent.resize(bars.lines.size());
  } else {
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
      const std::optional<int> m = e.dataset->MineralIndexOf(*it);
      bars.lines.push_back(m ? std::optional(e.Mineral(engine::MineralHandle{e.dataset, *m}))
                             : std::nullopt);
      bars.absent.push_back(m ? QString() : QString("(%1 —)").arg(QString::fromStdString(*it)));
    }
  }
  return bars;
}

QString MineralName(const engine::MineralResult& m) {
  return QString::fromUtf8(m.name.data(), static_cast<qsizetype>(m.name.size()));
}

// Each line's bar, to the right when oversaturated and to the left when not (none for a line the
// dataset lacks), and its label; [low, high] widened to the indices.
void FillBars(const BarLines& bars, QBarSet& over, QBarSet& under, QStringList& names, double& low,
              double& high) {
  for (std::size_t i = 0; i < bars.lines.size(); ++i) {
    if (!bars.lines[i]) {
      names << bars.absent[i];
      over.append(0.0);
      under.append(0.0);
      continue;
    }
    const engine::MineralResult& m = *bars.lines[i];
    names << MineralName(m);
    over.append(m.si > 0 ? m.si : 0.0);
    under.append(m.si < 0 ? m.si : 0.0);
    low = std::min(low, m.si);
    high = std::max(high, m.si);
  }
}

// The table lists what this dataset has, top first; returns the row of each line (-1 for one
// the dataset lacks), so that a hover maps a bar to its row.
std::vector<int> FillTable(QStandardItemModel& table, const BarLines& bars) {
  const auto& lines = bars.lines;
  std::vector<int> row_of(lines.size(), -1);
  for (std::size_t i = lines.size(); i-- > 0;) {
    if (!lines[i]) continue;
    const engine::MineralResult& m = *lines[i];
    row_of[i] = table.rowCount();
    table.appendRow({new QStandardItem(MineralName(m)), NumberItem(m.log_k, 3),
                     NumberItem(m.log_iap, 3), NumberItem(m.si, 3)});
  }
  return row_of;
}

QBarCategoryAxis* CategoryAxis(const QStringList& names) {
  auto* categories = new QBarCategoryAxis;
  categories->append(names);
  QFont label_font = categories->labelsFont();
  label_font.setPointSize(kLabelPointSize);
  categories->setLabelsFont(label_font);
  return categories;
}

// Whole units around the data, zero always inside, ticks on whole numbers through zero.
QValueAxis* SiAxis(double low, double high) {
  auto* values = new QValueAxis;
  const double from = std::floor(low) - (low < 0 ? 0.5 : 0.0);
  const double to = std::ceil(high) + 0.5;
  values->setRange(from, to);
  const double span = to - from;
  const double step = span > 40 ? 10 : span > 16 ? 5 : span > 6 ? 2 : 1;
  values->setTickType(QValueAxis::TicksDynamic);
  values->setTickAnchor(0.0);
  values->setTickInterval(step);
  values->setLabelFormat("%.0f");
  values->setTitleText("SI");
  return values;
}

// The zero line: a line series on the SI axis `values` against a hidden axis 0..1.
void AddZeroLine(QChart& chart, QValueAxis* values) {
  auto* zero = new QLineSeries;
  zero->append(0.0, 0.0);
  zero->append(0.0, 1.0);
  zero->setPen(QPen(Qt::black, 1.5));
  chart.addSeries(zero);
  auto* unit = new QValueAxis;
  unit->setRange(0.0, 1.0);
  unit->setVisible(false);
  chart.addAxis(unit, Qt::AlignRight);
  zero->attachAxis(values);
  zero->attachAxis(unit);
  chart.legend()->markers(zero).front()->setVisible(false);
}

}  // namespace

SaturationPanel::SaturationPanel(const engine::Evaluation& e, const QString& caption,
                                 std::pair<double, double> si_range,
                                 const std::vector<std::string>& rows, QWidget* parent)
    : QWidget(parent) {
  const BarLines bars = LinesOf(e, rows);

  summary_ = new QLabel;
  summary_->setObjectName("SaturationSummary");
  summary_->setTextFormat(Qt::RichText);
  summary_->setText(
      QString("<b>%1</b><br>pH %2 &nbsp; %3 %4 &nbsp; %5 %6 %<br>TOTH %7 &nbsp; %8 %9")
          .arg(caption.toHtmlEscaped(), Fixed(e.ph, 3), tr("イオン強度"),
               Scientific(e.IonicStrength()), tr("電荷収支"), Fixed(e.ChargeBalancePercent(), 2),
               Scientific(e.toth), tr("蒸気の割合"), Fixed(e.steam_fraction, 3)));

  minerals_ = new QStandardItemModel(this);
  minerals_->setHorizontalHeaderLabels({tr("鉱物"), "log K", "log IAP", "SI"});
  auto* over = new QBarSet(tr("過飽和 (SI > 0)"));
  auto* under = new QBarSet(tr("未飽和 (SI < 0)"));
  over->setColor(kOversaturated);
  under->setColor(kUndersaturated);
  over->setBorderColor(kOversaturated);
  under->setBorderColor(kUndersaturated);
  QStringList names;
  double low = std::min(0.0, si_range.first), high = std::max(0.0, si_range.second);
  FillBars(bars, *over, *under, names, low, high);
  const std::vector<int> row_of = FillTable(*minerals_, bars);

  auto* series = new QHorizontalStackedBarSeries;
  series->append(under);
  series->append(over);
  series->setBarWidth(0.75);

  auto* chart = new QChart;
  chart->addSeries(series);
  chart->setTitle(tr("飽和指数 SI = log(IAP/K)"));
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->legend()->setAlignment(Qt::AlignBottom);

  auto* categories = CategoryAxis(names);
  chart->addAxis(categories, Qt::AlignLeft);
  series->attachAxis(categories);

  QValueAxis* values = SiAxis(low, high);
  // On top, where the scale is seen without scrolling down a long list.
  chart->addAxis(values, Qt::AlignTop);
  series->attachAxis(values);
  AddZeroLine(*chart, values);

  // The exact numbers on hover.
  const auto tip = [this, row_of](bool status, int index) {
    if (!status || index < 0 || index >= static_cast<int>(row_of.size())) return;
    const int row = row_of[static_cast<std::size_t>(index)];
    if (row < 0) return;
    QToolTip::showText(QCursor::pos(),
                       QString("%1: SI %2, log K %3, log IAP %4")
                           .arg(minerals_->item(row, 0)->text(), minerals_->item(row, 3)->text(),
                                minerals_->item(row, 1)->text(), minerals_->item(row, 2)->text()));
  };
  connect(over, &QBarSet::hovered, this, tip);
  connect(under, &QBarSet::hovered, this, tip);

  view_ = new QChartView(chart);
  view_->setObjectName("SaturationChart");
  view_->setRenderHint(QPainter::Antialiasing);
  view_->setMinimumSize(360, static_cast<int>(bars.lines.size()) * kPixelsPerBar + kChartMargin);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(summary_);
  layout->addWidget(view_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  const QString name =
      QString("saturation-%1").arg(QString::fromUtf8(e.dataset->key.data(), e.dataset->key.size()));
  AddChartExport(*buttons, *view_, name);
  AddTableExport(*buttons, *minerals_, name);
  layout->addLayout(buttons);
}

}  // namespace geofluid::gui
