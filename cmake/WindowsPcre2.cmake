# SPDX-License-Identifier: MIT
# PCRE2's 8-bit library for the Windows programs (the content rules of HTTP
# entries). Debian packages it for Linux only, so the Windows build compiles
# it in from Debian's own source package, as scripts/pcre2-source.sh lays it
# out: Unicode support, no JIT, linked statically.
set(VIGILON_PCRE2_SOURCE "${CMAKE_SOURCE_DIR}/build/deps/pcre2"
    CACHE PATH "Where PCRE2's sources are (scripts/pcre2-source.sh puts them there)")
if(NOT EXISTS "${VIGILON_PCRE2_SOURCE}/sources.txt" OR NOT EXISTS "${VIGILON_PCRE2_SOURCE}/pcre2.h")
  message(FATAL_ERROR "PCRE2's source is not in ${VIGILON_PCRE2_SOURCE}: run scripts/pcre2-source.sh "
                      "(VIGILON_MINGW=1 scripts/bootstrap.sh does), or set VIGILON_PCRE2_SOURCE.")
endif()
file(STRINGS "${VIGILON_PCRE2_SOURCE}/sources.txt" pcre2_files)
list(TRANSFORM pcre2_files PREPEND "${VIGILON_PCRE2_SOURCE}/")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${VIGILON_PCRE2_SOURCE}/sources.txt")
add_library(vigilon_pcre2 STATIC ${pcre2_files})
target_include_directories(vigilon_pcre2 SYSTEM PUBLIC "${VIGILON_PCRE2_SOURCE}")
target_compile_definitions(vigilon_pcre2 PUBLIC PCRE2_STATIC PCRE2_CODE_UNIT_WIDTH=8)
target_compile_definitions(vigilon_pcre2 PRIVATE HAVE_CONFIG_H SUPPORT_UNICODE HAVE_MEMMOVE HAVE_STDINT_H
                                                 HAVE_INTTYPES_H)
# Not our code: its warnings are its makers'.
target_compile_options(vigilon_pcre2 PRIVATE -w -O2)
set_target_properties(vigilon_pcre2 PROPERTIES FOLDER "third-party")
add_library(PCRE2::8 ALIAS vigilon_pcre2)
