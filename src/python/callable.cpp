#include "python/callable.hpp"

#include <deque>
#include <string>
#include <vector>

namespace tarvenn {
namespace {

// "name()" for a function, "Class.name()" for a method or constructor.
std::string display_name(const Signature& sig) {
    std::string out;
    if (sig.owner != nullptr) {
        out += sig.owner;
        out += '.';
    }
    out += sig.name;
    out += "()";
    return out;
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string quoted_list(const std::vector<const char*>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (names.size() > 2) out += ',';
            out += i + 1 == names.size() ? " and " : " ";
        }
        out += '\'';
        out += names[i];
        out += '\'';
    }
    return out;
}

bool fail(const Signature& sig, const std::string& tail) {
    PyErr_SetString(PyExc_TypeError, (display_name(sig) + tail).c_str());
    return false;
}

bool too_many_positional(const Signature& sig, Py_ssize_t given) {
    const int n = sig.count();
    std::string tail = " takes ";
    if (sig.required < n) tail += "from " + std::to_string(sig.required) + " to ";
    tail += std::to_string(n) + " positional arguments but " + std::to_string(given) +
            (given == 1 ? " was given" : " were given");
    return fail(sig, tail);
}

// Index of the parameter named by `key`, or -1. Compared by value, not identity.
int param_index(const Signature& sig, PyObject* key) {
    if (!PyUnicode_Check(key)) return -1;
    const int n = sig.count();
    for (int i = 0; i < n; ++i) {
        if (PyUnicode_CompareWithASCIIString(key, sig.params[i]) == 0) return i;
    }
    return -1;
}

bool bind_keyword(const Signature& sig, PyObject* key, PyObject* value, PyObject** out) {
    const int i = param_index(sig, key);
    if (i < 0) {
        PyObject* text = PyObject_Str(key);
        if (text == nullptr) return false;
        const char* utf8 = PyUnicode_AsUTF8(text);
        std::string name = utf8 != nullptr ? utf8 : "?";
        PyErr_Clear();
        Py_DECREF(text);
        return fail(sig, " got an unexpected keyword argument '" + name + "'");
    }
    if (out[i] != nullptr) return fail(sig, std::string(" got multiple values for argument '") + sig.params[i] + "'");
    out[i] = value;
    return true;
}

bool check_missing(const Signature& sig, PyObject** out) {
    std::vector<const char*> missing;
    for (int i = 0; i < sig.required; ++i)
        if (out[i] == nullptr) missing.push_back(sig.params[i]);
    if (missing.empty()) return true;
    return fail(sig, " missing " + std::to_string(missing.size()) + " required positional " +
                         (missing.size() == 1 ? "argument: " : "arguments: ") + quoted_list(missing));
}

}  // namespace

bool bind_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               PyObject** out) {
    const int n = sig.count();
    if (kwnames == nullptr && nargs == n) {  // the common all-positional call
        for (int i = 0; i < n; ++i) out[i] = args[i];
        return true;
    }
    for (int i = 0; i < kMaxParams; ++i) out[i] = nullptr;
    if (nargs > n) return too_many_positional(sig, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    if (kwnames != nullptr) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            if (!bind_keyword(sig, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out)) return false;
        }
    }
    return check_missing(sig, out);
}

bool bind_args(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out) {
    const int n = sig.count();
    for (int i = 0; i < kMaxParams; ++i) out[i] = nullptr;
    const Py_ssize_t nargs = args != nullptr ? PyTuple_GET_SIZE(args) : 0;
    if (nargs > n) return too_many_positional(sig, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = PyTuple_GET_ITEM(args, i);
    if (kwargs != nullptr) {
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            if (!bind_keyword(sig, key, value, out)) return false;
        }
    }
    return check_missing(sig, out);
}

const char* make_docstring(const Signature& sig) {
    // Docstrings must outlive their method tables; a deque never moves its elements.
    static std::deque<std::string> storage;
    const bool is_ctor = sig.owner != nullptr && std::string(sig.name) == "__new__";
    std::string text = is_ctor ? sig.owner : sig.name;
    text += '(';
    bool first = true;
    if (sig.owner != nullptr && !is_ctor) {
        text += "$self";
        first = false;
    }
    const int n = sig.count();
    for (int i = 0; i < n; ++i) {
        if (!first) text += ", ";
        first = false;
        text += sig.params[i];
        if (i >= sig.required) {
            text += '=';
            text += sig.defaults;
        }
    }
    text += ")\n--\n\n";
    text += sig.doc;
    storage.push_back(std::move(text));
    return storage.back().c_str();
}

bool arg_conversion_failed(const char* param) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
    PyObject* message = value != nullptr ? PyObject_Str(value) : nullptr;
    const char* text = message != nullptr ? PyUnicode_AsUTF8(message) : nullptr;
    if (text == nullptr) PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "argument '%s': %s", param, text != nullptr ? text : "");
    Py_XDECREF(message);
    // Chain the original error as the cause of the prefixed one.
    PyObject *new_type, *new_value, *new_tb;
    PyErr_Fetch(&new_type, &new_value, &new_tb);
    PyErr_NormalizeException(&new_type, &new_value, &new_tb);
    if (value != nullptr) {
        PyException_SetCause(new_value, value);  // steals `value`
        value = nullptr;
    }
    PyErr_Restore(new_type, new_value, new_tb);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return false;
}

PyMethodDef method_def(const FunctionBinding& binding) {
    return PyMethodDef{binding.sig.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(binding.fn)),
                       METH_FASTCALL | METH_KEYWORDS | binding.flags, make_docstring(binding.sig)};
}

}  // namespace tarvenn
