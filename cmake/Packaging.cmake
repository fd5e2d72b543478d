# Installation and the Debian package (cpack -G DEB): the program and the simulator with their
# manual pages, a desktop entry, the icon, the AppStream metadata for software centres, and the
# copyright file and changelog Debian expects in the package's documentation folder.
include(GNUInstallDirs)
set(OCTO_PACKAGE corvane-octo-remote)
set(OCTO_APPSTREAM_ID invalid.corvane.octo_remote)

# The product's name and version are the project's (CMakeLists.txt). The changelog's top entry
# must be that version's: a version bump without one would ship a package that contradicts
# itself. The metadata's releases are the changelog's entries, each with its version and date,
# and the desktop entry and the metadata carry the product's name.
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog OCTO_CHANGELOG
    REGEX "^(${OCTO_PACKAGE} | -- )")
list(GET OCTO_CHANGELOG 0 OCTO_CHANGELOG_TOP)
if(NOT OCTO_CHANGELOG_TOP MATCHES "^${OCTO_PACKAGE} \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "Version ${PROJECT_VERSION} needs an entry at the top of "
        "cmake/debian/changelog")
endif()
# An entry begins "corvane-octo-remote (1.3.0) ..." and ends with its trailer
# " -- Name <address>  Sun, 06 Dec 2026 18:00:00 +0000".
set(OCTO_MONTHS Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(OCTO_RELEASES "")
foreach(line IN LISTS OCTO_CHANGELOG)
    if(line MATCHES "^${OCTO_PACKAGE} \\(([^)]+)\\)")
        set(OCTO_ENTRY_VERSION ${CMAKE_MATCH_1})
    elseif(line MATCHES ">  [A-Z][a-z][a-z], ([0-9]+) ([A-Z][a-z][a-z]) ([0-9]+) ")
        set(OCTO_DAY ${CMAKE_MATCH_1})
        set(OCTO_YEAR ${CMAKE_MATCH_3})
        list(FIND OCTO_MONTHS ${CMAKE_MATCH_2} OCTO_MONTH)
        math(EXPR OCTO_MONTH "${OCTO_MONTH} + 1")
        foreach(part OCTO_DAY OCTO_MONTH)
            string(LENGTH ${${part}} digits)
            if(digits EQUAL 1)
                set(${part} 0${${part}})
            endif()
        endforeach()
        set(OCTO_DATE ${OCTO_YEAR}-${OCTO_MONTH}-${OCTO_DAY})
        string(APPEND OCTO_RELEASES
            "    <release version=\"${OCTO_ENTRY_VERSION}\" date=\"${OCTO_DATE}\"/>\n")
    endif()
endforeach()
string(STRIP "${OCTO_RELEASES}" OCTO_RELEASES)
configure_file(app/corvane-octo-remote.metainfo.xml.in
    ${PROJECT_BINARY_DIR}/packaging/${OCTO_APPSTREAM_ID}.metainfo.xml @ONLY)
configure_file(app/corvane-octo-remote.desktop.in
    ${PROJECT_BINARY_DIR}/packaging/corvane-octo-remote.desktop @ONLY)

install(TARGETS corvane-octo-remote corvane-unit-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/packaging/corvane-octo-remote.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${OCTO_APPSTREAM_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
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
