// The four drift measures between baseline fractions and runtime bin weights.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"

namespace tarvenn::drift {

enum class DataDriftType : std::uint8_t {
    JensenShannon,
    PopulationStabilityIndex,
    WassersteinDistance,
    KullbackLeibler,
};

// Exact, case-sensitive match of the whole text; anything else is UnsupportedDriftType.
std::expected<DataDriftType, DriftError> parse_drift_type(std::string_view text);
// Parses every name in order, stopping at the first unknown one.
std::expected<std::vector<DataDriftType>, DriftError> parse_drift_types(std::span<const std::string> texts);

// Continuous bins have two open bins (0 and N - 1) that the Wasserstein form leaves
// out; categorical bins all take part.
enum class BinLayout : std::uint8_t { Continuous, Categorical };

// Sum of the weights in bin order, starting from -0.0.
double sum_in_bin_order(std::span<const double> bins);

// One drift measure between baseline fractions p and runtime weights r with
// runtime total T; never fails (infinities and NaN pass through).
double global_compute_drift(std::span<const double> p, std::span<const double> r, double total,
                            DataDriftType type, BinLayout layout);

}  // namespace tarvenn::drift
