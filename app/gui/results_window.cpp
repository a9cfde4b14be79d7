#include "results_window.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <algorithm>
#include <exception>

#include "batch_window.h"
#include "export.h"
#include "number_format.h"
#include "report/report.h"
#include "saturation_chart.h"
#include "scaling_tab.h"
#include "temperature_tab.h"

namespace geofluid::gui {

namespace {
constexpr int kOffset = 8;  // between Form1 and the results window

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int Index(thermo::DatasetId d) { return static_cast<int>(d); }  // SOLVEQ 0, SUPCRT98 1

QStandardItem* Number(const QString& text, double v) {
  auto* item = new QStandardItem(text);
  item->setData(v, Qt::UserRole);
  item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

// The report as the file has it, but with plain line ends for the screen.
QString ReportOf(const form::CalculationResult& r, QString* error) {
  try {
    return QString::fromStdString(report::ReportText(r, r.temperature_text)).remove('\r');
  } catch (const std::exception& e) {
    *error = QString::fromStdString(e.what());
    return {};
  }
}
}  // namespace

RunInput InputOf(const form::Form1& model) {
  RunInput input;
  for (int b = 1; b <= form::kBoxCount; ++b)
    input.box[static_cast<std::size_t>(b)] = model.Text(b).text;
  input.option1 = model.Option1Value();
  input.check1 = model.Check1Value();
  return input;
}

ResultsWindow::ResultsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("ResultsWindow");
  setWindowTitle(tr("計算結果"));
  heading_ = new QLabel;
  heading_->setObjectName("Heading");
  heading_->setWordWrap(true);
  picker_ = new QComboBox;
  picker_->setObjectName("DatasetPicker");
  picker_->setToolTip(tr("報告書と化学種の表に示すデータセット"));
  tabs_ = new QTabWidget;
  tabs_->setObjectName("ResultTabs");

  auto* top = new QHBoxLayout;
  top->addWidget(heading_, 1);
  top->addWidget(new QLabel(tr("データセット:")));
  top->addWidget(picker_);
  auto* many = new QPushButton(tr("多数の試料…"));
  many->setObjectName("OpenBatch");
  many->setToolTip(tr("CSV の試料表をまとめて計算します"));
  connect(many, &QPushButton::clicked, this, [this] { OpenBatchWindow(*this); });
  top->addWidget(many);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(tabs_, 1);

  BuildReportTab();
  BuildSaturationTab();
  BuildSpeciesTab();
  temperature_ = new TemperatureTab;
  temperature_->setObjectName("TemperatureTab");
  tabs_->addTab(temperature_, tr("温度"));
  scaling_ = new ScalingTab;
  scaling_->setObjectName("ScalingTab");
  tabs_->addTab(scaling_, tr("スケール"));
  // The sweeps take a moment: only once the tab is looked at.
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (tabs_->widget(index) == temperature_ && temperature_->Chart() == nullptr)
      temperature_->Calculate();
    if (tabs_->widget(index) == scaling_ && scaling_->DesignChart() == nullptr)
      scaling_->Calculate();
  });
  connect(picker_, &QComboBox::currentIndexChanged, this, [this] { ShowDataset(); });
  resize(900, 720);
}

void ResultsWindow::BuildReportTab() {
  auto* page = new QWidget;
  report_ = new QPlainTextEdit;
  report_->setObjectName("ReportText");
  report_->setReadOnly(true);
  report_->setLineWrapMode(QPlainTextEdit::NoWrap);
  report_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* save = new QPushButton(tr("報告書を保存…"));
  save->setObjectName("SaveReport");
  connect(save, &QPushButton::clicked, this, [this] {
    const form::CalculationResult* r = Shown();
    if (r == nullptr) return;
    const QString path =
        QFileDialog::getSaveFileName(this, tr("保存"), "report.txt", tr("テキスト (*.txt)"));
    if (path.isEmpty()) return;
    QString error;
    std::string text;
    try {
      text = report::ReportText(*r, r->temperature_text);
    } catch (const std::exception& e) {
      error = QString::fromStdString(e.what());
    }
    QSaveFile file(path);
    if (error.isEmpty() && (!file.open(QIODevice::WriteOnly) ||
                            file.write(text.data(), static_cast<qint64>(text.size())) !=
                                static_cast<qint64>(text.size()) ||
                            !file.commit()))
      error = tr("%1 を書けません: %2").arg(path, file.errorString());
    if (!error.isEmpty()) QMessageBox::critical(this, tr("保存"), error);
  });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(save);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(report_, 1);
  layout->addLayout(buttons);
  tabs_->addTab(page, tr("報告書"));
}

