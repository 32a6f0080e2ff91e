# What `cmake --install` puts where, and how cpack turns that into a Debian package or, for the
# Windows build, a zip. Tests, benchmarks, fuzzers and GoogleTest have no install rules: only the
# tool and its documents are shipped.
include(GNUInstallDirs)

if(WIN32)
  # A zip is unpacked and used where it lies: the program and its documents side by side.
  set(notediag_bin_dir .)
  set(notediag_doc_dir .)
else()
  set(notediag_bin_dir ${CMAKE_INSTALL_BINDIR})
  set(notediag_doc_dir ${CMAKE_INSTALL_DOCDIR})
endif()

install(TARGETS notediag RUNTIME DESTINATION ${notediag_bin_dir})
install(FILES README.md DESTINATION ${notediag_doc_dir})
# The scripts are read where they lie (the example's own script sources its siblings), so every
# one of them goes with the note.
install(FILES examples/hello.note examples/seal-note.sh DESTINATION ${notediag_doc_dir}/examples)
# The example's script is run as it stands; its sibling is only sourced.
install(PROGRAMS examples/make-hello-note.sh DESTINATION ${notediag_doc_dir}/examples)
if(NOT WIN32)
  # The page's EXAMPLES name the installed example by its full path, which only the install knows
  # (cmake --install --prefix, or the package's /usr): the page is written with it then.
  set(notediag_page ${PROJECT_BINARY_DIR}/packaging/notediag.1)
  install(CODE "
    file(READ \"${PROJECT_SOURCE_DIR}/doc/notediag.1\" page)
    string(REPLACE \"/usr/share/doc/notediag\"
           \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR}\" page \"\${page}\")
    file(WRITE \"${notediag_page}\" \"\${page}\")")
  install(FILES ${notediag_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES completion/notediag.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME notediag)
endif()

set(CPACK_PACKAGE_NAME notediag)
set(CPACK_PACKAGE_VENDOR "notediag maintainers")
set(CPACK_PACKAGE_CONTACT "notediag maintainers <notediag@example.org>" CACHE STRING
    "Maintainer of the packages cpack makes")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "diagnostic tool for encrypted note documents")
# Debian shows the long description on an 80-column terminal: lines stay under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "notediag finds an encrypted note in a file (the whole file, or a document
carried at the end of a host file), decrypts a version-2 note with a password
and hex-dumps every stage: the header, the initialisation vector, the stored
and the computed check hash, the ciphertext and the plaintext. It then says
in one line whether the password is right and the document intact, or why
there is no document, so a developer or support engineer sees exactly where
a note or a password goes wrong.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

# Debian: notediag_VERSION_ARCH.deb. The tool carries the C++ runtime (see src/CMakeLists.txt),
# so dpkg-shlibdeps finds the C library alone.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debian wants the manual page and the changelog compressed and a copyright file beside the
# documents; a plain `cmake --install` keeps the page as it is, so man, groff and a reader find
# it directly.
set(notediag_deb_changelog ${PROJECT_BINARY_DIR}/packaging/changelog)
configure_file(${PROJECT_SOURCE_DIR}/doc/changelog.in ${notediag_deb_changelog} @ONLY)
set(CPACK_NOTEDIAG_COPYRIGHT ${PROJECT_SOURCE_DIR}/doc/copyright)
set(CPACK_NOTEDIAG_CHANGELOG ${notediag_deb_changelog})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian-tidy.cmake)

# Windows: notediag-VERSION-win64.zip.
if(WIN32)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()

include(CPack)
