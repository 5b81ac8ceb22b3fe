// What every accumulator class of tarvenn._engine shares: the Python object owns
// its state and a flag that marks it in use, so that a second thread calling any
// method while `add` counts without the interpreter lock gets a RuntimeError
// instead of a data race.
#pragma once

#include <utility>

#include "python/callable.hpp"
#include "python/py_class.hpp"
#include "python/py_ref.hpp"
#include "python/python.hpp"

namespace tarvenn::engine {

template <class State>
struct Accumulator {
    State state;
    bool busy = false;

    explicit Accumulator(State s) : state(std::move(s)) {}
};

template <class State>
Accumulator<State>& accumulator_of(PyObject* self) {
    return core_of<Accumulator<State>>(self);
}

// False, with a RuntimeError set, while another thread is using the accumulator.
template <class State>
bool available(const Accumulator<State>& a) {
    if (!a.busy) return true;
    PyErr_SetString(PyExc_RuntimeError, "the accumulator is in use by another thread");
    return false;
}

// Marks an accumulator in use for the guard's lifetime; false (RuntimeError set)
// when another thread is using it.
class InUse {
public:
    template <class State>
    explicit InUse(Accumulator<State>& a) : flag_(available(a) ? &a.busy : nullptr) {
        if (flag_ != nullptr) *flag_ = true;
    }
    InUse(const InUse&) = delete;
    InUse& operator=(const InUse&) = delete;
    ~InUse() {
        if (flag_ != nullptr) *flag_ = false;
    }
    explicit operator bool() const { return flag_ != nullptr; }

private:
    bool* flag_;
};

// Runs `work` with the interpreter lock released. `work` must not touch Python
// objects; the buffers it reads belong to arrays the caller holds.
template <class F>
void without_gil(F&& work) {
    struct Release {
        PyThreadState* state = PyEval_SaveThread();
        ~Release() { PyEval_RestoreThread(state); }
    } release;
    work();
}

// `other` as an accumulator of the same class as `self`, for merge.
template <class State>
Accumulator<State>* same_class(PyObject* self, PyObject* other, const char* param) {
    if (Py_TYPE(other) != Py_TYPE(self)) {
        PyErr_Format(PyExc_TypeError, "argument '%s': expected %s, got '%s'", param, Py_TYPE(self)->tp_name,
                     Py_TYPE(other)->tp_name);
        return nullptr;
    }
    return &accumulator_of<State>(other);
}

// merge(other): adds another accumulator of the same class. `Merge` adds a state
// into another; it returns false with an exception set when the two cannot be
// merged (built on different settings), changing nothing.
template <class State, bool (*Merge)(State&, const State&)>
PyObject* merge_method(PyObject* self, PyObject* const* argv) {
    auto& acc = accumulator_of<State>(self);
    auto* other = same_class<State>(self, argv[0], "other");
    if (other == nullptr) return nullptr;
    InUse in_use(acc);
    if (!in_use) return nullptr;
    if (other != &acc && !available(*other)) return nullptr;
    const State added = other->state;  // a copy, so that a merge with itself is a doubling
    if (!Merge(acc.state, added)) return nullptr;
    Py_RETURN_NONE;
}

}  // namespace tarvenn::engine
