#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace geofluid::speciation {

// x^n for n = ±2, ±3, ±4: the value std::pow(x, n) returns, at a fraction of its cost (the
// powers of the activities were a third of a speciation's time).
//
// x^|n| is formed as an unevaluated sum hi + lo to about 2^-100 relative with the error-free
// product of the fused multiply-add (Ogita, Rump & Oishi 2005, SIAM J. Sci. Comput. 26, 1955,
// TwoProduct), and its reciprocal with one Newton correction. Rounding hi + lo gives c and its
// distance from the exact power: where that is below 0.45 ulp, c is the double nearest the
// exact power and every other double is more than 0.55 ulp away, so std::pow, whose error is
// below 0.54 ulp (glibc's pow since 2.28; a correctly rounding one has 0.5), returns c as
// well. Near a midpoint, at a power of two (where the spacing halves), for x outside
// 2^-200..2^200 and for any other exponent, std::pow answers itself.
class RaiseTo {
 public:
  explicit RaiseTo(double exponent)
      : exponent_(exponent),
        n_(exponent == std::trunc(exponent) && std::fabs(exponent) >= 2.0 &&
                   std::fabs(exponent) <= 4.0
               ? static_cast<int>(exponent)
               : 0) {}

  double operator()(double x) const {
    if (n_ != 0) {
      const double ax = std::fabs(x);
      if (ax >= 0x1p-200 && ax <= 0x1p200) {
        double hi, lo;
        Positive(x, n_ < 0 ? -n_ : n_, hi, lo);
        if (n_ < 0) Reciprocal(hi, lo);
        const double c = hi + lo;
        const double residual = (hi - c) + lo;
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(c);
        constexpr std::uint64_t kMantissa = (std::uint64_t{1} << 52) - 1;
        if ((bits & kMantissa) != 0) {
          // ulp(c): c's exponent, 52 places down (c is normal here, far from both ends).
          const double ulp = std::bit_cast<double>((bits & (std::uint64_t{0x7ff} << 52)) -
                                                   (std::uint64_t{52} << 52));
          if (std::fabs(residual) < 0.45 * ulp) return c;
        }
      }
    }
    return std::pow(x, exponent_);
  }

 private:
  static void Positive(double x, int n, double& hi, double& lo) {
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
  // 1 / (hi + lo): y = 1/hi, and 1 - y hi is exact (the residual of a rounded quotient).
  static void Reciprocal(double& hi, double& lo) {
    const double y = 1.0 / hi;
    const double r = std::fma(-y, hi, 1.0) - y * lo;
    hi = y;
    lo = y * r;
  }

  double exponent_;
  int n_;
};

}  // namespace geofluid::speciation
