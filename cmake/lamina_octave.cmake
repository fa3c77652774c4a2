# The plug-ins for GNU Octave, built by matlab/lamina_build.m under
# octave-cli ("mkoctfile --mex" with the project's floating-point flags)
# into ${PROJECT_BINARY_DIR}/octave, beside their help files: the folder a
# user adds to Octave's path. Enabled when mkoctfile and octave-cli are found.
option(LAMINA_OCTAVE "Build the Octave plug-ins when Octave is found" ${LAMINA_TOP_LEVEL})
find_program(LAMINA_MKOCTFILE mkoctfile)
find_program(LAMINA_OCTAVE_CLI octave-cli)

set(LAMINA_OCTAVE_DIR "${PROJECT_BINARY_DIR}/octave")
set(LAMINA_OCTAVE_ENABLED OFF)
if(LAMINA_OCTAVE AND LAMINA_MKOCTFILE AND LAMINA_OCTAVE_CLI AND NOT LAMINA_SANITIZE)
  set(LAMINA_OCTAVE_ENABLED ON)
  set(flags "-Wall -Wextra")
  if(LAMINA_WERROR)
    string(APPEND flags " -Werror")
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       "${PROJECT_SOURCE_DIR}/include/lamina/*" "${PROJECT_SOURCE_DIR}/kernels/*" "${PROJECT_SOURCE_DIR}/src/*"
       "${PROJECT_SOURCE_DIR}/checks/*" "${PROJECT_SOURCE_DIR}/mex/*" "${PROJECT_SOURCE_DIR}/solver/*"
       "${PROJECT_SOURCE_DIR}/mesh/*"
       "${PROJECT_SOURCE_DIR}/matlab/*.m" "${LAMINA_MANIFEST}")
  set(outputs "")
  set(quoted "")
  foreach(name ${LAMINA_PLUGINS})
    list(APPEND outputs "${LAMINA_OCTAVE_DIR}/${name}.mex")
    list(APPEND quoted "'${name}'")
  endforeach()
  # Only the plug-ins this build has (lamina_solve needs CHOLMOD).
  list(JOIN quoted ", " plugin_list)
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND "${LAMINA_OCTAVE_CLI}" --no-gui --norc --quiet --eval
            "addpath('${PROJECT_SOURCE_DIR}/matlab'); lamina_build('${LAMINA_OCTAVE_DIR}', '${flags}', {${plugin_list}})"
    DEPENDS ${sources}
    COMMENT "Building the Octave plug-ins in ${LAMINA_OCTAVE_DIR}"
    VERBATIM)
  add_custom_target(lamina_octave ALL DEPENDS ${outputs})
  message(STATUS "lamina: Octave plug-ins go to ${LAMINA_OCTAVE_DIR}")
else()
  message(STATUS "lamina: mkoctfile/octave-cli not found, no Octave plug-ins")
endif()
