# SPDX-License-Identifier: MIT
# libcurl for the Windows programs (channel messages), compiled in from
# Debian's own source package (scripts/curl-source.sh), as Debian packages it
# for Linux only: static, TLS through Schannel (certificates verified by the
# system's store), HTTP(S) and SMTP(S) only, no other library.
include(DebianSourceLibrary)
vigilon_source_library(TARGET vigilon_curl ALIAS CURL::libcurl LABEL "curl" SCRIPT curl-source.sh
                       DIR curl VARIABLE VIGILON_CURL_SOURCE SUBDIR lib INCLUDE include REQUIRES include/curl/curl.h)
target_compile_definitions(vigilon_curl PUBLIC CURL_STATICLIB)
# lib/config-win32.h is the configuration (curl_setup.h takes it on Windows);
# the protocols other than HTTP and SMTP, and the features that would need
# another library, are left out.
target_compile_definitions(vigilon_curl PRIVATE BUILDING_LIBCURL USE_SCHANNEL USE_WINDOWS_SSPI
  CURL_DISABLE_FTP CURL_DISABLE_FILE CURL_DISABLE_DICT CURL_DISABLE_GOPHER CURL_DISABLE_IMAP CURL_DISABLE_LDAP
  CURL_DISABLE_LDAPS CURL_DISABLE_MQTT CURL_DISABLE_POP3 CURL_DISABLE_RTSP CURL_DISABLE_TELNET CURL_DISABLE_TFTP
  CURL_DISABLE_SMB CURL_DISABLE_NTLM CURL_DISABLE_ALTSVC CURL_DISABLE_COOKIES CURL_DISABLE_HSTS
  CURL_DISABLE_NETRC CURL_DISABLE_PROXY)
target_link_libraries(vigilon_curl PUBLIC ws2_32 crypt32 secur32 bcrypt advapi32 normaliz)
