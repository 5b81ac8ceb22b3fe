// Text arguments read in place, for code that only needs each label's index in a
// table (the categorical drift detectors): list and tuple items are looked up as
// UTF-8 views (once per distinct str object), NumPy str arrays straight from their
// buffer, and nothing is copied into owned strings. Acceptance and errors are those
// of to_str and to_text_seq, which handle every other input.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "python/python.hpp"

namespace tarvenn {

// Maps a label to its index; must not run Python code.
struct TextIndexFn {
    const void* context;
    std::uint32_t (*index_of)(const void* context, std::string_view label);
    std::uint32_t operator()(std::string_view label) const { return index_of(context, label); }
};

template <class Table>
TextIndexFn text_index_fn(const Table& table) {
    return {&table, [](const void* t, std::string_view label) -> std::uint32_t {
                return static_cast<const Table*>(t)->bin_of(label);
            }};
}

// A text sequence argument, checked by check() (with to_text_seq's errors) and
// mapped to indices later by indices(). The argument must outlive the view.
class TextSeqArg {
public:
    bool check(PyObject* obj, const char* param);
    // The index of every item, in order. Reads the items again, so a sequence that
    // Python code changed in between is read as it is now.
    bool indices(TextIndexFn index_of, std::vector<std::uint32_t>& out) const;

private:
    PyObject* obj_ = nullptr;
    const char* param_ = nullptr;
};

// A str argument as a UTF-8 view into the object (to_str's errors otherwise).
// Valid while the object lives; allocates nothing for a str.
bool to_str_view(PyObject* obj, const char* param, std::string_view& out, std::string& storage);

}  // namespace tarvenn