void ResultsWindow::BuildSaturationTab() {
  auto* scroll = new QScrollArea;
  scroll->setObjectName("SaturationTab");
  scroll->setWidgetResizable(true);
  saturation_ = new QWidget;
  saturation_row_ = new QHBoxLayout(saturation_);
  scroll->setWidget(saturation_);
  tabs_->addTab(scroll, tr("飽和状態"));
}

void ResultsWindow::BuildSpeciesTab() {
  auto* page = new QWidget;
  species_ = new QStandardItemModel(this);
  species_sorted_ = new QSortFilterProxyModel(this);
  species_sorted_->setSourceModel(species_);
  species_sorted_->setSortRole(Qt::UserRole);
  species_view_ = new QTableView;
  species_view_->setObjectName("SpeciesTable");
  species_view_->setModel(species_sorted_);
  species_view_->setSortingEnabled(true);
  species_view_->verticalHeader()->setVisible(false);
  species_view_->setAlternatingRowColors(true);
  species_view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  species_view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  species_view_->verticalHeader()->setDefaultSectionSize(species_view_->fontMetrics().height() + 6);
  auto* note = new QLabel(
      tr("log 活量は常用対数です (報告書の Log(Activity) は ln(活量)/2.303)。灰色: "
         "この温度でデータのない化学種 (log K = 100)。見出しをクリックすると並べ替えます。"));
  note->setWordWrap(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(note, 1);
  AddTableExport(*buttons, *species_sorted_, "species");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(species_view_, 1);
  layout->addLayout(buttons);
  tabs_->addTab(page, tr("化学種"));
}

void ResultsWindow::ShowRun(std::shared_ptr<const form::CalculationResult> result,
                            const RunInput& input, const QString& problem) {
  if (!result) return;
  last_ = Index(result->dataset->id);
  runs_[static_cast<std::size_t>(last_)] = Run{std::move(result), input};
  const Run& run = *runs_[static_cast<std::size_t>(last_)];

  QString heading = QString("<b>%1</b> &nbsp; %2 %3 ℃ &nbsp; (%4)")
                        .arg(Utf8(run.result->dataset->title), tr("計算温度"),
                             Utf8(run.result->temperature_text).toHtmlEscaped(),
                             run.input.option1 ? tr("pH測定温度") : tr("pH測定温度以外"));
  if (!problem.isEmpty())
    heading += "<br><span style='color:#b00'>" +
               tr("報告書は書かれていません: %1").arg(problem.toHtmlEscaped()) + "</span>";
  heading_->setText(heading);
  if (run.input.option1) measured_ = run.input;
  FillPicker();
  ShowDataset();
  FillSaturation();
  UpdateTemperature();
}

void ResultsWindow::UpdateTemperature() {
  const RunInput& latest = runs_[static_cast<std::size_t>(last_)]->input;
  // The picture needs the pH as measured and its temperature: those of the last measured run,
  // while the analysis is still the one in the boxes.
  std::optional<RunInput> source;
  if (measured_ &&
      std::equal(measured_->box.begin() + 1, measured_->box.begin() + form::kAnalysisBoxes + 1,
                 latest.box.begin() + 1))
    source = measured_;
  if (source == temperature_of_ && source) return;  // the same sample: keep the picture
  temperature_of_ = source;
  if (!source) {
    temperature_->SetSample(
        std::nullopt,
        tr("この分析値ではまだ "
           "pH測定温度で計算していません。pH測定温度で一度計算すると、温度の図が描けます。"));
    scaling_->SetSample(std::nullopt, tr("この分析値ではまだ pH測定温度で計算していません。"
                                         "pH測定温度で一度計算すると、スケールの図が描けます。"));
    return;
  }
  form::CalculationInput input;
  input.box = source->box;
  input.option1 = true;
  input.check1 = source->check1;
  try {
    temperature_->SetSample(form::SampleFromBoxes(input), {});
    scaling_->SetSample(form::SampleFromBoxes(input), {});
  } catch (const std::exception& e) {
    temperature_->SetSample(std::nullopt, QString::fromStdString(e.what()));
    scaling_->SetSample(std::nullopt, QString::fromStdString(e.what()));
    return;
  }
  if (tabs_->currentWidget() == temperature_) temperature_->Calculate();
  if (tabs_->currentWidget() == scaling_) scaling_->Calculate();
}

std::vector<const ResultsWindow::Run*> ResultsWindow::Matching() const {
  std::vector<const Run*> runs;
  const auto& last = runs_[static_cast<std::size_t>(last_)];
  if (!last) return runs;
  for (const auto& run : runs_)
    if (run && run->input == last->input) runs.push_back(&*run);
  return runs;
}

void ResultsWindow::FillPicker() {
  const QSignalBlocker block(picker_);
  picker_->clear();
  for (const Run* run : Matching()) {
    const int index = Index(run->result->dataset->id);
    picker_->addItem(Utf8(run->result->dataset->title), index);
    if (index == last_) picker_->setCurrentIndex(picker_->count() - 1);
  }
  picker_->setEnabled(picker_->count() > 1);
}

const form::CalculationResult* ResultsWindow::Shown() const {
  if (picker_->currentIndex() < 0) return nullptr;
  const auto& run = runs_[static_cast<std::size_t>(picker_->currentData().toInt())];
  return run ? run->result.get() : nullptr;
}

void ResultsWindow::ShowDataset() {
  const form::CalculationResult* r = Shown();
  if (r == nullptr) return;

  QString error;
  const QString report = ReportOf(*r, &error);
  report_->setPlainText(error.isEmpty() ? report : tr("報告書を作れません: %1").arg(error));

  species_->clear();
  species_->setHorizontalHeaderLabels(
      {tr("化学種"), tr("電荷"), tr("重量モル濃度"), tr("活量係数"), tr("活量"), tr("log 活量")});
  const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
  int order = 0;
  for (const engine::SpeciesResult& s : r->Species()) {
    // "Na       (+)" as the dataset pads it reads "Na(+)".
    auto* name = new QStandardItem(Utf8(s.name).simplified().replace(" (", "("));
    // Sorting by name puts them back in the dataset's order.
    name->setData(order++, Qt::UserRole);
    QList<QStandardItem*> row = {name,
                                 Number(QString::number(s.charge), s.charge),
                                 Number(Scientific(s.molality), s.molality),
                                 Number(Fixed(s.gamma, 3), s.gamma),
                                 Number(Scientific(s.activity), s.activity),
                                 Number(Fixed(s.log_activity, 3), s.log_activity)};
    if (s.switched_off)
      for (QStandardItem* item : row) {
        item->setForeground(grey);
        item->setToolTip(tr("この温度でデータがありません"));
      }
    species_->appendRow(row);
  }
  species_view_->sortByColumn(-1, Qt::AscendingOrder);
  species_sorted_->sort(-1);
}

void ResultsWindow::FillSaturation() {
  while (QLayoutItem* item = saturation_row_->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  std::pair<double, double> range{0.0, 0.0};
  const std::vector<const Run*> runs = Matching();
  for (const Run* run : runs)
    for (const engine::MineralResult& m : run->result->Minerals())
      range = {std::min(range.first, m.si), std::max(range.second, m.si)};
  // Side by side, the same mineral on the same line: every mineral of either dataset once, by
  // common name, highest mean SI over the datasets that have it on top.
  std::vector<std::string> rows;
  if (runs.size() > 1) {
    std::vector<std::pair<double, std::string>> order;
    for (const Run* run : runs) {
      const engine::Dataset& d = *run->result->dataset;
      for (int m = 1; m <= d.MineralCount(); ++m) {
        const std::string name(d.CommonName(m));
        if (std::any_of(order.begin(), order.end(),
                        [&](const auto& o) { return d.MineralIndexOf(o.second) == m; }))
          continue;
        double sum = 0.0;
        int count = 0;
        for (const Run* other : runs) {
          const engine::Dataset& od = *other->result->dataset;
          if (const std::optional<int> om = od.MineralIndexOf(name)) {
            sum += other->result->Mineral(engine::MineralHandle{&od, *om}).si;
            ++count;
          }
        }
        order.emplace_back(sum / count, name);
      }
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (auto& o : order) rows.push_back(std::move(o.second));
  }
  for (const Run* run : runs) {
    const form::CalculationResult& r = *run->result;
    const QString caption =
        QString("%1, %2 ℃").arg(Utf8(r.dataset->title), Fixed(r.temperature, 1));
    auto* panel = new SaturationPanel(r, caption, range, rows);
    panel->setObjectName(QString("Saturation_%1").arg(Utf8(r.dataset->key)));
    saturation_row_->addWidget(panel, 1);
  }
}

void ShowResultsOf(QWidget& form1, const form::Form1& model) {
  const form::RunOutcome& run = model.LastRun();
  if (!run.result) return;
  auto* window = form1.findChild<ResultsWindow*>(QString(), Qt::FindDirectChildrenOnly);
  const bool fresh = window == nullptr;
  if (fresh) window = new ResultsWindow(&form1);
  window->ShowRun(run.result, InputOf(model),
                  run.completed ? QString() : QString::fromStdString(run.error));
  if (fresh) window->move(form1.frameGeometry().topRight() + QPoint(kOffset, 0));
  window->show();
  window->raise();
}

}  // namespace geofluid::gui
