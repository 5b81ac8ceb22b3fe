#include "engine/state.hpp"

#include <cmath>
#include <limits>
#include <optional>

#include "core/state_format.hpp"
#include "python/exceptions.hpp"

namespace tarvenn::engine {
namespace {

using state::ClassTag;
using Reader = state::StateReader;
using Writer = state::StateWriter;

// a + b without wrapping, for counts that must add up.
bool add_checked(std::uint64_t& total, std::uint64_t v) {
    if (v > std::numeric_limits<std::uint64_t>::max() - total) return false;
    total += v;
    return true;
}

void put(Writer& w, const ConfusionMatrix& m) {
    w.u64(m.true_pos);
    w.u64(m.false_pos);
    w.u64(m.true_neg);
    w.u64(m.false_neg);
}

std::optional<ConfusionMatrix> get_matrix(Reader& r) {
    ConfusionMatrix m;
    m.true_pos = r.u64();
    m.false_pos = r.u64();
    m.true_neg = r.u64();
    m.false_neg = r.u64();
    std::uint64_t total = 0;
    if (!add_checked(total, m.true_pos) || !add_checked(total, m.false_pos) || !add_checked(total, m.true_neg) ||
        !add_checked(total, m.false_neg))
        return r.fail_field("confusion counts overflow"), std::nullopt;
    return m;
}

// The bin counts carry their length first.
void put_counts(Writer& w, const std::vector<std::uint64_t>& counts) {
    w.u64(counts.size());
    for (std::uint64_t c : counts) w.u64(c);
}

// Exactly one count per bin, adding up without overflow.
bool get_counts(Reader& r, std::vector<std::uint64_t>& counts) {
    const std::size_t n = r.count(8);
    if (!r.ok()) return false;
    if (n != counts.size()) return r.fail_field("the bin counts do not match the bins"), false;
    std::uint64_t total = 0;
    for (std::uint64_t& c : counts) {
        c = r.u64();
        if (!add_checked(total, c)) return r.fail_field("the bin counts overflow"), false;
    }
    return r.ok();
}

// --- readers: nullopt for any field out of its range -------------------------------------

std::optional<PreTrainingCounts> read_data_bias(Reader& r) {
    PreTrainingCounts c{r.u64(), r.u64(), r.u64(), r.u64()};
    std::uint64_t total = 0;
    if (c.facet_a_positive > c.facet_a_count || c.facet_d_positive > c.facet_d_count ||
        !add_checked(total, c.facet_a_count) || !add_checked(total, c.facet_d_count))
        return r.fail_field("data bias counts"), std::nullopt;
    return c;
}

std::optional<PostTrainingCounts> read_model_bias(Reader& r) {
    auto facet = get_matrix(r);
    auto rest = get_matrix(r);
    if (!facet || !rest) return std::nullopt;
    std::uint64_t total = facet->total();
    if (!add_checked(total, rest->total())) return r.fail_field("model bias cells overflow"), std::nullopt;
    return PostTrainingCounts{*facet, *rest};
}

std::optional<LogisticBatch> read_logistic(Reader& r) {
    const float threshold = r.f32();
    auto counts = get_matrix(r);
    const double sum = r.f64();
    const std::uint64_t rows = r.u64();
    if (!counts || counts->total() != rows) return r.fail_field("logistic counts do not add up to the rows"), std::nullopt;
    auto batch = LogisticBatch::restore(threshold, *counts, sum, rows);
    if (!batch) return r.fail_field("logistic clip bounds"), std::nullopt;
    return std::move(*batch);
}

std::optional<LinearRegressionErrorBuckets> read_regression(Reader& r) {
    LinearRegressionErrorBuckets b;
    for (double* field : {&b.squared_error_sum, &b.abs_error_sum, &b.max_abs_error, &b.squared_log_error_sum,
                          &b.abs_pct_error_sum, &b.y_true_sum, &b.pair_count, &b.y_true_sq_sum, &b.y_pred_sq_sum,
                          &b.y_true_pred_sum})
        *field = r.f64();
    // The pair count is a whole number that a double holds exactly.
    if (!(b.pair_count >= 0.0 && b.pair_count <= 9007199254740992.0 && std::floor(b.pair_count) == b.pair_count))
        return r.fail_field("regression pair count"), std::nullopt;
    return b;
}

// A baseline in the layout the batch detectors save, then one count per bin.
template <class Bins, class Baseline>
std::optional<Bins> read_bins(Reader& r) {
    auto baseline = Baseline::load_state(r);
    if (!baseline) return std::nullopt;
    auto bins = Bins::on(std::move(*baseline));
    if (!get_counts(r, bins.counts)) return std::nullopt;
    return bins;
}

std::optional<DistinctSample> read_distinct(Reader& r) {
    DistinctSample s;
    s.cap = r.u64();
    s.nan_count = r.u64();
    const std::size_t n = r.count(8);
    if (!r.ok()) return std::nullopt;
    if (n > s.cap || s.nan_count > s.cap - n) return r.fail_field("distinct values above their cap"), std::nullopt;
    s.keys.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        s.keys[i] = r.u64();
        if (i > 0 && !(s.keys[i - 1] < s.keys[i])) return r.fail_field("distinct values out of order"), std::nullopt;
    }
    return s;
}

PyObject* damaged(const state::StateError& e) {
    PyErr_SetString(PyExc_ValueError, e.message.c_str());
    return nullptr;
}

// An object of the module's class `name` holding `state`, when every field was
// valid and the whole payload was read.
template <class State>
PyObject* make(PyObject* module, const char* name, std::optional<State> state, const Reader& r) {
    if (auto done = r.finish(); !done) return damaged(done.error());
    if (!state) return damaged({state::StateError::Kind::FieldOutOfRange, "state field out of range"});
    PyRef type(PyObject_GetAttrString(module, name));
    if (!type) return nullptr;
    return box_new(reinterpret_cast<PyTypeObject*>(type.get()), Accumulator<State>(std::move(*state)));
}

constexpr Signature kLoad{nullptr, "load", {"data"}, 1,
                          "An accumulator read back from the bytes of its serialize(); ValueError for any\n"
                          "other bytes."};

PyObject* load(PyObject* module, PyObject* const* argv) {
    Py_buffer view;
    if (PyObject_GetBuffer(argv[0], &view, PyBUF_SIMPLE) < 0) return arg_conversion_failed("data"), nullptr;
    struct Release {
        Py_buffer* v;
        ~Release() { PyBuffer_Release(v); }
    } release{&view};
    const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(view.buf),
                                              static_cast<std::size_t>(view.len));
    auto tag = state::peek_class(bytes);
    if (!tag) return damaged(tag.error());
    auto reader = state::open_state(bytes, *tag);
    if (!reader) return damaged(reader.error());
    Reader& r = *reader;
    switch (*tag) {
        case ClassTag::DataBiasCounts: return make(module, "DataBiasCounts", read_data_bias(r), r);
        case ClassTag::ModelBiasCells: return make(module, "ModelBiasCells", read_model_bias(r), r);
        case ClassTag::ClassificationCounts: return make(module, "ClassificationCounts", get_matrix(r), r);
        case ClassTag::LogisticCounts: return make(module, "LogisticCounts", read_logistic(r), r);
        case ClassTag::RegressionSums: return make(module, "RegressionSums", read_regression(r), r);
        case ClassTag::ContinuousBinCounts: return make(module, "ContinuousBinCounts", read_bins<ContinuousBins, drift::BaselineContinuousBins>(r), r);
        case ClassTag::CategoricalBinCounts: return make(module, "CategoricalBinCounts", read_bins<CategoricalBins, drift::BaselineCategoricalBins>(r), r);
        case ClassTag::DistinctValues: return make(module, "DistinctValues", read_distinct(r), r);
        default: break;
    }
    return damaged({state::StateError::Kind::WrongClass,
                    "state is for class " + std::string(state::class_name(static_cast<std::uint16_t>(*tag)).value_or("?")) +
                        ", not an accumulator of tarvenn._engine"});
}

}  // namespace

