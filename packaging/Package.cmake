# The Debian package, built by CPack (`scripts/package`, or `cpack -G DEB` in a build folder):
# everything `cmake --install` puts under /usr, the print backend in the print system's folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zr40-panel)
set(CPACK_PACKAGE_VENDOR "Quenby Corporation")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Operating panel of the ZR-40 modeling machine")
set(CPACK_PACKAGE_DESCRIPTION
    "The operating panel of the ZR-40, a small USB-connected milling machine: position \
read-out, jogging from the keypad or a joystick, origins, spindle, cutting-speed override, \
alarms, cutting-data output and test cuts, the machine's settings and maintenance pages. With \
the machine simulator zr40-sim, the command-line tool zr40ctl, the print backend of the \
machine's queue and its udev rule.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "ZR-40 panel maintainers <zr40-panel@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/zr40-panel")
# The libraries the programs link are found by dpkg-shlibdeps, with the versions built against;
# what is loaded or run rather than linked is named here: Qt's window-system plug-ins and its
# own texts in Japanese, the fonts the windows ask for, the print system's tools the queue helper
# runs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-liberation2, \
fonts-ipafont-gothic, cups-client")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups, udev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
