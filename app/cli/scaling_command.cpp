// geofluid-cli scaling: a sample's reservoir fluid boiled to separation temperatures and its
// separated water cooled to reinjection temperatures, with the saturation of the scaling
// minerals at every step, for one sample file or every row of a CSV table.
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "cli_commands.h"
#include "cli_io.h"
#include "form/number_text.h"
#include "geothermometry_plot.h"
#include "interp/steffen.h"
#include "io/csv.h"
#include "io/text.h"
#include "option_checks.h"
#include "platform/errors.h"
#include "sample_file.h"
#include "sample_input.h"
#include "scaling/scaling.h"
#include "scaling/uncertainty.h"
#include "units/units.h"

#if GEOFLUID_HAVE_CHARTS
#include "chart_renderer.h"
#include "scaling_charts.h"
#endif

namespace geofluid::cli {

namespace {

using Json = nlohmann::ordered_json;
using scaling::DatasetPath;
using scaling::Water;

using io::Fixed;
using io::ShortestGeneral;

std::string Sci(double v) { return io::Scientific(v, 3); }

// A comma-separated list of temperatures; throws std::invalid_argument naming the option.
std::vector<double> Temperatures(const std::string& list, const char* option) {
  std::vector<double> values;
  if (!list.empty() && list.back() == ',') {
    throw std::invalid_argument(std::string(option) + ": \"" + list + "\" ends in a comma");
  }
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) {
    const auto t = form::ParseNumber(item);
    if (!t) {
      throw std::invalid_argument(std::string(option) + ": \"" + item +
                                  "\" is not a temperature in °C");
    }
    values.push_back(*t);
  }
  return values;
}

std::vector<std::string> Names(const std::string& list) {
  std::vector<std::string> names;
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) names.push_back(item);
  return names;
}

// ---- JSON ------------------------------------------------------------------------------------

Json Si(const DatasetPath& d, const Water& w) {
  Json si = Json::object();
  for (std::size_t i = 0; i < d.minerals.names.size(); ++i) si[d.minerals.names[i]] = w.si[i];
  return si;
}

Json ToJson(const scaling::Path& p, const scaling::Options& o) {
  Json j;
  j["id"] = io::EscapeLabel(p.id);
  j["degassing"] = o.degassing == scaling::Degassing::kOpen ? "open" : "closed";
  j["stages"] = o.stages;
  Json datasets = Json::object();
  for (const DatasetPath& d : p.datasets) {
    Json dj;
    if (!d.ok()) {
      dj["error"] = d.error;
      dj["answer"] = scaling::Answer(d, o);
      datasets[std::string(d.dataset->key)] = dj;
      continue;
    }
    Json r;
    r["temperature"] = d.reservoir.temperature;
    r["source"] = d.reservoir_source;
    r["pH"] = d.reservoir.ph;
    r["CO2"] = d.reservoir.totals[8];
    r["H2S"] = d.reservoir.totals[10];
    r["si"] = Si(d, d.reservoir);
    r["ssi_amorphous_silica"] = d.reservoir.ssi_amorphous_silica;
    dj["reservoir"] = r;
    Json separation = Json::array();
    for (const auto& s : d.separation) {
      Json sj;
      sj["temperature"] = s.water.temperature;
      if (!s.ok()) {
        sj["error"] = s.error;
        separation.push_back(sj);
        continue;
      }
      sj["steam_fraction"] = s.water.steam_fraction;
      sj["total_steam_fraction"] = s.water.total_steam_fraction;
      sj["pH"] = s.water.ph;
      sj["steam"] = {{"CO2", s.water.steam_co2}, {"H2S", s.water.steam_h2s}};
      sj["liquid"] = {{"CO2", s.water.LiquidCo2()}, {"H2S", s.water.LiquidH2s()}};
      sj["si"] = Si(d, s.water);
      sj["ssi_amorphous_silica"] = s.water.ssi_amorphous_silica;
      Json cooling = Json::array();
      for (std::size_t k = 0; k < s.cooling.size(); ++k) {
        const Water& c = s.cooling[k];
        Json cj;
        cj["temperature"] = c.temperature;
        if (!s.cooling_errors[k].empty()) {
          cj["error"] = s.cooling_errors[k];
        } else {
          cj["pH"] = c.ph;
          cj["si"] = Si(d, c);
          cj["ssi_amorphous_silica"] = c.ssi_amorphous_silica;
        }
        cooling.push_back(cj);
      }
      sj["cooling"] = cooling;
      separation.push_back(sj);
    }
    dj["separation"] = separation;
    dj["warnings"] = d.warnings;
    dj["answer"] = scaling::Answer(d, o);
    datasets[std::string(d.dataset->key)] = dj;
  }
  j["datasets"] = datasets;
  return j;
}

