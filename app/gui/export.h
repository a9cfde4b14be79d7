#pragma once

#include <QString>

class QAbstractItemModel;
class QBoxLayout;
class QWidget;
class QGraphicsView;

namespace geofluid::gui {

// Saves a chart (or any graphics view) as a picture of `size` logical pixels; the PNG at twice
// that for sharp print. An empty string on success, otherwise what went wrong with which file.
QString SaveViewPng(QGraphicsView& view, const QString& path);
QString SaveViewSvg(QGraphicsView& view, const QString& path, const QString& title);

// Saves the rows of a table as shown (sorted as the user sorted it), the header first. A cell
// with a number in Qt::UserRole is written in full, not as the rounded text on screen.
QString SaveModelCsv(const QAbstractItemModel& model, const QString& path);

// Buttons beside a chart or a table that ask for a file name and save; a failure is shown in a
// message box naming the file. `name` is the file name offered.
void AddChartExport(QBoxLayout& row, QGraphicsView& view, const QString& name);
void AddTableExport(QBoxLayout& row, const QAbstractItemModel& model, const QString& name);

}  // namespace geofluid::gui
