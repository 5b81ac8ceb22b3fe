// One declarative description per Python callable drives both its argument parser
// and its docstring, so the two cannot disagree.
#pragma once

#include <array>
#include <new>
#include <string>

#include "python/python.hpp"

namespace tarvenn {

inline constexpr int kMaxParams = 12;

struct Signature {
    const char* owner;  // class name for methods and constructors, nullptr for module functions
    const char* name;   // "__new__" for a constructor
    std::array<const char*, kMaxParams> params;
    int required;              // the first `required` parameters have no default
    const char* doc = "";      // documentation text after the signature block
    const char* defaults = "0.10";  // text shown for every optional parameter

    int count() const {
        int n = 0;
        while (n < kMaxParams && params[n] != nullptr) ++n;
        return n;
    }
};

// Matches a vectorcall's arguments to the parameters. On success `out[i]` holds a
// borrowed reference to parameter i, or nullptr for an omitted optional parameter.
// Arity and keywords are all checked before anything is converted.
bool bind_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               PyObject** out);
// The same for a constructor's tuple and dict.
bool bind_args(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out);

// "name(params)\n--\n\n" + doc, or "name($self, params)..." for methods, or
// "PyX(params)..." for a constructor. The text lives as long as the process.
const char* make_docstring(const Signature& sig);

// Raises the argument-prefixed TypeError for a failed conversion of parameter
// `param` ("argument 'param': <message>", chained to the original error); other
// exceptions are left as they are. Always returns false.
bool arg_conversion_failed(const char* param);

// Runs a binding body, turning C++ exceptions into Python ones so that none
// crosses into the interpreter.
template <class F>
auto guarded(F&& body) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_SystemError, e.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "unexpected internal error");
    }
    return {};
}

using FastFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

struct FunctionBinding {
    Signature sig;
    FastFunction fn;
    int flags = 0;  // added to METH_FASTCALL | METH_KEYWORDS (METH_CLASS for a class method)
};

// The body of a function or method: `argv` holds the bound arguments as
// bind_args leaves them; `self` is the instance (the module for a function).
using CallBody = PyObject* (*)(PyObject* self, PyObject* const* argv);

// The entry point of a callable described by `Sig`: binds the arguments, then runs
// `Body` under `guarded`.
template <const Signature& Sig, CallBody Body>
PyObject* fastcall(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* argv[kMaxParams];
    if (!bind_args(Sig, args, nargs, kwnames, argv)) return nullptr;
    return guarded([&] { return Body(self, argv); });
}

// The binding of a callable: its description and its entry point.
template <const Signature& Sig, CallBody Body>
constexpr FunctionBinding make_binding() {
    return {Sig, fastcall<Sig, Body>};
}

// A PyMethodDef for a module function or a method, with its docstring.
PyMethodDef method_def(const FunctionBinding& binding);

}  // namespace tarvenn
