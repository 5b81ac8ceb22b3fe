// The rule that fixes the number of bins of a continuous baseline.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string_view>

#include "core/errors.hpp"

namespace tarvenn::drift {

enum class QuantileType : std::uint8_t { FreedmanDiaconis, Scott, Sturges };

// Exact, case-sensitive match of the whole text; anything else is UnsupportedDriftType.
std::expected<QuantileType, DriftError> parse_quantile_type(std::string_view text);

// Order statistics a bin rule needs from the baseline, so that a rule which does
// not need every value in order is not made to sort them.
struct BaselineSummary {
    std::size_t n = 0;
    double min = 0.0;  // x[0] of the ascending order
    double max = 0.0;  // x[n-1]
    double q1 = 0.0;   // x[max(floor(0.25 n), 0)]
    double q3 = 0.0;   // x[min(n - 1, floor(0.75 n))]
    double mean = 0.0;           // summed in ascending order from -0.0, divided by n
    double squared_dev = 0.0;    // sum of (x - mean)^2 in ascending order from -0.0
};

// Indices of the two quartiles used by Freedman-Diaconis.
std::size_t lower_quartile_index(std::size_t n);
std::size_t upper_quartile_index(std::size_t n);

// Number of bins N for the rule; ceil, saturation to 32 bits and a floor of 3 as the
// rules require. `s` must hold what the rule reads (min, max, quartiles for
// Freedman-Diaconis; min, max, mean, squared_dev for Scott; n for Sturges).
std::uint32_t compute_num_bins(QuantileType rule, const BaselineSummary& s);

// Saturating conversions of a double: NaN and negatives give 0.
std::uint32_t saturate_u32(double x);
std::uint64_t saturate_u64(double x);

}  // namespace tarvenn::drift
