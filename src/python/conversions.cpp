#include "python/conversions.hpp"

#include <cmath>
#include <limits>
#include <string_view>

#include "python/numpy_dtype.hpp"
#include "segmentation/segmentation.hpp"
#include "python/exceptions.hpp"
#include "python/callable.hpp"
#include "python/py_ref.hpp"
#include "core/settings.hpp"

namespace tarvenn {
namespace {

const char* type_name(PyObject* obj) { return Py_TYPE(obj)->tp_name; }

bool type_error(const char* expected, PyObject* got) {
    PyErr_Format(PyExc_TypeError, "expected %s, got '%s'", expected, type_name(got));
    return false;
}

// Items are read along the first axis; only one-dimensional arrays are columns.
bool require_1d(PyArrayObject* array) {
    if (PyArray_NDIM(array) == 1) return true;
    PyErr_Format(PyExc_TypeError, "expected a one-dimensional array, got a %d-dimensional array",
                 PyArray_NDIM(array));
    return false;
}

// Calls f(PyObject* item) for each item of a 1-D array through the Python
// protocol (for dtypes that are not read from the buffer); stops when f fails.
template <class F>
bool for_each_item(PyArrayObject* array, F&& f) {
    const npy_intp n = PyArray_DIM(array, 0);
    for (npy_intp i = 0; i < n; ++i) {
        PyRef item(PyArray_GETITEM(array, static_cast<const char*>(PyArray_GETPTR1(array, i))));
        if (!item || !f(item.get())) return false;
    }
    return true;
}

// Calls f(PyObject* item) for each item of a sequence, holding a reference to the
// item while f runs (f may run user code that mutates the sequence).
template <class F>
bool for_each_seq_item(PyObject* seq_obj, std::size_t& reserve_hint, F&& f) {
    PyRef seq(PySequence_Fast(seq_obj, "expected a sequence"));
    if (!seq) return false;
    reserve_hint = static_cast<std::size_t>(PySequence_Fast_GET_SIZE(seq.get()));
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq.get()); ++i) {
        PyRef item = PyRef::borrow(PySequence_Fast_GET_ITEM(seq.get(), i));
        if (!f(item.get())) return false;
    }
    return true;
}

bool read_double(PyObject* item, double& out) {
    out = PyFloat_AsDouble(item);
    return !(out == -1.0 && PyErr_Occurred());
}

bool read_int64(PyObject* item, long long& out) {
    out = PyLong_AsLongLong(item);
    return !(out == -1 && PyErr_Occurred());
}

// Common checks of the sequence arguments: a str is refused, a non-sequence named.
bool check_sequence(PyObject* obj) {
    if (PyUnicode_Check(obj)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
    }
    if (!PySequence_Check(obj)) return type_error("a sequence", obj);
    return true;
}

template <class Int>
bool int_in_range(long long v) {
    if (v < std::numeric_limits<Int>::min() || v > std::numeric_limits<Int>::max()) {
        PyErr_Format(PyExc_OverflowError, "value %lld is out of range for a signed %d-bit integer", v,
                     static_cast<int>(8 * sizeof(Int)));
        return false;
    }
    return true;
}

// An integer sequence argument: native integer arrays are read from the buffer,
// everything else item by item with the integer protocol.
template <class Int>
bool to_int_seq(PyObject* obj, const char* param, std::vector<Int>& out) {
    std::vector<Int> values;
    auto ok = [&]() -> bool {
        if (!check_sequence(obj)) return false;
        if (PyArray_Check(obj) && PyArray_NDIM(reinterpret_cast<PyArrayObject*>(obj)) == 1) {
            auto* array = reinterpret_cast<PyArrayObject*>(obj);
            const NativeType type = native_type(array);
            if (is_integer(type)) {
                bool in_range = true;
                visit_native(array, type, [&](auto column) {
                    values.reserve(column.size);
                    for (std::size_t i = 0; i < column.size && in_range; ++i) {
                        const auto v = column[i];
                        using T = decltype(v);
                        if constexpr (std::is_same_v<T, std::uint64_t>) {
                            if (v > static_cast<std::uint64_t>(std::numeric_limits<Int>::max())) {
                                PyErr_Format(PyExc_OverflowError, "value %llu is out of range for a signed %d-bit integer",
                                             static_cast<unsigned long long>(v), static_cast<int>(8 * sizeof(Int)));
                                in_range = false;
                                break;
                            }
                        }
                        in_range = int_in_range<Int>(static_cast<long long>(v));
                        if (in_range) values.push_back(static_cast<Int>(v));
                    }
                });
                return in_range;
            }
        }
        std::size_t hint = 0;
        return for_each_seq_item(obj, hint, [&](PyObject* item) {
            if (values.empty()) values.reserve(hint);
            long long v;
            if (!read_int64(item, v) || !int_in_range<Int>(v)) return false;
            values.push_back(static_cast<Int>(v));
            return true;
        });
    }();
    if (!ok) return arg_conversion_failed(param);
    out = std::move(values);
    return true;
}

