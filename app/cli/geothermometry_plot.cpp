#include "geothermometry_plot.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <limits>

#if GEOFLUID_HAVE_CHARTS
#include "chart_renderer.h"
#endif

namespace geofluid::cli {

namespace {

std::string Extension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

#if GEOFLUID_HAVE_CHARTS

charts::TernaryPoint Point(const geothermometry::TernaryPoint& p) { return {p.na, p.k, p.mg}; }

charts::GiggenbachData Triangle(const std::vector<const geothermometry::Reservoir*>& samples) {
  charts::GiggenbachData data;
  data.title = "Na-K-Mg triangle (Giggenbach 1988)";
  for (const auto& p : geothermometry::FullEquilibriumLine()) {
    data.full_equilibrium.push_back({p.celsius, Point(p.point)});
  }
  for (const auto& p : geothermometry::PartialEquilibriumBoundary()) {
    data.partial_equilibrium.push_back(Point(p));
  }
  for (const auto* r : samples) {
    if (r->giggenbach.point) data.samples.push_back({r->id, Point(*r->giggenbach.point)});
  }
  return data;
}

// The default sets of the two datasets are the same minerals under different names: one label
// each, so that a mineral has one colour and one legend entry in both panels.
std::string Label(const geothermometry::Estimate& e, const std::string& name) {
  static const char* const kCommon[] = {"quartz",      "albite (low)", "microcline", "muscovite",
                                        "clinochlore", "clinozoisite", "prehnite",   "wairakite",
                                        "laumontite",  "calcite",      "anhydrite"};
  const auto defaults = geothermometry::DefaultMinerals(*e.dataset);
  if (e.minerals != defaults) return name;
  const auto k = static_cast<std::size_t>(std::find(defaults.begin(), defaults.end(), name) -
                                          defaults.begin());
  return k < std::size(kCommon) ? kCommon[k] : name;
}

std::string Estimated(const geothermometry::Estimate& e) {
  return e.rms.celsius ? "" : " (no estimate: " + e.rms.reason + ")";
}

charts::SiTemperatureData SiChart(const geothermometry::Reservoir& r,
                                  const geothermometry::SweepOptions& options) {
  charts::SiTemperatureData data;
  data.title = "Sample " + r.id + ": log(Q/K) against temperature, " +
               std::string(options.scheme->Name()) + " interpolation";
  for (const auto& e : r.estimates) {
    charts::SiPanel panel;
    panel.title = std::string(e.dataset->title) + Estimated(e);
    std::vector<double> t;
    for (const auto& p : e.sweep.points) t.push_back(p.temperature);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Only the minerals that entered the statistics: one without its components sits at an
    // SI of -30 and would flatten every other curve.
    for (const std::string& name : e.used) {
      const int m = e.dataset->HeldMineralIndex(name);
      charts::Curve c{Label(e, name), t, {}};
      for (const auto& p : e.sweep.points) {
        c.y.push_back(p.ok() ? p.si[static_cast<std::size_t>(m - 1)] : nan);
      }
      panel.minerals.push_back(std::move(c));
    }
    if (e.rms.celsius) {
      panel.estimate = *e.rms.celsius;
      panel.estimate_label = "RMS";
    }
    charts::Curve rms{"RMS", {}, {}};
    charts::Curve median{"median", {}, {}};
    for (const auto& s : e.curves) {
      rms.x.push_back(s.temperature);
      rms.y.push_back(s.rms);
      median.x.push_back(s.temperature);
      median.y.push_back(s.median);
    }
    panel.rms = rms;
    panel.median = median;
    data.panels.push_back(std::move(panel));
  }
  return data;
}

#endif

}  // namespace

std::string TrianglePath(const std::string& path) {
  const std::filesystem::path p(path);
  return (p.parent_path() / (p.stem().string() + "-giggenbach" + p.extension().string())).string();
}

std::string CheckPlotPath(const std::string& path) {
  if (path.empty()) return "";
#if !GEOFLUID_HAVE_CHARTS
  return "this geofluid-cli was built without the charts (Qt 6 Charts and Svg)";
#else
  const std::string ext = Extension(path);
  if (ext != ".png" && ext != ".svg") {
    return "\"" + path + "\" must end in .png or .svg";
  }
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code ec;
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
    return "the folder " + folder.string() + " does not exist";
  }
  if (std::filesystem::is_directory(path, ec)) return path + " is a directory";
  return "";
#endif
}

std::string PlotReservoir(const std::string& path,
                          const std::vector<const geothermometry::Reservoir*>& samples,
                          const geothermometry::SweepOptions& options) {
#if !GEOFLUID_HAVE_CHARTS
  (void)path;
  (void)samples;
  (void)options;
  return CheckPlotPath(path);
#else
  std::string error;
  const charts::Renderer* renderer = charts::LoadRenderer(error);
  if (renderer == nullptr) return error;
  if (samples.size() == 1) {
    const int width = samples.front()->estimates.size() > 1 ? 1500 : 900;
    if (std::string problem =
            renderer->si_temperature(SiChart(*samples.front(), options), path, width, 760);
        !problem.empty()) {
      return problem;
    }
    return renderer->giggenbach(Triangle(samples), TrianglePath(path), 760, 700);
  }
  return renderer->giggenbach(Triangle(samples), path, 760, 700);
#endif
}

}  // namespace geofluid::cli
