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
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "cli_commands.h"
#include "form/analysis_input.h"
#include "form/calculation.h"
#include "form/number_text.h"
#include "geothermometry/estimate.h"
#include "geothermometry_plot.h"
#include "interp/steffen.h"
#include "option_checks.h"
#include "platform/errors.h"
#include "sample_file.h"
#include "sample_input.h"

namespace geofluid::cli {

namespace {

using geothermometry::Reservoir;
using Json = nlohmann::ordered_json;

std::string Fixed(double v, int digits = 1) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*f", digits, v);
  return text;
}

std::string Shortest(double v) {
  char text[40];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, v);
    if (std::strtod(text, nullptr) == v) break;
  }
  return text;
}

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) {
    const auto first = item.find_first_not_of(" \t");
    const auto last = item.find_last_not_of(" \t");
    items.push_back(first == std::string::npos ? "" : item.substr(first, last - first + 1));
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

// ---- Output ----------------------------------------------------------------------------------

Json Number(const std::optional<double>& v) { return v ? Json(*v) : Json(nullptr); }

Json FlagCodes(const geothermometry::SoluteTemperature& t) {
  Json codes = Json::array();
  for (const auto& f : t.flags) codes.push_back(f.code);
  return codes;
}

// solute_reservoir (the same keys as solute, for the reservoir liquid), solute_flags and
// solute_reservoir_flags (codes per key), solute_bounds and solute_inputs (what the values used).
Json SoluteFields(const engine::Sample& s, const Reservoir& r,
                  const std::vector<std::string>& below_detection) {
  Json j;
  Json reservoir = Json::object();
  Json flags = Json::object();
  Json reservoir_flags = Json::object();
  Json bounds = Json::object();
  for (const auto& t : r.solute) {
    flags[std::string(t.key)] = FlagCodes(t);
    if (!t.bound.empty()) bounds[std::string(t.key)] = t.bound;
  }
  for (const auto& t : r.solute_reservoir) {
    reservoir[std::string(t.key)] = Number(t.celsius);
    reservoir_flags[std::string(t.key)] = FlagCodes(t);
  }
  if (r.solute_reservoir.empty()) {
    for (const auto& t : r.solute) reservoir[std::string(t.key)] = nullptr;
  }
  j["solute_reservoir"] = reservoir;
  j["solute_reservoir_reason"] =
      r.reservoir_reason.empty() ? Json(nullptr) : Json(r.reservoir_reason);
  j["solute_flags"] = flags;
  j["solute_reservoir_flags"] = reservoir_flags;
  j["solute_bounds"] = bounds;
  Json reasons = Json::object();
  for (const auto& t : r.solute) {
    Json list = Json::array();
    for (const auto& f : t.flags) list.push_back(std::string(f.code) + ": " + f.reason);
    if (!list.empty()) reasons[std::string(t.key)] = list;
  }
  j["solute_flag_reasons"] = reasons;
  Json in;
  in["pH"] = s.ph;
  in["ph_temperature"] = s.ph_temperature;
  in["separation_temperature"] =
      s.separation_given ? Json(s.separation_temperature) : Json(nullptr);
  in["units"] = "mg/kg";
  const auto& w = r.water;
  Json c;
  const auto value = [](double v) { return std::isfinite(v) ? Json(v) : Json(nullptr); };
  c["SiO2"] = value(w.sio2);
  c["Na"] = value(w.na);
  c["K"] = value(w.k);
  c["Ca"] = value(w.ca);
  c["Mg"] = value(w.mg);
  c["Cl"] = value(w.cl);
  c["Li"] = value(w.li);
  c["B"] = value(w.b);
  in["concentrations"] = c;
  in["below_detection"] = below_detection;
  j["solute_inputs"] = in;
  return j;
}

Json ToJson(const engine::Sample& s, const Reservoir& r, std::string_view interpolation,
            const std::vector<std::string>& below_detection) {
  Json j;
  j["id"] = r.id;
  j["interpolation"] = interpolation;
  Json solute = Json::object();
  Json solute_notes = Json::array();
  for (const auto& t : r.solute) {
    solute[std::string(t.key)] = Number(t.celsius);
    for (const std::string* text : {&t.warning, &t.reason, &t.note}) {
      if (!text->empty()) solute_notes.push_back(std::string(t.key) + ": " + *text);
    }
  }
  if (!r.solute_error.empty()) solute_notes.push_back(r.solute_error);
  if (!r.reservoir_reason.empty()) solute_notes.push_back(r.reservoir_reason);
  j["solute"] = solute;
  j["solute_notes"] = solute_notes;
  // The reservoir liquid, the flags and what the values rest on (see SoluteFields).
  const Json fields = SoluteFields(s, r, below_detection);
  for (const auto& [key, value] : fields.items()) j[key] = value;
  Json g;
  const auto& c = r.giggenbach;
  g["na"] = c.point ? Json(c.point->na) : Json(nullptr);
  g["k"] = c.point ? Json(c.point->k) : Json(nullptr);
  g["mg"] = c.point ? Json(c.point->mg) : Json(nullptr);
  g["maturity_index"] = Number(c.maturity_index);
  g["class"] = geothermometry::MaturityName(c.maturity);
  if (!c.reason.empty()) g["reason"] = c.reason;
  j["giggenbach"] = g;
  Json datasets = Json::object();
  for (const auto& e : r.estimates) {
    Json d;
    Json estimate;
    for (auto criterion : geothermometry::kCriteria) {
      estimate[geothermometry::CriterionKey(criterion)] = Number(e.Get(criterion).celsius);
    }
    d["estimate"] = estimate;
    d["minerals"] = e.minerals;
    d["normalized"] = e.normalized;
    Json fixed = Json::object();
    for (const auto& f : e.sweep.fixes) fixed[f.key] = f.name;
    d["fixed"] = fixed;
    Json optimized = Json::object();
    for (const auto& [key, o] : e.optimized) {
      optimized[key] = {{"value", o.value},
                        {"sd", o.sd ? Json(*o.sd) : Json(nullptr)},
                        {"on_bound", o.on_bound},
                        {"bounds", {o.lower, o.upper}}};
    }
    d["optimized"] = optimized;
    Json crossings = Json::object();
    for (const std::string& name : e.minerals) crossings[name] = e.crossings.at(name);
    d["crossings"] = crossings;
    d["warnings"] = e.warnings;
    Json sweep = Json::array();
    for (const auto& p : e.sweep.points) {
      Json point;
      point["temperature"] = p.temperature;
      point["pH"] = p.ok() ? Json(p.ph) : Json(nullptr);
      Json si = Json::object();
      if (p.ok()) {
        for (int m = 1; m <= e.dataset->MineralCount(); ++m) {
          si[std::string(e.dataset->MineralName(m))] = p.si[static_cast<std::size_t>(m - 1)];
        }
      } else {
        point["error"] = p.error;
      }
      point["si"] = si;
      if (!e.sweep.fixes.empty()) {
        Json fixed_totals = Json::object();
        for (const auto& f : e.sweep.fixes) {
          const auto found = p.fixed.find(f.key);
          fixed_totals[f.key] = found == p.fixed.end() ? Json(nullptr) : Json(found->second);
        }
        point["fixed"] = fixed_totals;
      }
      sweep.push_back(point);
    }
    d["sweep"] = sweep;
    datasets[std::string(e.dataset->key)] = d;
  }
  j["datasets"] = datasets;
  return j;
}

std::string Estimate(const geothermometry::TemperatureEstimate& t) {
  if (!t.celsius) return "-";
  return Fixed(*t.celsius) + (t.on_edge ? " (edge)" : "");
}

// Which group of the summary a solute geothermometer belongs to.
bool IsSilica(std::string_view key) {
  return key.starts_with("quartz") || key.starts_with("chalcedony") ||
         key.starts_with("amorphous") || key.starts_with("cristobalite");
}

// The closing summary: per group the applicable values (no flag that rules them out, not a
// bound), their range, and what was set aside and why.
void WriteSummary(std::ostream& out, const engine::Sample& s, const Reservoir& r) {
  const bool reservoir = !r.solute_reservoir.empty();
  const auto& values = reservoir ? r.solute_reservoir : r.solute;
  out << "\nSummary, °C, "
      << (reservoir
              ? "for the reservoir liquid (separated at " + Fixed(s.separation_temperature) + " °C)"
              : "for the water as sampled (no reservoir liquid: " +
                    (r.reservoir_reason.empty() ? r.solute_error : r.reservoir_reason) + ")")
      << "\n";
  const auto excluded = [](const geothermometry::SoluteTemperature& t) {
    return !t.celsius || !t.bound.empty() || t.HasFlag("not_applicable") ||
           t.HasFlag("out_of_range") || t.HasFlag("immature") || t.HasFlag("below_detection");
  };
  for (const bool silica : {true, false}) {
    std::vector<double> used;
    std::string set_aside;
    int total = 0;
    for (const auto& t : values) {
      if (IsSilica(t.key) != silica || t.key == "quartz_steam_loss_fournier1977") continue;
      ++total;
      if (!excluded(t)) {
        used.push_back(*t.celsius);
        std::string flags;
        for (const auto& f : t.flags) flags += (flags.empty() ? "" : ",") + std::string(f.code);
        if (!flags.empty())
          set_aside += std::string(set_aside.empty() ? "" : "; ") + std::string(t.key) + " " +
                       Fixed(*t.celsius) + " [" + flags + "]";
        continue;
      }
      std::string why;
      if (!t.celsius) {
        why = "no value";
      } else if (!t.bound.empty()) {
        why = "lower bound " + Fixed(*t.celsius);
      } else {
        for (const auto& f : t.flags) why += (why.empty() ? "" : ",") + std::string(f.code);
      }
      set_aside +=
          std::string(set_aside.empty() ? "" : "; ") + std::string(t.key) + " (" + why + ")";
    }
    out << (silica ? "  silica          " : "  cation          ");
    if (used.empty()) {
      out << "none applicable";
    } else {
      const auto [lo, hi] = std::minmax_element(used.begin(), used.end());
      out << Fixed(*lo) << "-" << Fixed(*hi) << " from " << used.size() << " of " << total;
    }
    out << "\n";
    if (!set_aside.empty()) out << "    flagged or set aside: " << set_aside << "\n";
  }
  out << "  multicomponent  ";
  bool any = false;
  for (const auto& e : r.estimates) {
    out << (any ? ", " : "") << e.dataset->title << " RMS " << Estimate(e.rms);
    any = true;
  }
  out << (any ? "" : "none") << "\n";
}

void WriteText(std::ostream& out, const engine::Sample& s, const Reservoir& r,
               std::string_view interpolation, const geothermometry::SweepOptions& options) {
  const auto& t = options.temperatures;
  out << "Sample " << r.id << ": pH " << Shortest(s.ph) << " at " << Fixed(s.ph_temperature)
      << " °C, "
      << (s.separation_given ? "separated at " + Fixed(s.separation_temperature) + " °C"
                             : std::string("no separation temperature given (100 °C assumed for "
                                           "the steam correction)"))
      << "\n";
  out << "Multicomponent geothermometry, " << Fixed(t.front()) << "-" << Fixed(t.back())
      << " °C in " << t.size() << " steps, " << interpolation << " interpolation"
      << (options.steam_correction ? "" : ", no steam correction")
      << (options.normalize ? ", indices normalised by the moles of each reaction" : "") << "\n";
  for (const auto& e : r.estimates) {
    out << "\n"
        << e.dataset->title << "  estimate, °C:  RMS " << Estimate(e.rms) << "   |median| "
        << Estimate(e.median) << "   |mean| " << Estimate(e.mean) << "   sd " << Estimate(e.sd)
        << "\n";
    for (const auto& [key, o] : e.optimized) {
      out << "  " << (key == "steam_loss" ? "steam loss" : "dilution")
          << " found: " << Fixed(o.value, 3);
      if (o.sd) out << " ± " << Fixed(*o.sd, 3);
      out << (o.on_bound ? " (on a bound)" : "") << "\n";
    }
    for (const auto& f : e.sweep.fixes) {
      out << "  " << f.key << " fixed by " << f.name << ", mol/kg:";
      for (const auto* criterion : {&e.rms, &e.median}) {
        if (!criterion->celsius) continue;
        // The total at the grid point nearest the estimate.
        const geothermometry::SweepPoint* near = nullptr;
        for (const auto& p : e.sweep.points) {
          if (p.ok() && (!near || std::abs(p.temperature - *criterion->celsius) <
                                      std::abs(near->temperature - *criterion->celsius)))
            near = &p;
        }
        if (near && near->fixed.count(f.key)) {
          char text[64];
          std::snprintf(text, sizeof text, "  %.3g at %s °C", near->fixed.at(f.key),
                        Fixed(near->temperature).c_str());
          out << text;
        }
        break;
      }
      out << "\n";
    }
    std::size_t width = 0;
    for (const auto& name : e.minerals) width = std::max(width, name.size());
    out << "  SI = 0 at, °C:\n";
    for (const std::string& name : e.minerals) {
      out << "    " << name << std::string(width - name.size() + 2, ' ');
      const auto& list = e.crossings.at(name);
      if (list.empty()) out << "-";
      for (std::size_t i = 0; i < list.size(); ++i) out << (i ? ", " : "") << Fixed(list[i]);
      out << "\n";
    }
    for (const std::string& w : e.warnings) out << "  warning: " << w << "\n";
  }
  const bool reservoir = !r.solute_reservoir.empty();
  out << "\nSolute geothermometers, °C: the water as sampled"
      << (reservoir ? ", and the reservoir liquid before it lost steam down to " +
                          Fixed(s.separation_temperature) + " °C"
                    : "")
      << "\n";
  if (!r.solute_error.empty()) out << "  " << r.solute_error << "\n";
  if (!r.reservoir_reason.empty()) out << "  warning: " << r.reservoir_reason << "\n";
  if (!r.solute.empty()) {
    out << "  " << std::string(34, ' ') << "sampled" << (reservoir ? "  reservoir" : "") << "\n";
  }
  for (std::size_t i = 0; i < r.solute.size(); ++i) {
    const auto& g = r.solute[i];
    std::string label = std::string(g.key) + "  ";
    label.resize(std::max<std::size_t>(label.size(), 34), ' ');
    std::string value = (g.bound.empty() ? "" : ">") + (g.celsius ? Fixed(*g.celsius) : "-");
    value.insert(0, value.size() < 7 ? 7 - value.size() : 0, ' ');
    out << "  " << label << value;
    if (reservoir) {
      const auto& v = r.solute_reservoir[i];
      std::string rv = (v.bound.empty() ? "" : ">") + (v.celsius ? Fixed(*v.celsius) : "-");
      rv.insert(0, rv.size() < 11 ? 11 - rv.size() : 0, ' ');
      out << rv;
    }
    std::string remark = g.warning.empty() ? g.reason : g.warning;
    if (!g.note.empty()) remark += (remark.empty() ? "" : "; ") + g.note;
    if (!remark.empty()) out << "   (" << remark << ")";
    out << "\n";
    // The range and Fournier & Truesdell's condition are in the remark already.
    for (const auto& f : g.flags) {
      if (f.code != "out_of_range" && f.code != "condition")
        out << "      " << f.code << ": " << f.reason << "\n";
    }
  }
  const auto& c = r.giggenbach;
  out << "Giggenbach (1988) Na-K-Mg: ";
  if (c.point) {
    out << "Na/1000 " << Fixed(c.point->na) << " %, K/100 " << Fixed(c.point->k) << " %, Mg^0.5 "
        << Fixed(c.point->mg) << " %";
    if (c.maturity_index) out << ", maturity index " << Fixed(*c.maturity_index, 2);
    out << ": ";
  }
  out << geothermometry::MaturityName(c.maturity);
  if (!c.reason.empty()) out << " (" << c.reason << ")";
  out << "\n";
  WriteSummary(out, s, r);
}

// One CSV row per sample.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char ch : text) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return quoted + "\"";
}