bool str_to_utf8(PyObject* item, std::string& out) {
    Py_ssize_t size;
    const char* data = PyUnicode_AsUTF8AndSize(item, &size);
    if (data == nullptr) return false;
    out.assign(data, static_cast<std::size_t>(size));
    return true;
}

// The float variant of copy_array_items: native dtypes from the buffer, others
// item by item with the float protocol.
bool copy_float_items(PyArrayObject* array, std::vector<double>& out) {
    const NativeType type = native_type(array);
    out.clear();
    out.reserve(static_cast<std::size_t>(PyArray_DIM(array, 0)));
    if (visit_native(array, type, [&](auto column) {
            for (std::size_t i = 0; i < column.size; ++i) out.push_back(static_cast<double>(column[i]));
        }))
        return true;
    return for_each_item(array, [&](PyObject* item) {
        double v;
        if (!read_double(item, v)) return false;
        out.push_back(v);
        return true;
    });
}

// Labels text items by equality with `label` (nullptr: only check that every item
// is a str). `not_str` is called for the first item that is not a str.
template <class OnNotStr>
bool label_text_items(PyArrayObject* array, PyObject* label, LabelSequence& labels, OnNotStr&& not_str) {
    labels.clear();
    labels.reserve(static_cast<std::size_t>(PyArray_DIM(array, 0)));
    return for_each_item(array, [&](PyObject* item) {
        if (!PyUnicode_Check(item)) return not_str(item);
        if (label != nullptr) {
            const int cmp = PyUnicode_Compare(item, label);
            if (cmp == -1 && PyErr_Occurred()) return false;
            labels.push_back(cmp == 0 ? 1 : 0);
        }
        return true;
    });
}

bool heterogeneous() {
    PyErr_SetString(PyExc_TypeError, "Data passed in is of hetergeneous types");
    return false;
}

bool apply_label_float(PyArrayObject* array, NativeType type, PyObject* label, std::optional<bool> continuous,
                       ColumnLabelsPtr& out) {
    double threshold;
    if (PyFloat_Check(label)) {
        threshold = PyFloat_AS_DOUBLE(label);
    } else if (PyLong_Check(label)) {
        long long v;
        if (!read_int64(label, v)) return false;
        threshold = static_cast<double>(v);
    } else {
        return heterogeneous();
    }
    const float heuristic = distribution_type_heuristic();
    visit_native(array, type, [&](auto column) {
        using T = std::remove_cv_t<decltype(column[0])>;
        if constexpr (std::is_floating_point_v<T>)
            out = label_float_column(column, threshold, continuous ? *continuous : is_continuous(column, heuristic));
    });
    return true;
}

bool apply_label_integer(PyArrayObject* array, NativeType type, PyObject* label, std::optional<bool> continuous,
                         ColumnLabelsPtr& out) {
    if (type == NativeType::U64) {  // items above the int64 range do not convert
        const auto column = strided_of<std::uint64_t>(array);
        for (std::size_t i = 0; i < column.size; ++i) {
            if (column[i] > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                PyErr_Format(PyExc_OverflowError, "array item %llu is out of range for a signed 64-bit integer",
                             static_cast<unsigned long long>(column[i]));
                return false;
            }
        }
    }
    std::optional<double> float_label;
    long long int_label = 0;
    if (PyFloat_Check(label)) {
        float_label = PyFloat_AS_DOUBLE(label);
    } else if (PyLong_Check(label)) {
        if (!read_int64(label, int_label)) return false;
    } else {
        return heterogeneous();
    }
    const float heuristic = distribution_type_heuristic();
    visit_native(array, type, [&](auto column) {
        using T = std::remove_cv_t<decltype(column[0])>;
        if constexpr (std::is_integral_v<T>) {
            const bool mode = continuous ? *continuous : is_continuous(column, heuristic);
            out = float_label ? label_int_column(column, *float_label, mode)
                              : label_int_column(column, static_cast<std::int64_t>(int_label), mode);
        }
    });
    return true;
}

