# SPDX-License-Identifier: MIT
# Fails when a file of the Qt-free core includes a Qt header.
file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}"
  "${SOURCE_DIR}/app/*.cpp" "${SOURCE_DIR}/app/*.h"
  "${SOURCE_DIR}/probes/*.cpp" "${SOURCE_DIR}/probes/*.h"
  "${SOURCE_DIR}/graph/*.cpp" "${SOURCE_DIR}/graph/*.h"
  "${SOURCE_DIR}/service/*.cpp" "${SOURCE_DIR}/service/*.h")
set(offenders "")
foreach(f IN LISTS files)
  if(f MATCHES "(^|/)qt/")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${f}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]Q[A-Za-z]")
  if(hits)
    list(APPEND offenders "${f}")
  endif()
endforeach()
if(offenders)
  message(FATAL_ERROR "Qt headers in the Qt-free core: ${offenders}")
endif()
message(STATUS "core is free of Qt (${CMAKE_MATCH_COUNT} files checked)")
