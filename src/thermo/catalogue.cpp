#include "thermo/catalogue.h"

#include "thermo/tables.h"

namespace geofluid::thermo {

namespace {
constexpr Catalogue kSolveqCatalogue{Dataset::kSolveq, 61, 38, data::kSolveqSpecies,
                                     data::kSolveqMineralLabels};
constexpr Catalogue kSupcrtCatalogue{Dataset::kSupcrt, 54, 47, data::kSupcrtSpecies,
                                     data::kSupcrtMineralLabels};
static_assert(data::kSolveqSpecies.size() == 62 && data::kSupcrtSpecies.size() == 55);
}  // namespace

const Catalogue& CatalogueOf(Dataset dataset) {
  return dataset == Dataset::kSolveq ? kSolveqCatalogue : kSupcrtCatalogue;
}

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