bool apply_label_boolean(PyArrayObject* array, PyObject* label, ColumnLabelsPtr& out) {
    bool wanted;
    if (Py_IS_TYPE(label, &PyBool_Type)) {
        wanted = label == Py_True;
    } else if (PyLong_Check(label)) {
        int overflow = 0;
        wanted = PyLong_AsLongLongAndOverflow(label, &overflow) == 1 && overflow == 0;
    } else {
        return heterogeneous();
    }
    // A bool item is a byte, 0 or 1: equality with the label is integer equality.
    out = label_int_column(strided_of<std::uint8_t>(array), std::int64_t{wanted}, false);
    return true;
}

}  // namespace

ArrayElementKind determine_type(PyArrayObject* array) {
    const NativeType type = native_type(array);
    if (type == NativeType::F64 || type == NativeType::F32) return ArrayElementKind::Float;
    if (is_integer(type)) return ArrayElementKind::Integer;
    if (type == NativeType::Bool) return ArrayElementKind::Boolean;
    return ArrayElementKind::Other;
}

float distribution_type_heuristic() {
    static const float DISTRIBUTION_TYPE_HEURISTIC = env_setting_f32("TARVENN_DISTRIBUTION_HEURISTIC", 0.05f);
    return DISTRIBUTION_TYPE_HEURISTIC;
}

// --- scalar arguments -----------------------------------------------------------

bool to_f64(PyObject* obj, const char* param, double& out) {
    double v = 0.0;
    if (!read_double(obj, v)) return arg_conversion_failed(param);
    out = v;
    return true;
}

bool to_f32(PyObject* obj, const char* param, float& out) {
    double v = 0.0;
    if (!to_f64(obj, param, v)) return false;
    out = static_cast<float>(v);
    return true;
}

// The threshold of a runtime check: the 32-bit 0.1 when omitted.
static bool to_threshold(PyObject* obj, float& out) {
    if (obj == nullptr) {
        out = 0.1f;
        return true;
    }
    return to_f32(obj, "threshold", out);
}

bool to_i8(PyObject* obj, const char* param, std::int8_t& out) {
    long long v = 0;
    if (!read_int64(obj, v) || !int_in_range<std::int8_t>(v)) return arg_conversion_failed(param);
    out = static_cast<std::int8_t>(v);
    return true;
}

bool to_i32(PyObject* obj, const char* param, std::int32_t& out) {
    long long v = 0;
    if (!read_int64(obj, v) || !int_in_range<std::int32_t>(v)) return arg_conversion_failed(param);
    out = static_cast<std::int32_t>(v);
    return true;
}

bool to_optional_f64(PyObject* obj, const char* param, std::optional<double>& out) {
    if (obj == Py_None) {
        out.reset();
        return true;
    }
    double v = 0.0;
    if (!to_f64(obj, param, v)) return false;
    out = v;
    return true;
}

bool to_optional_f32(PyObject* obj, const char* param, std::optional<float>& out) {
    std::optional<double> v;
    if (!to_optional_f64(obj, param, v)) return false;
    out = v ? std::optional<float>(static_cast<float>(*v)) : std::nullopt;
    return true;
}

bool to_optional_u64(PyObject* obj, const char* param, std::optional<std::uint64_t>& out) {
    if (obj == Py_None) {
        out.reset();
        return true;
    }
    PyRef index(PyNumber_Index(obj));
    if (!index) return arg_conversion_failed(param);
    const unsigned long long v = PyLong_AsUnsignedLongLong(index.get());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return arg_conversion_failed(param);
    out = v;
    return true;
}

bool to_str(PyObject* obj, const char* param, std::string& out) {
    if (!PyUnicode_Check(obj)) {
        type_error("a string", obj);
        return arg_conversion_failed(param);
    }
    if (!str_to_utf8(obj, out)) return arg_conversion_failed(param);
    return true;
}

bool to_optional_str(PyObject* obj, const char* param, std::optional<std::string>& out) {
    if (obj == Py_None) {
        out.reset();
        return true;
    }
    std::string s;
    if (!to_str(obj, param, s)) return false;
    out = std::move(s);
    return true;
}

// --- sequence arguments -----------------------------------------------------------

bool to_i8_seq(PyObject* obj, const char* param, std::vector<std::int8_t>& out) { return to_int_seq(obj, param, out); }
bool to_i32_seq(PyObject* obj, const char* param, std::vector<std::int32_t>& out) { return to_int_seq(obj, param, out); }

