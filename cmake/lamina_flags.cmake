# Compiler settings shared by every target.
#
# lamina_numerics: the floating-point contract, whose flags manifest.txt
# lists (and explains) for every build of the kernels.
add_library(lamina_numerics INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(lamina_numerics INTERFACE ${LAMINA_MANIFEST_flags_gnu})
elseif(MSVC)
  target_compile_options(lamina_numerics INTERFACE ${LAMINA_MANIFEST_flags_msvc})
endif()

add_library(lamina_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(lamina_warnings INTERFACE -Wall -Wextra)
  if(LAMINA_WERROR)
    target_compile_options(lamina_warnings INTERFACE -Werror)
  endif()
elseif(MSVC)
  target_compile_options(lamina_warnings INTERFACE /W4 $<$<BOOL:${LAMINA_WERROR}>:/WX>)
endif()

# Coverage instrumentation for the fuzzers, on what decides how a call ends:
# the gateways, the MEX glue and the input checks. The kernels stay without
# it (they keep the sanitizers): they only compute, their branches depend on
# the geometry rather than on what the fuzzer varies, and instrumenting them
# adds much to the compile time of the Hessian kernels.
add_library(lamina_fuzz_coverage INTERFACE)
if(LAMINA_FUZZ)
  target_compile_options(lamina_fuzz_coverage INTERFACE -fsanitize=fuzzer-no-link)
endif()
if(LAMINA_SANITIZE)
  # Line tables are all a sanitizer's stack traces need; full debug
  # information doubles the time the Hessian kernels take to compile. With
  # GCC, -O1 (after the build type's -O2, so it wins) halves it again: its
  # instrumentation of the inlined SIMD kernels is what costs, and -O1 is
  # what ASan's own documentation suggests. clang 14 takes as long at -O1 as
  # at -O2 (373 s and 406 s for the Hessian kernels), so its builds (the
  # fuzzers) keep -O2. The arithmetic is IEEE's at every level (no
  # contraction, no fast-math), so the results are the same bits.
  #
  # Every report must end the run. GCC compiles that in
  # (-fno-sanitize-recover). clang 14, given that flag with address and
  # undefined together, spends over six minutes on the Hessian kernels (a
  # minute and a half without it), so clang builds keep the recoverable
  # checks and are run with UBSAN_OPTIONS=halt_on_error=1, as the test and
  # fuzz scripts do; a report then ends the run all the same.
  add_compile_options(-fsanitize=${LAMINA_SANITIZE} -fno-omit-frame-pointer -g1
                      $<$<NOT:$<CXX_COMPILER_ID:Clang>>:-O1>
                      $<$<NOT:$<CXX_COMPILER_ID:Clang>>:-fno-sanitize-recover=all>)
  add_link_options(-fsanitize=${LAMINA_SANITIZE})
endif()
