# SPDX-License-Identifier: MIT
# What `cmake --install` puts on a Linux system, and the .deb made of it.
# Vigilsvc, its user unit and its autostart entry are installed by service/.
# The package installs under CMAKE_INSTALL_PREFIX, the prefix the programs
# were built for (the help page and the unit's ExecStart= depend on it):
# configure with -DCMAKE_INSTALL_PREFIX=/usr for a system package.
if(WIN32 OR CMAKE_CROSSCOMPILING)
  return()
endif()
include(GNUInstallDirs)

set(VIGILON_APP_ID "com.ardentis.Vigilon")
set(linux_res "${PROJECT_SOURCE_DIR}/res/linux")

install(TARGETS vigilon-reg RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
if(TARGET vigilon)
  install(TARGETS vigilon RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  install(FILES "${linux_res}/${VIGILON_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  # The program's icon is the "running" tray picture.
  foreach(size 16 22 32 48 64)
    install(FILES "${PROJECT_SOURCE_DIR}/res/icons/143-${size}.png" RENAME "${VIGILON_APP_ID}.png"
      DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
  endforeach()
  configure_file("${linux_res}/${VIGILON_APP_ID}.metainfo.xml.in"
    "${PROJECT_BINARY_DIR}/${VIGILON_APP_ID}.metainfo.xml" @ONLY)
  install(FILES "${PROJECT_BINARY_DIR}/${VIGILON_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
  # Where the help command looks: <datadir>/vigilon/docs_ja/read1st.htm.
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs_ja" DESTINATION "${CMAKE_INSTALL_DATADIR}/vigilon")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vigilon)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Ardentis Technology")
set(CPACK_PACKAGE_CONTACT "Vigilon developers <vigilon@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "port monitor with a notification-area icon")
set(CPACK_PACKAGE_DESCRIPTION
  "Vigilon watches network ports on one host by TCP, UDP, ICMP and HTTP and tells when one stops answering. Vigilsvc keeps it running as a systemd user service.")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# Libraries from shlibdeps; what is loaded at run time rather than linked,
# by hand: Qt's X11 platform plugin.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET vigilon)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-ipafont-gothic")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator")
endif()
include(CPack)
