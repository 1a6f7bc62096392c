# What `cmake --install` and the .deb put where a Debian user looks for them:
#   bin/                      formwell, formwell-cli, hhtsim; formwell-start, which the menu entry
#                             runs: it starts formwell in ~/Formwell (or $FORMWELL_HOME)
#   lib/                      libpushkit.so, libcomrig.so: the programs bind them by name, first
#                             beside themselves, then in ../lib (formwell/link's library search)
#   share/applications/       formwell.desktop
#   share/icons/hicolor/32x32/apps/formwell.png
#   share/doc/formwell/       readme.txt, the copy formwell-start puts in a new start-up folder
#   share/formwell/demo/      the demo's start-up files and program images, to try a transfer
#                             against hhtsim without a terminal
include(GNUInstallDirs)
install(TARGETS formwell formwell-cli hhtsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS pushkit comrig LIBRARY DESTINATION lib)
# It finds formwell beside itself and the readme under ../share, so it must stay in bin/.
install(PROGRAMS ${PROJECT_SOURCE_DIR}/assets/formwell-start DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/assets/formwell.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/assets/formwell.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
install(FILES ${PROJECT_SOURCE_DIR}/assets/readme.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/formwell)
install(FILES ${PROJECT_SOURCE_DIR}/demo/mbx.dat ${PROJECT_SOURCE_DIR}/demo/sample.ini
              ${CMAKE_BINARY_DIR}/demo/sample.s2 ${CMAKE_BINARY_DIR}/demo/VKSDEMO.HEX
        DESTINATION ${CMAKE_INSTALL_DATADIR}/formwell/demo)

# `cpack` in the build folder: formwell_<version>_<arch>.deb, its dependencies from the libraries
# the programs link (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME formwell)
set(CPACK_PACKAGE_VENDOR "Formwell")
set(CPACK_PACKAGE_CONTACT "Formwell developers <formwell@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up hand-held barcode terminals")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Formwell edits a terminal's INI field document, sends it to the terminal over a serial line,\n\
receives the terminal's records into import.txt and loads program images into it. formwell-cli\n\
does the same without a window; hhtsim simulates a terminal on a pseudo-terminal.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs open the libraries with dlopen, so dpkg-shlibdeps does not see them: they are ours and
# in the package. Nor does it see Qt's platform plugins, without which no window opens. xdg-utils
# opens the browser and the text viewer.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
