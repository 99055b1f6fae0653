# The Linux install and its two packages. Paths follow the install prefix:
# /usr gives /usr/bin, /etc/olvane and /usr/lib/systemd/system, as the
# packages want them (cmake --preset package); /usr/local gives the same
# under /usr/local, which systemd reads as well.
set(OLVANE_SYSTEMD_UNIT_DIR lib/systemd/system
    CACHE STRING "Folder of the systemd units (relative: under the prefix)")
set(conf_dir "${CMAKE_INSTALL_FULL_SYSCONFDIR}/olvane")
# Under the prefix, so that --prefix and DESTDIR= move it, unless the prefix
# is one whose configuration lives elsewhere (/usr: /etc).
if(CMAKE_INSTALL_FULL_SYSCONFDIR STREQUAL
   "${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_SYSCONFDIR}")
  set(conf_dest "${CMAKE_INSTALL_SYSCONFDIR}/olvane")
else()
  set(conf_dest "${conf_dir}")
endif()
set(made "${PROJECT_BINARY_DIR}/packaging")

install(TARGETS olvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped program loses the compiler's name and version too, as
# Debian's own tools strip it.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
    \"\$ENV{DESTDIR}${CMAKE_INSTALL_FULL_BINDIR}/olvane\")
endif()")
install(FILES docs/olvane.conf DESTINATION ${conf_dest})
configure_file(packaging/olvane.service.in ${made}/olvane.service @ONLY)
configure_file(packaging/olvane.timer.in ${made}/olvane.timer @ONLY)
install(FILES ${made}/olvane.service ${made}/olvane.timer
        DESTINATION ${OLVANE_SYSTEMD_UNIT_DIR})

# The copyright file in Debian's machine-readable form, its licence the
# text of LICENSE.
file(READ LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${license}")
set(OLVANE_COPYRIGHT "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^[^\n]*\n\n[^\n]*\n\n" "" license "${license}")
string(REGEX REPLACE "\n+$" "" license "${license}")
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " OLVANE_LICENSE_TEXT " ${license}")
configure_file(packaging/copyright.in ${made}/copyright @ONLY)

# The man page and the changelog compressed, as Debian wants them, without
# a time stamp so that two builds give the same package.
foreach(pair "docs/olvane.1|olvane.1.gz" "packaging/changelog|changelog.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  add_custom_command(OUTPUT ${made}/${to}
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/${from} > ${made}/${to}
    DEPENDS ${from})
  list(APPEND compressed ${made}/${to})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
install(FILES ${made}/olvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${made}/changelog.gz ${made}/copyright README.md docs/olvane.cron
              docs/command-line.md docs/linux.md docs/windows.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB RPM)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/deb/conffiles
    ${PROJECT_SOURCE_DIR}/packaging/deb/postinst
    ${PROJECT_SOURCE_DIR}/packaging/deb/prerm
    ${PROJECT_SOURCE_DIR}/packaging/deb/postrm)

set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
set(CPACK_RPM_PACKAGE_SUMMARY
    "Purge files whose creation time lies a given term in the past")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_PACKAGE_URL "https://example.org/olvane")
set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CPACK_PACKAGE_CONTACT}")
# Where the units point (/usr/bin/olvane, /etc/olvane) is fixed.
set(CPACK_PACKAGE_RELOCATABLE OFF)
set(CPACK_RPM_USER_FILELIST "%config(noreplace) ${conf_dir}/olvane.conf")
# Folders of the system, which its own packages own.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    ${CMAKE_INSTALL_FULL_MANDIR} ${CMAKE_INSTALL_FULL_MANDIR}/man1
    ${CMAKE_INSTALL_PREFIX}/lib/systemd
    ${CMAKE_INSTALL_PREFIX}/${OLVANE_SYSTEMD_UNIT_DIR})
set(CPACK_RPM_POST_INSTALL_SCRIPT_FILE ${PROJECT_SOURCE_DIR}/packaging/rpm/post)
set(CPACK_RPM_PRE_UNINSTALL_SCRIPT_FILE ${PROJECT_SOURCE_DIR}/packaging/rpm/preun)
set(CPACK_RPM_POST_UNINSTALL_SCRIPT_FILE ${PROJECT_SOURCE_DIR}/packaging/rpm/postun)
set(CPACK_RPM_CHANGELOG_FILE ${PROJECT_SOURCE_DIR}/packaging/rpm/changelog)
