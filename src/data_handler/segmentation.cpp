#include "data_handler/segmentation.hpp"

#include <bit>
#include <cmath>
#include <memory>

namespace tarvenn {
namespace {

// Smallest distinct count D with D >= 4 that makes a column of n values
// continuous, or 0 when no D <= n does. The ratio test is monotone in D.
std::size_t continuous_count(std::size_t n, float heuristic) {
    auto continuous_at = [&](std::size_t d) {
        const float ratio = static_cast<float>(d) / static_cast<float>(n);
        return !(ratio <= heuristic);  // greater, or unordered
    };
    if (n < 4 || !continuous_at(n)) return 0;
    std::size_t lo = 4, hi = n;  // continuous_at(hi) holds
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (continuous_at(mid)) hi = mid; else lo = mid + 1;
    }
    return lo;
}

// Set of 64-bit keys: a short list first (most label columns hold few values),
// then open addressing.
class DistinctKeys {
public:
    // Returns true when `key` was not seen before.
    bool insert(std::uint64_t key) {
        if (table_ == nullptr) {
            for (std::size_t i = 0; i < small_count_; ++i)
                if (small_[i] == key) return false;
            if (small_count_ < kSmall) {
                small_[small_count_++] = key;
                return true;
            }
            grow(64);
            for (std::size_t i = 0; i < kSmall; ++i) place(small_[i]);
        }
        if (contains(key)) return false;
        if (2 * (size_ + 1) > capacity_) {
            const std::size_t old_capacity = capacity_;
            auto old = std::move(table_);
            auto old_used = std::move(used_);
            grow(old_capacity * 2);
            for (std::size_t i = 0; i < old_capacity; ++i)
                if (old_used[i]) place(old[i]);
        }
        place(key);
        return true;
    }

private:
    static constexpr std::size_t kSmall = 8;

    static std::uint64_t mix(std::uint64_t k) {
        k ^= k >> 33;
        k *= 0xff51afd7ed558ccdULL;
        k ^= k >> 33;
        k *= 0xc4ceb9fe1a85ec53ULL;
        return k ^ (k >> 33);
    }
    void grow(std::size_t capacity) {
        capacity_ = capacity;
        size_ = 0;
        table_ = std::make_unique<std::uint64_t[]>(capacity);
        used_ = std::make_unique<bool[]>(capacity);
    }
    bool contains(std::uint64_t key) const {
        for (std::size_t i = mix(key) & (capacity_ - 1);; i = (i + 1) & (capacity_ - 1)) {
            if (!used_[i]) return false;
            if (table_[i] == key) return true;
        }
    }
    void place(std::uint64_t key) {
        std::size_t i = mix(key) & (capacity_ - 1);
        while (used_[i]) i = (i + 1) & (capacity_ - 1);
        used_[i] = true;
        table_[i] = key;
        ++size_;
    }

