# ./run package: a Debian package from the install rules, with an empty
# local record file that the first installation puts into the program folder.
set(BRENVO_EMPTY_MDB ${PROJECT_BINARY_DIR}/Brenvo.mdb.empty)
add_custom_command(OUTPUT ${BRENVO_EMPTY_MDB}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${BRENVO_EMPTY_MDB}
    COMMAND sqlite3 ${BRENVO_EMPTY_MDB} < ${PROJECT_SOURCE_DIR}/tools/brenvo-demo/schema/local.sqlite.sql
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/brenvo-demo/schema/local.sqlite.sql
    VERBATIM)
add_custom_target(brenvo_empty_mdb ALL DEPENDS ${BRENVO_EMPTY_MDB})
install(FILES ${BRENVO_EMPTY_MDB} DESTINATION share)
configure_file(${PROJECT_SOURCE_DIR}/src/app/postinst ${PROJECT_BINARY_DIR}/debian/postinst @ONLY)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brenvo)
set(CPACK_PACKAGE_VENDOR Brenvo)
set(CPACK_PACKAGE_CONTACT "Brenvo <brenvo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Call-centre agent desk with call recording")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_FILE_NAME brenvo_${PROJECT_VERSION}_amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Plugins and drivers the program loads by name, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6sql6-sqlite, libqt6sql6-odbc, tdsodbc, libqt6svg6, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
