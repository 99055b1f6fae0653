# Install layout and packages. On Linux: the program, its man page and
# documents, the rules folder with a sample whose every rule is commented
# out, and a systemd service and daily timer, installed disabled; CPack
# packs them as a .deb (library dependencies from dpkg-shlibdeps) and an
# .rpm, from a build installing into /usr (cmake --preset package). On
# Windows: a .zip with the program, README and LICENSE at its top level,
# and beside it an installer (.msi) of the same files and the sample rules
# file, made from the staged tree by cmake/msi.cmake through CPack's
# External generator; `--target msi` makes the installer alone.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME olvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The olvane developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "purge files whose creation time lies a given term in the past")
# Whoever publishes a package sets the address it is to carry.
set(OLVANE_PACKAGE_CONTACT "The olvane developers <olvane@example.org>"
    CACHE STRING "Maintainer of the packages: Name <address>")
set(CPACK_PACKAGE_CONTACT "${OLVANE_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION [=[olvane deletes, or moves into an archive folder, every file in a folder
(optionally in all its subfolders, optionally only those matching a mask)
that was created a given number of days ago or earlier. Files that another
process holds open are left alone. It prints one line per file acted on and
a closing count, for the logs of scheduled runs. It runs the rules of the
*.conf files of /etc/olvane daily once its timer, installed disabled, is
enabled.]=])
set(CPACK_STRIP_FILES ON)

if(WIN32)
  install(TARGETS olvane RUNTIME DESTINATION .)
  install(FILES README.md LICENSE docs/windows-task.md docs/windows.md
                DESTINATION .)
  # The sample rules file; the .msi puts it into %ProgramData%\olvane.
  install(FILES docs/olvane-windows.conf DESTINATION . RENAME olvane.conf)

  set(CPACK_GENERATOR ZIP External)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_EXTERNAL_ENABLE_STAGING ON)
  set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/msi.cmake)
  set(CPACK_OLVANE_MAKE_MSI ${PROJECT_SOURCE_DIR}/scripts/make-msi.sh)
  add_custom_target(msi
    COMMAND ${CMAKE_CPACK_COMMAND} -G External --config CPackConfig.cmake
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR} VERBATIM)
  add_dependencies(msi olvane)
else()
  include(cmake/linux-packages.cmake)
endif()

include(CPack)
