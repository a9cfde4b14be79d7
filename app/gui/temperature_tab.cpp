#include "temperature_tab.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "charts.h"
#include "export.h"
#include "geothermometry/estimate.h"
#include "geothermometry/solute.h"
#include "number_format.h"
#include "uncertainty/uncertainty.h"

namespace geofluid::gui {

namespace {
constexpr int kChartMinimumWidth = 640;
constexpr int kChartMinimumHeight = 420;
// The solute temperatures marked on the chart (all are in the table): silica after steam loss,
// as a separated water has lost steam, and the Na/K of the full-equilibrium line.
const std::pair<std::string_view, std::string> kMarked[] = {
    {"quartz_steam_loss_fournier1977", "quartz"}, {"na_k_giggenbach1988", "Na/K"}};

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The components an analysis often lacks, each with a picker of the mineral that fixes it.
constexpr std::string_view kFixable[] = {"Al", "Mg", "Fe"};

const engine::Dataset* kDatasets[] = {&engine::Dataset::Of(thermo::DatasetId::kSolveq),
                                      &engine::Dataset::Of(thermo::DatasetId::kSupcrt)};

QStandardItem* Cell(const QString& text) { return new QStandardItem(text); }
QStandardItem* Celsius(std::optional<double> t) {
  auto* item = new QStandardItem(t ? Fixed(*t, 1) : QString("-"));
  if (t) item->setData(*t, Qt::UserRole);
  item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

// The band of each mineral of the panel, from the draws of the same dataset; a temperature where
// no draw succeeded is left out.
void AddBands(const uncertainty::Result& result, const geothermometry::Estimate& e,
              charts::SiPanel& panel) {
  for (const uncertainty::DatasetResult& d : result.datasets) {
    if (d.dataset != e.dataset) continue;
    for (const std::string& name : e.used) {
      const int m = e.dataset->HeldMineralIndex(name);
      charts::Band band{name, {}, {}, {}};
      for (const uncertainty::TemperatureResult& t : d.temperatures) {
        const uncertainty::Interval& i = t.si[static_cast<std::size_t>(m - 1)].interval;
        if (i.n == 0) continue;
        band.x.push_back(t.temperature);
        band.low.push_back(i.q05);
        band.high.push_back(i.q95);
      }
      if (!band.x.empty()) panel.bands.push_back(std::move(band));
    }
  }
}
}  // namespace

struct TemperatureTab::Outcome {
  std::vector<geothermometry::Estimate> estimates;
  std::vector<std::string> dataset_errors;  // a dataset that could not be estimated
  std::vector<geothermometry::SoluteTemperature> solute;
  std::vector<geothermometry::SoluteTemperature> solute_reservoir;
  std::string solute_error;
  std::optional<uncertainty::Result> band;
  std::string band_error;
};

QHBoxLayout* TemperatureTab::MakeControls() {
  const auto spin = [](double value, double low, double high, const char* name) {
    auto* box = new QDoubleSpinBox;
    box->setObjectName(name);
    box->setRange(low, high);
    box->setDecimals(1);
    box->setValue(value);
    box->setSuffix(" ℃");
    return box;
  };
  from_ = spin(100, 0, 350, "From");
  to_ = spin(300, 0, 350, "To");
  step_ = spin(5, 0.5, 100, "Step");
  steam_correction_ = new QCheckBox(tr("水蒸気補正を施す"));
  steam_correction_->setObjectName("SteamCorrection");
  steam_correction_->setChecked(true);
  band_ = new QCheckBox(tr("不確かさの帯 (5-95 %)"));
  band_->setObjectName("Band");
  band_->setToolTip(
      tr("成分 5 %、pH 0.1 (1σ) の誤差を乱数で与えて計算を繰り返し、log(Q/K) の 5-95 % "
         "の幅を描きます"));
  draws_ = new QSpinBox;
  draws_->setObjectName("Draws");
  draws_->setRange(20, 5000);
  draws_->setValue(100);
  draws_->setSuffix(tr(" 回"));
  run_ = new QPushButton(tr("計算"));
  run_->setObjectName("Calculate");
  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel(tr("温度範囲")));
  controls->addWidget(from_);
  controls->addWidget(new QLabel("-"));
  controls->addWidget(to_);
  controls->addWidget(new QLabel(tr("刻み")));
  controls->addWidget(step_);
  controls->addWidget(steam_correction_);
  controls->addWidget(band_);
  controls->addWidget(draws_);
  controls->addStretch();
  controls->addWidget(run_);
  return controls;
}

// A component the analysis lacks is fixed at each temperature by equilibrium with a mineral.
QHBoxLayout* TemperatureTab::MakeFixPickers() {
  auto* fixes = new QHBoxLayout;
  fixes->addWidget(new QLabel(tr("平衡で定める成分:")));
  for (std::size_t k = 0; k < std::size(kFixable); ++k) {
    fix_[k] = new QComboBox;
    fix_[k]->setObjectName(QString("Fix_%1").arg(Utf8(kFixable[k])));
    fixes->addWidget(new QLabel(Utf8(kFixable[k])));
    fixes->addWidget(fix_[k]);
  }
  FillFixPickers();
  fixes->addStretch();
  return fixes;
}

QWidget* TemperatureTab::MakeChartPage() {
  auto* chart_page = new QWidget;
  chart_box_ = new QVBoxLayout(chart_page);
  chart_box_->setContentsMargins(0, 0, 0, 0);
  auto* chart_buttons = new QHBoxLayout;
  chart_buttons->addStretch();
  const FigureButtons save = AddFigureExport(
      *chart_buttons, *this, "temperature", [this] { return figure_ != nullptr; },
      [this](const QString& path) {
        const std::string problem = charts::Save(*figure_, QFile::encodeName(path).toStdString(),
                                                 chart_->width(), chart_->height());
        figure_->Resize(QSizeF(chart_->size()));
        return QString::fromStdString(problem);
      });
  save_png_ = save.png;
  save_svg_ = save.svg;
  chart_box_->addLayout(chart_buttons);
  return chart_page;
}

QWidget* TemperatureTab::MakeTablePage() {
  estimates_ = new QStandardItemModel(this);
  table_ = new QTableView;
  auto* table = table_;
  table->setObjectName("EstimateTable");
  table->setModel(estimates_);
  table->verticalHeader()->setVisible(false);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->horizontalHeader()->setStretchLastSection(true);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
  auto* table_buttons = new QHBoxLayout;
  table_buttons->addStretch();
  AddTableExport(*table_buttons, *estimates_, "temperatures");
  auto* table_page = new QWidget;
  auto* table_layout = new QVBoxLayout(table_page);
  table_layout->setContentsMargins(0, 0, 0, 0);
  table_layout->addWidget(table, 1);
  table_layout->addLayout(table_buttons);
  return table_page;
}

TemperatureTab::TemperatureTab(QWidget* parent)
    : QWidget(parent), cache_(std::make_shared<engine::ConditionsCache>()) {
  QHBoxLayout* controls = MakeControls();
  status_ = TextLine("TemperatureStatus");

  minerals_ = new QListWidget;
  minerals_->setObjectName("MineralPicker");
  minerals_->setToolTip(tr("推定に使う鉱物"));
  FillPicker();

  QHBoxLayout* fixes = MakeFixPickers();
  QWidget* chart_page = MakeChartPage();
  QWidget* table_page = MakeTablePage();

  auto* right = new QSplitter(Qt::Vertical);
  right->addWidget(chart_page);
  right->addWidget(table_page);
  right->setStretchFactor(0, 3);
  right->setStretchFactor(1, 1);
  right->setSizes({600, 220});
  auto* split = new QSplitter(Qt::Horizontal);
  split->addWidget(minerals_);
  split->addWidget(right);
  split->setStretchFactor(1, 1);
  split->setSizes({240, 730});

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addLayout(fixes);
  layout->addWidget(status_);
  layout->addWidget(split, 1);

  connect(run_, &QPushButton::clicked, this, [this] { Calculate(); });
  connect(&watcher_, &QFutureWatcher<std::shared_ptr<Outcome>>::finished, this, [this] { Done(); });
  SetSample(std::nullopt, {});
}

TemperatureTab::~TemperatureTab() { watcher_.waitForFinished(); }

void TemperatureTab::SetBand(bool on, int draws) {
  band_->setChecked(on);
  draws_->setValue(draws);
}

void TemperatureTab::FillPicker() {
  // Each mineral once under its common name, whichever dataset spells it how; the usual
  // alteration assemblage checked.
  std::vector<std::string> names, defaults;
  for (const engine::Dataset* d : kDatasets) {
    for (int m = 1; m <= d->MineralCount(); ++m) {
      // A mineral the other dataset lists under another spelling is the same line.
      const std::string name(d->CommonName(m));
      const bool listed = std::any_of(names.begin(), names.end(), [&](const std::string& n) {
        return d->MineralIndexOf(n) == m;
      });
      if (!listed) names.push_back(name);
    }
    for (const std::string& name : geothermometry::DefaultMinerals(*d)) {
      if (const std::optional<int> m = d->MineralIndexOf(name))
        defaults.emplace_back(d->CommonName(*m));
    }
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    QStringList holders, spellings;
    for (const engine::Dataset* d : kDatasets)
      if (const std::optional<int> m = d->MineralIndexOf(name)) {
        holders << Utf8(d->title);
        spellings << QString("%1: %2").arg(Utf8(d->title), Utf8(d->MineralName(*m)));
      }
    auto* item = new QListWidgetItem(
        QString("%1  (%2)").arg(QString::fromStdString(name), holders.join(", ")), minerals_);
    item->setData(Qt::UserRole, QString::fromStdString(name));
    item->setToolTip(spellings.join("\n"));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    const bool checked = std::find(defaults.begin(), defaults.end(), name) != defaults.end();
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    if (checked) default_checks_ << QString::fromStdString(name);
  }
  default_checks_.sort();
}

void TemperatureTab::FillFixPickers() {
  // Per component the minerals holding it, in either dataset, by common name.
  for (std::size_t k = 0; k < std::size(kFixable); ++k) {
    QComboBox* box = fix_[k];
    box->addItem(tr("なし"), QString());
    const int c = *engine::ComponentIndex(kFixable[k]);
    std::vector<std::string> names;
    for (const engine::Dataset* d : kDatasets)
      for (int m = 1; m <= d->MineralCount(); ++m) {
        const std::string name(d->CommonName(m));
        if (d->ComponentMoles(m, c) > 0.0 &&
            std::find(names.begin(), names.end(), name) == names.end() &&
            !std::any_of(names.begin(), names.end(),
                         [&](const std::string& n) { return d->MineralIndexOf(n) == m; }))
          names.push_back(name);
      }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
      box->addItem(QString::fromStdString(name), QString::fromStdString(name));
  }
}

void TemperatureTab::SetFix(const QString& component, const QString& mineral) {
  for (std::size_t k = 0; k < std::size(kFixable); ++k) {
    if (component != Utf8(kFixable[k])) continue;
    QComboBox* box = fix_[k];
    if (mineral.isEmpty()) {
      box->setCurrentIndex(0);
      return;
    }
    for (int i = 1; i < box->count(); ++i)
      for (const engine::Dataset* d : kDatasets) {
        const std::optional<int> m = d->MineralIndexOf(box->itemData(i).toString().toStdString());
        if (m && m == d->MineralIndexOf(mineral.toStdString())) {
          box->setCurrentIndex(i);
          return;
        }
      }
  }
}

QStringList TemperatureTab::CheckedMinerals() const {
  QStringList names;
  for (int i = 0; i < minerals_->count(); ++i)
    if (minerals_->item(i)->checkState() == Qt::Checked)
      names << minerals_->item(i)->data(Qt::UserRole).toString();
  return names;
}

void TemperatureTab::SetChecked(const QString& mineral, bool checked) {
  // Any spelling: the common name or either dataset's.
  for (int i = 0; i < minerals_->count(); ++i) {
    QListWidgetItem* item = minerals_->item(i);
    const std::string name = item->data(Qt::UserRole).toString().toStdString();
    for (const engine::Dataset* d : kDatasets) {
      const std::optional<int> m = d->MineralIndexOf(name);
      if (m && m == d->MineralIndexOf(mineral.toStdString())) {
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        break;
      }
    }
  }
}

bool TemperatureTab::Running() const { return watcher_.isRunning(); }

void TemperatureTab::SetSample(std::optional<engine::Sample> sample, const QString& reason) {
  sample_ = std::move(sample);
  estimates_->clear();
  if (chart_ != nullptr) {
    delete chart_;
    chart_ = nullptr;
    figure_ = nullptr;
  }
  save_png_->setEnabled(false);
  save_svg_->setEnabled(false);
  run_->setEnabled(sample_.has_value() && !Running());
  for (std::size_t k = 0; k < std::size(kFixable); ++k) {
    const bool missing = sample_ && sample_->Component(kFixable[k]) <= 0.0;
    fix_[k]->setToolTip(
        missing ? tr("分析値にない %1 を、各温度でこの鉱物が飽和する (SI = 0) 量とします")
                      .arg(Utf8(kFixable[k]))
                : tr("%1 は分析値にあります。鉱物を選ぶと平衡で定めた量に置き換えます")
                      .arg(Utf8(kFixable[k])));
  }
  status_->setText(sample_ ? tr("pH %1 (%2 ℃ で測定) の試料。「計算」で温度の図を描きます。")
                                 .arg(Fixed(sample_->ph, 2), Fixed(sample_->ph_temperature, 1))
                           : reason);
}

void TemperatureTab::Calculate() {
  if (!sample_ || Running()) return;
  geothermometry::SweepOptions options;
  try {
    options.temperatures =
        geothermometry::TemperatureGrid(from_->value(), to_->value(), step_->value());
  } catch (const std::exception& e) {
    status_->setText(tr("温度範囲: %1").arg(QString::fromStdString(e.what())));
    return;
  }
  options.steam_correction = steam_correction_->isChecked();
  options.parallel = true;
  for (std::size_t k = 0; k < std::size(kFixable); ++k)
    if (const QString mineral = fix_[k]->currentData().toString(); !mineral.isEmpty())
      options.fix.push_back({std::string(kFixable[k]), mineral.toStdString()});
  // Each dataset takes the checked minerals it has.
  std::vector<std::vector<std::string>> sets;
  // The default checks give each dataset its own default set, as the command line does: the
  // two differ in their clinochlore (7A in SOLVEQ, 14A in SUPCRT98).
  QStringList checked = CheckedMinerals();
  checked.sort();
  const bool defaults = checked == default_checks_;
  for (const engine::Dataset* d : kDatasets) {
    if (defaults) {
      sets.push_back(geothermometry::DefaultMinerals(*d));
      continue;
    }
    std::vector<std::string> set;
    for (const QString& name : CheckedMinerals())
      if (const std::optional<int> m = d->MineralIndexOf(name.toStdString()))
        set.emplace_back(d->MineralName(*m));
    sets.push_back(std::move(set));
  }
  if (sets[0].empty() && sets[1].empty()) {
    status_->setText(tr("鉱物を一つ以上選んでください。"));
    return;
  }
  run_->setEnabled(false);
  status_->setText(tr("計算しています…"));
  std::optional<uncertainty::Options> band;
  if (band_->isChecked()) {
    band.emplace();
    band->draws = draws_->value();
    band->temperatures = options.temperatures;
    band->steam_correction = options.steam_correction;
    band->fix = options.fix;
    for (std::size_t d = 0; d < sets.size(); ++d)
      if (!sets[d].empty()) band->datasets.push_back(kDatasets[d]);
    band->estimate = band->solute = band->sensitivity = false;
  }
  watcher_.setFuture(QtConcurrent::run([sample = *sample_, options, sets, band, cache = cache_] {
    auto outcome = std::make_shared<Outcome>();
    for (std::size_t d = 0; d < std::size(kDatasets); ++d) {
      if (sets[d].empty()) {
        outcome->dataset_errors.push_back(std::string(kDatasets[d]->title) +
                                          ": none of the chosen minerals is in this dataset");
        continue;
      }
      try {
        outcome->estimates.push_back(
            geothermometry::EstimateTemperature(sample, *kDatasets[d], sets[d], options, *cache));
      } catch (const std::exception& e) {
        outcome->dataset_errors.push_back(std::string(kDatasets[d]->title) + ": " + e.what());
      }
    }
    geothermometry::Reservoir solutes;
    geothermometry::AssessSolutes(sample, solutes);
    outcome->solute = std::move(solutes.solute);
    outcome->solute_reservoir = std::move(solutes.solute_reservoir);
    outcome->solute_error = solutes.solute_error;
    if (outcome->solute_error.empty()) outcome->solute_error = solutes.reservoir_reason;
    if (band) try {
        outcome->band =
            uncertainty::Run(sample, uncertainty::InputErrors::Defaults(), *band, *cache);
      } catch (const std::exception& e) {
        outcome->band_error = e.what();
      }
    return outcome;
  }));
}

void TemperatureTab::Done() {
  const std::shared_ptr<Outcome> outcome = watcher_.result();
  run_->setEnabled(sample_.has_value());
  ShowChart(*outcome);
  FillTable(*outcome);
  ShowStatus(*outcome);
  table_->resizeColumnsToContents();
  emit Finished();
}

// One panel per dataset, the RMS estimate marked, the solute temperatures lightly.
void TemperatureTab::ShowChart(const Outcome& outcome) {
  charts::SiTemperatureData data;
  data.title = tr("log(Q/K) と温度").toStdString();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const geothermometry::Estimate& e : outcome.estimates) {
    charts::SiPanel panel;
    panel.title = std::string(e.dataset->title);
    std::vector<double> t;
    for (const auto& p : e.sweep.points) t.push_back(p.temperature);
    // Only the minerals that entered the statistics: one lacking its components sits far below
    // and would flatten the others.
    for (const std::string& name : e.used) {
      const int m = e.dataset->HeldMineralIndex(name);
      charts::Curve c{name, t, {}};
      for (const auto& p : e.sweep.points)
        c.y.push_back(p.ok() ? p.si[static_cast<std::size_t>(m - 1)] : nan);
      panel.minerals.push_back(std::move(c));
    }
    if (e.rms.celsius) {
      panel.estimate = *e.rms.celsius;
      panel.estimate_label = "RMS";
    }
    for (const auto& [key, label] : kMarked)
      if (const auto* s = geothermometry::FindSolute(outcome.solute, key);
          s != nullptr && s->celsius && s->warning.empty())
        panel.markers.push_back({label, *s->celsius});
    charts::Curve rms{"RMS", {}, {}}, median{"median", {}, {}};
    for (const auto& s : e.curves) {
      rms.x.push_back(s.temperature);
      rms.y.push_back(s.rms);
      median.x.push_back(s.temperature);
      median.y.push_back(s.median);
    }
    panel.rms = rms;
    panel.median = median;
    if (outcome.band) AddBands(*outcome.band, e, panel);
    data.panels.push_back(std::move(panel));
  }
  banded_.clear();
  for (const auto& panel : data.panels)
    for (const auto& b : panel.bands) banded_.push_back(panel.title + ":" + b.label);
  delete chart_;
  chart_ = nullptr;
  figure_ = nullptr;
  if (!data.panels.empty()) {
    std::unique_ptr<charts::Figure> figure = charts::SiTemperatureChart(data);
    figure_ = figure.get();
    chart_ = charts::MakeView(std::move(figure));
    chart_->setObjectName("TemperatureChart");
    chart_->setMinimumSize(kChartMinimumWidth, kChartMinimumHeight);
    chart_box_->insertWidget(0, chart_, 1);
  }
  save_png_->setEnabled(chart_ != nullptr);
  save_svg_->setEnabled(chart_ != nullptr);
}

