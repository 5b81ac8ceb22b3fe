// Argument groups converted together by several callables, in their order.
// `convert` returns false with a Python exception set on failure.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/metrics.hpp"
#include "python/python.hpp"
#include "segmentation/segmentation.hpp"

namespace tarvenn {

// The arguments of a runtime check: baseline and latest metric dicts, for a
// partial check the metric-name list (`metrics_param` names it; nullptr for a
// full check), then the threshold (0.1 when omitted), converted in that order.
struct RuntimeCheckArgs {
    NameMap baseline;
    NameMap latest;
    std::vector<std::string> metric_names;
    float threshold = 0.1f;

    bool convert(PyObject* const* argv, const char* metrics_param = nullptr);
};

// One column's explicit segmentation arguments: the array, then its threshold,
// label and threshold type, converted from four consecutive arguments.
struct ExplicitSegmentation {
    PyArrayObject* array = nullptr;
    std::optional<double> threshold;
    std::optional<std::string> label;
    std::optional<std::string> threshold_type;

    // `argv` and `names` point at the column's four arguments and their names.
    bool convert(PyObject* const* argv, const char* const* names);
    bool labels(ColumnLabelsPtr& out) const;
};

}  // namespace tarvenn
