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
  // x^exponent to a few ulp for the integer exponents, at a fraction of the cost, for runs that
  // need no bits of std::pow (the estimates of the pH search).
  double Near(double x) const {
    switch (n_) {
      case 2:
        return x * x;
      case 3:
        return x * x * x;
      case 4:
        return (x * x) * (x * x);
      case -2:
        return 1.0 / (x * x);
      default:
        return std::pow(x, exponent_);
    }
  }

 private:
  double Integer(double x) const;

  double exponent_;
  int n_;
};

// out[i] = 10^y[i], i < n: the values std::pow(10.0, y[i]) returns, four at a time where the
// processor has AVX2 and FMA (the sixteen activity coefficients of a pass were half of a
// speciation's calls to pow). The floating-point status is raised as by the calls to pow.
//
// 10^y = 2^(k/128) e^r with y ln 10 = k ln 2 / 128 + r, |r| <= ln 2 / 256 (Tang 1989, ACM Trans.
// Math. Softw. 15, 144): y ln 10 in two doubles, 2^(j/128) from a table of two doubles each
// (scripts/make_exp2_table.py), e^r by its Taylor series to r^6. The sum hi + lo so formed lies
// within 2^-60 of 10^y (0.008 ulp); where its rounding c is under 0.44 ulp from hi + lo, c is
// the double nearest 10^y and std::pow returns it, as RaiseTo argues. Elsewhere (about one value
// in eight), for |y| outside 2^-60..300 and for a NaN, std::pow answers itself.
void TenTo(const double* y, int n, double* out);
// The same to a few ulp, TenTo's candidates taken as they are: for runs that need no bits of pow.
void TenToNear(const double* y, int n, double* out);

}  // namespace geofluid::speciation
