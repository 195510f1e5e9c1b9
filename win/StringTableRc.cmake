# SPDX-License-Identifier: MIT
# Writes the program's string table as a resource script: the ids from
# StringTable.h, the texts from StringTable.cpp, so that the texts have one
# source. Run with -DHEADER=... -DSOURCE=... -DOUTPUT=...
file(READ "${HEADER}" header)
string(REGEX MATCHALL "constexpr unsigned [A-Za-z0-9_]+ = [0-9]+" declarations "${header}")
foreach(declaration IN LISTS declarations)
  string(REGEX MATCH "constexpr unsigned ([A-Za-z0-9_]+) = ([0-9]+)" matched "${declaration}")
  set(id_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
endforeach()

file(READ "${SOURCE}" source)
string(REGEX MATCHALL "StringEntry{sid::" starts "${source}")
list(LENGTH starts expected)
string(REGEX MATCHALL "StringEntry{sid::[A-Za-z0-9_]+,[^}]*}" entries "${source}")
list(LENGTH entries found)
if(NOT expected EQUAL found OR found EQUAL 0)
  message(FATAL_ERROR "${SOURCE}: ${found} of ${expected} string entries read (a text with a semicolon or a brace?)")
endif()

set(body "")
foreach(entry IN LISTS entries)
  string(REGEX MATCH "StringEntry{sid::([A-Za-z0-9_]+)," matched "${entry}")
  set(name ${CMAKE_MATCH_1})
  if(NOT DEFINED id_${name})
    message(FATAL_ERROR "${HEADER}: no id for sid::${name}")
  endif()
  string(REGEX MATCHALL "\"([^\"\\\\]|\\\\.)*\"" literals "${entry}")
  set(text "")
  foreach(literal IN LISTS literals)
    string(REGEX REPLACE "^\"(.*)\"$" "\\1" literal "${literal}")
    string(APPEND text "${literal}")
  endforeach()
  # C's \" is the resource compiler's "".
  string(REPLACE "\\\"" "\"\"" text "${text}")
  string(APPEND body "    ${id_${name}}, \"${text}\"\n")
endforeach()

file(WRITE "${OUTPUT}.tmp"
  "// Made by the build from app/base/StringTable.cpp; do not edit.\n"
  "#pragma code_page(65001)\n"
  "LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT\n"
  "STRINGTABLE\nBEGIN\n${body}END\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
