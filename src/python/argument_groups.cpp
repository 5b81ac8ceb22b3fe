#include "python/argument_groups.hpp"

#include "python/arrays.hpp"
#include "python/column_labels.hpp"
#include "python/scalars.hpp"
#include "python/sequences.hpp"

namespace tarvenn {

bool RuntimeCheckArgs::convert(PyObject* const* argv, const char* metrics_param) {
    if (!to_metric_value_map(argv[0], "baseline", baseline) || !to_metric_value_map(argv[1], "latest", latest))
        return false;
    if (metrics_param != nullptr && !to_text_seq(argv[2], metrics_param, metric_names)) return false;
    PyObject* threshold_arg = argv[metrics_param != nullptr ? 3 : 2];
    if (threshold_arg == nullptr) {  // the 32-bit 0.1 when omitted
        threshold = 0.1f;
        return true;
    }
    return to_f32(threshold_arg, "threshold", threshold);
}

bool ExplicitSegmentation::convert(PyObject* const* argv, const char* const* names) {
    return to_numpy_array(argv[0], names[0], array) && to_optional_f64(argv[1], names[1], threshold) &&
           to_optional_str(argv[2], names[2], label) && to_optional_str(argv[3], names[3], threshold_type);
}

bool ExplicitSegmentation::labels(ColumnLabelsPtr& out) const {
    return label_python_bias_explicit_seg(array, threshold, label, threshold_type, out);
}

}  // namespace tarvenn
