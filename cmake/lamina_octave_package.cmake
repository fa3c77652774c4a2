# The Octave package: "cmake --build <build> --target octave_package" writes
# lamina-<version>.tar.gz at the top of the build tree, for
#
#   pkg install lamina-<version>.tar.gz
#
# on a machine with Octave's mkoctfile (Debian: liboctave-dev). It holds
#
#   DESCRIPTION       name, version (project(VERSION)), date, categories, ...
#   COPYING, NEWS     LICENSE and CHANGELOG.md
#   INDEX             the functions: one per plug-in, and lamina_edge_table
#   post_install.m    moves each plug-in's help file beside its MEX or oct-file
#   inst/             the plug-ins' help files and lamina_edge_table.m
#   src/Makefile      builds the plug-ins with $(MKOCTFILE) (--mex for the
#                     MEX files) and the manifest's floating-point flags
#   src/...           the sources and headers the plug-ins are built from
#
# Everything that names a plug-in or a source is written here from
# manifest.txt, so adding a plug-in there adds it to the package. Packaging
# needs neither Octave nor a compiler.
set(LAMINA_OCTAVE_PACKAGE "${PROJECT_BINARY_DIR}/lamina-${PROJECT_VERSION}.tar.gz")
set(LAMINA_OCTAVE_PACKAGE_TEMPLATES "${CMAKE_CURRENT_LIST_DIR}/octave_package")

