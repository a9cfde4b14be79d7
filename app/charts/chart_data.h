#pragma once

// What the charts draw, as plain data: no Qt, so that a program can fill it without loading
// Qt and hand it to a renderer (charts.h, or chart_renderer.h from a process without Qt).

#include <optional>
#include <string>
#include <vector>

namespace geofluid::charts {

struct Curve {
  std::string label;
  std::vector<double> x, y;  // points with a non-finite coordinate are left out
};

// A shaded range, e.g. the 5-95 % band of a mineral's log(Q/K) from the uncertainty work.
// A band whose label is that of a curve takes the curve's colour.
struct Band {
  std::string label;
  std::vector<double> x, low, high;
};

struct Marker {
  std::string label;
  double x = 0.0;
};

// One dataset's panel of log(Q/K) against temperature.
struct SiPanel {
  std::string title;               // "SOLVEQ", "SUPCRT98"
  std::vector<Curve> minerals;     // log(Q/K) per mineral
  std::vector<Band> bands;         // optional
  std::optional<double> estimate;  // °C, marked with a vertical line and its value
  std::string estimate_label;      // e.g. "RMS"; the value is appended
  // Further temperatures marked more lightly with their values, e.g. the other estimates or
  // the solute geothermometers.
  std::vector<Marker> markers;
  // The statistics over the mineral set, drawn in a small panel under the main one when given.
  std::optional<Curve> rms;
  std::optional<Curve> median;
  std::vector<Band> statistic_bands;
};

struct SiTemperatureData {
  std::string title;
  std::vector<SiPanel> panels;  // side by side, sharing the log(Q/K) axis
  std::string y_title;          // empty: "log(Q/K)"; for other quantities on the same layout
  std::string estimate_legend;  // the legend's name of the marked line; empty: "estimate"
};

// A point of the Na/1000 - K/100 - sqrt(Mg) triangle, percent of the sum.
struct TernaryPoint {
  double na = 0.0, k = 0.0, mg = 0.0;
};

struct TernaryTemperaturePoint {
  double celsius = 0.0;
  TernaryPoint point;
};

struct TernarySample {
  std::string label;
  TernaryPoint point;
};

struct GiggenbachData {
  std::string title;
  // The full-equilibrium line, ascending in temperature; points whose temperature is a
  // multiple of `label_step` get a tick and their temperature.
  std::vector<TernaryTemperaturePoint> full_equilibrium;
  double label_step = 20.0;
  std::vector<TernaryPoint> partial_equilibrium;  // the MI = 2.0 boundary
  std::vector<TernarySample> samples;
};

struct HistogramData {
  std::string title;
  std::string x_title;         // "Temperature (°C)"
  std::vector<double> values;  // non-finite values are left out
  int bins = 0;                // 0: the Freedman-Diaconis rule
  std::vector<Marker> markers;
};

}  // namespace geofluid::charts
