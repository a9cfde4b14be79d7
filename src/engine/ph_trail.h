#pragma once

#include <cmath>
#include <optional>

namespace geofluid::engine {

// The pH found at the temperatures before, as the hint for the next one's search. The pH of a
// water carried through temperatures changes smoothly with them, so the last pH is moved along
// the line through the last two (or as a guide moves: the nominal sample's pH for a Monte Carlo
// draw). The start is then some ten times closer than the last pH alone, which saves about one
// speciation per point; the pH found is the same whatever the hint.
class PhTrail {
 public:
  // `slope`: dD/dpH of the search that found `ph` (Evaluation::ph_slope), 0 if unknown.
  void Add(double temperature, double ph, double slope = 0.0) {
    before_t_ = last_t_;
    before_ph_ = last_ph_;
    last_t_ = temperature;
    last_ph_ = ph;
    slope_ = slope;
    ++count_;
  }
  // nullopt before the first pH.
  std::optional<double> Hint(double temperature) const {
    if (count_ == 0) return std::nullopt;
    if (count_ == 1 || before_t_ == last_t_) return last_ph_;
    const double change = (last_ph_ - before_ph_) / (last_t_ - before_t_) * (temperature - last_t_);
    // A step far beyond the last one extrapolates nothing.
    if (!(std::fabs(change) <= 2.0 * std::fabs(last_ph_ - before_ph_) + 0.05)) return last_ph_;
    return last_ph_ + change;
  }
  // The last pH moved by the guide's change from the last temperature to this one.
  std::optional<double> Hint(double temperature, double guide_at_last, double guide_here) const {
    if (count_ == 0) return std::nullopt;
    const double change = guide_here - guide_at_last;
    if (!std::isfinite(change) || std::fabs(change) > 0.5) return Hint(temperature);
    return last_ph_ + change;
  }
  // The last search's dD/dpH, for the next one's first step (Hooks::ph_slope).
  double Slope() const { return slope_; }

 private:
  int count_ = 0;
  double last_t_ = 0.0, last_ph_ = 0.0, before_t_ = 0.0, before_ph_ = 0.0, slope_ = 0.0;
};

}  // namespace geofluid::engine
