# lamina for C++ programs: the four static libraries under the names a user
# links to, an umbrella target, and (with LAMINA_INSTALL) the install rules
# of a CMake package (and a pkg-config file, lamina.pc):
#
#   find_package(lamina 0.2 REQUIRED)             # or add_subdirectory /
#   target_link_libraries(app PRIVATE lamina::lamina)   # FetchContent
#
#   lamina::kernels  the energy and gradient kernels   <lamina/lamina.h>,
#                    and lamina::version()              <lamina/version.h>
#   lamina::checks   the input checks                   <lamina/checks.h>
#   lamina::mesh     the edge table builder             <lamina/edge_table.h>
#   lamina::shell    the prepared shell, the Hessian    <lamina/shell.h>, <lamina/hessian.h>
#   lamina::lamina   all of them
#   lamina::solve    the solver (needs CHOLMOD)          <lamina/solve.h>
#                    an optional component: find_package(lamina 0.2 COMPONENTS solve),
#                    not part of lamina::lamina, so that the others need no SuiteSparse
#
# The same names exist in a build tree (ALIAS targets) and in an installed
# package (imported targets), so a project links the same way either way.
# The floating-point flags are compiled into the libraries and not passed on:
# a program only calls the kernels, and its own flags cannot change their
# results.
add_library(lamina INTERFACE)
target_link_libraries(lamina INTERFACE lamina_shell lamina_mesh lamina_checks lamina_kernels)
add_library(lamina::lamina ALIAS lamina)
foreach(part kernels checks mesh shell)
  set_target_properties(lamina_${part} PROPERTIES EXPORT_NAME ${part})
  add_library(lamina::${part} ALIAS lamina_${part})
endforeach()

option(LAMINA_INSTALL "Install the headers, libraries and CMake package files"
       ${LAMINA_TOP_LEVEL})
if(NOT LAMINA_INSTALL)
  return()
endif()

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
set(LAMINA_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/lamina" CACHE STRING
    "Where to install laminaConfig.cmake, relative to the prefix")

install(TARGETS lamina lamina_kernels lamina_checks lamina_mesh lamina_shell
        EXPORT laminaTargets
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}"
        INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/include/lamina"
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}"
        FILES_MATCHING PATTERN "*.h")
install(FILES "${PROJECT_BINARY_DIR}/include/lamina/version.h"
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/lamina")
install(EXPORT laminaTargets
        NAMESPACE lamina::
        DESTINATION "${LAMINA_INSTALL_CMAKEDIR}")
# The solve component: its library, its targets in a file of their own, and
# the search for CHOLMOD that laminaConfig.cmake repeats before loading them.
if(LAMINA_SOLVER_ENABLED)
  install(TARGETS lamina_solver
          EXPORT laminaSolveTargets
          ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}"
          INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
  install(EXPORT laminaSolveTargets
          NAMESPACE lamina::
          DESTINATION "${LAMINA_INSTALL_CMAKEDIR}")
  install(FILES "${CMAKE_CURRENT_LIST_DIR}/lamina_cholmod.cmake"
          DESTINATION "${LAMINA_INSTALL_CMAKEDIR}")
endif()

configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/laminaConfig.cmake.in"
                              "${PROJECT_BINARY_DIR}/laminaConfig.cmake"
                              INSTALL_DESTINATION "${LAMINA_INSTALL_CMAKEDIR}")
# Before 1.0 a minor release may change the API: 0.2.x satisfies a request
# for 0.2 or 0.2.y (y <= x), and neither 0.1 nor 0.3.
write_basic_package_version_file("${PROJECT_BINARY_DIR}/laminaConfigVersion.cmake"
                                 COMPATIBILITY SameMinorVersion)
install(FILES "${PROJECT_BINARY_DIR}/laminaConfig.cmake"
              "${PROJECT_BINARY_DIR}/laminaConfigVersion.cmake"
        DESTINATION "${LAMINA_INSTALL_CMAKEDIR}")
# lamina.pc, for builds without CMake (pkg-config). Its prefix is the path
# from its own folder up to the install prefix, so the prefix can be moved.
set(LAMINA_PKGCONFIG_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(LAMINA_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(LAMINA_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(LAMINA_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH up "/prefix/${LAMINA_PKGCONFIG_DIR}" "/prefix")
  string(REGEX REPLACE "/$" "" up "${up}")
  set(LAMINA_PC_PREFIX "\${pcfiledir}/${up}")
  set(LAMINA_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(LAMINA_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/lamina.pc.in" "${PROJECT_BINARY_DIR}/lamina.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/lamina.pc" DESTINATION "${LAMINA_PKGCONFIG_DIR}")

install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_SOURCE_DIR}/CHANGELOG.md"
              "${PROJECT_SOURCE_DIR}/examples/shell_energy_example.cpp"
              "${PROJECT_SOURCE_DIR}/examples/newton_example.cpp"
              "${PROJECT_SOURCE_DIR}/examples/solve_example.cpp"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")
