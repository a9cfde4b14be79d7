#include "interp/steffen.h"

#include <gsl/gsl_interp.h>

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>

namespace geofluid::interp {
namespace {

struct InterpDeleter {
  void operator()(gsl_interp* p) const { gsl_interp_free(p); }
};

}  // namespace

double SteffenValue(std::span<const double> nodes, std::span<const double> values, double t) {
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
  if (!std::isfinite(t)) {
    throw std::invalid_argument("the temperature to interpolate to is not a finite number");
  }
  // The checks above keep every GSL call inside its domain, so GSL's error handler (which
  // aborts by default) is never reached.
  std::unique_ptr<gsl_interp, InterpDeleter> spline(gsl_interp_alloc(gsl_interp_steffen, n));
  if (!spline) throw std::bad_alloc();
  gsl_interp_init(spline.get(), nodes.data(), values.data(), n);

  const double first = nodes.front();
  const double last = nodes.back();
  if (t < first) {
    return values.front() + (t - first) * gsl_interp_eval_deriv(spline.get(), nodes.data(),
                                                                values.data(), first, nullptr);
  }
  if (t > last) {
    return values.back() + (t - last) * gsl_interp_eval_deriv(spline.get(), nodes.data(),
                                                              values.data(), last, nullptr);
  }
  // GSL evaluates the last node from the cubic of the last interval, which need not round to
  // the node's value; the interpolant passes through it by construction.
  if (t == last) return values.back();
  return gsl_interp_eval(spline.get(), nodes.data(), values.data(), t, nullptr);
}

}  // namespace geofluid::interp
