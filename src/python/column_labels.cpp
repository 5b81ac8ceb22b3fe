#include "python/column_labels.hpp"

#include <type_traits>

#include "core/settings.hpp"
#include "python/exceptions.hpp"
#include "python/numpy_dtype.hpp"
#include "python/py_ref.hpp"
#include "python/read_items.hpp"

namespace tarvenn {
namespace {

// Compares the text items with `label` (nullptr: only checks that every item is
// a str); `not_str` is called for the first item that is not a str.
template <class OnNotStr>
bool match_text_items(PyArrayObject* array, PyObject* label, LabelSequence& matches, OnNotStr&& not_str) {
    matches.clear();
    matches.reserve(static_cast<std::size_t>(PyArray_DIM(array, 0)));
    return items::for_each_array_item(array, [&](PyObject* item) {
        if (!PyUnicode_Check(item)) return not_str(item);
        if (label != nullptr) {
            const int cmp = PyUnicode_Compare(item, label);
            if (cmp == -1 && PyErr_Occurred()) return false;
            matches.push_back(cmp == 0 ? 1 : 0);
        }
        return true;
    });
}

SegmentLabel classify_label(PyObject* label) {
    if (PyFloat_Check(label)) return FloatLabel{PyFloat_AS_DOUBLE(label)};
    if (PyLong_Check(label)) {
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(label, &overflow);
        return IntegerLabel{static_cast<std::int64_t>(v), overflow == 0};
    }
    if (PyUnicode_Check(label)) return TextLabel{};
    return OtherLabel{};
}

// The array as a typed column. Text (every dtype that is not native) is read item
// by item, and every item must be a str, before the label is looked at.
bool classify_column(PyArrayObject* array, PyObject* label, ColumnView& out) {
    if (!items::require_1d(array)) return false;
    const NativeType type = native_type(array);
    if (type == NativeType::Bool) {
        out = BoolColumn{strided_of<std::uint8_t>(array)};
        return true;
    }
    if (visit_native(array, type, [&](auto column) { out = column; })) return true;
    TextColumn text;
    PyObject* text_label = PyUnicode_Check(label) ? label : nullptr;
    if (!match_text_items(array, text_label, text.matches,
                          [](PyObject* item) { return items::type_error("a string", item); }))
        return false;
    out = std::move(text);
    return true;
}

bool raise_segmentation(const SegmentationError& e, PyObject* label) {
    switch (e.kind) {
        case SegmentationError::Kind::LabelMismatch:
            PyErr_SetString(PyExc_TypeError, "Data passed in is of hetergeneous types");
            break;
        case SegmentationError::Kind::LabelOutOfRange:
            // The label's own conversion sets its OverflowError.
            if (PyLong_AsLongLong(label) != -1 || !PyErr_Occurred())
                PyErr_SetString(PyExc_OverflowError, "int too big to convert");
            break;
        case SegmentationError::Kind::ItemOutOfRange:
            PyErr_Format(PyExc_OverflowError, "array item %llu is out of range for a signed 64-bit integer",
                         static_cast<unsigned long long>(e.item));
            break;
    }
    return false;
}

// The float values of a column of a dtype not read from the buffer, item by item
// with the float protocol.
bool copy_float_items(PyArrayObject* array, std::vector<double>& out) {
    out.clear();
    out.reserve(static_cast<std::size_t>(PyArray_DIM(array, 0)));
    return items::for_each_array_item(array, [&](PyObject* item) {
        double v;
        if (!items::read_double(item, v)) return false;
        out.push_back(v);
        return true;
    });
}

}  // namespace

bool apply_label(PyArrayObject* array, PyObject* label, ColumnLabelsPtr& out) {
    return apply_label(array, label, std::nullopt, out);
}

bool apply_label(PyArrayObject* array, PyObject* label, std::optional<bool> continuous, ColumnLabelsPtr& out) {
    ColumnView column;
    if (!classify_column(array, label, column)) return false;
    auto labels = segment(column, classify_label(label), distribution_type_heuristic(), continuous);
    if (!labels) return raise_segmentation(labels.error(), label);
    out = std::move(*labels);
    return true;
}

bool label_python_bias_explicit_seg(PyArrayObject* array, const std::optional<double>& threshold,
                                    const std::optional<std::string>& label,
                                    const std::optional<std::string>& threshold_type, ColumnLabelsPtr& out) {
    auto config_error = [] {
        PyErr_Clear();
        raise(BiasError::BiasConfigError);
        return false;
    };
    const auto rule = explicit_rule(threshold, label, threshold_type);
    if (!rule) return config_error();
    if (PyArray_NDIM(array) != 1) return config_error();  // items of other shapes do not convert
    if (const auto* by_threshold = std::get_if<ThresholdRule>(&*rule)) {
        // Each value is compared as a double, read from the buffer or, for other
        // dtypes, converted item by item into a copy first.
        if (visit_native(array, native_type(array), [&](auto column) {
                out = compare_column(column, by_threshold->threshold, by_threshold->type);
            }))
            return true;
        std::vector<double> values;
        if (!copy_float_items(array, values)) return config_error();
        out = stored_labels(label_by_comparison(Strided<double>::of(values), by_threshold->threshold,
                                                by_threshold->type));
        return true;
    }
    PyRef text(PyUnicode_DecodeUTF8(label->data(), static_cast<Py_ssize_t>(label->size()), "strict"));
    if (!text) return false;
    LabelSequence matches;
    if (!match_text_items(array, text.get(), matches, [](PyObject*) { return false; })) return config_error();
    out = stored_labels(std::move(matches));
    return true;
}

bool label_python_bias_explicit_seg(PyArrayObject* array, const std::optional<double>& threshold,
                                    const std::optional<std::string>& label,
                                    const std::optional<std::string>& threshold_type, LabelSequence& out) {
    ColumnLabelsPtr labels;
    if (!label_python_bias_explicit_seg(array, threshold, label, threshold_type, labels)) return false;
    out = labels->materialize();
    return true;
}

}  // namespace tarvenn
