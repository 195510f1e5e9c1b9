# SPDX-License-Identifier: MIT
# The Windows programs as a zip and as an installer (NSIS), made by cpack in
# the build folder: Vigilon.exe, Vigilsvc.exe, vigilon-reg.exe and the help
# pages in docs_ja, all in one folder (Vigilsvc starts Vigilon.exe from its
# own folder, and the help page is looked up from there). The installer can
# also install the service, and removes it when Vigilon is uninstalled.
if(NOT WIN32)
  return()
endif()

install(TARGETS vigilon_exe RUNTIME DESTINATION . COMPONENT programs)
install(PROGRAMS "$<TARGET_FILE:vigilsvc>" DESTINATION . RENAME Vigilsvc.exe COMPONENT programs)
install(PROGRAMS "$<TARGET_FILE:vigilon-reg>" DESTINATION . COMPONENT programs)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs_ja" DESTINATION . COMPONENT programs)

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
set(CPACK_NSIS_EXECUTABLES_DIRECTORY ".")
set(CPACK_PACKAGE_EXECUTABLES "Vigilon;Vigilon")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# A 64-bit installer, as the programs are (and as 64-bit Wine runs it):
# NSIS's Target goes where the installer's icon is defined, outside any
# section and before any file is packed. (CPack writes the value into a
# CMake string unescaped: quotes and backslashes are escaped for that.)
set(CPACK_NSIS_INSTALLER_MUI_ICON_CODE
  "Target amd64-unicode\n!define MUI_ICON \\\"${PROJECT_SOURCE_DIR}/res/win/143.ico\\\"\n!define MUI_UNICON \\\"${PROJECT_SOURCE_DIR}/res/win/146.ico\\\"")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# The service: asked for (a silent install leaves it out unless /SERVICE is
# given), installed with "Vigilsvc -install"; stopped and removed on uninstall.
# CPack writes these texts into a CMake string as they are: quotes and
# backslashes are escaped for that.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[
  !include FileFunc.nsh
  !insertmacro GetParametersCall $R0
  ClearErrors
  !insertmacro GetOptionsCall $R0 \"/SERVICE\" $R1
  IfErrors 0 vigilon_install_service
  MessageBox MB_YESNO|MB_ICONQUESTION \"Install the Vigilsvc service, which keeps Vigilon running?\" /SD IDNO IDNO vigilon_service_done
  vigilon_install_service:
  ExecWait '\"$INSTDIR\\Vigilsvc.exe\" -install'
  vigilon_service_done:
]=])
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[
  IfFileExists \"$INSTDIR\\Vigilsvc.exe\" 0 +2
  ExecWait '\"$INSTDIR\\Vigilsvc.exe\" -remove'
]=])
include(CPack)