// ---- CSV: one row per water ---------------------------------------------------------------

void WriteCsvHeader(std::ostream& out, const std::vector<std::string>& minerals) {
  out << "id,line,dataset,step,separation,temperature,steam_fraction,total_steam_fraction,pH,"
         "steam_CO2,steam_H2S,liquid_CO2,liquid_H2S,ssi_amorphous_silica";
  for (const auto& m : minerals) out << ",SI_" << m;
  out << ",error\n";
}

void WriteCsvRows(std::ostream& out, const scaling::Path& p, std::size_t line,
                  std::size_t mineral_count) {
  for (const DatasetPath& d : p.datasets) {
    auto row = [&](const char* step, const std::string& ts, double t, const Water* w, bool boiled,
                   const std::string& error) {
      out << io::CsvCell(io::EscapeLabel(p.id)) << ',' << line << ',' << d.dataset->key << ','
          << step << ',' << ts << ',' << (std::isfinite(t) ? ShortestGeneral(t) : "") << ',';
      if (w != nullptr) {
        if (boiled) {
          out << ShortestGeneral(w->steam_fraction) << ','
              << ShortestGeneral(w->total_steam_fraction) << ',';
        } else {
          out << ",,";
        }
        out << ShortestGeneral(w->ph) << ',';
        if (boiled) {
          out << ShortestGeneral(w->steam_co2) << ',' << ShortestGeneral(w->steam_h2s) << ',';
        } else {
          out << ",,";
        }
        out << ShortestGeneral(w->LiquidCo2()) << ',' << ShortestGeneral(w->LiquidH2s()) << ','
            << ShortestGeneral(w->ssi_amorphous_silica);
        for (double si : w->si) out << ',' << ShortestGeneral(si);
      } else {
        out << ",,,,,,," << std::string(mineral_count, ',');
      }
      out << ',' << io::CsvCell(error) << '\n';
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!d.ok()) {
      row("reservoir", "", nan, nullptr, false, d.error);
      continue;
    }
    row("reservoir", "", d.reservoir.temperature, &d.reservoir, false, "");
    for (const auto& s : d.separation) {
      const std::string ts = ShortestGeneral(s.water.temperature);
      row("separation", ts, s.water.temperature, s.ok() ? &s.water : nullptr, true, s.error);
      for (std::size_t k = 0; k < s.cooling.size(); ++k) {
        const bool ok = s.cooling_errors[k].empty();
        row("cooling", ts, s.cooling[k].temperature, ok ? &s.cooling[k] : nullptr, false,
            s.cooling_errors[k]);
      }
    }
  }
}

// ---- Text ------------------------------------------------------------------------------------

