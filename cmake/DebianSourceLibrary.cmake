# SPDX-License-Identifier: MIT
# A static library compiled into the Windows programs from Debian's own
# source package, which a script of scripts/ lays out under build/deps:
# its files listed in sources.txt, relative to SUBDIR.
#
#   vigilon_source_library(TARGET name ALIAS alias LABEL "what" SCRIPT script
#                          DIR default-folder VARIABLE cache-variable
#                          [SUBDIR folder] [INCLUDE folder] [REQUIRES file...])
#
# The folder is the cache variable's value; a configuration without the
# sources stops and says which script makes them. Warnings are the library
# makers': none are shown.
function(vigilon_source_library)
  cmake_parse_arguments(lib "" "TARGET;ALIAS;LABEL;SCRIPT;DIR;VARIABLE;SUBDIR;INCLUDE" "REQUIRES" ${ARGN})
  set(${lib_VARIABLE} "${CMAKE_SOURCE_DIR}/build/deps/${lib_DIR}"
      CACHE PATH "Where ${lib_LABEL}'s sources are (scripts/${lib_SCRIPT} puts them there)")
  set(root "${${lib_VARIABLE}}")
  foreach(needed IN ITEMS sources.txt ${lib_REQUIRES})
    if(NOT EXISTS "${root}/${needed}")
      message(FATAL_ERROR "${lib_LABEL}'s source is not in ${root}: run scripts/${lib_SCRIPT} "
                          "(VIGILON_MINGW=1 scripts/bootstrap.sh does), or set ${lib_VARIABLE}.")
    endif()
  endforeach()
  file(STRINGS "${root}/sources.txt" files)
  if(lib_SUBDIR)
    list(TRANSFORM files PREPEND "${root}/${lib_SUBDIR}/")
  else()
    list(TRANSFORM files PREPEND "${root}/")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${root}/sources.txt")
  add_library(${lib_TARGET} STATIC ${files})
  if(lib_INCLUDE)
    target_include_directories(${lib_TARGET} SYSTEM PUBLIC "${root}/${lib_INCLUDE}")
  else()
    target_include_directories(${lib_TARGET} SYSTEM PUBLIC "${root}")
  endif()
  if(lib_SUBDIR)
    target_include_directories(${lib_TARGET} PRIVATE "${root}/${lib_SUBDIR}")
  endif()
  target_compile_options(${lib_TARGET} PRIVATE -w -O2)
  set_target_properties(${lib_TARGET} PROPERTIES FOLDER "third-party")
  add_library(${lib_ALIAS} ALIAS ${lib_TARGET})
  set(${lib_VARIABLE} "${root}" PARENT_SCOPE)
endfunction()
