# `make install` and `make package`: the command in bin, its libraries (platform, LDAP backend,
# component, pages) private to it in lib/brindlecore, the systemd unit for `serve`, and the manual pages. Paths below the prefix are
# relative, so `cmake --install --prefix P` and DESTDIR both place a working tree.
set(BRINDLECORE_PRIVATE_LIBDIR lib/brindlecore)
install(TARGETS brindlecore RUNTIME DESTINATION bin)
install(TARGETS ${BRINDLECORE_LIBRARIES} LIBRARY DESTINATION ${BRINDLECORE_PRIVATE_LIBDIR})

# Manual pages, compressed as Debian ships them (-n: no time stamp, so builds are reproducible).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(MAN_PAGES brindlecore.1 platform.conf.5)
set(MAN_OUTPUTS "")
foreach(page ${MAN_PAGES})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9n -c ${CMAKE_SOURCE_DIR}/docs/man/${page} > ${out}
    DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/${page} VERBATIM)
  list(APPEND MAN_OUTPUTS ${out})
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${page})
  install(FILES ${out} DESTINATION share/man/man${section})
endforeach()
add_custom_target(brindlecore_man ALL DEPENDS ${MAN_OUTPUTS})

# The unit names the command by its installed path, known only at install time (--prefix, or
# CPack's /usr).
install(CODE "
  set(BRINDLECORE_BIN \"\${CMAKE_INSTALL_PREFIX}/bin/brindlecore\")
  configure_file(\"${CMAKE_SOURCE_DIR}/packaging/brindlecore.service.in\"
    \"${CMAKE_CURRENT_BINARY_DIR}/unit/brindlecore.service\" @ONLY)
  file(INSTALL \"${CMAKE_CURRENT_BINARY_DIR}/unit/brindlecore.service\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindlecore)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Brindlecore developers <brindlecore@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "accounts, profile groups and web sites of a web-statistics server")
set(CPACK_PACKAGE_DESCRIPTION
  "The Authentication automation component with its platform (local account database and \
web-server metabase on SQLite, LDAP directories), the brindlecore command that administers \
them, and its administration pages, served by the brindlecore service on 127.0.0.1:8080.")
# The libraries' real dependencies, read from the binaries; our own private libraries are found
# in the package's tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ${CMAKE_CURRENT_BINARY_DIR})
# The maintainer scripts create the service's user (passwd), make its root ready and manage the
# unit. SQLite and libxcrypt are loaded by name when first needed, so the binaries do not list
# them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd, libsqlite3-0, libcrypt1")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
  ${CMAKE_SOURCE_DIR}/packaging/debian/prerm
  ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
