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
  AddDatasetOption(*command, options.datasets, DatasetUse::kOne);
  command
      ->add_option_function<std::string>(
          "--temperature",
          [&options](const std::string& text) {
            const auto t = form::ParseNumber(text);
            if (!t) throw CLI::ValidationError("--temperature", "\"" + text + "\" is not a number");
            options.temperature = *t;
            options.temperature_text = text;
          },
          "calculation temperature, °C")
      ->type_name("T")
      ->required();
  RefuseEmptyValues(*command);
  return command;
}

int RunConstants(const ConstantsOptions& options, std::ostream& out, std::ostream& err) {
  // As run and batch warn: the tables span 0 to 300 °C.
  if (options.temperature < 0.0 || options.temperature > 300.0)
    err << "warning: the temperature " << options.temperature_text
        << " °C is outside 0-300 °C, values are extrapolated\n";
  const thermo::DatasetId dataset = options.datasets.front()->id;
  const thermo::Catalogue& catalogue = thermo::CatalogueOf(dataset);
  thermo::ThermoStorage storage;
  storage.calculation_temperature = options.temperature;
  storage.separation_temperature = options.temperature;
  thermo::EquilibriumConstants k;
  try {
    platform::ClearFpFaults();
    storage.InterpolateTables();
    k = thermo::ConstantsFor(dataset, storage);
    platform::CheckFp("the equilibrium constants at " + options.temperature_text + " °C");
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
