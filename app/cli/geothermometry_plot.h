#pragma once

// The charts of `geofluid-cli geothermometry --plot`, drawn off screen with the chart library.

#include <string>
#include <vector>

#include "geothermometry/estimate.h"

namespace geofluid::cli {

// Empty when `path` can take a chart (.png or .svg in a folder that exists), else why not.
std::string CheckPlotPath(const std::string& path);

// One sample: log(Q/K) of its set against temperature, the datasets side by side, to `path`,
// and the Giggenbach triangle to PATH-giggenbach.EXT. Several samples (a table): the triangle
// of all of them to `path`. Empty on success, else what went wrong with which file.
std::string PlotReservoir(const std::string& path,
                          const std::vector<const geothermometry::Reservoir*>& samples,
                          const geothermometry::SweepOptions& options);

// PATH-giggenbach.EXT for PATH.EXT.
std::string TrianglePath(const std::string& path);

}  // namespace geofluid::cli
