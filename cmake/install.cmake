# Installation of the program and its manual page, and a Debian package of
# both through CPack.
include(GNUInstallDirs)

install(TARGETS quern RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(UNIX)
  # Manual pages are installed compressed, without a time stamp in the
  # archive, so that two builds give the same file.
  find_program(QUERN_GZIP gzip)
  if(QUERN_GZIP)
    set(QUERN_MANUAL ${CMAKE_BINARY_DIR}/quern.1)
    add_custom_command(OUTPUT ${QUERN_MANUAL}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/doc/quern.1 ${QUERN_MANUAL}
      COMMAND ${QUERN_GZIP} -9 -n -f ${QUERN_MANUAL}
      DEPENDS ${CMAKE_SOURCE_DIR}/doc/quern.1
      VERBATIM)
    add_custom_target(quern_manual ALL DEPENDS ${QUERN_MANUAL}.gz)
    install(FILES ${QUERN_MANUAL}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    install(FILES doc/quern.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quern)
set(CPACK_PACKAGE_VENDOR "Quern maintainers")
set(CPACK_PACKAGE_CONTACT "Quern maintainers <maintainers@quern.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "disk space of a directory tree as static HTML pages")
set(CPACK_PACKAGE_DESCRIPTION
    "Quern walks a directory tree without following symbolic links and
counts, for every directory, its bytes, files, subdirectories, symbolic
links and other entries, directly in it and in everything below it.
It writes the result as static HTML pages with German labels, one page
per sort order for every directory with subdirectories; they open
straight from disk in a browser or can be published with any static
web server.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quern maintainers <maintainers@quern.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quern.example/")
# The libraries the binary needs, as dpkg-shlibdeps finds them (dpkg-dev
# and file must be installed to build the package).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
