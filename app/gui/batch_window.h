#pragma once

#include <QAbstractTableModel>
#include <QFutureWatcher>
#include <QWidget>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace geofluid::batch {
struct BatchOptions;
}

namespace geofluid::gui {

// The result rows of a batch, as the batch table writes them: the text of a cell and, for a
// number, the number itself.
class BatchTable : public QAbstractTableModel {
  Q_OBJECT

 public:
  struct Cell {
    QString text;
    double number = 0.0;
    bool is_number = false;
  };
  using Row = std::vector<Cell>;

  explicit BatchTable(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
  void Reset(QStringList columns);
  void Append(std::vector<Row> rows);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QStringList columns_;
  std::vector<Row> rows_;
};

// Many samples: a CSV table of analyses evaluated with the chosen datasets at the chosen
// temperatures, off the GUI thread, with progress and Cancel; the result table saved as CSV or
// JSON exactly as `geofluid-cli batch` writes it.
class BatchWindow : public QWidget {
  Q_OBJECT

 public:
  explicit BatchWindow(QWidget* parent = nullptr);
  ~BatchWindow() override;

  void SetInput(const QString& path);
  // Starts a run; false (with the reason in the status line) when the options are wrong.
  bool Start();
  void Cancel();
  bool Running() const;

  const BatchTable& Table() const { return *table_; }
  // The output as the batch library wrote it; complete once the run has finished.
  const std::string& Csv() const { return csv_; }
  const std::string& Json() const { return json_; }
  QString Status() const;

 signals:
  void Finished();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Outcome;
  // Reads the table twice, off the window's thread: the rows for the bar, then the run.
  std::shared_ptr<Outcome> Work(const std::string& file, const batch::BatchOptions& options,
                                const std::shared_ptr<std::atomic<bool>>& stop);
  void Done();
  void Save(const std::string& text, const QString& filter, const QString& suffix);
  void SetRunning(bool running);
  // The widgets of the constructor, each part with its layout.
  QFormLayout* MakeSettings();
  QHBoxLayout* MakeRunRow();
  QHBoxLayout* MakeSaveRow();

  QLineEdit* input_ = nullptr;
  QLineEdit* temperatures_ = nullptr;
  QCheckBox* solveq_ = nullptr;
  QCheckBox* supcrt_ = nullptr;
  QCheckBox* steam_correction_ = nullptr;
  QComboBox* unit_ = nullptr;
  QComboBox* steam_unit_ = nullptr;
  QPushButton* open_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* save_csv_ = nullptr;
  QPushButton* save_json_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QTableView* view_ = nullptr;
  BatchTable* table_ = nullptr;

  std::shared_ptr<std::atomic<bool>> stop_;
  QFutureWatcher<std::shared_ptr<Outcome>> watcher_;
  std::string csv_, json_;
};

// Shows the batch window of `owner`, opening it the first time.
BatchWindow& OpenBatchWindow(QWidget& owner);

}  // namespace geofluid::gui
