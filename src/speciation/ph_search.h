#pragma once

#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace geofluid::speciation {

struct PhSearchResult {
  double ph = 0.0;
  int trials = 0;  // calls of the mismatch function, one speciation each
  // The trial pH values of the decimal search in its order, the returned pH last: what the
  // fast search replayed, or the calls of the decimal search itself.
  std::vector<double> path;
  // dD/dpH near the pH found, 0 where the fast search does not know it: the next search's
  // first step from a neighbouring hint.
  double slope = 0.0;
};

// Both searches take mismatch(pH) = target - TOTH of a speciation at pH and let whatever it
// throws pass through. Their last call of `mismatch` is at the returned pH, so the caller can
// keep the speciation of its last call as the result.

// The decimal search of FindPhForToth: one call per trial, 19 to about 80 calls.
PhSearchResult DecimalPhSearch(const std::function<double(double ph)>& mismatch);

// The same pH, bit for bit, in about a fifth of the calls. The sign change of D is bracketed
// from pH 10 and narrowed with Brent's method; the decimal search is then replayed step by step
// with its own arithmetic, and D is asked for only where the values already known do not tell
// its sign, D being taken to rise with pH (TOTH falls as the pH rises). A speciation's D is
// smooth in pH far below the last decimal step, so this holds wherever the decimal search
// looks. Where the values seen contradict it (or a NaN), where a call throws, or where the
// replay passes the trial bound, the plain decimal search decides, reusing the values already
// known, so it fails as the decimal search fails. `mismatch` may be called at pH values the
// decimal search never tries.
PhSearchResult FastPhSearch(const std::function<double(double ph)>& mismatch);

// The same with a warm start from `hint`, the pH of a neighbouring solution (the previous
// temperature of a sweep, the nominal sample of a draw, the previous row of a solve): secant
// steps from it locate the root, and the two last-step trials of the decimal search around it
// are asked for, leaving the replay nothing to ask where the guess was right. The decimal
// search's first trial, pH 10, is asked for too, as by the cold start: the engine tells the
// user when its speciation stops at the pass limit. In all about 60 % of the calls of the cold
// start. Where the steps from the hint lead nowhere, or the hint is outside pH 0-14, or the
// root more than a unit from it, the search goes on as without one. The pH is the decimal search's
// whatever the hint, under the same assumption that D rises with pH, now also between the hint and
// pH 10; nullopt is the cold start. `slope`, where positive, is dD/dpH of the neighbouring
// solution (its PhSearchResult::slope): the first step from the hint is then Newton's instead
// of a fixed one, one speciation fewer. A wrong slope costs speciations, never the pH.
//
// `side_by_side`, where given, computes mismatch at two or three pH values side by side (as
// calls in turn, in that order) and returns true, or returns false having done nothing: the
// search then calls `mismatch` itself. The search asks for several at once where it needs
// independent values: pH 10 with the hint or with the last trials, and the two last trials.
using MismatchSideBySide = std::function<bool(std::span<const double> ph, std::span<double> d)>;
//
// `estimate`, where given, is a pH taken to lie within a small part of the last decimal step of
// the sign change (EstimatePh's): the decimal search's two last trials around it are asked for
// first, one beside pH 10, and where they bracket the sign change nothing else is. Where they
// miss, the warm search goes on from the estimate with their slope. A wrong estimate costs
// speciations, never the pH.
PhSearchResult FastPhSearch(const std::function<double(double ph)>& mismatch,
                            std::optional<double> hint, double slope = 0.0,
                            const MismatchSideBySide& side_by_side = {},
                            std::optional<double> estimate = std::nullopt);

}  // namespace geofluid::speciation
