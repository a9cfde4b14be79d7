#include "speciation/dataset_model.h"

#include <stdexcept>

namespace geofluid::speciation {

namespace {

bool TakenByAProduct(const DatasetModel& m, int species) {
  for (int k = thermo::kFirstComplex; k <= m.species_count; ++k) {
    const thermo::ComplexDefinition& cx = m.complexes[k - thermo::kFirstComplex];
    for (int f = 0; f < cx.factor_count; ++f) {
      if (cx.factors[f].species == species) return true;
    }
  }
  return false;
}

void AddExponents(DatasetModel& m) {
  int n = 0;
  for (const bool taken : {true, false}) {
    for (int k = thermo::kFirstComplex; k <= m.species_count; ++k) {
      if (TakenByAProduct(m, k) == taken) m.complex_order[n++] = k;
    }
  }
  for (int k = thermo::kFirstComplex; k <= m.species_count; ++k) {
    const int index = k - thermo::kFirstComplex;
    const thermo::ComplexDefinition& cx = m.complexes[index];
    std::array<double, thermo::kHydrogen + 1> e{};
    for (int f = 0; f < cx.factor_count; ++f) {
      const int s = cx.factors[f].species;
      const double power = m.factor_power[index][f];
      if (s == thermo::kWater) continue;  // its activity is 1 in the passes
      if (s <= thermo::kHydrogen) {
        e[s] += power;
        continue;
      }
      const thermo::ComplexDefinition& inner = m.complexes[s - thermo::kFirstComplex];
      for (int g = 0; g < inner.factor_count; ++g) {
        const int b = inner.factors[g].species;
        if (b == thermo::kWater) continue;
        if (b > thermo::kHydrogen) throw std::logic_error("a product takes a complex of a complex");
        e[b] += power * m.factor_power[s - thermo::kFirstComplex][g];
      }
    }
    int& count = m.exponent_count[index];
    for (int b = 1; b <= thermo::kHydrogen; ++b) {
      if (e[b] == 0.0) continue;
      if (count == DatasetModel::kMaxExponents) throw std::logic_error("too many exponents");
      m.exponents[index][count++] = {b, e[b]};
    }
  }
}

DatasetModel Build(const thermo::Catalogue& catalogue) {
  DatasetModel m;
  m.catalogue = &catalogue;
  m.species_count = catalogue.species_count;
  m.complexes = catalogue.complexes;
  m.balances = catalogue.balances;
  m.hydrogen = catalogue.hydrogen;
  for (int i = 1; i <= m.species_count; ++i) {
    const double z = m.catalogue->Charge(i);
    m.z2[i] = z * z;
    if (i == thermo::kWater) continue;
    // The coefficient depends on the charge through its square only.
    int g = 0;
    while (g < m.group_count &&
           !(m.z2[i] == static_cast<double>(m.group_charge[g]) * m.group_charge[g] &&
             m.group_size[g] == m.catalogue->IonSize(i))) {
      ++g;
    }
    if (g == m.group_count) {
      m.group_charge[g] = m.catalogue->Charge(i);
      m.group_size[g] = m.catalogue->IonSize(i);
      ++m.group_count;
    }
    m.group[i] = g;
  }
  for (int k = thermo::kFirstComplex; k <= m.species_count; ++k) {
    const thermo::ComplexDefinition& cx = m.complexes[k - thermo::kFirstComplex];
    for (int f = 0; f < cx.factor_count; ++f) {
      const thermo::Factor& factor = cx.factors[f];
      // The exponent formed as the quotient itself, as the activity product always had it.
      const double exponent = static_cast<double>(factor.numerator) / factor.denominator;
      m.factor_power[k - thermo::kFirstComplex][f] = exponent;
      int& slot = m.factor_slot[k - thermo::kFirstComplex][f];
      if (factor.denominator == 1 && factor.numerator == 1) {
        slot = factor.species;
        continue;
      }
      if (factor.denominator == 1 && factor.numerator == -1) {
        int r = 0;
        while (r < m.reciprocal_count && m.reciprocal_of[r] != factor.species) ++r;
        if (r == m.reciprocal_count) {
          if (r == DatasetModel::kMaxReciprocals) throw std::logic_error("too many reciprocals");
          m.reciprocal_of[m.reciprocal_count++] = factor.species;
        }
        slot = DatasetModel::kFirstPower + DatasetModel::kMaxPowers + r;
        continue;
      }
      int j = 0;
      while (j < m.power_count &&
             !(m.powers[j].species == factor.species && m.powers[j].exponent == exponent)) {
        ++j;
      }
      if (j == m.power_count) {
        if (m.power_count == DatasetModel::kMaxPowers) throw std::logic_error("too many powers");
        m.powers[m.power_count++] = {factor.species, exponent, RaiseTo(exponent)};
      }
      slot = DatasetModel::kFirstPower + j;
    }
  }
  AddExponents(m);
  return m;
}

}  // namespace

const DatasetModel& ModelOf(thermo::DatasetId dataset) {
  // Indexed by DatasetId, as the catalogues are.
  static const std::array<DatasetModel, 2> models = {
      Build(thermo::CatalogueOf(thermo::DatasetId::kSolveq)),
      Build(thermo::CatalogueOf(thermo::DatasetId::kSupcrt))};
  return models[static_cast<std::size_t>(dataset)];
}

}  // namespace geofluid::speciation
