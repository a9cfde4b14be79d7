// The chart renderer loaded by the command line on demand (see chart_renderer.h).
#include <QString>
#include <QtGlobal>
#include <memory>

#include "chart_renderer.h"
#include "charts.h"

namespace geofluid::charts {
namespace {

// Qt's notice that a command-line process has no runtime directory says nothing to a user who
// asked for a PNG; everything else Qt says still reaches stderr.
QtMessageHandler previous_handler = nullptr;  // set once, before the application exists

void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
  if (previous_handler != nullptr) previous_handler(type, context, message);
}

// One offscreen application for the life of the process, made on the first chart.
void EnsureApplication() {
  static const bool quiet = (previous_handler = qInstallMessageHandler(QuietHandler), true);
  (void)quiet;
  static RenderingApplication application;
}

std::string SiTemperature(const SiTemperatureData& data, const std::string& path, int width,
                          int height) {
  EnsureApplication();
  auto figure = SiTemperatureChart(data);
  return Save(*figure, path, width, height);
}

std::string Giggenbach(const GiggenbachData& data, const std::string& path, int width, int height) {
  EnsureApplication();
  auto figure = GiggenbachTriangle(data);
  return Save(*figure, path, width, height);
}

std::string HistogramChart(const HistogramData& data, const std::string& path, int width,
                           int height) {
  EnsureApplication();
  auto figure = Histogram(data);
  return Save(*figure, path, width, height);
}

}  // namespace
}  // namespace geofluid::charts

extern "C" const geofluid::charts::Renderer* geofluid_chart_renderer() {
  static const geofluid::charts::Renderer renderer{&geofluid::charts::SiTemperature,
                                                   &geofluid::charts::Giggenbach,
                                                   &geofluid::charts::HistogramChart};
  return &renderer;
}
