#include "thermo/catalogue.h"

#include <numbers>

#include "thermo/equilibrium_constants.h"
#include "thermo/tables.h"

namespace geofluid::thermo {

namespace {
constexpr Catalogue kSolveqCatalogue{DatasetId::kSolveq,
                                     "solveq",
                                     "SOLVEQ",
                                     61,
                                     38,
                                     data::kSolveqSpecies,
                                     data::kSolveqMineralLabels,
                                     data::kSolveqComplexes.data(),
                                     data::kSolveqBalances.data(),
                                     data::kSolveqHydrogen.data(),
                                     data::kSolveqIap.data(),
                                     2.303,
                                     2.0,
                                     &SolveqConstants};
constexpr Catalogue kSupcrtCatalogue{DatasetId::kSupcrt,
                                     "supcrt",
                                     "SUPCRT98",
                                     54,
                                     47,
                                     data::kSupcrtSpecies,
                                     data::kSupcrtMineralLabels,
                                     data::kSupcrtComplexes.data(),
                                     data::kSupcrtBalances.data(),
                                     data::kSupcrtHydrogen.data(),
                                     data::kSupcrtIap.data(),
                                     std::numbers::ln10,  // as std::log(10.0) gives it, bit for bit
                                     1.0,
                                     &SupcrtConstants};
static_assert(data::kSolveqSpecies.size() == 62 && data::kSupcrtSpecies.size() == 55);
static_assert(data::kSolveqComplexes.size() == 61 - kBasisCount &&
              data::kSupcrtComplexes.size() == 54 - kBasisCount);
static_assert(data::kSolveqIap.size() == 38 && data::kSupcrtIap.size() == 47);
// Indexed by DatasetId.
constexpr const Catalogue* kCatalogues[] = {&kSolveqCatalogue, &kSupcrtCatalogue};
}  // namespace

const Catalogue& CatalogueOf(DatasetId dataset) { return *kCatalogues[static_cast<int>(dataset)]; }

std::span<const Catalogue* const> Catalogues() { return kCatalogues; }

std::string_view TrimmedName(std::string_view text) {
  auto blank = [](char c) { return c == ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.size() >= 2 && text.substr(text.size() - 2) == " =") {
    text.remove_suffix(2);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  } else if (!text.empty() && text.back() == '=') {
    text.remove_suffix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  }
  return text;
}

}  // namespace geofluid::thermo
