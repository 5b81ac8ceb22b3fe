// Group membership of one 8-bit sample value, as the streaming bias monitors
// decide it: value <kind> threshold.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvenn {

// Kinds in the order >, >=, <, <= (the explicit segmentation comparisons), then ==.
struct Int8Segmentation {
    enum Kind : std::uint8_t { Greater, GreaterEqual, Less, LessEqual, Equal };
    Kind kind = Equal;
    std::int8_t threshold = 1;

    bool member(std::int8_t v) const {
        switch (kind) {
            case Greater: return v > threshold;
            case GreaterEqual: return v >= threshold;
            case Less: return v < threshold;
            case LessEqual: return v <= threshold;
            case Equal: break;
        }
        return v == threshold;
    }

    // Membership of every 8-bit value, indexed by the value's byte: a batch loop
    // looks it up instead of branching on the kind per sample.
    std::array<std::uint8_t, 256> member_table() const {
        std::array<std::uint8_t, 256> table{};
        for (std::size_t byte = 0; byte < table.size(); ++byte)
            table[byte] = member(static_cast<std::int8_t>(static_cast<std::uint8_t>(byte)));
        return table;
    }
};

}  // namespace tarvenn