void WriteText(std::ostream& out, const scaling::Path& p, const scaling::Options& o) {
  out << "Sample " << io::EscapeLabel(p.id) << ": "
      << (o.degassing == scaling::Degassing::kOpen ? "open (stepwise) degassing"
                                                   : "closed (one-step) degassing")
      << (o.stages ? ", separators in sequence" : "") << "\n";
  for (const DatasetPath& d : p.datasets) {
    out << "\n" << d.dataset->title << "\n";
    if (!d.ok()) {
      out << "  " << d.error << "\n";
      continue;
    }
    out << "  Reservoir " << Fixed(d.reservoir.temperature, 1) << " °C (" << d.reservoir_source
        << "): pH " << Fixed(d.reservoir.ph, 2) << ", CO2 " << Sci(d.reservoir.totals[8])
        << " and H2S " << Sci(d.reservoir.totals[10]) << " mol/kg\n";
    std::string header =
        "  T °C    steam   pH      CO2 steam  CO2 water  H2S steam  H2S water     SSI";
    for (const auto& m : d.minerals.names) {
      std::string label = "  SI " + (m == scaling::kAmorphousSilica ? std::string("am.silica") : m);
      header += label;
    }
    out << header << "\n";
    auto si = [&](const Water& w) {
      std::string text;
      for (std::size_t i = 0; i < w.si.size(); ++i) {
        const std::string& m = d.minerals.names[i];
        const std::size_t width =
            4 + (m == scaling::kAmorphousSilica ? std::string("am.silica").size() : m.size());
        std::string v = Fixed(w.si[i], 2);
        text += std::string(width > v.size() ? width - v.size() : 1, ' ') + v;
      }
      return text;
    };
    for (const auto& s : d.separation) {
      char line[200];
      if (!s.ok()) {
        out << "  " << s.error << "\n";
        continue;
      }
      std::snprintf(line, sizeof line, "  %5.1f  %6.4f  %5.2f  %9.3e  %9.3e  %9.3e  %9.3e  %6.2f",
                    s.water.temperature, s.water.steam_fraction, s.water.ph, s.water.steam_co2,
                    s.water.LiquidCo2(), s.water.steam_h2s, s.water.LiquidH2s(),
                    s.water.ssi_amorphous_silica);
      out << line << si(s.water) << "\n";
      for (std::size_t k = 0; k < s.cooling.size(); ++k) {
        if (!s.cooling_errors[k].empty()) {
          out << "    " << s.cooling_errors[k] << "\n";
          continue;
        }
        const Water& c = s.cooling[k];
        std::snprintf(line, sizeof line, "   -> %5.1f        %5.2f  %*s%6.2f", c.temperature, c.ph,
                      44, "", c.ssi_amorphous_silica);
        out << line << si(c) << "\n";
      }
    }
    for (const auto& w : d.warnings) out << "  warning: " << w << "\n";
  }
  out << "\n";
  for (const DatasetPath& d : p.datasets) out << scaling::Answer(d, o) << "\n";
}

// PATH-boiling.EXT for PATH.EXT.
std::string BoilingPath(const std::string& path) {
  const std::filesystem::path p(path);
  return (p.parent_path() / (p.stem().string() + "-boiling" + p.extension().string())).string();
}

// The SI of amorphous silica of every water over the draws, and the design margin in words.
void WriteUncertainty(std::ostream& out, const scaling::PathUncertainty& u, std::uint64_t seed) {
  out << "\nUncertainty: " << u.draws << " draws, seed " << seed << ", " << u.failed
      << " failed; SI of amorphous silica, median [5 %, 95 %], share of draws oversaturated\n";
  std::string dataset;
  for (const auto& q : u.si) {
    if (q.mineral != scaling::kAmorphousSilica) continue;
    if (q.dataset != dataset) {
      dataset = q.dataset;
      out << "  " << engine::Dataset::FromKey(dataset)->title << "\n";
    }
    char line[160];
    std::snprintf(line, sizeof line, "  %5.1f%s  %6.2f [%6.2f, %6.2f]  %3.0f %%\n", q.separation,
                  q.cooling ? (" -> " + Fixed(*q.cooling, 1)).c_str() : "         ",
                  q.interval.median, q.interval.q05, q.interval.q95, 100.0 * q.oversaturated);
    out << line;
  }
}

std::string MarginInWords(const scaling::PathUncertainty& u, const scaling::Options& o,
                          std::size_t k) {
  const std::string title(o.datasets[k]->title);
  char risk[16];
  std::snprintf(risk, sizeof risk, "%g %%", 100.0 * u.risk);
  if (u.lowest_separation[k]) {
    return title + ": with the input errors, amorphous silica stays undersaturated at " + risk +
           " risk down to a separation temperature of " + Fixed(*u.lowest_separation[k], 1) +
           " °C.";
  }
  return title + ": with the input errors, amorphous silica is oversaturated in more than " + risk +
         " of the draws at every separation temperature asked for.";
}

Json UncertaintyJson(const scaling::PathUncertainty& u, const scaling::Options& o,
                     std::uint64_t seed) {
  Json j;
  j["draws"] = u.draws;
  j["seed"] = seed;
  j["failed_draws"] = u.failed;
  j["risk"] = u.risk;
  Json lowest = Json::object();
  for (std::size_t k = 0; k < o.datasets.size(); ++k) {
    lowest[std::string(o.datasets[k]->key)] =
        u.lowest_separation[k] ? Json(*u.lowest_separation[k]) : Json(nullptr);
  }
  j["lowest_separation_at_risk"] = lowest;
  Json si = Json::array();
  for (const auto& q : u.si) {
    si.push_back({{"dataset", q.dataset},
                  {"mineral", q.mineral},
                  {"separation", q.separation},
                  {"cooling", q.cooling ? Json(*q.cooling) : Json(nullptr)},
                  {"nominal", q.nominal},
                  {"median", q.interval.median},
                  {"q05", q.interval.q05},
                  {"q95", q.interval.q95},
                  {"n", q.interval.n},
                  {"oversaturated", q.oversaturated}});
  }
  j["si"] = si;
  return j;
}

