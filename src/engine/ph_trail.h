#pragma once

#include <array>
#include <cmath>
#include <optional>

namespace geofluid::engine {

// The pH found at the temperatures before, as the hint for the next one's search. The pH of a
// water carried through temperatures changes smoothly with them, so the last pH is moved along
// the parabola through the last three (the line through two, or as a guide moves: the nominal
// sample's pH for a Monte Carlo draw). The closer the start, the fewer secant steps the search
// needs before its last two trials; the pH found is the same whatever the hint.
class PhTrail {
 public:
  // `slope`: dD/dpH of the search that found `ph` (Evaluation::ph_slope), 0 if unknown.
  void Add(double temperature, double ph, double slope = 0.0) {
    for (int i = kKept - 1; i > 0; --i) points_[i] = points_[i - 1];
    points_[0] = {temperature, ph, slope};
    if (count_ < kKept) ++count_;
  }
  // nullopt before the first pH.
  std::optional<double> Hint(double temperature) const {
    if (count_ == 0) return std::nullopt;
    const Point& p0 = points_[0];
    if (count_ == 1) return p0.ph;
    const Point& p1 = points_[1];
    if (p1.t == p0.t) return p0.ph;
    const double line = (p0.ph - p1.ph) / (p0.t - p1.t) * (temperature - p0.t);
    // A step far beyond the last one extrapolates nothing.
    if (!(std::fabs(line) <= 2.0 * std::fabs(p0.ph - p1.ph) + 0.05)) return p0.ph;
    if (count_ == 2) return p0.ph + line;
    const std::optional<double> bend = Bend(temperature);
    // The parabola's bend is a small correction to the line, or it is no guide.
    if (!bend || !(std::fabs(*bend) <= 0.5 * std::fabs(line) + 1e-4)) return p0.ph + line;
    return p0.ph + line + *bend;
  }
  // The last pH moved by the guide's change from the last temperature to this one.
  std::optional<double> Hint(double temperature, double guide_at_last, double guide_here) const {
    if (count_ == 0) return std::nullopt;
    const double change = guide_here - guide_at_last;
    if (!std::isfinite(change) || std::fabs(change) > 0.5) return Hint(temperature);
    return points_[0].ph + change;
  }
  // dD/dpH for the next search's first step (Hooks::ph_slope): the last search's, moved along
  // the line through the last two. It changes by a few per cent from one temperature to the
  // next, and each per cent of error costs a hundredth of the hint's distance in the first step.
  double Slope(double temperature) const {
    if (count_ == 0) return 0.0;
    const Point &p0 = points_[0], &p1 = points_[1];
    if (count_ == 1 || p0.slope <= 0.0 || p1.slope <= 0.0 || p0.t == p1.t) return p0.slope;
    const double slope = p0.slope + (p0.slope - p1.slope) / (p0.t - p1.t) * (temperature - p0.t);
    return slope > 0.5 * p0.slope && slope < 2.0 * p0.slope ? slope : p0.slope;
  }

 private:
  static constexpr int kKept = 3;
  struct Point {
    double t = 0.0, ph = 0.0, slope = 0.0;
  };
  // The parabola's departure from the line through the last two points at `temperature`.
  std::optional<double> Bend(double temperature) const {
    const Point &p0 = points_[0], &p1 = points_[1], &p2 = points_[2];
    if (p2.t == p1.t || p2.t == p0.t) return std::nullopt;
    const double s01 = (p0.ph - p1.ph) / (p0.t - p1.t);
    const double s12 = (p1.ph - p2.ph) / (p1.t - p2.t);
    const double curvature = (s01 - s12) / (p0.t - p2.t);
    const double bend = curvature * (temperature - p0.t) * (temperature - p1.t);
    if (!std::isfinite(bend)) return std::nullopt;
    return bend;
  }

  std::array<Point, kKept> points_{};
  int count_ = 0;
};

}  // namespace geofluid::engine
