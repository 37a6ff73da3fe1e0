# Installation layout and the Debian package (`make package`). Included at the end of the
# top-level CMakeLists.txt, once every executable target exists.
include(GNUInstallDirs)

install(TARGETS ini-file-parser ini-outline RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The stand-in editor's name is a common one, so it stays off PATH; the viewer finds it here
# relative to its own folder (INI_HELPER_DIR, set at the top).
install(TARGETS notepad RUNTIME DESTINATION ${INI_HELPER_DIR})

# The desktop entry and the AppStream metadata software centres read share the one id.
set(INI_APP_ID invalid.ini_file_parser.viewer)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${INI_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${INI_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The file type the desktop entry declares; installing it runs update-mime-database (a trigger of
# the shared MIME database's package), after which file managers offer the viewer for *.ini files.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ini-file-parser.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ini-file-parser.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Manual pages and the changelog are installed compressed, as Debian's policy asks; -n keeps the
# archive free of the file's time stamp so that builds of the same source give the same package.
set(compressed)
foreach(source ini-file-parser.1 ini-outline.1 changelog)
    set(packed ${PROJECT_BINARY_DIR}/packaging/${source}.gz)
    add_custom_command(OUTPUT ${packed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
        COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/${source} > ${packed}
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${source} VERBATIM)
    list(APPEND compressed ${packed})
endforeach()
add_custom_target(packaging-docs ALL DEPENDS ${compressed})
install(FILES ${PROJECT_BINARY_DIR}/packaging/ini-file-parser.1.gz
              ${PROJECT_BINARY_DIR}/packaging/ini-outline.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The package is native (its version has no Debian revision), so its changelog is changelog.gz.
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ini-file-parser)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "INI File Parser developers <dev@ini-file-parser.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for block-structured INI data files")
# Lines of the long description are kept short, as dpkg shows them unwrapped.
set(CPACK_PACKAGE_DESCRIPTION [[
Shows the top-level blocks of a block-structured INI data file (lines
such as "Object Tank" open a block, "End" closes it, ";" starts a comment)
as an outline tree, fills in a block's nested structure on a click and
opens any line in a text editor with the caret on that line. Files of a
hundred megabytes open in a fraction of a second.

The package also holds ini-outline, which prints a file's outline for
scripts. The small text editor the viewer hands lines to is kept in
/usr/libexec/ini-file-parser, off the PATH.]])
# Writes the values above into CPackConfig.cmake with their quotes escaped.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# dpkg-shlibdeps (dpkg-dev) works out the library packages from the executables. Qt loads its
# X11 platform plugin at run time, which no executable links, so that one is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)

include(CPack)
