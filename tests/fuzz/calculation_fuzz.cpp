// A whole calculation on fuzzed box texts, without files: it either ends with finite values
// everywhere the report reads, or with one of the run's errors.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "box_input.h"
#include "form/calculation.h"
#include "form/number_text.h"
#include "fuzz_check.h"
#include "platform/errors.h"

namespace {

template <typename Array>
void CheckFinite(const Array& values, const char* what) {
  for (std::size_t i = 0; i < values.size(); ++i)
    FUZZ_CHECK(std::isfinite(values[i]), "%s[%zu] = %g without an error", what, i, values[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const BoxInput fuzz = SplitBoxInput(data, size);
  geofluid::form::CalculationInput input;
  input.dataset =
      fuzz.supcrt ? geofluid::thermo::DatasetId::kSupcrt : geofluid::thermo::DatasetId::kSolveq;
  input.box = fuzz.box;
  input.option1 = fuzz.option1;
  input.check1 = fuzz.check1_click ? 1 : 0;
  input.stored_toth = geofluid::form::ParseNumber(fuzz.stored_line).value_or(0.0);
  try {
    int non_convergences = 0;
    const geofluid::form::CalculationResult r =
        geofluid::form::Calculate(input, [&] { ++non_convergences; });
    FUZZ_CHECK(non_convergences == r.non_convergences, "non-convergence count");
    FUZZ_CHECK(std::isfinite(r.temperature) && std::isfinite(r.separation_temperature),
               "temperatures");
    FUZZ_CHECK(std::isfinite(r.steam_fraction) && r.steam_fraction >= 0.0,
               "fraction of steam %g", r.steam_fraction);
    FUZZ_CHECK(std::isfinite(r.ph) && std::isfinite(r.toth), "pH %g TOTH %g", r.ph, r.toth);
    CheckFinite(r.totals, "totals");
    CheckFinite(r.speciation.molality, "molality");
    CheckFinite(r.speciation.gamma, "gamma");
    CheckFinite(r.speciation.activity, "activity");
    CheckFinite(r.speciation.tnew, "tnew");
    FUZZ_CHECK(std::isfinite(r.speciation.ionic_strength), "ionic strength");
    CheckFinite(r.saturation_index, "saturation index");
    CheckFinite(r.conditions->constants.aqueous_logk, "aqueous log K");
    CheckFinite(r.conditions->constants.mineral_logk, "mineral log K");
  } catch (const geofluid::Error& e) {
    FUZZ_CHECK(e.what()[0] != '\0', "an error without a message");
  }
  return 0;
}
