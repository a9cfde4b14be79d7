#pragma once

#include <cmath>

namespace geofluid::speciation {

// x^n for n = 2, 3, 4 and -2: the value std::pow(x, n) returns, at half to two thirds of its
// cost (the powers of the activities were a third of a speciation's time).
//
// x^|n| is formed as an unevaluated sum hi + lo to about 2^-100 relative with the error-free
// product of the fused multiply-add (Ogita, Rump & Oishi 2005, SIAM J. Sci. Comput. 26, 1955,
// TwoProduct), and its reciprocal with one Newton correction. Rounding hi + lo gives c and its
// distance from the exact power: where that is below 0.45 ulp, c is the double nearest the
// exact power and every other double is more than 0.55 ulp away, so std::pow, whose error is
// below 0.54 ulp (glibc's pow since 2.28; a correctly rounding one has 0.5), returns c as
// well. Near a midpoint (about one value in ten), at a power of two (where the spacing halves),
// for x outside 2^-200..2^200 and for every other exponent (where this is no faster: the
// inverse cube and fourth power, the fractions), std::pow answers itself.
class RaiseTo {
 public:
  explicit RaiseTo(double exponent)
      : exponent_(exponent),
        n_(exponent == 2.0 || exponent == 3.0 || exponent == 4.0 || exponent == -2.0
               ? static_cast<int>(exponent)
               : 0) {}

  double operator()(double x) const { return n_ == 0 ? std::pow(x, exponent_) : Integer(x); }

 private:
  double Integer(double x) const;

  double exponent_;
  int n_;
};

}  // namespace geofluid::speciation
