# SPDX-License-Identifier: MIT
# The interface's resources: win/ui.rc, the artwork and every language's
# string table, dialogs and menus, made from the string table and the
# templates (dialogs.rc, graph.rc, menus.rc) by StringTableRc.cmake.
#
# vigilon_dialog_resources(target [script]) puts the project root and the
# made script on the resource compiler's include path for the target, and
# recompiles the script when the texts, the templates or the artwork change.
# The script is ui.rc itself, which is then added to the target, or a script
# of the target's own that includes it.
get_filename_component(VIGILON_WIN_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(VIGILON_WIN_GENERATED "${CMAKE_BINARY_DIR}/win/generated")
set(templates "${VIGILON_WIN_ROOT}/win/dialogs.rc" "${VIGILON_WIN_ROOT}/win/graph.rc" "${VIGILON_WIN_ROOT}/win/menus.rc")
string(REPLACE ";" "|" template_list "${templates}")
add_custom_command(OUTPUT "${VIGILON_WIN_GENERATED}/localized.rc"
  COMMAND "${CMAKE_COMMAND}" "-DHEADER=${VIGILON_WIN_ROOT}/base/StringTable.h"
    "-DSOURCE=${VIGILON_WIN_ROOT}/base/StringTable.cpp" "-DTEMPLATES=${template_list}"
    "-DOUTPUT=${VIGILON_WIN_GENERATED}/localized.rc"
    -P "${VIGILON_WIN_ROOT}/win/StringTableRc.cmake"
  DEPENDS "${VIGILON_WIN_ROOT}/base/StringTable.h" "${VIGILON_WIN_ROOT}/base/StringTable.cpp"
    "${VIGILON_WIN_ROOT}/win/StringTableRc.cmake" ${templates}
  COMMENT "Writing the localized resources" VERBATIM)
add_custom_target(vigilon_win_localized DEPENDS "${VIGILON_WIN_GENERATED}/localized.rc")

function(vigilon_dialog_resources target)
  get_filename_component(root "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.." ABSOLUTE)
  set(generated "${CMAKE_BINARY_DIR}/win/generated")
  set(script "${ARGN}")
  if(NOT script)
    set(script "${root}/win/ui.rc")
    target_sources(${target} PRIVATE "${script}")
  endif()
  add_dependencies(${target} vigilon_win_localized)
  target_include_directories(${target} PRIVATE "${root}" "${generated}")
  set(inputs "${root}/win/ui.rc" "${root}/win/art.rc" "${root}/win/DialogIds.h" "${root}/win/GraphResources.h"
    "${generated}/localized.rc")
  foreach(art 128.ico 129.bmp 137.bmp 26020.bmp)
    list(APPEND inputs "${root}/res/win/${art}")
  endforeach()
  set_property(SOURCE "${script}" TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS "${inputs}")
endfunction()
