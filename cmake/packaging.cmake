# Where `cmake --install` puts things, and the two Debian packages that `make package` builds
# from one tree: brindle-cli (the command line and its manual page, no Qt) and brindle (the
# window, its help, desktop entry, icons, file types and AppStream metainfo). The programs go
# to bin/, the help to share/brindle/help with its English pages in help/en (the GUI finds it
# from its own location, ../share/brindle/help), the manual pages to man1 in English and to
# ja/man1 in Japanese.
include(GNUInstallDirs)

# The Maintainer field of both packages and the signature of their changelog. Debian's
# packaging tools take the packager from DEBFULLNAME and DEBEMAIL; without them the field says
# that nobody set it, in the reserved .invalid domain that no mail can reach.
if(DEFINED ENV{DEBFULLNAME} AND DEFINED ENV{DEBEMAIL})
    set(brindle_default_maintainer "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
else()
    set(brindle_default_maintainer "Brindle developers <maintainer-not-set@brindle.invalid>")
endif()
set(BRINDLE_MAINTAINER "${brindle_default_maintainer}"
    CACHE STRING "Maintainer of the Debian packages: Name <address>")
if(BRINDLE_PACKAGE AND BRINDLE_MAINTAINER MATCHES "\\.invalid>$")
    message(NOTICE "The packages name no maintainer; set -DBRINDLE_MAINTAINER=\"Name <address>\"")
endif()

# Debian revision of the packages: 1.0.3.0-1 is newer than the single package 1.0.3.0 that
# held both programs.
set(BRINDLE_DEBIAN_RELEASE 1)
set(BRINDLE_DEBIAN_VERSION "${PROJECT_VERSION}-${BRINDLE_DEBIAN_RELEASE}")

# Manual pages and the Debian changelog are installed compressed, as gzip -9n makes them (no
# name or time stamp inside, so equal sources give equal packages).
set(brindle_package_dir "${PROJECT_BINARY_DIR}/package")
configure_file("${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in"
               "${brindle_package_dir}/changelog.Debian" @ONLY)
set(brindle_generated)
function(brindle_gzip source output)
    add_custom_command(OUTPUT "${output}"
        COMMAND gzip -9n -c "${source}" > "${output}"
        DEPENDS "${source}" VERBATIM)
    set(brindle_generated ${brindle_generated} "${output}" PARENT_SCOPE)
endfunction()
brindle_gzip("${brindle_package_dir}/changelog.Debian" "${brindle_package_dir}/changelog.Debian.gz")
brindle_gzip("${PROJECT_SOURCE_DIR}/docs/man/brindle-cli.1" "${brindle_package_dir}/brindle-cli.1.gz")
brindle_gzip("${PROJECT_SOURCE_DIR}/docs/man/ja/brindle-cli.1"
             "${brindle_package_dir}/brindle-cli.ja.1.gz")
if(BRINDLE_GUI)
    brindle_gzip("${PROJECT_SOURCE_DIR}/docs/man/brindle.1" "${brindle_package_dir}/brindle.1.gz")
    brindle_gzip("${PROJECT_SOURCE_DIR}/docs/man/ja/brindle.1" "${brindle_package_dir}/brindle.ja.1.gz")
endif()

# Every package carries the copyright and the changelog in its own share/doc folder.
function(brindle_package_docs component package)
    set(doc_dir "${CMAKE_INSTALL_DATADIR}/doc/${package}")
    install(FILES "${PROJECT_SOURCE_DIR}/cmake/debian/copyright"
                  "${brindle_package_dir}/changelog.Debian.gz"
            DESTINATION "${doc_dir}" COMPONENT ${component})
endfunction()

brindle_package_docs(cli brindle-cli)
install(FILES "${brindle_package_dir}/brindle-cli.1.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT cli)
install(FILES "${brindle_package_dir}/brindle-cli.ja.1.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/ja/man1" RENAME brindle-cli.1.gz COMPONENT cli)

if(BRINDLE_GUI)
    brindle_package_docs(gui brindle)
    install(FILES "${brindle_package_dir}/brindle.1.gz"
            DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT gui)
    install(FILES "${brindle_package_dir}/brindle.ja.1.gz"
            DESTINATION "${CMAKE_INSTALL_MANDIR}/ja/man1" RENAME brindle.1.gz COMPONENT gui)
    # The Japanese pages, with the English ones in their subfolder en.
    install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/help/"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/brindle/help" COMPONENT gui)
    install(FILES "${PROJECT_SOURCE_DIR}/data/brindle.desktop"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/applications" COMPONENT gui)
    install(FILES "${PROJECT_SOURCE_DIR}/data/org.example.brindle.metainfo.xml"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" COMPONENT gui)
    # The job and mailbox file types that the desktop entry names.
    install(FILES "${PROJECT_SOURCE_DIR}/data/brindle-mime.xml"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages" RENAME brindle.xml
            COMPONENT gui)
    set(icon_dir "${CMAKE_INSTALL_DATADIR}/icons/hicolor")
    install(FILES "${PROJECT_SOURCE_DIR}/data/brindle.svg"
            DESTINATION "${icon_dir}/scalable/apps" COMPONENT gui)
    # A package renders the menu and panel sizes from the SVG; other builds install the
    # committed 256-pixel rendering only and need no renderer.
    if(BRINDLE_PACKAGE)
        find_program(BRINDLE_RSVG_CONVERT rsvg-convert REQUIRED)
        foreach(size IN ITEMS 16 32 48 64 128 256)
            set(png "${brindle_package_dir}/icons/${size}/brindle.png")
            add_custom_command(OUTPUT "${png}"
                COMMAND "${CMAKE_COMMAND}" -E make_directory "${brindle_package_dir}/icons/${size}"
                COMMAND "${BRINDLE_RSVG_CONVERT}" -w ${size} -h ${size}
                        -o "${png}" "${PROJECT_SOURCE_DIR}/data/brindle.svg"
                DEPENDS "${PROJECT_SOURCE_DIR}/data/brindle.svg" VERBATIM)
            list(APPEND brindle_generated "${png}")
            install(FILES "${png}" DESTINATION "${icon_dir}/${size}x${size}/apps" COMPONENT gui)
        endforeach()
    else()
        install(FILES "${PROJECT_SOURCE_DIR}/data/brindle.png"
                DESTINATION "${icon_dir}/256x256/apps" COMPONENT gui)
    endif()
endif()
add_custom_target(brindle_package_files ALL DEPENDS ${brindle_generated})

set(CPACK_GENERATOR "DEB")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME "brindle")
set(CPACK_PACKAGE_VENDOR "Brindle developers")
set(CPACK_PACKAGE_CONTACT "${BRINDLE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE "${BRINDLE_DEBIAN_RELEASE}")
set(CPACK_DEBIAN_PACKAGE_SOURCE "brindle")
set(CPACK_DEBIAN_PACKAGE_SECTION "mail")
# The shared libraries come from dpkg-shlibdeps, for each package on its own, so brindle-cli
# depends on libxml2 and libstdc++ and not on Qt.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs are stripped. No -dbgsym packages: those of CMake 3.25's CPack list absolute
# build paths in their md5sums and have no copyright file, which lintian rejects.
set(CPACK_STRIP_FILES ON)

set(CPACK_COMPONENTS_ALL cli)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME "brindle-cli")
# Until 1.0.3.0 the package brindle held the command line too.
set(CPACK_DEBIAN_CLI_PACKAGE_BREAKS "brindle (<< ${BRINDLE_DEBIAN_VERSION})")
set(CPACK_DEBIAN_CLI_PACKAGE_REPLACES "brindle (<< ${BRINDLE_DEBIAN_VERSION})")
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "convert Outlook Express mailboxes into .eml files (command line)
Brindle reads Outlook Express mailbox files (.dbx) and writes every message as
its own .eml file, built first for Japanese mail. It selects messages by
conditions (texts or regular expressions), names the files by number, subject
or a marker text, and recovers what damaged mailboxes still hold.

This package holds brindle-cli, the command line, which needs no display: it
lists mailboxes, converts them and runs jobs saved by the desktop program.")

if(BRINDLE_GUI)
    list(APPEND CPACK_COMPONENTS_ALL gui)
    set(CPACK_DEBIAN_GUI_PACKAGE_NAME "brindle")
    # What is loaded at run time without a link: the X11 platform plugin, the Japanese font,
    # Qt's Japanese texts.
    set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS
        "qt6-qpa-plugins, fonts-ipaexfont-gothic, qt6-translations-l10n")
    set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS "brindle-cli")
    set(CPACK_DEBIAN_GUI_DESCRIPTION
        "convert Outlook Express mailboxes into .eml files (desktop program)
Brindle reads Outlook Express mailbox files (.dbx) and writes every message as
its own .eml file, built first for Japanese mail. It selects messages by
conditions (texts or regular expressions), names the files by number, subject
or a marker text, and saves jobs as XML settings files.

This package holds the desktop program brindle with its help, its menu entry
and icons, and the file types of jobs and mailboxes. The command line is in
the package brindle-cli.")
endif()
include(CPack)
