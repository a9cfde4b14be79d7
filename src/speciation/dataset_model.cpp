#include "speciation/dataset_model.h"

#include "thermo/tables.h"

namespace geofluid::speciation {

namespace {

DatasetModel Build(thermo::Dataset dataset) {
  DatasetModel m;
  m.catalogue = &thermo::CatalogueOf(dataset);
  m.species_count = m.catalogue->species_count;
  const bool solveq = dataset == thermo::Dataset::kSolveq;
  m.complexes =
      solveq ? thermo::data::kSolveqComplexes.data() : thermo::data::kSupcrtComplexes.data();
  m.balances = solveq ? thermo::data::kSolveqBalances.data() : thermo::data::kSupcrtBalances.data();
  m.hydrogen = solveq ? thermo::data::kSolveqHydrogen.data() : thermo::data::kSupcrtHydrogen.data();
  for (int i = 1; i <= m.species_count; ++i) {
    const double z = m.catalogue->Charge(i);
    m.z2[i] = z * z;
    if (i == thermo::kWater) continue;
    int g = 0;
    while (g < m.group_count && !(m.group_charge[g] == m.catalogue->Charge(i) &&
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
  return m;
}

}  // namespace

const DatasetModel& ModelOf(thermo::Dataset dataset) {
  static const DatasetModel solveq = Build(thermo::Dataset::kSolveq);
  static const DatasetModel supcrt = Build(thermo::Dataset::kSupcrt);
  return dataset == thermo::Dataset::kSolveq ? solveq : supcrt;
}

}  // namespace geofluid::speciation
