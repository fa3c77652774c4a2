# lamina_add_plugin(<name> SOURCES ...)
#
# Builds a MEX file the way MATLAB's tools do on this platform: a loadable
# module named <name>.mexa64 (no "lib" prefix) that exports exactly
# mexFunction and mexfilerequiredapiversion and leaves the libmx/libmex
# functions undefined, to be bound by whichever host loads it.
set(LAMINA_PLUGIN_DIR "${PROJECT_BINARY_DIR}/mex")
set(LAMINA_EXPORTS_MAP "${CMAKE_CURRENT_LIST_DIR}/../mex/exports.map")

if(APPLE)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "arm64")
    set(LAMINA_MEX_SUFFIX ".mexmaca64")
  else()
    set(LAMINA_MEX_SUFFIX ".mexmaci64")
  endif()
elseif(WIN32)
  set(LAMINA_MEX_SUFFIX ".mexw64")
else()
  set(LAMINA_MEX_SUFFIX ".mexa64")
endif()

# The parts of a plug-in of manifest.txt: its gateway, the shared MEX glue
# and the sources of the groups its line names, except the groups CMake
# builds into libraries (the kernels, hessian; shell, mesh, solver), which
# are linked instead: the shell and the solver in their copies whose threads
# run on std::thread, as a MEX file imports nothing but its host and the C
# library (src/threads.cpp).
# (Sanitizer builds link the shell and solver themselves: src/CMakeLists.txt.)
set(LAMINA_GROUP_TARGET_hessian lamina_kernels)
set(LAMINA_GROUP_TARGET_mesh lamina_mesh)
if(LAMINA_SANITIZE)
  set(LAMINA_GROUP_TARGET_shell lamina_shell)
  set(LAMINA_GROUP_TARGET_solver lamina_solver)
else()
  set(LAMINA_GROUP_TARGET_shell lamina_shell_plain)
  set(LAMINA_GROUP_TARGET_solver lamina_solver_plain)
endif()
function(lamina_plugin_parts name sources_var libraries_var)
  set(sources ${LAMINA_PLUGIN_SOURCE_${name}} ${LAMINA_MANIFEST_gateway})
  set(libraries "")
  foreach(group ${LAMINA_PLUGIN_GROUPS_${name}})
    if(DEFINED LAMINA_GROUP_TARGET_${group})
      list(APPEND libraries ${LAMINA_GROUP_TARGET_${group}})
    else()
      list(APPEND sources ${LAMINA_MANIFEST_${group}})
    endif()
  endforeach()
  set(${sources_var} ${sources} PARENT_SCOPE)
  set(${libraries_var} ${libraries} PARENT_SCOPE)
endfunction()

# A MEX file that links the C++ library's parts (lamina::shell, the solver)
# carries the C++ runtime in itself, as MATLAB runs MEX files with the older
# runtime it ships (GCC on Linux; not under the sanitizers, whose runtimes
# expect to see the C++ runtime's allocations).
function(lamina_static_cxx_runtime target)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
     AND NOT LAMINA_SANITIZE)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()

function(lamina_add_plugin name)
  cmake_parse_arguments(PLUGIN "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${name} MODULE ${PLUGIN_SOURCES})
  target_include_directories(${name} PRIVATE ${LAMINA_MANIFEST_include})
  target_link_libraries(${name} PRIVATE ${PLUGIN_LIBRARIES} lamina_kernels lamina_checks
                        lamina_mex_api lamina_numerics lamina_warnings lamina_fuzz_coverage)
  if(lamina_shell_plain IN_LIST PLUGIN_LIBRARIES OR lamina_solver_plain IN_LIST PLUGIN_LIBRARIES)
    lamina_static_cxx_runtime(${name})
  endif()
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    SUFFIX "${LAMINA_MEX_SUFFIX}"
    LIBRARY_OUTPUT_DIRECTORY "${LAMINA_PLUGIN_DIR}")
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_options(${name} PRIVATE "-Wl,--version-script=${LAMINA_EXPORTS_MAP}")
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS "${LAMINA_EXPORTS_MAP}")
  endif()
endfunction()
