# Installation and the Debian package.
#
#   <prefix>/lib/mirota/        pravik, ostrel, mirota-devsim and _cfg, together as they are shipped:
#                               Ostrel reads _cfg beside its program file, Pravik starts the Ostrel
#                               beside itself (both find their directory through the real path of
#                               their executable, so the links below work)
#   <prefix>/bin/               pravik, ostrel, mirota-devsim as relative symbolic links
#   <prefix>/share/...          desktop files, icons, AppStream data, manual pages, documentation
#   <prefix>/lib/udev/rules.d/  the FTDI adapters' udev rule
#
# `cmake --install <build>` installs it; `cpack -G DEB` in the build directory makes the package.
if(NOT UNIX OR APPLE OR NOT MIROTA_BUILD_GUI)
  return()
endif()

# Installing (and packing) takes the programs as built and does not build everything first: the
# package needs only the programs, not the tests (scripts/package.sh builds what it needs).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
set(MIROTA_PROGRAM_DIR lib/mirota)
set(pkg ${CMAKE_SOURCE_DIR}/data/package)
set(gen ${CMAKE_BINARY_DIR}/package)
file(MAKE_DIRECTORY ${gen}/links)

set(programs pravik ostrel)
if(TARGET mirota-devsim)
  list(APPEND programs mirota-devsim)
endif()
# Shipped programs resolve every symbol at start (full RELRO).
foreach(program ${programs})
  target_link_options(${program} PRIVATE -Wl,-z,now)
endforeach()
install(TARGETS ${programs} RUNTIME DESTINATION ${MIROTA_PROGRAM_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/_cfg DESTINATION ${MIROTA_PROGRAM_DIR})
foreach(program ${programs})
  file(CREATE_LINK ../${MIROTA_PROGRAM_DIR}/${program} ${gen}/links/${program} SYMBOLIC)
  install(FILES ${gen}/links/${program} DESTINATION bin)
endforeach()

install(FILES ${pkg}/org.mirota.Pravik.desktop ${pkg}/org.mirota.Ostrel.desktop DESTINATION share/applications)
configure_file(${pkg}/org.mirota.Pravik.metainfo.xml ${gen}/org.mirota.Pravik.metainfo.xml @ONLY)
install(FILES ${gen}/org.mirota.Pravik.metainfo.xml DESTINATION share/metainfo)
foreach(name Pravik Ostrel)
  install(FILES ${CMAKE_SOURCE_DIR}/data/icons/org.mirota.${name}.svg DESTINATION share/icons/hicolor/scalable/apps)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${CMAKE_SOURCE_DIR}/data/icons/${size}/org.mirota.${name}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
endforeach()
install(FILES ${pkg}/70-mirota-ftdi.rules DESTINATION lib/udev/rules.d)

# Manual pages and the changelog, compressed as Debian wants them (gzip -9n: no name, no time stamp).
find_program(MIROTA_GZIP gzip REQUIRED)
set(compressed)
foreach(page pravik ostrel mirota-devsim)
  configure_file(${pkg}/man/${page}.1 ${gen}/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${gen}/${page}.1.gz
    COMMAND ${MIROTA_GZIP} -9nf -k ${gen}/${page}.1
    DEPENDS ${gen}/${page}.1 VERBATIM)
  list(APPEND compressed ${gen}/${page}.1.gz)
  install(FILES ${gen}/${page}.1.gz DESTINATION share/man/man1)
endforeach()
configure_file(${pkg}/changelog.in ${gen}/changelog @ONLY)
add_custom_command(OUTPUT ${gen}/changelog.gz
  COMMAND ${MIROTA_GZIP} -9nf -k ${gen}/changelog
  DEPENDS ${gen}/changelog VERBATIM)
list(APPEND compressed ${gen}/changelog.gz)
add_custom_target(mirota_package_files ALL DEPENDS ${compressed})
install(FILES ${gen}/changelog.gz ${pkg}/copyright DESTINATION share/doc/mirota-tools)

set(CPACK_PACKAGE_NAME mirota-tools)
set(CPACK_PACKAGE_VENDOR Mirota)
set(CPACK_PACKAGE_CONTACT "Mirota Tools <tools@mirota.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "launcher and control program for Mirota measuring devices")
set(CPACK_PACKAGE_INSTALL_DIRECTORY mirota)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Qt platform plugins (X11, Wayland) are loaded at run time, not linked.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The synopsis comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Pravik lists the FTDI USB-serial adapters attached to the computer and starts
Ostrel for a Mirota device (torque, speed and angle measurement electronics).
Ostrel shows the device's measured values and changes its settings and power
supply, or talks to it on a terminal.
.
The package includes a device simulator, manual pages and a udev rule that
gives the logged-in user access to FTDI adapters and keeps ModemManager from
probing them.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${pkg}/postinst ${pkg}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
