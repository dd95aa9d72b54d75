# Where `cmake --install` puts the program so that a Linux desktop finds it, and the Debian
# package CPack makes from the same rules (`cpack -G DEB` in the build folder).
include(GNUInstallDirs)

install(TARGETS nimbra nimbra-demo-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The help window looks in share/nimbra/ under the program's prefix.
install(FILES ${PROJECT_SOURCE_DIR}/docs/nimbra.html DESTINATION ${CMAKE_INSTALL_DATADIR}/nimbra)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/nimbra.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/nimbra.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME nimbra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Nimbra File")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Harvests files, above all pictures, from Usenet newsgroups")
set(CPACK_PACKAGE_DESCRIPTION
    "Nimbra File walks the selected newsgroups of an NNTP server article by article, decodes\n"
    "uuencoded, MIME and yEnc attachments, saves them without overwriting a file and previews\n"
    "each picture. It runs in a window or unattended from cron or a systemd timer.")
set(CPACK_PACKAGE_CONTACT "Nimbra File developers <nimbra@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION news)
# The shared libraries the binaries link (Qt, OpenSSL, libjpeg, QtKeychain...) become the
# package's dependencies through dpkg-shlibdeps. Qt loads its display plugins at run time
# (xcb for a desktop, offscreen for an unattended run), so they are named; a keyring is
# recommended for "Remember password", Wayland's plugin suggested.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring | kwalletmanager")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
set(CPACK_STRIP_FILES ON)
include(CPack)