// --- writers ---------------------------------------------------------------------------

std::vector<std::uint8_t> to_bytes(const PreTrainingCounts& s) {
    Writer w(ClassTag::DataBiasCounts);
    w.u64(s.facet_a_positive);
    w.u64(s.facet_a_count);
    w.u64(s.facet_d_positive);
    w.u64(s.facet_d_count);
    return std::move(w).finish();
}

std::vector<std::uint8_t> to_bytes(const PostTrainingCounts& s) {
    Writer w(ClassTag::ModelBiasCells);
    put(w, s.facet);
    put(w, s.rest);
    return std::move(w).finish();
}

std::vector<std::uint8_t> to_bytes(const ConfusionMatrix& s) {
    Writer w(ClassTag::ClassificationCounts);
    put(w, s);
    return std::move(w).finish();
}

std::vector<std::uint8_t> to_bytes(const LogisticBatch& s) {
    Writer w(ClassTag::LogisticCounts);
    w.f32(s.threshold());
    put(w, s.counts());
    w.f64(s.log_loss_sum());
    w.u64(s.rows());
    return std::move(w).finish();
}

std::vector<std::uint8_t> to_bytes(const LinearRegressionErrorBuckets& b) {
    Writer w(ClassTag::RegressionSums);
    for (double v : {b.squared_error_sum, b.abs_error_sum, b.max_abs_error, b.squared_log_error_sum,
                     b.abs_pct_error_sum, b.y_true_sum, b.pair_count, b.y_true_sq_sum, b.y_pred_sq_sum,
                     b.y_true_pred_sum})
        w.f64(v);
    return std::move(w).finish();
}

std::vector<std::uint8_t> to_bytes(const ContinuousBins& s) {
    Writer w(ClassTag::ContinuousBinCounts);
    s.baseline->save_state(w);
    put_counts(w, s.counts);
    return std::move(w).finish();
}

std::vector<std::uint8_t> to_bytes(const CategoricalBins& s) {
    Writer w(ClassTag::CategoricalBinCounts);
    s.baseline->save_state(w);
    put_counts(w, s.counts);
    return std::move(w).finish();
}

std::vector<std::uint8_t> to_bytes(const DistinctSample& s) {
    Writer w(ClassTag::DistinctValues);
    w.u64(s.cap);
    w.u64(s.nan_count);
    w.u64(s.keys.size());
    for (std::uint64_t k : s.keys) w.u64(k);
    return std::move(w).finish();
}

const FunctionBinding load_binding = make_binding<kLoad, load>();

}  // namespace tarvenn::engine
