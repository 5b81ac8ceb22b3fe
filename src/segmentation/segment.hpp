// The segmentation policy: reduces one classified column to 0/1 labels by a
// label-or-threshold (equality for discrete columns, a lower threshold for
// continuous ones, chosen by the distribution heuristic) or by an explicit rule.
// The bindings classify each argument once into the typed views below; this
// file decides what the values mean.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <variant>

#include "core/errors.hpp"
#include "core/strided.hpp"
#include "segmentation/segmentation.hpp"

namespace tarvenn {

// A bool column: one byte per item, 0 or 1.
struct BoolColumn {
    Strided<std::uint8_t> values;
};

// A column of text items. Its items are the caller's objects, so the binding
// compares them with a text label; `matches` holds the result (empty when the
// label is not text).
struct TextColumn {
    LabelSequence matches;
};

using ColumnView = std::variant<Strided<double>, Strided<float>, Strided<std::int8_t>, Strided<std::int16_t>,
                                Strided<std::int32_t>, Strided<std::int64_t>, Strided<std::uint8_t>,
                                Strided<std::uint16_t>, Strided<std::uint32_t>, Strided<std::uint64_t>, BoolColumn,
                                TextColumn>;

// The label or threshold of a column.
struct FloatLabel {
    double value;
};
struct IntegerLabel {
    std::int64_t value;
    bool fits;  // false: the integer lies outside the 64-bit range (value is then unused)
};
struct TextLabel {};
struct OtherLabel {};
using SegmentLabel = std::variant<FloatLabel, IntegerLabel, TextLabel, OtherLabel>;

// Why a column could not be labelled by its label-or-threshold.
struct SegmentationError {
    enum class Kind : std::uint8_t {
        LabelMismatch,       // the label's kind does not suit the column
        LabelOutOfRange,     // an integer label outside the 64-bit range for a numeric column
        ItemOutOfRange,      // an unsigned item above the signed 64-bit range (carries `item`)
    };
    Kind kind;
    std::uint64_t item = 0;
};

// The labels of `column` by `label`. Numeric labels keep a view of the column (see
// segmentation.hpp for its lifetime).
std::expected<ColumnLabelsPtr, SegmentationError> segment(const ColumnView& column, const SegmentLabel& label,
                                                          float heuristic);
// The same with the continuity of a numeric column given (decided over a whole
// column split into parts) instead of decided from this column; nullopt decides.
std::expected<ColumnLabelsPtr, SegmentationError> segment(const ColumnView& column, const SegmentLabel& label,
                                                          float heuristic, std::optional<bool> continuous);

// The explicit form: a threshold with its comparison type, or a text label; any
// other combination is BiasConfigError.
struct ThresholdRule {
    double threshold;
    SegmentationThresholdType type;
};
struct TextRule {};
using ExplicitRule = std::variant<ThresholdRule, TextRule>;

std::expected<ExplicitRule, BiasError> explicit_rule(const std::optional<double>& threshold,
                                                     const std::optional<std::string>& label,
                                                     const std::optional<std::string>& threshold_type);

}  // namespace tarvenn
