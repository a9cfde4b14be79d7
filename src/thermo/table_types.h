#pragma once

#include <array>
#include <string_view>

namespace geofluid::thermo {

struct SpeciesEntry {
  std::string_view name;  // as printed, blanks included
  int charge;
  double ion_size;  // ångström
};

enum AddedTerm { kNoTerm, kCarbonateTerm, kSulfideTerm };

// log K(T) = a0 + a1 T + ... + a5 T^5 + multiplier * term(T), T in °C.
struct MineralPolynomial {
  std::array<double, 6> a;
  double multiplier;
  AddedTerm term;
};

struct Term {
  int species;
  double coefficient;
};

// A reaction written in catalogue species: reactants = products.
struct Reaction {
  std::array<Term, 8> reactants;
  int reactant_count;
  std::array<Term, 8> products;
  int product_count;
  bool defined;
};

// One factor a_species^(numerator/denominator) of an activity product.
struct Factor {
  int species;
  int numerator;
  int denominator;
};

struct ComplexDefinition {
  std::array<Factor, 5> factors;
  int factor_count;
  int scaling_component;  // 0: none, the complex keeps its molality
};

struct BalanceDefinition {
  std::array<Term, 17> terms;
  int count;
};

struct IapDefinition {
  std::array<Term, 8> terms;
  int count;
};

}  // namespace geofluid::thermo
