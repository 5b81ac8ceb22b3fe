#include "python/sequences.hpp"

#include <limits>
#include <optional>
#include <type_traits>

#include "python/callable.hpp"
#include "python/numpy_dtype.hpp"
#include "python/py_ref.hpp"
#include "python/read_items.hpp"

namespace tarvenn {
namespace {

using items::for_each_seq_item;

// Common checks of the sequence arguments: a str is refused, a non-sequence named.
bool check_sequence(PyObject* obj) {
    if (PyUnicode_Check(obj)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
    }
    if (!PySequence_Check(obj)) return items::type_error("a sequence", obj);
    return true;
}

// The one-dimensional NumPy array `obj` is, or nullptr.
PyArrayObject* column_array(PyObject* obj) {
    if (!PyArray_Check(obj)) return nullptr;
    auto* array = reinterpret_cast<PyArrayObject*>(obj);
    return PyArray_NDIM(array) == 1 ? array : nullptr;
}

// A numeric sequence argument into `out`: a one-dimensional NumPy array is first
// offered to from_array(array, values), which returns nullopt for a dtype it does
// not read from the buffer, else whether it succeeded; other sequences (and arrays
// it declined) go item by item through from_item(item, values).
template <class T, class FromArray, class FromItem>
bool to_number_seq(PyObject* obj, const char* param, std::vector<T>& out, FromArray&& from_array,
                   FromItem&& from_item) {
    std::vector<T> values;
    auto ok = [&]() -> bool {
        if (!check_sequence(obj)) return false;
        if (PyArrayObject* array = column_array(obj)) {
            if (const std::optional<bool> read = from_array(array, values)) return *read;
        }
        std::size_t hint = 0;
        return for_each_seq_item(obj, hint, [&](PyObject* item) {
            if (values.empty()) values.reserve(hint);
            return from_item(item, values);
        });
    }();
    if (!ok) return arg_conversion_failed(param);
    out = std::move(values);
    return true;
}

// An integer sequence argument: native integer arrays are read from the buffer,
// everything else item by item with the integer protocol.
template <class Int>
bool to_int_seq(PyObject* obj, const char* param, std::vector<Int>& out) {
    auto from_array = [](PyArrayObject* array, std::vector<Int>& values) -> std::optional<bool> {
        const NativeType type = native_type(array);
        if (!is_integer(type)) return std::nullopt;
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
                in_range = items::int_in_range<Int>(static_cast<long long>(v));
                if (in_range) values.push_back(static_cast<Int>(v));
            }
        });
        return in_range;
    };
    auto from_item = [](PyObject* item, std::vector<Int>& values) {
        long long v;
        if (!items::read_int64(item, v) || !items::int_in_range<Int>(v)) return false;
        values.push_back(static_cast<Int>(v));
        return true;
    };
    return to_number_seq(obj, param, out, from_array, from_item);
}

}  // namespace

bool to_i8_seq(PyObject* obj, const char* param, std::vector<std::int8_t>& out) { return to_int_seq(obj, param, out); }

namespace {

template <class Int, NativeType Type>
bool int_samples(PyObject* obj, const char* param, std::vector<Int>& storage, std::span<const Int>& out) {
    if (PyArrayObject* array = column_array(obj);
        array != nullptr && native_type(array) == Type && PyArray_IS_C_CONTIGUOUS(array) && PyArray_ISALIGNED(array)) {
        out = {static_cast<const Int*>(PyArray_DATA(array)), static_cast<std::size_t>(PyArray_SIZE(array))};
        return true;
    }
    if (!to_int_seq(obj, param, storage)) return false;
    out = storage;
    return true;
}

}  // namespace

bool i8_samples(PyObject* obj, const char* param, std::vector<std::int8_t>& storage,
                std::span<const std::int8_t>& out) {
    return int_samples<std::int8_t, NativeType::I8>(obj, param, storage, out);
}

bool i32_samples(PyObject* obj, const char* param, std::vector<std::int32_t>& storage,
                 std::span<const std::int32_t>& out) {
    return int_samples<std::int32_t, NativeType::I32>(obj, param, storage, out);
}
bool to_i32_seq(PyObject* obj, const char* param, std::vector<std::int32_t>& out) { return to_int_seq(obj, param, out); }

// Native numeric arrays but bool ones are read from the buffer (each value through
// double, then rounded to float); everything else item by item with the float protocol.
bool to_f32_seq(PyObject* obj, const char* param, std::vector<float>& out) {
    auto from_array = [](PyArrayObject* array, std::vector<float>& values) -> std::optional<bool> {
        const NativeType type = native_type(array);
        if (type == NativeType::Bool || !visit_native(array, type, [&](auto column) {
                values.reserve(column.size);
                for (std::size_t i = 0; i < column.size; ++i)
                    values.push_back(static_cast<float>(static_cast<double>(column[i])));
            }))
            return std::nullopt;
        return true;
    };
    auto from_item = [](PyObject* item, std::vector<float>& values) {
        double v;
        if (!items::read_double(item, v)) return false;
        values.push_back(static_cast<float>(v));
        return true;
    };
    return to_number_seq(obj, param, out, from_array, from_item);
}

bool to_text_seq(PyObject* obj, const char* param, std::vector<std::string>& out) {
    std::vector<std::string> values;
    std::size_t hint = 0;
    const bool ok = check_sequence(obj) && for_each_seq_item(obj, hint, [&](PyObject* item) {
                        if (values.empty()) values.reserve(hint);
                        if (!PyUnicode_Check(item)) return items::type_error("a string", item);
                        values.emplace_back();
                        return items::str_to_utf8(item, values.back());
                    });
    if (!ok) return arg_conversion_failed(param);
    out = std::move(values);
    return true;
}

bool to_metric_value_map(PyObject* obj, const char* param, NameMap& out) {
    if (!PyDict_Check(obj)) {
        items::type_error("a dict", obj);
        return arg_conversion_failed(param);
    }
    // A snapshot of the items: a value's __float__ may mutate the dict.
    PyRef pairs(PyDict_Items(obj));
    if (!pairs) return arg_conversion_failed(param);
    NameMap values;
    values.reserve(static_cast<std::size_t>(PyList_GET_SIZE(pairs.get())));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(pairs.get()); ++i) {
        PyObject* pair = PyList_GET_ITEM(pairs.get(), i);
        PyObject* key = PyTuple_GET_ITEM(pair, 0);
        PyObject* value = PyTuple_GET_ITEM(pair, 1);
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "expected a dict with str keys, got a key of type '%s'",
                         items::type_name(key));
            return arg_conversion_failed(param);
        }
        std::string name;
        double v;
        if (!items::str_to_utf8(key, name) || !items::read_double(value, v)) return arg_conversion_failed(param);
        values.emplace_back(std::move(name), static_cast<float>(v));
    }
    out = std::move(values);
    return true;
}

}  // namespace tarvenn
