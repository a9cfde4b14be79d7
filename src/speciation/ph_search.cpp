#include "speciation/ph_search.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "speciation/solver.h"

namespace geofluid::speciation {

namespace {

constexpr double kFirstTrial = 10.0;  // the decimal search's

// Every value of D asked for so far. D is taken to rise with pH, so a point at or above a
// positive value is positive and a point at or below a negative one is negative.
class Probe {
 public:
  // `side_by_side` may be null or empty: D one value at a time.
  explicit Probe(const std::function<double(double)>& mismatch,
                 const MismatchSideBySide* side_by_side = nullptr)
      : mismatch_(mismatch),
        side_by_side_(side_by_side != nullptr && *side_by_side ? side_by_side : nullptr) {}

  double At(double ph) {
    // A call that throws counts, and is no speciation to keep.
    ++calls_;
    last_ = std::numeric_limits<double>::quiet_NaN();
    return Record(ph, mismatch_(ph));
  }
  // D at each of `xs` (two or three), side by side where the caller can; otherwise D at the
  // first alone, and the search goes on to ask for the others as it would have.
  double AtSideBySide(std::initializer_list<double> xs) {
    std::array<double, 3> d;
    const std::span<const double> at(xs.begin(), xs.size());
    if (side_by_side_ == nullptr || xs.size() > d.size() ||
        !(*side_by_side_)(at, std::span(d.data(), xs.size()))) {
      return At(*xs.begin());
    }
    calls_ += static_cast<int>(xs.size());
    for (std::size_t i = 0; i < xs.size(); ++i) Record(at[i], d[i]);
    return d[0];
  }
  // D at exactly this pH, if it was asked for.
  std::optional<double> Known(double ph) const {
    for (const auto& [x, d] : seen_)
      if (x == ph) return d;
    return std::nullopt;
  }
  // +1 or -1 where the values seen tell the sign, 0 where they do not.
  int Sign(double ph) const {
    if (ph >= above) return 1;
    if (ph <= below) return -1;
    return 0;
  }
  // False once a negative D was seen above a positive one, or a NaN.
  bool Rising() const { return !nan_ && below < above; }
  bool Bracketed() const { return Rising() && below > -kInf && above < kInf; }
  int Calls() const { return calls_; }
  const std::vector<std::pair<double, double>>& Seen() const { return seen_; }
  bool LastAt(double ph) const { return calls_ > 0 && last_ == ph; }
  double Highest() const { return highest_; }

  double below = -kInf, below_d = 0.0;  // highest pH with D < 0
  double above = kInf, above_d = 0.0;   // lowest pH with D > 0

