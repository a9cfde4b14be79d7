#include "batch_window.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QtConcurrent/QtConcurrentRun>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "batch/batch.h"
#include "export.h"
#include "io/text.h"

namespace geofluid::gui {

namespace {
// The columns of the batch table before the minerals, as the library writes them.
const QStringList kColumns = {
    "id",     "dataset",        "temperature", "status",         "message",
    "pH",     "ionic_strength", "toth",        "steam_fraction", "charge_balance_percent",
    "passes", "trials",         "converged"};
constexpr int kStatusColumn = 3;
constexpr int kShownDigits = 6;
constexpr int kMaxColumnWidth = 220;
// Rows measured, beyond those in view, when the columns are sized at the end of a run: every
// number shows six digits and the widest cells, the messages, are capped, while measuring Qt's
// default of a thousand rows held the end of a run (a cancel's too) for most of a second in the
// sanitizer build.
constexpr int kSizedRows = 100;

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

BatchTable::Cell Text(std::string_view text) { return {Utf8(text), 0.0, false}; }
BatchTable::Cell Number(double v) { return {QString::fromStdString(io::Shortest(v)), v, true}; }

// Result rows for the screen, collected on the worker's thread between two progress reports.
class RowCollector : public batch::RowSink {
 public:
  void Begin(std::span<const engine::Dataset* const> datasets) override {
    minerals_ = batch::MineralColumns(datasets);
  }
  void Write(const batch::Result& r) override {
    BatchTable::Row row = {Text(r.id), Text(r.dataset->key),
                           r.temperature ? Number(*r.temperature) : Text(""),
                           Text(batch::Text(r.status)), Text(r.message)};
    if (r.evaluation) {
      const engine::Evaluation& e = *r.evaluation;
      for (double v : {e.ph, e.IonicStrength(), e.toth, e.steam_fraction, e.ChargeBalancePercent()})
        row.push_back(Number(v));
      row.push_back({QString::number(e.Passes()), static_cast<double>(e.Passes()), true});
      row.push_back({QString::number(e.trials), static_cast<double>(e.trials), true});
      row.push_back(Text(e.Converged() ? "true" : "false"));
      for (const std::string_view mineral : minerals_) {
        row.push_back(e.dataset->MineralIndex(mineral) ? Number(e.Si(mineral)) : Text(""));
      }
    } else {
      row.resize(static_cast<std::size_t>(kColumns.size()) + minerals_.size());
    }
    rows_.push_back(std::move(row));
  }
  std::vector<BatchTable::Row> Take() { return std::exchange(rows_, {}); }

 private:
  std::vector<std::string_view> minerals_;
  std::vector<BatchTable::Row> rows_;
};
}  // namespace

// ---- BatchTable ----------------------------------------------------------------------------

void BatchTable::Reset(QStringList columns) {
  beginResetModel();
  columns_ = std::move(columns);
  rows_.clear();
  endResetModel();
}

void BatchTable::Append(std::vector<Row> rows) {
  if (rows.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
  for (Row& row : rows) rows_.push_back(std::move(row));
  endInsertRows();
}

int BatchTable::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int BatchTable::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant BatchTable::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Row& row = rows_[static_cast<std::size_t>(index.row())];
  if (static_cast<std::size_t>(index.column()) >= row.size()) return {};
  const Cell& cell = row[static_cast<std::size_t>(index.column())];
  switch (role) {
    case Qt::DisplayRole:
      return cell.is_number ? QString::number(cell.number, 'g', kShownDigits) : cell.text;
    case Qt::EditRole:  // the text of the CSV output
    case Qt::ToolTipRole:
      return cell.text;
    case Qt::UserRole:  // for sorting
      return cell.is_number ? QVariant(cell.number) : QVariant(cell.text);
    case Qt::TextAlignmentRole:
      return cell.is_number ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::BackgroundRole: {
      const QString status = row[kStatusColumn].text;
      if (status == "error") return QColor(250, 215, 210);
      if (status == "warning") return QColor(252, 240, 200);
      return {};
    }
    default:
      return {};
  }
}

QVariant BatchTable::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  return columns_.value(section);
}

// ---- BatchWindow ---------------------------------------------------------------------------

struct BatchWindow::Outcome {
  std::string error;  // nothing was evaluated: the table could not be opened, or a usage error
  batch::Summary summary;
  std::vector<BatchTable::Row> rows;  // those not yet handed to the window
  std::string csv, json;
};