# Paths relative to the repository root, as the package's src/ holds them.
function(lamina_relative out)
  set(result "")
  foreach(path ${ARGN})
    file(RELATIVE_PATH rel "${PROJECT_SOURCE_DIR}" "${path}")
    list(APPEND result "${rel}")
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# In a function, so that its many lists stay out of the callers' scope.
function(lamina_add_octave_package)
  set(package_name "lamina-${PROJECT_VERSION}")
  set(gen "${PROJECT_BINARY_DIR}/octave_package")
  set(here "${LAMINA_OCTAVE_PACKAGE_TEMPLATES}")

  # What the plug-ins are compiled from: the same lists matlab/lamina_build.m
  # takes in Octave (kernels and checks for every plug-in, the MEX glue for
  # MEX files and the oct glue for oct-files, plus its own gateway source and
  # the groups its manifest line names, such as hessian: the oct line's for
  # an oct-file), the headers of the include folders, and the linker maps.
  lamina_relative(common ${LAMINA_MANIFEST_kernels} ${LAMINA_MANIFEST_checks})
  lamina_relative(mex_glue ${LAMINA_MANIFEST_gateway})
  lamina_relative(oct_glue ${LAMINA_MANIFEST_octgateway})
  lamina_relative(include_dirs ${LAMINA_MANIFEST_include})
  set(header_paths "")
  foreach(dir ${LAMINA_MANIFEST_include})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS "${dir}/*.h")
    list(APPEND header_paths ${found})
  endforeach()
  list(REMOVE_DUPLICATES header_paths)
  list(SORT header_paths)
  lamina_relative(headers ${header_paths})

  set(plugin_sources "")
  set(LAMINA_PLUGIN_SOURCE_LINES "")
  foreach(name ${LAMINA_PLUGINS})
    if(name IN_LIST LAMINA_OCTFILES)
      set(form OCTFILE)
    else()
      set(form PLUGIN)
    endif()
    set(own "${LAMINA_${form}_SOURCE_${name}}")
    set(libraries "")
    foreach(group ${LAMINA_${form}_GROUPS_${name}})
      if(NOT DEFINED LAMINA_MANIFEST_${group})
        message(FATAL_ERROR "manifest.txt: plug-in ${name} names the group ${group}, which no line defines")
      endif()
      list(APPEND own ${LAMINA_MANIFEST_${group}})
      # A links_<group> line names the libraries the group needs.
      foreach(library ${LAMINA_MANIFEST_links_${group}})
        list(APPEND libraries "-l${library}")
      endforeach()
    endforeach()
    lamina_relative(own ${own})
    list(APPEND plugin_sources ${own})
    list(JOIN own " " own)
    list(JOIN libraries " " libraries)
    string(APPEND LAMINA_PLUGIN_SOURCE_LINES "${name}_SOURCES = ${own}\n${name}_LIBS = ${libraries}\n")
  endforeach()
  list(REMOVE_DUPLICATES plugin_sources)

  list(JOIN LAMINA_MANIFEST_flags_gnu " " LAMINA_FPFLAGS)
  list(TRANSFORM include_dirs PREPEND "-I" OUTPUT_VARIABLE includes)
  list(JOIN includes " " LAMINA_INCLUDES)
  list(JOIN LAMINA_PLUGINS " " LAMINA_PLUGIN_NAMES)
  list(JOIN LAMINA_OCTFILES " " LAMINA_OCTFILE_NAMES)
  list(JOIN common " " LAMINA_COMMON_SOURCES)
  list(JOIN mex_glue " " LAMINA_MEX_SOURCES)
  list(JOIN oct_glue " " LAMINA_OCT_SOURCES)
  list(JOIN plugin_sources " " LAMINA_PLUGIN_SOURCES)
  list(JOIN headers " " LAMINA_HEADERS)
  configure_file("${here}/Makefile.in" "${gen}/Makefile" @ONLY)

  # INDEX: the plug-ins, then the edge table builder.
  set(index "lamina >> Elastic energy of thin shells\nShell energy\n")
  foreach(name ${LAMINA_PLUGINS})
    string(APPEND index "  ${name}\n")
  endforeach()
  string(APPEND index "Meshes\n  lamina_edge_table\n")
  file(WRITE "${gen}/INDEX.new" "${index}")
  configure_file("${gen}/INDEX.new" "${gen}/INDEX" COPYONLY)

  # The files of the package, as pairs: source, place in the package.
  set(files
    "${gen}/Makefile" src/Makefile
    "${gen}/INDEX" INDEX
    "${PROJECT_SOURCE_DIR}/LICENSE" COPYING
    "${PROJECT_SOURCE_DIR}/CHANGELOG.md" NEWS
    "${here}/post_install.m" post_install.m
    "${PROJECT_SOURCE_DIR}/mex/exports.map" src/mex/exports.map
    "${PROJECT_SOURCE_DIR}/oct/exports.map" src/oct/exports.map)
  set(sources ${common} ${mex_glue} ${oct_glue} ${plugin_sources} ${headers})
  list(REMOVE_DUPLICATES sources)
  foreach(path ${sources})
    list(APPEND files "${PROJECT_SOURCE_DIR}/${path}" "src/${path}")
  endforeach()
  foreach(name ${LAMINA_PLUGINS} lamina_edge_table)
    list(APPEND files "${PROJECT_SOURCE_DIR}/matlab/${name}.m" "inst/${name}.m")
  endforeach()

  list(JOIN LAMINA_PLUGINS ", " functions)
  set(inputs "")
  list(LENGTH files n)
  math(EXPR last "${n} - 2")
  foreach(i RANGE 0 ${last} 2)
    list(GET files ${i} path)
    list(APPEND inputs "${path}")
  endforeach()
  file(WRITE "${gen}/package.cmake.new"
    "# Written by cmake/lamina_octave_package.cmake: what make_package.cmake packs.\n"
    "set(LAMINA_NAME \"${package_name}\")\n"
    "set(LAMINA_VERSION \"${PROJECT_VERSION}\")\n"
    "set(LAMINA_FUNCTIONS \"${functions}\")\n"
    "set(LAMINA_DESCRIPTION_IN \"${here}/DESCRIPTION.in\")\n"
    "set(LAMINA_STAGE \"${gen}/stage\")\n"
    "set(LAMINA_TARBALL \"${LAMINA_OCTAVE_PACKAGE}\")\n"
    "set(LAMINA_FILES \"${files}\")\n")
  configure_file("${gen}/package.cmake.new" "${gen}/package.cmake" COPYONLY)

  add_custom_command(
    OUTPUT "${LAMINA_OCTAVE_PACKAGE}"
    COMMAND "${CMAKE_COMMAND}" -DLAMINA_PACKAGE_LIST=${gen}/package.cmake
            -P "${here}/make_package.cmake"
    DEPENDS ${inputs} "${gen}/package.cmake" "${here}/make_package.cmake" "${here}/DESCRIPTION.in"
    COMMENT "Writing the Octave package ${LAMINA_OCTAVE_PACKAGE}"
    VERBATIM)
  add_custom_target(octave_package DEPENDS "${LAMINA_OCTAVE_PACKAGE}")
endfunction()

lamina_add_octave_package()
