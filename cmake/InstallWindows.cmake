# What the Windows setup program and the portable zip hold, all in one folder, since a Windows
# program finds its DLLs and Qt its plugins beside the executable:
#   formwell.exe, formwell-cli.exe   the window and the command line
#   pushkit.dll, comrig.dll          64-bit, bound by name at run time by both programs
#   Qt6Core/Gui/Widgets.dll, platforms/, styles/, and the MinGW runtime DLLs
#   readme.txt                       the copy Help falls back to and the setup copies out
#   examples/                        a start-up folder's mbx.dat and an INI document to try
# `cpack` in the build folder makes formwell-<version>-win64.exe (NSIS) and formwell-<version>-win64.zip.
include(${PROJECT_SOURCE_DIR}/cmake/WindowsRuntime.cmake)
install(TARGETS formwell formwell-cli RUNTIME DESTINATION .)
install(TARGETS pushkit comrig RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(FILES ${FORMWELL_WINDOWS_RUNTIME_DLLS} ${FORMWELL_WINDOWS_QT_DLLS} DESTINATION .)
install(FILES ${FORMWELL_WINDOWS_QT_PLATFORMS} DESTINATION platforms)
install(FILES ${FORMWELL_WINDOWS_QT_STYLES} DESTINATION styles)
install(FILES ${PROJECT_SOURCE_DIR}/assets/readme.txt DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/demo/mbx.dat ${PROJECT_SOURCE_DIR}/demo/sample.ini DESTINATION examples)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME Formwell)
set(CPACK_PACKAGE_VENDOR "Formwell")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up hand-held barcode terminals")
set(CPACK_PACKAGE_FILE_NAME "formwell-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Formwell)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Formwell)
set(CPACK_NSIS_DISPLAY_NAME Formwell)
# Formwell has no licence text for a setup page to ask the user to accept.
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
set(CPACK_NSIS_INSTALLED_ICON_NAME formwell.exe)
# A 64-bit setup program, as the programs it installs are (and so it runs where only 64-bit programs
# do). CPack's setup asks for an administrator (Program Files needs one) and then works for all
# users, so the shell folders below are the common ones.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
# The program keeps mbx.dat and import.txt in the folder it starts in, and Program Files is not
# writable: the Start-menu entry starts it in Documents\Formwell of the common (Public) documents,
# which every user may write. The setup makes that folder and puts readme.txt there when it holds
# none; the uninstaller removes what the setup put under Program Files and the shortcut, never that
# folder. (Backslashes doubled twice: CPack reads these values back through a CMake file.)
set(formwell_work "$DOCUMENTS\\\\Formwell")
set(CPACK_NSIS_CREATE_ICONS_EXTRA "
  SetShellVarContext all
  CreateDirectory '${formwell_work}'
  IfFileExists '${formwell_work}\\\\readme.txt' +2 0
    CopyFiles /SILENT '$INSTDIR\\\\readme.txt' '${formwell_work}'
  SetOutPath '${formwell_work}'
  CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Formwell.lnk' '$INSTDIR\\\\formwell.exe'
  SetOutPath '$INSTDIR'")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "
  Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\Formwell.lnk'")
include(CPack)
