#include "python/text_index.hpp"

#include <cstring>

#include "python/conversions.hpp"

namespace tarvenn {
namespace {

// A str's UTF-8 bytes; false (with no exception left set) when it has none.
bool utf8_view(PyObject* item, std::string_view& out) {
    if (!PyUnicode_Check(item)) return false;
    Py_ssize_t size;
    const char* data = PyUnicode_AsUTF8AndSize(item, &size);
    if (data == nullptr) {
        PyErr_Clear();
        return false;
    }
    out = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

// Lists and tuples of str, without copies. Distinct str objects are few in typical
// label data, so each object's index is remembered by its address.
bool list_indices(PyObject* seq, TextIndexFn index_of, std::vector<std::uint32_t>& out) {
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq);
    PyObject** items = PySequence_Fast_ITEMS(seq);
    constexpr std::size_t kCache = 1024;
    struct Entry {
        PyObject* key;
        std::uint32_t index;
    };
    Entry cache[kCache];
    for (auto& e : cache) e.key = nullptr;
    std::vector<std::uint32_t> result(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = items[i];
        const auto address = reinterpret_cast<std::uintptr_t>(item);
        Entry& slot = cache[((address >> 4) ^ (address >> 14)) & (kCache - 1)];
        if (slot.key != item) {
            std::string_view label;
            if (!utf8_view(item, label)) return false;
            slot = Entry{item, index_of(label)};
        }
        result[static_cast<std::size_t>(i)] = slot.index;
    }
    out = std::move(result);
    return true;
}

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool is_native_str_array(PyObject* obj) {
    if (!PyArray_Check(obj)) return false;
    auto* array = reinterpret_cast<PyArrayObject*>(obj);
    PyArray_Descr* descr = PyArray_DESCR(array);
    return PyArray_NDIM(array) == 1 && descr->type_num == NPY_UNICODE && PyArray_ISNBO(descr->byteorder);
}

// Whether a code point has a UTF-8 form (not a surrogate, not past U+10FFFF).
[[gnu::always_inline]] inline bool encodable(std::uint32_t cp) { return cp <= 0x10FFFF && (cp - 0xD800u) >= 0x800u; }

// The label of one UCS4 item: its code points without the trailing NULs (as NumPy
// gives the item as a str), in UTF-8. False when a code point has no UTF-8 form.
bool ucs4_label(const char* item, std::size_t width, std::string& label) {
    auto code_point = [item](std::size_t k) {
        std::uint32_t cp;
        std::memcpy(&cp, item + 4 * k, 4);
        return cp;
    };
    std::size_t length = width;
    while (length > 0 && code_point(length - 1) == 0) --length;
    label.clear();
    for (std::size_t k = 0; k < length; ++k) {
        const std::uint32_t cp = code_point(k);
        if (!encodable(cp)) return false;
        append_utf8(label, cp);
    }
    return true;
}

// Remembers the index of each distinct item of a str array by its raw bytes, so that
// the UTF-8 form and the table lookup are made once per distinct value: label data
// has few. Items are fixed-width, so an entry is a hash and the address of the first
// item that had those bytes. The table is sized for the call (at most 2048 slots,
// kept at most half full); past that many distinct values, items are looked up
// without being remembered.
class RawItemCache {
public:
    RawItemCache(std::size_t width, std::size_t items) : width_(width) {
        std::size_t capacity = 16;
        while (capacity < 2 * items && capacity < kMaxSlots) capacity *= 2;
        slots_.resize(capacity);
        mask_ = capacity - 1;
    }

