// Python classes that own one C++ core object. The core is computed first and
// moved into the object in tp_new, so no instance exists without a built core.
#pragma once

#include <deque>
#include <new>
#include <utility>
#include <vector>

#include "python/callable.hpp"

namespace tarvenn {

template <class Core>
struct PyBox {
    PyObject_HEAD
    Core core;
};

template <class Core>
Core& core_of(PyObject* self) {
    return reinterpret_cast<PyBox<Core>*>(self)->core;
}

// Allocates an instance of `type` and moves `core` into it.
template <class Core>
PyObject* box_new(PyTypeObject* type, Core&& core) {
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    new (&reinterpret_cast<PyBox<Core>*>(self)->core) Core(std::move(core));
    return self;
}

template <class Core>
void box_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<PyBox<Core>*>(self)->core.~Core();
    type->tp_free(self);
    Py_DECREF(type);
}

// The body of a constructor: `argv` holds the bound arguments; it computes the
// core and returns box_new(type, core).
using NewBody = PyObject* (*)(PyTypeObject* type, PyObject* const* argv);

// The tp_new of a class whose constructor is described by `Sig`: binds the tuple
// and dict, then runs `Body` under `guarded`.
template <const Signature& Sig, NewBody Body>
PyObject* newcall(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    PyObject* argv[kMaxParams];
    if (!bind_args(Sig, args, kwargs, argv)) return nullptr;
    return guarded([&] { return Body(type, argv); });
}

struct GetterBinding {
    const char* name;
    getter get;
    const char* doc;  // nullptr: no documentation
};

struct ClassBinding {
    Signature ctor;  // owner = class name, name = "__new__"
    newfunc tp_new;
    destructor tp_dealloc;
    Py_ssize_t basicsize;
    std::vector<FunctionBinding> methods;
    std::vector<GetterBinding> getters;
};

// The class of `Core` whose constructor is described by `Ctor` and built by `New`.
template <class Core, const Signature& Ctor, NewBody New>
ClassBinding class_binding(std::vector<FunctionBinding> methods, std::vector<GetterBinding> getters = {}) {
    return ClassBinding{Ctor, newcall<Ctor, New>, box_dealloc<Core>, sizeof(PyBox<Core>), std::move(methods),
                        std::move(getters)};
}

// Creates the type described by `binding` and adds it to `module` under its name.
// The binding must live as long as the process (a function-local static).
bool add_class(PyObject* module, ClassBinding& binding);

}  // namespace tarvenn
