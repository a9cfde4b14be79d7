#include <cctype>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "cli_commands.h"
#include "cli_io.h"
#include "geothermometry/sweep.h"
#include "interp/steffen.h"
#include "io/text.h"
#include "option_checks.h"
#include "platform/errors.h"
#include "sample_file.h"
#include "uncertainty/uncertainty.h"
#ifdef GEOFLUID_HAVE_CHARTS
#include <algorithm>
#include <cmath>

#include "chart_renderer.h"
#include "geothermometry/estimate.h"
#endif

namespace geofluid::cli {

namespace {

struct Input {
  engine::Sample sample;
  uncertainty::InputErrors errors;
  std::vector<double> temperatures;  // empty: the options'
  std::string fault;
};

bool IsTable(const std::string& path) {
  const std::string ext = std::filesystem::path(path).extension().string();
  return path == "-" || ext == ".csv" || ext == ".CSV";
}

// The sample file as a typed sample and the errors of its inputs.
Input FromSampleFile(const std::string& path, const UncertaintyOptions& options,
                     std::vector<std::string>& warnings) {
  const sample::SampleFile file = sample::LoadSample(path);
  Input in;
  // Without the steam correction the separation temperature is not needed.
  in.sample = sample::TypedSample(file, path, options.no_steam_correction);
  in.errors = uncertainty::InputErrors::Defaults();
  uncertainty::ErrorList list(in.errors);
  for (const auto& e : file.errors) {
    try {
      if (std::string w = list.Set(e.key, e.value); !w.empty())
        warnings.push_back("the sample file " + path + ", line " + std::to_string(e.line) +
                           ", [errors]: " + w);
    } catch (const uncertainty::ErrorSyntax& x) {
      throw sample::SampleError("the sample file " + path + ", line " + std::to_string(e.line) +
                                ", [errors]: " + x.what());
    }
  }
  return in;
}

std::vector<Input> FromTable(const std::string& path, const UncertaintyOptions& options,
                             std::istream& stdin_stream) {
  std::ifstream file;
  std::istream* stream = &stdin_stream;
  if (path != "-") {
    file.open(path, std::ios::binary);
    // The user's mistake, as in the other commands: a usage error that says why.
    if (const std::string problem = TableOpenProblem(path, file); !problem.empty())
      throw batch::UsageError("cannot open the table " + path + ": " + problem);
    stream = &file;
  }
  const std::string name = path == "-" ? "the table on stdin" : "the table " + path;
  std::vector<Input> inputs;
  for (auto& row : uncertainty::ReadTable(*stream, name, uncertainty::InputErrors::Defaults(),
                                          !options.no_steam_correction,
                                          std::string(units::Text(options.units)))) {
    Input in;
    in.sample = std::move(row.sample);
    in.errors = row.errors;
    in.temperatures = std::move(row.temperatures);
    in.fault = std::move(row.fault);
    inputs.push_back(std::move(in));
  }
  return inputs;
}

#ifdef GEOFLUID_HAVE_CHARTS
std::filesystem::path WithSuffix(const std::filesystem::path& path, const std::string& suffix) {
  std::filesystem::path p = path;
  p.replace_filename(path.stem().string() + suffix + path.extension().string());
  return p;
}

std::string Name(const uncertainty::Result& r) {
  return r.id.empty() ? "the sample" : io::EscapeLabel(r.id);
}

// The fan chart: per dataset the median SI of each mineral of the set with its 5-95 % band, the
// set's RMS below; the median RMS estimate marked.
// The datasets spell some minerals of the set differently (LOW-ALBITE, ALBITE_LOW): a mineral
// is labelled with every spelling, so that it keeps one colour and one legend entry in both
// panels. The default sets list the same minerals in the same order.
std::string Label(const uncertainty::Result& r, const uncertainty::DatasetResult& d,
                  const std::string& name) {
  const auto set = geothermometry::DefaultMinerals(*d.dataset);
  const auto at = std::find(set.begin(), set.end(), name);
  if (at == set.end()) return name;
  std::string label;
  for (const uncertainty::DatasetResult& other : r.datasets) {
    const auto other_set = geothermometry::DefaultMinerals(*other.dataset);
    if (other_set.size() != set.size()) return name;
    const std::string& spelling = other_set[static_cast<std::size_t>(at - set.begin())];
    if (label.empty())
      label = spelling;
    else if (label.find(spelling) == std::string::npos)
      label += " | " + spelling;
  }
  return label;
}

charts::SiTemperatureData FanChart(const uncertainty::Result& r) {
  charts::SiTemperatureData data;
  data.title = "Saturation indices of " + Name(r) + ": median and 5-95 % of " +
               std::to_string(r.draws) + " draws";
  for (const uncertainty::DatasetResult& d : r.datasets) {
    charts::SiPanel panel;
    panel.title = std::string(d.dataset->title);
    std::vector<std::string> set;
    if (d.estimate) set = d.estimate->minerals;
    charts::Curve rms{"RMS", {}, {}}, rms_low, rms_high;
    charts::Band rms_band{"RMS", {}, {}, {}};
    for (const std::string& name : set) {
      const std::optional<int> found = d.dataset->MineralIndex(name);
      if (!found) continue;
      const int m = *found;
      const std::string label = Label(r, d, name);
      charts::Curve curve{label, {}, {}};
      charts::Band band{label, {}, {}, {}};
      for (const uncertainty::TemperatureResult& t : d.temperatures) {
        const uncertainty::Interval& i = t.si[static_cast<std::size_t>(m - 1)].interval;
        if (i.n == 0) continue;
        curve.x.push_back(t.temperature);
        curve.y.push_back(i.median);
        band.x.push_back(t.temperature);
        band.low.push_back(i.q05);
        band.high.push_back(i.q95);
      }
      panel.minerals.push_back(std::move(curve));
      panel.bands.push_back(std::move(band));
    }
    for (const uncertainty::TemperatureResult& t : d.temperatures) {
      if (t.set_rms.n == 0) continue;
      rms.x.push_back(t.temperature);
      rms.y.push_back(t.set_rms.median);
      rms_band.x.push_back(t.temperature);
      rms_band.low.push_back(t.set_rms.q05);
      rms_band.high.push_back(t.set_rms.q95);
    }
    if (!rms.x.empty()) {
      panel.rms = rms;
      panel.statistic_bands.push_back(rms_band);
    }
    if (d.estimate && d.estimate->criteria.front().interval.n > 0) {
      const uncertainty::Interval& i = d.estimate->criteria.front().interval;
      panel.estimate = i.median;
      panel.estimate_label = "RMS median";
    }
    data.panels.push_back(std::move(panel));
  }
  return data;
}

// The histogram of one dataset's RMS temperature estimate over the draws, the solute
// geothermometers of the sample as analysed marked.
charts::HistogramData EstimateHistogram(const uncertainty::Result& r,
                                        const uncertainty::DatasetResult& d) {
  charts::HistogramData data;
  const uncertainty::Interval& i = d.estimate->criteria.front().interval;
  data.title = std::string(d.dataset->title) + ": reservoir temperature of " + Name(r) + ", " +
               std::to_string(i.n) + " of " + std::to_string(r.draws) + " draws";
  data.x_title = "Temperature (°C): bars the multicomponent estimate (RMS minimum over " +
                 std::to_string(d.estimate->minerals.size()) +
                 " minerals), lines the solute geothermometers of the sample";
  data.values = d.estimate->draws.front();
  for (const uncertainty::SoluteResult& s : r.solute)
    if (s.nominal) data.markers.push_back({s.label, *s.nominal});
  return data;
}

// Writes the fan chart to `fan` and one histogram per dataset next to it.
std::vector<std::filesystem::path> SaveCharts(const uncertainty::Result& r,
                                              const std::filesystem::path& fan) {
  std::string error;
  const charts::Renderer* renderer = charts::LoadRenderer(error);
  if (renderer == nullptr) throw std::runtime_error(error);
  std::vector<std::filesystem::path> written;
  const int width = 560 * static_cast<int>(r.datasets.size()) + 120;
  if (std::string e = renderer->si_temperature(FanChart(r), fan.string(), width, 760); !e.empty())
    throw std::runtime_error(e);
  written.push_back(fan);
  for (const uncertainty::DatasetResult& d : r.datasets) {
    if (!d.estimate) continue;
    const auto path = WithSuffix(fan, "-estimate-" + std::string(d.dataset->key));
    if (std::string e = renderer->histogram(EstimateHistogram(r, d), path.string(), 1000, 560);
        !e.empty())
      throw std::runtime_error(e);
    written.push_back(path);
  }
  return written;
}
#endif

}  // namespace

CLI::App* AddUncertaintyCommand(CLI::App& app, UncertaintyOptions& options) {
  CLI::App* c = app.add_subcommand(
      "uncertainty",
      "How sure is the answer: draws the errors of the analysis, pH and temperatures (Monte "
      "Carlo), each draw carried through TOTH and the steam correction to every temperature; "
      "medians and 5-95 % intervals of the pH, the saturation indices, the reservoir temperature "
      "estimate and the solute geothermometers, and the inputs that matter most");
  c->add_option("input", options.input,
                "Sample file (INI, with an optional [errors] section) or CSV table (the columns "
                "of `batch`, plus err_KEY columns; - for stdin)")
      ->required();
  AddDrawOptions(*c, options.draws, 1000, 1, "number of draws (default 1000)");
  AddTemperatureOptions(*c, options.temperatures, Grid{100.0, 300.0, 5.0}, "default 100:300:5");
  AddDatasetOption(*c, options.datasets, DatasetUse::kOneOrBoth);
  AddUnitsOption(*c, options.units);
  c->add_flag("--no-steam-correction", options.no_steam_correction,
              "carry the pH without the steam correction");
  AddFormatOption(*c, options.format, {Format::kText, Format::kCsv, Format::kJson},
                  "text (default), csv or json");
  c->add_option("--plot", options.plot,
                "draw the fan chart of SI against temperature to FILE (.png or .svg) and the "
                "histogram of the temperature estimate per dataset to FILE-estimate-DATASET")
      ->type_name("FILE");
  AddJobsOption(*c, options.jobs);
  c->add_option("--fix", options.fix,
                "COMPONENT=MINERAL: the component's total found at every temperature of every "
                "draw by equilibrium with the mineral, as geothermometry --fix; repeatable")
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  c->add_option("--optimize", options.optimize,
                "steam_loss, dilution or both: found with the temperature in every draw, as "
                "geothermometry --optimize (about twenty sweeps per draw)")
      ->delimiter(',')
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->check(CLI::IsMember({"steam_loss", "dilution"}));
  auto* normalize =
      c->add_flag("--normalize", options.normalize,
                  "the estimate's statistics over log(Q/K) divided by the moles of each reaction");
  // The scaling path instead of the temperature picture: the same draws and errors, the
  // options of `scaling`.
  auto* scaling = c->add_flag(
      "--scaling", options.scaling,
      "the SI of the scaling minerals of a sample file along the boiling and cooling path over "
      "the draws, with --reservoir (°C), --separation or --stages and --cooling as `scaling` "
      "takes them; the design margin in words (amorphous silica undersaturated at 5 % risk)");
  for (CLI::Option* o :
       {c->get_option("--temperatures"), c->get_option("--from"), c->get_option("--to"),
        c->get_option("--step"), normalize, c->get_option("--plot"), c->get_option("--fix"),
        c->get_option("--optimize"), c->get_option("--no-steam-correction")})
    o->excludes(scaling);
  c->add_option("--reservoir", options.reservoir, "with --scaling: reservoir temperature, °C")
      ->needs(scaling);
  c->add_option("--separation", options.separation,
                "with --scaling: separation temperatures, °C, comma separated")
      ->needs(scaling);
  c->add_option("--stages", options.stages,
                "with --scaling: separators in sequence, °C, comma separated, falling")
      ->needs(scaling);
  c->add_option("--cooling", options.cooling,
                "with --scaling: reinjection temperatures, °C, comma separated")
      ->needs(scaling);
  c->add_option("--degassing", options.degassing, "with --scaling: closed (default) or open")
      ->needs(scaling)
      ->check(CLI::IsMember({"closed", "open"}));
  c->add_option("--minerals", options.minerals,
                "with --scaling: minerals, comma separated (default: amorphous_silica,quartz,"
                "calcite,anhydrite)")
      ->needs(scaling);
  RefuseEmptyValues(*c);
  return c;
}

namespace {

// Runs `read`, the reading of the inputs and their errors: a fault of a sample file or of an
// error entry is a usage error, anything else a run error. Returns the exit status of a failure.
template <typename Read>
std::optional<int> ReadInputs(const std::string& input, std::ostream& err, Read read) {
  try {
    read();
    return std::nullopt;
  } catch (const uncertainty::ErrorSyntax& e) {
    err << "error: " << e.what() << '\n';
    return kUsageError;
  } catch (const sample::SampleError& e) {
    err << "error: " << e.what() << '\n';
    return kUsageError;
  } catch (const batch::UsageError& e) {
    err << "error: " << e.what() << '\n';
    return kUsageError;
  } catch (const Error& e) {  // a box of the sample file that is not a number
    err << "error: the sample file " << input << ": " << e.what() << '\n';
    return kUsageError;
  } catch (const std::exception& e) {
    err << "error: " << e.what() << '\n';
    return kRunError;
  }
}

// The draws of a scaling path: the sample file's errors and --error as for the temperature
// picture, evaluated by the code of `scaling --draws`.
int RunScalingDraws(const UncertaintyOptions& options, std::ostream& out, std::ostream& err) {
  if (IsTable(options.input)) {
    err << "error: --scaling takes one sample file, not a table\n";
    return kUsageError;
  }
  for (const auto& [value, name] :
       {std::pair{&options.reservoir, "--reservoir"}, std::pair{&options.cooling, "--cooling"}}) {
    if (value->empty()) {
      err << "error: --scaling needs " << name << '\n';
      return kUsageError;
    }
  }
  std::vector<std::string> warnings;
  Input in;
  if (const auto status = ReadInputs(options.input, err, [&] {
        in = FromSampleFile(options.input, options, warnings);
        uncertainty::ErrorList list(in.errors);
        for (const std::string& item : options.draws.errors)
          if (std::string w = list.Set(item); !w.empty()) warnings.push_back("--error " + w);
      }))
    return *status;
  for (const std::string& w : warnings) err << "warning: " << w << '\n';
  ScalingOptions s;
  s.input = options.input;
  s.reservoir = options.reservoir;
  s.separation = options.separation;
  s.stages = options.stages;
  s.cooling = options.cooling;
  s.degassing = options.degassing;
  s.datasets = options.datasets;
  s.minerals = options.minerals;
  s.interpolation = interp::SchemeByName("specified");  // uncertainty has no --interpolation
  s.format = options.format;
  s.jobs = options.jobs;
  s.draws = options.draws;
  return RunScalingOfSample(s, in.sample, in.errors, out, err);
}

// The settings every sample shares, checked before anything is read; false with the usage
// error written.
bool Prepare(const UncertaintyOptions& options, uncertainty::Options& run, std::ostream& err) {
  run.draws = options.draws.draws;
  run.seed = options.draws.seed;
  run.threads = options.jobs;
  run.steam_correction = !options.no_steam_correction;
  run.datasets = options.datasets;
  run.normalize = options.normalize;
  for (const std::string& unknown : options.optimize) {
    (unknown == "steam_loss" ? run.optimize_steam_loss : run.optimize_dilution) = true;
  }
  try {
    for (const std::string& item : options.fix) {
      run.fix.push_back(geothermometry::ParseFix(item));
    }
    for (const engine::Dataset* d : run.datasets) geothermometry::ResolveFixes(*d, run.fix);
  } catch (const std::exception& e) {
    err << "error: " << e.what() << '\n';
    return false;
  }
  if (!options.plot.empty()) {
    std::string ext = std::filesystem::path(options.plot).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".png" && ext != ".svg") {
      err << "error: --plot " << options.plot << ": the file name must end in .png or .svg\n";
      return false;
    }
  }
#ifndef GEOFLUID_HAVE_CHARTS
  if (!options.plot.empty()) {
    err << "error: --plot: this build has no charts (Qt 6 Charts was not found)\n";
    return false;
  }
#endif
  return true;
}

// The samples of a sample file or of a table, each with its errors and --error over them; the
// exit status, after the message, when they cannot be read.
std::optional<int> ReadAllInputs(const UncertaintyOptions& options, std::istream& in,
                                 std::vector<Input>& inputs, std::ostream& err) {
  std::vector<std::string> warnings;
  if (const auto status = ReadInputs(options.input, err, [&] {
        if (IsTable(options.input))
          inputs = FromTable(options.input, options, in);
        else
          inputs.push_back(FromSampleFile(options.input, options, warnings));
        for (Input& one : inputs) {
          uncertainty::ErrorList list(one.errors);
          for (const std::string& item : options.draws.errors)
            if (std::string w = list.Set(item); !w.empty() && &one == &inputs.front())
              warnings.push_back("--error " + w);
        }
      }))
    return status;
  for (const std::string& w : warnings) err << "warning: " << w << '\n';
  return std::nullopt;
}

// --plot for one result (of several, each its own file named by its id); false with the error
// written.
bool PlotResult(const UncertaintyOptions& options, const uncertainty::Result& r, bool several,
                std::ostream& err) {
#ifdef GEOFLUID_HAVE_CHARTS
  if (!options.plot.empty()) {
    std::filesystem::path fan = options.plot;
    if (several) fan = WithSuffix(fan, "-" + r.id);
    try {
      for (const auto& path : SaveCharts(r, fan)) err << "chart: " << path.string() << '\n';
    } catch (const std::exception& e) {
      err << "error: --plot: " << e.what() << '\n';
      return false;
    }
  }
#else
  (void)options, (void)r, (void)several, (void)err;  // a build without charts
#endif
  return true;
}

}  // namespace

