# SPDX-License-Identifier: MIT
# c-ares for the Windows programs (the DNS checks), compiled in from Debian's
# own source package (scripts/cares-source.sh), as Debian packages it for
# Linux only.
include(DebianSourceLibrary)
vigilon_source_library(TARGET vigilon_cares ALIAS c-ares::cares LABEL "c-ares" SCRIPT cares-source.sh
                       DIR c-ares VARIABLE VIGILON_CARES_SOURCE SUBDIR src INCLUDE include REQUIRES include/ares.h)
target_compile_definitions(vigilon_cares PUBLIC CARES_STATICLIB)
# Without HAVE_CONFIG_H its sources take its own Windows configuration
# header (config-win32.h).
# INADDRSZ: Debian's security fix of inet_net_pton.c names the size of an
# IPv4 address the way the system's arpa/nameser.h does, which Windows lacks.
target_compile_definitions(vigilon_cares PRIVATE CARES_BUILDING_LIBRARY _WIN32_WINNT=0x0600 INADDRSZ=4)
# Its ares_build.h names mingw's __int64 before any header has defined it.
target_compile_options(vigilon_cares PUBLIC -include _mingw.h)
target_link_libraries(vigilon_cares PUBLIC ws2_32 advapi32 iphlpapi)
