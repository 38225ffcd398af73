# Where `cmake --install` puts things, and the Debian package that `make package` builds.
# The programs go to bin/, the help to share/brindle/help (the GUI finds it from its own
# location, ../share/brindle/help), the desktop entry and icon where desktop menus look.
include(GNUInstallDirs)

install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/help/"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/brindle/help"
        COMPONENT brindle)
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/brindle"
        RENAME copyright
        COMPONENT brindle)
install(FILES "${PROJECT_SOURCE_DIR}/data/brindle.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications"
        COMPONENT brindle)
# The job and mailbox file types that the desktop entry names.
install(FILES "${PROJECT_SOURCE_DIR}/data/brindle-mime.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages"
        RENAME brindle.xml
        COMPONENT brindle)
install(FILES "${PROJECT_SOURCE_DIR}/data/brindle.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
        COMPONENT brindle)
install(FILES "${PROJECT_SOURCE_DIR}/data/brindle.png"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps"
        COMPONENT brindle)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "brindle")
set(CPACK_PACKAGE_VENDOR "Brindle")
set(CPACK_PACKAGE_CONTACT "Brindle maintainers <brindle@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Converts Outlook Express mailboxes (.dbx) into one .eml file per message")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "mail")
# The shared libraries (Qt, libxml2, libstdc++) come from dpkg-shlibdeps; what is loaded at run
# time without a link (the X11 platform plugin, the Japanese font, Qt's Japanese texts) is named
# here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-ipaexfont-gothic, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Brindle reads Outlook Express .dbx mailboxes and writes every message as its own .eml file,\n\
Japanese mail first. It selects messages by conditions (text or regular expressions), names\n\
files by number, subject or a marker text, and saves jobs as XML settings files. It has a\n\
desktop window (brindle) and a command line (brindle-cli).")
include(CPack)
