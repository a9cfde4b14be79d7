#pragma once

#include "form/form1.h"
#include "thermo/catalogue.h"

namespace geofluid::form {

// One calculation run of a Command click, from emptying the report file to restoring the
// pointer. Every failure is shown in one error box and returned in the outcome; the run itself
// never throws.
RunOutcome RunCalculation(Form1& form, thermo::DatasetId dataset);

}  // namespace geofluid::form
