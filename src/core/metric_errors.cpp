#include "core/metric_errors.hpp"

namespace tarvenn {
namespace {

template <class E>
std::string not_present(E e) {
    return std::string(metric_name(RuntimeErrorTable<E>::metric_of[static_cast<std::size_t>(e)])) + " not present";
}

}  // namespace

std::string display(DataBiasRuntimeError e) { return not_present(e); }
std::string display(ModelBiasRuntimeError e) { return not_present(e); }

}  // namespace tarvenn
