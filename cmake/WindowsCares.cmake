# SPDX-License-Identifier: MIT
# c-ares for the Windows programs (the DNS checks). Debian packages it for
# Linux only, so the Windows build compiles it in from Debian's own source
# package, as scripts/cares-source.sh lays it out: the library's sources,
# linked statically.
set(VIGILON_CARES_SOURCE "${CMAKE_SOURCE_DIR}/build/deps/c-ares"
    CACHE PATH "Where c-ares' sources are (scripts/cares-source.sh puts them there)")
if(NOT EXISTS "${VIGILON_CARES_SOURCE}/sources.txt" OR NOT EXISTS "${VIGILON_CARES_SOURCE}/include/ares.h")
  message(FATAL_ERROR "c-ares' source is not in ${VIGILON_CARES_SOURCE}: run scripts/cares-source.sh "
                      "(VIGILON_MINGW=1 scripts/bootstrap.sh does), or set VIGILON_CARES_SOURCE.")
endif()
file(STRINGS "${VIGILON_CARES_SOURCE}/sources.txt" cares_files)
list(TRANSFORM cares_files PREPEND "${VIGILON_CARES_SOURCE}/src/")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${VIGILON_CARES_SOURCE}/sources.txt")
add_library(vigilon_cares STATIC ${cares_files})
target_include_directories(vigilon_cares SYSTEM PUBLIC "${VIGILON_CARES_SOURCE}/include")
target_include_directories(vigilon_cares PRIVATE "${VIGILON_CARES_SOURCE}/src")
target_compile_definitions(vigilon_cares PUBLIC CARES_STATICLIB)
# Without HAVE_CONFIG_H its sources take its own Windows configuration
# header (config-win32.h).
# INADDRSZ: Debian's security fix of inet_net_pton.c names the size of an
# IPv4 address the way the system's arpa/nameser.h does, which Windows lacks.
target_compile_definitions(vigilon_cares PRIVATE CARES_BUILDING_LIBRARY _WIN32_WINNT=0x0600 INADDRSZ=4)
# Its ares_build.h names mingw's __int64 before any header has defined it.
target_compile_options(vigilon_cares PUBLIC -include _mingw.h)
# Not our code: its warnings are its makers'.
target_compile_options(vigilon_cares PRIVATE -w -O2)
target_link_libraries(vigilon_cares PUBLIC ws2_32 advapi32 iphlpapi)
set_target_properties(vigilon_cares PROPERTIES FOLDER "third-party")
add_library(c-ares::cares ALIAS vigilon_cares)