 private:
  static constexpr double kInf = std::numeric_limits<double>::infinity();
  double Record(double ph, double d) {
    last_ = ph;
    highest_ = std::max(highest_, ph);
    seen_.push_back({ph, d});
    if (std::isnan(d)) {
      nan_ = true;
    } else if (d < 0.0 && ph > below) {
      below = ph;
      below_d = d;
    } else if (d > 0.0 && ph < above) {
      above = ph;
      above_d = d;
    }
    return d;
  }
  const std::function<double(double)>& mismatch_;
  const MismatchSideBySide* side_by_side_;
  std::vector<std::pair<double, double>> seen_;
  int calls_ = 0;
  double last_ = 0.0;
  double highest_ = -kInf;
  bool nan_ = false;
};

// The decimal search, asking only for values not yet known; it fails exactly where the plain
// one would.
PhSearchResult Decimal(Probe& probe) {
  FindPhForToth search;
  std::vector<double> path;
  for (;;) {
    const double ph = search.Ph();
    path.push_back(ph);
    const std::optional<double> known = probe.Known(ph);
    if (!search.Next(known ? *known : probe.At(ph))) break;
  }
  if (!probe.LastAt(search.Ph())) probe.At(search.Ph());
  return {search.Ph(), probe.Calls(), std::move(path)};
}

// D is exactly 0 at x: the signs just below and above make the bracket (a zero tells no sign:
// the decimal search would end on it).
bool Flank(Probe& probe, double x, double width) {
  for (double w = 0.1 * width; w < 1e-3; w *= 100.0) {
    const double below = probe.At(x - w);
    const double above = probe.At(x + w);
    if (!probe.Rising()) return false;
    if (below < 0.0 && above > 0.0) return true;
  }
  return false;
}

// From pH 10 towards the sign change; false if there is none within the pH range where a
// speciation is meaningful. D is roughly linear in 10^-pH on the acid side (free and bound
// hydrogen) and in 10^pH on the alkaline side (hydroxide), so the next trial is where the
// line through the last two points in that variable meets zero, a little beyond.
bool Bracket(Probe& probe) {
  constexpr double kLowest = -5.0, kHighest = 16.0;
  double x0 = kFirstTrial;
  const std::optional<double> known = probe.Known(x0);
  double f0 = known ? *known : probe.At(x0);
  if (f0 == 0.0) return true;
  const double direction = f0 > 0.0 ? -1.0 : 1.0;
  double x1 = x0 + direction * (f0 > 0.0 ? 1.0 : 0.5);
  for (int i = 0; i < 60; ++i) {
    if (x1 < kLowest || x1 > kHighest) return false;
    const double f1 = probe.At(x1);
    if (!probe.Rising()) return false;
    if (f1 == 0.0) return Flank(probe, x1, 1e-10);
    if (probe.Bracketed()) return true;
    // u = 10^(-direction * pH) grows towards the root.
    const double u0 = std::pow(10.0, -direction * x0), u1 = std::pow(10.0, -direction * x1);
    const double u_root = u1 - f1 * (u1 - u0) / (f1 - f0);
    double step = 2.0 * std::fabs(x1 - x0);
    if (std::isfinite(u_root) && u_root > u1) {
      step = std::fabs(std::log10(u_root / u1)) + 0.05;
    }
    x0 = x1;
    f0 = f1;
    x1 += direction * std::clamp(step, 0.1, 2.0);
  }
  return false;
}

// Brent's method (Brent 1973, Algorithms for Minimization without Derivatives, ch. 4) on the
// bracket, until it is narrower than the last decimal step.
bool Narrow(Probe& probe) {
  constexpr double kWidth = 1e-9;
  if (!probe.Bracketed()) return false;
  double a = probe.below, fa = probe.below_d;
  double b = probe.above, fb = probe.above_d;
  double c = a, fc = fa;
  double d = b - a, e = d;
  for (int i = 0; i < 200; ++i) {
    if ((fb > 0.0) == (fc > 0.0)) {
      c = a;
      fc = fa;
      e = d = b - a;
    }
    if (std::fabs(fc) < std::fabs(fb)) {
      a = b;
      b = c;
      c = a;
      fa = fb;
      fb = fc;
      fc = fa;
    }
    const double tol = 2.0 * DBL_EPSILON * std::fabs(b) + 0.5 * kWidth;
    const double xm = 0.5 * (c - b);
    // A zero of Brent's own bracket ends it, but only signs narrow the probe's.
    if (fb == 0.0) return Flank(probe, b, kWidth);
    if (probe.above - probe.below <= kWidth || std::fabs(xm) <= tol) return true;
    if (std::fabs(e) >= tol && std::fabs(fa) > std::fabs(fb)) {
      const double s = fb / fa;
      double p, q;
      if (a == c) {
        p = 2.0 * xm * s;
        q = 1.0 - s;
      } else {
        const double qa = fa / fc, r = fb / fc;
        p = s * (2.0 * xm * qa * (qa - r) - (b - a) * (r - 1.0));
        q = (qa - 1.0) * (r - 1.0) * (s - 1.0);
      }
      if (p > 0.0) q = -q;
      p = std::fabs(p);
      if (2.0 * p < std::min(3.0 * xm * q - std::fabs(tol * q), std::fabs(e * q))) {
        e = d;
        d = p / q;
      } else {
        d = xm;
        e = d;
      }
    } else {
      d = xm;
      e = d;
    }
    a = b;
    fa = fb;
    b += std::fabs(d) > tol ? d : std::copysign(tol, xm);
    fb = probe.At(b);
    if (!probe.Rising()) return false;
  }
  return false;
}

// The decimal search replayed against the values known; nullopt where they turn out not to
// rise with pH.
std::optional<PhSearchResult> Replay(Probe& probe) {
  FindPhForToth search;
  std::vector<double> path;
  for (;;) {
    const double ph = search.Ph();
    path.push_back(ph);
    double d;
    // Above pH 10 the passes stop and diverge the more often the higher the pH (a SOLVEQ
    // speciation at 250 °C diverges a tenth above a root at 11.0, where the trials below it
    // converge): a trial there higher than any asked for is asked for, so that the replay meets
    // the fault where the decimal search would.
    const bool highest = ph > kFirstTrial && ph > probe.Highest();
    if (const std::optional<double> known = probe.Known(ph)) {
      d = *known;
    } else if (const int sign = probe.Sign(ph); sign != 0 && !highest) {
      d = sign;
    } else {
      d = probe.At(ph);
      if (!probe.Rising()) return std::nullopt;
    }
    if (!search.Next(d)) break;
  }
  // The caller keeps the speciation of the last call; it also confirms the sign that ended the
  // search.
  if (!probe.LastAt(search.Ph())) {
    probe.At(search.Ph());
    if (!probe.Rising()) return std::nullopt;
  }
  return PhSearchResult{search.Ph(), probe.Calls(), std::move(path)};
}

// Where the decimal search would end if D changed sign exactly at `root`: the nearest trials
// of its path on either side of the root and its answer, which is one of them unless the path
// reaches the same pH twice by different sums of its steps (then one 1e-15 away). Once all three
// are known the replay asks for nothing. The signs already known take precedence over the guess.
struct End {
  double below, above, answer;
};
End PredictedEnd(const Probe& probe, double root) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  FindPhForToth search;
  End end{-kInf, kInf, 0.0};
  for (;;) {
    const double ph = search.Ph();
    double d;
    if (const std::optional<double> known = probe.Known(ph)) {
      d = *known;
    } else if (const int sign = probe.Sign(ph); sign != 0) {
      d = sign;
    } else {
      d = ph > root ? 1.0 : ph < root ? -1.0 : 0.0;
    }
    if (d < 0.0) end.below = std::max(end.below, ph);
    if (d > 0.0) end.above = std::min(end.above, ph);
    if (!search.Next(d)) break;
  }
  end.answer = search.Ph();
  return end;
}

// Secant steps from two points near the answer (`last_step` about their distance from it)
// until the root is known far more finely than the last decimal step, then the two last-step
// trials around it: where they bracket the root, every sign the decimal search asks for is
// known; where they do not, they are the next secant points. False where the steps lead nowhere
// (a flat or falling D, a NaN, outside [lowest, highest]); the values seen then still serve.
// `direction` (±1, 0 for none) steps in u = 10^(-direction pH) instead, as Bracket does: far
// from the root D is nearer a line in u than in pH.
bool Secant(Probe& probe, double x0, double f0, double x1, double f1, double last_step,
            double lowest, double highest, double direction = 0.0) {
  // The secant's error falls as the product of the last two steps times |D''/2D'|, about
  // ln 10 / 2 where D goes as 10^-pH. Below 1e-9, a last decimal step, the guessed trials
  // around the root are right about four times in five, and a wrong guess costs about the one
  // more step that would have made sure (fewer calls in all than stopping at 1e-10).
  constexpr double kCurvature = 2.0, kEnough = 1e-9;
  double xp = std::numeric_limits<double>::quiet_NaN(), fp = 0.0;  // the point before x0
  for (int i = 0; i < 16; ++i) {
    double root = x1;
    if (f1 != 0.0) {
      if (f1 == f0) return false;
      root = x1 - f1 * (x1 - x0) / (f1 - f0);
      if (direction != 0.0) {
        const double u0 = std::pow(10.0, -direction * x0), u1 = std::pow(10.0, -direction * x1);
        double u = u1 - f1 * (u1 - u0) / (f1 - f0);
        // From a cold bracket, u through the last three points as a quadratic in D (inverse
        // quadratic interpolation, as in Brent 1973, ch. 4) where it falls inside the bracket:
        // over 1,000 waters carried to 120-300 °C, 7-9 % fewer speciations than the secant.
        if (std::isfinite(xp) && fp != f0 && fp != f1) {
          const double up = std::pow(10.0, -direction * xp);
          const double v = up * f0 * f1 / ((fp - f0) * (fp - f1)) +
                           u0 * fp * f1 / ((f0 - fp) * (f0 - f1)) +
                           u1 * fp * f0 / ((f1 - fp) * (f1 - f0));
          // The logarithm only of a positive u: a stray floating-point fault is a fault.
          if (v > 0.0 && std::isfinite(v)) {
            const double r = -std::log10(v) / direction;
            if (!probe.Bracketed() || (r > probe.below && r < probe.above)) u = v;
          }
        }
        if (u > 0.0 && std::isfinite(u)) root = -std::log10(u) / direction;
      }
      // Far from the root a secant on an exponential overshoots: no more than ten times the
      // last step, and inside the bracket once there is one.
      const double limit = 10.0 * last_step;
      root = std::clamp(root, x1 - limit, x1 + limit);
      if (probe.Bracketed() && !(root > probe.below && root < probe.above)) {
        root = 0.5 * (probe.below + probe.above);
      }
      if (!std::isfinite(root) || root < lowest || root > highest) return false;
    }
    const double step = std::fabs(root - x1);
    if (f1 != 0.0 && kCurvature * step * last_step >= kEnough && step >= 1e-13) {
      last_step = step;
      xp = x0;
      fp = f0;
      x0 = x1;
      f0 = f1;
      x1 = root;
      f1 = probe.At(x1);
      if (!probe.Rising()) return false;
      continue;
    }
    // The answer last: the caller keeps the speciation of the last call.
    const End end = PredictedEnd(probe, root);
    // Where exactly two of them are unknown, the two side by side, in the order asked below.
    std::array<double, 3> unknown;
    std::size_t count = 0;
    for (const double x : {end.below, end.above}) {
      if (std::isfinite(x) && x != end.answer && !probe.Known(x)) unknown[count++] = x;
    }
    if (!probe.Known(end.answer)) unknown[count++] = end.answer;
    if (count == 2) probe.AtSideBySide({unknown[0], unknown[1]});
    const auto ask = [&](double x) {
      if (!probe.Known(x)) probe.At(x);
      return probe.Rising();
    };
    for (const double x : {end.below, end.above}) {
      if (std::isfinite(x) && x != end.answer && !ask(x)) return false;
    }
    if (!ask(end.answer)) return false;
    if (probe.above - probe.below <= 1e-8) return true;
    if (!std::isfinite(end.below) || !std::isfinite(end.above)) return false;
    const double f_below = *probe.Known(end.below), f_above = *probe.Known(end.above);
    if (f_below == f_above) return false;
    x0 = end.below;
    f0 = f_below;
    x1 = end.above;
    f1 = f_above;
    last_step = end.above - end.below;
  }
  return false;
}

// The secant steps from a pH near the answer and one a Newton step from it (with the slope of
// a neighbouring solution) or a little way from it.
bool WarmBracket(Probe& probe, double hint, double slope) {
  // A neighbouring solution lies within the pH range of waters, and the root within a unit of
  // it. Beyond, the steps could meet a root the decimal search never reaches from pH 10 (far
  // outside that range a speciation's D need not rise with pH): the cold start decides.
  constexpr double kWindow = 1.0;
  if (!(hint >= 0.0 && hint <= 14.0)) return false;
  // The pH of neighbouring temperatures 5 °C apart differ by a few hundredths.
  constexpr double kFirstStep = 0.02;
  const double x0 = hint;
  const std::optional<double> known = probe.Known(x0);
  const double f0 = known ? *known : probe.At(x0);
  if (!probe.Rising()) return false;
  double x1 = x0, f1 = f0;
  double step = kFirstStep;
  if (f0 != 0.0) {
    if (slope > 0.0 && std::isfinite(slope)) {
      // Not so short that D cannot tell the two points apart, nor beyond the window.
      step = std::clamp(std::fabs(f0 / slope), 1e-9, kWindow);
    }
    x1 = x0 + (f0 > 0.0 ? -step : step);
    f1 = probe.At(x1);
    if (!probe.Rising()) return false;
  }
  return Secant(probe, x0, f0, x1, f1, step, hint - kWindow, hint + kWindow);
}

// The decimal search's last two trials around an estimate of the root, the first beside pH 10
// and the answer last. Where they do not bracket the root they lie next to it, and the secant
// steps go on from them. True as Secant.
bool NearEstimate(Probe& probe, double estimate) {
  if (!(estimate >= 0.0 && estimate <= 14.0)) return false;
  const End end = PredictedEnd(probe, estimate);
  std::array<double, 2> others;
  std::size_t count = 0;
  for (const double x : {end.below, end.above}) {
    if (std::isfinite(x) && x != end.answer && !probe.Known(x)) others[count++] = x;
  }
  // pH 10, the longest to converge, first: the lane that ends first starts the next.
  if (!probe.Known(kFirstTrial) && end.answer != kFirstTrial && !probe.Known(end.answer) &&
      (count == 0 || others[0] != kFirstTrial)) {
    if (count == 0) {
      probe.AtSideBySide({kFirstTrial, end.answer});
    } else if (count == 1) {
      probe.AtSideBySide({kFirstTrial, others[0], end.answer});
    } else {
      probe.AtSideBySide({kFirstTrial, others[0], others[1]});  // the answer apart, last
    }
  } else if (!probe.Known(kFirstTrial)) {
    probe.At(kFirstTrial);
  }
  const auto ask = [&](double x) {
    if (!probe.Known(x)) probe.At(x);
    return probe.Rising();
  };
  for (std::size_t i = 0; i < count; ++i) {
    if (!ask(others[i])) return false;
  }
  if (!ask(end.answer)) return false;
  if (probe.above - probe.below <= 1e-8) return true;
  if (!std::isfinite(end.below) || !std::isfinite(end.above)) return false;
  const double f_below = *probe.Known(end.below), f_above = *probe.Known(end.above);
  // The distance to the root, as the last step: the secant's first step is taken where it is
  // longer than the guessed trials can close.
  const double distance = std::fabs(f_above * (end.above - end.below) / (f_above - f_below));
  if (!(distance < 1.0)) return false;
  return Secant(probe, end.below, f_below, end.above, f_above, std::max(distance, 1e-9),
                estimate - 1.0, estimate + 1.0);
}

// From the bracket, secant steps and the last two trials as from a hint; where they do not
// close the bracket to adjacent last-step trials, Brent's method goes on from what they found.
bool ColdSecant(Probe& probe) {
  if (!probe.Bracketed()) return false;
  const double below = probe.below, above = probe.above;
  const double direction = probe.Known(kFirstTrial).value_or(0.0) > 0.0 ? -1.0 : 1.0;
  return Secant(probe, below, probe.below_d, above, probe.above_d, above - below, below, above,
                direction) &&
         probe.above - probe.below <= 1e-8;
}

// dD/dpH from the point seen nearest the pH found but not within the last decimal steps, where
// a speciation's rounding could tell more than the slope, and the pH found.
double SlopeAt(const Probe& probe, double ph) {
  const std::optional<double> d = probe.Known(ph);
  if (!d) return 0.0;
  double nearest = 0.0, nearest_d = 0.0, distance = 0.1;
  for (const auto& [x, dx] : probe.Seen()) {
    const double r = std::fabs(x - ph);
    if (r >= 1e-7 && r < distance) {
      distance = r;
      nearest = x;
      nearest_d = dx;
    }
  }
  if (distance >= 0.1) return 0.0;
  const double slope = (nearest_d - *d) / (nearest - ph);
  return slope > 0.0 && std::isfinite(slope) ? slope : 0.0;
}

}  // namespace

