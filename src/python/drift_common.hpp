// Argument and result conversions shared by the drift bindings.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "drift/baseline.hpp"
#include "drift/drift_metrics.hpp"
#include "python/python.hpp"

// The closing paragraph of every docstring of a method that takes a drift type (a
// macro, so that it joins the string literals it ends).
#define TARVENN_DRIFT_TYPE_LIST                                                               \
    "`drift_type` must be one of: `\"JensenShannon\"`, `\"PopulationStabilityIndex\"`,\n" \
    "`\"WassersteinDistance\"`, `\"KullbackLeibler\"`."

namespace tarvenn {

// None: absent; "FreedmanDiaconis", "Scott", "Sturges": that rule; any other text:
// ValueError "Unsupported drift type".
bool coerce_quantile_type(const std::optional<std::string>& text, std::optional<drift::QuantileType>& out);

// Drift names: the first unknown one raises "Unsupported drift type".
bool parse_drift_type_arg(const std::string& text, drift::DataDriftType& out);
bool parse_drift_types_arg(const std::vector<std::string>& texts, std::vector<drift::DataDriftType>& out);

// The data of a float64 array argument ("The given array is not contiguous" otherwise).
struct F64Values {
    std::span<const double> data;
    std::vector<double> storage;  // used for unaligned buffers only
};
bool read_values(PyArrayObject* array, F64Values& out);

PyObject* float_list(std::span<const double> values);
// {label: values[i]} for every baseline label i (the unseen-label bin left out).
PyObject* label_dict(const drift::LabelIndex& labels, std::span<const double> values);

}  // namespace tarvenn
