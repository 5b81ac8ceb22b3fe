// Group membership of one 8-bit sample value, as the streaming bias monitors
// decide it: value <kind> threshold.
#pragma once

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

    // The members as one range of bytes: v is a member exactly when
    // enabled && uint8(v − low) <= span, v and low read as unsigned bytes. Every
    // kind is one range of values; Greater 127 and Less −128 have no member.
    struct ByteRange {
        std::uint8_t low;
        std::uint8_t span;
        std::uint8_t enabled;
    };
    ByteRange byte_range() const {
        const int t = threshold;
        int low = t, high = t;
        switch (kind) {
            case Greater: low = t + 1, high = 127; break;
            case GreaterEqual: low = t, high = 127; break;
            case Less: low = -128, high = t - 1; break;
            case LessEqual: low = -128, high = t; break;
            case Equal: break;
        }
        if (low > high) return {0, 0, 0};
        return {static_cast<std::uint8_t>(low), static_cast<std::uint8_t>(high - low), 1};
    }
};

}  // namespace tarvenn
