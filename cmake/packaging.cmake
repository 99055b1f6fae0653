# Installation and packages: a .deb on Linux, a .zip for Windows.
include(GNUInstallDirs)

if(WIN32)
  install(TARGETS olvane RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(TARGETS olvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/olvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md LICENSE docs/olvane-purge.service
                docs/olvane-purge.timer docs/olvane.cron docs/windows-task.md
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME olvane)
set(CPACK_PACKAGE_VENDOR "The olvane developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "purge expired files")
set(CPACK_PACKAGE_DESCRIPTION
    "olvane deletes, or moves to an archive folder, every file of a folder or file mask whose creation time lies a number of days in the past, leaving alone files that another process holds open.")
set(CPACK_PACKAGE_CONTACT "The olvane developers <olvane@localhost>")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
