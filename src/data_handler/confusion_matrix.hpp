// Confusion counts of a binary classifier. Counts are exact 64-bit integers;
// formulas convert each one to a 32-bit float (round to nearest) where they use it,
// so results stay right beyond 2^24 pairs.
#pragma once

#include <cstdint>

namespace tarvenn {

struct ConfusionMatrix {
    std::uint64_t true_pos = 0;
    std::uint64_t false_pos = 0;
    std::uint64_t true_neg = 0;
    std::uint64_t false_neg = 0;

    void push(bool actual_positive, bool predicted_positive) {
        if (actual_positive) {
            if (predicted_positive) ++true_pos; else ++false_neg;
        } else {
            if (predicted_positive) ++false_pos; else ++true_neg;
        }
    }

    void add(const ConfusionMatrix& o) {
        true_pos += o.true_pos;
        false_pos += o.false_pos;
        true_neg += o.true_neg;
        false_neg += o.false_neg;
    }

    float tp() const { return static_cast<float>(true_pos); }
    float fp() const { return static_cast<float>(false_pos); }
    float tn() const { return static_cast<float>(true_neg); }
    float fn() const { return static_cast<float>(false_neg); }
};

}  // namespace tarvenn
