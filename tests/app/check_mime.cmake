# Checks the file types that Brindle installs: update-mime-database must read the package and
# find a job by its root element Brindle and a mailbox by its signature, and the desktop entry
# and the AppStream metainfo must offer the program for exactly these two types (not for every
# XML file).
# Run as cmake -DSRC=<project dir> -DWORK=<scratch dir> -DUPDATE_MIME=<program> -P check_mime.cmake.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/mime/packages")
file(COPY_FILE "${SRC}/data/brindle-mime.xml" "${WORK}/mime/packages/brindle.xml")
execute_process(COMMAND "${UPDATE_MIME}" "${WORK}/mime" RESULT_VARIABLE status
                ERROR_VARIABLE errors OUTPUT_QUIET)
if(NOT status EQUAL 0 OR errors MATCHES "rror")
    message(FATAL_ERROR "update-mime-database refused the package: ${errors}")
endif()

set(broken "")
file(READ "${WORK}/mime/XMLnamespaces" namespaces)
if(NOT namespaces MATCHES " Brindle application/x-brindle-job\n")
    string(APPEND broken "  no job type for the root element Brindle\n")
endif()
file(READ "${WORK}/mime/globs2" globs)
foreach(glob IN ITEMS "application/x-brindle-job:\\*\\.xml" "application/x-outlook-express-dbx:\\*\\.dbx")
    if(NOT globs MATCHES "${glob}")
        string(APPEND broken "  missing glob ${glob}\n")
    endif()
endforeach()
file(READ "${WORK}/mime/magic" magic HEX)
string(HEX "application/x-outlook-express-dbx]" dbx_name)
if(NOT magic MATCHES "${dbx_name}.*cfad12fe")
    string(APPEND broken "  no signature cf ad 12 fe for the mailbox type\n")
endif()

file(STRINGS "${SRC}/data/brindle.desktop" mime_line REGEX "^MimeType=")
string(REPLACE "\\;" ";" mime_line "${mime_line}")
if(NOT mime_line STREQUAL "MimeType=application/x-brindle-job;application/x-outlook-express-dbx;")
    string(APPEND broken "  the desktop entry claims ${mime_line}\n")
endif()

# Software centres take the types from the AppStream metainfo: the same two.
file(GLOB metainfo "${SRC}/data/*.metainfo.xml")
file(STRINGS "${metainfo}" listed REGEX "<mediatype>")
string(REGEX REPLACE " *<mediatype>([^<]*)</mediatype>" "\\1" listed "${listed}")
if(NOT listed STREQUAL "application/x-brindle-job;application/x-outlook-express-dbx")
    string(APPEND broken "  the metainfo lists ${listed}\n")
endif()

if(broken)
    message(FATAL_ERROR "file types:\n${broken}")
endif()
