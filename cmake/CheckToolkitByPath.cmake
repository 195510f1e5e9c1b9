# SPDX-License-Identifier: MIT
# A reader knows from the path which toolkit a file may use: the Qt front end
# in qt/ uses Qt, the Win32 front end in win/ and the Windows halves of
# portable parts in windows/ folders the Windows API, all others are
# portable. For the sources in the folders named in `areas` below this
# fails, naming each offender and why, when
#  - a file outside a qt/ folder includes a Qt header;
#  - a file outside a win/ or windows/ folder includes a Windows header;
#  - a file outside a qt/ (win/) folder reaches a file in a qt/ (win/)
#    folder, or a file outside the Windows code reaches a windows/ file,
#    through the project files it includes, followed to the end; an include
#    is looked for beside the including file, then from the project's root;
#  - a file outside qt/, win/ and the posix/ and windows/ halves, other than
#    base/System.h, asks in the preprocessor which system it is built
#    for (_WIN32, _WIN64, __MINGW32__, _MSC_VER, __linux__, ...): portable
#    code reads System.h's constants or leaves the difference to a half;
#  - a header that the build chooses by include path (found neither way)
#    exists in a posix/ or windows/ folder without its twin in the other;
#  - LINKS_FILE, written by cmake/ToolkitLinks.cmake when the build is
#    configured, names a target outside the qt/ folders that links Qt or
#    compiles a qt/ file.
# cmake -DSOURCE_DIR=<project root> [-DLINKS_FILE=<file>] -P CheckToolkitByPath.cmake
cmake_minimum_required(VERSION 3.25)

cmake_path(SET root NORMALIZE "${SOURCE_DIR}/")
set(areas base probes store graph history metrics app service reg qt win)
set(patterns "")
foreach(area IN LISTS areas)
  list(APPEND patterns "${root}${area}/*.cpp" "${root}${area}/*.h")
endforeach()
file(GLOB_RECURSE files RELATIVE "${root}" ${patterns})
list(SORT files)
# The files that exist once per system, for the twins of headers chosen by
# include path.
set(platform_files "${files}")
list(FILTER platform_files INCLUDE REGEX "(^|/)(posix|windows)/")

# Qt's headers: <QWidget>, <QtCore/QString>, <qtwidgetsglobal.h>, <qpa/...>.
set(qt_header "^(Q[A-Za-z]|qt|qpa/)")
# Windows headers, compared in lower case: the Windows API and the C
# runtime's own.
set(windows_header "^(win[a-z0-9_]*|ws2[a-z0-9_]*|wsipx|mswsock|mstcpip|iphlpapi|icmpapi|ipexport|iptypes|netioapi|afunix|shellapi|shlobj|shlwapi|shobjidl|shtypes|knownfolders|commctrl|commdlg|richedit|uxtheme|dwmapi|objbase|ole2|oleauto|combaseapi|evntprov|lmcons|lm|userenv|tlhelp32|psapi|wtsapi32|sddl|aclapi|accctrl|processthreadsapi|synchapi|handleapi|fileapi|sysinfoapi|libloaderapi|errhandlingapi|timeapi|mmsystem|dbghelp|versionhelpers|sdkddkver|ntdef|ntstatus|setupapi|powrprof|io|share|direct|process|conio|tchar)\\.h$")

set(problems "")
macro(offend text)
  list(APPEND problems "${text}")
endmacro()

function(in_folder path folder out)
  if(path MATCHES "(^|/)${folder}/")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# Reads the includes of a project file once: the project files it includes