    // The index of `item`, or nullptr when it is not remembered.
    const std::uint32_t* find(const char* item, std::uint64_t hash) const {
        for (std::size_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
            const Entry& e = slots_[slot];
            if (e.item == nullptr) return nullptr;
            if (e.hash == hash && same_bytes(e.item, item)) return &e.index;
        }
    }
    void remember(const char* item, std::uint64_t hash, std::uint32_t index) {
        if (2 * (size_ + 1) > slots_.size()) return;
        std::size_t slot = hash & mask_;
        while (slots_[slot].item != nullptr) slot = (slot + 1) & mask_;
        slots_[slot] = Entry{item, hash, index};
        ++size_;
    }
    // Equality of two items, word by word (items are short; a library call per item
    // would cost more than the comparison).
    bool same_bytes(const char* a, const char* b) const {
        std::size_t k = 0;
        for (; k + 8 <= width_; k += 8) {
            std::uint64_t x, y;
            std::memcpy(&x, a + k, 8);
            std::memcpy(&y, b + k, 8);
            if (x != y) return false;
        }
        for (; k < width_; k += 4) {  // the item size is a multiple of 4 (UCS4)
            std::uint32_t x, y;
            std::memcpy(&x, a + k, 4);
            std::memcpy(&y, b + k, 4);
            if (x != y) return false;
        }
        return true;
    }
    std::uint64_t hash(const char* item) const {
        // FNV-1a over 8-byte words (then the tail), with a final mix for the low bits.
        std::uint64_t h = 0xcbf29ce484222325ull;
        std::size_t k = 0;
        for (; k + 8 <= width_; k += 8) {
            std::uint64_t word;
            std::memcpy(&word, item + k, 8);
            h = (h ^ word) * 0x100000001b3ull;
        }
        for (; k < width_; k += 4) {
            std::uint32_t unit;
            std::memcpy(&unit, item + k, 4);
            h = (h ^ unit) * 0x100000001b3ull;
        }
        return h ^ (h >> 29);
    }

private:
    static constexpr std::size_t kMaxSlots = 2048;
    struct Entry {
        const char* item = nullptr;
        std::uint64_t hash = 0;
        std::uint32_t index = 0;
    };
    std::size_t width_;
    std::size_t size_ = 0;
    std::size_t mask_ = 0;
    std::vector<Entry> slots_;
};

// A one-dimensional native-order NumPy str array, from its buffer. False when an
// item holds a code point that has no UTF-8 form.
bool str_array_indices(PyArrayObject* array, TextIndexFn index_of, std::vector<std::uint32_t>& out) {
    const auto n = static_cast<std::size_t>(PyArray_DIM(array, 0));
    const auto item_size = static_cast<std::size_t>(PyArray_ITEMSIZE(array));
    const std::size_t width = item_size / 4;
    const npy_intp stride = PyArray_STRIDE(array, 0);
    const char* base = static_cast<const char*>(PyArray_DATA(array));
    std::vector<std::uint32_t> result(n);
    std::string label;
    label.reserve(width * 4);
    RawItemCache cache(item_size, n);
    for (std::size_t i = 0; i < n; ++i) {
        const char* item = base + static_cast<npy_intp>(i) * stride;
        const std::uint64_t hash = cache.hash(item);
        if (const std::uint32_t* known = cache.find(item, hash)) {
            result[i] = *known;
            continue;
        }
        if (!ucs4_label(item, width, label)) return false;
        result[i] = index_of(label);
        cache.remember(item, hash, result[i]);
    }
    out = std::move(result);
    return true;
}

// Whether every code unit of a str array's buffer has a UTF-8 form. A contiguous
// buffer is one run of code units, checked in a loop that vectorises.
bool str_array_encodable(PyArrayObject* array) {
    const auto n = static_cast<std::size_t>(PyArray_DIM(array, 0));
    const std::size_t width = static_cast<std::size_t>(PyArray_ITEMSIZE(array)) / 4;
    const npy_intp stride = PyArray_STRIDE(array, 0);
    const char* base = static_cast<const char*>(PyArray_DATA(array));
    auto run_encodable = [](const char* units, std::size_t count) {
        std::uint32_t bad = 0;
        for (std::size_t k = 0; k < count; ++k) {
            std::uint32_t cp;
            std::memcpy(&cp, units + 4 * k, 4);
            bad |= static_cast<std::uint32_t>(cp > 0x10FFFF) | static_cast<std::uint32_t>(cp - 0xD800u < 0x800u);
        }
        return bad == 0;
    };
    if (stride == static_cast<npy_intp>(4 * width)) return run_encodable(base, n * width);
    for (std::size_t i = 0; i < n; ++i)
        if (!run_encodable(base + static_cast<npy_intp>(i) * stride, width)) return false;
    return true;
}

}  // namespace

bool TextSeqArg::check(PyObject* obj, const char* param) {
    obj_ = obj;
    param_ = param;
    if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) {
        const Py_ssize_t n = PySequence_Fast_GET_SIZE(obj);
        PyObject** items = PySequence_Fast_ITEMS(obj);
        std::string_view label;
        bool all_text = true;
        for (Py_ssize_t i = 0; i < n && all_text; ++i) all_text = utf8_view(items[i], label);
        if (all_text) return true;
    } else if (is_native_str_array(obj)) {
        if (str_array_encodable(reinterpret_cast<PyArrayObject*>(obj))) return true;
    }
    std::vector<std::string> copied;
    return to_text_seq(obj, param, copied);
}

bool TextSeqArg::indices(TextIndexFn index_of, std::vector<std::uint32_t>& out) const {
    if (PyList_CheckExact(obj_) || PyTuple_CheckExact(obj_)) {
        if (list_indices(obj_, index_of, out)) return true;
    } else if (is_native_str_array(obj_)) {
        if (str_array_indices(reinterpret_cast<PyArrayObject*>(obj_), index_of, out)) return true;
    }
    // Everything else, and every item that fails above, takes the general road.
    std::vector<std::string> labels;
    if (!to_text_seq(obj_, param_, labels)) return false;
    std::vector<std::uint32_t> result;
    result.reserve(labels.size());
    for (const std::string& label : labels) result.push_back(index_of(label));
    out = std::move(result);
    return true;
}

bool to_str_view(PyObject* obj, const char* param, std::string_view& out, std::string& storage) {
    if (utf8_view(obj, out)) return true;
    if (!to_str(obj, param, storage)) return false;
    out = storage;
    return true;
}

}  // namespace tarvenn
