#include "interp/steffen.h"

#include <gsl/gsl_interp.h>

#include <cmath>
#include <stdexcept>
#include <string>

namespace geofluid::interp {

struct SteffenTable::Spline {
  explicit Spline(std::size_t n) : interp(gsl_interp_alloc(gsl_interp_steffen, n)) {
    if (interp == nullptr) throw std::bad_alloc();
  }
  ~Spline() { gsl_interp_free(interp); }
  Spline(const Spline&) = delete;
  Spline& operator=(const Spline&) = delete;
  gsl_interp* interp;
};

SteffenTable::SteffenTable(SteffenTable&&) noexcept = default;
SteffenTable::~SteffenTable() = default;

SteffenTable::SteffenTable(std::span<const double> nodes, std::span<const double> values)
    : nodes_(nodes), values_(values) {
  const std::size_t n = nodes.size();
  if (n < 3 || values.size() != n) {
    throw std::invalid_argument(
        "Steffen interpolation needs at least 3 nodes and one value each (" + std::to_string(n) +
        " nodes, " + std::to_string(values.size()) + " values)");
  }
  for (std::size_t i = 1; i < n; ++i) {
    if (!(nodes[i] > nodes[i - 1])) {
      throw std::invalid_argument("Steffen interpolation needs strictly ascending nodes");
    }
  }
  // The checks above and in Value keep every GSL call inside its domain, so GSL's error handler
  // (which aborts by default) is never reached.
  spline_ = std::make_unique<Spline>(n);
  gsl_interp* s = spline_->interp;
  gsl_interp_init(s, nodes.data(), values.data(), n);
  first_slope_ = gsl_interp_eval_deriv(s, nodes.data(), values.data(), nodes.front(), nullptr);
  last_slope_ = gsl_interp_eval_deriv(s, nodes.data(), values.data(), nodes.back(), nullptr);
}

double SteffenTable::Value(double t) const {
  if (!std::isfinite(t)) {
    throw std::invalid_argument("the temperature to interpolate to is not a finite number");
  }
  const double first = nodes_.front();
  const double last = nodes_.back();
  if (t < first) return values_.front() + (t - first) * first_slope_;
  if (t > last) return values_.back() + (t - last) * last_slope_;
  // GSL evaluates the last node from the cubic of the last interval, which need not round to
  // the node's value; the interpolant passes through it by construction.
  if (t == last) return values_.back();
  return gsl_interp_eval(spline_->interp, nodes_.data(), values_.data(), t, nullptr);
}

double SteffenValue(std::span<const double> nodes, std::span<const double> values, double t) {
  return SteffenTable(nodes, values).Value(t);
}

}  // namespace geofluid::interp