// Every criterion of each dataset, then the solute geothermometers.
void TemperatureTab::FillTable(const Outcome& outcome) {
  estimates_->clear();
  estimates_->setHorizontalHeaderLabels(
      {tr("方法"), tr("データセット"), tr("温度 (℃)"), tr("値"), tr("注記")});
  const std::pair<geothermometry::Criterion, const char*> criteria[] = {
      {geothermometry::Criterion::kRms, "RMS"},
      {geothermometry::Criterion::kMedian, "|median|"},
      {geothermometry::Criterion::kMean, "|mean|"},
      {geothermometry::Criterion::kSd, "sd"}};
  for (const geothermometry::Estimate& e : outcome.estimates) {
    for (const auto& [criterion, name] : criteria) {
      const geothermometry::TemperatureEstimate& t = e.Get(criterion);
      QString note = QString::fromStdString(t.reason);
      if (t.on_edge) note = tr("範囲の端");
      estimates_->appendRow({Cell(tr("SI の %1 が最小").arg(name)), Cell(Utf8(e.dataset->title)),
                             Celsius(t.celsius), Cell(t.celsius ? Fixed(t.value, 3) : QString()),
                             Cell(note)});
    }
    // The fixed totals at the grid point nearest the RMS estimate.
    if (e.rms.celsius && !e.sweep.fixes.empty()) {
      const geothermometry::SweepPoint* near = nullptr;
      for (const auto& p : e.sweep.points)
        if (p.ok() && (near == nullptr || std::abs(p.temperature - *e.rms.celsius) <
                                              std::abs(near->temperature - *e.rms.celsius)))
          near = &p;
      for (const auto& f : e.sweep.fixes)
        if (near != nullptr && near->fixed.count(f.key))
          estimates_->appendRow({Cell(tr("%1 を %2 で固定").arg(Utf8(f.key), Utf8(f.name))),
                                 Cell(Utf8(e.dataset->title)), Celsius(near->temperature),
                                 Cell(Scientific(near->fixed.at(f.key))), Cell(tr("mol/kg"))});
    }
    for (const std::string& w : e.warnings)
      estimates_->appendRow({Cell(tr("注意")), Cell(Utf8(e.dataset->title)), Cell(""), Cell(""),
                             Cell(QString::fromStdString(w))});
  }
  // Each solute geothermometer for the water as sampled (its key), then, where its argument
  // depends on concentration, for the reservoir liquid (the key marked so); the flags' reasons
  // in the note.
  const auto solute_row = [&](const geothermometry::SoluteTemperature& s, const QString& label) {
    QString note = QString::fromStdString(!s.reason.empty() ? s.reason : s.warning);
    if (!s.note.empty()) note += (note.isEmpty() ? "" : "; ") + QString::fromStdString(s.note);
    for (const auto& f : s.flags)
      if (f.code != "out_of_range" && f.code != "condition")
        note +=
            (note.isEmpty() ? "" : "; ") + Utf8(f.code) + ": " + QString::fromStdString(f.reason);
    estimates_->appendRow({Cell(label), Cell(Utf8(s.citation)), Celsius(s.celsius),
                           Cell(QString("%1-%2 ℃").arg(s.valid_from).arg(s.valid_to)), Cell(note)});
  };
  for (std::size_t i = 0; i < outcome.solute.size(); ++i) {
    const auto& s = outcome.solute[i];
    solute_row(s, Utf8(s.key));
    if (i < outcome.solute_reservoir.size() && geothermometry::DependsOnConcentration(s.key))
      solute_row(outcome.solute_reservoir[i], Utf8(s.key) + tr(" (貯留層液)"));
  }
}

// Each dataset's RMS estimate, the band's draws and what failed.
void TemperatureTab::ShowStatus(const Outcome& outcome) {
  QStringList problems;
  for (const std::string& e : outcome.dataset_errors) problems << QString::fromStdString(e);
  if (!outcome.band_error.empty())
    problems << tr("不確かさ: %1").arg(QString::fromStdString(outcome.band_error));
  if (!outcome.solute_error.empty())
    problems << tr("溶存成分地化学温度計: %1").arg(QString::fromStdString(outcome.solute_error));
  QString text;
  for (const geothermometry::Estimate& e : outcome.estimates)
    text += QString("%1: RMS %2 ℃  ")
                .arg(Utf8(e.dataset->title), e.rms.celsius ? Fixed(*e.rms.celsius, 1) : "-");
  if (outcome.band)
    text += "\n" + tr("帯: %1 回の抽選 (成分 5 %、pH 0.1 の 1σ)、失敗 %2 回")
                       .arg(outcome.band->draws)
                       .arg(outcome.band->failed_draws);
  if (!problems.isEmpty()) text += "\n" + problems.join("\n");
  status_->setText(text.trimmed());
}

}  // namespace geofluid::gui