int RunUncertainty(const UncertaintyOptions& options, std::istream& in, std::ostream& out,
                   std::ostream& err) {
  if (options.scaling) return RunScalingDraws(options, out, err);
  uncertainty::Options run;
  if (!Prepare(options, run, err)) return kUsageError;
  std::vector<Input> inputs;
  if (const auto status = ReadAllInputs(options, in, inputs, err)) return *status;

  engine::ConditionsCache cache;
  std::vector<uncertainty::Result> results;
  int status = kOk;
  if (options.format == Format::kCsv) uncertainty::WriteCsvHeader(out);
  for (const Input& in : inputs) {
    if (!in.fault.empty()) {
      err << "error: " << in.fault << '\n';
      status = kRunError;
      continue;
    }
    run.temperatures = in.temperatures.empty() ? options.temperatures.list : in.temperatures;
    uncertainty::Result r;
    try {
      r = uncertainty::Run(in.sample, in.errors, run, cache);
    } catch (const std::exception& e) {
      err << "error: " << (in.sample.id.empty() ? "" : io::EscapeLabel(in.sample.id) + ": ")
          << e.what() << '\n';
      status = kRunError;
      continue;
    }
    // A table's warnings name their sample; the text output has them in its own block.
    if (options.format != Format::kText)
      for (const std::string& w : r.warnings)
        err << "warning: " << (inputs.size() > 1 ? io::EscapeLabel(r.id) + ": " : "") << w << '\n';
    if (r.failed_draws == static_cast<std::size_t>(r.draws)) status = kRunError;
    if (options.format == Format::kText) {
      if (!results.empty()) out << "\n";
      uncertainty::WriteText(out, r);
    } else if (options.format == Format::kCsv) {
      uncertainty::WriteCsv(out, r);
    }
    if (!PlotResult(options, r, inputs.size() > 1, err)) status = kRunError;
    results.push_back(std::move(r));
  }
  if (options.format == Format::kJson) uncertainty::WriteJson(out, results, IsTable(options.input));
  return status;
}

}  // namespace geofluid::cli
