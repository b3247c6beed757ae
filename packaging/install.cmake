# What `cmake --install` puts where, and the .deb CPack builds from it. Only the
# program, the simulated tester, the guide and the desktop integration are
# installed: no test, benchmark or fuzz executable.
set(BIN4870_APP_ID "org.bin4870.BIN4870")

# The Qt libraries come from the system: the installed executables need no
# run-time search path of their own.
set_target_properties(bin4870 PROPERTIES INSTALL_RPATH "")
install(TARGETS bin4870 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET tester-sim)
    set_target_properties(tester-sim PROPERTIES INSTALL_RPATH "")
    install(TARGETS tester-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/docs/readmeE.txt DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${BIN4870_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${BIN4870_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${BIN4870_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "bin4870")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The BIN4870 developers")
set(CPACK_PACKAGE_CONTACT "The BIN4870 developers <bin4870@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sorts battery cells into BINs by internal resistance and voltage")
set(CPACK_PACKAGE_DESCRIPTION
    "Drives a battery tester over a serial line, judges each cell's internal resistance and voltage "
    "against two tables of up to nine BINs, counts the cells the operator keeps and writes one CSV line "
    "per counted cell. Includes tester-sim, a simulated tester on a pseudo-terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# dpkg-shlibdeps finds the Qt 6 runtime libraries the executables link; the
# platform plugins that draw the window are loaded at run time, so they are named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, xdg-utils")
include(CPack)
