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

if(LAMINA_FUZZ)
  # Coverage instrumentation for every target, so that the fuzzer sees the
  # gateways and kernels inside the plug-ins it loads.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
if(LAMINA_SANITIZE)
  # Line tables are all a sanitizer's stack traces need; full debug
  # information doubles the time the Hessian kernels take to compile.
  add_compile_options(-fsanitize=${LAMINA_SANITIZE} -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -g1)
  add_link_options(-fsanitize=${LAMINA_SANITIZE})
endif()