// ---- Chart -----------------------------------------------------------------------------------

std::string Plot(const std::string& path, const scaling::Path& p, const scaling::Options& o) {
#if !GEOFLUID_HAVE_CHARTS
  (void)p;
  (void)o;
  return CheckPlotPath(path);
#else
  std::string error;
  const charts::Renderer* renderer = charts::LoadRenderer(error);
  if (renderer == nullptr) return error;
  const charts::ScalingCharts c =
      charts::ScalingChartData(p, o, "Sample " + io::EscapeLabel(p.id) + ": ");
  const int width = p.datasets.size() > 1 ? 1500 : 900;
  if (std::string problem = renderer->si_temperature(c.design, path, width, 760);
      !problem.empty()) {
    return problem;
  }
  return renderer->si_temperature(c.boiling, BoilingPath(path), width, 760);
#endif
}

}  // namespace

CLI::App* AddScalingCommand(CLI::App& app, ScalingOptions& options) {
  CLI::App* c = app.add_subcommand(
      "scaling",
      "Boil the reservoir fluid to separation temperatures and cool the separated water to "
      "reinjection temperatures: pH, gases and the saturation of the scaling minerals");
  c->add_option("input", options.input,
                "a sample file (.ini, molalities) or a CSV table with one sample per row")
      ->required();
  c->add_option("--reservoir", options.reservoir,
                "reservoir temperature: °C, a solute geothermometer's key (e.g. "
                "quartz_fournier1977) or multicomponent")
      ->required();
  c->add_option("--separation", options.separation,
                "separation temperatures, °C, comma separated, each from the reservoir");
  c->add_option("--stages", options.stages,
                "separators in sequence, °C, comma separated, falling (e.g. 180,120)");
  c->add_option("--cooling", options.cooling, "reinjection temperatures, °C, comma separated")
      ->required();
  c->add_option("--degassing", options.degassing, "closed (default, one step) or open (stepwise)")
      ->check(CLI::IsMember({"closed", "open"}));
  c->add_option("--step", options.step, "the step of open degassing, °C (default 1)");
  AddDatasetOption(*c, options.datasets, DatasetUse::kOneOrBoth);
  c->add_option("--minerals", options.minerals,
                "minerals, comma separated (default: amorphous_silica,quartz,calcite,anhydrite)");
  AddInterpolationOption(*c, options.interpolation);
  AddFormatOption(*c, options.format, {Format::kText, Format::kCsv, Format::kJson},
                  "text (default), csv or json (JSON Lines for a table)");
  c->add_option("--plot", options.plot,
                "draw the design chart to FILE.png or FILE.svg, and the boiling path (pH and "
                "gases) to FILE-boiling.png/.svg")
      ->type_name("FILE");
  AddUnitsOption(*c, options.units);
  AddSteamUnitsOption(*c, options.steam_units);
  AddJobsOption(*c, options.jobs);
  AddDrawOptions(*c, options.draws, 0, 0,
                 "a sample file only: also evaluate the path for N draws of the inputs' errors "
                 "(Monte Carlo, as `uncertainty`), the reservoir temperature given in °C; "
                 "default 0, none");
  RefuseEmptyValues(*c);
  return c;
}

