// A column and its labelling rule, as the tarvenn helpers pass them to the
// accumulators. The rule is a tuple:
//   ("value", label, continuous)  the module's rule for a plain facet value: an
//                                 equality or a lower threshold, with continuity
//                                 given (decided over the whole column) or None
//                                 (decided from this array, as the module does);
//   ("compare", threshold, type)  explicit comparison, type "GreaterThan",
//                                 "GreaterThanEqualTo", "LessThan" or "LessThanEqualTo";
//   ("text", label)               explicit equality with a text label.
// The labels of a numeric column are a view of its buffer, read later without the
// interpreter lock; text columns are labelled here, with it.
#pragma once

#include "python/python.hpp"
#include "segmentation/segmentation.hpp"

namespace tarvenn::engine {

bool column_labels(PyObject* array, const char* param, PyObject* rule, ColumnLabelsPtr& out);

}  // namespace tarvenn::engine
