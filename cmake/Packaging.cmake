# Installation and the Debian package (cpack -G DEB): the program and the simulator with their
# manual pages, a desktop entry and the icon.
include(GNUInstallDirs)
set(OCTO_PACKAGE corvane-octo-remote)

install(TARGETS corvane-octo-remote corvane-unit-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES app/corvane-octo-remote.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES qml/Images/octo-remote.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
    RENAME corvane-octo-remote.png)
install(FILES qml/Images/octo-remote@2x.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/512x512/apps
    RENAME corvane-octo-remote.png)

# The manual pages compressed as Debian wants them: gzip -9 without the name
# and time stamp, so the same sources make the same files.
set(OCTO_GZIPPED)
foreach(source docs/man/corvane-octo-remote.1 docs/man/corvane-unit-sim.1)
    get_filename_component(name ${source} NAME)
    set(copy ${PROJECT_BINARY_DIR}/packaging/${name})
    add_custom_command(OUTPUT ${copy}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${source} ${copy}
        COMMAND gzip -9nf ${copy}
        DEPENDS ${source} VERBATIM)
    list(APPEND OCTO_GZIPPED ${copy}.gz)
endforeach()
add_custom_target(octo_packaging_files ALL DEPENDS ${OCTO_GZIPPED})
install(FILES ${PROJECT_BINARY_DIR}/packaging/corvane-octo-remote.1.gz
    ${PROJECT_BINARY_DIR}/packaging/corvane-unit-sim.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The package. The QML modules are named one by one: a missing one would only show when the
# window loads.
set(CPACK_PACKAGE_NAME ${OCTO_PACKAGE})
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "Corvane Engineering <engineering@corvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qml-module-qtquick2, qml-module-qtquick-window2, \
qml-module-qtquick-layouts, qml-module-qtquick-controls2, qml-module-qtquick-dialogs, \
qml-module-qtquick-controls, qml-module-qtgraphicaleffects, fonts-liberation")
include(CPack)
