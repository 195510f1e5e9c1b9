# SPDX-License-Identifier: MIT
# libcurl for the Windows programs (channel messages). Debian packages it for
# Linux only, so the Windows build compiles it in from Debian's own source
# package, as scripts/curl-source.sh lays it out: static, TLS through
# Schannel (certificates verified by the system's store), HTTP(S) and
# SMTP(S) only, no other library.
set(VIGILON_CURL_SOURCE "${CMAKE_SOURCE_DIR}/build/deps/curl"
    CACHE PATH "Where curl's sources are (scripts/curl-source.sh puts them there)")
if(NOT EXISTS "${VIGILON_CURL_SOURCE}/sources.txt" OR NOT EXISTS "${VIGILON_CURL_SOURCE}/include/curl/curl.h")
  message(FATAL_ERROR "curl's source is not in ${VIGILON_CURL_SOURCE}: run scripts/curl-source.sh "
                      "(VIGILON_MINGW=1 scripts/bootstrap.sh does), or set VIGILON_CURL_SOURCE.")
endif()
file(STRINGS "${VIGILON_CURL_SOURCE}/sources.txt" curl_files)
list(TRANSFORM curl_files PREPEND "${VIGILON_CURL_SOURCE}/lib/")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${VIGILON_CURL_SOURCE}/sources.txt")
add_library(vigilon_curl STATIC ${curl_files})
target_include_directories(vigilon_curl SYSTEM PUBLIC "${VIGILON_CURL_SOURCE}/include")
target_include_directories(vigilon_curl PRIVATE "${VIGILON_CURL_SOURCE}/lib")
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
# Not our code: its warnings are its makers'.
target_compile_options(vigilon_curl PRIVATE -w -O2)
set_target_properties(vigilon_curl PROPERTIES FOLDER "third-party")
add_library(CURL::libcurl ALIAS vigilon_curl)
