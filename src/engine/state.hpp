// Serialised accumulators: serialize() on every class, and load(), which reads
// any of them back into an object of its class after validating every field.
#pragma once

#include <vector>

#include "data_bias/core.hpp"
#include "drift/bin_counts.hpp"
#include "engine/accumulator.hpp"
#include "model_bias/statistics.hpp"
#include "model_perf/metrics.hpp"
#include "segmentation/segmentation.hpp"

namespace tarvenn::engine {

using ContinuousBins = drift::RuntimeBinCounts<drift::BaselineContinuousBins>;
using CategoricalBins = drift::RuntimeBinCounts<drift::BaselineCategoricalBins>;

std::vector<std::uint8_t> to_bytes(const PreTrainingCounts& s);
std::vector<std::uint8_t> to_bytes(const PostTrainingCounts& s);
std::vector<std::uint8_t> to_bytes(const ConfusionMatrix& s);
std::vector<std::uint8_t> to_bytes(const LogisticBatch& s);
std::vector<std::uint8_t> to_bytes(const LinearRegressionErrorBuckets& s);
std::vector<std::uint8_t> to_bytes(const ContinuousBins& s);
std::vector<std::uint8_t> to_bytes(const CategoricalBins& s);
std::vector<std::uint8_t> to_bytes(const DistinctSample& s);

// serialize(): the accumulator's bytes.
template <class State>
PyObject* serialize_method(PyObject* self, PyObject* const*) {
    auto& acc = accumulator_of<State>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    const std::vector<std::uint8_t> bytes = to_bytes(acc.state);
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes.data()),
                                     static_cast<Py_ssize_t>(bytes.size()));
}

extern const FunctionBinding load_binding;

}  // namespace tarvenn::engine
