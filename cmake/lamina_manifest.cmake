# Reads manifest.txt, the one list of what lamina builds, into variables:
#
#   LAMINA_MANIFEST_<key>        the words of the line that starts with <key>
#                                (kernels, checks, gateway, include, flags_gnu,
#                                flags_msvc), paths made absolute where they
#                                are files or folders of the tree
#   LAMINA_PLUGINS               the plug-in names, in the order listed
#   LAMINA_PLUGIN_SOURCE_<name>  the gateway source of each plug-in (absolute)
set(LAMINA_MANIFEST "${PROJECT_SOURCE_DIR}/manifest.txt")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${LAMINA_MANIFEST}")
set(LAMINA_PLUGINS "")
file(STRINGS "${LAMINA_MANIFEST}" lamina_manifest_lines)
foreach(line IN LISTS lamina_manifest_lines)
  string(REGEX REPLACE "#.*" "" line "${line}")
  string(STRIP "${line}" line)
  if(line STREQUAL "")
    continue()
  endif()
  string(REGEX REPLACE "[ \t]+" ";" words "${line}")
  list(GET words 0 key)
  list(REMOVE_AT words 0)
  if(key STREQUAL "plugin")
    list(GET words 0 name)
    list(GET words 1 source)
    list(APPEND LAMINA_PLUGINS ${name})
    set(LAMINA_PLUGIN_SOURCE_${name} "${PROJECT_SOURCE_DIR}/${source}")
  elseif(key MATCHES "^flags_")
    set(LAMINA_MANIFEST_${key} ${words})
  else()
    list(TRANSFORM words PREPEND "${PROJECT_SOURCE_DIR}/")
    set(LAMINA_MANIFEST_${key} ${words})
  endif()
endforeach()
