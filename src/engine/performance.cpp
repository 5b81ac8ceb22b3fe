// The accumulators of model performance: confusion counts of hard labels, the
// thresholded counts with the log-loss sum of logistic regression, and the error
// sums of linear regression. Columns are read as 32-bit floats block by block, as
// the batch functions read them.
#include <bit>
#include <cstring>

#include "engine/accumulator.hpp"
#include "engine/engine.hpp"
#include "engine/state.hpp"
#include "model_perf/metrics.hpp"
#include "python/conversions.hpp"
#include "python/exceptions.hpp"
#include "python/f32_blocks.hpp"
#include "python/report_dicts.hpp"

namespace tarvenn::engine {
namespace {

using Kind = ModelPerformanceError::Kind;

// The two columns of an add: NumPy arrays that convert to 32-bit floats (y_true
// first), as the batch functions convert them.
bool numpy_args(PyObject* const* argv, PyArrayObject*& y_true, PyArrayObject*& y_pred) {
    return to_numpy_array(argv[0], "y_true", y_true) && to_numpy_array(argv[1], "y_pred", y_pred);
}

bool f32_columns(PyArrayObject* y_true, PyArrayObject* y_pred, F32Column& t, F32Column& p) {
    return to_f32_column(y_true, t) && to_f32_column(y_pred, p);
}

bool same_length(const F32Column& a, const F32Column& b) {
    if (a.size == b.size) return true;
    raise(ModelPerformanceError::of(Kind::DataVectorLengthMismatch));
    return false;
}

// Reads both columns block by block without the interpreter lock.
template <class F>
void read_blocks(const F32Column& y_true, const F32Column& y_pred, F&& f) {
    without_gil([&] { for_each_f32_block_pair(y_true, y_pred, f); });
}

// --- ClassificationCounts ------------------------------------------------------------

constexpr const char* kClassification = "ClassificationCounts";
using ClassificationAcc = Accumulator<ConfusionMatrix>;

constexpr Signature kClassificationNew{kClassification, "__new__", {}, 0,
                                       "Confusion counts of hard labels (a value is positive when it equals 1)."};

PyObject* classification_new(PyTypeObject* type, PyObject* const*) {
    return box_new(type, ClassificationAcc(ConfusionMatrix{}));
}

constexpr Signature kClassificationAdd{kClassification, "add", {"y_true", "y_pred"}, 2, "Count the pairs of two columns."};

PyObject* classification_add(PyObject* self, PyObject* const* argv) {
    auto& acc = accumulator_of<ConfusionMatrix>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    PyArrayObject *y_true, *y_pred;
    F32Column yt, yp;
    if (!numpy_args(argv, y_true, y_pred) || !f32_columns(y_true, y_pred, yt, yp) || !same_length(yt, yp))
        return nullptr;
    PyRef hold_t = PyRef::borrow(argv[0]), hold_p = PyRef::borrow(argv[1]);
    ConfusionMatrix counts;
    read_blocks(yt, yp, [&](auto t, auto p) { counts.add(count_hard_labels(t, p)); });
    acc.state.add(counts);
    Py_RETURN_NONE;
}

bool merge_classification(ConfusionMatrix& into, const ConfusionMatrix& other) {
    into.add(other);
    return true;
}

constexpr Signature kClassificationMerge{kClassification, "merge", {"other"}, 1, "Add the counts of another accumulator."};

constexpr Signature kClassificationSerialize{kClassification, "serialize", {}, 0, "The accumulator as bytes, for load()."};

constexpr Signature kClassificationFinish{kClassification, "finish", {}, 0,
                                          "The metrics of the counted pairs, as the batch function gives them."};

PyObject* classification_finish(PyObject* self, PyObject* const*) {
    auto& acc = accumulator_of<ConfusionMatrix>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    return report_to_py_dict(classification_from_counts(acc.state).to_map());
}

PyObject* classification_rows(PyObject* self, void*) {
    return PyLong_FromUnsignedLongLong(accumulator_of<ConfusionMatrix>(self).state.total());
}

// --- LogisticCounts ------------------------------------------------------------------

constexpr const char* kLogistic = "LogisticCounts";
using LogisticAcc = Accumulator<LogisticBatch>;

constexpr Signature kLogisticNew{kLogistic, "__new__", {"threshold"}, 1,
                                 "Counts by threshold and the log-loss sum of logistic regression."};

PyObject* logistic_new(PyTypeObject* type, PyObject* const* argv) {
    float threshold;
    if (!to_f32(argv[0], "threshold", threshold)) return nullptr;
    auto batch = LogisticBatch::open(threshold);
    if (!batch) return raise(batch.error());
    return box_new(type, LogisticAcc(std::move(*batch)));
}

constexpr Signature kLogisticAdd{kLogistic, "add", {"y_true", "y_pred"}, 2, "Count the pairs of two columns."};

PyObject* logistic_add(PyObject* self, PyObject* const* argv) {
    auto& acc = accumulator_of<LogisticBatch>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    PyArrayObject *y_true, *y_pred;
    F32Column yt, yp;
    if (!numpy_args(argv, y_true, y_pred) || !f32_columns(y_true, y_pred, yt, yp) || !same_length(yt, yp))
        return nullptr;
    PyRef hold_t = PyRef::borrow(argv[0]), hold_p = PyRef::borrow(argv[1]);
    // The sums continue in row order, so that consecutive adds give the sums of
    // one batch call over the rows they hold together.
    read_blocks(yt, yp, [&](auto t, auto p) { acc.state.add(t, p); });
    Py_RETURN_NONE;
}

bool merge_logistic(LogisticBatch& into, const LogisticBatch& other) {
    if (std::bit_cast<std::uint32_t>(into.threshold()) != std::bit_cast<std::uint32_t>(other.threshold())) {
        PyErr_SetString(PyExc_ValueError, "cannot merge accumulators with different thresholds");
        return false;
    }
    into.merge(other);
    return true;
}

constexpr Signature kLogisticMerge{kLogistic, "merge", {"other"}, 1,
                                   "Add the counts and the log-loss sum of another accumulator."};

constexpr Signature kLogisticSerialize{kLogistic, "serialize", {}, 0, "The accumulator as bytes, for load()."};

constexpr Signature kLogisticFinish{kLogistic, "finish", {}, 0,
                                    "The metrics of the counted pairs, as the batch function gives them."};

PyObject* logistic_finish(PyObject* self, PyObject* const*) {
    auto& acc = accumulator_of<LogisticBatch>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    const auto record = acc.state.finish();
    if (!record) return raise(record.error());
    return report_to_py_dict(record->to_map());
}

PyObject* logistic_rows(PyObject* self, void*) {
    return PyLong_FromUnsignedLongLong(accumulator_of<LogisticBatch>(self).state.rows());
}

// --- RegressionSums ------------------------------------------------------------------

constexpr const char* kRegression = "RegressionSums";
using RegressionAcc = Accumulator<LinearRegressionErrorBuckets>;

constexpr Signature kRegressionNew{kRegression, "__new__", {}, 0, "Error sums of linear regression."};

PyObject* regression_new(PyTypeObject* type, PyObject* const*) {
    return box_new(type, RegressionAcc(LinearRegressionErrorBuckets{}));
}

constexpr Signature kRegressionAdd{kRegression, "add", {"y_true", "y_pred"}, 2, "Add the pairs of two columns."};

PyObject* regression_add(PyObject* self, PyObject* const* argv) {
    auto& acc = accumulator_of<LinearRegressionErrorBuckets>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    PyArrayObject *y_true, *y_pred;
    F32Column yt, yp;
    if (!numpy_args(argv, y_true, y_pred)) return nullptr;
    if (!f32_columns(y_true, y_pred, yt, yp)) {
        // As the batch function: every conversion failure is reported alike.
        PyErr_Clear();
        PyErr_SetString(PyExc_ValueError, "Invalid types passed");
        return nullptr;
    }
    if (!same_length(yt, yp)) return nullptr;
    PyRef hold_t = PyRef::borrow(argv[0]), hold_p = PyRef::borrow(argv[1]);
    read_blocks(yt, yp, [&](auto t, auto p) { acc.state.push_all(t, p); });
    Py_RETURN_NONE;
}

bool merge_regression(LinearRegressionErrorBuckets& into, const LinearRegressionErrorBuckets& other) {
    into.merge(other);
    return true;
}

constexpr Signature kRegressionMerge{kRegression, "merge", {"other"}, 1, "Add the sums of another accumulator."};

constexpr Signature kRegressionSerialize{kRegression, "serialize", {}, 0, "The accumulator as bytes, for load()."};

constexpr Signature kRegressionFinish{kRegression, "finish", {}, 0,
                                      "The metrics of the added pairs, as the batch function gives them."};

PyObject* regression_finish(PyObject* self, PyObject* const*) {
    auto& acc = accumulator_of<LinearRegressionErrorBuckets>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    if (acc.state.pair_count == 0.0) return raise(ModelPerformanceError::of(Kind::EmptyDataVector));
    return report_to_py_dict(acc.state.batch_metrics().to_map());
}

PyObject* regression_rows(PyObject* self, void*) {
    return PyLong_FromDouble(accumulator_of<LinearRegressionErrorBuckets>(self).state.pair_count);
}

}  // namespace

bool add_ClassificationCounts(PyObject* module) {
    static ClassBinding binding = class_binding<ClassificationAcc, kClassificationNew, classification_new>(
        {
            make_binding<kClassificationAdd, classification_add>(),
            make_binding<kClassificationMerge, merge_method<ConfusionMatrix, merge_classification>>(),
            make_binding<kClassificationSerialize, serialize_method<ConfusionMatrix>>(),
            make_binding<kClassificationFinish, classification_finish>(),
        },
        {{"rows", classification_rows, "Pairs counted."}});
    return add_class(module, binding);
}

bool add_LogisticCounts(PyObject* module) {
    static ClassBinding binding = class_binding<LogisticAcc, kLogisticNew, logistic_new>(
        {
            make_binding<kLogisticAdd, logistic_add>(),
            make_binding<kLogisticMerge, merge_method<LogisticBatch, merge_logistic>>(),
            make_binding<kLogisticSerialize, serialize_method<LogisticBatch>>(),
            make_binding<kLogisticFinish, logistic_finish>(),
        },
        {{"rows", logistic_rows, "Pairs counted."}});
    return add_class(module, binding);
}

bool add_RegressionSums(PyObject* module) {
    static ClassBinding binding = class_binding<RegressionAcc, kRegressionNew, regression_new>(
        {
            make_binding<kRegressionAdd, regression_add>(),
            make_binding<kRegressionMerge, merge_method<LinearRegressionErrorBuckets, merge_regression>>(),
            make_binding<kRegressionSerialize, serialize_method<LinearRegressionErrorBuckets>>(),
            make_binding<kRegressionFinish, regression_finish>(),
        },
        {{"rows", regression_rows, "Pairs added."}});
    return add_class(module, binding);
}

}  // namespace tarvenn::engine
