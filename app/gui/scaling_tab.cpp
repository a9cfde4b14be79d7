#include "scaling_tab.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <exception>

#include "batch/batch.h"
#include "charts.h"
#include "export.h"
#include "number_format.h"
#include "scaling/scaling.h"
#include "scaling_charts.h"

namespace geofluid::gui {

namespace {
constexpr int kChartMinimumWidth = 640;
constexpr int kChartMinimumHeight = 300;
}  // namespace

struct ScalingTab::Outcome {
  scaling::Options options;
  scaling::Path path;
  QString answer;
  std::string error;  // the options or the minerals could not be used
};

ScalingTab::ScalingTab(QWidget* parent)
    : QWidget(parent), cache_(std::make_shared<engine::ConditionsCache>()) {
  reservoir_ = new QComboBox;
  reservoir_->setObjectName("Reservoir");
  reservoir_->setEditable(true);
  for (const std::string& key : scaling::ReservoirKeys())
    reservoir_->addItem(QString::fromStdString(key));
  reservoir_->setCurrentText("quartz_fournier1977");
  reservoir_->setToolTip(tr("温度 (℃) か、地化学温度計のキー (multicomponent は多成分平衡)"));
  separation_ = new QLineEdit("200,180,160,140,120,100");
  separation_->setObjectName("Separation");
  separation_->setToolTip(tr("℃、カンマ区切り (100:200:10 のような範囲も可)"));
  stages_ = new QCheckBox(tr("直列の分離器"));
  stages_->setObjectName("Stages");
  stages_->setToolTip(tr("分離温度を高圧から低圧への順の段として扱います"));
  cooling_ = new QLineEdit("90,70,50,30");
  cooling_->setObjectName("Cooling");
  cooling_->setToolTip(tr("℃、カンマ区切り"));
  degassing_ = new QComboBox;
  degassing_->setObjectName("Degassing");
  degassing_->addItem(tr("閉鎖系 (一段)"));
  degassing_->addItem(tr("開放系 (1 ℃ 刻み)"));
  run_ = new QPushButton(tr("計算"));
  run_->setObjectName("CalculateScaling");

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel(tr("貯留層")));
  controls->addWidget(reservoir_);
  controls->addWidget(new QLabel(tr("分離温度")));
  controls->addWidget(separation_, 1);
  controls->addWidget(stages_);
  controls->addWidget(new QLabel(tr("還元温度")));
  controls->addWidget(cooling_, 1);
  controls->addWidget(degassing_);
  controls->addWidget(run_);

  status_ = TextLine("ScalingStatus");
  answer_ = TextLine("ScalingAnswer");

  // One chart at a time: each needs the height for its SI axis to stay legible.
  charts_ = new QTabWidget;
  charts_->setObjectName("ScalingCharts");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  // The design chart to the file chosen, the boiling path beside it as NAME-boiling.EXT, as
  // the command line's --plot writes them.
  const FigureButtons save = AddFigureExport(
      *buttons, *this, "scaling", [this] { return design_figure_ != nullptr; },
      [this](const QString& path) { return SaveCharts(path); });
  save_png_ = save.png;
  save_svg_ = save.svg;

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(status_);
  layout->addWidget(charts_, 1);
  layout->addWidget(answer_);
  layout->addLayout(buttons);

  connect(run_, &QPushButton::clicked, this, [this] { Calculate(); });
  connect(&watcher_, &QFutureWatcher<std::shared_ptr<Outcome>>::finished, this, [this] { Done(); });
  SetSample(std::nullopt, {});
}

ScalingTab::~ScalingTab() { watcher_.waitForFinished(); }

QString ScalingTab::SaveCharts(const QString& path) {
  const QFileInfo info(path);
  const QString beside = info.dir().filePath(info.completeBaseName() + "-boiling." + info.suffix());
  std::string problem = charts::Save(*design_figure_, QFile::encodeName(path).toStdString(),
                                     design_->width(), design_->height());
  design_figure_->Resize(QSizeF(design_->size()));
  if (problem.empty() && boiling_figure_ != nullptr) {
    problem = charts::Save(*boiling_figure_, QFile::encodeName(beside).toStdString(),
                           boiling_->width(), boiling_->height());
    boiling_figure_->Resize(QSizeF(boiling_->size()));
  }
  return QString::fromStdString(problem);
}

bool ScalingTab::Running() const { return watcher_.isRunning(); }
QString ScalingTab::Answer() const { return answer_->text(); }
QString ScalingTab::Status() const { return status_->text(); }