std::string CsvNumber(const std::optional<double>& v) { return v ? Shortest(*v) : ""; }

const char* kSoluteKeys[] = {"quartz_fournier1977",     "quartz_steam_loss_fournier1977",
                             "chalcedony_fournier1977", "na_k_truesdell1976",
                             "na_k_fournier1979",       "na_k_arnorsson1983",
                             "na_k_giggenbach1988",     "na_k_ca_fournier_truesdell1973",
                             "k_mg_giggenbach1988"};

void WriteCsvHeader(std::ostream& out, const std::vector<const engine::Dataset*>& datasets) {
  out << "id,line,interpolation,error";
  for (const auto* d : datasets) {
    for (auto c : geothermometry::kCriteria) out << ',' << d->key << '_' << CriterionKey(c);
    out << ',' << d->key << "_crossings," << d->key << "_warnings";
  }
  for (const char* key : kSoluteKeys) out << ',' << key;
  out << ",giggenbach_na,giggenbach_k,giggenbach_mg,maturity_index,giggenbach_class";
  // The later geothermometers, the reservoir liquid and the flags follow, so that the columns
  // above keep their places.
  const auto keys = geothermometry::SoluteKeys();
  for (std::size_t i = std::size(kSoluteKeys); i < keys.size(); ++i) out << ',' << keys[i];
  for (const auto key : keys) out << ",reservoir_" << key;
  for (const auto key : keys) out << ",flags_" << key;
  for (const auto key : keys) out << ",reservoir_flags_" << key;
  out << ",separation,below_detection,notes\n";
}

