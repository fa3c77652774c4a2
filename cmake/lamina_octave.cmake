# The plug-ins for GNU Octave, built by matlab/lamina_build.m under
# octave-cli ("mkoctfile --mex", or plain mkoctfile for the oct-files, with
# the project's floating-point flags) into ${PROJECT_BINARY_DIR}/octave,
# beside their help files: the folder a user adds to Octave's path. With the
# tests, ${PROJECT_BINARY_DIR}/octave_mex holds the MEX twins of the
# oct-files, which the tests and bench/octave_hessian.m compare them with.
# Enabled when mkoctfile and octave-cli are found.
option(LAMINA_OCTAVE "Build the Octave plug-ins when Octave is found" ${LAMINA_TOP_LEVEL})
find_program(LAMINA_MKOCTFILE mkoctfile)
find_program(LAMINA_OCTAVE_CLI octave-cli)

set(LAMINA_OCTAVE_DIR "${PROJECT_BINARY_DIR}/octave")
set(LAMINA_OCTAVE_MEX_DIR "${PROJECT_BINARY_DIR}/octave_mex")
set(LAMINA_OCTAVE_ENABLED OFF)
if(LAMINA_OCTAVE AND LAMINA_MKOCTFILE AND LAMINA_OCTAVE_CLI AND NOT LAMINA_SANITIZE)
  set(LAMINA_OCTAVE_ENABLED ON)
  set(flags "-Wall -Wextra")
  if(LAMINA_WERROR)
    string(APPEND flags " -Werror")
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       "${PROJECT_SOURCE_DIR}/include/lamina/*" "${PROJECT_SOURCE_DIR}/kernels/*" "${PROJECT_SOURCE_DIR}/src/*"
       "${PROJECT_SOURCE_DIR}/checks/*" "${PROJECT_SOURCE_DIR}/mex/*" "${PROJECT_SOURCE_DIR}/oct/*"
       "${PROJECT_SOURCE_DIR}/solver/*" "${PROJECT_SOURCE_DIR}/mesh/*"
       "${PROJECT_SOURCE_DIR}/matlab/*.m" "${LAMINA_MANIFEST}")
  set(outputs "")
  set(twins "")
  set(quoted "")
  foreach(name ${LAMINA_PLUGINS})
    if(name IN_LIST LAMINA_OCTFILES)
      list(APPEND outputs "${LAMINA_OCTAVE_DIR}/${name}.oct")
      list(APPEND twins "${LAMINA_OCTAVE_MEX_DIR}/${name}.mex")
    else()
      list(APPEND outputs "${LAMINA_OCTAVE_DIR}/${name}.mex")
    endif()
    list(APPEND quoted "'${name}'")
  endforeach()
  # Only the plug-ins this build has (lamina_solve needs CHOLMOD).
  list(JOIN quoted ", " plugin_list)
  # With the tests, the MEX twins of the oct-files too, in the same call: they
  # share its compiled objects.
  set(twin_argument "")
  set(LAMINA_OCTAVE_TWINS OFF)
  if(NOT (LAMINA_BUILD_TESTS AND twins))
    set(twins "")
  else()
    set(twin_argument ", '${LAMINA_OCTAVE_MEX_DIR}'")
    set(LAMINA_OCTAVE_TWINS ON)
  endif()
  add_custom_command(
    OUTPUT ${outputs} ${twins}
    COMMAND "${LAMINA_OCTAVE_CLI}" --no-gui --norc --quiet --eval
            "addpath('${PROJECT_SOURCE_DIR}/matlab'); lamina_build('${LAMINA_OCTAVE_DIR}', '${flags}', {${plugin_list}}${twin_argument})"
    DEPENDS ${sources}
    COMMENT "Building the Octave plug-ins in ${LAMINA_OCTAVE_DIR}"
    VERBATIM)
  add_custom_target(lamina_octave ALL DEPENDS ${outputs} ${twins})
  message(STATUS "lamina: Octave plug-ins go to ${LAMINA_OCTAVE_DIR}")
else()
  message(STATUS "lamina: mkoctfile/octave-cli not found, no Octave plug-ins")
endif()
