#include "speciation/dataset_model.h"

#include <stdexcept>

namespace geofluid::speciation {

namespace {

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
      // The exponent formed as the quotient itself, as the activity product always had it.
      const double exponent = static_cast<double>(factor.numerator) / factor.denominator;
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
