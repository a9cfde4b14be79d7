#include "platform/fp_status.h"

#include <cfenv>
#include <string>

#include "platform/errors.h"

namespace geofluid::platform {

namespace {
constexpr int kFaults = FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID;
}

void ClearFpFaults() { std::feclearexcept(FE_ALL_EXCEPT); }

bool FpFaultRaised() { return std::fetestexcept(kFaults) != 0; }

void CheckFp(std::string_view step) {
  const int raised = std::fetestexcept(kFaults);
  if (raised == 0) return;
  std::string what;
  if (raised & FE_INVALID) what = "invalid operation";
  else if (raised & FE_DIVBYZERO) what = "division by zero";
  else what = "overflow";
  std::feclearexcept(FE_ALL_EXCEPT);
  throw ArithmeticError("arithmetic error (" + what + ") in " + std::string(step));
}

}  // namespace geofluid::platform
