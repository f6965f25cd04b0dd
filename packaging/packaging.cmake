# Installation into the system's usual places, the Debian package, and the tests that check both.
include(GNUInstallDirs)

set(SLOTMACHINE_APP_ID ru.automata.slotmachine)

# Directories made by the install keep the same modes whatever the packager's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Debian wants man pages and changelogs compressed, without a time stamp in the header.
function(slotmachine_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND gzip -9 -n -c ${source} > ${output}
        DEPENDS ${source}
        VERBATIM)
endfunction()
set(slotmachine_man_page ${CMAKE_BINARY_DIR}/slotmachine.1.gz)
slotmachine_gzip(${PROJECT_SOURCE_DIR}/window/slotmachine.1 ${slotmachine_man_page})
# A native package (no Debian revision) keeps its changelog under this name.
set(slotmachine_changelog ${CMAKE_BINARY_DIR}/changelog.gz)
slotmachine_gzip(${CMAKE_CURRENT_LIST_DIR}/changelog ${slotmachine_changelog})
add_custom_target(slotmachine-docs ALL DEPENDS ${slotmachine_man_page} ${slotmachine_changelog})

install(TARGETS slotmachine RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${slotmachine_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The command-line companion beside the program, with its man page.
if(TARGET slotmachine-cli)
    install(TARGETS slotmachine-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${SLOTMACHINE_CLI_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${SLOTMACHINE_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${SLOTMACHINE_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The session scripts' type, which the desktop entry opens.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${SLOTMACHINE_APP_ID}.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
# Debian wants the licence at this path in every package.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
    DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
install(FILES ${slotmachine_changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The icon theme looks the icon up by the application id, one file per size.
foreach(icon IN ITEMS icon_32:32 icon_48:48 icon_64:64 icon_128:128 icon:256)
    string(REPLACE ":" ";" icon ${icon})
    list(GET icon 0 icon_file)
    list(GET icon 1 icon_size)
    install(FILES ${PROJECT_SOURCE_DIR}/window/pictures/${icon_file}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${icon_size}x${icon_size}/apps
        RENAME ${SLOTMACHINE_APP_ID}.png)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME slotmachine)
set(CPACK_PACKAGE_VENDOR "SlotMachine maintainers")
set(CPACK_PACKAGE_CONTACT
    "SlotMachine maintainers <maintainers@users.noreply.c-seed-828875fb.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "slot machine simulator driven by three finite automata")
# Line breaks kept: dpkg shows the long description as written.
set(CPACK_PACKAGE_DESCRIPTION [=[
A token-operated slot machine with three barrels, built in the automata-based
style. Three communicating finite automata (the game, the token acceptor and
the barrels engine) write a protocol of their work into the log panel of the
window. Play the machine and read the protocol to watch the automata at work.
.
It is made for people who learn, teach and demonstrate automata-based
programming. The interface is in Russian.
.
The command-line companion slotmachine-cli replays session scripts into the
same protocol, explores every state the machine can reach and checks it, and
computes the odds of every win.]=])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A teaching tool: it is played like a game, but it is there to show automata at work.
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# What the library scan cannot see, all loaded at run time: Graphviz's libraries (with its layout
# and SVG plugins in libgvc6), the fonts the window asks for by name and Qt's Russian dialog
# texts. The X11 platform plugin is in libqt6gui6, which the scan adds.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libgvc6, libcgraph6, qt6-translations-l10n, fonts-liberation2, fonts-dejavu-core")
include(CPack)

if(BUILD_TESTING)
    set(packaging_check ${CMAKE_CURRENT_LIST_DIR}/check-package)
    add_test(NAME PackagingDesktopFile
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/validate desktop-file-validate
            ${CMAKE_CURRENT_LIST_DIR}/${SLOTMACHINE_APP_ID}.desktop)
    add_test(NAME PackagingMetainfo
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/validate appstreamcli validate --no-net --strict --explain
            ${CMAKE_CURRENT_LIST_DIR}/${SLOTMACHINE_APP_ID}.metainfo.xml)
    add_test(NAME PackagingInstall
        COMMAND ${packaging_check} install ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR})
    add_test(NAME PackagingDeb
        COMMAND ${packaging_check} deb ${CMAKE_CPACK_COMMAND} ${CMAKE_BINARY_DIR}
            ${PROJECT_VERSION})
    add_test(NAME PackagingManPage
        COMMAND ${packaging_check} man ${PROJECT_SOURCE_DIR}/window/slotmachine.1)
    set_tests_properties(PackagingDesktopFile PackagingMetainfo PackagingInstall PackagingDeb
        PackagingManPage PROPERTIES LABELS packaging SKIP_RETURN_CODE 77)
    set_tests_properties(PackagingDesktopFile PackagingMetainfo PackagingManPage
        PROPERTIES TIMEOUT 60)
    set_tests_properties(PackagingInstall PROPERTIES TIMEOUT 120)
    # cpack first brings the build up to date, which may compile.
    set_tests_properties(PackagingDeb PROPERTIES TIMEOUT 900)
    # Both install from the same build tree and write its install manifest.
    set_tests_properties(PackagingInstall PackagingDeb PROPERTIES RESOURCE_LOCK slotmachine_install)
endif()
