#include "drift/baseline.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

namespace tarvenn::drift {

namespace {

// The order statistics the rule needs. The ascending order is that of a stable
// sort by less-than, so among equal values (0.0 and -0.0) the minimum is the first
// one given and the maximum the last one given.
BaselineSummary summarize(std::span<const double> values, QuantileType rule) {
    BaselineSummary s;
    s.n = values.size();
    s.min = values[0];
    s.max = values[0];
    for (double v : values) {
        if (v < s.min) s.min = v;
        if (v >= s.max) s.max = v;
    }
    switch (rule) {
        case QuantileType::FreedmanDiaconis: {
            // Two order statistics by selection; no full sort is needed.
            std::vector<double> work(values.begin(), values.end());
            const std::size_t q1 = lower_quartile_index(s.n), q3 = upper_quartile_index(s.n);
            std::nth_element(work.begin(), work.begin() + q3, work.end());
            s.q3 = work[q3];
            std::nth_element(work.begin(), work.begin() + q1, work.begin() + q3);
            s.q1 = q1 == q3 ? s.q3 : work[q1];
            break;
        }
        case QuantileType::Scott: {
            // The mean and the squared deviations are summed in ascending order.
            std::vector<double> sorted(values.begin(), values.end());
            std::sort(sorted.begin(), sorted.end());
            double sum = -0.0;
            for (double v : sorted) sum += v;
            s.mean = sum / static_cast<double>(s.n);
            double ss = -0.0;
            for (double v : sorted) {
                const double d = v - s.mean;
                const double sq = d * d;
                ss += sq;
            }
            s.squared_dev = ss;
            break;
        }
        case QuantileType::Sturges:
            break;
    }
    return s;
}

}  // namespace

std::string display(const TooManyBins& e) {
    return "The baseline needs " + std::to_string(e.requested) + " bins, more than the limit of " +
           std::to_string(e.limit) + " bins";
}

std::expected<BaselineContinuousBins, BaselineError> BaselineContinuousBins::create(
    std::span<const double> values, QuantileType rule) {
    return build(values, rule);
}

std::expected<void, BaselineError> BaselineContinuousBins::reset(std::span<const double> values) {
    auto rebuilt = build(values, quantile_type_);
    if (!rebuilt) return std::unexpected(rebuilt.error());
    *this = std::move(*rebuilt);
    return {};
}

std::expected<BaselineContinuousBins, BaselineError> BaselineContinuousBins::build(
    std::span<const double> values, QuantileType rule) {
    if (values.size() < 2) return std::unexpected(DriftError::EmptyBaselineData);
    for (double v : values)
        if (std::isnan(v)) return std::unexpected(DriftError::NaNValues);

    const BaselineSummary summary = summarize(values, rule);
    const std::uint32_t n_bins = compute_num_bins(rule, summary);
    if (n_bins > kMaxBins) return std::unexpected(TooManyBins{n_bins, kMaxBins});

    BaselineContinuousBins bins;
    bins.quantile_type_ = rule;
    bins.n_bins_ = n_bins;
    bins.init_edges(summary.min, summary.max);

    std::vector<std::uint64_t> counts(n_bins, 0);
    bins.count_bins(values, counts);
    bins.baseline_hist_.resize(n_bins);
    const double n = static_cast<double>(values.size());
    for (std::size_t i = 0; i < n_bins; ++i) bins.baseline_hist_[i] = static_cast<double>(counts[i]) / n;
    return bins;
}

void BaselineContinuousBins::init_edges(double min, double max) {
    bin_edges_.clear();
    if (min == max) {
        bin_edges_.push_back(min);
    } else {
        // N - 2 edges by repeated addition: the last edge is max - w, not max.
        const std::size_t count = n_bins_ - 2;
        const double width = (max - min) / static_cast<double>(count);
        bin_edges_.reserve(count);
        double edge = min;
        for (std::size_t k = 0; k < count; ++k) {
            bin_edges_.push_back(edge);
            edge = edge + width;
        }
    }
    prepare_lookup();
}

// With all values equal there is a single edge whatever N is: it acts as the last
// edge (below: bin 0, equal: bin 1, above: bin N - 1), so no lookup reads past it.
void BaselineContinuousBins::prepare_lookup() {
    last_index_ = bin_edges_.size() - 1;
    first_edge_ = bin_edges_.front();
    last_edge_ = bin_edges_.back();
    arithmetic_guess_ = false;
    ordered_edges_.clear();
    search_ordered_ = false;
    bool finite = true;
    bool ascending = true;
    for (std::size_t k = 0; k <= last_index_; ++k) {
        if (std::isnan(bin_edges_[k])) ascending = false;
        if (!std::isfinite(bin_edges_[k])) finite = false;
        if (k > 0 && !(bin_edges_[k] >= bin_edges_[k - 1])) ascending = false;
    }
    if (!ascending) {
        for (double e : bin_edges_)
            if (!std::isnan(e)) ordered_edges_.push_back(e);
        std::sort(ordered_edges_.begin(), ordered_edges_.end());
        search_ordered_ = true;
        return;
    }
    if (last_index_ == 0 || !finite) return;
    inverse_width_ = static_cast<double>(last_index_) / (last_edge_ - first_edge_);
    arithmetic_guess_ = std::isfinite(inverse_width_) && inverse_width_ > 0.0;
}

void BaselineContinuousBins::count_bins(std::span<const double> values,
                                        std::span<std::uint64_t> counts) const {
    // Four interleaved counters per bin when they fit in cache: runs of values in the
    // same bin then do not wait on one another's increments.
    const std::size_t n_bins = n_bins_;
    if (n_bins <= 4096 && values.size() >= 4 * n_bins) {
        std::vector<std::uint32_t> lanes(4 * n_bins, 0);
        std::size_t i = 0;
        const std::size_t n = values.size();
        // 32-bit lanes are folded into the totals before they can overflow.
        constexpr std::size_t kBlock = std::size_t{1} << 30;
        while (i < n) {
            const std::size_t end = i + std::min(kBlock, n - i);
            for (; i + 4 <= end; i += 4) {
                ++lanes[bin_of(values[i])];
                ++lanes[n_bins + bin_of(values[i + 1])];
                ++lanes[2 * n_bins + bin_of(values[i + 2])];
                ++lanes[3 * n_bins + bin_of(values[i + 3])];
            }
            for (; i < end; ++i) ++lanes[bin_of(values[i])];
            for (std::size_t b = 0; b < n_bins; ++b) {
                counts[b] += std::uint64_t{lanes[b]} + lanes[n_bins + b] + lanes[2 * n_bins + b] +
                             lanes[3 * n_bins + b];
                lanes[b] = lanes[n_bins + b] = lanes[2 * n_bins + b] = lanes[3 * n_bins + b] = 0;
            }
        }
        return;
    }
    for (double v : values) ++counts[bin_of(v)];
}

std::expected<BaselineCategoricalBins, DriftError> BaselineCategoricalBins::create(
    std::span<const std::string> labels) {
    BaselineCategoricalBins bins;
    if (auto ok = bins.define_bins(labels); !ok) return std::unexpected(ok.error());
    return bins;
}

std::expected<void, DriftError> BaselineCategoricalBins::define_bins(std::span<const std::string> labels) {
    if (labels.empty()) return std::unexpected(DriftError::EmptyBaselineData);

    // Counting order does not matter (the counts are exact); the bins follow the
    // ascending byte order of the labels.
    std::unordered_map<std::string_view, std::uint64_t> counts;
    for (const std::string& label : labels) ++counts[label];
    std::vector<std::pair<std::string_view, std::uint64_t>> ordered(counts.begin(), counts.end());
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    LabelPacker sorted_labels;
    std::size_t bytes = 0;
    for (const auto& entry : ordered) bytes += entry.first.size();
    sorted_labels.reserve(ordered.size(), bytes);
    std::vector<double> hist(ordered.size() + 1, 0.0);
    const double total = static_cast<double>(labels.size());
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        sorted_labels.add(ordered[i].first);
        hist[i] = static_cast<double>(ordered[i].second) / total;
    }
    std::move(sorted_labels).into(label_index_);
    baseline_hist_ = std::move(hist);
    return {};
}

}  // namespace tarvenn::drift
