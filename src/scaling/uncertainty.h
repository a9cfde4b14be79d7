#pragma once

// How sure is a scaling answer: the whole path evaluated for many draws of the sample's inputs
// (Monte Carlo, the uncertainty layer's draws), the SI of every mineral at every water
// summarised by its median, 5 % and 95 % quantiles and the share of draws above zero.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scaling/scaling.h"
#include "uncertainty/uncertainty.h"

namespace geofluid::scaling {

struct DrawnSi {
  std::string dataset;  // key
  std::string mineral;
  double separation = 0.0;        // °C
  std::optional<double> cooling;  // °C; absent for the separated water itself
  double nominal = 0.0;           // the draw-free path; NaN where it failed
  uncertainty::Interval interval;
  double oversaturated = 0.0;  // share of the counted draws with SI > 0
};

struct PathUncertainty {
  std::size_t draws = 0;
  std::size_t failed = 0;  // draws in which some water could not be evaluated
  std::vector<DrawnSi> si;
  // Per dataset: the lowest separation temperature, from the hottest down, at which amorphous
  // silica is oversaturated in at most `risk` of the draws; absent where none is.
  std::vector<std::optional<double>> lowest_separation;
  double risk = 0.05;
};

// `draws` draws from `seed` (draw i depends on (seed, i) alone), evaluated on the caller's task
// arena. The reservoir temperature must be a number here: a key would move with each draw.
// Throws std::invalid_argument for such options.
PathUncertainty RunPathUncertainty(const engine::Sample& sample,
                                   const uncertainty::InputErrors& errors, std::size_t draws,
                                   std::uint64_t seed, const Options& options,
                                   engine::ConditionsCache& cache, double risk = 0.05);

}  // namespace geofluid::scaling
