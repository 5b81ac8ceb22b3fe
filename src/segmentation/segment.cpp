#include "segmentation/segment.hpp"

#include <limits>
#include <type_traits>

namespace tarvenn {
namespace {

using Result = std::expected<ColumnLabelsPtr, SegmentationError>;

Result mismatch() { return std::unexpected(SegmentationError{SegmentationError::Kind::LabelMismatch}); }

template <class T>
Result segment_float(Strided<T> column, const SegmentLabel& label, float heuristic, std::optional<bool> given) {
    double threshold;
    if (const auto* f = std::get_if<FloatLabel>(&label)) {
        threshold = f->value;
    } else if (const auto* i = std::get_if<IntegerLabel>(&label)) {
        if (!i->fits) return std::unexpected(SegmentationError{SegmentationError::Kind::LabelOutOfRange});
        threshold = static_cast<double>(i->value);
    } else {
        return mismatch();
    }
    return label_float_column(column, threshold, given ? *given : is_continuous(column, heuristic));
}

template <class T>
Result segment_integer(Strided<T> column, const SegmentLabel& label, float heuristic, std::optional<bool> given) {
    if constexpr (std::is_same_v<T, std::uint64_t>) {  // items above the int64 range do not convert
        for (std::size_t i = 0; i < column.size; ++i) {
            if (column[i] > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                return std::unexpected(SegmentationError{SegmentationError::Kind::ItemOutOfRange, column[i]});
        }
    }
    if (const auto* f = std::get_if<FloatLabel>(&label))
        return label_int_column(column, f->value, given ? *given : is_continuous(column, heuristic));
    if (const auto* i = std::get_if<IntegerLabel>(&label)) {
        if (!i->fits) return std::unexpected(SegmentationError{SegmentationError::Kind::LabelOutOfRange});
        if (given) return label_int_column(column, i->value, *given);
        return label_int_column_deferred(column, i->value, heuristic);
    }
    return mismatch();
}

// A bool item is a byte, 0 or 1: equality with the label is integer equality, and
// only the integer 1 (True) selects the True items.
Result segment_bool(const BoolColumn& column, const SegmentLabel& label) {
    const auto* i = std::get_if<IntegerLabel>(&label);
    if (i == nullptr) return mismatch();
    const bool wanted = i->fits && i->value == 1;
    return label_int_column(column.values, std::int64_t{wanted}, false);
}

Result segment_text(const TextColumn& column, const SegmentLabel& label) {
    if (!std::holds_alternative<TextLabel>(label)) return mismatch();
    return stored_labels(column.matches);
}

}  // namespace

Result segment(const ColumnView& column, const SegmentLabel& label, float heuristic) {
    return segment(column, label, heuristic, std::nullopt);
}

Result segment(const ColumnView& column, const SegmentLabel& label, float heuristic, std::optional<bool> given) {
    return std::visit(
        [&](const auto& view) -> Result {
            using V = std::remove_cvref_t<decltype(view)>;
            if constexpr (std::is_same_v<V, BoolColumn>) {
                return segment_bool(view, label);
            } else if constexpr (std::is_same_v<V, TextColumn>) {
                return segment_text(view, label);
            } else if constexpr (std::is_floating_point_v<std::remove_cvref_t<decltype(view[0])>>) {
                return segment_float(view, label, heuristic, given);
            } else {
                return segment_integer(view, label, heuristic, given);
            }
        },
        column);
}

std::expected<ExplicitRule, BiasError> explicit_rule(const std::optional<double>& threshold,
                                                     const std::optional<std::string>& label,
                                                     const std::optional<std::string>& threshold_type) {
    if (threshold ? (label || !threshold_type) : (!label || threshold_type))
        return std::unexpected(BiasError::BiasConfigError);
    if (!threshold) return TextRule{};
    const auto type = segmentation_threshold_type_from(*threshold_type);
    if (!type) return std::unexpected(type.error());
    return ThresholdRule{*threshold, *type};
}

}  // namespace tarvenn
