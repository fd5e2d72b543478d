# Installation and the Debian package (cpack -G DEB): the program and the simulator with their
# manual pages, a desktop entry, the icon, the AppStream metadata for software centres, and the
# copyright file and changelog Debian expects in the package's documentation folder.
include(GNUInstallDirs)
set(OCTO_PACKAGE corvane-octo-remote)
set(OCTO_APPSTREAM_ID invalid.corvane.octo_remote)

# The changelog and the metadata name the release; a version bump without an entry in both
# would ship a package that contradicts itself.
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog OCTO_CHANGELOG_TOP LIMIT_COUNT 1)
file(READ ${PROJECT_SOURCE_DIR}/app/corvane-octo-remote.metainfo.xml OCTO_METAINFO)
if(NOT OCTO_CHANGELOG_TOP MATCHES "^${OCTO_PACKAGE} \\(${PROJECT_VERSION}\\) "
   OR NOT OCTO_METAINFO MATCHES "<release version=\"${PROJECT_VERSION}\"")
    message(FATAL_ERROR "Version ${PROJECT_VERSION} needs an entry at the top of "
        "cmake/debian/changelog and a <release> in app/corvane-octo-remote.metainfo.xml")
endif()

install(TARGETS corvane-octo-remote corvane-unit-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES app/corvane-octo-remote.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES app/corvane-octo-remote.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
    RENAME ${OCTO_APPSTREAM_ID}.metainfo.xml)
install(FILES qml/Images/octo-remote.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
    RENAME corvane-octo-remote.png)
install(FILES qml/Images/octo-remote@2x.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/512x512/apps
    RENAME corvane-octo-remote.png)

# The manual pages and the changelog compressed as Debian wants them: gzip -9 without the name
# and time stamp, so the same sources make the same files.
set(OCTO_GZIPPED)
foreach(source docs/man/corvane-octo-remote.1 docs/man/corvane-unit-sim.1 cmake/debian/changelog)
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
install(FILES cmake/debian/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${OCTO_PACKAGE})

# The package. The QML modules are named one by one: a missing one would only show when the
# window loads. They are the runtime packages the set-up scripts install (scripts/packages.sh).
file(READ ${PROJECT_SOURCE_DIR}/scripts/packages.sh OCTO_PACKAGES_SCRIPT)
if(NOT OCTO_PACKAGES_SCRIPT MATCHES "OCTO_RUNTIME_PACKAGES=\\(([^)]*)\\)")
    message(FATAL_ERROR "scripts/packages.sh lists no OCTO_RUNTIME_PACKAGES")
endif()
string(STRIP "${CMAKE_MATCH_1}" OCTO_RUNTIME_PACKAGES)
set(CPACK_PACKAGE_NAME ${OCTO_PACKAGE})
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "Corvane Engineering <engineering@corvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
Controls up to twelve networked Corvane octo units, 8-channel microphone
preamps, from one window: per channel the gain, 48 V phantom power, phase,
ribbon mode, the name and a level meter with over and peak; gain groups that
move channels together across units; per unit the name, the converter
settings (sample rate, clock source, output format, clock output), the
clock-lock lamp and the online lamp. Presets store and recall whole setups,
and the program remembers the units in use between runs.

The unit simulator corvane-unit-sim comes with it. It serves up to twelve
simulated units on loopback addresses, with faults injected at start-up, at
run time or from a timed scenario file, to try the controller and rehearse
failures without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
string(REGEX REPLACE "[ \t\n]+" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${OCTO_RUNTIME_PACKAGES}")
# The build keeps its debugging symbols; the package ships the programs without them.
set(CPACK_STRIP_FILES ON)
include(CPack)
