#pragma once

#include <array>
#include <cstddef>

namespace geofluid::thermo {

// Lagrange weights through every node: L_i(t) = prod_{j != i} (t - x_j) / (x_i - x_j), the
// product accumulated in ascending j. Outside the nodes the same polynomial extrapolates.
template <std::size_t N>
std::array<double, N> LagrangeWeights(const std::array<double, N>& nodes, double t) {
  std::array<double, N> weights;
  for (std::size_t i = 0; i < N; ++i) {
    double l = 1.0;
    for (std::size_t j = 0; j < N; ++j) {
      if (j != i) l *= (t - nodes[j]) / (nodes[i] - nodes[j]);
    }
    weights[i] = l;
  }
  return weights;
}

// sum_i L_i * value_i in ascending i, from 0.0.
template <std::size_t N>
double Interpolate(const std::array<double, N>& weights, const std::array<double, N>& values) {
  double sum = 0.0;
  for (std::size_t i = 0; i < N; ++i) sum += weights[i] * values[i];
  return sum;
}

template <std::size_t N>
constexpr std::array<double, N> EvenGrid(double step) {
  std::array<double, N> nodes{};
  for (std::size_t i = 0; i < N; ++i) nodes[i] = step * static_cast<double>(i);
  return nodes;
}

inline constexpr std::array<double, 13> kStandardGrid = EvenGrid<13>(25.0);
inline constexpr std::array<double, 16> kFineGrid = EvenGrid<16>(20.0);

}  // namespace geofluid::thermo
