// Conversions of Python and NumPy arguments into owned, typed values. Every
// function returns false with a Python exception set when the argument does not
// convert; `param` is the parameter name used in the argument-prefixed TypeError
// ("argument 'param': ..."). NumPy buffers are read directly for the native
// numeric dtypes (any stride, any alignment); other objects go item by item
// through the float, integer or str protocol.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "segmentation/segmentation.hpp"
#include "python/python.hpp"
#include "core/metrics.hpp"

namespace tarvenn {

enum class ArrayElementKind : std::uint8_t { Float = 0, Integer = 1, Other = 2, Boolean = 3 };

// Classifies a NumPy array's dtype by equivalence with the native dtypes.
ArrayElementKind determine_type(PyArrayObject* array);

// DISTRIBUTION_TYPE_HEURISTIC, read once from TARVENN_DISTRIBUTION_HEURISTIC.
float distribution_type_heuristic();

// --- scalar arguments -------------------------------------------------------
bool to_f32(PyObject* obj, const char* param, float& out);
bool to_f64(PyObject* obj, const char* param, double& out);
bool to_i8(PyObject* obj, const char* param, std::int8_t& out);
bool to_i32(PyObject* obj, const char* param, std::int32_t& out);
bool to_optional_f64(PyObject* obj, const char* param, std::optional<double>& out);  // None → empty
bool to_optional_f32(PyObject* obj, const char* param, std::optional<float>& out);   // None → empty
bool to_optional_u64(PyObject* obj, const char* param, std::optional<std::uint64_t>& out);
bool to_str(PyObject* obj, const char* param, std::string& out);  // UTF-8
bool to_optional_str(PyObject* obj, const char* param, std::optional<std::string>& out);

// --- sequence arguments (any sequence but a str; NumPy arrays read directly) ---
bool to_i8_seq(PyObject* obj, const char* param, std::vector<std::int8_t>& out);
bool to_i32_seq(PyObject* obj, const char* param, std::vector<std::int32_t>& out);
bool to_f32_seq(PyObject* obj, const char* param, std::vector<float>& out);
bool to_text_seq(PyObject* obj, const char* param, std::vector<std::string>& out);  // UTF-8 items
bool to_metric_value_map(PyObject* obj, const char* param, NameMap& out);

// --- NumPy array arguments ---------------------------------------------------
// Any NumPy array (borrowed).
bool to_numpy_array(PyObject* obj, const char* param, PyArrayObject*& out);
// A one-dimensional float64 array (borrowed); its data is read with read_f64_view.
bool to_f64_array_view(PyObject* obj, const char* param, PyArrayObject*& out);
// Reads a float64 view: TypeError "The given array is not contiguous" unless the
// data is contiguous. `data` points into the array or, when it is unaligned, into
// `storage`. Valid while the array lives and no Python code runs.
bool read_f64_view(PyArrayObject* array, std::span<const double>& data, std::vector<double>& storage);

// The float32 sequence of an array for the model performance functions: Float and
// Integer kinds convert, Boolean and Other fail with UnsupportedTypeError.
bool convert_f32(PyArrayObject* array, ArrayElementKind kind, std::vector<float>& out);
// The checks of convert_f32 without the conversion: true when convert_f32 would
// succeed (the array is then read with f32_blocks.hpp), else its exception is set.
bool f32_convertible(PyArrayObject* array, ArrayElementKind kind);

// --- segmentation (reduces a column to 0/1 labels) ------------------------------
// Label by one value: equality or lower threshold, chosen from the element kind
// and the distribution-type heuristic. The ColumnLabels form labels numeric
// columns on demand from the array's buffer (see segmentation.hpp for its lifetime).
bool apply_label(PyArrayObject* array, PyObject* label_or_threshold, ColumnLabelsPtr& out);
// The same with the continuity of a numeric column given (decided over a whole
// column split into parts) rather than decided from this array; nullopt decides.
bool apply_label(PyArrayObject* array, PyObject* label_or_threshold, std::optional<bool> continuous,
                 ColumnLabelsPtr& out);
bool apply_label(PyArrayObject* array, PyObject* label_or_threshold, LabelSequence& out);
// Label by an explicit threshold and comparison type, or by a text label. Every
// failure is BiasError::BiasConfigError (ValueError "Invalid bias configuration").
bool label_python_bias_explicit_seg(PyArrayObject* array, const std::optional<double>& threshold,
                                    const std::optional<std::string>& label,
                                    const std::optional<std::string>& threshold_type,
                                    LabelSequence& out);

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
