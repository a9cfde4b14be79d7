#pragma once

// Rendering the charts from a process that does not link Qt: the command line loads the
// renderer module only when a chart is asked for, so that a plain run starts without mapping
// and relocating some fifty Qt and graphics libraries.

#include <string>

#include "chart_data.h"

namespace geofluid::charts {

// Each writes the chart at width x height to `path` (PNG or SVG by the extension) and returns
// an empty string on success, else what went wrong with which file.
struct Renderer {
  std::string (*si_temperature)(const SiTemperatureData& data, const std::string& path, int width,
                                int height);
  std::string (*giggenbach)(const GiggenbachData& data, const std::string& path, int width,
                            int height);
  std::string (*histogram)(const HistogramData& data, const std::string& path, int width,
                           int height);
};

// The renderer of the module installed beside the running program; nullptr with `error` set
// when it cannot be loaded (the module is missing, or Qt cannot start).
const Renderer* LoadRenderer(std::string& error);

}  // namespace geofluid::charts

// The module's one entry point.
extern "C" const geofluid::charts::Renderer* geofluid_chart_renderer();
