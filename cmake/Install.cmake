# SPDX-License-Identifier: MIT
# What `cmake --install` puts on a Linux system, and the .deb made of it.
# Vigilsvc, its user unit and its autostart entry are installed by service/.
# `cmake --install` uses CMAKE_INSTALL_PREFIX; the .deb always installs
# under /usr. The programs find the help page relative to their own folder,
# and the unit's ExecStart= and the autostart folder are decided when the
# files are installed (service/), so the package is the same whatever the
# build's own prefix.
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
  foreach(size 16 22 32 48 64 128)
    install(FILES "${PROJECT_SOURCE_DIR}/res/icons/143-${size}.png" RENAME "${VIGILON_APP_ID}.png"
      DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
  endforeach()
  install(FILES "${PROJECT_SOURCE_DIR}/res/icons/143.svg" RENAME "${VIGILON_APP_ID}.svg"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
  configure_file("${linux_res}/${VIGILON_APP_ID}.metainfo.xml.in"
    "${PROJECT_BINARY_DIR}/${VIGILON_APP_ID}.metainfo.xml" @ONLY)
  install(FILES "${PROJECT_BINARY_DIR}/${VIGILON_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
  # Where the help command looks: <datadir>/vigilon/docs_ja/read1st.htm, and
  # the English page <datadir>/vigilon/docs/read1st.htm.
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs_ja" DESTINATION "${CMAKE_INSTALL_DATADIR}/vigilon")
  install(FILES "${PROJECT_SOURCE_DIR}/docs/read1st.htm" DESTINATION "${CMAKE_INSTALL_DATADIR}/vigilon/docs")
  # Alerting rules for a Prometheus that scrapes the metrics; prometheus.yml
  # names this file in its rule_files.
  install(FILES "${PROJECT_SOURCE_DIR}/res/prometheus/vigilon-rules.yml"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/vigilon/prometheus")
endif()

# Manual pages, compressed as Debian wants them.
set(man_pages vigilon-reg)
if(TARGET vigilon)
  list(APPEND man_pages vigilon vigilsvc)
endif()
set(man_out "${PROJECT_BINARY_DIR}/man")
set(man_files "")
foreach(page IN LISTS man_pages)
  add_custom_command(OUTPUT "${man_out}/${page}.1.gz"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${man_out}"
    COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh "${PROJECT_SOURCE_DIR}/res/man/${page}.1" "${man_out}/${page}.1.gz"
    DEPENDS "${PROJECT_SOURCE_DIR}/res/man/${page}.1" VERBATIM)
  list(APPEND man_files "${man_out}/${page}.1.gz")
endforeach()
add_custom_target(vigilon_man_pages ALL DEPENDS ${man_files})
install(FILES ${man_files} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

# What a Debian package carries in its documentation folder.
file(CONFIGURE OUTPUT "${PROJECT_BINARY_DIR}/deb/changelog" @ONLY CONTENT
"vigilon (@PROJECT_VERSION@) unstable; urgency=medium

  * Release @PROJECT_VERSION@.

 -- Vigilon developers <vigilon@ardentis.example>  Mon, 07 Dec 2026 00:00:00 +0000
")
add_custom_command(OUTPUT "${PROJECT_BINARY_DIR}/deb/changelog.gz"
  COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh "${PROJECT_BINARY_DIR}/deb/changelog"
    "${PROJECT_BINARY_DIR}/deb/changelog.gz"
  DEPENDS "${PROJECT_BINARY_DIR}/deb/changelog" VERBATIM)
add_custom_target(vigilon_deb_docs ALL DEPENDS "${PROJECT_BINARY_DIR}/deb/changelog.gz")
install(FILES "${PROJECT_SOURCE_DIR}/res/linux/copyright" "${PROJECT_BINARY_DIR}/deb/changelog.gz"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/vigilon")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vigilon)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Ardentis Technology")
set(CPACK_PACKAGE_CONTACT "Vigilon developers <vigilon@ardentis.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "port monitor with a notification-area icon")
set(CPACK_PACKAGE_DESCRIPTION "Vigilon watches network ports on one host by TCP, UDP, ICMP and HTTP
and tells when one stops answering or answers too slowly. Vigilsvc keeps
it running as a systemd user service.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The autostart entry is the package's only file in /etc.
file(WRITE "${PROJECT_BINARY_DIR}/deb/conffiles" "/etc/xdg/autostart/vigilsvc.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_BINARY_DIR}/deb/conffiles")
# Libraries from shlibdeps; what is loaded at run time rather than linked,
# by hand: Qt's X11 platform plugin.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET vigilon)
  # The English interface needs a Latin sans face (the dialogs ask for one
  # that these stand in for); only the Japanese one needs a Japanese face and
  # Qt's own Japanese texts, so those are recommended, any of the faces the
  # dialogs know.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core | fonts-liberation2")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk | fonts-vlgothic")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator")
endif()
include(CPack)