    std::uint64_t small_[kSmall];
    std::size_t small_count_ = 0;
    std::unique_ptr<std::uint64_t[]> table_;
    std::unique_ptr<bool[]> used_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

// Floats are told apart by the bit pattern of their 64-bit value (so 0.0 and -0.0
// are two values) and every NaN is a value of its own; integers by their value.
template <class T>
std::optional<std::uint64_t> distinct_key(T v) {
    if constexpr (std::is_floating_point_v<T>) {
        const double d = static_cast<double>(v);
        if (std::isnan(d)) return std::nullopt;
        return std::bit_cast<std::uint64_t>(d);
    } else {
        return static_cast<std::uint64_t>(v);
    }
}

template <class T, class Pred>
LabelSequence label_rows(Strided<T> values, Pred&& member) {
    LabelSequence labels(values.size);
    for (std::size_t i = 0; i < values.size; ++i) labels[i] = member(values[i]) ? 1 : 0;
    return labels;
}

}  // namespace

std::expected<SegmentationThresholdType, BiasError> segmentation_threshold_type_from(std::string_view text) {
    if (text == "GreaterThan") return SegmentationThresholdType::GreaterThan;
    if (text == "GreaterThanEqualTo") return SegmentationThresholdType::GreaterThanEqualTo;
    if (text == "LessThan") return SegmentationThresholdType::LessThan;
    if (text == "LessThanEqualTo") return SegmentationThresholdType::LessThanEqualTo;
    return std::unexpected(BiasError::BiasConfigError);
}

template <class T>
bool is_continuous(Strided<T> values, float heuristic) {
    const std::size_t target = continuous_count(values.size, heuristic);
    if (target == 0) return false;
    DistinctKeys seen;
    std::size_t distinct = 0;
    for (std::size_t i = 0; i < values.size; ++i) {
        const auto key = distinct_key(values[i]);
        if (!key || seen.insert(*key)) {
            if (++distinct == target) return true;
        }
    }
    return false;
}

template <class T>
LabelSequence label_float_column(Strided<T> values, double threshold, bool continuous) {
    if (continuous) return label_rows(values, [=](T v) { return static_cast<double>(v) >= threshold; });
    return label_rows(values, [=](T v) { return static_cast<double>(v) == threshold; });
}

template <class T>
LabelSequence label_int_column(Strided<T> values, std::int64_t threshold, bool continuous) {
    if (continuous) return label_rows(values, [=](T v) { return static_cast<std::int64_t>(v) >= threshold; });
    return label_rows(values, [=](T v) { return static_cast<std::int64_t>(v) == threshold; });
}

template <class T>
LabelSequence label_int_column(Strided<T> values, double threshold, bool continuous) {
    constexpr double two63 = 9223372036854775808.0;
    auto none = [](T) { return false; };
    if (std::isnan(threshold)) return label_rows(values, none);
    if (continuous) {
        const double bound = std::ceil(threshold);
        if (bound >= two63) return label_rows(values, none);
        if (bound < -two63) return label_rows(values, [](T) { return true; });
        return label_int_column(values, static_cast<std::int64_t>(bound), true);
    }
    if (threshold != std::floor(threshold) || threshold >= two63 || threshold < -two63)
        return label_rows(values, none);
    return label_int_column(values, static_cast<std::int64_t>(threshold), false);
}

LabelSequence label_by_comparison(Strided<double> values, double t, SegmentationThresholdType type) {
    switch (type) {
        case SegmentationThresholdType::GreaterThan: return label_rows(values, [=](double v) { return v > t; });
        case SegmentationThresholdType::GreaterThanEqualTo: return label_rows(values, [=](double v) { return v >= t; });
        case SegmentationThresholdType::LessThan: return label_rows(values, [=](double v) { return v < t; });
        case SegmentationThresholdType::LessThanEqualTo: break;
    }
    return label_rows(values, [=](double v) { return v <= t; });
}

#define TARVENN_FLOAT_COLUMN(T)                                   \
    template bool is_continuous<T>(Strided<T>, float);            \
    template LabelSequence label_float_column<T>(Strided<T>, double, bool);
#define TARVENN_INT_COLUMN(T)                                                   \
    template bool is_continuous<T>(Strided<T>, float);                          \
    template LabelSequence label_int_column<T>(Strided<T>, std::int64_t, bool); \
    template LabelSequence label_int_column<T>(Strided<T>, double, bool);

TARVENN_FLOAT_COLUMN(double)
TARVENN_FLOAT_COLUMN(float)
TARVENN_INT_COLUMN(std::int8_t)
TARVENN_INT_COLUMN(std::int16_t)
TARVENN_INT_COLUMN(std::int32_t)
TARVENN_INT_COLUMN(std::int64_t)
TARVENN_INT_COLUMN(std::uint8_t)
TARVENN_INT_COLUMN(std::uint16_t)
TARVENN_INT_COLUMN(std::uint32_t)
TARVENN_INT_COLUMN(std::uint64_t)

}  // namespace tarvenn