# (edges_<id>) and the names of the others (outside_<id>), as "<name>" or
# "\"name\"".
function(read_includes file)
  string(MAKE_C_IDENTIFIER "${file}" id)
  if(DEFINED edges_${id})
    return()
  endif()
  set(edges "")
  set(outside "")
  file(STRINGS "${root}${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][^>\"]+[>\"]")
  cmake_path(GET file PARENT_PATH dir)
  foreach(line IN LISTS lines)
    string(REGEX MATCH "include[ \t]*([<\"])([^>\"]+)[>\"]" matched "${line}")
    set(delimiter "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    set(candidates "${root}${name}")
    if(delimiter STREQUAL "\"")
      list(PREPEND candidates "${root}${dir}/${name}")
    endif()
    set(found "")
    foreach(candidate IN LISTS candidates)
      cmake_path(SET candidate NORMALIZE "${candidate}")
      if(EXISTS "${candidate}" AND NOT IS_DIRECTORY "${candidate}")
        cmake_path(RELATIVE_PATH candidate BASE_DIRECTORY "${root}" OUTPUT_VARIABLE relative)
        if(NOT relative MATCHES "^\\.\\./")
          set(found "${relative}")
          break()
        endif()
      endif()
    endforeach()
    if(found)
      list(APPEND edges "${found}")
    elseif(delimiter STREQUAL "\"")
      list(APPEND outside "\"${name}\"")
    else()
      list(APPEND outside "<${name}>")
    endif()
  endforeach()
  set(edges_${id} "${edges}" PARENT_SCOPE)
  set(outside_${id} "${outside}" PARENT_SCOPE)
endfunction()

# A preprocessor line that names a system's own macro.
set(system_macro "^[ \t]*#[ \t]*(if|ifdef|ifndef|elif|elifdef|elifndef)([^A-Za-z0-9_].*)?[^A-Za-z0-9_](_WIN32|_WIN64|__MINGW32__|__MINGW64__|_MSC_VER|__CYGWIN__|__linux__|__linux|__APPLE__|__unix__|__unix)([^A-Za-z0-9_]|$)")
set(system_file "base/System.h")

foreach(file IN LISTS files)
  if(NOT file STREQUAL system_file AND NOT file MATCHES "(^|/)(qt|win|posix|windows)/")
    file(STRINGS "${root}${file}" asked REGEX "${system_macro}")
    if(asked)
      list(GET asked 0 first)
      string(STRIP "${first}" first)
      offend("${file}: asks which system it is built for (${first}) outside the halves and the front ends (read ${system_file} or move the code into a posix/ or windows/ half)")
    endif()
  endif()
  read_includes("${file}")
  string(MAKE_C_IDENTIFIER "${file}" id)
  in_folder("${file}" qt file_qt)
  in_folder("${file}" win file_win)
  in_folder("${file}" windows file_windows)

  # The headers of systems and libraries it includes itself.
  foreach(include IN LISTS outside_${id})
    string(REGEX REPLACE "^[<\"](.*)[>\"]$" "\\1" name "${include}")
    string(TOLOWER "${name}" lower)
    if(NOT file_qt AND name MATCHES "${qt_header}")
      offend("${file}: includes the Qt header ${include} outside a qt/ folder")
    endif()
    if(NOT file_win AND NOT file_windows AND NOT lower MATCHES "/" AND lower MATCHES "${windows_header}")
      offend("${file}: includes the Windows header ${include} outside a win/ or windows/ folder")
    endif()
    # A header that the include path chooses per system comes in twins.
    if(include MATCHES "^\"")
      string(REPLACE "." "\\." escaped "${name}")
      set(twins "${platform_files}")
      list(FILTER twins INCLUDE REGEX "(^|/)(posix|windows)/${escaped}$")
      foreach(twin IN LISTS twins)
        if(twin MATCHES "(^|/)posix/${escaped}$")
          string(REGEX REPLACE "(^|/)posix/${escaped}$" "\\1windows/${name}" other "${twin}")
        else()
          string(REGEX REPLACE "(^|/)windows/${escaped}$" "\\1posix/${name}" other "${twin}")
        endif()
        if(NOT EXISTS "${root}${other}")
          offend("${file}: includes ${include}, chosen by the include path, but ${twin} has no twin ${other}")
        endif()
      endforeach()
    endif()
  endforeach()

  # The project files it reaches: each path is followed until it ends or
  # meets a file of a toolkit folder this file is not in.
  set(queue "")
  foreach(next IN LISTS edges_${id})
    list(APPEND queue "${file}>${next}")
  endforeach()
  set(seen "${file}")
  while(queue)
    list(POP_FRONT queue chain)
    string(REGEX MATCH "[^>]+$" reached "${chain}")
    if(reached IN_LIST seen)
      continue()
    endif()
    list(APPEND seen "${reached}")
    in_folder("${reached}" qt reached_qt)
    in_folder("${reached}" win reached_win)
    in_folder("${reached}" windows reached_windows)
    string(REPLACE ">" " -> " shown "${chain}")
    if(reached_qt AND NOT file_qt)
      offend("${file}: reaches ${reached}, a file of a qt/ folder, outside one: ${shown}")
      continue()
    endif()
    if(reached_win AND NOT file_win)
      offend("${file}: reaches ${reached}, a file of a win/ folder, outside one: ${shown}")
      continue()
    endif()
    if(reached_windows AND NOT file_windows AND NOT file_win)
      offend("${file}: reaches ${reached}, a Windows half of a portable part, outside the Windows code: ${shown}")
      continue()
    endif()
    read_includes("${reached}")
    string(MAKE_C_IDENTIFIER "${reached}" reached_id)
    foreach(next IN LISTS edges_${reached_id})
      if(NOT next IN_LIST seen)
        list(APPEND queue "${chain}>${next}")
      endif()
    endforeach()
  endwhile()
endforeach()

# What the targets link, as the configure step found it.
set(targets_checked "")
if(LINKS_FILE)
  if(NOT EXISTS "${LINKS_FILE}")
    offend("${LINKS_FILE} is missing: configure the build again")
  else()
    file(STRINGS "${LINKS_FILE}" link_lines)
    foreach(line IN LISTS link_lines)
      if(line MATCHES "^checked: (.*)$")
        set(targets_checked "${CMAKE_MATCH_1}")
      elseif(line MATCHES "^offends: (.*)$")
        offend("${CMAKE_MATCH_1}")
      endif()
    endforeach()
  endif()
endif()

list(LENGTH files file_count)
if(problems)
  foreach(problem IN LISTS problems)
    message("${problem}")
  endforeach()
  list(LENGTH problems problem_count)
  message(FATAL_ERROR "${problem_count} uses of a toolkit that the path does not allow")
endif()
message(STATUS "toolkits follow the paths: ${file_count} files; targets: ${targets_checked}")
