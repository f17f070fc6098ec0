# The Windows installer: kelvara.exe, kelvara-cli.exe and the help page with its pictures in
# "Program Files\Kelvara", a Start-menu entry for the window and one for the help page, and an
# uninstaller. The programs are stripped of their debugging symbols.
install(TARGETS kelvara-cli RUNTIME DESTINATION .)
if(KELVARA_GUI)
  install(TARGETS kelvara RUNTIME DESTINATION .)
  # The window shows the installed page where it is, so a user's browser can open it too.
  install(FILES ${KELVARA_HELP_PAGE} ${KELVARA_HELP_PICTURES} DESTINATION help)
endif()

set(CPACK_PACKAGE_NAME Kelvara)
set(CPACK_PACKAGE_VENDOR Kelvara)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Kelvara - finds the photos on a camera's memory card, deleted ones too")
set(CPACK_PACKAGE_FILE_NAME kelvara-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Kelvara)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR NSIS)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME Kelvara)
set(CPACK_NSIS_PACKAGE_NAME Kelvara)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A 64-bit installer for a 64-bit program: it runs where the program runs, a 64-bit-only Wine too.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
if(KELVARA_GUI)
  set(CPACK_PACKAGE_EXECUTABLES kelvara Kelvara)
  set(CPACK_NSIS_INSTALLED_ICON_NAME kelvara.exe)
  set(CPACK_NSIS_MENU_LINKS "help/quickstart.htm" "Kelvara Quick Start")
  set(CPACK_NSIS_MUI_ICON ${KELVARA_WINDOW_ICON})
  set(CPACK_NSIS_MUI_UNIICON ${KELVARA_WINDOW_ICON})
endif()
include(CPack)
