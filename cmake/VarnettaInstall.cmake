# Installed layout: the program and the real bridge library together in a
# private folder (the library is looked for only beside the executable),
# links on the PATH, the desktop entry, the icon and the udev rule.
include(GNUInstallDirs)

set(VARNETTA_PRIVATE_DIR ${CMAKE_INSTALL_LIBDIR}/varnetta)

install(TARGETS varnetta RUNTIME DESTINATION ${VARNETTA_PRIVATE_DIR})
install(TARGETS varnetta_bridge_hidapi LIBRARY DESTINATION ${VARNETTA_PRIVATE_DIR})
# The simulated meter's bridge library, for "varnetta --demo".
install(TARGETS SLABHIDtoUART_sim LIBRARY DESTINATION ${VARNETTA_PRIVATE_DIR}/sim)
set(VARNETTA_PATH_PROGRAMS varnetta)
if(TARGET varnetta_cli)
  install(TARGETS varnetta_cli RUNTIME DESTINATION ${VARNETTA_PRIVATE_DIR})
  list(APPEND VARNETTA_PATH_PROGRAMS varnetta-cli)
endif()

foreach(program IN LISTS VARNETTA_PATH_PROGRAMS)
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(CREATE_LINK \"../${VARNETTA_PRIVATE_DIR}/${program}\" \"\${bin}/${program}\" SYMBOLIC)
    message(STATUS \"Installing: \${bin}/${program} -> ../${VARNETTA_PRIVATE_DIR}/${program}\")
  ")
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/packaging/varnetta.desktop ${CMAKE_SOURCE_DIR}/packaging/varnetta-demo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/varnetta.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
file(GLOB VARNETTA_UDEV_RULES ${CMAKE_SOURCE_DIR}/packaging/*.rules)
install(FILES ${VARNETTA_UDEV_RULES} DESTINATION lib/udev/rules.d)

# cpack -G DEB: a Debian package of the same layout.
set(CPACK_GENERATOR DEB)
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
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dseg, fonts-liberation, fonts-sawarabi-mincho, qt6-qpa-plugins, libqt6svg6, udev")
# The binaries go in stripped; their debug data, when the build has any, goes
# into a varnetta-dbgsym .ddeb beside the package (CPACK_STRIP_FILES would
# throw it away before it could be split off).
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
