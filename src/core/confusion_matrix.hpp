// Confusion counts of a binary classifier. Counts are exact 64-bit integers;
// formulas convert each one to a 32-bit float (round to nearest) where they use it,
// so results stay right beyond 2^24 pairs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>

#include "core/errors.hpp"

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

    // Counts every pair of the two sequences; a value is positive exactly when it
    // equals `label`. Different lengths fail and change nothing.
    template <class T>
    std::expected<void, ModelPerformanceError> push_dataset(std::span<const T> y_true,
                                                           std::span<const T> y_pred, const T& label) {
        if (y_true.size() != y_pred.size())
            return std::unexpected(
                ModelPerformanceError::of(ModelPerformanceError::Kind::DataVectorLengthMismatch));
        add(count_pairs(y_true.size(), [&](std::size_t i) { return y_true[i] == label; },
                        [&](std::size_t i) { return y_pred[i] == label; }));
        return {};
    }

    // The matrix of n pairs from two predicates on the index; branch-free so that
    // the loop vectorises.
    template <class Actual, class Predicted>
    static ConfusionMatrix count_pairs(std::size_t n, Actual&& actual, Predicted&& predicted) {
        std::uint64_t actual_pos = 0, predicted_pos = 0, both = 0;
        // 32-bit partial counts over chunks (more lanes per vector), added up exactly.
        constexpr std::size_t kChunk = std::size_t{1} << 20;
        for (std::size_t begin = 0; begin < n; begin += kChunk) {
            const std::size_t end = n - begin < kChunk ? n : begin + kChunk;
            std::uint32_t a_count = 0, p_count = 0, both_count = 0;
            for (std::size_t i = begin; i < end; ++i) {
                const std::uint32_t a = actual(i);
                const std::uint32_t p = predicted(i);
                a_count += a;
                p_count += p;
                both_count += a & p;
            }
            actual_pos += a_count;
            predicted_pos += p_count;
            both += both_count;
        }
        ConfusionMatrix m;
        m.true_pos = both;
        m.false_neg = actual_pos - both;
        m.false_pos = predicted_pos - both;
        m.true_neg = n - actual_pos - predicted_pos + both;
        return m;
    }

    std::uint64_t total() const { return true_pos + false_pos + true_neg + false_neg; }

    float tp() const { return static_cast<float>(true_pos); }
    float fp() const { return static_cast<float>(false_pos); }
    float tn() const { return static_cast<float>(true_neg); }
    float fn() const { return static_cast<float>(false_neg); }
};

}  // namespace tarvenn
