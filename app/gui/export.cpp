#include "export.h"

#include <QAbstractItemModel>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGraphicsView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QSvgGenerator>
#include <string>

#include "io/csv.h"
#include "io/text.h"

namespace geofluid::gui {

namespace {
constexpr int kPngScale = 2;

using io::AppendCsvCell;

// The full number where the model keeps one (Qt::UserRole), else the text shown.
std::string CellText(const QAbstractItemModel& model, const QModelIndex& index) {
  const QVariant number = model.data(index, Qt::UserRole);
  if (number.typeId() == QMetaType::Double) return io::Shortest(number.toDouble());
  return model.data(index, Qt::DisplayRole).toString().toStdString();
}

QString Commit(QSaveFile& file, const QString& path) {
  if (!file.commit()) return QObject::tr("%1 を書けません: %2").arg(path, file.errorString());
  return {};
}

// A view that was never shown (a chart on a tab not opened yet) gets its size when first drawn
// through QWidget::render, and its items' layout in the events that follow.
void LayOut(QGraphicsView& view) {
  if (view.isVisible()) return;
  QImage scratch(1, 1, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&scratch);
  view.viewport()->QWidget::render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  QCoreApplication::sendPostedEvents();
}

void Draw(QGraphicsView& view, QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing);
  QWidget* viewport = view.viewport();
  viewport->QWidget::render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
}

QString AskPath(QWidget* parent, const QString& name, const QString& filter) {
  return QFileDialog::getSaveFileName(parent, QObject::tr("保存"), name, filter);
}

void Report(QWidget* parent, const QString& error) {
  if (!error.isEmpty()) QMessageBox::critical(parent, QObject::tr("保存"), error);
}
}  // namespace

QString SaveViewPng(QGraphicsView& view, const QString& path) {
  LayOut(view);
  QImage image(view.viewport()->size() * kPngScale, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(kPngScale);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    Draw(view, painter);
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG"))
    return QObject::tr("%1 を書けません: %2").arg(path, file.errorString());
  return Commit(file, path);
}

QString SaveViewSvg(QGraphicsView& view, const QString& path, const QString& title) {
  LayOut(view);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    return QObject::tr("%1 を書けません: %2").arg(path, file.errorString());
  QSvgGenerator svg;
  svg.setOutputDevice(&file);
  svg.setSize(view.viewport()->size());
  svg.setViewBox(view.viewport()->rect());
  svg.setTitle(title);
  {
    QPainter painter(&svg);
    Draw(view, painter);
  }
  return Commit(file, path);
}

QString SaveModelCsv(const QAbstractItemModel& model, const QString& path) {
  std::string text, line;
  for (int c = 0; c < model.columnCount(); ++c) {
    if (c > 0) line += ',';
    AppendCsvCell(line,
                  model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toStdString());
  }
  text += line + '\n';
  for (int r = 0; r < model.rowCount(); ++r) {
    line.clear();
    for (int c = 0; c < model.columnCount(); ++c) {
      if (c > 0) line += ',';
      AppendCsvCell(line, CellText(model, model.index(r, c)));
    }
    text += line + '\n';
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()))
    return QObject::tr("%1 を書けません: %2").arg(path, file.errorString());
  return Commit(file, path);
}

void AddChartExport(QBoxLayout& row, QGraphicsView& view, const QString& name) {
  auto* png = new QPushButton(QObject::tr("PNG保存…"));
  auto* svg = new QPushButton(QObject::tr("SVG保存…"));
  png->setObjectName(name + "_png");
  svg->setObjectName(name + "_svg");
  row.addWidget(png);
  row.addWidget(svg);
  QObject::connect(png, &QPushButton::clicked, &view, [&view, name] {
    const QString path = AskPath(&view, name + ".png", QObject::tr("PNG画像 (*.png)"));
    if (!path.isEmpty()) Report(&view, SaveViewPng(view, path));
  });
  QObject::connect(svg, &QPushButton::clicked, &view, [&view, name] {
    const QString path = AskPath(&view, name + ".svg", QObject::tr("SVG画像 (*.svg)"));
    if (!path.isEmpty()) Report(&view, SaveViewSvg(view, path, name));
  });
}

void AddTableExport(QBoxLayout& row, const QAbstractItemModel& model, const QString& name) {
  auto* csv = new QPushButton(QObject::tr("CSV保存…"));
  csv->setObjectName(name + "_csv");
  row.addWidget(csv);
  QObject::connect(csv, &QPushButton::clicked, csv, [csv, &model, name] {
    const QString path = AskPath(csv, name + ".csv", QObject::tr("CSVファイル (*.csv)"));
    if (!path.isEmpty()) Report(csv, SaveModelCsv(model, path));
  });
}

FigureButtons AddFigureExport(QBoxLayout& row, QWidget& owner, const QString& name,
                              std::function<bool()> ready,
                              std::function<QString(const QString& path)> save) {
  FigureButtons buttons{new QPushButton(QObject::tr("PNG保存…")),
                        new QPushButton(QObject::tr("SVG保存…"))};
  buttons.png->setObjectName(name + "_png");
  buttons.svg->setObjectName(name + "_svg");
  row.addWidget(buttons.png);
  row.addWidget(buttons.svg);
  const auto ask = [&owner, name, ready, save](const QString& suffix, const QString& filter) {
    if (!ready()) return;
    const QString path = AskPath(&owner, name + suffix, filter);
    if (!path.isEmpty()) Report(&owner, save(path));
  };
  QObject::connect(buttons.png, &QPushButton::clicked, &owner,
                   [ask] { ask(".png", QObject::tr("PNG画像 (*.png)")); });
  QObject::connect(buttons.svg, &QPushButton::clicked, &owner,
                   [ask] { ask(".svg", QObject::tr("SVG画像 (*.svg)")); });
  return buttons;
}

QLabel* TextLine(const QString& name) {
  auto* line = new QLabel;
  line->setObjectName(name);
  line->setWordWrap(true);
  line->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return line;
}

}  // namespace geofluid::gui
