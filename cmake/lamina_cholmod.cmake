# CHOLMOD (SuiteSparse), for the solver: defines the imported target
# SuiteSparse::CHOLMOD when CHOLMOD is found. SuiteSparse 7 and later install
# a CMake package of that name, which is used where it exists; older
# releases (Debian 12 ships SuiteSparse 5.12: libsuitesparse-dev) install
# neither CMake nor pkg-config files, so the header and the library are
# looked for directly. Set CHOLMOD_ROOT or CMAKE_PREFIX_PATH to point at
# another installation. Installed with lamina's CMake package, where
# laminaConfig.cmake includes it for the solve component.
if(NOT TARGET SuiteSparse::CHOLMOD)
  find_package(CHOLMOD CONFIG QUIET)
endif()
if(NOT TARGET SuiteSparse::CHOLMOD)
  find_path(LAMINA_CHOLMOD_INCLUDE_DIR cholmod.h PATH_SUFFIXES suitesparse)
  find_library(LAMINA_CHOLMOD_LIBRARY cholmod)
  mark_as_advanced(LAMINA_CHOLMOD_INCLUDE_DIR LAMINA_CHOLMOD_LIBRARY)
  if(LAMINA_CHOLMOD_INCLUDE_DIR AND LAMINA_CHOLMOD_LIBRARY)
    # GLOBAL: a project that adds lamina with add_subdirectory links
    # lamina::solve from its own folders.
    add_library(SuiteSparse::CHOLMOD UNKNOWN IMPORTED GLOBAL)
    set_target_properties(SuiteSparse::CHOLMOD PROPERTIES
      IMPORTED_LOCATION "${LAMINA_CHOLMOD_LIBRARY}"
      INTERFACE_INCLUDE_DIRECTORIES "${LAMINA_CHOLMOD_INCLUDE_DIR}")
  endif()
endif()
