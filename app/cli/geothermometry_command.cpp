// geofluid-cli geothermometry: the reservoir temperature of one sample file or of every row of a
// CSV table, by multicomponent geothermometry in each dataset and by the solute
// geothermometers.
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "cli_commands.h"
#include "cli_io.h"
#include "geothermometry/estimate.h"
#include "geothermometry/output.h"
#include "geothermometry_plot.h"
#include "interp/steffen.h"
#include "io/text.h"
#include "option_checks.h"
#include "platform/errors.h"
#include "sample_file.h"
#include "sample_input.h"

namespace geofluid::cli {

namespace {

using geothermometry::Reservoir;

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) {
    items.emplace_back(io::Trim(item));
  }
  return items;
}

// COMPONENT=MINERAL, each its own option or comma separated.
std::vector<geothermometry::FixedComponent> ParseFixes(const std::vector<std::string>& options) {
  std::vector<geothermometry::FixedComponent> fixes;
  for (const std::string& option : options) {
    for (const std::string& item : SplitList(option))
      fixes.push_back(geothermometry::ParseFix(item));
  }
  return fixes;
}

}  // namespace

CLI::App* AddGeothermometryCommand(CLI::App& app, GeothermometryOptions& options) {
  CLI::App* c = app.add_subcommand(
      "geothermometry",
      "Reservoir temperature: mineral saturation against temperature in each dataset, and the "
      "solute geothermometers");
  c->add_option("input", options.input,
                "a sample file (.ini, molalities) or a CSV table with one sample per row")
      ->required();
  AddDatasetOption(*c, options.datasets, DatasetUse::kOneOrBoth);
  AddTemperatureOptions(*c, options.temperatures, Grid{100.0, 300.0, 5.0},
                        "the sweep; default 100:300:5");
  auto* minerals = c->add_option(
      "--minerals", options.minerals,
      "the mineral set, comma separated: names as `geofluid-cli constants` prints them for "
      "either dataset, or the common names (albite_low, clinochlore_14a, ...); default: quartz, "
      "albite, microcline, muscovite, clinochlore, clinozoisite, prehnite, wairakite, "
      "laumontite, calcite, anhydrite; auto: the default set less the minerals that cannot "
      "inform this sample's estimate, each named with the reason");
  c->add_option("--minerals-file", options.minerals_file,
                "the mineral set from a text file: names separated by commas or lines, # starts "
                "a comment")
      ->check(CLI::ExistingFile)
      ->excludes(minerals);
  AddInterpolationOption(*c, options.interpolation);
  AddFormatOption(*c, options.format, {Format::kText, Format::kCsv, Format::kJson},
                  "text (default), csv or json (JSON Lines for a table)");
  c->add_option("--plot", options.plot,
                "draw the chart to FILE.png or FILE.svg (and the Giggenbach triangle to "
                "FILE-giggenbach.png/.svg)")
      ->type_name("FILE");
  AddUnitsOption(*c, options.units);
  AddSteamUnitsOption(*c, options.steam_units);
  c->add_flag("--no-steam-correction", options.no_steam_correction,
              "carry the pH without the steam correction");
  AddJobsOption(*c, options.jobs);
  c->add_option("--detection-fraction", options.detection_fraction,
                "a table's \"<x\" (below the detection limit x) is taken as this fraction of x "
                "(default 0.5); \"n.d.\" as 0; both are marked")
      ->check(CLI::Range(0.0, 1.0));
  c->add_option("--fix", options.fix,
                "COMPONENT=MINERAL: at every temperature find the component's total (Al, Mg, Fe, "
                "SiO2, ...) that saturates the mineral, for analyses that lack it; repeatable")
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  c->add_option("--optimize", options.optimize,
                "steam_loss, dilution or both (comma separated): found with the temperature by "
                "minimising the RMS, with their spread")
      ->delimiter(',')
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->check(CLI::IsMember({"steam_loss", "dilution"}));
  c->add_flag("--normalize", options.normalize,
              "divide each log(Q/K) by the moles of its reaction before the statistics, so that "
              "every mineral weighs alike");
  RefuseEmptyValues(*c);
  return c;
}

namespace {

// What every sample of a run shares: the settings, checked before anything is read, the
// warnings of comparing the two interpolations (per dataset), the constants' cache and the
// threads.
struct GeothermometryRun {
  explicit GeothermometryRun(int jobs) : arena(jobs > 0 ? jobs : tbb::task_arena::automatic) {}

  // A row's fix_<component> cells add to --fix, or replace it for their component.
  Reservoir Assess(const engine::Sample& s,
                   const std::vector<std::pair<std::string, std::string>>& row_fix = {}) {
    geothermometry::ReservoirOptions row = run;
    for (const auto& [component, mineral] : row_fix) {
      std::erase_if(row.sweep.fix, [&](const auto& f) { return f.component == component; });
      row.sweep.fix.push_back({component, mineral});
    }
    Reservoir r = geothermometry::AssessReservoir(s, row, cache);
    for (std::size_t k = 0; k < r.estimates.size(); ++k) {
      auto& w = r.estimates[k].warnings;
      w.insert(w.end(), comparison[k].begin(), comparison[k].end());
    }
    return r;
  }

