# Run by cpack after it has installed into its staging directory and before it builds the
# package: the Debian package compresses its manual page and carries a copyright file and a
# compressed changelog, as Debian's own packages do. Other generators are left as installed.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")
if(NOT EXISTS "${root}/share/man/man1/notediag.1")
  message(FATAL_ERROR "no manual page in ${root}")
endif()
file(COPY_FILE "${CPACK_NOTEDIAG_CHANGELOG}" "${doc}/changelog")
file(COPY_FILE "${CPACK_NOTEDIAG_COPYRIGHT}" "${doc}/copyright")
# -n: no name or time stamp in the gzip header, so the same sources give the same package.
foreach(file "${root}/share/man/man1/notediag.1" "${doc}/changelog")
  execute_process(COMMAND gzip -9nf "${file}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
