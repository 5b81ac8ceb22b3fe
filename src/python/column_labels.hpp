// Segmentation arguments: each column and its label are classified once into
// the typed views of segmentation/segment.hpp, and the core's segment() or
// explicit_rule() decides the labels. Every function returns false with a Python
// exception set on failure.
#pragma once

#include <optional>
#include <string>

#include "python/python.hpp"
#include "segmentation/segment.hpp"

namespace tarvenn {

// Label by one value: equality or lower threshold, chosen from the column's dtype
// and the distribution-type heuristic. Numeric columns are labelled on demand from
// the array's buffer (see segmentation.hpp for the lifetime of that view).
bool apply_label(PyArrayObject* array, PyObject* label_or_threshold, ColumnLabelsPtr& out);
// The same with the continuity of a numeric column given (decided over a whole
// column split into parts) rather than decided from this array; nullopt decides.
bool apply_label(PyArrayObject* array, PyObject* label_or_threshold, std::optional<bool> continuous,
                 ColumnLabelsPtr& out);

// Label by an explicit threshold and comparison type, or by a text label. Every
// failure is BiasError::BiasConfigError (ValueError "Invalid bias configuration").
bool label_python_bias_explicit_seg(PyArrayObject* array, const std::optional<double>& threshold,
                                    const std::optional<std::string>& label,
                                    const std::optional<std::string>& threshold_type, LabelSequence& out);
// The same labels, with a threshold on a native numeric array compared on demand
// from its buffer instead of copied (the labels then view the array).
bool label_python_bias_explicit_seg(PyArrayObject* array, const std::optional<double>& threshold,
                                    const std::optional<std::string>& label,
                                    const std::optional<std::string>& threshold_type, ColumnLabelsPtr& out);

}  // namespace tarvenn
