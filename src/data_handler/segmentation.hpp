// Reduces a numeric column to 0/1 labels: by equality with a label (discrete
// columns), by a lower threshold (continuous columns), or by an explicit
// comparison. Plain C++: the Python-facing entry points are in py_types_handler.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>
#include <vector>

#include "data_handler/strided.hpp"
#include "errors/errors.hpp"

namespace tarvenn {

using LabelSequence = std::vector<std::int16_t>;

enum class SegmentationThresholdType : std::uint8_t { GreaterThan, GreaterThanEqualTo, LessThan, LessThanEqualTo };

std::expected<SegmentationThresholdType, BiasError> segmentation_threshold_type_from(std::string_view text);

// Continuous when the column holds D >= 4 distinct values and D / N (in 32-bit
// floats) exceeds the heuristic, or that comparison is unordered (NaN).
// Counting stops as soon as continuous mode is certain.
template <class T>
bool is_continuous(Strided<T> values, float heuristic);

// Float column: continuous → value >= t, discrete → value == t.
template <class T>
LabelSequence label_float_column(Strided<T> values, double threshold, bool continuous);

// Integer column (values already known to fit in int64) against an integer label.
template <class T>
LabelSequence label_int_column(Strided<T> values, std::int64_t threshold, bool continuous);

// Integer column against a float label, compared exactly: continuous → value >=
// ceil(t); discrete → value == t when t is integral and in range; NaN labels no row.
template <class T>
LabelSequence label_int_column(Strided<T> values, double threshold, bool continuous);

// Explicit segmentation: row is 1 when `value <op> threshold` (NaN never satisfies).
LabelSequence label_by_comparison(Strided<double> values, double threshold, SegmentationThresholdType type);

}  // namespace tarvenn