void ScalingTab::ClearCharts() {
  delete design_;
  delete boiling_;
  design_ = boiling_ = nullptr;
  design_figure_ = boiling_figure_ = nullptr;
  save_png_->setEnabled(false);
  save_svg_->setEnabled(false);
}

void ScalingTab::SetSample(std::optional<engine::Sample> sample, const QString& reason) {
  sample_ = std::move(sample);
  ClearCharts();
  answer_->clear();
  run_->setEnabled(sample_.has_value() && !Running());
  status_->setText(sample_
                       ? tr("pH %1 (%2 ℃ で測定) の試料。「計算」で沸騰・冷却の経路を求めます。")
                             .arg(Fixed(sample_->ph, 2), Fixed(sample_->ph_temperature, 1))
                       : reason);
}

void ScalingTab::Calculate() {
  if (!sample_ || Running()) return;
  scaling::Options options;
  try {
    // The same words for the same mistakes as the command line's options.
    const auto list = [](const QLineEdit* edit, const char* name) {
      try {
        return batch::ParseTemperatures(edit->text().trimmed().toStdString());
      } catch (const std::exception& e) {
        throw std::invalid_argument(std::string(name) + ": " + e.what());
      }
    };
    options.reservoir = scaling::ParseReservoir(reservoir_->currentText().trimmed().toStdString());
    options.stages = stages_->isChecked();
    options.separation = list(separation_, options.stages ? "stages" : "separation");
    options.cooling = list(cooling_, "reinjection");
    options.degassing =
        degassing_->currentIndex() == 1 ? scaling::Degassing::kOpen : scaling::Degassing::kClosed;
    options.datasets = {&engine::Dataset::Of(thermo::DatasetId::kSolveq),
                        &engine::Dataset::Of(thermo::DatasetId::kSupcrt)};
    scaling::CheckOptions(options);
  } catch (const std::exception& e) {
    status_->setText(QString::fromStdString(e.what()));
    return;
  }
  run_->setEnabled(false);
  status_->setText(tr("計算しています…"));
  watcher_.setFuture(QtConcurrent::run([sample = *sample_, options, cache = cache_] {
    auto outcome = std::make_shared<Outcome>();
    outcome->options = options;
    try {
      outcome->path = scaling::RunScaling(sample, options, *cache);
      QStringList lines;
      for (const scaling::DatasetPath& d : outcome->path.datasets)
        lines << QString::fromStdString(d.ok() ? scaling::Answer(d, options)
                                               : std::string(d.dataset->title) + ": " + d.error);
      outcome->answer = lines.join("\n");
    } catch (const std::exception& e) {
      outcome->error = e.what();
    }
    return outcome;
  }));
}

void ScalingTab::Done() {
  const std::shared_ptr<Outcome> outcome = watcher_.result();
  run_->setEnabled(sample_.has_value());
  const int shown = charts_->currentIndex();  // the chart looked at stays in front
  ClearCharts();
  if (!outcome->error.empty()) {
    status_->setText(QString::fromStdString(outcome->error));
    answer_->clear();
    emit Finished();
    return;
  }
  const charts::ScalingCharts data = charts::ScalingChartData(outcome->path, outcome->options, "");
  const auto view = [this](const charts::SiTemperatureData& d, const char* name,
                           const QString& caption, charts::Figure*& figure) {
    std::unique_ptr<charts::Figure> f = charts::SiTemperatureChart(d);
    figure = f.get();
    QWidget* w = charts::MakeView(std::move(f));
    w->setObjectName(name);
    w->setMinimumSize(kChartMinimumWidth, kChartMinimumHeight);
    charts_->addTab(w, caption);
    return w;
  };
  design_ = view(data.design, "ScalingChart", tr("スケール設計図"), design_figure_);
  boiling_ = view(data.boiling, "BoilingChart", tr("沸騰経路の pH とガス"), boiling_figure_);
  charts_->setCurrentIndex(std::max(shown, 0));
  save_png_->setEnabled(true);
  save_svg_->setEnabled(true);

  QStringList notes;
  for (const scaling::DatasetPath& d : outcome->path.datasets) {
    if (!d.ok()) continue;
    QString line = tr("%1: 貯留層 %2 ℃ (%3)、pH %4")
                       .arg(QString::fromStdString(std::string(d.dataset->title)),
                            Fixed(d.reservoir.temperature, 1),
                            QString::fromStdString(d.reservoir_source), Fixed(d.reservoir.ph, 2));
    for (const std::string& w : d.warnings) line += "; " + QString::fromStdString(w);
    notes << line;
  }
  status_->setText(notes.join("\n"));
  answer_->setText(outcome->answer);
  emit Finished();
}

}  // namespace geofluid::gui
