#include "geothermometry/output.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <ostream>
#include <span>

#include "io/csv.h"
#include "io/text.h"

namespace geofluid::geothermometry {

namespace {

using Json = nlohmann::ordered_json;

std::string Fixed(double v, int digits = 1) { return io::Fixed(v, digits); }

Json Number(const std::optional<double>& v) { return v ? Json(*v) : Json(nullptr); }

Json FlagCodes(const SoluteTemperature& t) {
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

Json GiggenbachJson(const GiggenbachClassification& c) {
  Json g;
  g["na"] = c.point ? Json(c.point->na) : Json(nullptr);
  g["k"] = c.point ? Json(c.point->k) : Json(nullptr);
  g["mg"] = c.point ? Json(c.point->mg) : Json(nullptr);
  g["maturity_index"] = Number(c.maturity_index);
  g["class"] = MaturityName(c.maturity);
  if (!c.reason.empty()) g["reason"] = c.reason;
  return g;
}

// One temperature of a dataset's sweep: pH, the saturation indices, the fixed totals.
Json SweepPointJson(const Estimate& e, const SweepPoint& p) {
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
  return point;
}

// One dataset's estimate with the sweep it rests on.
Json EstimateJson(const Estimate& e) {
  Json d;
  Json estimate;
  for (auto criterion : kCriteria) {
    estimate[CriterionKey(criterion)] = Number(e.Get(criterion).celsius);
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
  for (const auto& p : e.sweep.points) sweep.push_back(SweepPointJson(e, p));
  d["sweep"] = sweep;
  return d;
}

Json ToJson(const engine::Sample& s, const Reservoir& r, std::string_view interpolation,
            const std::vector<std::string>& below_detection) {
  Json j;
  j["id"] = io::EscapeLabel(r.id);
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
  j["giggenbach"] = GiggenbachJson(r.giggenbach);
  Json datasets = Json::object();
  for (const auto& e : r.estimates) datasets[std::string(e.dataset->key)] = EstimateJson(e);
  j["datasets"] = datasets;
  return j;
}

// "251.3", "100.0 (edge)" at an end of the sweep, "-" for none.
std::string EstimateText(const TemperatureEstimate& t) {
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
  const auto excluded = [](const SoluteTemperature& t) {
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
    out << (any ? ", " : "") << e.dataset->title << " RMS " << EstimateText(e.rms);
    any = true;
  }
  out << (any ? "" : "none") << "\n";
}

// One dataset's estimate: the criteria, the unknowns found, the fixed totals, the crossings.
void WriteEstimateText(std::ostream& out, const Estimate& e) {
  out << "\n"
      << e.dataset->title << "  estimate, °C:  RMS " << EstimateText(e.rms) << "   |median| "
      << EstimateText(e.median) << "   |mean| " << EstimateText(e.mean) << "   sd "
      << EstimateText(e.sd) << "\n";
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
      const SweepPoint* near = nullptr;
      for (const auto& p : e.sweep.points) {
        if (p.ok() && (!near || std::abs(p.temperature - *criterion->celsius) <
                                    std::abs(near->temperature - *criterion->celsius)))
          near = &p;
      }
      if (near && near->fixed.count(f.key)) {
        out << "  " << io::General(near->fixed.at(f.key), 3) << " at " << Fixed(near->temperature)
            << " °C";
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

// The solute geothermometers side by side, as sampled and for the reservoir liquid.
void WriteSoluteText(std::ostream& out, const engine::Sample& s, const Reservoir& r) {
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
}

void WriteGiggenbachText(std::ostream& out, const GiggenbachClassification& c) {
  out << "Giggenbach (1988) Na-K-Mg: ";
  if (c.point) {
    out << "Na/1000 " << Fixed(c.point->na) << " %, K/100 " << Fixed(c.point->k) << " %, Mg^0.5 "
        << Fixed(c.point->mg) << " %";
    if (c.maturity_index) out << ", maturity index " << Fixed(*c.maturity_index, 2);
    out << ": ";
  }
  out << MaturityName(c.maturity);
  if (!c.reason.empty()) out << " (" << c.reason << ")";
  out << "\n";
}

void WriteText(std::ostream& out, const engine::Sample& s, const Reservoir& r,
               std::string_view interpolation, const SweepOptions& options) {
  const auto& t = options.temperatures;
  out << "Sample " << io::EscapeLabel(r.id) << ": pH " << io::ShortestGeneral(s.ph) << " at "
      << Fixed(s.ph_temperature) << " °C, "
      << (s.separation_given ? "separated at " + Fixed(s.separation_temperature) + " °C"
                             : std::string("no separation temperature given (100 °C assumed for "
                                           "the steam correction)"))
      << "\n";
  out << "Multicomponent geothermometry, " << Fixed(t.front()) << "-" << Fixed(t.back())
      << " °C in " << t.size() << " steps, " << interpolation << " interpolation"
      << (options.steam_correction ? "" : ", no steam correction")
      << (options.normalize ? ", indices normalised by the moles of each reaction" : "") << "\n";
  for (const auto& e : r.estimates) WriteEstimateText(out, e);
  WriteSoluteText(out, s, r);
  WriteGiggenbachText(out, r.giggenbach);
  WriteSummary(out, s, r);
}

// ---- CSV: one row per sample ------------------------------------------------------------

std::string CsvNumber(const std::optional<double>& v) { return v ? io::ShortestGeneral(*v) : ""; }

const char* kSoluteKeys[] = {"quartz_fournier1977",     "quartz_steam_loss_fournier1977",
                             "chalcedony_fournier1977", "na_k_truesdell1976",
                             "na_k_fournier1979",       "na_k_arnorsson1983",
                             "na_k_giggenbach1988",     "na_k_ca_fournier_truesdell1973",
                             "k_mg_giggenbach1988"};

void WriteCsvHeader(std::ostream& out, const std::vector<const engine::Dataset*>& datasets) {
  out << "id,line,interpolation,error";
  for (const auto* d : datasets) {
    for (auto c : kCriteria) out << ',' << d->key << '_' << CriterionKey(c);
    out << ',' << d->key << "_crossings," << d->key << "_warnings";
  }
  for (const char* key : kSoluteKeys) out << ',' << key;
  out << ",giggenbach_na,giggenbach_k,giggenbach_mg,maturity_index,giggenbach_class";
  // The later geothermometers, the reservoir liquid and the flags follow, so that the columns
  // above keep their places.
  const auto keys = SoluteKeys();
  for (std::size_t i = std::size(kSoluteKeys); i < keys.size(); ++i) out << ',' << keys[i];
  for (const auto key : keys) out << ",reservoir_" << key;
  for (const auto key : keys) out << ",flags_" << key;
  for (const auto key : keys) out << ",reservoir_flags_" << key;
  out << ",separation,below_detection,notes\n";
}

// Per dataset: the criteria, the crossings and the warnings; empty cells without a reservoir.
void WriteEstimateCells(std::ostream& out, const Reservoir* r, std::size_t dataset_count) {
  for (std::size_t k = 0; k < dataset_count; ++k) {
    if (r == nullptr) {
      out << ",,,,,,";
      continue;
    }
    const auto& e = r->estimates[k];
    for (auto c : kCriteria) out << ',' << CsvNumber(e.Get(c).celsius);
    std::string crossings;
    for (const auto& name : e.minerals) {
      for (double t : e.crossings.at(name)) {
        crossings += (crossings.empty() ? "" : "; ") + name + " " + Fixed(t);
      }
    }
    std::string warnings;
    for (const auto& w : e.warnings) warnings += (warnings.empty() ? "" : "; ") + w;
    out << ',' << io::CsvCell(crossings) << ',' << io::CsvCell(warnings);
  }
}

// The flags of every geothermometer, as sampled and for the reservoir liquid; what they say, and
// the bounds, go to `notes`.
void WriteFlagCells(std::ostream& out, const Reservoir* r, std::span<const std::string_view> keys,
                    std::string& notes) {
  for (const auto key : keys) {
    const auto* t = r ? FindSolute(r->solute, key) : nullptr;
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
    out << ',' << io::CsvCell(codes);
  }
  for (const auto key : keys) {
    const auto* t = r ? FindSolute(r->solute_reservoir, key) : nullptr;
    std::string codes;
    if (t != nullptr) {
      for (const auto& f : t->flags) codes += (codes.empty() ? "" : ";") + std::string(f.code);
    }
    out << ',' << io::CsvCell(codes);
  }
}

void WriteCsvRow(std::ostream& out, const Reservoir* r, const std::string& id, std::size_t line,
                 std::string_view interpolation, const std::string& error,
                 const std::vector<const engine::Dataset*>& datasets, const engine::Sample* sample,
                 const std::vector<std::string>& below_detection) {
  out << io::CsvCell(io::EscapeLabel(id)) << ',' << line << ',' << interpolation << ','
      << io::CsvCell(error);
  WriteEstimateCells(out, r, datasets.size());
  for (const char* key : kSoluteKeys) {
    const auto* t = r ? FindSolute(r->solute, key) : nullptr;
    out << ',' << (t ? CsvNumber(t->celsius) : "");
  }
  if (r != nullptr && r->giggenbach.point) {
    const auto& p = *r->giggenbach.point;
    out << ',' << io::ShortestGeneral(p.na) << ',' << io::ShortestGeneral(p.k) << ','
        << io::ShortestGeneral(p.mg);
  } else {
    out << ",,,";
  }
  out << ',' << (r ? CsvNumber(r->giggenbach.maturity_index) : "") << ','
      << (r ? std::string(MaturityName(r->giggenbach.maturity)) : "");
  const auto keys = SoluteKeys();
  for (std::size_t i = std::size(kSoluteKeys); i < keys.size(); ++i) {
    const auto* t = r ? FindSolute(r->solute, keys[i]) : nullptr;
    out << ',' << (t ? CsvNumber(t->celsius) : "");
  }
  for (const auto key : keys) {
    const auto* t = r ? FindSolute(r->solute_reservoir, key) : nullptr;
    out << ',' << (t ? CsvNumber(t->celsius) : "");
  }
  std::string notes;
  WriteFlagCells(out, r, keys, notes);
  if (r != nullptr && !r->reservoir_reason.empty())
    notes += (notes.empty() ? "" : "; ") + r->reservoir_reason;
  if (r != nullptr && !r->giggenbach.reason.empty())
    notes += (notes.empty() ? "" : "; ") + std::string("giggenbach: ") + r->giggenbach.reason;
  std::string below;
  for (const auto& b : below_detection) below += (below.empty() ? "" : "; ") + b;
  out << ','
      << (sample && sample->separation_given ? io::ShortestGeneral(sample->separation_temperature)
                                             : "")
      << ',' << io::CsvCell(below) << ',' << io::CsvCell(notes) << '\n';
}

}  // namespace

std::string ReservoirJson(const engine::Sample& sample, const Reservoir* reservoir,
                          std::string_view interpolation,
                          const std::vector<std::string>& below_detection, const TableRow* row,
                          int indent) {
  Json j = reservoir ? ToJson(sample, *reservoir, interpolation, below_detection)
                     : Json{{"id", io::EscapeLabel(sample.id)}};
  if (row != nullptr) {
    j["line"] = row->line;
    if (!row->error.empty()) j["error"] = row->error;
  }
  return j.dump(indent);
}

void WriteReservoirText(std::ostream& out, const engine::Sample& sample, const Reservoir& reservoir,
                        std::string_view interpolation, const SweepOptions& options) {
  WriteText(out, sample, reservoir, interpolation, options);
}

void WriteReservoirCsvHeader(std::ostream& out,
                             const std::vector<const engine::Dataset*>& datasets) {
  WriteCsvHeader(out, datasets);
}

void WriteReservoirCsvRow(std::ostream& out, const Reservoir* reservoir, const std::string& id,
                          std::size_t line, std::string_view interpolation,
                          const std::string& error,
                          const std::vector<const engine::Dataset*>& datasets,
                          const engine::Sample* sample,
                          const std::vector<std::string>& below_detection) {
  WriteCsvRow(out, reservoir, id, line, interpolation, error, datasets, sample, below_detection);
}

}  // namespace geofluid::geothermometry