// The table to read and how: the file, the temperatures, the datasets and the units.
QFormLayout* BatchWindow::MakeSettings() {
  input_ = new QLineEdit;
  input_->setObjectName("Input");
  input_->setPlaceholderText(tr("試料表 (CSV) のファイル"));
  open_ = new QPushButton(tr("開く…"));
  open_->setObjectName("Open");
  auto* file_row = new QHBoxLayout;
  file_row->addWidget(input_, 1);
  file_row->addWidget(open_);

  temperatures_ = new QLineEdit;
  temperatures_->setObjectName("Temperatures");
  temperatures_->setPlaceholderText(tr("例: 150,200,250 または 100:300:10 (空欄: pH測定温度のみ)"));
  solveq_ = new QCheckBox("SOLVEQ");
  solveq_->setObjectName("Solveq");
  solveq_->setChecked(true);
  supcrt_ = new QCheckBox("SUPCRT98");
  supcrt_->setObjectName("Supcrt");
  supcrt_->setChecked(true);
  auto* datasets = new QHBoxLayout;
  datasets->addWidget(solveq_);
  datasets->addWidget(supcrt_);
  datasets->addStretch();
  steam_correction_ = new QCheckBox(tr("水蒸気補正を施す"));
  steam_correction_->setObjectName("SteamCorrection");
  steam_correction_->setChecked(true);
  unit_ = new QComboBox;
  unit_->setObjectName("Unit");
  for (const auto unit :
       {units::Concentration::kMolPerKgWater, units::Concentration::kMgPerKgSolution,
        units::Concentration::kMgPerLitre})
    unit_->addItem(Utf8(units::Text(unit)), Utf8(units::Text(unit)));
  unit_->setToolTip(tr("units 列のない行の単位"));
  steam_unit_ = new QComboBox;
  steam_unit_->setObjectName("SteamUnit");
  steam_unit_->addItem(tr("水の単位に従う"), QString());
  for (const auto unit :
       {units::GasUnit::kMolPerKg, units::GasUnit::kMmolPerKg, units::GasUnit::kMgPerKg})
    steam_unit_->addItem(Utf8(units::Text(unit)), Utf8(units::Text(unit)));
  steam_unit_->setToolTip(tr("steam_units 列のない行の蒸気中 CO2, H2S の単位"));

  auto* form = new QFormLayout;
  form->addRow(tr("試料表:"), file_row);
  form->addRow(tr("温度 (℃):"), temperatures_);
  form->addRow(tr("データセット:"), datasets);
  form->addRow(tr("熱水の単位:"), unit_);
  form->addRow(tr("蒸気の単位:"), steam_unit_);
  form->addRow(QString(), steam_correction_);
  return form;
}

QHBoxLayout* BatchWindow::MakeRunRow() {
  run_ = new QPushButton(tr("実行"));
  run_->setObjectName("Run");
  cancel_ = new QPushButton(tr("中止"));
  cancel_->setObjectName("Cancel");
  progress_ = new QProgressBar;
  progress_->setObjectName("Progress");
  progress_->setValue(0);
  auto* run_row = new QHBoxLayout;
  run_row->addWidget(run_);
  run_row->addWidget(cancel_);
  run_row->addWidget(progress_, 1);
  return run_row;
}

QHBoxLayout* BatchWindow::MakeSaveRow() {
  save_csv_ = new QPushButton(tr("CSV保存…"));
  save_csv_->setObjectName("SaveCsv");
  save_json_ = new QPushButton(tr("JSON保存…"));
  save_json_->setObjectName("SaveJson");
  auto* save_row = new QHBoxLayout;
  save_row->addStretch();
  save_row->addWidget(save_csv_);
  save_row->addWidget(save_json_);
  return save_row;
}

