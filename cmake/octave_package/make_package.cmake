# Packs the Octave package (cmake -DLAMINA_PACKAGE_LIST=... -P this file):
# copies the files that cmake/lamina_octave_package.cmake listed into a
# fresh folder lamina-<version>/, writes DESCRIPTION with today's date
# (or SOURCE_DATE_EPOCH's) and tars the folder, the one top folder
# "pkg install" expects.
include("${LAMINA_PACKAGE_LIST}")

set(top "${LAMINA_STAGE}/${LAMINA_NAME}")
file(REMOVE_RECURSE "${LAMINA_STAGE}")
file(MAKE_DIRECTORY "${top}")

list(LENGTH LAMINA_FILES n)
math(EXPR last "${n} - 2")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET LAMINA_FILES ${i} from)
  list(GET LAMINA_FILES ${j} to)
  if(NOT EXISTS "${from}")
    message(FATAL_ERROR "octave_package: ${from} is missing (wanted as ${to})")
  endif()
  configure_file("${from}" "${top}/${to}" COPYONLY)
endforeach()

string(TIMESTAMP LAMINA_DATE "%Y-%m-%d" UTC)
configure_file("${LAMINA_DESCRIPTION_IN}" "${top}/DESCRIPTION" @ONLY)

file(REMOVE "${LAMINA_TARBALL}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E tar czf "${LAMINA_TARBALL}" "${LAMINA_NAME}"
  WORKING_DIRECTORY "${LAMINA_STAGE}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "octave_package: tar failed (${status})")
endif()
message(STATUS "Octave package: ${LAMINA_TARBALL}")
