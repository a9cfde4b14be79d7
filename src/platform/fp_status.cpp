#include "platform/fp_status.h"

#include <cfenv>
#include <string>

#include "platform/errors.h"

namespace geofluid::platform {

namespace {
constexpr int kFaults = FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID;
}

// Only where a fault is raised: clearing rewrites the x87 environment as well, several times
// the cost of reading the status, and the inexact and underflow flags a clear status would also
// drop are never read.
void ClearFpFaults() {
  if (std::fetestexcept(kFaults) != 0) std::feclearexcept(FE_ALL_EXCEPT);
}

bool FpFaultRaised() { return std::fetestexcept(kFaults) != 0; }

const char* RaisedFpFault() {
  const int raised = std::fetestexcept(kFaults);
  if (raised & FE_INVALID) return "invalid operation";
  if (raised & FE_DIVBYZERO) return "division by zero";
  if (raised & FE_OVERFLOW) return "overflow";
  return nullptr;
}

void CheckFp(std::string_view step) {
  const char* fault = RaisedFpFault();
  if (fault == nullptr) return;
  std::feclearexcept(FE_ALL_EXCEPT);
  throw ArithmeticError("arithmetic error (" + std::string(fault) + ") in " + std::string(step));
}

}  // namespace geofluid::platform
