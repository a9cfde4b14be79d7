#pragma once

// Monte Carlo uncertainty of a sample's results, in geofluid::uncertainty: the errors of the
// inputs (InputErrors, SetError), draws that are each a whole evaluation, and intervals of the
// pH, the saturation indices and the temperature estimates. An error item that cannot be read
// throws uncertainty::ErrorSyntax (a geofluid::Error).

#include "geofluid/evaluation.h"
#include "uncertainty/uncertainty.h"