namespace {

// The options as the library takes them, and the mineral names of the first dataset; false
// with the usage error written to `err`.
bool Prepare(const ScalingOptions& options, scaling::Options& run,
             std::vector<std::string>& mineral_names, std::ostream& err) {
  try {
    if (options.separation.empty() == options.stages.empty()) {
      throw std::invalid_argument("give either --separation or --stages");
    }
    run.stages = !options.stages.empty();
    run.separation = Temperatures(run.stages ? options.stages : options.separation,
                                  run.stages ? "--stages" : "--separation");
    run.cooling = Temperatures(options.cooling, "--cooling");
    run.reservoir = scaling::ParseReservoir(options.reservoir);
    run.degassing =
        options.degassing == "open" ? scaling::Degassing::kOpen : scaling::Degassing::kClosed;
    run.open_step = options.step;
    if (!options.minerals.empty()) run.minerals = Names(options.minerals);
    run.datasets = options.datasets;
    run.scheme = options.interpolation;
    scaling::CheckOptions(run);
    for (const auto* d : run.datasets) {
      const auto set = scaling::ResolveMinerals(
          *d, run.minerals.empty() ? scaling::DefaultMinerals() : run.minerals);
      if (d == run.datasets.front()) mineral_names = set.names;
    }
  } catch (const std::invalid_argument& e) {
    err << "error: " << e.what() << '\n';
    return false;
  }
  if (std::string problem = CheckPlotPath(options.plot); !problem.empty()) {
    err << "error: --plot: " << problem << '\n';
    return false;
  }
  if (options.draws.draws > 0 && !run.reservoir.celsius) {
    err << "error: the draws need --reservoir as a temperature in °C\n";
    return false;
  }
  return true;
}

}  // namespace

int RunScalingOfSample(const ScalingOptions& options, const engine::Sample& s,
                       const uncertainty::InputErrors& errors, std::ostream& out,
                       std::ostream& err) {
  scaling::Options run;
  std::vector<std::string> mineral_names;
  if (!Prepare(options, run, mineral_names, err)) return kUsageError;
  engine::ConditionsCache cache;
  tbb::task_arena arena(options.jobs > 0 ? options.jobs : tbb::task_arena::automatic);
  scaling::Path p;
  std::optional<scaling::PathUncertainty> u;
  arena.execute([&] {
    p = scaling::RunScaling(s, run, cache);
    if (options.draws.draws > 0) {
      u = scaling::RunPathUncertainty(s, errors, static_cast<std::size_t>(options.draws.draws),
                                      options.draws.seed, run, cache);
    }
  });
  if (options.format == Format::kJson) {
    Json j = ToJson(p, run);
    if (u) j["uncertainty"] = UncertaintyJson(*u, run, options.draws.seed);
    out << j.dump(2) << '\n';
  } else if (options.format == Format::kCsv) {
    WriteCsvHeader(out, mineral_names);
    WriteCsvRows(out, p, 0, mineral_names.size());
  } else {
    std::ostringstream text;
    WriteText(text, p, run);
    std::string body = text.str();
    if (u) {
      // The answers stay last: the draws go before them, their margin after.
      const auto answers = body.rfind("\n\n");
      std::ostringstream drawn;
      WriteUncertainty(drawn, *u, options.draws.seed);
      body.insert(answers + 1, drawn.str());
      for (std::size_t k = 0; k < run.datasets.size(); ++k)
        body += MarginInWords(*u, run, k) + "\n";
    }
    out << body;
  }
  if (!options.plot.empty()) {
    if (std::string problem = Plot(options.plot, p, run); !problem.empty()) {
      err << "error: --plot: " << problem << '\n';
      return kRunError;
    }
  }
  for (const auto& d : p.datasets) {
    if (!d.ok()) return kRunError;
  }
  return kOk;
}