bool to_f32_seq(PyObject* obj, const char* param, std::vector<float>& out) {
    std::vector<float> values;
    auto ok = [&]() -> bool {
        if (!check_sequence(obj)) return false;
        if (PyArray_Check(obj) && PyArray_NDIM(reinterpret_cast<PyArrayObject*>(obj)) == 1) {
            auto* array = reinterpret_cast<PyArrayObject*>(obj);
            const NativeType type = native_type(array);
            if (type != NativeType::Bool && visit_native(array, type, [&](auto column) {
                    values.reserve(column.size);
                    for (std::size_t i = 0; i < column.size; ++i)
                        values.push_back(static_cast<float>(static_cast<double>(column[i])));
                }))
                return true;
        }
        std::size_t hint = 0;
        return for_each_seq_item(obj, hint, [&](PyObject* item) {
            if (values.empty()) values.reserve(hint);
            double v;
            if (!read_double(item, v)) return false;
            values.push_back(static_cast<float>(v));
            return true;
        });
    }();
    if (!ok) return arg_conversion_failed(param);
    out = std::move(values);
    return true;
}

bool to_text_seq(PyObject* obj, const char* param, std::vector<std::string>& out) {
    std::vector<std::string> values;
    std::size_t hint = 0;
    const bool ok = check_sequence(obj) && for_each_seq_item(obj, hint, [&](PyObject* item) {
                        if (values.empty()) values.reserve(hint);
                        if (!PyUnicode_Check(item)) return type_error("a string", item);
                        values.emplace_back();
                        return str_to_utf8(item, values.back());
                    });
    if (!ok) return arg_conversion_failed(param);
    out = std::move(values);
    return true;
}

bool to_metric_value_map(PyObject* obj, const char* param, NameMap& out) {
    if (!PyDict_Check(obj)) {
        type_error("a dict", obj);
        return arg_conversion_failed(param);
    }
    // A snapshot of the items: a value's __float__ may mutate the dict.
    PyRef items(PyDict_Items(obj));
    if (!items) return arg_conversion_failed(param);
    NameMap values;
    values.reserve(static_cast<std::size_t>(PyList_GET_SIZE(items.get())));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
        PyObject* pair = PyList_GET_ITEM(items.get(), i);
        PyObject* key = PyTuple_GET_ITEM(pair, 0);
        PyObject* value = PyTuple_GET_ITEM(pair, 1);
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "expected a dict with str keys, got a key of type '%s'", type_name(key));
            return arg_conversion_failed(param);
        }
        std::string name;
        double v;
        if (!str_to_utf8(key, name) || !read_double(value, v)) return arg_conversion_failed(param);
        values.emplace_back(std::move(name), static_cast<float>(v));
    }
    out = std::move(values);
    return true;
}

// --- NumPy array arguments ----------------------------------------------------------

bool to_numpy_array(PyObject* obj, const char* param, PyArrayObject*& out) {
    if (!PyArray_Check(obj)) {
        type_error("a NumPy array", obj);
        return arg_conversion_failed(param);
    }
    out = reinterpret_cast<PyArrayObject*>(obj);
    return true;
}

bool to_f64_array_view(PyObject* obj, const char* param, PyArrayObject*& out) {
    auto* array = reinterpret_cast<PyArrayObject*>(obj);
    if (!PyArray_Check(obj) || PyArray_NDIM(array) != 1 || native_type(array) != NativeType::F64) {
        if (PyArray_Check(obj)) {
            PyRef dtype(PyObject_Str(reinterpret_cast<PyObject*>(PyArray_DESCR(array))));
            PyErr_Format(PyExc_TypeError,
                         "expected a one-dimensional float64 NumPy array, got a %d-dimensional array of dtype %S",
                         PyArray_NDIM(array), dtype ? dtype.get() : Py_None);
        } else {
            type_error("a one-dimensional float64 NumPy array", obj);
        }
        return arg_conversion_failed(param);
    }
    out = array;
    return true;
}

bool read_f64_view(PyArrayObject* array, std::span<const double>& data, std::vector<double>& storage) {
    if (!PyArray_IS_C_CONTIGUOUS(array) && !PyArray_IS_F_CONTIGUOUS(array)) {
        PyErr_SetString(PyExc_TypeError, "The given array is not contiguous");
        return false;
    }
    const auto n = static_cast<std::size_t>(PyArray_DIM(array, 0));
    if (PyArray_ISALIGNED(array)) {
        data = {static_cast<const double*>(PyArray_DATA(array)), n};
        return true;
    }
    const auto column = strided_of<double>(array);
    storage.resize(n);
    for (std::size_t i = 0; i < n; ++i) storage[i] = column[i];
    data = storage;
    return true;
}

