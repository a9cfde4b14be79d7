#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <string_view>

#include "engine/engine.h"

namespace geofluid::engine {

namespace {

// One mineral under its common name, with the spelling of each dataset ("" where the dataset
// lacks it). The two datasets spell several minerals differently (LOW-ALBITE and ALBITE_LOW,
// PRHENITE and PREHNITE, ANDALUCITE and ANDALUSITE, CLINOCHLORE 7A and CLINOCHLORE_7A).
struct Identity {
  std::string_view common;
  std::string_view formula;
  std::string_view solveq;
  std::string_view supcrt;
};

constexpr Identity kIdentities[] = {
    {"albite_low", "NaAlSi3O8", "LOW-ALBITE", "ALBITE_LOW"},
    {"alunite", "KAl3(SO4)2(OH)6", "ALUNITE", "ALUNITE"},
    {"analcime", "NaAlSi2O6·H2O", "ANALCIME", "ANALCIME"},
    {"andalusite", "Al2SiO5", "ANDALUCITE", "ANDALUSITE"},
    {"anhydrite", "CaSO4", "ANHYDRITE", "ANHYDRITE"},
    {"anorthite", "CaAl2Si2O8", "ANORTHITE", "ANORTHITE"},
    {"anthophyllite", "Mg7Si8O22(OH)2", "", "ANTHOPHYLLITE"},
    {"aragonite", "CaCO3", "", "ARAGONITE"},
    {"boehmite", "AlO(OH)", "", "BOEHMITE"},
    {"brucite", "Mg(OH)2", "BRUCITE", "BRUCITE"},
    {"calcite", "CaCO3", "CALCITE", "CALCITE"},
    {"chalcedony", "SiO2", "CHALCEDONY", "CHALCEDONY"},
    {"chrysotile", "Mg3Si2O5(OH)4", "CHRYSOTILE", "CHRYSOTILE"},
    {"clinochlore_14a", "Mg5Al2Si3O10(OH)8", "", "CLINOCHLORE_14A"},
    {"clinochlore_7a", "Mg5Al2Si3O10(OH)8", "CLINOCHLORE 7A", "CLINOCHLORE_7A"},
    {"clinozoisite", "Ca2Al3Si3O12(OH)", "CLINOZOISITE", "CLINOZOISITE"},
    {"corundum", "Al2O3", "CORUNDUM", "CORUNDUM"},
    {"cristobalite", "SiO2", "", "CRISTOBALITE"},
    {"diaspore", "AlO(OH)", "DIASPORE", "DIASPORE"},
    {"diopside", "CaMgSi2O6", "", "DIOPSIDE"},
    {"dolomite", "CaMg(CO3)2", "DOLOMITE", "DOLOMITE"},
    {"enstatite", "MgSiO3", "", "ENSTATITE"},
    {"epidote", "Ca2FeAl2Si3O12(OH)", "EPIDOTE", "EPIDOTE"},
    {"forsterite", "Mg2SiO4", "", "FORSTERITE"},
    {"gibbsite", "Al(OH)3", "GIBBSITE", "GIBBSITE"},
    {"grossular", "Ca3Al2Si3O12", "", "GROSSULAR"},
    {"hematite", "Fe2O3", "HEMATITE", "HEMATITE"},
    {"kaolinite", "Al2Si2O5(OH)4", "KAOLINITE", "KAOLINITE"},
    {"laumontite", "CaAl2Si4O12·4H2O", "LAUMONTITE", "LAUMONTITE"},
    {"magnesite", "MgCO3", "MAGNESITE", "MAGNESITE"},
    {"magnetite", "Fe3O4", "MAGNETITE", "MAGNETITE"},
    {"microcline", "KAlSi3O8", "MICROCLINE", "MICROCLINE"},
    {"monticellite", "CaMgSiO4", "MONTICELLITE", "MONTICELLITE"},
    {"muscovite", "KAl3Si3O10(OH)2", "MUSCOVITE", "MUSCOVITE"},
    {"paragonite", "NaAl3Si3O10(OH)2", "PARAGONITE", "PARAGONITE"},
    {"phlogopite", "KMg3AlSi3O10(OH)2", "PHLOGOPITE", "PHLOGOPITE"},
    {"prehnite", "Ca2Al2Si3O10(OH)2", "PRHENITE", "PREHNITE"},
    {"pyrite", "FeS2", "PYRITE", "PYRITE"},
    {"pyrophyllite", "Al2Si4O10(OH)2", "PYROPHYLLITE", "PYROPHYLLITE"},
    {"pyrrhotite", "FeS", "PYRRHOTITE", "PYRRHOTITE"},
    {"quartz", "SiO2", "QUARTZ", "QUARTZ"},
    {"siderite", "FeCO3", "SIDERITE", "SIDERITE"},
    {"talc", "Mg3Si4O10(OH)2", "TALC", "TALC"},
    {"tremolite", "Ca2Mg5Si8O22(OH)2", "TREMOLITE", "TREMOLITE"},
    {"wairakite", "CaAl2Si4O12·2H2O", "WAIRAKITE", "WAIRAKITE"},
    {"wollastonite", "CaSiO3", "WOLLASTONITE", "WOLLASTONITE"},
    {"zoisite", "Ca2Al3Si3O12(OH)", "ZOISITE", "ZOISITE"},
};

std::string_view SpellingIn(const Identity& i, thermo::DatasetId d) {
  return d == thermo::DatasetId::kSolveq ? i.solveq : i.supcrt;
}

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

const Identity* IdentityOf(const Dataset& dataset, int m) {
  if (m < 1 || m > dataset.MineralCount()) return nullptr;
  const std::string_view name = dataset.MineralName(m);
  for (const Identity& i : kIdentities) {
    if (SpellingIn(i, dataset.id) == name) return &i;
  }
  return nullptr;
}

}  // namespace

std::string_view Dataset::CommonName(int m) const {
  const Identity* i = IdentityOf(*this, m);
  return i ? i->common : MineralName(m);
}

std::string_view Dataset::Formula(int m) const {
  const Identity* i = IdentityOf(*this, m);
  return i ? i->formula : std::string_view();
}

std::optional<int> Dataset::MineralIndexOf(std::string_view name) const {
  if (name.empty()) return std::nullopt;
  if (const std::optional<int> m = MineralIndex(name)) return m;
  for (const Identity& i : kIdentities) {
    if (SameLetters(name, i.common) || SameLetters(name, i.solveq) || SameLetters(name, i.supcrt)) {
      const std::string_view own = SpellingIn(i, id);
      return own.empty() ? std::nullopt : MineralIndex(own);
    }
  }
  for (int m = 1; m <= MineralCount(); ++m) {
    if (SameLetters(MineralName(m), name)) return m;
  }
  return std::nullopt;
}

double Dataset::ComponentMoles(int m, int component) const {
  const int basis = component + 1;
  double moles = 0.0;
  const thermo::IapDefinition& reaction = iap[m - 1];
  for (int t = 0; t < reaction.count; ++t) {
    const thermo::Term& term = reaction.terms[static_cast<std::size_t>(t)];
    if (term.species == basis) {
      moles += term.coefficient;
    } else if (term.species > thermo::kWater) {
      const thermo::ComplexDefinition& complex =
          model.complexes[term.species - thermo::kFirstComplex];
      for (int f = 0; f < complex.factor_count; ++f) {
        const thermo::Factor& factor = complex.factors[static_cast<std::size_t>(f)];
        if (factor.species == basis) {
          moles += term.coefficient * factor.numerator / static_cast<double>(factor.denominator);
        }
      }
    }
  }
  return moles;
}

double Dataset::ReactionMoles(int m) const {
  double moles = 0.0;
  const thermo::IapDefinition& reaction = iap[m - 1];
  for (int t = 0; t < reaction.count; ++t) {
    const thermo::Term& term = reaction.terms[static_cast<std::size_t>(t)];
    if (term.species != thermo::kWater) moles += std::abs(term.coefficient);
  }
  return moles;
}

}  // namespace geofluid::engine
