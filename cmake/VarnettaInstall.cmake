# Installed layout: the programs and the real bridge library together in a
# private folder (the library is looked for only beside the executable),
# links on the PATH, the desktop entry, the icon and the udev rule.
# Two parts: "cli" is what a headless box needs (varnetta-cli, both bridge
# libraries, the udev rule; Qt Core only), "desktop" the window on top of it.
include(GNUInstallDirs)

set(VARNETTA_PRIVATE_DIR ${CMAKE_INSTALL_LIBDIR}/varnetta)

install(TARGETS varnetta RUNTIME DESTINATION ${VARNETTA_PRIVATE_DIR} COMPONENT desktop)
install(TARGETS varnetta_bridge_hidapi LIBRARY DESTINATION ${VARNETTA_PRIVATE_DIR} COMPONENT cli)
# The simulated meter's bridge library, for "--demo" of either program.
install(TARGETS SLABHIDtoUART_sim LIBRARY DESTINATION ${VARNETTA_PRIVATE_DIR}/sim COMPONENT cli)
install(TARGETS varnetta_cli RUNTIME DESTINATION ${VARNETTA_PRIVATE_DIR} COMPONENT cli)

foreach(entry IN ITEMS "varnetta:desktop" "varnetta-cli:cli")
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 program)
  list(GET entry 1 component)
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(CREATE_LINK \"../${VARNETTA_PRIVATE_DIR}/${program}\" \"\${bin}/${program}\" SYMBOLIC)
    message(STATUS \"Installing: \${bin}/${program} -> ../${VARNETTA_PRIVATE_DIR}/${program}\")
  " COMPONENT ${component})
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/packaging/varnetta.desktop ${CMAKE_SOURCE_DIR}/packaging/varnetta-demo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/varnetta.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT desktop)
file(GLOB VARNETTA_UDEV_RULES ${CMAKE_SOURCE_DIR}/packaging/*.rules)
install(FILES ${VARNETTA_UDEV_RULES} DESTINATION lib/udev/rules.d COMPONENT cli)

# cpack -G DEB: two Debian packages of the same layout, varnetta-cli alone
# for a headless box and varnetta (the window) depending on it.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli desktop)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME varnetta-cli)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME varnetta)
set(CPACK_COMPONENT_CLI_DESCRIPTION "Varnetta power meter: headless logger and converter\n varnetta-cli logs the meter's readings, downloads its memory and converts\n log files, with the bridge library, the simulated meter and the udev rule.")
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION "Desktop companion of the Varnetta true-RMS power meter\n The window: live LCD, remote keys, log grid and chart, memory download,\n limit comparator, log files and printed report.")
set(CPACK_PACKAGE_NAME varnetta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Varnetta developers <varnetta@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop companion of the Varnetta true-RMS power meter")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries the binaries link come from dpkg-shlibdeps; the rest is what
# the program loads or uses at run time: Qt's SVG plugins (icons), the
# platform plugins, the LCD and text fonts, and udev, which delivers the
# hot-plug events and applies the bridge rule.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "udev")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "fonts-dseg, fonts-liberation, fonts-sawarabi-mincho, qt6-qpa-plugins, libqt6svg6")
# The binaries go in stripped; their debug data, when the build has any, goes
# into a -dbgsym .ddeb beside each package (CPACK_STRIP_FILES would
# throw it away before it could be split off).
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
cpack_add_component(cli DISPLAY_NAME "varnetta-cli")
cpack_add_component(desktop DISPLAY_NAME "varnetta" DEPENDS cli)
