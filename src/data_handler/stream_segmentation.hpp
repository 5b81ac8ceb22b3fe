// Group membership of one small integer value, as the streaming bias monitors
// decide it: a comparison kind and an 8-bit threshold.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvenn {

// The four explicit segmentation comparisons, in their order, then equality.
enum class StreamComparison : std::uint8_t { GreaterThan, GreaterThanEqualTo, LessThan, LessThanEqualTo, EqualTo };

struct StreamSegmentation {
    StreamComparison kind = StreamComparison::EqualTo;
    std::int8_t threshold = 1;

    constexpr bool is_member(std::int8_t value) const {
        switch (kind) {
            case StreamComparison::GreaterThan: return value > threshold;
            case StreamComparison::GreaterThanEqualTo: return value >= threshold;
            case StreamComparison::LessThan: return value < threshold;
            case StreamComparison::LessThanEqualTo: return value <= threshold;
            case StreamComparison::EqualTo: return value == threshold;
        }
        return false;
    }

    // Membership of every int8 value, indexed by the value's byte, for batch loops.
    std::array<std::uint8_t, 256> member_table() const {
        std::array<std::uint8_t, 256> table{};
        for (std::size_t byte = 0; byte < table.size(); ++byte)
            table[byte] = is_member(static_cast<std::int8_t>(static_cast<std::uint8_t>(byte)));
        return table;
    }
};

// How the Python-facing monitors configure every input: member exactly when the
// value is 1.
inline constexpr StreamSegmentation kMemberWhenOne{StreamComparison::EqualTo, 1};

}  // namespace tarvenn
