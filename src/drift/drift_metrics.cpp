#include "drift/drift_metrics.hpp"

#include <algorithm>
#include <cmath>

#include "core/metrics.hpp"

namespace tarvenn::drift {

std::expected<DataDriftType, DriftError> parse_drift_type(std::string_view text) {
    if (text == "JensenShannon") return DataDriftType::JensenShannon;
    if (text == "PopulationStabilityIndex") return DataDriftType::PopulationStabilityIndex;
    if (text == "WassersteinDistance") return DataDriftType::WassersteinDistance;
    if (text == "KullbackLeibler") return DataDriftType::KullbackLeibler;
    return std::unexpected(DriftError::UnsupportedDriftType);
}

std::expected<std::vector<DataDriftType>, DriftError> parse_drift_types(std::span<const std::string> texts) {
    std::vector<DataDriftType> types;
    types.reserve(texts.size());
    for (const std::string& text : texts) {
        auto type = parse_drift_type(text);
        if (!type) return std::unexpected(type.error());
        types.push_back(*type);
    }
    return types;
}

double sum_in_bin_order(std::span<const double> bins) {
    double sum = -0.0;
    for (double w : bins) sum += w;
    return sum;
}

namespace {

// Smoothed forms of a bin; the clamp returns the other operand when one is NaN.
inline double baseline_smoothed(double p, double eps) { return std::fmax(p + eps, eps); }
inline double runtime_divided_first(double r, double total, double eps) {
    return std::fmax(r / total + eps, eps);
}
inline double runtime_smoothed_first(double r, double total, double eps) {
    return std::fmax((r + eps) / total, eps);
}

double jensen_shannon(std::span<const double> p, std::span<const double> r, std::size_t n, double total,
                      double eps) {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double a = baseline_smoothed(p[i], eps);
        const double b = runtime_divided_first(r[i], total, eps);
        const double m = (a + b) * 0.5;
        const double runtime_term = (b * 0.5) * std::log(b / m);
        const double baseline_term = (a * 0.5) * std::log(a / m);
        sum += runtime_term + baseline_term;
    }
    return sum / 0.6931471805599453;
}

double population_stability(std::span<const double> p, std::span<const double> r, std::size_t n,
                            double total, double eps) {
    double sum = -0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double a = baseline_smoothed(p[i], eps);
        const double b = runtime_smoothed_first(r[i], total, eps);
        const double term = (a - b) * std::log(a / b);
        sum += term;
    }
    return sum;
}

double kullback_leibler(std::span<const double> p, std::span<const double> r, std::size_t n, double total,
                        double eps) {
    double sum = -0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double a = baseline_smoothed(p[i], eps);
        const double q = (r[i] + eps) / total;
        const double term = a * std::log(std::fmax(a / q, eps));
        sum += term;
    }
    return sum;
}

double wasserstein_continuous(std::span<const double> p, std::span<const double> r, double total,
                              double eps) {
    const std::size_t n_bins = p.size();
    if (n_bins < 3 || r.size() < n_bins) return 0.0;
    double sum = 0.0;
    for (std::size_t i = 1; i + 1 < n_bins; ++i) {
        const double a = baseline_smoothed(p[i], eps);
        const double b = runtime_divided_first(r[i], total, eps);
        sum += std::fabs(a - b);
    }
    return sum / static_cast<double>(n_bins - 2);
}

double wasserstein_categorical(std::span<const double> p, std::span<const double> r, std::size_t n,
                               double total, double eps) {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double a = baseline_smoothed(p[i], eps);
        const double b = runtime_divided_first(r[i], total, eps);
        sum += std::fabs(a - b);
    }
    return 0.5 * sum;
}

}  // namespace

double global_compute_drift(std::span<const double> p, std::span<const double> r, double total,
                            DataDriftType type, BinLayout layout) {
    const double eps = stability_eps();
    const std::size_t n = std::min(p.size(), r.size());
    switch (type) {
        case DataDriftType::JensenShannon:
            return jensen_shannon(p, r, n, total, eps);
        case DataDriftType::PopulationStabilityIndex:
            return population_stability(p, r, n, total, eps);
        case DataDriftType::KullbackLeibler:
            return kullback_leibler(p, r, n, total, eps);
        case DataDriftType::WassersteinDistance:
            return layout == BinLayout::Continuous ? wasserstein_continuous(p, r, total, eps)
                                                   : wasserstein_categorical(p, r, n, total, eps);
    }
    return 0.0;
}

}  // namespace tarvenn::drift
