#include <array>
#include <cctype>
#include <cmath>
#include <stdexcept>
#include <string>

#include "engine/engine.h"
#include "platform/errors.h"

namespace geofluid::engine {

std::optional<int> ComponentIndex(std::string_view key) {
  for (int c = 0; c < kComponentCount; ++c) {
    if (kComponentKeys[static_cast<std::size_t>(c)] == key) return c;
  }
  return std::nullopt;
}

double& Sample::Component(std::string_view key) {
  const auto c = ComponentIndex(key);
  if (!c) throw std::out_of_range("unknown component \"" + std::string(key) + "\"");
  return component[static_cast<std::size_t>(*c)];
}

double Sample::Component(std::string_view key) const {
  return const_cast<Sample&>(*this).Component(key);
}

namespace {

constexpr std::string_view kSolveqDefaultMinerals[] = {
    "QUARTZ",   "LOW-ALBITE", "MICROCLINE", "MUSCOVITE", "CLINOCHLORE 7A", "CLINOZOISITE",
    "PRHENITE", "WAIRAKITE",  "LAUMONTITE", "CALCITE",   "ANHYDRITE"};
constexpr std::string_view kSupcrtDefaultMinerals[] = {
    "QUARTZ",   "ALBITE_LOW", "MICROCLINE", "MUSCOVITE", "CLINOCHLORE_14A", "CLINOZOISITE",
    "PREHNITE", "WAIRAKITE",  "LAUMONTITE", "CALCITE",   "ANHYDRITE"};

Dataset Build(thermo::DatasetId id, std::span<const std::string_view> default_minerals,
              std::string_view aqueous_co2, std::string_view aqueous_silica) {
  const thermo::Catalogue& catalogue = thermo::CatalogueOf(id);
  return Dataset{id,
                 catalogue.key,
                 catalogue.title,
                 catalogue,
                 speciation::ModelOf(id),
                 catalogue.iap,
                 catalogue.si_divisor,
                 default_minerals,
                 aqueous_co2,
                 aqueous_silica};
}

// Built on first use, so that no static initialisation order can see them half made; indexed
// by thermo::DatasetId.
const std::array<Dataset, 2>& All() {
  static const std::array<Dataset, 2> datasets = {
      Build(thermo::DatasetId::kSolveq, kSolveqDefaultMinerals, "H2CO3(aq)", "H4SiO4(aq)"),
      Build(thermo::DatasetId::kSupcrt, kSupcrtDefaultMinerals, "CO2(aq)", "SiO2(aq)")};
  return datasets;
}

}  // namespace

const Dataset& Dataset::Of(thermo::DatasetId id) { return All()[static_cast<std::size_t>(id)]; }

const Dataset* Dataset::FromKey(std::string_view key) {
  for (const Dataset& d : All()) {
    if (d.key == key) return &d;
  }
  return nullptr;
}

const Dataset& Dataset::Other() const { return All()[static_cast<std::size_t>(id) == 0 ? 1 : 0]; }

std::vector<const Dataset*> DatasetsFor(std::string_view choice) {
  std::vector<const Dataset*> out;
  for (const Dataset& d : All()) {
    if (choice == "both" || choice == d.key) out.push_back(&d);
  }
  return out;
}

std::string_view Dataset::SpeciesName(int i) const {
  return thermo::TrimmedName(catalogue.Name(i));
}

std::string_view Dataset::MineralName(int m) const {
  return thermo::TrimmedName(catalogue.MineralLabel(m));
}

std::optional<int> Dataset::MineralIndex(std::string_view name) const {
  for (int m = 1; m <= MineralCount(); ++m) {
    if (MineralName(m) == name) return m;
  }
  return std::nullopt;
}

namespace {

// "… has no mineral "quartz"", with the dataset's spelling when only case or blanks differ.
std::string NotHeld(const Dataset& d, std::string_view kind, std::string_view name, int count,
                    std::string_view (Dataset::*name_of)(int) const) {
  std::string message =
      std::string(d.title) + " has no " + std::string(kind) + " \"" + std::string(name) + "\"";
  const auto lower = [](std::string_view s) {
    std::string out;
    for (char c : s) {
      if (c != ' ') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
  };
  for (int i = 1; i <= count; ++i) {
    const std::string_view held = (d.*name_of)(i);
    if (lower(held) == lower(name)) {
      message += " (did you mean \"" + std::string(held) + "\"?)";
      break;
    }
  }
  return message;
}

}  // namespace

std::optional<SpeciesHandle> Dataset::FindSpecies(std::string_view name) const {
  const auto unpadded = [](std::string_view s) {
    std::string out;
    for (char c : s) {
      if (c != ' ') out += c;
    }
    return out;
  };
  const std::string wanted = unpadded(name);
  for (int i = 1; i <= SpeciesCount(); ++i) {
    if (unpadded(SpeciesName(i)) == wanted) return SpeciesHandle{this, i};
  }
  return std::nullopt;
}

std::optional<MineralHandle> Dataset::FindMineral(std::string_view name) const {
  if (const std::optional<int> m = MineralIndexOf(name)) return MineralHandle{this, *m};
  return std::nullopt;
}

SpeciesHandle Dataset::Species(std::string_view name) const {
  if (const auto found = FindSpecies(name)) return *found;
  throw NameError(NotHeld(*this, "species", name, SpeciesCount(), &Dataset::SpeciesName));
}

int Dataset::HeldMineralIndex(std::string_view name) const {
  if (const std::optional<int> m = MineralIndex(name)) return *m;
  throw NameError(NotHeld(*this, "mineral", name, MineralCount(), &Dataset::MineralName));
}

MineralHandle Dataset::Mineral(std::string_view name) const {
  if (const auto found = FindMineral(name)) return *found;
  throw NameError(NotHeld(*this, "mineral", name, MineralCount(), &Dataset::MineralName));
}

}  // namespace geofluid::engine
