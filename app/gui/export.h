#pragma once

#include <QString>
#include <functional>

class QAbstractItemModel;
class QBoxLayout;
class QLabel;
class QPushButton;
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

// The PNG and SVG buttons of a tab's figure, named NAME_png and NAME_svg, added to `row`: when
// `ready`, each asks for a file (NAME.png or NAME.svg offered) and hands its path to `save`,
// whose error (empty on success) is shown in a message box.
struct FigureButtons {
  QPushButton* png;
  QPushButton* svg;
};
FigureButtons AddFigureExport(QBoxLayout& row, QWidget& owner, const QString& name,
                              std::function<bool()> ready,
                              std::function<QString(const QString& path)> save);

// A line of text under a tab's controls (a status, an answer): wrapped, and selectable so that
// it can be copied.
QLabel* TextLine(const QString& name);

}  // namespace geofluid::gui
