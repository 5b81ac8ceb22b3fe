#include "drift/bin_counts.hpp"

#include <cstring>

namespace tarvenn::drift {
namespace {

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

}  // namespace

bool same_baseline(const BaselineContinuousBins& a, const BaselineContinuousBins& b) {
    return &a == &b || (a.n_bins() == b.n_bins() && a.quantile_type() == b.quantile_type() &&
                        same_bits(a.bin_edges(), b.bin_edges()) && same_bits(a.baseline_hist(), b.baseline_hist()));
}

bool same_baseline(const BaselineCategoricalBins& a, const BaselineCategoricalBins& b) {
    if (&a == &b) return true;
    if (a.label_index().size() != b.label_index().size() || !same_bits(a.baseline_hist(), b.baseline_hist()))
        return false;
    for (std::size_t i = 0; i < a.label_index().size(); ++i)
        if (a.label_index().label(i) != b.label_index().label(i)) return false;
    return true;
}

}  // namespace tarvenn::drift
