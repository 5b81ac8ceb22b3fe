// Reduces a numeric column to 0/1 labels: by equality with a label (discrete
// columns), by a lower threshold (continuous columns), or by an explicit
// comparison. The policy that picks one of them is in segment.hpp.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "core/strided.hpp"
#include "core/errors.hpp"

namespace tarvenn {

using LabelSequence = std::vector<std::int16_t>;

// The labels of one column, produced on demand chunk by chunk, so that a
// numeric column is labelled while it is counted, without a stored copy.
class ColumnLabels {
public:
    explicit ColumnLabels(std::size_t size) : size_(size) {}
    virtual ~ColumnLabels() = default;
    std::size_t size() const { return size_; }
    // Writes the labels of rows [begin, begin + count) to `out`.
    virtual void fill(std::size_t begin, std::size_t count, std::int16_t* out) const = 0;
    LabelSequence materialize() const;

private:
    std::size_t size_;
};
using ColumnLabelsPtr = std::unique_ptr<ColumnLabels>;

ColumnLabelsPtr stored_labels(LabelSequence labels);

// Calls f(chunks, count) over columns of equal size, chunk by chunk: chunks[k]
// holds the labels of column k for the current rows.
inline constexpr std::size_t kLabelChunk = 4096;

template <std::size_t N, class F>
void for_each_label_chunk(const std::array<const ColumnLabels*, N>& columns, F&& f) {
    std::int16_t chunks[N][kLabelChunk];
    const std::size_t n = columns[0]->size();
    for (std::size_t begin = 0; begin < n; begin += kLabelChunk) {
        const std::size_t count = n - begin < kLabelChunk ? n - begin : kLabelChunk;
        for (std::size_t k = 0; k < N; ++k) columns[k]->fill(begin, count, chunks[k]);
        f(chunks, count);
    }
}

enum class SegmentationThresholdType : std::uint8_t { GreaterThan, GreaterThanEqualTo, LessThan, LessThanEqualTo };

std::expected<SegmentationThresholdType, BiasError> segmentation_threshold_type_from(std::string_view text);

// Continuous when the column holds D >= 4 distinct values and D / N (in 32-bit
// floats) exceeds the heuristic, or that comparison is unordered (NaN).
// Counting stops as soon as continuous mode is certain.
template <class T>
bool is_continuous(Strided<T> values, float heuristic);

// Smallest distinct count D >= 4 that makes a column of n values continuous, or 0
// when no D <= n does; is_continuous is `distinct >= D` with D != 0.
std::size_t continuous_distinct_count(std::size_t n, float heuristic);

// The distinct values of part of a column, as is_continuous tells them apart
// (floats by the bit pattern of their 64-bit value, every NaN a value of its own,
// integers by value), kept only up to a cap. Parts collected with the cap D of the
// whole column merge into a set that reaches D exactly when the whole column has
// D distinct values, so the parts decide continuity as one column would.
struct DistinctSample {
    std::vector<std::uint64_t> keys;  // ascending, distinct
    std::uint64_t nan_count = 0;
    std::uint64_t cap = 0;            // collection stops once count() reaches it

    std::uint64_t count() const { return keys.size() + nan_count; }
    bool saturated() const { return count() >= cap; }
    // Union with `other` (same cap), cut back to the cap.
    void merge(const DistinctSample& other);
};

// Adds the values of `values` to `sample` until it is saturated.
template <class T>
void collect_distinct(Strided<T> values, DistinctSample& sample);

// The labelling rules below keep a view of the column: it must stay valid (the
// array alive, no Python code running) while the labels are read.

// Float column: continuous → value >= t, discrete → value == t.
template <class T>
ColumnLabelsPtr label_float_column(Strided<T> values, double threshold, bool continuous);

// Integer column (values already known to fit in int64) against an integer label.
template <class T>
ColumnLabelsPtr label_int_column(Strided<T> values, std::int64_t threshold, bool continuous);

// The same labels with the mode still to decide: the two rules agree on every value
// up to the label, so rows are labelled by equality, and is_continuous(values,
// heuristic) runs only once a value above the label is met (then the rest of the
// column follows the decided rule). A column that never exceeds its label (a 0/1
// ground truth labelled 1) is read once, with no pass for its mode.
template <class T>
ColumnLabelsPtr label_int_column_deferred(Strided<T> values, std::int64_t threshold, float heuristic);

// Integer column against a float label, compared exactly: continuous → value >=
// ceil(t); discrete → value == t when t is integral and in range; NaN labels no row.
template <class T>
ColumnLabelsPtr label_int_column(Strided<T> values, double threshold, bool continuous);

// Explicit segmentation: row is 1 when `value <op> threshold` (NaN never satisfies).
LabelSequence label_by_comparison(Strided<double> values, double threshold, SegmentationThresholdType type);

// The same rule as a view over a numeric column, each value compared as its 64-bit
// float (what label_by_comparison reads from a copied column).
template <class T>
ColumnLabelsPtr compare_column(Strided<T> values, double threshold, SegmentationThresholdType type);

}  // namespace tarvenn
