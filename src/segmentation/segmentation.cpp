#include "segmentation/segmentation.hpp"

#include <algorithm>
#include <bit>
#include <iterator>
#include <cmath>
#include <memory>

#include "core/isa.hpp"

namespace tarvenn {
namespace {

// Smallest distinct count D with D >= 4 that makes a column of n values
// continuous, or 0 when no D <= n does. The ratio test is monotone in D.
std::size_t continuous_count_of(std::size_t n, float heuristic) {
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

// Set of 64-bit keys with open addressing; one reserved key marks empty slots
// (a NaN pattern, which float columns never insert) and is tracked apart.
class DistinctKeys {
public:
    explicit DistinctKeys(std::size_t expected) {
        std::size_t capacity = 64;
        while (capacity < 2 * expected && capacity < (std::size_t{1} << 22)) capacity *= 2;
        allocate(capacity);
    }

    // Returns true when `key` was not seen before.
    bool insert(std::uint64_t key) {
        if (key == kEmpty) {
            const bool fresh = !has_empty_key_;
            has_empty_key_ = true;
            return fresh;
        }
        std::size_t i = mix(key) & mask_;
        for (; table_[i] != kEmpty; i = (i + 1) & mask_)
            if (table_[i] == key) return false;
        table_[i] = key;
        if (2 * ++size_ > mask_ + 1) grow();
        return true;
    }

    static std::uint64_t mix(std::uint64_t k) {
        k ^= k >> 33;
        k *= 0xff51afd7ed558ccdULL;
        k ^= k >> 33;
        k *= 0xc4ceb9fe1a85ec53ULL;
        return k ^ (k >> 33);
    }

private:
    static constexpr std::uint64_t kEmpty = 0x7ff8dead0000beefULL;

    void allocate(std::size_t capacity) {
        table_.assign(capacity, kEmpty);
        mask_ = capacity - 1;
        size_ = 0;
    }
    void grow() {
        std::vector<std::uint64_t> old = std::move(table_);
        allocate(old.size() * 2);
        for (std::uint64_t key : old) {
            if (key == kEmpty) continue;
            std::size_t i = mix(key) & mask_;
            while (table_[i] != kEmpty) i = (i + 1) & mask_;
            table_[i] = key;
            ++size_;
        }
    }

    std::vector<std::uint64_t> table_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
    bool has_empty_key_ = false;
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
class RuleLabels final : public ColumnLabels {
public:
    RuleLabels(Strided<T> values, Pred member) : ColumnLabels(values.size), values_(values), member_(member) {}
    void fill(std::size_t begin, std::size_t count, std::int16_t* out) const override {
        const Strided<T> part{values_.base + static_cast<std::ptrdiff_t>(begin) * values_.stride, values_.stride, count};
        with_widest_isa([&]() __attribute__((always_inline)) {
            part.for_each([&](std::size_t i, T v) { out[i] = member_(v) ? 1 : 0; });
        });
    }

private:
    Strided<T> values_;
    Pred member_;
};

class StoredLabels final : public ColumnLabels {
public:
    explicit StoredLabels(LabelSequence labels) : ColumnLabels(labels.size()), labels_(std::move(labels)) {}
    void fill(std::size_t begin, std::size_t count, std::int16_t* out) const override {
        std::copy_n(labels_.data() + begin, count, out);
    }

private:
    LabelSequence labels_;
};

template <class T, class Pred>
ColumnLabelsPtr label_rows(Strided<T> values, Pred member) {
    return std::make_unique<RuleLabels<T, Pred>>(values, member);
}

}  // namespace

std::size_t continuous_distinct_count(std::size_t n, float heuristic) { return continuous_count_of(n, heuristic); }

template <class T>
void collect_distinct(Strided<T> values, DistinctSample& sample) {
    if (sample.saturated()) return;
    DistinctKeys seen(std::min<std::size_t>(sample.cap, values.size));
    for (std::uint64_t key : sample.keys) seen.insert(key);
    std::vector<std::uint64_t> fresh;
    for (std::size_t i = 0; i < values.size && sample.count() + fresh.size() < sample.cap; ++i) {
        const auto key = distinct_key(values[i]);
        if (!key) ++sample.nan_count;
        else if (seen.insert(*key)) fresh.push_back(*key);
    }
    std::sort(fresh.begin(), fresh.end());
    std::vector<std::uint64_t> merged;
    merged.reserve(sample.keys.size() + fresh.size());
    std::merge(sample.keys.begin(), sample.keys.end(), fresh.begin(), fresh.end(), std::back_inserter(merged));
    sample.keys = std::move(merged);
}

void DistinctSample::merge(const DistinctSample& other) {
    std::vector<std::uint64_t> merged;
    merged.reserve(keys.size() + other.keys.size());
    std::set_union(keys.begin(), keys.end(), other.keys.begin(), other.keys.end(), std::back_inserter(merged));
    nan_count += other.nan_count;
    if (nan_count > cap) nan_count = cap;
    const std::uint64_t room = cap - nan_count;
    if (merged.size() > room) merged.resize(room);
    keys = std::move(merged);
}

LabelSequence ColumnLabels::materialize() const {
    LabelSequence labels(size_);
    fill(0, size_, labels.data());
    return labels;
}

ColumnLabelsPtr stored_labels(LabelSequence labels) { return std::make_unique<StoredLabels>(std::move(labels)); }

std::expected<SegmentationThresholdType, BiasError> segmentation_threshold_type_from(std::string_view text) {
    if (text == "GreaterThan") return SegmentationThresholdType::GreaterThan;
    if (text == "GreaterThanEqualTo") return SegmentationThresholdType::GreaterThanEqualTo;
    if (text == "LessThan") return SegmentationThresholdType::LessThan;
    if (text == "LessThanEqualTo") return SegmentationThresholdType::LessThanEqualTo;
    return std::unexpected(BiasError::BiasConfigError);
}

// Integer columns whose values span a small range are counted with a bitmap:
// one branch-free pass for the range, then one bit per possible value.
template <class T>
std::optional<bool> reaches_count_by_bitmap(Strided<T> values, std::size_t target) {
    if constexpr (std::is_floating_point_v<T>) {
        return std::nullopt;
    } else {
        if (values.size == 0) return false;
        std::int64_t lo = static_cast<std::int64_t>(values[0]), hi = lo;
        with_widest_isa([&]() __attribute__((always_inline)) {
            std::int64_t l = lo, h = hi;
            values.for_each([&](std::size_t, T value) {
                const auto v = static_cast<std::int64_t>(value);
                l = v < l ? v : l;
                h = v > h ? v : h;
            });
            lo = l;
            hi = h;
        });
        const std::uint64_t span = static_cast<std::uint64_t>(hi) - static_cast<std::uint64_t>(lo);
        if (span < target - 1) return false;  // fewer possible values than needed
        if (span >= (std::uint64_t{1} << 24)) return std::nullopt;
        std::vector<std::uint64_t> bits(span / 64 + 1, 0);
        std::size_t distinct = 0;
        for (std::size_t i = 0; i < values.size; ++i) {
            const std::uint64_t offset = static_cast<std::uint64_t>(static_cast<std::int64_t>(values[i])) -
                                         static_cast<std::uint64_t>(lo);
            std::uint64_t& word = bits[offset >> 6];
            const std::uint64_t mask = std::uint64_t{1} << (offset & 63);
            distinct += (word & mask) == 0;
            word |= mask;
            if (distinct == target) return true;
        }
        return false;
    }
}

// Counts distinct values exactly from `start` on, on top of `seen`; true once
// `target` is reached.
template <class T>
bool reaches_count_exactly(Strided<T> values, std::size_t start, std::size_t target, DistinctKeys& seen,
                           std::size_t& distinct) {
    for (std::size_t i = start; i < values.size; ++i) {
        const auto key = distinct_key(values[i]);
        if (!key || seen.insert(*key)) {
            if (++distinct == target) return true;
        }
    }
    return false;
}

// A lower bound that is cheap to keep when there are many distinct values: the
// number of occupied buckets of a bitmap indexed by a hash (each occupied bucket
// holds at least one distinct value), plus the NaNs, each distinct. A small
// bitmap stays in cache where an exact set of half a million keys does not.
// Gives up (false) once the rate of new values in the last window, kept up to the
// end, would not reach the target: the exact count then decides.
template <class T>
bool reaches_count_by_buckets(Strided<T> values, std::size_t start, std::size_t target) {
    std::size_t bits = std::size_t{1} << 16;
    while (bits < 16 * target && bits < (std::size_t{1} << 27)) bits *= 2;
    std::vector<std::uint64_t> bitmap(bits / 64, 0);
    constexpr std::size_t kWindow = std::size_t{1} << 20;
    std::size_t lower_bound = 0, at_window_start = 0;
    for (std::size_t i = 0; i < values.size; ++i) {
        const auto key = distinct_key(values[i]);
        if (key) {
            const std::uint64_t bucket = DistinctKeys::mix(*key) & (bits - 1);
            std::uint64_t& word = bitmap[bucket >> 6];
            const std::uint64_t mask = std::uint64_t{1} << (bucket & 63);
            lower_bound += (word & mask) == 0;
            word |= mask;
        } else {
            ++lower_bound;
        }
        if (lower_bound == target) return true;
        if (i >= start && (i - start + 1) % kWindow == 0) {
            const double rate = static_cast<double>(lower_bound - at_window_start) / kWindow;
            if (rate * static_cast<double>(values.size - i - 1) < static_cast<double>(target - lower_bound))
                return false;
            at_window_start = lower_bound;
        }
    }
    return false;
}

template <class T>
bool is_continuous(Strided<T> values, float heuristic) {
    const std::size_t target = continuous_count_of(values.size, heuristic);
    if (target == 0) return false;
    if (auto reached = reaches_count_by_bitmap(values, target)) return *reached;
    // Exact counting while the set is small; a column that keeps producing new
    // values is then tried against the cheap lower bound, and counted exactly
    // only if that cannot decide.
    constexpr std::size_t kSmallSet = std::size_t{1} << 16;
    DistinctKeys seen(std::min(target, kSmallSet));
    std::size_t distinct = 0;
    std::size_t i = 0;
    for (; i < values.size && distinct < kSmallSet; ++i) {
        const auto key = distinct_key(values[i]);
        if (!key || seen.insert(*key)) {
            if (++distinct == target) return true;
        }
    }
    if (i == values.size) return false;
    if (reaches_count_by_buckets(values, i, target)) return true;
    return reaches_count_exactly(values, i, target, seen, distinct);
}

template <class T>
ColumnLabelsPtr label_float_column(Strided<T> values, double threshold, bool continuous) {
    if (continuous) return label_rows(values, [=](T v) { return static_cast<double>(v) >= threshold; });
    return label_rows(values, [=](T v) { return static_cast<double>(v) == threshold; });
}

template <class T>
ColumnLabelsPtr label_int_column(Strided<T> values, std::int64_t threshold, bool continuous) {
    if (continuous) return label_rows(values, [=](T v) { return static_cast<std::int64_t>(v) >= threshold; });
    return label_rows(values, [=](T v) { return static_cast<std::int64_t>(v) == threshold; });
}

namespace {

template <class T>
class DeferredIntLabels final : public ColumnLabels {
public:
    DeferredIntLabels(Strided<T> values, std::int64_t threshold, float heuristic)
        : ColumnLabels(values.size), values_(values), threshold_(threshold), heuristic_(heuristic) {}

    void fill(std::size_t begin, std::size_t count, std::int16_t* out) const override {
        const Strided<T> part{values_.base + static_cast<std::ptrdiff_t>(begin) * values_.stride, values_.stride, count};
        const std::int64_t t = threshold_;
        if (!decided_) {
            std::int64_t highest = t;
            with_widest_isa([&]() __attribute__((always_inline)) {
                std::int64_t h = t;  // a maximum, which vectorises where a flag would not
                part.for_each([&](std::size_t i, T value) {
                    const auto v = static_cast<std::int64_t>(value);
                    out[i] = v == t;
                    h = v > h ? v : h;
                });
                highest = h;
            });
            if (highest == t) return;
            continuous_ = is_continuous(values_, heuristic_);
            decided_ = true;
        }
        const bool continuous = continuous_;
        with_widest_isa([&]() __attribute__((always_inline)) {
            part.for_each([&](std::size_t i, T value) {
                const auto v = static_cast<std::int64_t>(value);
                out[i] = continuous ? v >= t : v == t;
            });
        });
    }

private:
    Strided<T> values_;
    std::int64_t threshold_;
    float heuristic_;
    mutable bool decided_ = false;
    mutable bool continuous_ = false;
};

}  // namespace

template <class T>
ColumnLabelsPtr label_int_column_deferred(Strided<T> values, std::int64_t threshold, float heuristic) {
    return std::make_unique<DeferredIntLabels<T>>(values, threshold, heuristic);
}

template <class T>
ColumnLabelsPtr label_int_column(Strided<T> values, double threshold, bool continuous) {
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

template <class T>
ColumnLabelsPtr compare_column(Strided<T> values, double t, SegmentationThresholdType type) {
    auto as_double = [](T v) { return static_cast<double>(v); };
    switch (type) {
        case SegmentationThresholdType::GreaterThan: return label_rows(values, [=](T v) { return as_double(v) > t; });
        case SegmentationThresholdType::GreaterThanEqualTo:
            return label_rows(values, [=](T v) { return as_double(v) >= t; });
        case SegmentationThresholdType::LessThan: return label_rows(values, [=](T v) { return as_double(v) < t; });
        case SegmentationThresholdType::LessThanEqualTo: break;
    }
    return label_rows(values, [=](T v) { return as_double(v) <= t; });
}

LabelSequence label_by_comparison(Strided<double> values, double t, SegmentationThresholdType type) {
    return compare_column(values, t, type)->materialize();
}

#define TARVENN_FLOAT_COLUMN(T)                                   \
    template bool is_continuous<T>(Strided<T>, float);            \
    template void collect_distinct<T>(Strided<T>, DistinctSample&); \
    template ColumnLabelsPtr compare_column<T>(Strided<T>, double, SegmentationThresholdType); \
    template ColumnLabelsPtr label_float_column<T>(Strided<T>, double, bool);
#define TARVENN_INT_COLUMN(T)                                                   \
    template bool is_continuous<T>(Strided<T>, float);                          \
    template void collect_distinct<T>(Strided<T>, DistinctSample&);            \
    template ColumnLabelsPtr compare_column<T>(Strided<T>, double, SegmentationThresholdType); \
    template ColumnLabelsPtr label_int_column<T>(Strided<T>, std::int64_t, bool); \
    template ColumnLabelsPtr label_int_column_deferred<T>(Strided<T>, std::int64_t, float); \
    template ColumnLabelsPtr label_int_column<T>(Strided<T>, double, bool);

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
