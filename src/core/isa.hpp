// Run-time choice of instruction set for the hot kernels. The library is built for
// baseline x86-64; a kernel run through with_widest_isa is compiled for AVX2 and
// AVX-512 as well, and the widest the CPU has is taken (decided once per process).
// Results never depend on the variant: integer counts are exact in any order, and
// float code is built without contraction or reassociation, so every variant rounds
// the same operations in the same order.
#pragma once

namespace tarvenn {

enum class Isa { Baseline, Avx2, Avx512 };

// The widest instruction set this process uses: Baseline when the CPU lacks the
// others, on other architectures, or under TARVENN_FORCE_BASELINE_ISA=1.
Isa isa_level();

}  // namespace tarvenn

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
namespace tarvenn::isa_detail {
template <class F>
__attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx2,bmi,bmi2,popcnt"))) auto run_avx512(F& f)
    -> decltype(f()) {
    return f();
}
template <class F>
__attribute__((target("avx2,bmi,bmi2,popcnt"))) auto run_avx2(F& f) -> decltype(f()) {
    return f();
}
}  // namespace tarvenn::isa_detail
#endif

namespace tarvenn {

// Runs the kernel `f` compiled for the widest instruction set of isa_level(). `f`
// must be a lambda marked __attribute__((always_inline)), so that its body is
// compiled into each variant and vectorised with that variant's instructions:
//
//     with_widest_isa([&]() __attribute__((always_inline)) { ... });
template <class F>
auto with_widest_isa(F&& f) -> decltype(f()) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    switch (isa_level()) {
        case Isa::Avx512: return isa_detail::run_avx512(f);
        case Isa::Avx2: return isa_detail::run_avx2(f);
        case Isa::Baseline: break;
    }
#endif
    return f();
}

}  // namespace tarvenn