namespace {

// --draws and --error, checked before anything is read; false with the usage error written.
bool CheckDrawOptions(const ScalingOptions& options, std::ostream& err) {
  uncertainty::InputErrors errors = uncertainty::InputErrors::Defaults();
  if (options.draws.draws > 0) {
    try {
      if (!IsIni(options.input)) {
        throw std::invalid_argument("--draws takes one sample file, not a table");
      }
      for (const auto& e : options.draws.errors) uncertainty::SetError(errors, e);
    } catch (const std::invalid_argument& e) {
      err << "error: " << e.what() << '\n';
      return false;
    } catch (const uncertainty::ErrorSyntax& e) {
      err << "error: --error " << e.what() << '\n';
      return false;
    }
  } else if (!options.draws.errors.empty()) {
    err << "error: --error needs --draws\n";
    return false;
  }
  if (options.plot.size() && !IsIni(options.input)) {
    err << "error: --plot draws the chart of one sample file, not of a table\n";
    return false;
  }
  return true;
}

int RunScalingOfSampleFile(const ScalingOptions& options, std::ostream& out, std::ostream& err) {
  const std::optional<engine::Sample> loaded = SampleFromFileOrSay(options.input, err);
  if (!loaded) return kUsageError;
  const engine::Sample& s = *loaded;
  uncertainty::InputErrors errors = uncertainty::InputErrors::Defaults();
  if (options.draws.draws > 0) {
    // The sample file's [errors], then --error over them, as `uncertainty` takes them.
    uncertainty::ErrorList list(errors);
    for (const auto& e : sample::LoadSample(options.input).errors) {
      const std::string where =
          "the sample file " + options.input + ", line " + std::to_string(e.line) + ", [errors]: ";
      try {
        if (std::string w = list.Set(e.key, e.value); !w.empty())
          err << "warning: " << where << w << '\n';
      } catch (const uncertainty::ErrorSyntax& x) {
        err << "error: " << where << x.what() << '\n';
        return kUsageError;
      }
    }
    for (const auto& e : options.draws.errors)
      if (std::string w = list.Set(e); !w.empty()) err << "warning: --error " << w << '\n';
  }
  return RunScalingOfSample(options, s, errors, out, err);
}

// A row that could not be read, in the place of its path.
void WriteUnreadRow(std::ostream& out, Format format, const batch::Job& job,
                    std::size_t mineral_count) {
  if (format == Format::kJson) {
    out << Json{{"id", io::EscapeLabel(job.sample.id)}, {"line", job.line}, {"error", job.fault}}
               .dump()
        << '\n';
  } else if (format == Format::kCsv) {
    out << io::CsvCell(io::EscapeLabel(job.sample.id)) << ',' << job.line << ",,,,,,,,,,,,,"
        << std::string(mineral_count, ',') << io::CsvCell(job.fault) << '\n';
  } else {
    out << "Line " << job.line
        << (job.sample.id.empty() ? "" : " (" + io::EscapeLabel(job.sample.id) + ")") << ": "
        << job.fault << "\n\n";
  }
}

void WriteRowPath(std::ostream& out, Format format, const scaling::Path& p,
                  const scaling::Options& run, std::size_t line, std::size_t mineral_count) {
  if (format == Format::kJson) {
    Json j = ToJson(p, run);
    j["line"] = line;
    out << j.dump() << '\n';
  } else if (format == Format::kCsv) {
    WriteCsvRows(out, p, line, mineral_count);
  } else {
    WriteText(out, p, run);
    out << '\n';
  }
}

// A table: read in chunks, evaluated in parallel, written in input order, so that memory stays
// bounded however long the table.
int RunScalingOfTable(const ScalingOptions& options, const scaling::Options& run,
                      const std::vector<std::string>& mineral_names, std::ostream& out,
                      std::ostream& err) {
  engine::ConditionsCache cache;
  tbb::task_arena arena(options.jobs > 0 ? options.jobs : tbb::task_arena::automatic);
  batch::InputOptions input;
  input.unit = options.units;
  input.gas_unit = options.steam_units;
  const std::unique_ptr<CsvTable> table = OpenCsvTable(options.input, input, err);
  if (table == nullptr) return kUsageError;
  if (options.format == Format::kCsv) WriteCsvHeader(out, mineral_names);
  int failures = 0;
  constexpr std::size_t kChunk = 64;
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
    std::vector<scaling::Path> results(jobs.size());
    arena.execute([&] {
      tbb::parallel_for(std::size_t{0}, jobs.size(), [&](std::size_t i) {
        if (jobs[i].fault.empty()) results[i] = scaling::RunScaling(jobs[i].sample, run, cache);
      });
    });
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      const batch::Job& job = jobs[i];
      const scaling::Path& p = results[i];
      std::string error = job.fault;
      if (error.empty()) {
        for (const auto& d : p.datasets) {
          if (!d.ok() && error.empty()) error = std::string(d.dataset->title) + ": " + d.error;
        }
      }
      if (!error.empty()) ++failures;
      if (!job.fault.empty()) {
        WriteUnreadRow(out, options.format, job, mineral_names.size());
      } else {
        WriteRowPath(out, options.format, p, run, job.line, mineral_names.size());
      }
    }
  }
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

int RunScaling(const ScalingOptions& options, std::ostream& out, std::ostream& err) {
  scaling::Options run;
  std::vector<std::string> mineral_names;
  if (!Prepare(options, run, mineral_names, err)) return kUsageError;
  if (!CheckDrawOptions(options, err)) return kUsageError;
  if (IsIni(options.input)) return RunScalingOfSampleFile(options, out, err);
  return RunScalingOfTable(options, run, mineral_names, out, err);
}

}  // namespace geofluid::cli
