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

function(lamina_add_plugin name)
  cmake_parse_arguments(PLUGIN "" "" "SOURCES" ${ARGN})
  add_library(${name} MODULE ${PLUGIN_SOURCES})
  target_include_directories(${name} PRIVATE ${LAMINA_MANIFEST_include})
  target_link_libraries(${name} PRIVATE lamina_kernels lamina_checks lamina_mex_api
                        lamina_numerics lamina_warnings lamina_fuzz_coverage)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    SUFFIX "${LAMINA_MEX_SUFFIX}"
    LIBRARY_OUTPUT_DIRECTORY "${LAMINA_PLUGIN_DIR}")
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_options(${name} PRIVATE "-Wl,--version-script=${LAMINA_EXPORTS_MAP}")
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS "${LAMINA_EXPORTS_MAP}")
  endif()
endfunction()
