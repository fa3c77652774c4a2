// Instruction sets, and the one dispatcher that every kernel and the input
// checks go through.
//
// A kernel is written once, as a struct with a static member template
//
//   struct my_kernel {
//     template <class Isa> static LAMINA_ALWAYS_INLINE double run(args...);
//   };
//
// and called as dispatch<my_kernel>(path, args...). For every instruction set
// the dispatcher holds one trampoline compiled for that set (a target
// attribute); `run` is inlined into it, with everything it calls, so the
// whole loop is compiled for that set. The Isa tag tells the kernel, and the
// lane helpers it uses (lanes.h), which set it is compiled for.
//
// Every path performs the same IEEE operations in the same order, so the
// choice changes speed, never results. GCC's ifunc-based target_clones would
// do the same, but its resolvers run before sanitizer runtimes initialise in
// statically linked code, which rules it out for instrumented test builds.
//
// Adding an instruction set touches this file alone: a tag, a trampoline, a
// case in dispatch() and a test in preferred_isa().
#ifndef LAMINA_KERNELS_ISA_H
#define LAMINA_KERNELS_ISA_H

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LAMINA_X86_DISPATCH 1
#define LAMINA_TARGET_AVX2 __attribute__((target("avx2")))
#define LAMINA_TARGET_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx2")))
#else
#define LAMINA_X86_DISPATCH 0
#endif

#if defined(__GNUC__)
#define LAMINA_ALWAYS_INLINE inline __attribute__((always_inline))
#define LAMINA_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define LAMINA_ALWAYS_INLINE inline
#define LAMINA_NOINLINE __declspec(noinline)
#else
#define LAMINA_ALWAYS_INLINE inline
#define LAMINA_NOINLINE
#endif

namespace lamina {

// The instruction-set paths, narrowest first.
enum class isa { baseline = 0, avx2 = 1, avx512 = 2 };

// The path the public kernels take: AVX2 where the processor has it. Every
// path gives the same bits; AVX-512 runs no faster on the processors measured
// (a division or square root costs the same per element at every width, and
// the wider registers lower the clock), so it is kept for tests and
// comparison but not taken by default.
inline isa preferred_isa() {
#if LAMINA_X86_DISPATCH
  if (__builtin_cpu_supports("avx2")) return isa::avx2;
#endif
  return isa::baseline;
}

// The widest path this processor supports (a read of a word the C runtime
// filled in at start-up).
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

namespace detail {

// The tags a kernel's run<Isa> is instantiated with.
struct baseline_isa {
  static constexpr isa path = isa::baseline;
};
struct avx2_isa {
  static constexpr isa path = isa::avx2;
};
struct avx512_isa {
  static constexpr isa path = isa::avx512;
};

template <class Kernel, class... Args>
decltype(auto) on_baseline(Args... args) {
  return Kernel::template run<baseline_isa>(args...);
}

#if LAMINA_X86_DISPATCH
template <class Kernel, class... Args>
LAMINA_TARGET_AVX2 decltype(auto) on_avx2(Args... args) {
  return Kernel::template run<avx2_isa>(args...);
}

template <class Kernel, class... Args>
LAMINA_TARGET_AVX512 decltype(auto) on_avx512(Args... args) {
  return Kernel::template run<avx512_isa>(args...);
}
#endif

}  // namespace detail

// Runs Kernel::run on the given path. Calling a path the processor lacks is
// undefined (an illegal instruction); take preferred_isa() unless testing the
// paths against each other.
template <class Kernel, class... Args>
decltype(auto) dispatch(isa path, Args... args) {
#if LAMINA_X86_DISPATCH
  switch (path) {
    case isa::avx512:
      return detail::on_avx512<Kernel>(args...);
    case isa::avx2:
      return detail::on_avx2<Kernel>(args...);
    case isa::baseline:
      break;
  }
#endif
  (void)path;
  return detail::on_baseline<Kernel>(args...);
}

}  // namespace lamina

#endif  // LAMINA_KERNELS_ISA_H
