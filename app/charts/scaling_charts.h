#pragma once

// The two pictures of a scaling path, as plain chart data shared by the command line's --plot
// and the window's Scaling tab: the design chart (SI of amorphous silica and calcite against the
// separation and reinjection temperatures) and the boiling path (pH and gases of the separated
// water from the reservoir down).

#include <string>

#include "chart_data.h"
#include "scaling/scaling.h"

namespace geofluid::charts {

struct ScalingCharts {
  SiTemperatureData design;
  SiTemperatureData boiling;
};

// Labels in English; `title_prefix` leads each title (e.g. "Sample W-1: ").
ScalingCharts ScalingChartData(const scaling::Path& path, const scaling::Options& options,
                               const std::string& title_prefix);

}  // namespace geofluid::charts
