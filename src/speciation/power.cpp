#include "speciation/power.h"

#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "speciation/exp2_table.h"

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

namespace {

// Four candidates c for 10^y and a mask of those that are std::pow's (all bits set).
__attribute__((target("avx2,fma"))) void TenToFour(const double* y, double* out,
                                                   std::uint64_t* good) {
  namespace t = exp2_table;
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d given = _mm256_loadu_pd(y);
  const __m256d ay = _mm256_andnot_pd(sign, given);
  const __m256d in_range = _mm256_and_pd(_mm256_cmp_pd(ay, _mm256_set1_pd(0x1p-60), _CMP_GE_OQ),
                                         _mm256_cmp_pd(ay, _mm256_set1_pd(300.0), _CMP_LE_OQ));
  // Outside the range (and for a NaN) 1 is computed instead: no flag the call would not raise.
  const __m256d v = _mm256_blendv_pd(_mm256_set1_pd(1.0), given, in_range);
  // x = v ln 10 = xh + xl.
  const __m256d ln10 = _mm256_set1_pd(t::kLn10Hi);
  const __m256d xh = _mm256_mul_pd(v, ln10);
  const __m256d xl = _mm256_fmadd_pd(v, _mm256_set1_pd(t::kLn10Lo), _mm256_fmsub_pd(v, ln10, xh));
  // k = round(x 128 / ln 2), whose low bits `shifted` holds as an integer plus 2^51.
  const __m256d shift = _mm256_set1_pd(0x1.8p52);
  const __m256d shifted = _mm256_fmadd_pd(xh, _mm256_set1_pd(t::kNOverLn2), shift);
  const __m256d k = _mm256_sub_pd(shifted, shift);
  // r = xh - k ln2/128 exactly (both multiples of 2^-61, |r| < 2^-8); s the rest, below 2^-42.
  const __m256d r = _mm256_fnmadd_pd(k, _mm256_set1_pd(t::kLn2OverNHi), xh);
  const __m256d s = _mm256_fnmadd_pd(k, _mm256_set1_pd(t::kLn2OverNLo), xl);
  // e^r - 1 = r + q to r^6 (the next term is below 2^-71); e^(r + s) - 1 = u.
  const __m256d r2 = _mm256_mul_pd(r, r);
  const __m256d c2 = _mm256_fmadd_pd(r, _mm256_set1_pd(1.0 / 6), _mm256_set1_pd(0.5));
  const __m256d c4 = _mm256_fmadd_pd(r, _mm256_set1_pd(1.0 / 120), _mm256_set1_pd(1.0 / 24));
  const __m256d c46 = _mm256_fmadd_pd(r2, _mm256_set1_pd(1.0 / 720), c4);
  const __m256d q = _mm256_mul_pd(r2, _mm256_fmadd_pd(r2, c46, c2));
  const __m256d p = _mm256_add_pd(r, q);
  const __m256d u = _mm256_add_pd(r, _mm256_fmadd_pd(p, s, _mm256_add_pd(q, s)));
  // 2^(j/128) = hi + lo, j = k mod 128; (hi + lo)(1 + u) = c + residual.
  const __m256i bits = _mm256_castpd_si256(shifted);
  const __m256i j = _mm256_and_si256(bits, _mm256_set1_epi64x(t::kN - 1));
  const __m256d hi = _mm256_i64gather_pd(t::kTwoHi, j, 8);
  const __m256d lo = _mm256_i64gather_pd(t::kTwoLo, j, 8);
  const __m256d rest = _mm256_fmadd_pd(hi, u, _mm256_fmadd_pd(lo, u, lo));
  const __m256d c = _mm256_add_pd(hi, rest);
  const __m256d residual = _mm256_add_pd(_mm256_sub_pd(hi, c), rest);
  // ulp(c) where c is no power of two (its mantissa not 0); 0 where it is.
  const __m256i cbits = _mm256_castpd_si256(c);
  const __m256i mantissa = _mm256_and_si256(cbits, _mm256_set1_epi64x((1LL << 52) - 1));
  const __m256i exponent = _mm256_and_si256(cbits, _mm256_set1_epi64x(0x7ffLL << 52));
  const __m256d ulp = _mm256_andnot_pd(
      _mm256_castsi256_pd(_mm256_cmpeq_epi64(mantissa, _mm256_setzero_si256())),
      _mm256_castsi256_pd(_mm256_sub_epi64(exponent, _mm256_set1_epi64x(52LL << 52))));
  const __m256d near = _mm256_cmp_pd(_mm256_andnot_pd(sign, residual),
                                     _mm256_mul_pd(_mm256_set1_pd(0.44), ulp), _CMP_LT_OQ);
  // Times 2^e, e = (k - j) / 128: exact, 10^y being normal here. `bits` is the exponent field
  // of 1.5 * 2^52, then 2^51 + k.
  constexpr long long kShiftBits = (1075LL << 52) + (1LL << 51);
  const __m256i e = _mm256_sub_epi64(_mm256_srli_epi64(_mm256_sub_epi64(bits, j), 7),
                                     _mm256_set1_epi64x(kShiftBits / t::kN - 1023));
  _mm256_storeu_pd(out, _mm256_mul_pd(c, _mm256_castsi256_pd(_mm256_slli_epi64(e, 52))));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(good),
                      _mm256_castpd_si256(_mm256_and_pd(near, in_range)));
}

}  // namespace

namespace {

// kNear: every candidate in the range is taken, std::pow's or not.
template <bool kNear>
void TenToAll(const double* y, int n, double* out) {
  static const bool kVector = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  int i = 0;
  if (kVector) {
    for (; i + 4 <= n; i += 4) {
      // A copy: out may be y.
      const double given[4] = {y[i], y[i + 1], y[i + 2], y[i + 3]};
      std::uint64_t good[4];
      TenToFour(given, out + i, good);
      for (int l = 0; l < 4; ++l) {
        const double a = std::fabs(given[l]);
        const bool take = kNear ? a >= 0x1p-60 && a <= 300.0 : good[l] != 0;
        if (!take) out[i + l] = std::pow(10.0, given[l]);
      }
    }
  }
  for (; i < n; ++i) out[i] = std::pow(10.0, y[i]);
}

}  // namespace

void TenTo(const double* y, int n, double* out) { TenToAll<false>(y, n, out); }

void TenToNear(const double* y, int n, double* out) { TenToAll<true>(y, n, out); }

}  // namespace geofluid::speciation