  geothermometry::ReservoirOptions run;
  std::vector<std::vector<std::string>> comparison;
  engine::ConditionsCache cache;
  tbb::task_arena arena;
};

// --minerals or --minerals-file into `minerals`; false with the usage error written.
bool ReadMinerals(const GeothermometryOptions& options, std::vector<std::string>& minerals,
                  std::ostream& err) {
  if (!options.minerals.empty()) minerals = SplitList(options.minerals);
  if (options.minerals_file.empty()) return true;
  std::ifstream file(options.minerals_file);
  std::string line;
  while (std::getline(file, line)) {
    line = line.substr(0, line.find('#'));
    std::erase(line, '\r');
    for (std::string& name : SplitList(line)) {
      if (!name.empty()) minerals.push_back(std::move(name));
    }
  }
  if (minerals.empty()) {
    err << "error: --minerals-file " << options.minerals_file << ": no mineral names in it\n";
    return false;
  }
  return true;
}

// The sample-independent checks, before anything is read or written; false with the usage
// error written.
bool Prepare(const GeothermometryOptions& options, GeothermometryRun& g, std::ostream& err) {
  geothermometry::ReservoirOptions& run = g.run;
  const engine::TableScheme* scheme = options.interpolation;
  const engine::TableScheme* other =
      interp::SchemeByName(scheme->Name() == "steffen" ? "specified" : "steffen");
  run.datasets = options.datasets;
  run.sweep.scheme = scheme;
  run.sweep.steam_correction = !options.no_steam_correction;
  if (!ReadMinerals(options, run.minerals, err)) return false;
  run.sweep.normalize = options.normalize;
  for (const std::string& unknown : options.optimize) {
    (unknown == "steam_loss" ? run.sweep.optimize_steam_loss : run.sweep.optimize_dilution) = true;
  }
  g.comparison.resize(run.datasets.size());
  try {
    run.sweep.fix = ParseFixes(options.fix);
    for (const auto* d : run.datasets) geothermometry::ResolveFixes(*d, run.sweep.fix);
    run.sweep.temperatures = options.temperatures.list;
    if (geothermometry::SortTemperatures(run.sweep.temperatures))
      err << "warning: " << geothermometry::SortedTemperaturesNote(run.sweep.temperatures.size())
          << '\n';
    for (std::size_t k = 0; k < run.datasets.size(); ++k) {
      geothermometry::MineralIndices(
          *run.datasets[k],
          run.minerals.empty() ? geothermometry::DefaultMinerals(*run.datasets[k]) : run.minerals);
    }
  } catch (const std::invalid_argument& e) {
    err << "error: " << e.what() << '\n';
    return false;
  } catch (const geothermometry::UnknownMineral& e) {
    err << "error: " << e.what() << '\n';
    return false;
  }
  const std::string plot_error = CheckPlotPath(options.plot);
  if (!plot_error.empty()) {
    err << "error: --plot: " << plot_error << '\n';
    return false;
  }
  try {
    for (std::size_t k = 0; k < run.datasets.size(); ++k) {
      g.comparison[k] = geothermometry::CompareInterpolations(
          *run.datasets[k], run.minerals, run.sweep.temperatures.front(),
          run.sweep.temperatures.back(), *scheme, *other);
    }
  } catch (const std::exception& e) {
    err << "error: the tables cannot be interpolated over "
        << io::Fixed(run.sweep.temperatures.front(), 1) << "-"
        << io::Fixed(run.sweep.temperatures.back(), 1) << " °C: " << e.what() << '\n';
    return false;
  }
  return true;
}

// Draws --plot when it is given; false with the error written.
bool PlotIfAsked(const std::string& plot, const std::vector<const Reservoir*>& reservoirs,
                 const geothermometry::SweepOptions& sweep, std::ostream& err) {
  if (plot.empty()) return true;
  const std::string problem = PlotReservoir(plot, reservoirs, sweep);
  if (problem.empty()) return true;
  err << "error: --plot: " << problem << '\n';
  return false;
}

int AssessSampleFile(const GeothermometryOptions& options, GeothermometryRun& g, std::ostream& out,
                     std::ostream& err) {
  const std::optional<engine::Sample> loaded = SampleFromFileOrSay(options.input, err);
  if (!loaded) return kUsageError;
  const engine::Sample& s = *loaded;
  const geothermometry::ReservoirOptions& run = g.run;
  const std::string_view interpolation = run.sweep.scheme->Name();
  g.run.sweep.parallel = true;
  Reservoir r;
  g.arena.execute([&] { r = g.Assess(s); });
  if (options.format == Format::kJson) {
    out << geothermometry::ReservoirJson(s, &r, interpolation, {}, nullptr, 2) << '\n';
  } else if (options.format == Format::kCsv) {
    geothermometry::WriteReservoirCsvHeader(out, run.datasets);
    geothermometry::WriteReservoirCsvRow(out, &r, r.id, 0, interpolation, "", run.datasets, &s, {});
  } else {
    geothermometry::WriteReservoirText(out, s, r, interpolation, run.sweep);
  }
  if (!PlotIfAsked(options.plot, {&r}, run.sweep, err)) return kRunError;
  for (const auto& e : r.estimates) {
    if (!e.sweep.ok()) return kRunError;
  }
  return kOk;
}

// One row of a table: its reservoir `r`, or null when the row could not be read (job.fault) or
// assessed; `error` is the row's first fault.
void WriteTableRow(std::ostream& out, Format format, const batch::Job& job, const Reservoir* r,
                   const std::string& error, const geothermometry::ReservoirOptions& run) {
  const std::string_view interpolation = run.sweep.scheme->Name();
  if (format == Format::kJson) {
    const geothermometry::TableRow row{job.line, error};
    out << geothermometry::ReservoirJson(job.sample, r, interpolation, job.below_detection, &row)
        << '\n';
  } else if (format == Format::kCsv) {
    geothermometry::WriteReservoirCsvRow(out, r, job.sample.id, job.line, interpolation, error,
                                         run.datasets, &job.sample, job.below_detection);
  } else if (r == nullptr) {
    out << "Line " << job.line
        << (job.sample.id.empty() ? "" : " (" + io::EscapeLabel(job.sample.id) + ")") << ": "
        << job.fault << "\n\n";
  } else {
    geothermometry::WriteReservoirText(out, job.sample, *r, interpolation, run.sweep);
    out << '\n';
  }
}

// A table: read in chunks, evaluated in parallel, written in input order.
int AssessTable(const GeothermometryOptions& options, GeothermometryRun& g, std::ostream& out,
                std::ostream& err) {
  const geothermometry::ReservoirOptions& run = g.run;
  batch::InputOptions input;
  input.unit = options.units;
  input.gas_unit = options.steam_units;
  input.steam_correction = !options.no_steam_correction;
  input.detection_fraction = options.detection_fraction;
  const std::unique_ptr<CsvTable> table = OpenCsvTable(options.input, input, err);
  if (table == nullptr) return kUsageError;
  if (options.format == Format::kCsv) geothermometry::WriteReservoirCsvHeader(out, run.datasets);
  std::vector<Reservoir> plotted;
  int failures = 0;
  constexpr std::size_t kChunk = 256;
  bool more = true;
  while (more) {
    std::vector<batch::Job> jobs;
    try {
      more = batch::ReadChunk(*table->rows, kChunk, jobs);
    } catch (const std::exception& e) {
      err << "error: " << options.input << ": " << e.what() << '\n';
      more = false;
      ++failures;
    }
    std::vector<Reservoir> results(jobs.size());
    g.arena.execute([&] {
      tbb::parallel_for(std::size_t{0}, jobs.size(), [&](std::size_t i) {
        if (!jobs[i].fault.empty()) return;
        try {
          results[i] = g.Assess(jobs[i].sample, jobs[i].fix);
        } catch (const std::invalid_argument& e) {
          jobs[i].fault = e.what();
        }
      });
    });
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      const batch::Job& job = jobs[i];
      const Reservoir* r = job.fault.empty() ? &results[i] : nullptr;
      std::string error = job.fault;
      if (r != nullptr) {
        for (const auto& e : r->estimates) {
          if (!e.sweep.ok() && error.empty())
            error = std::string(e.dataset->title) + ": " + e.sweep.error;
        }
      }
      if (!error.empty()) ++failures;
      WriteTableRow(out, options.format, job, r, error, run);
      if (r != nullptr && !options.plot.empty()) plotted.push_back(std::move(results[i]));
    }
  }
  std::vector<const Reservoir*> all;
  for (const auto& r : plotted) all.push_back(&r);
  if (!PlotIfAsked(options.plot, all, run.sweep, err)) return kRunError;
  if (!out) {
    err << "error: cannot write the output: " << std::strerror(errno) << '\n';
    return kRunError;
  }
  if (failures > 0) {
    err << failures << " sample" << (failures == 1 ? "" : "s") << " could not be evaluated\n";
    return kRunError;
  }
  return kOk;
}

}  // namespace

int RunGeothermometry(const GeothermometryOptions& options, std::ostream& out, std::ostream& err) {
  GeothermometryRun g(options.jobs);
  if (!Prepare(options, g, err)) return kUsageError;
  if (IsIni(options.input)) return AssessSampleFile(options, g, out, err);
  return AssessTable(options, g, out, err);
}

}  // namespace geofluid::cli
