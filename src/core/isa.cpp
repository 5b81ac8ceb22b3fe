#include "core/isa.hpp"

#include "core/settings.hpp"

namespace tarvenn {
namespace {

Isa detect() {
    if (force_baseline_isa()) return Isa::Baseline;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                      __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    if (avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq"))
        return Isa::Avx512;
    if (avx2) return Isa::Avx2;
#endif
    return Isa::Baseline;
}

}  // namespace

Isa isa_level() {
    static const Isa LEVEL = detect();
    return LEVEL;
}

}  // namespace tarvenn
