// Saving, restoring, copying and merging, written once over the class traits `C`:
//   C::name   the Python class name
//   C::Core   the core, with save_state() -> bytes, static load_state(bytes) ->
//             the core or a state::StateError, and (for merge) merge(const Core&)
//             -> void or a MergeError
// Methods: __reduce__ (pickle, every protocol), __getstate__ / __setstate__,
// the class method _from_state that __reduce__ names, __copy__, __deepcopy__, and
// merge. A state is any bytes-like object; a bad one is a ValueError and leaves the
// object as it was. A restored object is built whole before it is handed out (or
// moved into `self`), so no object ever holds a half-loaded core.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <span>
#include <vector>

#include "core/state_format.hpp"
#include "core/state_fields.hpp"
#include "python/py_class.hpp"
#include "python/py_ref.hpp"

namespace tarvenn::state_methods {

// A borrowed read-only view of a bytes-like object.
class StateBytes {
public:
    StateBytes() = default;
    StateBytes(const StateBytes&) = delete;
    StateBytes& operator=(const StateBytes&) = delete;
    ~StateBytes() {
        if (held_) PyBuffer_Release(&view_);
    }
    bool convert(PyObject* obj, const char* param) {
        if (PyObject_GetBuffer(obj, &view_, PyBUF_SIMPLE) < 0) return arg_conversion_failed(param);
        held_ = true;
        return true;
    }
    std::span<const std::uint8_t> bytes() const {
        return {static_cast<const std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
    }

private:
    Py_buffer view_{};
    bool held_ = false;
};

inline PyObject* bytes_of(std::vector<std::uint8_t>&& state) {
    PyObject* bytes = PyBytes_FromStringAndSize(reinterpret_cast<const char*>(state.data()),
                                                static_cast<Py_ssize_t>(state.size()));
    state::recycle(std::move(state));
    return bytes;
}

inline PyObject* value_error(const std::string& message) {
    PyErr_SetString(PyExc_ValueError, message.c_str());
    return nullptr;
}

template <class C>
inline constexpr Signature kReduce{C::name, "__reduce__", {}, 0, "Return the state of the object for pickle."};
template <class C>
inline constexpr Signature kGetState{C::name, "__getstate__", {}, 0,
                                     "Return the state of the object as bytes in the versioned state format."};
template <class C>
inline constexpr Signature kSetState{C::name, "__setstate__", {"state"}, 1,
                                     "Replace the whole object by a saved state; an invalid state raises\n"
                                     "ValueError and changes nothing."};
template <class C>
inline constexpr Signature kFromState{C::name, "_from_state", {"state"}, 1,
                                      "Build an object from a saved state (what pickle calls)."};
template <class C>
inline constexpr Signature kCopy{C::name, "__copy__", {}, 0, "Return an independent copy."};
template <class C>
inline constexpr Signature kDeepCopy{C::name, "__deepcopy__", {"memo"}, 1, "Return an independent copy."};
template <class C>
inline constexpr Signature kMerge{
    C::name, "merge", {"other"}, 1,
    "Add the running state of another object of the same class, built on the same\n"
    "baseline and settings, into this one. A refusal raises ValueError and changes\n"
    "nothing."};

template <class C>
using CoreOf = typename C::Core;

template <class C>
PyObject* getstate_body(PyObject* self, PyObject* const*) {
    return bytes_of(core_of<CoreOf<C>>(self).save_state());
}

template <class C>
PyObject* reduce_body(PyObject* self, PyObject* const*) {
    PyRef restore(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(self)), "_from_state"));
    if (!restore) return nullptr;
    PyRef state(getstate_body<C>(self, nullptr));
    if (!state) return nullptr;
    return Py_BuildValue("(O(O))", restore.get(), state.get());
}

template <class C>
PyObject* setstate_body(PyObject* self, PyObject* const* argv) {
    StateBytes state;
    if (!state.convert(argv[0], "state")) return nullptr;
    auto loaded = CoreOf<C>::load_state(state.bytes());
    if (!loaded) return value_error(loaded.error().message);
    core_of<CoreOf<C>>(self) = std::move(*loaded);
    Py_RETURN_NONE;
}

// A class method: `type` is the class it was called on.
template <class C>
PyObject* from_state_body(PyObject* type, PyObject* const* argv) {
    StateBytes state;
    if (!state.convert(argv[0], "state")) return nullptr;
    auto loaded = CoreOf<C>::load_state(state.bytes());
    if (!loaded) return value_error(loaded.error().message);
    return box_new(reinterpret_cast<PyTypeObject*>(type), std::move(*loaded));
}

template <class C>
PyObject* copy_body(PyObject* self, PyObject* const*) {
    CoreOf<C> copy = core_of<CoreOf<C>>(self);
    return box_new(Py_TYPE(self), std::move(copy));
}

template <class C>
PyObject* merge_body(PyObject* self, PyObject* const* argv) {
    PyObject* other = argv[0];
    if (Py_TYPE(other) != Py_TYPE(self)) {
        const char* name = Py_TYPE(other)->tp_name;
        // Another class of this module is a refused merge; anything else is the wrong
        // type of argument.
        if (std::strncmp(name, "_tarvenn.", 9) != 0) {
            PyErr_Format(PyExc_TypeError, "expected %s, not %s", C::name, name);
            arg_conversion_failed("other");
            return nullptr;
        }
        const char* dot = std::strrchr(name, '.');
        return value_error(std::string("cannot merge a ") + (dot != nullptr ? dot + 1 : name) + " into a " + C::name);
    }
    auto merged = core_of<CoreOf<C>>(self).merge(core_of<CoreOf<C>>(other));
    if (!merged) return value_error(merged.error().message);
    Py_RETURN_NONE;
}

// The persistence methods of every class.
template <class C>
std::vector<FunctionBinding> persistence() {
    FunctionBinding from_state = make_binding<kFromState<C>, from_state_body<C>>();
    from_state.flags = METH_CLASS;
    return {
        make_binding<kReduce<C>, reduce_body<C>>(),
        make_binding<kGetState<C>, getstate_body<C>>(),
        make_binding<kSetState<C>, setstate_body<C>>(),
        from_state,
        make_binding<kCopy<C>, copy_body<C>>(),
        make_binding<kDeepCopy<C>, copy_body<C>>(),
    };
}

// merge, for the monitors and streaming detectors.
template <class C>
FunctionBinding merge() {
    return make_binding<kMerge<C>, merge_body<C>>();
}

// `methods` followed by the persistence methods, and merge when `Mergeable`.
template <class C, bool Mergeable>
std::vector<FunctionBinding> with_state(std::vector<FunctionBinding> methods) {
    for (FunctionBinding& m : persistence<C>()) methods.push_back(m);
    if constexpr (Mergeable) methods.push_back(merge<C>());
    return methods;
}

}  // namespace tarvenn::state_methods