void WriteCsvRow(std::ostream& out, const Reservoir* r, const std::string& id, std::size_t line,
                 std::string_view interpolation, const std::string& error,
                 const std::vector<const engine::Dataset*>& datasets, const engine::Sample* sample,
                 const std::vector<std::string>& below_detection) {
  out << CsvField(id) << ',' << line << ',' << interpolation << ',' << CsvField(error);
  for (std::size_t k = 0; k < datasets.size(); ++k) {
    if (r == nullptr) {
      out << ",,,,,,";
      continue;
    }
    const auto& e = r->estimates[k];
    for (auto c : geothermometry::kCriteria) out << ',' << CsvNumber(e.Get(c).celsius);
    std::string crossings;
    for (const auto& name : e.minerals) {
      for (double t : e.crossings.at(name)) {
        crossings += (crossings.empty() ? "" : "; ") + name + " " + Fixed(t);
      }
    }
    std::string warnings;
    for (const auto& w : e.warnings) warnings += (warnings.empty() ? "" : "; ") + w;
    out << ',' << CsvField(crossings) << ',' << CsvField(warnings);
  }
  for (const char* key : kSoluteKeys) {
    const auto* t = r ? geothermometry::FindSolute(r->solute, key) : nullptr;
    out << ',' << (t ? CsvNumber(t->celsius) : "");
  }
  if (r != nullptr && r->giggenbach.point) {
    const auto& p = *r->giggenbach.point;
    out << ',' << Shortest(p.na) << ',' << Shortest(p.k) << ',' << Shortest(p.mg);
  } else {
    out << ",,,";
  }
  out << ',' << (r ? CsvNumber(r->giggenbach.maturity_index) : "") << ','
      << (r ? std::string(geothermometry::MaturityName(r->giggenbach.maturity)) : "");
  const auto keys = geothermometry::SoluteKeys();
  const auto cell = [&](const std::vector<geothermometry::SoluteTemperature>* list,
                        std::string_view key) -> const geothermometry::SoluteTemperature* {
    return list ? geothermometry::FindSolute(*list, key) : nullptr;
  };
  for (std::size_t i = std::size(kSoluteKeys); i < keys.size(); ++i) {
    const auto* t = cell(r ? &r->solute : nullptr, keys[i]);
    out << ',' << (t ? CsvNumber(t->celsius) : "");
  }
  for (const auto key : keys) {
    const auto* t = cell(r ? &r->solute_reservoir : nullptr, key);
    out << ',' << (t ? CsvNumber(t->celsius) : "");
  }
  std::string notes;
  for (const auto key : keys) {
    const auto* t = cell(r ? &r->solute : nullptr, key);
    std::string codes;
    if (t != nullptr) {
      for (const auto& f : t->flags) {
        codes += (codes.empty() ? "" : ";") + std::string(f.code);
        notes += (notes.empty() ? "" : "; ") + std::string(key) + ": " + f.reason;
      }
      if (!t->bound.empty())
        notes += (notes.empty() ? "" : "; ") + std::string(key) + ": " + std::string(t->bound) +
                 " bound";
    }
    out << ',' << CsvField(codes);
  }
  for (const auto key : keys) {
    const auto* t = cell(r ? &r->solute_reservoir : nullptr, key);
    std::string codes;
    if (t != nullptr) {
      for (const auto& f : t->flags) codes += (codes.empty() ? "" : ";") + std::string(f.code);
    }
    out << ',' << CsvField(codes);
  }
  if (r != nullptr && !r->reservoir_reason.empty())
    notes += (notes.empty() ? "" : "; ") + r->reservoir_reason;
  if (r != nullptr && !r->giggenbach.reason.empty())
    notes += (notes.empty() ? "" : "; ") + std::string("giggenbach: ") + r->giggenbach.reason;
  std::string below;
  for (const auto& b : below_detection) below += (below.empty() ? "" : "; ") + b;
  out << ',' << (sample && sample->separation_given ? Shortest(sample->separation_temperature) : "")
      << ',' << CsvField(below) << ',' << CsvField(notes) << '\n';
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

int RunGeothermometry(const GeothermometryOptions& options, std::ostream& out, std::ostream& err) {
  const engine::TableScheme* scheme = options.interpolation;
  const engine::TableScheme* other =
      interp::SchemeByName(scheme->Name() == "steffen" ? "specified" : "steffen");
  geothermometry::ReservoirOptions run;
  run.datasets = options.datasets;
  run.sweep.scheme = scheme;
  run.sweep.steam_correction = !options.no_steam_correction;
  if (!options.minerals.empty()) run.minerals = SplitList(options.minerals);
  if (!options.minerals_file.empty()) {
    std::ifstream file(options.minerals_file);
    std::string line;
    while (std::getline(file, line)) {
      line = line.substr(0, line.find('#'));
      std::erase(line, '\r');
      for (std::string& name : SplitList(line)) {
        if (!name.empty()) run.minerals.push_back(std::move(name));
      }
    }
    if (run.minerals.empty()) {
      err << "error: --minerals-file " << options.minerals_file << ": no mineral names in it\n";
      return kUsageError;
    }
  }
  run.sweep.normalize = options.normalize;
  for (const std::string& unknown : options.optimize) {
    (unknown == "steam_loss" ? run.sweep.optimize_steam_loss : run.sweep.optimize_dilution) = true;
  }
  // Sample-independent checks, before anything is read or written.
  std::vector<std::vector<std::string>> comparison(run.datasets.size());
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
    return kUsageError;
  } catch (const geothermometry::UnknownMineral& e) {
    err << "error: " << e.what() << '\n';
    return kUsageError;
  }
  const std::string plot_error = CheckPlotPath(options.plot);
  if (!plot_error.empty()) {
    err << "error: --plot: " << plot_error << '\n';
    return kUsageError;
  }
  try {
    for (std::size_t k = 0; k < run.datasets.size(); ++k) {
      comparison[k] = geothermometry::CompareInterpolations(
          *run.datasets[k], run.minerals, run.sweep.temperatures.front(),
          run.sweep.temperatures.back(), *scheme, *other);
    }
  } catch (const std::exception& e) {
    err << "error: the tables cannot be interpolated over " << Fixed(run.sweep.temperatures.front())
        << "-" << Fixed(run.sweep.temperatures.back()) << " °C: " << e.what() << '\n';
    return kUsageError;
  }
  engine::ConditionsCache cache;
  tbb::task_arena arena(options.jobs > 0 ? options.jobs : tbb::task_arena::automatic);
  auto assess = [&](const engine::Sample& s,
                    const std::vector<std::pair<std::string, std::string>>& row_fix = {}) {
    geothermometry::ReservoirOptions row = run;
    // A row's fix_<component> cells add to --fix, or replace it for their component.
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
  };
  const std::string_view interpolation = scheme->Name();

  if (IsIni(options.input)) {
    engine::Sample s;
    try {
      s = SampleFromFile(options.input);
    } catch (const sample::SampleError& e) {
      err << "error: " << e.what() << '\n';
      return kUsageError;
    } catch (const Error& e) {
      err << "error: " << options.input << ": " << e.what() << '\n';
      return kUsageError;
    }
    run.sweep.parallel = true;
    Reservoir r;
    arena.execute([&] { r = assess(s); });
    if (options.format == Format::kJson) {
      out << ToJson(s, r, interpolation, {}).dump(2) << '\n';
    } else if (options.format == Format::kCsv) {
      WriteCsvHeader(out, run.datasets);
      WriteCsvRow(out, &r, r.id, 0, interpolation, "", run.datasets, &s, {});
    } else {
      WriteText(out, s, r, interpolation, run.sweep);
    }
    if (!options.plot.empty()) {
      const std::string problem = PlotReservoir(options.plot, {&r}, run.sweep);
      if (!problem.empty()) {
        err << "error: --plot: " << problem << '\n';
        return kRunError;
      }
    }
    for (const auto& e : r.estimates) {
      if (!e.sweep.ok()) return kRunError;
    }
    return kOk;
  }

  // A table: read in chunks, evaluated in parallel, written in input order.
  std::ifstream file(options.input, std::ios::binary);
  std::error_code ec;
  if (std::filesystem::is_directory(options.input, ec) || !file) {
    err << "error: cannot open the table " << options.input << ": "
        << (std::filesystem::is_directory(options.input, ec) ? "it is a directory"
                                                             : std::strerror(errno))
        << '\n';
    return kUsageError;
  }
  batch::InputOptions input;
  input.unit = options.units;
  input.gas_unit = options.steam_units;
  input.steam_correction = !options.no_steam_correction;
  input.detection_fraction = options.detection_fraction;
  std::unique_ptr<batch::CsvInput> table;
  try {
    table = std::make_unique<batch::CsvInput>(file, input);
  } catch (const std::exception& e) {
    err << "error: " << options.input << ": " << e.what() << '\n';
    return kUsageError;
  }
  if (options.format == Format::kCsv) WriteCsvHeader(out, run.datasets);
  std::vector<Reservoir> plotted;
  int failures = 0;
  constexpr std::size_t kChunk = 256;
  bool more = true;
  while (more) {
    std::vector<batch::Job> jobs;
    try {
      while (jobs.size() < kChunk) {
        batch::Job job;
        if (!table->Next(job)) {
          more = false;
          break;
        }
        jobs.push_back(std::move(job));
      }
    } catch (const std::exception& e) {
      err << "error: " << options.input << ": " << e.what() << '\n';
      more = false;
      ++failures;
    }
    std::vector<Reservoir> results(jobs.size());
    arena.execute([&] {
      tbb::parallel_for(std::size_t{0}, jobs.size(), [&](std::size_t i) {
        if (!jobs[i].fault.empty()) return;
        try {
          results[i] = assess(jobs[i].sample, jobs[i].fix);
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
      if (options.format == Format::kJson) {
        Json j = r ? ToJson(job.sample, *r, interpolation, job.below_detection)
                   : Json{{"id", job.sample.id}};
        j["line"] = job.line;
        if (!error.empty()) j["error"] = error;
        out << j.dump() << '\n';
      } else if (options.format == Format::kCsv) {
        WriteCsvRow(out, r, job.sample.id, job.line, interpolation, error, run.datasets,
                    &job.sample, job.below_detection);
      } else {
        if (r == nullptr) {
          out << "Line " << job.line << (job.sample.id.empty() ? "" : " (" + job.sample.id + ")")
              << ": " << job.fault << "\n\n";
        } else {
          WriteText(out, job.sample, *r, interpolation, run.sweep);
          out << '\n';
        }
      }
      if (r != nullptr && !options.plot.empty()) plotted.push_back(std::move(results[i]));
    }
  }
  if (!options.plot.empty()) {
    std::vector<const Reservoir*> all;
    for (const auto& r : plotted) all.push_back(&r);
    const std::string problem = PlotReservoir(options.plot, all, run.sweep);
    if (!problem.empty()) {
      err << "error: --plot: " << problem << '\n';
      return kRunError;
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

}  // namespace geofluid::cli
