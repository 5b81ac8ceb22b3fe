#include "python/py_class.hpp"

#include <string>

namespace tarvenn {

bool add_class(PyObject* module, ClassBinding& binding) {
    // The type's name and tables must outlive the type: they live in these process-wide
    // stores (a deque never moves its elements), where leak checkers see them as reachable.
    static std::deque<std::string> names;
    static std::deque<std::vector<PyMethodDef>> method_tables;
    static std::deque<std::vector<PyGetSetDef>> getset_tables;
    const char* module_name = PyModule_GetName(module);
    if (module_name == nullptr) return false;
    names.push_back(std::string(module_name) + "." + binding.ctor.owner);

    auto* methods = &method_tables.emplace_back();
    for (const auto& m : binding.methods) methods->push_back(method_def(m));
    methods->push_back(PyMethodDef{nullptr, nullptr, 0, nullptr});

    auto* getset = &getset_tables.emplace_back();
    for (const auto& g : binding.getters)
        getset->push_back(PyGetSetDef{g.name, g.get, nullptr, g.doc, nullptr});
    getset->push_back(PyGetSetDef{nullptr, nullptr, nullptr, nullptr, nullptr});

    PyType_Slot slots[] = {
        {Py_tp_new, reinterpret_cast<void*>(binding.tp_new)},
        {Py_tp_dealloc, reinterpret_cast<void*>(binding.tp_dealloc)},
        {Py_tp_methods, methods->data()},
        {Py_tp_getset, getset->data()},
        {Py_tp_doc, const_cast<char*>(make_docstring(binding.ctor))},
        {0, nullptr},
    };
    PyType_Spec type_spec{names.back().c_str(), static_cast<int>(binding.basicsize), 0,
                     Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};
    PyObject* type = PyType_FromSpec(&type_spec);
    if (type == nullptr) return false;
    // A heap type's __doc__ would be "" for a signature-only docstring; make it None
    // as for functions (__text_signature__ still reads the internal doc).
    if (*binding.ctor.doc == '\0') {
        PyObject* dict = reinterpret_cast<PyTypeObject*>(type)->tp_dict;
        if (PyDict_SetItemString(dict, "__doc__", Py_None) < 0) {
            Py_DECREF(type);
            return false;
        }
        PyType_Modified(reinterpret_cast<PyTypeObject*>(type));
    }
    // PyModule_AddObjectRef leaves our reference with us on success and failure alike.
    const int rc = PyModule_AddObjectRef(module, binding.ctor.owner, type);
    Py_DECREF(type);
    return rc == 0;
}

}  // namespace tarvenn
