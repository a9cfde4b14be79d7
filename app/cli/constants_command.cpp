#include <string>

#include "cli_commands.h"
#include "engine/engine.h"
#include "form/number_text.h"
#include "io/text.h"
#include "option_checks.h"
#include "platform/errors.h"
#include "platform/fp_status.h"
#include "thermo/catalogue.h"
#include "thermo/equilibrium_constants.h"
#include "thermo/thermo_storage.h"

namespace geofluid::cli {

namespace {

std::string Value(double v) { return io::General(v, 17); }

}  // namespace

CLI::App* AddConstantsCommand(CLI::App& app, ConstantsOptions& options) {
  CLI::App* command = app.add_subcommand(
      "constants", "Print the equilibrium constants and activity-model parameters at T");
  command->add_option("--dataset", options.dataset, "solveq or supcrt")
      ->check(CLI::IsMember({"solveq", "supcrt"}));
  command->add_option("--temperature", options.temperature, "calculation temperature, °C")
      ->required();
  RefuseEmptyValues(*command);
  return command;
}

int RunConstants(const ConstantsOptions& options, std::ostream& out, std::ostream& err) {
  const auto t = form::ParseNumber(options.temperature);
  if (!t) {
    err << "error: --temperature: \"" << options.temperature << "\" is not a number\n";
    return kUsageError;
  }
  // As run and batch warn: the tables span 0 to 300 °C.
  if (*t < 0.0 || *t > 300.0)
    err << "warning: the temperature " << options.temperature
        << " °C is outside 0-300 °C, values are extrapolated\n";
  const thermo::Dataset dataset = engine::Dataset::FromKey(options.dataset)->id;
  const thermo::Catalogue& catalogue = thermo::CatalogueOf(dataset);
  thermo::ThermoStorage storage;
  storage.calculation_temperature = *t;
  storage.separation_temperature = *t;
  thermo::EquilibriumConstants k;
  try {
    platform::ClearFpFaults();
    storage.InterpolateTables();
    k = thermo::ConstantsFor(dataset, storage);
    platform::CheckFp("the equilibrium constants at " + options.temperature + " °C");
  } catch (const Error& e) {
    err << "error: " << e.what() << "\n";
    return kRunError;
  }
  for (int i = thermo::kFirstComplex; i <= catalogue.species_count; ++i) {
    out << "aqueous\t" << i << '\t' << thermo::TrimmedName(catalogue.Name(i)) << '\t'
        << Value(k.aqueous_logk[i]) << '\n';
  }
  for (int m = 1; m <= catalogue.mineral_count; ++m) {
    out << "mineral\t" << m << '\t' << thermo::TrimmedName(catalogue.MineralLabel(m)) << '\t'
        << Value(k.mineral_logk[m]) << '\n';
  }
  out << "param\t-\tA\t" << Value(storage.debye_huckel_a) << '\n';
  out << "param\t-\tB\t" << Value(storage.debye_huckel_b) << '\n';
  out << "param\t-\tBdot\t" << Value(storage.bdot) << '\n';
  return kOk;
}

}  // namespace geofluid::cli
