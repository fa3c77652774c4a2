// Run-time choice between code paths compiled for different x86 instruction
// sets. A binary built for plain x86-64 carries an AVX2 (and, for the
// kernels, an AVX-512) version of its hot loops and takes the widest one the
// processor supports, checked on every call (a read of a word the C runtime
// filled in at start-up).
//
// Every path performs the same IEEE operations in the same order, so the
// choice changes speed, never results. GCC's ifunc-based target_clones would
// do the same, but its resolvers run before sanitizer runtimes initialise in
// statically linked code, which rules it out for instrumented test builds.
#ifndef LAMINA_KERNELS_ISA_H
#define LAMINA_KERNELS_ISA_H

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LAMINA_X86_DISPATCH 1
#define LAMINA_TARGET_AVX2 __attribute__((target("avx2")))
#define LAMINA_TARGET_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx2")))
#define LAMINA_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define LAMINA_X86_DISPATCH 0
#define LAMINA_ALWAYS_INLINE inline
#endif

namespace lamina {

// The instruction-set paths, narrowest first.
enum class isa { baseline = 0, avx2 = 1, avx512 = 2 };

// The widest path this processor supports.
inline isa widest_supported_isa() {
#if LAMINA_X86_DISPATCH
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512vl")) {
    return isa::avx512;
  }
  if (__builtin_cpu_supports("avx2")) return isa::avx2;
#endif
  return isa::baseline;
}

}  // namespace lamina

#endif  // LAMINA_KERNELS_ISA_H
