# SPDX-License-Identifier: MIT
# PCRE2's 8-bit library for the Windows programs (the content rules of HTTP
# entries), compiled in from Debian's own source package
# (scripts/pcre2-source.sh), as Debian packages it for Linux only: Unicode
# support, no JIT, linked statically.
include(DebianSourceLibrary)
vigilon_source_library(TARGET vigilon_pcre2 ALIAS PCRE2::8 LABEL "PCRE2" SCRIPT pcre2-source.sh
                       DIR pcre2 VARIABLE VIGILON_PCRE2_SOURCE REQUIRES pcre2.h)
target_compile_definitions(vigilon_pcre2 PUBLIC PCRE2_STATIC PCRE2_CODE_UNIT_WIDTH=8)
target_compile_definitions(vigilon_pcre2 PRIVATE HAVE_CONFIG_H SUPPORT_UNICODE HAVE_MEMMOVE HAVE_STDINT_H
                                                 HAVE_INTTYPES_H)
