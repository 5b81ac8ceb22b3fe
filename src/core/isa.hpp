// Run-time choice of instruction set for the hot kernels. The library is built for
// baseline x86-64; a kernel with wider variants compiles one body several times
// (see TARVENN_ISA_VARIANTS) and picks the widest the CPU has, once per process.
// Results never depend on the variant: integer counts are exact in any order, and
// float code is built without contraction or reassociation, so every variant rounds
// the same operations in the same order.
#pragma once

namespace tarvenn {

enum class Isa { Baseline, Avx2, Avx512 };

// The widest instruction set this process uses: Baseline when the CPU lacks the
// others, on other architectures, or under TARVENN_FORCE_BASELINE_ISA=1.
Isa isa_level();
const char* isa_name(Isa isa);

}  // namespace tarvenn

// Defines `name(params)` returning `ret`, whose body `body_fn(args)` (an inline
// inline function) is compiled three times: for the
// baseline, for AVX2 and for AVX-512 (F, BW, VL, DQ). The body is inlined into each
// variant, so the compiler vectorises it with that variant's instructions.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TARVENN_ISA_VARIANTS(ret, name, params, args, body_fn)                                        \
    namespace isa_variants_##name {                                                                  \
    static ret baseline params { return body_fn args; }                                              \
    __attribute__((target("avx2,bmi,bmi2,popcnt"))) static ret avx2 params { return body_fn args; } \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx2,bmi,bmi2,popcnt"))) static ret    \
        avx512 params { return body_fn args; }                                                       \
    }                                                                                                \
    ret name params {                                                                                \
        static ret(*const chosen) params = [] {                                                      \
            switch (::tarvenn::isa_level()) {                                                        \
                case ::tarvenn::Isa::Avx512: return isa_variants_##name::avx512;                     \
                case ::tarvenn::Isa::Avx2: return isa_variants_##name::avx2;                         \
                case ::tarvenn::Isa::Baseline: break;                                                \
            }                                                                                        \
            return isa_variants_##name::baseline;                                                    \
        }();                                                                                         \
        return chosen args;                                                                          \
    }
#else
#define TARVENN_ISA_VARIANTS(ret, name, params, args, body_fn) \
    ret name params { return body_fn args; }
#endif
