// The accumulators of the two bias analyses: the four pre-training counts, and the
// eight (facet, predicted, observed) cells from which the model bias metrics and
// their generalized entropy follow.
#include "data_bias/core.hpp"
#include "engine/accumulator.hpp"
#include "engine/engine.hpp"
#include "engine/state.hpp"
#include "engine/rules.hpp"
#include "model_bias/core.hpp"
#include "python/exceptions.hpp"
#include "python/report_dicts.hpp"

namespace tarvenn::engine {
namespace {

// --- DataBiasCounts ------------------------------------------------------------------

using DataBiasAcc = Accumulator<PreTrainingCounts>;

constexpr Signature kDataBiasNew{"DataBiasCounts", "__new__", {}, 0,
                                 "Facet and positive-outcome counts of the data bias analysis."};

PyObject* data_bias_new(PyTypeObject* type, PyObject* const*) { return box_new(type, DataBiasAcc(PreTrainingCounts{})); }

constexpr Signature kDataBiasAdd{"DataBiasCounts", "add", {"feature", "feature_rule", "ground_truth", "ground_truth_rule"}, 4,
                                 "Count the rows of two columns, each labelled by its rule."};

PyObject* data_bias_add(PyObject* self, PyObject* const* argv) {
    auto& acc = accumulator_of<PreTrainingCounts>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    PyRef hold_f = PyRef::borrow(argv[0]), hold_g = PyRef::borrow(argv[2]);
    ColumnLabelsPtr truth, feature;
    if (!column_labels(argv[2], "ground_truth", argv[3], truth) || !column_labels(argv[0], "feature", argv[1], feature))
        return nullptr;
    if (feature->size() != truth->size()) return raise(BiasError::DataLengthError);
    PreTrainingCounts counts;
    without_gil([&] { counts = count_pre_training(*feature, *truth); });
    acc.state.add(counts);
    Py_RETURN_NONE;
}

constexpr Signature kDataBiasMerge{"DataBiasCounts", "merge", {"other"}, 1, "Add the counts of another accumulator."};

constexpr Signature kDataBiasSerialize{"DataBiasCounts", "serialize", {}, 0, "The accumulator as bytes, for load()."};

bool merge_data_bias(PreTrainingCounts& into, const PreTrainingCounts& other) {
    into.add(other);
    return true;
}

constexpr Signature kDataBiasFinish{"DataBiasCounts", "finish", {}, 0,
                                    "The metrics of the counted rows, as the batch analysis gives them."};

PyObject* data_bias_finish(PyObject* self, PyObject* const*) {
    auto& acc = accumulator_of<PreTrainingCounts>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    auto result = data_bias_from_counts(acc.state);
    if (!result) return raise(result.error());
    return report_to_py_dict(*result);
}

PyObject* data_bias_rows(PyObject* self, void*) {
    return PyLong_FromUnsignedLongLong(accumulator_of<PreTrainingCounts>(self).state.rows());
}

PyObject* data_bias_counts(PyObject* self, void*) {
    const auto& c = accumulator_of<PreTrainingCounts>(self).state;
    return Py_BuildValue("(KKKK)", static_cast<unsigned long long>(c.facet_a_positive),
                         static_cast<unsigned long long>(c.facet_a_count),
                         static_cast<unsigned long long>(c.facet_d_positive),
                         static_cast<unsigned long long>(c.facet_d_count));
}

// --- ModelBiasCells ------------------------------------------------------------------

using ModelBiasAcc = Accumulator<PostTrainingCounts>;

constexpr Signature kModelBiasNew{"ModelBiasCells", "__new__", {}, 0,
                                  "Confusion counts of the facet and of the rest for the model bias analysis."};

PyObject* model_bias_new(PyTypeObject* type, PyObject* const*) {
    return box_new(type, ModelBiasAcc(PostTrainingCounts{}));
}

constexpr Signature kModelBiasAdd{"ModelBiasCells", "add",
                                  {"feature", "feature_rule", "ground_truth", "ground_truth_rule", "prediction",
                                   "prediction_rule"},
                                  6, "Count the rows of three columns, each labelled by its rule."};

PyObject* model_bias_add(PyObject* self, PyObject* const* argv) {
    auto& acc = accumulator_of<PostTrainingCounts>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    PyRef hold_f = PyRef::borrow(argv[0]), hold_g = PyRef::borrow(argv[2]), hold_p = PyRef::borrow(argv[4]);
    ColumnLabelsPtr prediction, truth, feature;
    if (!column_labels(argv[4], "prediction", argv[5], prediction) ||
        !column_labels(argv[2], "ground_truth", argv[3], truth) ||
        !column_labels(argv[0], "feature", argv[1], feature))
        return nullptr;
    if (prediction->size() != feature->size() || truth->size() != feature->size())
        return raise(BiasError::DataLengthError);
    SampleCells cells{};
    without_gil([&] { cells = count_label_cells(*feature, *prediction, *truth); });
    acc.state.add_cells(cells);
    Py_RETURN_NONE;
}

constexpr Signature kModelBiasMerge{"ModelBiasCells", "merge", {"other"}, 1, "Add the cells of another accumulator."};

constexpr Signature kModelBiasSerialize{"ModelBiasCells", "serialize", {}, 0, "The accumulator as bytes, for load()."};

bool merge_model_bias(PostTrainingCounts& into, const PostTrainingCounts& other) {
    into.add(other);
    return true;
}

constexpr Signature kModelBiasFinish{"ModelBiasCells", "finish", {}, 0,
                                     "The metrics of the counted rows, as the batch analysis gives them."};

PyObject* model_bias_finish(PyObject* self, PyObject* const*) {
    auto& acc = accumulator_of<PostTrainingCounts>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    auto record = DiscretePostTraining::from_counts(acc.state);
    if (!record) return raise(record.error());
    auto metrics = post_training_bias(*record);
    if (!metrics) return raise(metrics.error());
    return report_to_py_dict(*metrics);
}

PyObject* model_bias_rows(PyObject* self, void*) {
    return PyLong_FromUnsignedLongLong(accumulator_of<PostTrainingCounts>(self).state.samples());
}

}  // namespace

bool add_DataBiasCounts(PyObject* module) {
    static ClassBinding binding = class_binding<DataBiasAcc, kDataBiasNew, data_bias_new>(
        {
            make_binding<kDataBiasAdd, data_bias_add>(),
            make_binding<kDataBiasMerge, merge_method<PreTrainingCounts, merge_data_bias>>(),
            make_binding<kDataBiasSerialize, serialize_method<PreTrainingCounts>>(),
            make_binding<kDataBiasFinish, data_bias_finish>(),
        },
        {{"rows", data_bias_rows, "Rows counted."},
         {"counts", data_bias_counts, "(facet positives, facet rows, rest positives, rest rows)."}});
    return add_class(module, binding);
}

bool add_ModelBiasCells(PyObject* module) {
    static ClassBinding binding = class_binding<ModelBiasAcc, kModelBiasNew, model_bias_new>(
        {
            make_binding<kModelBiasAdd, model_bias_add>(),
            make_binding<kModelBiasMerge, merge_method<PostTrainingCounts, merge_model_bias>>(),
            make_binding<kModelBiasSerialize, serialize_method<PostTrainingCounts>>(),
            make_binding<kModelBiasFinish, model_bias_finish>(),
        },
        {{"rows", model_bias_rows, "Rows counted."}});
    return add_class(module, binding);
}

}  // namespace tarvenn::engine
