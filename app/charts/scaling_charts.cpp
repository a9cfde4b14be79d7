#include "scaling_charts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "io/text.h"

namespace geofluid::charts {

namespace {

using scaling::DatasetPath;
using scaling::Water;

std::string Whole(double v) { return io::Fixed(v, 0); }

// Points in order of temperature, so that a list given in any order draws one line.
void SortByX(Curve& c) {
  std::vector<std::size_t> order(c.x.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return c.x[a] > c.x[b]; });
  Curve sorted{c.label, {}, {}};
  for (std::size_t i : order) {
    sorted.x.push_back(c.x[i]);
    sorted.y.push_back(c.y[i]);
  }
  c = std::move(sorted);
}

// The design chart's curves of one dataset: amorphous silica and calcite in the separated water
// against the separation temperature, and each separated water cooled towards reinjection.
void AddDesignCurves(const DatasetPath& d, const scaling::Options& o, SiPanel& panel) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const int silica = d.MineralPosition(scaling::kAmorphousSilica);
  for (const int m : {silica, d.MineralPosition("CALCITE")}) {
    if (m < 0) continue;
    const auto mm = static_cast<std::size_t>(m);
    const std::string name = m == silica ? "amorphous silica" : "calcite";
    // The separated water against its separation temperature...
    Curve boiled{name + ", separated water", {}, {}};
    for (const auto& s : d.separation) {
      boiled.x.push_back(s.water.temperature);
      boiled.y.push_back(s.ok() ? s.water.si[mm] : nan);
    }
    SortByX(boiled);
    panel.minerals.push_back(std::move(boiled));
    // ...and each separated water cooled towards reinjection (amorphous silica only: the
    // design chart's family of curves).
    if (m != silica) continue;
    for (const auto& s : d.separation) {
      if (!s.ok()) continue;
      Curve cooled{name + ", separated at " + Whole(s.water.temperature) + " °C, cooled",
                   {s.water.temperature},
                   {s.water.si[mm]}};
      for (std::size_t k = 0; k < s.cooling.size(); ++k) {
        if (o.cooling[k] > s.water.temperature) continue;
        cooled.x.push_back(s.cooling[k].temperature);
        cooled.y.push_back(s.cooling_errors[k].empty() ? s.cooling[k].si[mm] : nan);
      }
      SortByX(cooled);
      panel.minerals.push_back(std::move(cooled));
    }
  }
}

// The boiling path of one dataset: pH and the gases of the separated water against the
// separation temperature, from the reservoir down.
void AddBoilingCurves(const DatasetPath& d, const scaling::Options& o, SiPanel& panel) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<const Water*> path{&d.reservoir};
  for (const auto& s : d.separation) path.push_back(s.ok() ? &s.water : nullptr);
  auto curve = [&](const std::string& label, auto value) {
    Curve c{label, {}, {}};
    for (std::size_t k = 0; k < path.size(); ++k) {
      c.x.push_back(k == 0 ? d.reservoir.temperature : o.separation[k - 1]);
      c.y.push_back(path[k] ? value(*path[k], k == 0) : nan);
    }
    SortByX(c);
    return c;
  };
  panel.minerals.push_back(curve("pH", [](const Water& w, bool) { return w.ph; }));
  panel.minerals.push_back(
      curve("log CO2, water", [](const Water& w, bool) { return std::log10(w.LiquidCo2()); }));
  panel.minerals.push_back(
      curve("log H2S, water", [](const Water& w, bool) { return std::log10(w.LiquidH2s()); }));
  panel.minerals.push_back(curve("log CO2, steam", [&](const Water& w, bool reservoir) {
    return reservoir ? nan : std::log10(w.steam_co2);
  }));
  panel.minerals.push_back(curve("log H2S, steam", [&](const Water& w, bool reservoir) {
    return reservoir ? nan : std::log10(w.steam_h2s);
  }));
}

// One panel per dataset with the curves `add` draws, or the dataset's error in its title, and
// the reservoir temperature marked.
void AddPanels(const scaling::Path& p, const scaling::Options& o,
               void (*add)(const DatasetPath&, const scaling::Options&, SiPanel&),
               SiTemperatureData& chart) {
  for (const DatasetPath& d : p.datasets) {
    SiPanel panel;
    panel.title = std::string(d.dataset->title);
    if (!d.ok()) {
      panel.title += " (" + d.error + ")";
      chart.panels.push_back(std::move(panel));
      continue;
    }
    add(d, o, panel);
    panel.estimate = d.reservoir.temperature;
    panel.estimate_label = "reservoir";
    chart.panels.push_back(std::move(panel));
  }
}

}  // namespace

ScalingCharts ScalingChartData(const scaling::Path& p, const scaling::Options& o,
                               const std::string& title_prefix) {
  ScalingCharts charts;
  SiTemperatureData& data = charts.design;
  data.title = title_prefix +
               "amorphous silica and calcite against separation and reinjection temperature "
               "(log(Q/K) = SI)";
  data.estimate_legend = "reservoir temperature";
  AddPanels(p, o, AddDesignCurves, data);

  // The boiling path: pH and the gases of the separated water against the separation
  // temperature, from the reservoir down.
  SiTemperatureData& boiling = charts.boiling;
  boiling.title = title_prefix + "pH and gases of the separated water on the boiling path";
  boiling.y_title = "pH; log10 of mol/kg";
  boiling.estimate_legend = "reservoir temperature";
  AddPanels(p, o, AddBoilingCurves, boiling);
  return charts;
}

}  // namespace geofluid::charts
