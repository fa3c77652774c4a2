# Compiler settings shared by every target.
#
# lamina_numerics: the floating-point contract. Results are fixed bit for bit,
# so the compiler must not fuse a*b+c into one FMA (GCC does so by default
# under -march=native, clang within expressions) and must not reassociate:
# -ffp-contract=off, and never -ffast-math. Two flags change no result and
# only let the kernels vectorise: -fno-math-errno lets a square root compile
# to the instruction, and -fno-trapping-math lets both arms of a select be
# evaluated in vector lanes (floating-point exception flags are not part of
# the contract; nothing reads them).
add_library(lamina_numerics INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(lamina_numerics INTERFACE -ffp-contract=off -fno-math-errno
                         -fno-trapping-math)
elseif(MSVC)
  target_compile_options(lamina_numerics INTERFACE /fp:precise)
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

if(LAMINA_FUZZ)
  # Coverage instrumentation for every target, so that the fuzzer sees the
  # gateways and kernels inside the plug-ins it loads.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
if(LAMINA_SANITIZE)
  add_compile_options(-fsanitize=${LAMINA_SANITIZE} -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${LAMINA_SANITIZE})
endif()
