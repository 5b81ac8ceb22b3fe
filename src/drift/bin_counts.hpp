// Runtime bin counts against a fixed baseline, gathered in any number of batches
// and merged: the partial state of a drift computation over a split data set.
// The baseline is shared (never changed once built) between copies.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "drift/baseline.hpp"

namespace tarvenn::drift {

template <class Baseline>
struct RuntimeBinCounts {
    std::shared_ptr<const Baseline> baseline;
    std::vector<std::uint64_t> counts;  // one per baseline bin

    static RuntimeBinCounts on(std::shared_ptr<const Baseline> shared) {
        RuntimeBinCounts bins;
        bins.counts.assign(shared->n_bins(), 0);
        bins.baseline = std::move(shared);
        return bins;
    }
    static RuntimeBinCounts on(Baseline built) { return on(std::make_shared<const Baseline>(std::move(built))); }

    // Adds counts made on an equal baseline (same_baseline).
    void add(const RuntimeBinCounts& other) {
        for (std::size_t b = 0; b < counts.size(); ++b) counts[b] += other.counts[b];
    }
    std::uint64_t rows() const {
        std::uint64_t n = 0;
        for (std::uint64_t c : counts) n += c;
        return n;
    }
};

}  // namespace tarvenn::drift
