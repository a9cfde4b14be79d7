#pragma once

// One sample with one dataset at one temperature. Constants are prepared once per
// (dataset, temperature) and shared read-only by every evaluation, on any thread:
//
//   geofluid::ConditionsCache cache;
//   const auto at = cache.Get(dataset, 250.0);
//   const geofluid::Evaluation e = geofluid::EvaluateMeasured(sample, at);
//   double si = e.Mineral("QUARTZ").si;            // or e.Mineral(handle)
//   double na = e.Species("Na(+)").molality;
//
// Evaluate, EvaluateMeasured, EvaluateFromToth and Carry throw ArithmeticError or SearchError.
// Other ways to carry the tables to a temperature than the built-in polynomial are in
// interp/steffen.h (SteffenScheme, SchemeByName).

#include "engine/engine.h"
#include "geofluid/dataset.h"
#include "geofluid/error.h"
#include "geofluid/sample.h"
#include "interp/steffen.h"

namespace geofluid {

using Conditions = engine::Conditions;
using ConditionsCache = engine::ConditionsCache;
using Evaluation = engine::Evaluation;
using SpeciesResult = engine::SpeciesResult;
using MineralResult = engine::MineralResult;
using Carried = engine::Carried;
using Hooks = engine::Hooks;
using TableScheme = engine::TableScheme;
using engine::Carry;
using engine::Evaluate;
using engine::EvaluateFromToth;
using engine::EvaluateMeasured;
using engine::Prepare;
using engine::SpecifiedScheme;
using engine::SteamFraction;

}  // namespace geofluid
