#include "form/run_sequence.h"

namespace geofluid::form {

RunOutcome RunCalculation(Form1& form, thermo::Dataset) {
  RunOutcome outcome;
  outcome.error = "the calculation run is not wired to the report yet";
  form.Platform().MessageBox(platform::MessageKind::kError, outcome.error);
  return outcome;
}

}  // namespace geofluid::form
