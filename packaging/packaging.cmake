# What `cmake --install` puts where, and the Debian package that `cpack -G DEB` builds from it.
include(GNUInstallDirs)

# Every program we ship goes to bin/. The simulated forum and the benchmarks are tools for
# developing Quillory and stay in the build tree.
set(QUILLORY_SHIPPED_PROGRAMS quillory quillory-cli)
install(TARGETS quillory RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# `./run.sh --demo` builds only the programs it starts; quillory-cli is installed when built.
install(TARGETS quillory-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} OPTIONAL)

# The desktop's menu entry, its icon and the software centre's description share one id.
set(QUILLORY_APP_ID org.quillory.Quillory)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${QUILLORY_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${QUILLORY_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${QUILLORY_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual pages, gzipped as Debian keeps them; made when the build is configured, so that an
# install after a build of the programs alone has them.
find_program(QUILLORY_GZIP gzip REQUIRED)
foreach(page quillory.1 quillory-cli.1)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/man/${page}.in ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
  execute_process(COMMAND ${QUILLORY_GZIP} -9nf ${CMAKE_BINARY_DIR}/man/${page} -c
                  OUTPUT_FILE ${CMAKE_BINARY_DIR}/man/${page}.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# Debian's place for the licence: the package's own name, not the project's.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillory)

# cpack builds what it ships, and only that: by default it would build every target first, the
# tests and benchmarks among them. `cmake --install` builds nothing either way.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
string(JOIN " " quillory_shipped_targets ${QUILLORY_SHIPPED_PROGRAMS})
set(CPACK_INSTALL_COMMANDS "${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target ${quillory_shipped_targets}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillory)
set(CPACK_PACKAGE_VENDOR Quillory)
set(CPACK_PACKAGE_CONTACT "Quillory maintainers <maintainers@users.noreply.c-seed-c677e8dc.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "bulk downloader of a forum bar's photo albums")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillory downloads, in bulk, the pictures of every photo album of one bar of a public web forum.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The libraries' packages come from the binary itself (dpkg-shlibdeps); the window's texts
# are Chinese and need a font that has them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei")
include(CPack)
