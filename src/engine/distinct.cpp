// Continuity of a plain facet value decided over a column split into parts, as
// the module decides it on the whole column: the row count fixes the smallest
// distinct count D that makes the column continuous; each part collects its
// distinct values up to D; the merged set reaches D exactly when the column has
// D distinct values.
#include "engine/accumulator.hpp"
#include "engine/engine.hpp"
#include "engine/state.hpp"
#include "python/conversions.hpp"
#include "python/numpy_dtype.hpp"

namespace tarvenn::engine {
namespace {

// How the module's segmentation reads an array's items: numbers (float or
// integer dtypes, native byte order), bools, or anything else, read as text.
enum class ElementKind : std::uint8_t { Float, Integer, Boolean, Other };

ElementKind element_kind_of(PyArrayObject* array) {
    const NativeType type = native_type(array);
    if (type == NativeType::F64 || type == NativeType::F32) return ElementKind::Float;
    if (is_integer(type)) return ElementKind::Integer;
    if (type == NativeType::Bool) return ElementKind::Boolean;
    return ElementKind::Other;
}

constexpr const char* kDistinct = "DistinctValues";
using DistinctAcc = Accumulator<DistinctSample>;

constexpr Signature kDistinctNew{kDistinct, "__new__", {"cap"}, 1,
                                 "Distinct values of a numeric column, collected up to `cap`."};

PyObject* distinct_new(PyTypeObject* type, PyObject* const* argv) {
    std::optional<std::uint64_t> cap;
    if (!to_optional_u64(argv[0], "cap", cap)) return nullptr;
    DistinctSample sample;
    sample.cap = cap.value_or(0);
    return box_new(type, DistinctAcc(std::move(sample)));
}

constexpr Signature kDistinctAdd{kDistinct, "add", {"values"}, 1,
                                 "Collect the distinct values of a one-dimensional numeric array."};

PyObject* distinct_add(PyObject* self, PyObject* const* argv) {
    auto& acc = accumulator_of<DistinctSample>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    PyArrayObject* array;
    if (!to_numpy_array(argv[0], "values", array)) return nullptr;
    const ElementKind kind = element_kind_of(array);
    if (PyArray_NDIM(array) != 1 || (kind != ElementKind::Float && kind != ElementKind::Integer)) {
        PyErr_SetString(PyExc_TypeError, "argument 'values': expected a one-dimensional numeric array");
        return nullptr;
    }
    PyRef hold = PyRef::borrow(argv[0]);
    without_gil([&] { visit_native(array, native_type(array), [&](auto column) { collect_distinct(column, acc.state); }); });
    Py_RETURN_NONE;
}

bool merge_distinct(DistinctSample& into, const DistinctSample& other) {
    if (into.cap != other.cap) {
        PyErr_SetString(PyExc_ValueError, "cannot merge distinct values collected with different caps");
        return false;
    }
    into.merge(other);
    return true;
}

constexpr Signature kDistinctMerge{kDistinct, "merge", {"other"}, 1, "Add the values of another collection."};

constexpr Signature kDistinctSerialize{kDistinct, "serialize", {}, 0, "The accumulator as bytes, for load()."};

PyObject* distinct_count(PyObject* self, void*) {
    return PyLong_FromUnsignedLongLong(accumulator_of<DistinctSample>(self).state.count());
}

PyObject* distinct_cap(PyObject* self, void*) {
    return PyLong_FromUnsignedLongLong(accumulator_of<DistinctSample>(self).state.cap);
}

PyObject* distinct_saturated(PyObject* self, void*) {
    return PyBool_FromLong(accumulator_of<DistinctSample>(self).state.saturated());
}

// --- module functions ---------------------------------------------------------------

constexpr Signature kContinuousCount{nullptr, "continuous_distinct_count", {"rows"}, 1,
                                     "The smallest distinct count that makes a numeric column of `rows` values\n"
                                     "continuous under the process's distribution-type heuristic, or 0 when none does."};

PyObject* continuous_count(PyObject*, PyObject* const* argv) {
    std::optional<std::uint64_t> rows;
    if (!to_optional_u64(argv[0], "rows", rows)) return nullptr;
    return PyLong_FromSize_t(continuous_distinct_count(rows.value_or(0), distribution_type_heuristic()));
}

constexpr Signature kElementKind{nullptr, "element_kind", {"array"}, 1,
                                 "How the module classifies an array's items: \"float\", \"integer\", \"boolean\" or\n"
                                 "\"other\"."};

PyObject* element_kind(PyObject*, PyObject* const* argv) {
    PyArrayObject* array;
    if (!to_numpy_array(argv[0], "array", array)) return nullptr;
    switch (element_kind_of(array)) {
        case ElementKind::Float: return PyUnicode_FromString("float");
        case ElementKind::Integer: return PyUnicode_FromString("integer");
        case ElementKind::Boolean: return PyUnicode_FromString("boolean");
        case ElementKind::Other: break;
    }
    return PyUnicode_FromString("other");
}

}  // namespace

const FunctionBinding continuous_distinct_count_binding = make_binding<kContinuousCount, continuous_count>();
const FunctionBinding element_kind_binding = make_binding<kElementKind, element_kind>();

bool add_DistinctValues(PyObject* module) {
    static ClassBinding binding = class_binding<DistinctAcc, kDistinctNew, distinct_new>(
        {
            make_binding<kDistinctAdd, distinct_add>(),
            make_binding<kDistinctMerge, merge_method<DistinctSample, merge_distinct>>(),
            make_binding<kDistinctSerialize, serialize_method<DistinctSample>>(),
        },
        {{"count", distinct_count, "Distinct values collected (at most the cap)."},
         {"cap", distinct_cap, "The count at which collection stops."},
         {"saturated", distinct_saturated, "Whether the cap is reached."}});
    return add_class(module, binding);
}

}  // namespace tarvenn::engine
