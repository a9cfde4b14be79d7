#include "speciation/power.h"

#include <bit>
#include <cstdint>

namespace geofluid::speciation {

namespace {

// x^n = hi + lo, n = 2, 3 or 4.
inline void Positive(double x, int n, double& hi, double& lo) {
  const double p = x * x;
  const double e = std::fma(x, x, -p);  // x^2 = p + e exactly
  if (n == 2) {
    hi = p;
    lo = e;
  } else if (n == 3) {
    hi = p * x;
    lo = std::fma(p, x, -hi) + e * x;
  } else {
    hi = p * p;
    lo = std::fma(p, p, -hi) + 2.0 * p * e;
  }
}

}  // namespace

// Without a fused multiply-add in hardware std::fma is a library call; the clone for
// processors that have one computes it inline.
__attribute__((target_clones("fma", "default"))) double RaiseTo::Integer(double x) const {
  const double ax = std::fabs(x);
  if (ax >= 0x1p-200 && ax <= 0x1p200) {
    double hi, lo;
    Positive(x, n_ < 0 ? -n_ : n_, hi, lo);
    if (n_ < 0) {
      // 1 / (hi + lo): y = 1/hi, and 1 - y hi is exact (the residual of a rounded quotient).
      const double y = 1.0 / hi;
      const double r = std::fma(-y, hi, 1.0) - y * lo;
      hi = y;
      lo = y * r;
    }
    const double c = hi + lo;
    const double residual = (hi - c) + lo;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(c);
    constexpr std::uint64_t kMantissa = (std::uint64_t{1} << 52) - 1;
    constexpr std::uint64_t kExponent = std::uint64_t{0x7ff} << 52;
    if ((bits & kMantissa) != 0) {
      // ulp(c): c's exponent, 52 places down (c is normal here, far from both ends).
      const double ulp = std::bit_cast<double>((bits & kExponent) - (std::uint64_t{52} << 52));
      if (std::fabs(residual) < 0.45 * ulp) return c;
    }
  }
  return std::pow(x, exponent_);
}

}  // namespace geofluid::speciation