bool f32_convertible(PyArrayObject* array, ArrayElementKind kind) {
    if (kind != ArrayElementKind::Float && kind != ArrayElementKind::Integer)
        return raise(ModelPerformanceError::of(ModelPerformanceError::Kind::UnsupportedTypeError)) != nullptr;
    return require_1d(array);
}

bool convert_f32(PyArrayObject* array, ArrayElementKind kind, std::vector<float>& out) {
    if (!f32_convertible(array, kind)) return false;
    std::vector<float> values;
    visit_native(array, native_type(array), [&](auto column) {
        values.resize(column.size);
        for (std::size_t i = 0; i < column.size; ++i) values[i] = static_cast<float>(static_cast<double>(column[i]));
    });
    out = std::move(values);
    return true;
}

// --- segmentation ---------------------------------------------------------------------

bool apply_label(PyArrayObject* array, PyObject* label, ColumnLabelsPtr& out) {
    return apply_label(array, label, std::nullopt, out);
}

bool apply_label(PyArrayObject* array, PyObject* label, std::optional<bool> continuous, ColumnLabelsPtr& out) {
    if (!require_1d(array)) return false;
    const NativeType type = native_type(array);
    switch (determine_type(array)) {
        case ArrayElementKind::Float: return apply_label_float(array, type, label, continuous, out);
        case ArrayElementKind::Integer: return apply_label_integer(array, type, label, continuous, out);
        case ArrayElementKind::Boolean: return apply_label_boolean(array, label, out);
        case ArrayElementKind::Other: break;
    }
    // Text: every item is read (and must be a str) before the label is checked.
    PyObject* text_label = PyUnicode_Check(label) ? label : nullptr;
    LabelSequence labels;
    const bool items_ok = label_text_items(array, text_label, labels, [](PyObject* item) {
        return type_error("a string", item);
    });
    if (!items_ok) return false;
    if (text_label == nullptr) return heterogeneous();
    out = stored_labels(std::move(labels));
    return true;
}

bool apply_label(PyArrayObject* array, PyObject* label, LabelSequence& out) {
    ColumnLabelsPtr labels;
    if (!apply_label(array, label, labels)) return false;
    out = labels->materialize();
    return true;
}

bool label_python_bias_explicit_seg(PyArrayObject* array, const std::optional<double>& threshold,
                                    const std::optional<std::string>& label,
                                    const std::optional<std::string>& threshold_type,
                                    LabelSequence& out) {
    auto config_error = [] {
        PyErr_Clear();
        raise(BiasError::BiasConfigError);
        return false;
    };
    if (threshold ? (label || !threshold_type) : (!label || threshold_type)) return config_error();
    if (PyArray_NDIM(array) != 1) return config_error();  // items of other shapes do not convert
    if (threshold) {
        std::vector<double> values;
        if (!copy_float_items(array, values)) return config_error();
        const auto type = segmentation_threshold_type_from(*threshold_type);
        if (!type) return config_error();
        out = label_by_comparison(Strided<double>::of(values), *threshold, *type);
        return true;
    }
    PyRef text(PyUnicode_DecodeUTF8(label->data(), static_cast<Py_ssize_t>(label->size()), "strict"));
    if (!text) return false;
    LabelSequence labels;
    if (!label_text_items(array, text.get(), labels, [](PyObject*) { return false; })) return config_error();
    out = std::move(labels);
    return true;
}

bool ExplicitSegmentation::convert(PyObject* const* argv, const char* const* names) {
    return to_numpy_array(argv[0], names[0], array) && to_optional_f64(argv[1], names[1], threshold) &&
           to_optional_str(argv[2], names[2], label) && to_optional_str(argv[3], names[3], threshold_type);
}

bool ExplicitSegmentation::labels(ColumnLabelsPtr& out) const {
    LabelSequence labels;
    if (!label_python_bias_explicit_seg(array, threshold, label, threshold_type, labels)) return false;
    out = stored_labels(std::move(labels));
    return true;
}

bool RuntimeCheckArgs::convert(PyObject* const* argv, const char* metrics_param) {
    if (!to_metric_value_map(argv[0], "baseline", baseline) || !to_metric_value_map(argv[1], "latest", latest))
        return false;
    if (metrics_param != nullptr && !to_text_seq(argv[2], metrics_param, metric_names)) return false;
    return to_threshold(argv[metrics_param != nullptr ? 3 : 2], threshold);
}

}  // namespace tarvenn
