#pragma once

#include <string_view>

namespace geofluid::platform {

// The processor's floating-point status of the calling thread. A numeric step clears it,
// computes, and checks it: an overflow, a division by zero or an invalid operation stops the
// run; underflow is not a fault.
void ClearFpFaults();
bool FpFaultRaised();

// "overflow", "division by zero" or "invalid operation" when one was raised, nullptr otherwise.
const char* RaisedFpFault();

// Throws ArithmeticError naming the step and the fault when one was raised since the last clear.
void CheckFp(std::string_view step);

}  // namespace geofluid::platform