BatchWindow::BatchWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("BatchWindow");
  setWindowTitle(tr("多数の試料"));

  QFormLayout* form = MakeSettings();
  QHBoxLayout* run_row = MakeRunRow();
  status_ = TextLine("Status");

  table_ = new BatchTable(this);
  auto* sorted = new QSortFilterProxyModel(this);
  sorted->setSourceModel(table_);
  sorted->setSortRole(Qt::UserRole);
  view_ = new QTableView;
  view_->setObjectName("Results");
  view_->setModel(sorted);
  view_->setSortingEnabled(true);
  view_->sortByColumn(-1, Qt::AscendingOrder);
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  view_->horizontalHeader()->setResizeContentsPrecision(kSizedRows);

  QHBoxLayout* save_row = MakeSaveRow();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(run_row);
  layout->addWidget(status_);
  layout->addWidget(view_, 1);
  layout->addLayout(save_row);

  connect(open_, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, tr("試料表を開く"), input_->text(),
                                                      tr("CSV (*.csv);;すべてのファイル (*)"));
    if (!path.isEmpty()) SetInput(path);
  });
  connect(run_, &QPushButton::clicked, this, [this] { Start(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { Cancel(); });
  connect(save_csv_, &QPushButton::clicked, this,
          [this] { Save(csv_, tr("CSVファイル (*.csv)"), ".csv"); });
  connect(save_json_, &QPushButton::clicked, this,
          [this] { Save(json_, tr("JSONファイル (*.json)"), ".json"); });
  connect(&watcher_, &QFutureWatcher<std::shared_ptr<Outcome>>::finished, this, [this] { Done(); });
  SetRunning(false);
  save_csv_->setEnabled(false);
  save_json_->setEnabled(false);
  resize(1000, 640);
}

BatchWindow::~BatchWindow() {
  // The worker must not outlive the window it reports to.
  if (stop_) stop_->store(true);
  watcher_.waitForFinished();
}

void BatchWindow::closeEvent(QCloseEvent* event) {
  if (Running()) {
    Cancel();
    watcher_.waitForFinished();
  }
  event->accept();
}

void BatchWindow::SetInput(const QString& path) { input_->setText(path); }

bool BatchWindow::Running() const { return watcher_.isRunning(); }

QString BatchWindow::Status() const { return status_->text(); }

void BatchWindow::SetRunning(bool running) {
  run_->setEnabled(!running);
  cancel_->setEnabled(running);
  for (QWidget* w : std::initializer_list<QWidget*>{input_, open_, temperatures_, solveq_, supcrt_,
                                                    steam_correction_, unit_, steam_unit_})
    w->setEnabled(!running);
}

bool BatchWindow::Start() {
  if (Running()) return false;
  const QString path = input_->text().trimmed();
  batch::BatchOptions options;
  if (solveq_->isChecked())
    options.evaluation.datasets.push_back(engine::Dataset::FromKey("solveq"));
  if (supcrt_->isChecked())
    options.evaluation.datasets.push_back(engine::Dataset::FromKey("supcrt"));
  options.input.unit = *units::ConcentrationFromText(unit_->currentData().toString().toStdString());
  if (const QString gas = steam_unit_->currentData().toString(); !gas.isEmpty())
    options.input.gas_unit = units::GasUnitFromText(gas.toStdString());
  options.input.steam_correction = steam_correction_->isChecked();
  options.evaluation.steam_correction = steam_correction_->isChecked();
  // Small chunks: the table and the bar move often; the threads still share each chunk.
  options.chunk_results = 256;

  QString problem;
  if (path.isEmpty())
    problem = tr("試料表 (CSV) を選んでください。");
  else if (options.evaluation.datasets.empty())
    problem = tr("データセットを一つ以上選んでください。");
  else
    try {
      if (!temperatures_->text().trimmed().isEmpty())
        options.input.temperatures =
            batch::ParseTemperatures(temperatures_->text().trimmed().toStdString());
    } catch (const std::exception& e) {
      problem = tr("温度: %1").arg(QString::fromStdString(e.what()));
    }
  if (!problem.isEmpty()) {
    status_->setText(problem);
    return false;
  }

  QStringList columns = kColumns;
  for (const std::string_view mineral : batch::MineralColumns(options.evaluation.datasets))
    columns << "SI_" + Utf8(mineral);
  table_->Reset(columns);
  csv_.clear();
  json_.clear();
  save_csv_->setEnabled(false);
  save_json_->setEnabled(false);
  progress_->setRange(0, 0);  // busy until the rows are counted
  status_->setText(tr("試料表を読んでいます…"));
  SetRunning(true);

  stop_ = std::make_shared<std::atomic<bool>>(false);
  const std::string file = QFile::encodeName(path).toStdString();
  const std::shared_ptr<std::atomic<bool>> stop = stop_;
  watcher_.setFuture(
      QtConcurrent::run([this, file, options, stop] { return Work(file, options, stop); }));
  return true;
}

std::shared_ptr<BatchWindow::Outcome> BatchWindow::Work(
    const std::string& file, const batch::BatchOptions& options,
    const std::shared_ptr<std::atomic<bool>>& stop) {
  auto outcome = std::make_shared<Outcome>();
  try {
    std::ifstream counted(file, std::ios::binary);
    if (!counted) {
      outcome->error = "cannot open the table " + file + ": " + std::strerror(errno);
      return outcome;
    }
    // The rows first, for the bar; a table that breaks off is reported by the run itself.
    std::size_t total = 0;
    try {
      batch::CsvInput counter(counted, options.input);
      for (batch::Job job; !stop->load() && counter.Next(job); job = {}) ++total;
    } catch (const batch::UsageError&) {
      throw;
    } catch (const std::runtime_error&) {
    }
    QMetaObject::invokeMethod(
        this,
        [this, total] {
          progress_->setRange(0, static_cast<int>(std::max<std::size_t>(total, 1)));
          progress_->setValue(0);
          status_->setText(tr("%1 試料を計算しています…").arg(total));
        },
        Qt::QueuedConnection);

    std::ifstream in(file, std::ios::binary);
    batch::CsvInput input(in, options.input);
    std::ostringstream csv, json;
    auto csv_writer = batch::MakeTableWriter(csv, batch::Format::kCsv);
    auto json_writer = batch::MakeTableWriter(json, batch::Format::kJson);
    RowCollector collector;
    batch::SinkList sink({csv_writer.get(), json_writer.get(), &collector});
    outcome->summary = batch::RunBatch(
        input, options, sink,
        [this, &collector](const batch::Progress& p) {
          QMetaObject::invokeMethod(
              this,
              [this, rows = collector.Take(), samples = p.samples]() mutable {
                table_->Append(std::move(rows));
                progress_->setValue(static_cast<int>(std::min<std::size_t>(
                    samples, static_cast<std::size_t>(progress_->maximum()))));
              },
              Qt::QueuedConnection);
        },
        *stop);
    outcome->rows = collector.Take();
    outcome->csv = csv.str();
    outcome->json = json.str();
  } catch (const std::exception& e) {
    outcome->error = e.what();
  }
  return outcome;
}

void BatchWindow::Cancel() {
  if (!Running() || !stop_) return;
  stop_->store(true);
  status_->setText(tr("中止しています…"));
}

void BatchWindow::Done() {
  const std::shared_ptr<Outcome> outcome = watcher_.result();
  SetRunning(false);
  if (progress_->maximum() == 0) progress_->setRange(0, 1);
  if (!outcome->error.empty()) {
    progress_->setValue(0);
    status_->setText(tr("計算できません: %1").arg(QString::fromStdString(outcome->error)));
    emit Finished();
    return;
  }
  table_->Append(std::move(outcome->rows));
  csv_ = std::move(outcome->csv);
  json_ = std::move(outcome->json);
  const batch::Summary& s = outcome->summary;
  const bool complete = !s.interrupted && s.broken_input.empty();
  if (complete) progress_->setValue(progress_->maximum());
  QString text = tr("%1 試料、%2 行 (エラー %3、警告 %4)")
                     .arg(s.progress.samples)
                     .arg(s.progress.rows)
                     .arg(s.progress.errors)
                     .arg(s.warnings);
  if (s.interrupted)
    text = tr("中止しました。最初の %1").arg(text);
  else if (!s.broken_input.empty())
    text = tr("試料表が途中で壊れています: %1。最初の %2")
               .arg(QString::fromStdString(s.broken_input), text);
  else
    text = tr("完了: %1").arg(text);
  status_->setText(text);
  save_csv_->setEnabled(table_->rowCount() > 0);
  save_json_->setEnabled(table_->rowCount() > 0);
  view_->resizeColumnsToContents();
  // A long message would push the numbers out of sight; its tooltip has it whole.
  for (int c = 0; c < table_->columnCount(); ++c)
    view_->setColumnWidth(c, std::min(view_->columnWidth(c), kMaxColumnWidth));
  emit Finished();
}

void BatchWindow::Save(const std::string& text, const QString& filter, const QString& suffix) {
  QString path = QFileDialog::getSaveFileName(this, tr("保存"), "results" + suffix, filter);
  if (path.isEmpty()) return;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(text.data(), static_cast<qint64>(text.size())) !=
          static_cast<qint64>(text.size()) ||
      !file.commit())
    QMessageBox::critical(this, tr("保存"),
                          tr("%1 を書けません: %2").arg(path, file.errorString()));
}

BatchWindow& OpenBatchWindow(QWidget& owner) {
  auto* window = owner.findChild<BatchWindow*>(QString(), Qt::FindDirectChildrenOnly);
  if (window == nullptr) window = new BatchWindow(&owner);
  window->show();
  window->raise();
  window->activateWindow();
  return *window;
}

}  // namespace geofluid::gui
