# The plug-ins for MATLAB, built with CMake's FindMatlab the way MATLAB's
# "mex -R2017b" builds them, into ${PROJECT_BINARY_DIR}/matlab beside their
# help files. Taken only when a MATLAB installation is found (set
# Matlab_ROOT_DIR to point at one).
option(LAMINA_MATLAB "Build the MATLAB plug-ins when MATLAB is found" ${LAMINA_TOP_LEVEL})
if(LAMINA_MATLAB)
  find_package(Matlab QUIET COMPONENTS MX_LIBRARY)
endif()

if(LAMINA_MATLAB AND Matlab_FOUND)
  set(LAMINA_MATLAB_DIR "${PROJECT_BINARY_DIR}/matlab")
  foreach(name ${LAMINA_PLUGINS})
    # matlab_add_mex compiles MATLAB's own mexfilerequiredapiversion into the
    # module and defines MATLAB_MEX_FILE, which leaves mex/api_version.cpp empty.
    lamina_plugin_parts(${name} sources libraries)
    matlab_add_mex(
      NAME matlab_${name}
      MODULE
      R2017b
      OUTPUT_NAME ${name}
      SRC ${sources}
      LINK_TO ${libraries} lamina_kernels lamina_checks lamina_numerics lamina_warnings)
    if(lamina_shell_plain IN_LIST libraries OR lamina_solver_plain IN_LIST libraries)
      lamina_static_cxx_runtime(matlab_${name})
    endif()
    target_include_directories(matlab_${name} PRIVATE ${LAMINA_MANIFEST_include})
    set_target_properties(matlab_${name} PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY "${LAMINA_MATLAB_DIR}")
    configure_file("${PROJECT_SOURCE_DIR}/matlab/${name}.m" "${LAMINA_MATLAB_DIR}/${name}.m" COPYONLY)
  endforeach()
  message(STATUS "lamina: MATLAB ${Matlab_VERSION_STRING} found, plug-ins go to ${LAMINA_MATLAB_DIR}")
else()
  message(STATUS "lamina: MATLAB not found, no MATLAB plug-ins")
endif()
