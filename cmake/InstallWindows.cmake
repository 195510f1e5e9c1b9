# SPDX-License-Identifier: MIT
# The Windows programs as a zip and as an installer (NSIS), made by cpack in
# the build folder: Vigilon.exe, Vigilsvc.exe, vigilon-reg.exe and the help
# pages in docs_ja and docs, all in one folder (Vigilsvc starts Vigilon.exe from its
# own folder, and the help page is looked up from there). The installer's
# script is cmake/nsis/NSIS.template.in: it keeps the configuration over
# upgrades and uninstalls, and the service as it was over upgrades.
if(NOT WIN32)
  return()
endif()

# The programs go stripped into both packages (install(TARGETS) strips when
# cpack asks for it; the build folder keeps the debugging information).
# Vigilsvc.exe is the service's program name.
set_target_properties(vigilsvc PROPERTIES OUTPUT_NAME Vigilsvc)
install(TARGETS vigilon_exe vigilsvc vigilon-reg RUNTIME DESTINATION . COMPONENT programs)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs_ja" DESTINATION . COMPONENT programs)
install(FILES "${PROJECT_SOURCE_DIR}/docs/read1st.htm" DESTINATION docs COMPONENT programs)

set(CPACK_PACKAGE_NAME "Vigilon")
set(CPACK_PACKAGE_VENDOR "Ardentis")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Vigilon port monitor")
set(CPACK_PACKAGE_FILE_NAME "Vigilon-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Vigilon")
set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")
# Without the debugging information of the build.
set(CPACK_STRIP_FILES ON)
# Only what is listed above: other folders' install rules are the Linux layout's.
set(CPACK_COMPONENTS_ALL programs)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_ARCHIVE_FILE_NAME "Vigilon-${PROJECT_VERSION}-win64")
set(CPACK_COMPONENT_PROGRAMS_DISPLAY_NAME "Vigilon")
set(CPACK_COMPONENT_PROGRAMS_REQUIRED ON)

set(CPACK_NSIS_PACKAGE_NAME "Vigilon ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Vigilon")
set(CPACK_NSIS_INSTALLED_ICON_NAME "Vigilon.exe")
# The installer's own texts in English and Japanese, beside the template.
set(CPACK_VIGILON_NSIS_STRINGS "${PROJECT_SOURCE_DIR}/cmake/nsis/Strings.nsh")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY ".")
set(CPACK_PACKAGE_EXECUTABLES "Vigilon;Vigilon")
# Our own installer script, found in cmake/nsis before cpack's own.
list(PREPEND CMAKE_MODULE_PATH "${CMAKE_CURRENT_LIST_DIR}/nsis")
# The licence page shows the project's licence, the one the Debian package
# carries, as plain text.
file(READ "${PROJECT_SOURCE_DIR}/res/linux/copyright" copyright_text)
string(REGEX MATCH "\nCopyright: ([^\n]*)" _ "${copyright_text}")
set(copyright_line "${CMAKE_MATCH_1}")
string(REGEX MATCH "\nLicense: Expat\n( [^\n].*)$" _ "${copyright_text}")
string(REGEX REPLACE "\n \.\n" "\n\n" licence_body "${CMAKE_MATCH_1}")
string(REGEX REPLACE "(^|\n) " "\\1" licence_body "${licence_body}")
file(WRITE "${PROJECT_BINARY_DIR}/nsis/LICENSE.txt.tmp"
  "Vigilon is distributed under the MIT (Expat) licence.\n\nCopyright ${copyright_line}\n\n${licence_body}")
# The libraries compiled into the programs, each with its notice: shown after
# the licence and put beside the programs as THIRD-PARTY.txt.
set(notices "Vigilon's Windows programs contain these libraries, each under its own terms.\n\n")
string(APPEND notices "SQLite (the history): its authors have dedicated it to the public domain.\n\n")
string(APPEND notices "zlib (compressed metrics): Copyright (C) 1995-2022 Jean-loup Gailly and Mark Adler, "
  "under the zlib licence.\n\n")
if(EXISTS "${VIGILON_PCRE2_SOURCE}/LICENCE")
  file(READ "${VIGILON_PCRE2_SOURCE}/LICENCE" pcre2_licence)
  string(APPEND notices "PCRE2 (content rules of HTTP entries), under this licence:\n\n${pcre2_licence}\n")
else()
  message(WARNING "PCRE2's LICENCE is not in ${VIGILON_PCRE2_SOURCE}: run scripts/pcre2-source.sh again; "
                  "the package would lack its notice")
  string(APPEND notices "PCRE2 (content rules of HTTP entries): its licence text is missing from this build.\n")
endif()
# c-ares and libcurl ask for their notices too.
foreach(library IN ITEMS "c-ares (DNS entries)|${VIGILON_CARES_SOURCE}/LICENSE.md"
                         "libcurl (messages to channels)|${VIGILON_CURL_SOURCE}/COPYING")
  string(REPLACE "|" ";" parts "${library}")
  list(GET parts 0 what)
  list(GET parts 1 file)
  if(EXISTS "${file}")
    file(READ "${file}" text)
    string(APPEND notices "${what}, under this licence:\n\n${text}\n")
  else()
    message(WARNING "${file} is missing: the package would lack the notice of ${what}")
    string(APPEND notices "${what}: its licence text is missing from this build.\n")
  endif()
endforeach()
file(WRITE "${PROJECT_BINARY_DIR}/nsis/THIRD-PARTY.txt.tmp" "${notices}")
configure_file("${PROJECT_BINARY_DIR}/nsis/THIRD-PARTY.txt.tmp" "${PROJECT_BINARY_DIR}/nsis/THIRD-PARTY.txt" COPYONLY)
install(FILES "${PROJECT_BINARY_DIR}/nsis/THIRD-PARTY.txt" DESTINATION . COMPONENT programs)
file(APPEND "${PROJECT_BINARY_DIR}/nsis/LICENSE.txt.tmp" "\n\n${notices}")
configure_file("${PROJECT_BINARY_DIR}/nsis/LICENSE.txt.tmp" "${PROJECT_BINARY_DIR}/nsis/LICENSE.txt" COPYONLY)
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_BINARY_DIR}/nsis/LICENSE.txt")
# A 64-bit installer, as the programs are (and as 64-bit Wine runs it):
# NSIS's Target goes where the installer's icon is defined, outside any
# section and before any file is packed. (CPack writes the value into a
# CMake string unescaped: quotes and backslashes are escaped for that.)
set(CPACK_NSIS_INSTALLER_MUI_ICON_CODE
  "Target amd64-unicode\n!define MUI_ICON \\\"${PROJECT_SOURCE_DIR}/res/win/143.ico\\\"\n!define MUI_UNICON \\\"${PROJECT_SOURCE_DIR}/res/win/146.ico\\\"")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
include(CPack)
