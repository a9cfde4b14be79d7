#include <cctype>
#include <cmath>
#include <stdexcept>
#include <string>

#include "engine/engine.h"
#include "platform/errors.h"
#include "saturation/saturation_index.h"
#include "thermo/tables.h"

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

// Built on first use, so that no static initialisation order can see them half made.
const Dataset& Solveq() {
  static const Dataset dataset{
      thermo::Dataset::kSolveq,
      "solveq",
      "SOLVEQ",
      thermo::CatalogueOf(thermo::Dataset::kSolveq),
      speciation::ModelOf(thermo::Dataset::kSolveq),
      thermo::data::kSolveqIap.data(),
      saturation::SaturationDivisor(thermo::Dataset::kSolveq),
      {"Used thermodynamic data is SOLVEQ(Reed,1982)", 84, "Chemical compositions",
       "NO.             Species                   Molality     Act coef.      Log(Activity)",
       "pH-function(TOTH) =", true}};
  return dataset;
}

const Dataset& Supcrt() {
  static const Dataset dataset{thermo::Dataset::kSupcrt,
                               "supcrt",
                               "SUPCRT98",
                               thermo::CatalogueOf(thermo::Dataset::kSupcrt),
                               speciation::ModelOf(thermo::Dataset::kSupcrt),
                               thermo::data::kSupcrtIap.data(),
                               saturation::SaturationDivisor(thermo::Dataset::kSupcrt),
                               {"Used thermodynamic data is SUPCRT98", 72, "Chemical composition",
                                "No.           Species       Molality      Act coef.     Log(Act)",
                                "TOTH(pH-function) =", false}};
  return dataset;
}

}  // namespace

const Dataset& Dataset::Of(thermo::Dataset id) {
  return id == thermo::Dataset::kSolveq ? Solveq() : Supcrt();
}

const Dataset* Dataset::FromKey(std::string_view key) {
  if (key == "solveq") return &Solveq();
  if (key == "supcrt") return &Supcrt();
  return nullptr;
}

std::string_view Dataset::SpeciesName(int i) const {
  return thermo::TrimmedName(catalogue.Name(i));
}

std::string_view Dataset::MineralName(int m) const {
  return thermo::TrimmedName(catalogue.MineralLabel(m));
}

int Dataset::MineralIndex(std::string_view name) const {
  for (int m = 1; m <= MineralCount(); ++m) {
    if (MineralName(m) == name) return m;
  }
  return 0;
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
  if (const int m = MineralIndexOf(name); m != 0) return MineralHandle{this, m};
  return std::nullopt;
}

SpeciesHandle Dataset::Species(std::string_view name) const {
  if (const auto found = FindSpecies(name)) return *found;
  throw NameError(NotHeld(*this, "species", name, SpeciesCount(), &Dataset::SpeciesName));
}

MineralHandle Dataset::Mineral(std::string_view name) const {
  if (const auto found = FindMineral(name)) return *found;
  throw NameError(NotHeld(*this, "mineral", name, MineralCount(), &Dataset::MineralName));
}

}  // namespace geofluid::engine
