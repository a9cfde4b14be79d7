#pragma once

// A sample of separated hot water and its steam, in typed values (molalities, pH, the
// temperatures). Components are named by the keys of kComponentKeys ("Na", "SO4(2-)").
//
//   geofluid::Sample s;
//   s.Component("Na") = 0.04;   // mol/kg H2O
//   s.ph = 8.5;

#include "engine/engine.h"
#include "geofluid/error.h"

namespace geofluid {

using Sample = engine::Sample;
using engine::ComponentIndex;
using engine::kComponentCount;
using engine::kComponentKeys;

}  // namespace geofluid