PhSearchResult DecimalPhSearch(const std::function<double(double ph)>& mismatch) {
  FindPhForToth search;
  std::vector<double> path;
  do {
    path.push_back(search.Ph());
  } while (search.Next(mismatch(search.Ph())));
  return {search.Ph(), search.Trials(), std::move(path)};
}

PhSearchResult FastPhSearch(const std::function<double(double ph)>& mismatch) {
  return FastPhSearch(mismatch, std::nullopt);
}

PhSearchResult FastPhSearch(const std::function<double(double ph)>& mismatch,
                            std::optional<double> hint, double slope,
                            const MismatchSideBySide& side_by_side,
                            std::optional<double> estimate) {
  Probe probe(mismatch, &side_by_side);
  const auto with_slope = [&](PhSearchResult r) {
    r.slope = SlopeAt(probe, r.ph);
    return r;
  };
  try {
    if (estimate && NearEstimate(probe, *estimate) &&
        (probe.above - probe.below <= 1e-8 || Narrow(probe))) {
      if (std::optional<PhSearchResult> result = Replay(probe)) return with_slope(*result);
    }
  } catch (const Error&) {
    // As from a hint: the searches below go their own way.
  }
  try {
    // The decimal search's first trial is asked for even so: far from the root its speciation
    // is the one most likely to stop at the pass limit, which the user is told of.
    // With the hint beside it where WarmBracket asks for the hint next.
    const bool beside = hint && *hint >= 0.0 && *hint <= 14.0 && *hint != kFirstTrial;
    const auto first = [&] {
      if (const std::optional<double> known = probe.Known(kFirstTrial)) return *known;
      return beside ? probe.AtSideBySide({kFirstTrial, *hint}) : probe.At(kFirstTrial);
    };
    if (hint && first() != 0.0 && WarmBracket(probe, *hint, slope)) {
      // Adjacent last-step trials around the root leave the replay nothing to ask; a wider
      // bracket is narrowed first.
      if (probe.above - probe.below <= 1e-8 || Narrow(probe)) {
        if (std::optional<PhSearchResult> result = Replay(probe)) return with_slope(*result);
      }
    }
  } catch (const Error&) {
    // A speciation that failed near the hint: the cold start goes its own way.
  }
  try {
    if (probe.Rising() && Bracket(probe) &&
        (probe.Known(kFirstTrial) == 0.0 || ColdSecant(probe) || Narrow(probe))) {
      if (std::optional<PhSearchResult> result = Replay(probe)) return with_slope(*result);
    }
  } catch (const Error&) {
    // A speciation that failed away from the decimal path, or the trial bound: the decimal
    // search meets the same failure, or none, on its own path.
  }
  return with_slope(Decimal(probe));
}

}  // namespace geofluid::speciation
