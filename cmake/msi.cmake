# Run by CPack's External generator once the files of the zip are staged:
# makes the installer of them, which CPack copies into the build folder.
set(msi "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.msi")
execute_process(
  COMMAND bash "${CPACK_OLVANE_MAKE_MSI}" "${CPACK_PACKAGE_VERSION}"
          "${CPACK_TEMPORARY_DIRECTORY}" "${msi}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make-msi.sh failed (${status})")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES "${msi}")
