#include "python/numpy_dtype.hpp"

namespace tarvenn {

NativeType native_type(PyArrayObject* array) {
    static constexpr struct {
        int typenum;
        NativeType type;
    } table[] = {
        {NPY_FLOAT64, NativeType::F64}, {NPY_FLOAT32, NativeType::F32}, {NPY_INT8, NativeType::I8},
        {NPY_INT16, NativeType::I16},   {NPY_INT32, NativeType::I32},   {NPY_INT64, NativeType::I64},
        {NPY_UINT8, NativeType::U8},    {NPY_UINT16, NativeType::U16},  {NPY_UINT32, NativeType::U32},
        {NPY_UINT64, NativeType::U64},  {NPY_BOOL, NativeType::Bool},
    };
    PyArray_Descr* descr = PyArray_DESCR(array);
    for (const auto& entry : table) {
        PyArray_Descr* reference = PyArray_DescrFromType(entry.typenum);
        const bool match = PyArray_EquivTypes(descr, reference);
        Py_DECREF(reference);
        if (match) return entry.type;
    }
    return NativeType::None;
}

bool is_integer(NativeType t) { return t >= NativeType::I8 && t <= NativeType::U64; }

}  // namespace tarvenn
