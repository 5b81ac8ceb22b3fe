#include "engine/state.hpp"

#include <cmath>
#include <limits>
#include <optional>

#include "engine/wire.hpp"
#include "python/exceptions.hpp"

namespace tarvenn::engine {
namespace {

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
        return std::nullopt;
    return m;
}

void put_doubles(Writer& w, const std::vector<double>& v) {
    for (double x : v) w.f64(x);
}

std::optional<std::vector<double>> get_doubles(Reader& r, std::uint64_t n) {
    if (!r.has(n, 8)) return std::nullopt;
    std::vector<double> v(n);
    for (double& x : v) x = r.f64();
    return v;
}

void put_counts(Writer& w, const std::vector<std::uint64_t>& counts) {
    for (std::uint64_t c : counts) w.u64(c);
}

bool get_counts(Reader& r, std::vector<std::uint64_t>& counts) {
    if (!r.has(counts.size(), 8)) return false;
    std::uint64_t total = 0;
    for (std::uint64_t& c : counts) {
        c = r.u64();
        if (!add_checked(total, c)) return false;
    }
    return r.ok();
}

// --- readers: nullopt for any field out of its range -------------------------------------

std::optional<PreTrainingCounts> read_data_bias(Reader& r) {
    PreTrainingCounts c{r.u64(), r.u64(), r.u64(), r.u64()};
    std::uint64_t total = 0;
    if (c.facet_a_positive > c.facet_a_count || c.facet_d_positive > c.facet_d_count ||
        !add_checked(total, c.facet_a_count) || !add_checked(total, c.facet_d_count))
        return std::nullopt;
    return c;
}

std::optional<PostTrainingCounts> read_model_bias(Reader& r) {
    auto facet = get_matrix(r);
    auto rest = get_matrix(r);
    if (!facet || !rest) return std::nullopt;
    std::uint64_t total = facet->total();
    if (!add_checked(total, rest->total())) return std::nullopt;
    return PostTrainingCounts{*facet, *rest};
}

std::optional<LogisticBatch> read_logistic(Reader& r) {
    const float threshold = r.f32();
    auto counts = get_matrix(r);
    const double sum = r.f64();
    const std::uint64_t rows = r.u64();
    if (!counts || counts->total() != rows) return std::nullopt;
    auto batch = LogisticBatch::restore(threshold, *counts, sum, rows);
    if (!batch) return std::nullopt;
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
        return std::nullopt;
    return b;
}

std::optional<ContinuousBins> read_continuous(Reader& r) {
    const std::uint8_t rule = r.u8();
    const std::uint32_t n_bins = r.u32();
    const std::uint64_t n_edges = r.u64();
    if (rule > static_cast<std::uint8_t>(drift::QuantileType::Sturges) || n_bins > drift::kMaxBins ||
        n_edges > n_bins)
        return std::nullopt;
    auto edges = get_doubles(r, n_edges);
    if (!edges) return std::nullopt;
    auto hist = get_doubles(r, n_bins);
    if (!hist) return std::nullopt;
    auto baseline = drift::BaselineContinuousBins::restore(static_cast<drift::QuantileType>(rule), n_bins,
                                                           std::move(*edges), std::move(*hist));
    if (!baseline) return std::nullopt;
    auto bins = ContinuousBins::on(std::move(*baseline));
    if (!get_counts(r, bins.counts)) return std::nullopt;
    return bins;
}

std::optional<CategoricalBins> read_categorical(Reader& r) {
    const std::uint64_t n_labels = r.u64();
    if (!r.has(n_labels, 8)) return std::nullopt;  // each label takes at least its length field
    std::vector<std::string> labels;
    labels.reserve(n_labels);
    for (std::uint64_t i = 0; i < n_labels && r.ok(); ++i) labels.push_back(r.text());
    auto hist = get_doubles(r, n_labels + 1);
    if (!r.ok() || !hist) return std::nullopt;
    auto baseline = drift::BaselineCategoricalBins::restore(std::move(labels), std::move(*hist));
    if (!baseline) return std::nullopt;
    auto bins = CategoricalBins::on(std::move(*baseline));
    if (!get_counts(r, bins.counts)) return std::nullopt;
    return bins;
}

std::optional<DistinctSample> read_distinct(Reader& r) {
    DistinctSample s;
    s.cap = r.u64();
    s.nan_count = r.u64();
    const std::uint64_t n = r.u64();
    if (!r.has(n, 8) || n > s.cap || s.nan_count > s.cap - n) return std::nullopt;
    s.keys.resize(n);
    for (std::uint64_t i = 0; i < n; ++i) {
        s.keys[i] = r.u64();
        if (i > 0 && !(s.keys[i - 1] < s.keys[i])) return std::nullopt;
    }
    return s;
}

bool damaged() {
    PyErr_SetString(PyExc_ValueError, "not a tarvenn accumulator state, or a damaged one");
    return false;
}

// An object of the module's class `name` holding `state`, when the reader used
// exactly the whole payload.
template <class State>
PyObject* make(PyObject* module, const char* name, std::optional<State> state, const Reader& r) {
    if (!state || !r.done()) return damaged(), nullptr;
    PyRef type(PyObject_GetAttrString(module, name));
    if (!type) return nullptr;
    if (!PyType_Check(type.get())) return damaged(), nullptr;
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
    const std::span<const unsigned char> bytes(static_cast<const unsigned char*>(view.buf),
                                               static_cast<std::size_t>(view.len));
    auto reader = Reader::open(bytes);
    if (!reader) return damaged(), nullptr;
    Reader& r = *reader;
    switch (r.tag()) {
        case StateTag::DataBiasCounts: return make(module, "DataBiasCounts", read_data_bias(r), r);
        case StateTag::ModelBiasCells: return make(module, "ModelBiasCells", read_model_bias(r), r);
        case StateTag::ClassificationCounts: return make(module, "ClassificationCounts", get_matrix(r), r);
        case StateTag::LogisticCounts: return make(module, "LogisticCounts", read_logistic(r), r);
        case StateTag::RegressionSums: return make(module, "RegressionSums", read_regression(r), r);
        case StateTag::ContinuousBinCounts: return make(module, "ContinuousBinCounts", read_continuous(r), r);
        case StateTag::CategoricalBinCounts: return make(module, "CategoricalBinCounts", read_categorical(r), r);
        case StateTag::DistinctValues: return make(module, "DistinctValues", read_distinct(r), r);
    }
    return damaged(), nullptr;
}

}  // namespace

