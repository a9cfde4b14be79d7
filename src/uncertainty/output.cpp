#include <cmath>
#include <nlohmann/json.hpp>
#include <ostream>

#include "io/csv.h"
#include "io/text.h"
#include "uncertainty/uncertainty.h"

namespace geofluid::uncertainty {

namespace {

using nlohmann::ordered_json;

// The shortest text that reads back to the same double; empty for NaN.
std::string Full(double v) { return std::isfinite(v) ? io::Shortest(v) : std::string(); }

std::string Fixed(double v, int decimals) {
  return std::isfinite(v) ? io::Fixed(v, decimals) : std::string("-");
}

std::string Cell(const Interval& i, int decimals) {
  if (i.n == 0) return "failed";
  return Fixed(i.median, decimals) + " [" + Fixed(i.q05, decimals) + ", " + Fixed(i.q95, decimals) +
         "]";
}

std::string Pad(std::string s, std::size_t width) {
  // Widths count characters, and a few texts hold the two bytes of "°".
  std::size_t shown = 0;
  for (unsigned char c : s) shown += (c & 0xC0) != 0x80;
  if (shown < width) s.append(width - shown, ' ');
  return s;
}

ordered_json Json(const Interval& i, std::optional<double> nominal) {
  ordered_json j;
  j["median"] = i.median;
  j["q05"] = i.q05;
  j["q95"] = i.q95;
  j["n"] = i.n;
  if (nominal && std::isfinite(*nominal))
    j["nominal"] = *nominal;
  else
    j["nominal"] = nullptr;
  return j;
}

ordered_json Optional(const std::optional<double>& v) {
  return v ? ordered_json(*v) : ordered_json(nullptr);
}

void WriteErrors(std::ostream& out, const Result& r) {
  std::string list;
  for (int i = 0; i < kInputCount; ++i) {
    if (r.errors[i].Zero() && !IsConcentration(i)) continue;
    list += (list.empty() ? " " : ", ") + std::string(InputKey(i)) + ' ' + ErrorText(r.errors, i);
  }
  out << "Errors (1 sigma):" << list << '\n';
}

void WriteEstimate(std::ostream& out, const EstimateResult& e, int draws) {
  out << "  Reservoir temperature (multicomponent, " << e.minerals.size() << " minerals), °C\n";
  for (std::size_t c = 0; c < e.criteria.size(); ++c) {
    const Interval& i = e.criteria[c].interval;
    std::string nominal = e.nominal[c] ? Fixed(*e.nominal[c], 1) : std::string("none");
    if (e.nominal_on_edge[c]) nominal += " (edge)";
    out << "    " << Pad(e.criteria[c].name, 8) << Pad(Cell(i, 1), 26)
        << Pad("nominal " + nominal, 22);
    if (i.n > 0) out << "90 % width " << Fixed(i.q95 - i.q05, 1);
    if (i.n < static_cast<std::size_t>(draws))
      out << "; " << draws - static_cast<int>(i.n) << " draws without an estimate";
    if (e.on_edge[c] > 0)
      out << "; " << e.on_edge[c] << " draws at the range's edge (a bound, not a minimum)";
    out << '\n';
  }
  for (const EstimateResult::Unknown& u : e.optimized) {
    std::string nominal = u.nominal ? Fixed(*u.nominal, 3) : std::string("none");
    if (u.nominal && u.nominal_sd) nominal += " ± " + Fixed(*u.nominal_sd, 3);
    if (u.nominal_on_bound) nominal += " (bound)";
    out << "    " << Pad(u.name + " (optimised, fraction)", 34) << Pad(Cell(u.interval, 3), 26)
        << "nominal " << nominal;
    if (u.interval.n < static_cast<std::size_t>(draws))
      out << "; " << draws - static_cast<int>(u.interval.n) << " draws without a value";
    out << '\n';
  }
}

void WriteSensitivities(std::ostream& out, const DatasetResult& d) {
  out << "  Inputs that matter most (one at a time at -1 and +1 sigma; SI at "
      << Fixed(d.sensitivity_temperature, 1) << " °C)\n";
  out << "    " << Pad("input", 16) << Pad("error", 8) << Pad("estimate °C", 14) << Pad("share", 8)
      << "SI of the set\n";
  for (const Sensitivity& s : d.sensitivity) {
    out << "    " << Pad(s.input, 16) << Pad(s.error, 8)
        << Pad(s.estimate_effect ? "±" + Fixed(std::abs(*s.estimate_effect), 1) : "-", 14)
        << Pad(s.estimate_share ? Fixed(*s.estimate_share, 0) + " %" : "-", 8)
        << (s.si_effect ? "±" + Fixed(*s.si_effect, 3) : "-");
    if (!s.note.empty()) out << "  (" << s.note << ')';
    out << '\n';
  }
}

// pH and the SI of the set, five columns to a block so that a line fits a terminal.
void WriteTemperatureBlocks(std::ostream& out, const DatasetResult& d) {
  std::vector<std::pair<std::string, int>> columns = {{"pH", -1}};
  const std::vector<std::string> set =
      d.estimate ? d.estimate->minerals : std::vector<std::string>{};
  for (const std::string& name : set) {
    if (const std::optional<int> m = d.dataset->MineralIndex(name))
      columns.push_back({name, *m - 1});
  }
  constexpr std::size_t kPerBlock = 5;
  constexpr std::size_t kWidth = 22;
  for (std::size_t first = 0; first < columns.size(); first += kPerBlock) {
    const std::size_t last = std::min(columns.size(), first + kPerBlock);
    out << "\n  " << Pad("T °C", 8);
    for (std::size_t c = first; c < last; ++c)
      out << Pad(c == 0 ? "pH" : "SI " + columns[c].first, kWidth);
    out << '\n';
    for (const TemperatureResult& t : d.temperatures) {
      out << "  " << Pad(Fixed(t.temperature, 1), 8);
      for (std::size_t c = first; c < last; ++c) {
        const int m = columns[c].second;
        out << Pad(m < 0 ? Cell(t.ph, 2) : Cell(t.si[static_cast<std::size_t>(m)].interval, 2),
                   kWidth);
      }
      if (t.failed > 0) out << t.failed << " failed";
      out << '\n';
    }
  }
}

void WriteSolute(std::ostream& out, const Result& r) {
  out << "\nSolute geothermometers, °C (from the separated water)\n";
  for (const SoluteResult& s : r.solute) {
    out << "  " << Pad(s.label, 38) << Pad(Cell(s.interval, 1), 26) << "nominal "
        << (s.nominal ? Fixed(*s.nominal, 1) : std::string("none"));
    if (s.interval.n < static_cast<std::size_t>(r.draws))
      out << "   (" << r.draws - static_cast<int>(s.interval.n) << " draws without a value)";
    out << '\n';
  }
}

}  // namespace

void WriteText(std::ostream& out, const Result& r) {
  out << "Sample " << (r.id.empty() ? "(no id)" : io::EscapeLabel(r.id)) << ": " << r.draws
      << " draws, seed " << r.seed << ", " << r.failed_draws << " failed";
  if (r.failed_draws > 0) out << " (left out of the statistics, each n says how many counted)";
  out << '\n';
  WriteErrors(out, r);
  for (const std::string& w : r.warnings) out << "warning: " << w << '\n';
  out << "Values: median [5 %, 95 %] of the draws; nominal = the sample without errors.\n";

  for (const DatasetResult& d : r.datasets) {
    out << '\n' << d.dataset->title << '\n';
    if (d.failed_draws > 0) {
      out << "  " << d.failed_draws << " draws failed, e.g.\n";
      for (const std::string& f : d.failures) out << "    " << f << '\n';
    }
    if (d.estimate) WriteEstimate(out, *d.estimate, r.draws);
    if (!d.sensitivity.empty()) WriteSensitivities(out, d);
    WriteTemperatureBlocks(out, d);
    out << "  (every mineral of the dataset in --format csv or json)\n";
  }

  if (!r.solute.empty()) WriteSolute(out, r);
}

void WriteCsvHeader(std::ostream& out) {
  out << "id,dataset,temperature,quantity,nominal,median,q05,q95,n\n";
}

void WriteCsv(std::ostream& out, const Result& r) {
  const std::string id = io::CsvCell(io::EscapeLabel(r.id));
  const auto row = [&](std::string_view dataset, const std::string& temperature,
                       const std::string& quantity, std::optional<double> nominal,
                       const Interval& i) {
    out << id << ',' << dataset << ',' << temperature << ',' << quantity << ','
        << (nominal ? Full(*nominal) : "") << ',' << Full(i.median) << ',' << Full(i.q05) << ','
        << Full(i.q95) << ',' << i.n << '\n';
  };
  for (const DatasetResult& d : r.datasets) {
    for (const TemperatureResult& t : d.temperatures) {
      const std::string temperature = Full(t.temperature);
      row(d.dataset->key, temperature, "pH", t.nominal_ph, t.ph);
      for (std::size_t m = 0; m < t.si.size(); ++m)
        row(d.dataset->key, temperature, "SI_" + t.si[m].name, t.nominal_si[m], t.si[m].interval);
    }
    if (d.estimate)
      for (std::size_t c = 0; c < d.estimate->criteria.size(); ++c)
        row(d.dataset->key, "", "estimate_" + d.estimate->criteria[c].name, d.estimate->nominal[c],
            d.estimate->criteria[c].interval);
    if (d.estimate)
      for (const EstimateResult::Unknown& u : d.estimate->optimized)
        row(d.dataset->key, "", "optimized_" + u.name, u.nominal, u.interval);
  }
  for (const SoluteResult& s : r.solute) row("", "", "solute_" + s.key, s.nominal, s.interval);
}

namespace {

ordered_json TemperatureJson(const TemperatureResult& t) {
  ordered_json tj;
  tj["temperature"] = t.temperature;
  tj["failed"] = t.failed;
  tj["pH"] = Json(t.ph, t.nominal_ph);
  ordered_json si = ordered_json::object();
  for (std::size_t m = 0; m < t.si.size(); ++m)
    si[t.si[m].name] = Json(t.si[m].interval, t.nominal_si[m]);
  tj["si"] = si;
  return tj;
}

ordered_json EstimateJson(const EstimateResult& e) {
  ordered_json ej;
  ej["minerals"] = e.minerals;
  for (std::size_t c = 0; c < e.criteria.size(); ++c) {
    ordered_json cj = Json(e.criteria[c].interval, e.nominal[c]);
    cj["nominal_on_edge"] = static_cast<bool>(e.nominal_on_edge[c]);
    cj["draws_on_edge"] = e.on_edge[c];
    ej[e.criteria[c].name] = cj;
  }
  if (!e.optimized.empty()) {
    // Fractions: the draws' values and the draw-free sample's, with its curvature spread.
    ordered_json oj = ordered_json::object();
    for (const EstimateResult::Unknown& u : e.optimized) {
      ordered_json uj = Json(u.interval, u.nominal);
      uj["nominal_sd"] = u.nominal_sd ? ordered_json(*u.nominal_sd) : ordered_json(nullptr);
      uj["nominal_on_bound"] = u.nominal_on_bound;
      oj[u.name] = uj;
    }
    ej["optimized"] = oj;
  }
  return ej;
}

ordered_json SensitivityJson(const DatasetResult& d) {
  ordered_json sens;
  sens["si_temperature"] = d.sensitivity_temperature;
  ordered_json ranked = ordered_json::array();
  for (const Sensitivity& s : d.sensitivity) {
    ordered_json sj;
    sj["input"] = s.input;
    sj["error"] = s.error;
    sj["estimate_effect"] = Optional(s.estimate_effect);
    sj["estimate_minus"] = Optional(s.estimate_minus);
    sj["estimate_plus"] = Optional(s.estimate_plus);
    sj["estimate_share_percent"] = Optional(s.estimate_share);
    sj["si_effect"] = Optional(s.si_effect);
    if (!s.note.empty()) sj["note"] = s.note;
    ranked.push_back(sj);
  }
  sens["ranked"] = ranked;
  return sens;
}

ordered_json DatasetJson(const DatasetResult& d) {
  ordered_json dj;
  dj["failed_draws"] = d.failed_draws;
  dj["failures"] = d.failures;
  ordered_json temps = ordered_json::array();
  for (const TemperatureResult& t : d.temperatures) temps.push_back(TemperatureJson(t));
  dj["temperatures"] = temps;
  dj["estimate"] = d.estimate ? EstimateJson(*d.estimate) : ordered_json(nullptr);
  dj["sensitivity"] = SensitivityJson(d);
  return dj;
}

}  // namespace

std::string ToJson(const Result& r, int indent) {
  ordered_json j;
  j["id"] = io::EscapeLabel(r.id);
  j["draws"] = r.draws;
  j["failed_draws"] = r.failed_draws;
  j["seed"] = r.seed;
  ordered_json errors = ordered_json::object();
  for (int i = 0; i < kInputCount; ++i) errors[std::string(InputKey(i))] = ErrorText(r.errors, i);
  j["errors"] = errors;
  j["warnings"] = r.warnings;
  ordered_json datasets = ordered_json::object();
  for (const DatasetResult& d : r.datasets) datasets[std::string(d.dataset->key)] = DatasetJson(d);
  j["datasets"] = datasets;
  ordered_json solute = ordered_json::object();
  for (const SoluteResult& s : r.solute) {
    ordered_json sj = Json(s.interval, s.nominal);
    sj["label"] = s.label;
    solute[s.key] = sj;
  }
  j["solute"] = solute;
  return j.dump(indent);
}

void WriteJson(std::ostream& out, const std::vector<Result>& results, bool as_list) {
  if (!as_list && results.size() == 1) {
    out << ToJson(results.front()) << '\n';
    return;
  }
  ordered_json all;
  all["samples"] = ordered_json::array();
  for (const Result& r : results) all["samples"].push_back(ordered_json::parse(ToJson(r, -1)));
  out << all.dump(2) << '\n';
}

}  // namespace geofluid::uncertainty
