#include "drift/distribution.hpp"

#include <algorithm>
#include <cmath>

namespace tarvenn::drift {

std::expected<QuantileType, DriftError> parse_quantile_type(std::string_view text) {
    if (text == "FreedmanDiaconis") return QuantileType::FreedmanDiaconis;
    if (text == "Scott") return QuantileType::Scott;
    if (text == "Sturges") return QuantileType::Sturges;
    return std::unexpected(DriftError::UnsupportedDriftType);
}

std::uint32_t saturate_u32(double x) {
    if (!(x > 0.0)) return 0;  // NaN, zero and negatives
    if (x >= 4294967295.0) return 4294967295u;
    return static_cast<std::uint32_t>(x);
}

std::uint64_t saturate_u64(double x) {
    if (!(x > 0.0)) return 0;
    if (x >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<std::uint64_t>(x);
}

std::size_t lower_quartile_index(std::size_t n) {
    return static_cast<std::size_t>(std::floor(0.25 * static_cast<double>(n)));
}

std::size_t upper_quartile_index(std::size_t n) {
    const auto q3 = static_cast<std::size_t>(std::floor(0.75 * static_cast<double>(n)));
    return std::min(n - 1, q3);
}

namespace {

// n^(-1/3) through the C library power function.
double cube_root_factor(std::size_t n) {
    return std::pow(static_cast<double>(n), -0.3333333333333333);
}

std::uint32_t at_least_three(double quotient) {
    return std::max<std::uint32_t>(saturate_u32(std::ceil(quotient)), 3);
}

}  // namespace

std::uint32_t compute_num_bins(QuantileType rule, const BaselineSummary& s) {
    switch (rule) {
        case QuantileType::FreedmanDiaconis: {
            if (s.n == 1) return 1;
            const double iqr = s.q3 - s.q1;
            if (iqr == 0.0) return 3;
            const double h = cube_root_factor(s.n) * (2.0 * iqr);
            return at_least_three((s.max - s.min) / h);
        }
        case QuantileType::Scott: {
            if (s.max == s.min) return 3;
            const double sd = std::sqrt((1.0 / static_cast<double>(s.n - 1)) * s.squared_dev);
            const double h = cube_root_factor(s.n) * (sd * 3.49);
            return at_least_three((s.max - s.min) / h);
        }
        case QuantileType::Sturges: {
            const double bins = std::floor(std::log2(static_cast<double>(s.n))) + 1.0;
            return std::max<std::uint32_t>(saturate_u32(bins), 3);
        }
    }
    return 3;
}

}  // namespace tarvenn::drift