// --- writers ---------------------------------------------------------------------------

std::vector<unsigned char> to_bytes(const PreTrainingCounts& s) {
    Writer w(StateTag::DataBiasCounts);
    w.u64(s.facet_a_positive);
    w.u64(s.facet_a_count);
    w.u64(s.facet_d_positive);
    w.u64(s.facet_d_count);
    return w.finish();
}

std::vector<unsigned char> to_bytes(const PostTrainingCounts& s) {
    Writer w(StateTag::ModelBiasCells);
    put(w, s.facet);
    put(w, s.rest);
    return w.finish();
}

std::vector<unsigned char> to_bytes(const ConfusionMatrix& s) {
    Writer w(StateTag::ClassificationCounts);
    put(w, s);
    return w.finish();
}

std::vector<unsigned char> to_bytes(const LogisticBatch& s) {
    Writer w(StateTag::LogisticCounts);
    w.f32(s.threshold());
    put(w, s.counts());
    w.f64(s.log_loss_sum());
    w.u64(s.rows());
    return w.finish();
}

std::vector<unsigned char> to_bytes(const LinearRegressionErrorBuckets& b) {
    Writer w(StateTag::RegressionSums);
    for (double v : {b.squared_error_sum, b.abs_error_sum, b.max_abs_error, b.squared_log_error_sum,
                     b.abs_pct_error_sum, b.y_true_sum, b.pair_count, b.y_true_sq_sum, b.y_pred_sq_sum,
                     b.y_true_pred_sum})
        w.f64(v);
    return w.finish();
}

std::vector<unsigned char> to_bytes(const ContinuousBins& s) {
    Writer w(StateTag::ContinuousBinCounts);
    const auto& b = *s.baseline;
    w.u8(static_cast<std::uint8_t>(b.quantile_type()));
    w.u32(b.n_bins());
    w.u64(b.bin_edges().size());
    put_doubles(w, b.bin_edges());
    put_doubles(w, b.baseline_hist());
    put_counts(w, s.counts);
    return w.finish();
}

std::vector<unsigned char> to_bytes(const CategoricalBins& s) {
    Writer w(StateTag::CategoricalBinCounts);
    const auto& labels = s.baseline->label_index();
    w.u64(labels.size());
    for (std::size_t i = 0; i < labels.size(); ++i) w.text(labels.label(i));
    put_doubles(w, s.baseline->baseline_hist());
    put_counts(w, s.counts);
    return w.finish();
}

std::vector<unsigned char> to_bytes(const DistinctSample& s) {
    Writer w(StateTag::DistinctValues);
    w.u64(s.cap);
    w.u64(s.nan_count);
    w.u64(s.keys.size());
    for (std::uint64_t k : s.keys) w.u64(k);
    return w.finish();
}

const FunctionBinding load_binding = make_binding<kLoad, load>();

}  // namespace tarvenn::engine
