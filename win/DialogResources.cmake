# SPDX-License-Identifier: MIT
# The dialog templates and their artwork: win/dialogs.rc names its files
# from the project root.
#
# vigilon_dialog_resources(target [script]) puts the project root on the
# resource compiler's include path for the target, and recompiles the
# script when the templates' ids or the artwork change. The script is
# dialogs.rc itself, which is then added to the target, or a script of the
# target's own that includes it.
function(vigilon_dialog_resources target)
  get_filename_component(root "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.." ABSOLUTE)
  set(script "${ARGN}")
  if(NOT script)
    set(script "${root}/win/dialogs.rc")
    target_sources(${target} PRIVATE "${script}")
  endif()
  target_include_directories(${target} PRIVATE "${root}")
  set(inputs "${root}/win/dialogs.rc" "${root}/win/DialogIds.h")
  foreach(art 128.ico 129.bmp 137.bmp 26020.bmp)
    list(APPEND inputs "${root}/res/win/${art}")
  endforeach()
  set_source_files_properties("${script}" TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS "${inputs}")
endfunction()
